#include "runtime/env/fault_env.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace vorsandt::env {
namespace {

std::unique_ptr<File> OpenFile(FaultEnv& env, const std::string& path) {
  std::unique_ptr<File> f;
  EXPECT_EQ(env.Open(path, kOpenCreate, &f), 0);
  return f;
}

TEST(FaultEnvCrash, DropLosesEverythingSinceTheLastSync) {
  FaultEnv env;
  auto f = OpenFile(env, "A");
  ASSERT_EQ(f->WriteAt(0, "old", 3), 0);
  ASSERT_EQ(f->Sync(), 0);
  ASSERT_EQ(f->WriteAt(0, "new", 3), 0);
  ASSERT_EQ(f->WriteAt(3, "tail", 4), 0);
  EXPECT_EQ(env.Contents("A"), "newtail");
  env.Crash(FaultEnv::CrashMode::kDropUnsynced);
  EXPECT_EQ(env.Contents("A"), "old");
  char c;
  size_t got;
  EXPECT_EQ(f->ReadAt(0, &c, 1, &got), EIO);  // handles die with the crash
}

TEST(FaultEnvCrash, KeepRetainsAcceptedWrites) {
  FaultEnv env;
  auto f = OpenFile(env, "A");
  ASSERT_EQ(f->WriteAt(0, "abc", 3), 0);
  env.Crash(FaultEnv::CrashMode::kKeepUnsynced);
  EXPECT_EQ(env.Contents("A"), "abc");
}

TEST(FaultEnvCrash, TearKeepsAnInOrderSubsetAndOnlySyncedDataIsSafe) {
  for (uint32_t seed = 0; seed < 20; ++seed) {
    FaultEnv env;
    auto f = OpenFile(env, "A");
    std::string base(2048, 'a');
    ASSERT_EQ(f->WriteAt(0, base.data(), base.size()), 0);
    ASSERT_EQ(f->Sync(), 0);
    std::string b(2048, 'b');
    ASSERT_EQ(f->WriteAt(1024, b.data(), b.size()), 0);
    env.Crash(FaultEnv::CrashMode::kTearUnsynced, seed);
    std::string after = env.Contents("A");
    ASSERT_GE(after.size(), 2048u);
    EXPECT_EQ(after.substr(0, 1024), std::string(1024, 'a'));
    // Whatever of the write survived is a whole-sector prefix of it.
    size_t bs = 0;
    while (1024 + bs < after.size() && after[1024 + bs] == 'b') ++bs;
    EXPECT_EQ(bs % 512, 0u);
  }
}

TEST(FaultEnvView, FollowsWritesAndFailsLikeReadsAfterACrash) {
  FaultEnv env;
  auto f = OpenFile(env, "A");
  ASSERT_EQ(f->WriteAt(0, "old!", 4), 0);
  std::unique_ptr<FileView> view;
  EXPECT_EQ(f->Map(8, &view), EINVAL);  // longer than the file
  ASSERT_EQ(f->Map(4, &view), 0);
  auto other = OpenFile(env, "A");
  ASSERT_EQ(other->WriteAt(0, "new", 3), 0);
  char got[4];
  ASSERT_EQ(view->Read(0, got, 4), 0);
  EXPECT_EQ(std::string(got, 4), "new!");
  EXPECT_EQ(view->Read(2, got, 4), EINVAL);
  ASSERT_EQ(other->Truncate(2), 0);
  ASSERT_EQ(view->Read(0, got, 4), 0);
  EXPECT_EQ(std::string(got, 4), std::string("ne\0\0", 4));
  env.Crash(FaultEnv::CrashMode::kKeepUnsynced);
  EXPECT_EQ(view->Read(0, got, 4), EIO);
}

TEST(FaultEnvFaults, FailWriteAtNthWriteOnlyThatOne) {
  FaultEnv env;
  auto f = OpenFile(env, "A");
  env.FailWriteAt(2, ENOSPC);
  EXPECT_EQ(f->WriteAt(0, "1", 1), 0);
  size_t written = 9;
  EXPECT_EQ(f->WriteAt(1, "2", 1, &written), ENOSPC);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(f->WriteAt(2, "3", 1), 0);
  EXPECT_EQ(env.Contents("A"), std::string("1\0003", 3));
  EXPECT_EQ(env.Writes(), 3);
}

TEST(FaultEnvFaults, ShortWriteAcceptsSomeBytes) {
  FaultEnv env;
  auto f = OpenFile(env, "A");
  env.FailWriteAt(1, EIO, 2);
  size_t written = 0;
  EXPECT_EQ(f->WriteAt(0, "abcd", 4, &written), EIO);
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(env.Contents("A"), "ab");
}

TEST(FaultEnvFaults, StopAtWriteBlocksAllLaterIoUntilCrash) {
  FaultEnv env;
  auto f = OpenFile(env, "A");
  ASSERT_EQ(f->WriteAt(0, "abc", 3), 0);
  ASSERT_EQ(f->Sync(), 0);
  env.StopAtWrite(2);
  EXPECT_EQ(f->WriteAt(0, "x", 1), 0);
  EXPECT_EQ(f->WriteAt(1, "y", 1), EIO);
  EXPECT_TRUE(env.Stopped());
  EXPECT_EQ(f->Sync(), EIO);
  std::unique_ptr<File> g;
  EXPECT_EQ(env.Open("A", kOpenReadWrite, &g), EIO);
  env.Crash(FaultEnv::CrashMode::kKeepUnsynced);
  EXPECT_FALSE(env.Stopped());
  EXPECT_EQ(env.Contents("A"), "xbc");
}

TEST(FaultEnvFaults, FailedSyncLeavesWritesPending) {
  FaultEnv env;
  auto f = OpenFile(env, "A");
  ASSERT_EQ(f->WriteAt(0, "abc", 3), 0);
  env.FailSyncAt(1, EIO);
  EXPECT_EQ(f->Sync(), EIO);
  env.Crash(FaultEnv::CrashMode::kDropUnsynced);
  EXPECT_EQ(env.Contents("A"), "");
}

TEST(FaultEnvLocks, ClaimsBehaveLikeThePosixEnvironment) {
  FaultEnv env;
  auto a = OpenFile(env, "A");
  auto b = OpenFile(env, "A");
  ASSERT_EQ(a->TryLock(5, 10, true), 0);
  EXPECT_EQ(a->TryLock(6, 1, false), EAGAIN);
  EXPECT_EQ(b->TryLock(14, 1, true), EAGAIN);
  EXPECT_EQ(b->TryLock(15, 1, true), 0);
  EXPECT_EQ(b->Unlock(5, 10), ENOLCK);
  a.reset();
  EXPECT_EQ(b->TryLock(6, 1, false), 0);
}

TEST(FaultEnvFiles, OpenFlagsRenameDeleteAndClock) {
  FaultEnv env;
  std::unique_ptr<File> f;
  EXPECT_EQ(env.Open("A", kOpenReadWrite, &f), ENOENT);
  ASSERT_EQ(env.Open("A", kOpenCreate | kOpenExclusive, &f), 0);
  EXPECT_EQ(env.Open("A", kOpenCreate | kOpenExclusive, &f), EEXIST);
  ASSERT_EQ(env.Open("A", kOpenReadOnly, &f), 0);
  EXPECT_EQ(f->WriteAt(0, "a", 1), EBADF);
  EXPECT_EQ(env.Rename("A", "B"), 0);
  EXPECT_FALSE(env.Exists("A"));
  EXPECT_TRUE(env.Exists("B"));
  EXPECT_EQ(env.Delete("B"), 0);
  EXPECT_EQ(env.Delete("B"), ENOENT);
  int64_t t = env.NowHundredths();
  env.SleepMs(100);
  EXPECT_EQ(env.NowHundredths(), t + 10);
}

TEST(FaultEnvFiles, NamedByTellsWhetherTheNameStillLeadsToTheOpenFile) {
  FaultEnv env;
  std::unique_ptr<File> a;
  std::unique_ptr<File> b;
  ASSERT_EQ(env.Open("A", kOpenCreate, &a), 0);
  EXPECT_EQ(a->NamedBy("A"), 0);
  EXPECT_EQ(a->NamedBy("B"), ENOENT);
  ASSERT_EQ(env.Open("B", kOpenCreate, &b), 0);
  ASSERT_EQ(env.Rename("B", "A"), 0);
  EXPECT_EQ(a->NamedBy("A"), ESTALE);
  EXPECT_EQ(b->NamedBy("A"), 0);
  ASSERT_EQ(env.Delete("A"), 0);
  EXPECT_EQ(b->NamedBy("A"), ENOENT);
  // Contents replaced in place keep the file what it was.
  ASSERT_EQ(env.Open("C", kOpenCreate, &a), 0);
  env.SetContents("C", "new bytes");
  EXPECT_EQ(a->NamedBy("C"), 0);
}

}  // namespace
}  // namespace vorsandt::env
