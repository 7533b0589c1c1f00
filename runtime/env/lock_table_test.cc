#include "runtime/env/lock_table.h"

#include <gtest/gtest.h>

namespace vorsandt::env {
namespace {

const int kA = 0;
const int kB = 0;

TEST(LockTableConflicts, SharedClaimsCoexistExclusiveDoesNot) {
  LockTable t;
  t.Add(&kA, 10, 20, false);
  EXPECT_FALSE(t.Conflicts(15, 25, false));
  EXPECT_TRUE(t.Conflicts(15, 25, true));
  EXPECT_FALSE(t.Conflicts(20, 30, true));  // touching, not overlapping
  EXPECT_FALSE(t.Conflicts(0, 10, true));
  t.Add(&kB, 30, 31, true);
  EXPECT_TRUE(t.Conflicts(30, 31, false));
}

TEST(LockTableRemove, RemovesOnlyTheExactClaimOfTheOwner) {
  LockTable t;
  t.Add(&kA, 10, 20, false);
  t.Add(&kA, 10, 20, false);
  EXPECT_FALSE(t.Remove(&kB, 10, 20));
  EXPECT_FALSE(t.Remove(&kA, 10, 21));
  EXPECT_TRUE(t.Remove(&kA, 10, 20));
  EXPECT_FALSE(t.Empty());
  EXPECT_TRUE(t.Remove(&kA, 10, 20));
  EXPECT_TRUE(t.Empty());
}

TEST(LockTableUncovered, LeavesOutBytesOtherClaimsOfTheOwnerHold) {
  LockTable t;
  t.Add(&kA, 0, 5, false);
  t.Add(&kA, 8, 12, false);
  t.Add(&kB, 12, 20, false);  // another owner does not cover
  auto r = t.Uncovered(&kA, 2, 20);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0], LockTable::Range(5, 8));
  EXPECT_EQ(r[1], LockTable::Range(12, 20));
  EXPECT_TRUE(t.Uncovered(&kA, 1, 4).empty());
}

}  // namespace
}  // namespace vorsandt::env
