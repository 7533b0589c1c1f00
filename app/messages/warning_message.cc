#include "app/messages/warning_message.h"

#include <array>
#include <string>

#include "runtime/files/error_state.h"
#include "ui/engine/engine.h"

namespace vorsandt::app {
namespace {

using ui::Icon;
namespace button = ui::button;

// Lower case for the transaction's name inside message 34: ASCII letters and
// the Windows-1252 capitals with accents (0xC0-0xDE except the multiplication
// sign), which records may carry.
std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') {
      c = static_cast<char>(u + 32);
    } else if (u >= 0xC0 && u <= 0xDE && u != 0xD7) {
      c = static_cast<char>(u + 32);
    }
  }
  return out;
}

std::string Cat(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view p : pieces) out.append(p);
  return out;
}

// One entry of the catalogue. Texts are templates: %E is the error text, %1
// to %4 the caller's texts T1-T4, %l T1 in lower case; everything else stands
// as written.
struct CatalogueEntry {
  MessageId id;
  const char* text;
  const char* caption;
  Icon icon = Icon::kExclamation;
  int buttons = button::kOk;
  int default_button = button::kOk;
  const char* halt = "";      // non-empty: halt with this text afterwards
  int continue_button = 0;    // the answer that does not halt
  const char* text_without_error = nullptr;  // when no error code is set
};

constexpr int kYesNoCancel = button::kYes | button::kNo | button::kCancel;
constexpr int kOkCancel = button::kOk | button::kCancel;
constexpr int kYesNo = button::kYes | button::kNo;

constexpr CatalogueEntry kCatalogue[] = {
    {MessageId::kInvalidFile, "Error: (%E) accessing %1.  Press OK to end this application.",
     "Invalid File", Icon::kExclamation, button::kOk, button::kOk, "Invalid File!"},
    {MessageId::kInvalidKey, "%1 key file is invalid.  Do you want to rebuild the key?",
     "Invalid Key", Icon::kQuestion, button::kYes | button::kNo, button::kYes, "Invalid Key!",
     button::kYes},
    {MessageId::kKeyRebuildError,
     "Error: (%E) repairing key for %1.  Press OK to end this application.", "Key Rebuild Error",
     Icon::kExclamation, button::kOk, button::kOk, "Error Rebuilding Key!"},
    {MessageId::kFileCreationError, "Error: (%E) creating %1.  Press OK to end this application.",
     "File Creation Error", Icon::kExclamation, button::kOk, button::kOk, "File Creation Error!"},
    {MessageId::kCreatedFileOpenError,
     "Error: (%E) opening created file:%1.  Press OK to end this application.",
     "File Creation Error", Icon::kExclamation, button::kOk, button::kOk, "File Creation Error!"},
    {MessageId::kFieldContentsError, "The value for %1 must be found in the %2 file.",
     "Field Contents Error"},
    {MessageId::kRecordInsertError,
     "An error was experienced during the update of record.  Error: %E.", "Record Insert Error"},
    {MessageId::kUpdateOperationError,
     "An error (%E) was experienced when attempting to update a record from the file.  Probable "
     "Cause: %1.",
     "Update Operation Error", Icon::kExclamation, button::kOk, button::kOk, "", 0,
     "This record was changed by another station."},
    {MessageId::kChangeRetry,
     "An error was experienced changing this record.  Do you want to try to save again?",
     "Record Update Error", Icon::kExclamation, kYesNoCancel, button::kCancel},
    {MessageId::kDeleteOperationError,
     "An error (%E) was experienced when attempting to delete a record from the file %1.",
     "Delete Operation Error"},
    {MessageId::kDeleteRetry,
     "An error was experienced deleting this record.  Do you want to try to save again?",
     "Record Update Error", Icon::kExclamation, kYesNoCancel, button::kCancel},
    {MessageId::kDuplicateKey, "Adding this record creates a duplicate entry for the key:%1",
     "Duplicate Key Error"},
    {MessageId::kAutoIncrementError,
     "Attempts to automatically number this record have failed.  Error: %E.",
     "Auto Increment Error", Icon::kExclamation, button::kRetry | button::kCancel,
     button::kCancel},
    {MessageId::kFileLoadError, "%1 File Load Error.  Error: %E.", "File Load Error"},
    {MessageId::kListExportError, "The list could not be exported.  %1", "Export List Error"},
    {MessageId::kListExported, "%1 records were written to %2.", "Export List",
     Icon::kAsterisk},
    {MessageId::kBackupError, "The data could not be backed up.  %1", "Back Up Data Error"},
    {MessageId::kBackedUp, "%1 were backed up to %2.", "Back Up Data", Icon::kAsterisk},
    {MessageId::kBackupCancelled, "The backup was cancelled; no archive was written.",
     "Back Up Data", Icon::kAsterisk},
    {MessageId::kRestoreError, "The backup was not restored.  %1", "Restore Data Error"},
    {MessageId::kRestoreReplace,
     "The data folder %1 already holds tables (%2).  Replace them with the tables of the "
     "backup %3?",
     "Restore Data", Icon::kQuestion, kYesNo, button::kNo},
    {MessageId::kRestored, "%1 were restored from %2.", "Restore Data", Icon::kAsterisk},
    {MessageId::kRestoreCancelled, "The restore was cancelled; nothing was written.",
     "Restore Data", Icon::kAsterisk},
    {MessageId::kImportError, "The CSV file was not imported into %1.  %2", "Import CSV Error"},
    {MessageId::kImported, "%1 imported into %2 from %3.", "Import CSV",
     Icon::kAsterisk},
    {MessageId::kClaimPackNoItem,
     "Claim %1 names no item of the inventory (item %2), so there is nothing to make a claim "
     "pack of.  Give the claim the item claimed for and try again.",
     "Claim Pack"},
    {MessageId::kClaimPackNoPolicy,
     "Item %1 (%2) is insured under no policy on file (policy \"%3\"), so a claim pack would "
     "name no insurer.  Give the item its policy and try again.",
     "Claim Pack"},
    {MessageId::kClaimPackNoPhotograph,
     "The claim pack was written to %1, but without the photograph of the item: %2  The pack "
     "says that the photograph is missing.",
     "Claim Pack"},
    {MessageId::kClaimPackNoDocuments,
     "The claim pack was written to %1, but without %2: %3  The pack names what is missing.",
     "Claim Pack"},
    {MessageId::kClaimPackWritten, "The claim pack was written to %1.", "Claim Pack",
     Icon::kAsterisk},
    {MessageId::kClaimPackError, "The claim pack could not be written to %1.  %2.",
     "Claim Pack"},
    {MessageId::kCancelLoading, "Are you certain you want to stop loading %1?", "Cancel Request",
     Icon::kQuestion, kOkCancel, button::kCancel},
    {MessageId::kFileHasNoText,
     "%1 File Load Error.  The file you've requested contains no text.", "File Load Error"},
    {MessageId::kFileAccessError, "File (%1) could not be opened.  Error: %E.",
     "File Access Error"},
    {MessageId::kConfirmDelete,
     "You've selected to delete the highlighted record.  Press OK to confirm deletion of this "
     "record.",
     "Confirm Delete", Icon::kQuestion, kOkCancel, button::kCancel},
    // The text says what goes with the record; OK deletes it all.
    {MessageId::kConfirmDeleteReach, "%1", "Confirm Delete", Icon::kQuestion, kOkCancel,
     button::kCancel},
    {MessageId::kTransactionFramingError,
     "Error: (%E) attempting to frame the %l transaction on %2.  %1 transaction cancelled.",
     "Transaction Framing Error"},
    {MessageId::kRecordRetrievalError,
     "Error: (%E) attempting to access a record from the %1 file.  returning to previous window.",
     "Record Retrieval Error"},
};

// `pattern` with its placeholders replaced; a replaced text is not read again.
std::string Expand(std::string_view pattern, std::string_view e,
                   const std::array<std::string_view, 4>& t) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (pattern[i] != '%' || next == '\0') {
      out += pattern[i];
    } else if (next == 'E') {
      out.append(e);
      ++i;
    } else if (next == 'l') {
      out += LowerCase(t[0]);
      ++i;
    } else if (next >= '1' && next <= '4') {
      out.append(t[next - '1']);
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace

std::string_view TrimRight(std::string_view text) {
  size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

std::string ComposeErrorText(int32_t code, std::string_view runtime_text,
                             std::string_view driver_text, std::string_view driver_code_text) {
  std::string out;
  if (code == kDriverReportedError) {
    out = Cat({TrimRight(driver_text), " (", TrimRight(driver_code_text), ")"});
  } else {
    out = Cat({TrimRight(runtime_text), " (", std::to_string(code), ")"});
  }
  if (out.size() > kErrorTextLimit) out.resize(kErrorTextLimit);
  return out;
}

std::string CurrentErrorText() {
  const files::ErrorState& errors = files::Errors();
  return ComposeErrorText(errors.Code(), errors.Text(), errors.DriverText(),
                          errors.DriverCodeText());
}

std::optional<MessageSpec> BuildMessage(MessageId id, std::string_view e, bool error_set,
                                        std::string_view t1, std::string_view t2,
                                        std::string_view t3, std::string_view t4) {
  const CatalogueEntry* entry = nullptr;
  for (const CatalogueEntry& c : kCatalogue) {
    if (c.id == id) entry = &c;
  }
  if (entry == nullptr) return std::nullopt;
  const std::array<std::string_view, 4> texts = {TrimRight(t1), TrimRight(t2), TrimRight(t3),
                                                 TrimRight(t4)};
  MessageSpec m;
  const char* pattern =
      !error_set && entry->text_without_error != nullptr ? entry->text_without_error : entry->text;
  m.text = Expand(pattern, TrimRight(e), texts);
  m.caption = entry->caption;
  m.icon = entry->icon;
  m.buttons = entry->buttons;
  m.default_button = entry->default_button;
  m.halt = entry->halt;
  m.continue_button = entry->continue_button;
  return m;
}

int WarningMessage(MessageId id, std::string_view t1, std::string_view t2, std::string_view t3,
                   std::string_view t4) {
  return WarningMessageWhy({}, id, t1, t2, t3, t4);
}

int WarningMessageWhy(std::string_view why, MessageId id, std::string_view t1, std::string_view t2,
                      std::string_view t3, std::string_view t4) {
  const files::ErrorState& errors = files::Errors();
  std::optional<MessageSpec> m =
      BuildMessage(id, CurrentErrorText(), errors.Code() != 0, t1, t2, t3, t4);
  if (!m) return 0;
  if (!why.empty()) m->text += "  " + std::string(why);
  ui::Engine& engine = *ui::Engine::Current();
  ui::MessageRequest request;
  request.text = m->text;
  request.caption = m->caption;
  request.icon = m->icon;
  request.buttons = m->buttons;
  request.default_button = m->default_button;
  int answer = engine.Message(request);
  if (!m->halt.empty() && answer != m->continue_button) engine.Halt(0, m->halt);
  return answer;
}

}  // namespace vorsandt::app
