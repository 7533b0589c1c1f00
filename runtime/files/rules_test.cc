#include "runtime/files/rules.h"

#include <gtest/gtest.h>

#include "runtime/files/error_codes.h"
#include "runtime/files/op_codes.h"

namespace vorsandt::files {
namespace {

TEST(RulesTest, CheckAnswersAsTheTableSays) {
  struct Case { int32_t op; uint32_t state; int32_t expected; };
  const uint32_t open = kStateOpen, rw = kStateOpen | kStateWrite;
  const Case cases[] = {
      {kOpNext, 0, kFileNotOpen},
      {kOpNext, open, kRecordNotAvailable},
      {kOpNext, open | kStateSequence, 0},
      {kOpPut, rw, kRecordNotAvailable},
      {kOpPut, open | kStateCurrent, kAccessDenied},
      {kOpPut, rw | kStateCurrent, 0},
      {kOpAdd, open, kAccessDenied},
      {kOpBuildKeys, rw, kExclusiveAccessRequired},
      {kOpBuildKeys, rw | kStateExclusive, 0},
      {kOpBuildKeys, rw | kStateExclusive | kStateTransaction, kLogoutAlreadyActive},
      {kOpOpen, open, kFileAlreadyOpen},
      {kOpOpen, 0, 0},
      {kOpCreate, open, kFileAlreadyOpen},
      {kOpClose, open | kStateTransaction, kLogoutAlreadyActive},
      {kOpUnlock, open, kFailSilently},
      {kOpRelease, open, kFailSilently},
      {kOpHold, open | kStateHeld, kFailSilently},
      {kOpLock, open | kStateLocked, kFailSilently},
      {kOpEof, 0, kFileNotOpen},
      {kOpName, 0, 0},
      {kOpSend, 0, 0},
      {kOpCommitFile, open, kFailSilently},
      {-1, open, kUnsupportedFunction},
      {0x13C, open, kUnsupportedFunction},
      {0x13B, open, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckRules(c.op, c.state), c.expected) << "op " << c.op << " state " << c.state;
  }
}

TEST(RulesTest, RowsThatReleaseOrRemember) {
  EXPECT_EQ(RuleFor(kOpClose).after, 0x03u);
  EXPECT_EQ(RuleFor(kOpNext).after, 0x05u);
  EXPECT_EQ(RuleFor(kOpPack).clears_on_failure, 0x22u);
  EXPECT_EQ(RuleFor(kOpLock).sets, 0x90u);
  for (int32_t op : {23, 35, 39, 60, 71, 72, 74, 80, 0}) {
    const RuleRow& r = RuleFor(op);
    EXPECT_EQ(r.after | r.requires_state | r.forbids_state | r.sets | r.clears |
                  r.clears_on_failure,
              0u)
        << op;
  }
}

}  // namespace
}  // namespace vorsandt::files
