// The forgetful environment must model a failed flush as Linux does, or the
// flushes scenario would prove nothing.
#include "tests/torture/forgetful_env.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "runtime/env/fault_env.h"

namespace vorsandt::torture {
namespace {

TEST(ForgetfulEnv, WritesBeforeAFailedFlushNeverReachTheDiskUnlessWrittenAgain) {
  env::FaultEnv base;
  ForgetfulEnv forgetful(&base, /*fail_at=*/2);
  std::unique_ptr<env::File> f;
  ASSERT_EQ(forgetful.Open("a", env::kOpenCreate, &f), 0);
  ASSERT_EQ(f->WriteAt(0, "AAAA", 4), 0);
  ASSERT_EQ(f->Sync(), 0);  // flush 1: AAAA is durable
  ASSERT_EQ(f->WriteAt(0, "BB", 2), 0);
  ASSERT_EQ(f->WriteAt(2, "CC", 2), 0);
  EXPECT_EQ(f->Sync(), EIO);  // flush 2 fails: BB and CC are forgotten
  size_t got = 0;
  char now[4];
  ASSERT_EQ(f->ReadAt(0, now, 4, &got), 0);
  EXPECT_EQ(std::string(now, got), "BBCC");  // still what reads see
  ASSERT_EQ(f->WriteAt(2, "DD", 2), 0);      // written again after the failure
  ASSERT_EQ(f->Sync(), 0);                   // flush 3 "succeeds"
  EXPECT_EQ(forgetful.DurableImages().at("a"), "AADD");
  EXPECT_EQ(forgetful.OverlappingWrites(), 0);
}

TEST(ForgetfulEnv, CountsWritesOverlappingAnUnflushedWrite) {
  env::FaultEnv base;
  ForgetfulEnv forgetful(&base, /*fail_at=*/0);
  std::unique_ptr<env::File> f;
  ASSERT_EQ(forgetful.Open("a", env::kOpenCreate, &f), 0);
  ASSERT_EQ(f->WriteAt(0, "AAAA", 4), 0);
  ASSERT_EQ(f->WriteAt(4, "BBBB", 4), 0);  // beside, not over
  EXPECT_EQ(forgetful.OverlappingWrites(), 0);
  ASSERT_EQ(f->WriteAt(3, "CC", 2), 0);  // over both
  EXPECT_EQ(forgetful.OverlappingWrites(), 1);
  ASSERT_EQ(f->Sync(), 0);
  ASSERT_EQ(f->WriteAt(0, "DD", 2), 0);  // after a flush: nothing unflushed below
  EXPECT_EQ(forgetful.OverlappingWrites(), 1);
  EXPECT_EQ(forgetful.DurableImages().at("a"), "AAACCBBB");
}

}  // namespace
}  // namespace vorsandt::torture
