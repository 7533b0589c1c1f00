// Numbered error codes of the runtime and their texts.
//
// Every failure in storage and runtime is one of these numbers, posted into the
// process-wide error state (error_state.h). The numbers are part of the
// program's contract with its users and its stored message replacements, so the
// values are fixed and never renumbered.
#ifndef VORSANDT_RUNTIME_FILES_ERROR_CODES_H_
#define VORSANDT_RUNTIME_FILES_ERROR_CODES_H_

#include <cstdint>
#include <string>

namespace vorsandt::files {

enum ErrorCode : int32_t {
  kNoError = 0,
  // File errors.
  kFileNotFound = 2,
  kPathNotFound = 3,
  kTooManyOpenFiles = 4,
  kAccessDenied = 5,
  kMemoryCorrupted = 7,
  kInsufficientMemory = 8,
  kEntryNotFound = 30,
  kFileAlreadyLocked = 32,
  kRecordNotAvailable = 33,
  kRecordNotFound = 35,
  kInvalidDataFile = 36,
  kFileNotOpen = 37,
  kInvalidKeyFile = 38,
  kCreatesDuplicateKey = 40,
  kRecordAlreadyHeld = 43,
  kInvalidFilename = 45,
  kKeyFileMustBeRebuilt = 46,
  kInvalidRecordDeclaration = 47,
  kUnableToLogTransaction = 48,
  kFileAlreadyOpen = 52,
  kInvalidQvfFile = 53,
  kNoCreateAttribute = 54,
  kFileMustBeShared = 55,
  kLogoutAlreadyActive = 56,
  kInvalidMemoFile = 57,
  kExclusiveAccessRequired = 63,
  kSharingViolation = 64,
  kUnableToRollback = 65,
  kMemoFileMissing = 73,
  kInvalidFieldTypeDescriptor = 75,
  kInvalidIndexString = 76,
  kUnableToAccessIndex = 77,
  kInvalidNumberOfParameters = 78,
  kUnsupportedDataType = 79,
  kUnsupportedFunction = 80,
  kUnknownErrorPosted = 81,
  kInvalidKeyLength = 88,
  kRecordChangedByAnotherStation = 89,
  // A failure a driver reports in its own terms: its error text and code
  // text are in the error state (ErrorState::SetDriverTexts).
  kDriverReportedError = 90,
  // Operating-system errors are posted as kSystemErrorBase + the mapped number.
  kSystemErrorBase = 300,
  // Runtime errors (shown through the runtime-error box, which ends the program).
  kStackOverflow = 401,
  kNullPointer = 402,
  kTerminatedBySignal = 403,
  kArithmeticOverflow = 404,
  kVariableOutOfRange = 405,
  kNoReturnValue = 406,
  kNoMatchingCaseLabel = 407,
  kLongIntegerDivideByZero = 408,
  kIndexOutOfRange = 409,
  kPureVirtualCalled = 410,
  // Window engine errors: 501-515 are "Internal error NN".
  kInternalError01 = 501,
  kMismatchWithDll = 520,
  kEventPostedToReportControl = 522,
  kReportAlreadyOpen = 525,
  kUnableToOpenWindow = 529,
  kWindowAlreadyOpen = 535,
  kWindowNotOpen = 536,
  kAcceptNeedsWindow = 537,
  // Data exchange.
  kInvalidDdeChannel = 601,
  // Expression evaluation.
  kInvalidExpression = 800,
  kNoBindOnVariable = 801,
};

// Marks a failure that is not posted into the error state (all ones).
inline constexpr int32_t kFailSilently = -1;

// The runtime's own text for `code`, or nullptr when the table has none.
// Texts are returned exactly as stored, trailing blanks included.
const char* ErrorTableText(int32_t code);

// The text without its trailing blanks and the number, for tools and
// messages that name a failure: "Creates Duplicate Key (40)"; "Error (N)" for
// a number the table has no text for. For 90 the driver's own texts from the
// error state: "File locks do not work in /srv/house: ... (ENOLCK)".
std::string ErrorTextWithCode(int32_t code);

// Maps a POSIX errno value to the operating-system numbering of the error
// table (2 file not found, 5 access denied, ...). `writing` picks write fault
// (29) rather than read fault (30) for EIO. Unknown values map to 31.
int32_t MapErrno(int errnum, bool writing = false);

// The same as MapErrno for a failed byte-range lock: EAGAIN and friends mean
// the range is held by someone else (33, lock violation).
int32_t MapLockErrno(int errnum);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_ERROR_CODES_H_
