#include "runtime/files/rules.h"

#include <array>

#include "runtime/files/error_codes.h"
#include "runtime/files/op_codes.h"

namespace vorsandt::files {
namespace {

// The rows that are not all zero: operation, then after-flags, the state it
// requires, the state it forbids, the state it sets, clears, and clears when
// it fails.
struct NamedRow {
  Op op;
  RuleRow row;
};
constexpr NamedRow kNamedRows[] = {
    {kOpAdd, {kAfterResetsError, kStateOpen | kStateWrite, 0, kStateCurrent, 0, 0}},
    {kOpBof, {0, kStateOpen | kStateSequence, 0, 0, 0, 0}},
    {kOpBuildKeys, {kAfterResetsError, kStateWrite | kStateExclusive, kStateTransaction, 0, 0, 0}},
    {kOpAppend, {kAfterResetsError, kStateOpen | kStateWrite, 0, 0, 0, 0}},
    {kOpBuildKeysText, {kAfterResetsError, kStateOpen, kStateTransaction, 0, 0, 0}},
    {kOpBuildKeysVariant,
     {kAfterResetsError, kStateWrite | kStateExclusive, kStateTransaction, 0, 0, 0}},
    {kOpClose,
     {kAfterResetsError | kAfterReleasesBlock, kStateOpen, kStateTransaction, 0, kStateOpen, 0}},
    {kOpCommitFile,
     {kAfterResetsError, kStateOpen | kStateTransaction, 0, 0, kStateTransaction, 0}},
    {kOpCopy, {kAfterResetsError | kAfterReleasesBlock, 0, kStateOpen, 0, 0, 0}},
    {kOpCreate, {kAfterResetsError | kAfterReleasesBlock, 0, kStateOpen, 0, 0, 0}},
    {kOpDelete,
     {kAfterResetsError, kStateOpen | kStateCurrent | kStateWrite, 0, 0, kStateCurrent, 0}},
    {kOpDuplicateAll, {kAfterResetsError, kStateOpen | kStateWrite, 0, 0, 0, 0}},
    {kOpEmpty,
     {kAfterResetsError, kStateOpen | kStateWrite | kStateExclusive, kStateTransaction, 0, 0, 0}},
    {kOpEof, {0, kStateOpen | kStateSequence, 0, 0, 0, 0}},
    {kOpGetByKey, {kAfterResetsError, kStateOpen, 0, kStateCurrent, 0, kStateCurrent}},
    {kOpGetByPointer, {kAfterResetsError, kStateOpen, 0, kStateCurrent, 0, kStateCurrent}},
    {kOpGetByPointer2, {kAfterResetsError, kStateOpen, 0, kStateCurrent, 0, kStateCurrent}},
    {kOpHoldNext, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpHoldNextTimeout, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpLock, {kAfterResetsError, kStateOpen, kStateLocked, kStateLocked | kStateExclusive, 0, 0}},
    {kOpLockTimeout,
     {kAfterResetsError, kStateOpen, kStateLocked, kStateLocked | kStateExclusive, 0, 0}},
    {kOpBeginTransaction,
     {kAfterResetsError, kStateOpen, kStateTransaction, kStateTransaction, 0, 0}},
    {kOpNext,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen | kStateSequence, 0, kStateCurrent, 0,
      kStateCurrent}},
    {kOpOpen, {kAfterResetsError, 0, kStateOpen, kStateOpen, 0, 0}},
    {kOpPack,
     {kAfterResetsError, kStateOpen | kStateWrite | kStateExclusive, kStateTransaction, 0,
      kStateCurrent | kStateSequence, kStateCurrent | kStateSequence}},
    {kOpPointer, {0, kStateOpen | kStateCurrent, 0, 0, 0, 0}},
    {kOpPointer2, {0, kStateOpen | kStateCurrent, 0, 0, 0, 0}},
    {kOpRelease, {kAfterResetsError, kStateOpen | kStateHeld, 0, 0, kStateHeld, 0}},
    {kOpPut, {kAfterResetsError, kStateOpen | kStateCurrent | kStateWrite, 0, 0, 0, 0}},
    {kOpPrevious,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen | kStateSequence, 0, kStateCurrent, 0,
      kStateCurrent}},
    {kOpRecords, {0, kStateOpen, 0, 0, 0, 0}},
    {kOpKeyRecords, {0, kStateOpen, 0, 0, 0, 0}},
    {kOpBuildKeysTwoTexts, {kAfterResetsError, kStateOpen, kStateTransaction, 0, 0, 0}},
    {kOpReleaseHeld, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpRemove, {kAfterResetsError | kAfterReleasesBlock, 0, kStateOpen, 0, 0, 0}},
    {kOpRename, {kAfterResetsError | kAfterReleasesBlock, 0, kStateOpen, 0, 0, 0}},
    {kOpRollbackFile,
     {kAfterResetsError, kStateOpen | kStateTransaction, 0, 0, kStateTransaction, 0}},
    {kOpSetFile,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpSetKeyValueRecordOrder,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpSetFilePointer,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpSetKey,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpSetKeyValue,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpSetKeyAtRecord,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpSetKeyAtValueAndRecord,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpOpen2, {kAfterResetsError, 0, kStateOpen, kStateOpen, 0, 0}},
    {kOpSkip,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen | kStateSequence, 0, 0, kStateCurrent,
      kStateCurrent}},
    {kOpUnlock,
     {kAfterResetsError, kStateOpen | kStateLocked, kStateTransaction, 0, kStateLocked, 0}},
    {kOpAddWithLength, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpBytes, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpGetByPointerWithLength,
     {kAfterResetsError, kStateOpen, 0, kStateCurrent, 0, kStateCurrent}},
    {kOpPutAtPointer, {kAfterResetsError, kStateOpen | kStateWrite, 0, 0, 0, kStateCurrent}},
    {kOpPutAtPointerWithLength,
     {kAfterResetsError, kStateOpen | kStateWrite, 0, 0, 0, kStateCurrent}},
    {kOpHold, {kAfterResetsError, kStateOpen, kStateHeld, kStateHeld, 0, 0}},
    {kOpDuplicate, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpWatch, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpAppendWithLength, {kAfterResetsError, kStateOpen | kStateWrite, 0, 0, 0, 0}},
    {kOpPosition, {kAfterResetsError, kStateOpen | kStateCurrent, 0, 0, 0, 0}},
    {kOpPositionKey, {kAfterResetsError, kStateOpen | kStateCurrent, 0, 0, 0, 0}},
    {kOpReset,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpResetKey,
     {kAfterResetsError | kAfterRemembersSequence, kStateOpen, 0, kStateSequence, 0,
      kStateSequence}},
    {kOpSkipMemos, {0, kStateOpen, 0, 0, 0, 0}},
    {kOpReget, {kAfterResetsError, kStateOpen, 0, kStateCurrent, 0, 0}},
    {kOpRegetKey, {kAfterResetsError, kStateOpen, 0, kStateCurrent, 0, 0}},
    {kOpUnused68, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpUnused69, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpUnused70, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpOrderKey, {0, kStateOpen, 0, 0, 0, 0}},
    {kOpBlob75, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpBlob76, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpBlob77, {0, kStateOpen, 0, 0, 0, 0}},
    {kOpBlob78, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
    {kOpBlob79, {kAfterResetsError, kStateOpen, 0, 0, 0, 0}},
};

constexpr std::array<RuleRow, kLastOp + 1> BuildRows() {
  std::array<RuleRow, kLastOp + 1> rows{};
  for (const NamedRow& named : kNamedRows) rows[named.op] = named.row;
  return rows;
}
constexpr std::array<RuleRow, kLastOp + 1> kRows = BuildRows();

// Codes from here up are no operation of the interface at all.
constexpr int32_t kOpCodeLimit = 0x13C;

constexpr RuleRow kZeroRow = {0, 0, 0, 0, 0, 0};

}  // namespace

const RuleRow& RuleFor(int32_t op) {
  if (op < kFirstOp || op > kLastOp) return kZeroRow;
  return kRows[op];
}

int32_t CheckRules(int32_t op, uint32_t state) {
  if (op < 0 || op >= kOpCodeLimit) return kUnsupportedFunction;
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
    case kOpBuildKeysText:
    case kOpCopy:
    case kOpBuildKeysTwoTexts:
    case kOpRename:
    case kOpSend:
    case kOpReset:
    case kOpResetKey:
    case kOpReget:
    case kOpRegetKey:
    case kOpSetFilter:
    case kOpTextOp72:
    case kOpBlob78:
    case kOpBlob79:
      return true;
    default:
      return false;
  }
}

bool ReturnsText(int32_t op) {
  switch (op) {
    case kOpName:
    case kOpSend:
    case kOpPosition:
    case kOpPositionKey:
    case kOpTextOp72:
    case kOpBlob79:
      return true;
    default:
      return false;
  }
}

bool ReturnsValue(int32_t op) {
  switch (op) {
    case kOpDuplicateAll:
    case kOpPointer:
    case kOpPointer2:
    case kOpRecords:
    case kOpKeyRecords:
    case kOpBytes:
    case kOpDuplicate:
    case kOpOrderKey:
      return true;
    default:
      return false;
  }
}

}  // namespace vorsandt::files
