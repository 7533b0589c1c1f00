// Operation codes of the driver interface. Every operation on a table, text
// file or view is sent to its driver by one of these numbers; the values are
// fixed because drivers, the rules table and stored position texts agree on them.
#ifndef VORSANDT_RUNTIME_FILES_OP_CODES_H_
#define VORSANDT_RUNTIME_FILES_OP_CODES_H_

#include <cstdint>

namespace vorsandt::files {

enum Op : int32_t {
  kOpAdd = 1,
  kOpBof = 2,
  kOpBuildKeys = 3,
  kOpAppend = 4,
  kOpBuildKeysText = 5,      // key building variant with one text argument
  kOpBuildKeysVariant = 6,
  kOpClose = 7,
  kOpCommitFile = 8,
  kOpCopy = 9,
  kOpCreate = 10,
  kOpDelete = 11,
  kOpDuplicateAll = 12,      // would the buffer duplicate an entry of any key?
  kOpEmpty = 13,
  kOpEof = 14,
  kOpGetByKey = 15,
  kOpGetByPointer = 16,
  kOpGetByPointer2 = 17,
  kOpHoldNext = 18,
  kOpHoldNextTimeout = 19,
  kOpLock = 20,
  kOpLockTimeout = 21,
  kOpBeginTransaction = 22,
  kOpName = 23,
  kOpNext = 24,
  kOpOpen = 25,
  kOpPack = 26,
  kOpPointer = 27,
  kOpPointer2 = 28,
  kOpRelease = 29,
  kOpPut = 30,
  kOpPrevious = 31,
  kOpRecords = 32,
  kOpKeyRecords = 33,
  kOpBuildKeysTwoTexts = 34,
  kOpUnused35 = 35,
  kOpReleaseHeld = 36,
  kOpRemove = 37,
  kOpRename = 38,
  kOpUnused39 = 39,
  kOpRollbackFile = 40,
  kOpSetFile = 41,
  kOpSetKeyValueRecordOrder = 42,
  kOpSetFilePointer = 43,
  kOpSetKey = 44,
  kOpSetKeyValue = 45,
  kOpSetKeyAtRecord = 46,
  kOpSetKeyAtValueAndRecord = 47,
  kOpOpen2 = 48,
  kOpSkip = 49,
  kOpUnlock = 50,
  kOpAddWithLength = 51,
  kOpBytes = 52,
  kOpGetByPointerWithLength = 53,
  kOpPutAtPointer = 54,
  kOpPutAtPointerWithLength = 55,
  kOpHold = 56,
  kOpDuplicate = 57,
  kOpWatch = 58,
  kOpAppendWithLength = 59,
  kOpSend = 60,
  kOpPosition = 61,
  kOpPositionKey = 62,
  kOpReset = 63,
  kOpResetKey = 64,
  kOpSkipMemos = 65,
  kOpReget = 66,
  kOpRegetKey = 67,
  kOpUnused68 = 68,
  kOpUnused69 = 69,
  kOpUnused70 = 70,
  kOpSetFilter = 71,
  kOpTextOp72 = 72,
  kOpOrderKey = 73,          // key number ordering the current sequence, 0 physical
  kOpViewEngine = 74,        // does the driver have a view engine of its own?
  kOpBlob75 = 75,
  kOpBlob76 = 76,
  kOpBlob77 = 77,
  kOpBlob78 = 78,
  kOpBlob79 = 79,
};

inline constexpr int32_t kFirstOp = 1;
inline constexpr int32_t kLastOp = 79;

// Codes whose first text argument travels on the text stack (popped by the
// driver call before anything else happens).
bool TakesTextArgument(int32_t op);
// Code 34 takes two.
inline bool TakesTwoTextArguments(int32_t op) { return op == kOpBuildKeysTwoTexts; }
// Codes whose text result is pushed on the text stack, even on failure.
bool ReturnsText(int32_t op);
// Codes whose 32-bit result is a value (count, pointer, size, flag).
bool ReturnsValue(int32_t op);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_OP_CODES_H_
