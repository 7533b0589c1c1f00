// The application's numbered message catalogue: WarningMessage shows one of
// its messages, with the current error text and up to four texts of the
// caller, and returns the button that closed it. Messages that report a table
// that cannot be used end the program afterwards (the "Halt" box, exit code 0).
#ifndef VORSANDT_APP_MESSAGES_WARNING_MESSAGE_H_
#define VORSANDT_APP_MESSAGES_WARNING_MESSAGE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/engine/events.h"

namespace vorsandt::app {

// The error text placed in messages never exceeds this many characters.
inline constexpr size_t kErrorTextLimit = 150;

// The error code a file driver posts when it reports a failure in its own
// terms; its text and code text then come from the driver.
inline constexpr int32_t kDriverReportedError = 90;

// The error text for `code`: for code 90 the driver's text and, in
// parentheses, the driver's code text; otherwise the runtime's text and the
// code in decimal. Texts lose their trailing blanks; the result is cut to 150
// characters.
std::string ComposeErrorText(int32_t code, std::string_view runtime_text,
                             std::string_view driver_text = {},
                             std::string_view driver_code_text = {});

// The error text of the running procedure's error state (see
// ComposeErrorText); drivers that report code 90 leave their texts there
// (files::ErrorState::SetDriverTexts).
std::string CurrentErrorText();

// The messages of the catalogue; the values are the message numbers.
enum class MessageId : int {
  kInvalidFile = 1,               // a table has an invalid record declaration (halts)
  kInvalidKey = 2,                // a table's keys must be rebuilt: Yes rebuilds, No halts
  kKeyRebuildError = 3,           // rebuilding keys failed (halts)
  kFileCreationError = 4,         // creating a table failed, or it may not be created (halts)
  kCreatedFileOpenError = 5,      // opening a freshly created table failed (halts)
  kFieldContentsError = 11,       // a looked-up value is not in its table
  kRecordInsertError = 14,        // adding a record failed
  kUpdateOperationError = 15,     // rewriting a record failed
  kChangeRetry = 16,              // saving a change failed: try again?
  kDeleteOperationError = 17,     // deleting a record failed
  kDeleteRetry = 18,              // a delete request failed: try again?
  kDuplicateKey = 24,             // an added record duplicates a unique key
  kAutoIncrementError = 25,       // automatic numbering failed three times
  kFileLoadError = 26,            // a text file cannot be loaded
  kCancelLoading = 27,            // the user interrupts loading a text file
  kFileHasNoText = 28,            // a text file is empty
  kFileAccessError = 30,          // a table cannot be opened (the caller then halts)
  kConfirmDelete = 32,            // confirming a delete request
  kTransactionFramingError = 34,  // a transaction cannot be started
  kRecordRetrievalError = 35,     // reading a record failed
  // The program's own, numbered past the catalogue above.
  kListExportError = 101,         // a list could not be written to a CSV file
  kListExported = 102,            // a list was written to a CSV file
  kClaimPackNoItem = 111,         // a claim names no item on file: no pack
  kClaimPackNoPolicy = 112,       // the claim's item names no policy on file: no pack
  kClaimPackNoPhotograph = 113,   // a pack was written without the item's photograph
  kClaimPackWritten = 114,        // a claim pack was written
  kClaimPackError = 115,          // a claim pack could not be written
  kClaimPackNoDocuments = 116,    // a pack was written without some of the item's documents
  kBackupError = 120,             // the data could not be backed up
  kBackedUp = 121,                // the data was backed up to an archive
  kBackupCancelled = 122,         // the user cancelled a backup
  kRestoreError = 123,            // a backup was refused or could not be restored
  kRestoreReplace = 124,          // restoring over tables: replace them?
  kRestored = 125,                // a backup was restored
  kRestoreCancelled = 126,        // the user cancelled a restore
  kImportError = 127,             // a CSV file could not be imported
  kImported = 128,                // a CSV file was imported into a table
  kConfirmDeleteReach = 130,      // a delete takes dependants along: delete them all?
};

// One message, ready to show.
struct MessageSpec {
  std::string text;
  std::string caption;
  ui::Icon icon = ui::Icon::kExclamation;
  int buttons = ui::button::kOk;
  int default_button = ui::button::kOk;
  // Non-empty: the program halts with this text after the message, on any
  // answer except `continue_button` (0: on every answer).
  std::string halt;
  int continue_button = 0;
};

// Builds message `id` from the error text `e`, whether an error code is set
// (message 15 reads differently without one) and the caller's texts T1-T4.
// nullopt for a value the catalogue does not hold.
std::optional<MessageSpec> BuildMessage(MessageId id, std::string_view e, bool error_set,
                                        std::string_view t1 = {}, std::string_view t2 = {},
                                        std::string_view t3 = {}, std::string_view t4 = {});

// Shows message `id` through the calling procedure's window engine and
// returns the button chosen (ui::button flags). Halting messages do not
// return. A value outside the catalogue shows nothing and returns 0.
int WarningMessage(MessageId id, std::string_view t1 = {}, std::string_view t2 = {},
                   std::string_view t3 = {}, std::string_view t4 = {});

// The same, with `why` after the catalogue's text: a sentence in plain words
// that says what the numbered error means here ("ITEMS.QVF is a folder, not
// a table file."); an empty `why` adds nothing. The catalogue's text stays
// as it is, so that what the user has learnt to read is still there.
int WarningMessageWhy(std::string_view why, MessageId id, std::string_view t1 = {},
                      std::string_view t2 = {}, std::string_view t3 = {},
                      std::string_view t4 = {});

// `text` without its trailing blanks.
std::string_view TrimRight(std::string_view text);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_MESSAGES_WARNING_MESSAGE_H_
