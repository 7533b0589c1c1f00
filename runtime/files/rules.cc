#include "runtime/files/rules.h"

#include <array>

#include "runtime/files/error_codes.h"
#include "runtime/files/op_codes.h"

namespace vorsandt::files {
namespace {

// Rows 1..79 in order of code: after, requires, forbids, sets, clears,
// clears on failure. Codes 23, 35, 39, 60, 71, 72 and 74 are all zero.
constexpr std::array<RuleRow, 80> kRows = {{
    {0, 0, 0, 0, 0, 0},                 // 0 (no such operation)
    {0x01, 0x41, 0, 0x02, 0, 0},        // 1 Add
    {0, 0x21, 0, 0, 0, 0},              // 2 Bof
    {0x01, 0xC0, 0x04, 0, 0, 0},        // 3 BuildKeys
    {0x01, 0x41, 0, 0, 0, 0},           // 4 Append
    {0x01, 0x01, 0x04, 0, 0, 0},        // 5 key building with a text
    {0x01, 0xC0, 0x04, 0, 0, 0},        // 6 key building variant
    {0x03, 0x01, 0x04, 0, 0x01, 0},     // 7 Close
    {0x01, 0x05, 0, 0, 0x04, 0},        // 8 CommitFile
    {0x03, 0, 0x01, 0, 0, 0},           // 9 Copy
    {0x03, 0, 0x01, 0, 0, 0},           // 10 Create
    {0x01, 0x43, 0, 0, 0x02, 0},        // 11 Delete
    {0x01, 0x41, 0, 0, 0, 0},           // 12 duplicate test on all keys
    {0x01, 0xC1, 0x04, 0, 0, 0},        // 13 Empty
    {0, 0x21, 0, 0, 0, 0},              // 14 Eof
    {0x01, 0x01, 0, 0x02, 0, 0x02},     // 15 GetByKey
    {0x01, 0x01, 0, 0x02, 0, 0x02},     // 16 GetByPointer
    {0x01, 0x01, 0, 0x02, 0, 0x02},     // 17 GetByPointer, second form
    {0x01, 0x01, 0, 0, 0, 0},           // 18 hold next read
    {0x01, 0x01, 0, 0, 0, 0},           // 19 hold next read with timeout
    {0x01, 0x01, 0x10, 0x90, 0, 0},     // 20 Lock
    {0x01, 0x01, 0x10, 0x90, 0, 0},     // 21 LockTimeout
    {0x01, 0x01, 0x04, 0x04, 0, 0},     // 22 BeginTransaction
    {0, 0, 0, 0, 0, 0},                 // 23 Name
    {0x05, 0x21, 0, 0x02, 0, 0x02},     // 24 Next
    {0x01, 0, 0x01, 0x01, 0, 0},        // 25 Open
    {0x01, 0xC1, 0x04, 0, 0x22, 0x22},  // 26 Pack
    {0, 0x03, 0, 0, 0, 0},              // 27 Pointer
    {0, 0x03, 0, 0, 0, 0},              // 28 Pointer, second form
    {0x01, 0x09, 0, 0, 0x08, 0},        // 29 Release
    {0x01, 0x43, 0, 0, 0, 0},           // 30 Put
    {0x05, 0x21, 0, 0x02, 0, 0x02},     // 31 Previous
    {0, 0x01, 0, 0, 0, 0},              // 32 Records
    {0, 0x01, 0, 0, 0, 0},              // 33 records of a key
    {0x01, 0x01, 0x04, 0, 0, 0},        // 34 key building with two texts
    {0, 0, 0, 0, 0, 0},                 // 35
    {0x01, 0x01, 0, 0, 0, 0},           // 36 release held record
    {0x03, 0, 0x01, 0, 0, 0},           // 37 Remove
    {0x03, 0, 0x01, 0, 0, 0},           // 38 Rename
    {0, 0, 0, 0, 0, 0},                 // 39
    {0x01, 0x05, 0, 0, 0x04, 0},        // 40 RollbackFile
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 41 SetFile
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 42 by key value in record order
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 43 SetFilePointer
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 44 SetKey
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 45 SetKeyValue
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 46 key order at a record
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 47 key order at value and record
    {0x01, 0, 0x01, 0x01, 0, 0},        // 48 Open
    {0x05, 0x21, 0, 0, 0x02, 0x02},     // 49 Skip
    {0x01, 0x11, 0x04, 0, 0x10, 0},     // 50 Unlock
    {0x01, 0x01, 0, 0, 0, 0},           // 51 Add with a length
    {0x01, 0x01, 0, 0, 0, 0},           // 52 Bytes
    {0x01, 0x01, 0, 0x02, 0, 0x02},     // 53 GetByPointer with a length
    {0x01, 0x41, 0, 0, 0, 0x02},        // 54 Put at a pointer
    {0x01, 0x41, 0, 0, 0, 0x02},        // 55 Put at a pointer with a length
    {0x01, 0x01, 0x08, 0x08, 0, 0},     // 56 Hold
    {0x01, 0x01, 0, 0, 0, 0},           // 57 Duplicate
    {0x01, 0x01, 0, 0, 0, 0},           // 58 watch next read
    {0x01, 0x41, 0, 0, 0, 0},           // 59 Append with a length
    {0, 0, 0, 0, 0, 0},                 // 60 Send
    {0x01, 0x03, 0, 0, 0, 0},           // 61 Position
    {0x01, 0x03, 0, 0, 0, 0},           // 62 PositionKey
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 63 Reset
    {0x05, 0x01, 0, 0x20, 0, 0x20},     // 64 ResetKey
    {0, 0x01, 0, 0, 0, 0},              // 65 skip memos on next read
    {0x01, 0x01, 0, 0x02, 0, 0},        // 66 Reget
    {0x01, 0x01, 0, 0x02, 0, 0},        // 67 RegetKey
    {0x01, 0x01, 0, 0, 0, 0},           // 68
    {0x01, 0x01, 0, 0, 0, 0},           // 69
    {0x01, 0x01, 0, 0, 0, 0},           // 70
    {0, 0, 0, 0, 0, 0},                 // 71 SetFilter
    {0, 0, 0, 0, 0, 0},                 // 72
    {0, 0x01, 0, 0, 0, 0},              // 73 key number of the sequence
    {0, 0, 0, 0, 0, 0},                 // 74 view engine query
    {0x01, 0x01, 0, 0, 0, 0},           // 75 blob transfer
    {0x01, 0x01, 0, 0, 0, 0},           // 76 blob transfer
    {0, 0x01, 0, 0, 0, 0},              // 77 blob transfer
    {0x01, 0x01, 0, 0, 0, 0},           // 78 blob transfer
    {0x01, 0x01, 0, 0, 0, 0},           // 79 blob transfer
}};

constexpr RuleRow kZeroRow = {0, 0, 0, 0, 0, 0};

}  // namespace

const RuleRow& RuleFor(int32_t op) {
  if (op < kFirstOp || op > kLastOp) return kZeroRow;
  return kRows[op];
}

int32_t CheckRules(int32_t op, uint32_t state) {
  if (op < 0 || op >= 0x13C) return kUnsupportedFunction;
  const RuleRow& row = RuleFor(op);
  uint32_t missing = row.requires_state & ~state;
  if (missing != 0) {
    if (missing & kStateOpen) return kFileNotOpen;
    // Operations that do not need an open file work on a closed one.
    if (!(state & kStateOpen)) return 0;
    if (missing & (kStateCurrent | kStateSequence)) return kRecordNotAvailable;
    if (missing & kStateExclusive) return kExclusiveAccessRequired;
    if (missing & kStateWrite) return kAccessDenied;
    return kFailSilently;
  }
  uint32_t forbidden = row.forbids_state & state;
  if (forbidden != 0) {
    if (forbidden & kStateOpen) return kFileAlreadyOpen;
    if (forbidden & kStateTransaction) return kLogoutAlreadyActive;
    return kFailSilently;
  }
  return 0;
}

bool TakesTextArgument(int32_t op) {
  switch (op) {
    case 5: case 9: case 34: case 38: case 60: case 63: case 64:
    case 66: case 67: case 71: case 72: case 78: case 79:
      return true;
    default:
      return false;
  }
}

bool ReturnsText(int32_t op) {
  switch (op) {
    case 23: case 60: case 61: case 62: case 72: case 79:
      return true;
    default:
      return false;
  }
}

bool ReturnsValue(int32_t op) {
  switch (op) {
    case 12: case 27: case 28: case 32: case 33: case 52: case 57: case 73:
      return true;
    default:
      return false;
  }
}

}  // namespace vorsandt::files
