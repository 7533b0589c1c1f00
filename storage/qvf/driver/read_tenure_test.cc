// Read runs through the driver: inside a declared run the reader lock is
// taken once per tenure and the header read once; the run's end, the bound,
// holds, watches, writes, another thread's call and a wait for another
// file's lock give it back, and every call returns what it would without a
// run.
#include "storage/qvf/driver/read_tenure.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "runtime/env/env.h"
#include "runtime/env/fault_env.h"
#include "runtime/env/file_system.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/files/transaction.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/qvf_test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::Code;

constexpr int kCompanies = 300;
constexpr char kPath[] = "COMPANIES.QVF";

class ReadRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDriverEnvForTesting(&env_);
    files::FileRecord* f = testing::CreateAndOpenCompanies();
    files::Logout(1, {f});
    for (int r = 1; r <= kCompanies; ++r) testing::AddCompany(f, r, "company");
    files::Commit();
    ASSERT_EQ(Code(), 0);
    files::Close(f);
  }
  void TearDown() override { SetDriverEnvForTesting(nullptr); }

  // COMPANIES opened on a file system of kind `magic`, read whole once so
  // that every page is cached.
  files::FileRecord* OpenOn(uint64_t magic) {
    env_.ReportFileSystem(magic);
    files::FileRecord* f = testing::Companies();
    files::Open(f);
    EXPECT_EQ(Code(), 0);
    files::SetFile(f);
    EXPECT_EQ(testing::ReadAll(f, true).size(), static_cast<size_t>(kCompanies));
    return f;
  }
  // True when another handle could take the writer range now: no reader
  // byte of ours is held. Counted on the same path: call it after reading
  // the counts.
  bool WriterRangeFree() {
    std::unique_ptr<env::File> other;
    EXPECT_EQ(env_.Open(kPath, env::kOpenReadWrite, &other), 0);
    if (other->TryLock(kLockBase, kWriterLockLength, /*exclusive=*/true) != 0) return false;
    EXPECT_EQ(other->Unlock(kLockBase, kWriterLockLength), 0);
    return true;
  }
  static std::vector<int> ReadFromStart(files::FileRecord* f) {
    files::SetFile(f);
    return testing::ReadAll(f, true);
  }
  static int GetCompany(files::FileRecord* f, int ref) {
    testing::SetRef(f, ref);
    files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
    return Code();
  }

  env::FaultEnv env_;
};

std::vector<int> OneTo(int n) {
  std::vector<int> v;
  for (int i = 1; i <= n; ++i) v.push_back(i);
  return v;
}

TEST_F(ReadRuns, OnTheLockedPathARunLocksAndReadsTheHeaderOncePerTenure) {
  files::FileRecord* f = OpenOn(env::kNfsMagic);
  env::ResetIoCounts();
  EXPECT_EQ(ReadFromStart(f), OneTo(kCompanies));
  const env::IoCounts per_call = env::IoCountsOf(kPath);
  EXPECT_GE(per_call.lock_calls, 2 * kCompanies);
  EXPECT_GE(per_call.reads, kCompanies);  // a header read per call
  EXPECT_TRUE(WriterRangeFree());

  const ReadTenureCounts before = ReadTenureTotals();
  env::ResetIoCounts();
  {
    files::ReadRun run;
    EXPECT_EQ(ReadFromStart(f), OneTo(kCompanies));
    const env::IoCounts in_run = env::IoCountsOf(kPath);
    EXPECT_EQ(in_run.lock_calls, 1);  // taken, not yet given back
    EXPECT_EQ(in_run.reads, 1);       // the header, once
    EXPECT_FALSE(WriterRangeFree());
  }
  EXPECT_TRUE(WriterRangeFree());
  const ReadTenureCounts after = ReadTenureTotals();
  EXPECT_EQ(after.begun, before.begun + 1);
  EXPECT_EQ(after.served, before.served + kCompanies + 1);  // every Next, the last at the end
  files::Close(f);
}

TEST_F(ReadRuns, OnTheLockFreePathATenureBeginsOnlyAtAPageMissingFromTheCache) {
  files::FileRecord* f = OpenOn(env::kTmpfsMagic);
  const ReadTenureCounts before = ReadTenureTotals();
  env::ResetIoCounts();
  {
    files::ReadRun run;
    EXPECT_EQ(ReadFromStart(f), OneTo(kCompanies));
  }
  EXPECT_EQ(env::IoCountsOf(kPath).lock_calls, 0);
  EXPECT_EQ(ReadTenureTotals().begun, before.begun);
  // Another station's save empties the cache: the first miss takes the lock
  // and keeps it for the rest of the pass.
  ASSERT_TRUE(testing::ChangeStoredRecord(kPath, 2, "company", "changed", "UNNAMED", &env_));
  env::ResetIoCounts();
  {
    files::ReadRun run;
    EXPECT_EQ(ReadFromStart(f), OneTo(kCompanies));
    EXPECT_EQ(env::IoCountsOf(kPath).lock_calls, 1);
    EXPECT_FALSE(WriterRangeFree());
  }
  EXPECT_TRUE(WriterRangeFree());
  EXPECT_EQ(ReadTenureTotals().begun, before.begun + 1);
  files::Close(f);
}

TEST_F(ReadRuns, NestedRunsGiveTheLockBackAtTheOutermostEndAndAWaitGivesItBackAtOnce) {
  files::FileRecord* f = OpenOn(env::kNfsMagic);
  {
    files::ReadRun outer;
    {
      files::ReadRun inner;
      ASSERT_EQ(GetCompany(f, 5), 0);
    }
    EXPECT_FALSE(WriterRangeFree());
    // The window engine's call before a modal message or giving up the run
    // permission: the run goes on, without the lock.
    files::EndReadRunTenures();
    EXPECT_TRUE(WriterRangeFree());
    ASSERT_EQ(GetCompany(f, 6), 0);
    EXPECT_EQ(testing::Ref(f), 6);
    EXPECT_FALSE(WriterRangeFree());
  }
  EXPECT_TRUE(WriterRangeFree());
  files::Close(f);
}

TEST_F(ReadRuns, HoldsWatchesAndWritesEndTheTenureAndWorkAsWithoutARun) {
  files::FileRecord* f = OpenOn(env::kNfsMagic);
  files::ReadRun run;
  ASSERT_EQ(GetCompany(f, 7), 0);
  EXPECT_FALSE(WriterRangeFree());
  // A held read: the record is locked, the file lock given back at the end
  // of the call as always.
  f->Send(files::kOpHoldNext);
  EXPECT_TRUE(WriterRangeFree());
  ASSERT_EQ(GetCompany(f, 7), 0);
  EXPECT_TRUE(WriterRangeFree());
  {
    std::unique_ptr<env::File> other;
    ASSERT_EQ(env_.Open(kPath, env::kOpenReadWrite, &other), 0);
    const auto record = static_cast<uint32_t>(files::Pointer(f));
    EXPECT_NE(other->TryLock(ItemLockOffset(record), 1, true), 0);  // held by our read
  }
  testing::SetName(f, "rewritten");
  files::Put(f);
  EXPECT_EQ(Code(), 0);
  EXPECT_TRUE(WriterRangeFree());
  // A watched read and a Put after it.
  ASSERT_EQ(GetCompany(f, 8), 0);
  f->Send(files::kOpWatch);
  EXPECT_TRUE(WriterRangeFree());
  ASSERT_EQ(GetCompany(f, 8), 0);
  testing::SetName(f, "watched");
  files::Put(f);
  EXPECT_EQ(Code(), 0);
  // A plain read afterwards sees both saves and keeps the lock again.
  ASSERT_EQ(GetCompany(f, 7), 0);
  EXPECT_EQ(testing::NameOf(f), "rewritten");
  ASSERT_EQ(GetCompany(f, 8), 0);
  EXPECT_EQ(testing::NameOf(f), "watched");
  EXPECT_FALSE(WriterRangeFree());
  files::Close(f);  // Close ends the tenure too
  EXPECT_TRUE(WriterRangeFree());
}

TEST_F(ReadRuns, TheBoundEndsATenureAndThePauseKeepsTheLockFreeBeforeTheNext) {
  for (uint64_t magic : {env::kNfsMagic, env::kTmpfsMagic}) {
    SCOPED_TRACE(magic);
    files::FileRecord* f = OpenOn(magic);
    if (magic == env::kTmpfsMagic) {
      // Cold, so that the first read takes the lock.
      ASSERT_TRUE(testing::ChangeStoredRecord(kPath, 2, "company", "changed", "UNNAMED", &env_));
    }
    files::ReadRun run;
    const ReadTenureCounts before = ReadTenureTotals();
    ASSERT_EQ(GetCompany(f, 1), 0);
    ASSERT_EQ(ReadTenureTotals().begun, before.begun + 1);
    env_.SleepMs(30);  // the manual clock passes the bound
    ASSERT_EQ(GetCompany(f, 2), 0);
    const ReadTenureCounts after = ReadTenureTotals();
    EXPECT_EQ(after.expired, before.expired + 1);
    if (magic == env::kNfsMagic) {
      // The pause was spent without the lock (the call waited it out), then
      // the next tenure began with this call.
      EXPECT_EQ(after.begun, before.begun + 2);
    } else {
      // The calls of the pause take the per-call path; this one hit the
      // cache and took no lock.
      EXPECT_EQ(after.begun, before.begun + 1);
      EXPECT_TRUE(WriterRangeFree());
    }
    EXPECT_EQ(testing::Ref(f), 2);
    files::Close(f);
  }
}

// A long scan of a file nobody saves holds the byte longer each time (20,
// 80, then 160 ms), so that it gives it back a few times a second, and a
// later action's pass after a quiet spell holds as long at once; the first
// hold that finds another station's save is short again, and reads it.
TEST_F(ReadRuns, AQuietScanHoldsLongerEachTimeAndASaveBringsTheShortBoundBack) {
  files::FileRecord* f = OpenOn(env::kNfsMagic);
  files::ReadRun run;
  ASSERT_EQ(GetCompany(f, 1), 0);
  uint64_t expired = ReadTenureTotals().expired;
  for (int bound_ms : {20, 80, 160, 160}) {
    SCOPED_TRACE(bound_ms);
    env_.SleepMs(bound_ms - 5);
    ASSERT_EQ(GetCompany(f, 2), 0);
    EXPECT_EQ(ReadTenureTotals().expired, expired);  // still inside the hold
    env_.SleepMs(10);
    ASSERT_EQ(GetCompany(f, 3), 0);  // past it: the next hold begins after the pause
    EXPECT_EQ(ReadTenureTotals().expired, ++expired);
  }
  files::EndReadRunTenures();
  env_.SleepMs(1000);  // a quiet spell, then the next action's pass
  ASSERT_EQ(GetCompany(f, 1), 0);
  env_.SleepMs(100);
  ASSERT_EQ(GetCompany(f, 2), 0);
  EXPECT_EQ(ReadTenureTotals().expired, expired);  // a new hold, and a long one
  env_.SleepMs(70);
  ASSERT_EQ(GetCompany(f, 3), 0);
  EXPECT_EQ(ReadTenureTotals().expired, ++expired);
  files::EndReadRunTenures();
  ASSERT_TRUE(testing::ChangeStoredRecord(kPath, 2, "company", "changed", "UNNAMED", &env_));
  env_.SleepMs(3);
  ASSERT_EQ(GetCompany(f, 1), 0);  // the first record's name was changed
  EXPECT_EQ(testing::NameOf(f), "changed");
  env_.SleepMs(25);
  ASSERT_EQ(GetCompany(f, 3), 0);
  EXPECT_EQ(ReadTenureTotals().expired, expired + 1);  // 20 ms again
  files::Close(f);
}

TEST_F(ReadRuns, AReadOfAnotherThreadEndsTheTenureAndEachThreadReadsItsOwnRecords) {
  files::FileRecord* f = OpenOn(env::kNfsMagic);
  files::ReadRun run;
  ASSERT_EQ(GetCompany(f, 10), 0);
  EXPECT_FALSE(WriterRangeFree());
  const uint64_t ended = ReadTenureTotals().ended;
  // One thread at a time, as the run permission makes it.
  std::thread other([&] {
    files::FileRecord* mine = testing::Companies();
    files::Open(mine);
    ASSERT_EQ(Code(), 0);
    EXPECT_EQ(ReadTenureTotals().ended, ended + 1);  // Open ended it
    ASSERT_EQ(GetCompany(mine, 20), 0);
    EXPECT_EQ(testing::Ref(mine), 20);
    files::Close(mine);
  });
  other.join();
  EXPECT_TRUE(WriterRangeFree());
  EXPECT_EQ(testing::Ref(f), 10);  // this thread's buffer is its own
  files::Next(f);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(testing::Ref(f), 11);
  files::Close(f);
}

TEST_F(ReadRuns, WaitingForAnotherFilesLockGivesTheTenureBackFirst) {
  files::FileRecord* l = testing::Locations();
  files::Create(l);
  ASSERT_EQ(Code(), 0);
  files::FileRecord* f = OpenOn(env::kNfsMagic);
  files::Open(l);
  ASSERT_EQ(Code(), 0);
  std::unique_ptr<env::File> saver;  // another station in the middle of a save
  ASSERT_EQ(env_.Open("LOCATIONS.QVF", env::kOpenReadWrite, &saver), 0);
  ASSERT_EQ(saver->TryLock(kLockBase, kWriterLockLength, true), 0);
  const int64_t limit = FileLockWaitLimit();
  SetFileLockWaitLimit(3);
  {
    files::ReadRun run;
    ASSERT_EQ(GetCompany(f, 3), 0);
    EXPECT_FALSE(WriterRangeFree());
    files::SetFile(l);  // waits for LOCATIONS, and gives up
    EXPECT_EQ(Code(), files::kFileAlreadyLocked);
    EXPECT_TRUE(WriterRangeFree());  // COMPANIES was let go before the wait
  }
  SetFileLockWaitLimit(limit);
  files::Close(l);
  files::Close(f);
}

TEST_F(ReadRuns, SwitchedOffARunChangesNothing) {
  files::FileRecord* f = OpenOn(env::kNfsMagic);
  SetReadTenures(false);
  const ReadTenureCounts before = ReadTenureTotals();
  {
    files::ReadRun run;
    EXPECT_EQ(ReadFromStart(f), OneTo(kCompanies));
    EXPECT_TRUE(WriterRangeFree());
  }
  SetReadTenures(true);
  EXPECT_EQ(ReadTenureTotals().begun, before.begun);
  files::Close(f);
}

}  // namespace
}  // namespace vorsandt::qvf
