#include "app/messages/warning_message.h"

#include <string>

#include "runtime/files/error_state.h"
#include "ui/engine/engine.h"

namespace vorsandt::app {
namespace {

using ui::Icon;
namespace button = ui::button;

// Texts a driver left for its code-90 report. Only the thread holding the run
// permission posts or reads errors, so no lock is needed.
std::string& DriverText() {
  static std::string text;
  return text;
}
std::string& DriverCodeText() {
  static std::string text;
  return text;
}

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

MessageSpec Inform(std::string text, const char* caption) {
  MessageSpec m;
  m.text = std::move(text);
  m.caption = caption;
  return m;
}

MessageSpec Halting(std::string text, const char* caption, const char* halt) {
  MessageSpec m = Inform(std::move(text), caption);
  m.halt = halt;
  return m;
}

MessageSpec Ask(std::string text, const char* caption, Icon icon, int buttons, int default_button) {
  MessageSpec m;
  m.text = std::move(text);
  m.caption = caption;
  m.icon = icon;
  m.buttons = buttons;
  m.default_button = default_button;
  return m;
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

void SetDriverErrorTexts(std::string text, std::string code_text) {
  DriverText() = std::move(text);
  DriverCodeText() = std::move(code_text);
}

std::string CurrentErrorText() {
  const files::ErrorState& errors = files::Errors();
  return ComposeErrorText(errors.Code(), errors.Text(), DriverText(), DriverCodeText());
}

std::optional<MessageSpec> BuildMessage(int number, std::string_view e, bool error_set,
                                        std::string_view t1, std::string_view t2,
                                        std::string_view t3, std::string_view t4) {
  (void)t3;
  (void)t4;  // no message of the catalogue uses them
  t1 = TrimRight(t1);
  t2 = TrimRight(t2);
  e = TrimRight(e);
  switch (number) {
    case 1:
      return Halting(
          Cat({"Error: (", e, ") accessing ", t1, ".  Press OK to end this application."}),
          "Invalid File", "Invalid File!");
    case 2: {
      MessageSpec m = Ask(Cat({t1, " key file is invalid.  Do you want to rebuild the key?"}),
                          "Invalid Key", Icon::kQuestion, button::kYes | button::kNo, button::kYes);
      m.halt = "Invalid Key!";
      m.continue_button = button::kYes;
      return m;
    }
    case 3:
      return Halting(
          Cat({"Error: (", e, ") repairing key for ", t1, ".  Press OK to end this application."}),
          "Key Rebuild Error", "Error Rebuilding Key!");
    case 4:
      return Halting(
          Cat({"Error: (", e, ") creating ", t1, ".  Press OK to end this application."}),
          "File Creation Error", "File Creation Error!");
    case 5:
      return Halting(Cat({"Error: (", e, ") opening created file:", t1,
                          ".  Press OK to end this application."}),
                     "File Creation Error", "File Creation Error!");
    case 11:
      return Inform(Cat({"The value for ", t1, " must be found in the ", t2, " file."}),
                    "Field Contents Error");
    case 14:
      return Inform(Cat({"An error was experienced during the update of record.  Error: ", e, "."}),
                    "Record Insert Error");
    case 15:
      return Inform(error_set ? Cat({"An error (", e,
                                     ") was experienced when attempting to update a record from "
                                     "the file.  Probable Cause: ",
                                     t1, "."})
                              : std::string("This record was changed by another station."),
                    "Update Operation Error");
    case 16:
      return Ask(
          "An error was experienced changing this record.  Do you want to try to save again?",
          "Record Update Error", Icon::kExclamation, button::kYes | button::kNo | button::kCancel,
          button::kCancel);
    case 17:
      return Inform(
          Cat({"An error (", e,
               ") was experienced when attempting to delete a record from the file ", t1, "."}),
          "Delete Operation Error");
    case 18:
      return Ask(
          "An error was experienced deleting this record.  Do you want to try to save again?",
          "Record Update Error", Icon::kExclamation, button::kYes | button::kNo | button::kCancel,
          button::kCancel);
    case 24:
      return Inform(Cat({"Adding this record creates a duplicate entry for the key:", t1}),
                    "Duplicate Key Error");
    case 25:
      return Ask(
          Cat({"Attempts to automatically number this record have failed.  Error: ", e, "."}),
          "Auto Increment Error", Icon::kExclamation, button::kRetry | button::kCancel,
          button::kCancel);
    case 26:
      return Inform(Cat({t1, " File Load Error.  Error: ", e, "."}), "File Load Error");
    case 27:
      return Ask(Cat({"Are you certain you want to stop loading ", t1, "?"}), "Cancel Request",
                 Icon::kQuestion, button::kOk | button::kCancel, button::kCancel);
    case 28:
      return Inform(Cat({t1, " File Load Error.  The file you've requested contains no text."}),
                    "File Load Error");
    case 30:
      return Inform(Cat({"File (", t1, ") could not be opened.  Error: ", e, "."}),
                    "File Access Error");
    case 32:
      return Ask(
          "You've selected to delete the highlighted record.  Press OK to confirm deletion of this "
          "record.",
          "Confirm Delete", Icon::kQuestion, button::kOk | button::kCancel, button::kCancel);
    case 34:
      return Inform(Cat({"Error: (", e, ") attempting to frame the ", LowerCase(t1),
                         " transaction on ", t2, ".  ", t1, " transaction cancelled."}),
                    "Transaction Framing Error");
    case 35:
      return Inform(Cat({"Error: (", e, ") attempting to access a record from the ", t1,
                         " file.  returning to previous window."}),
                    "Record Retrieval Error");
    default:
      return std::nullopt;
  }
}

int WarningMessage(int number, std::string_view t1, std::string_view t2, std::string_view t3,
                   std::string_view t4) {
  const files::ErrorState& errors = files::Errors();
  std::optional<MessageSpec> m =
      BuildMessage(number, CurrentErrorText(), errors.Code() != 0, t1, t2, t3, t4);
  if (!m) return 0;
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
