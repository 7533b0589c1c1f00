// Several processes on the same tables: holds, watches, concurrent writers,
// and transactions over two files interrupted by a killed process.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/env/env.h"
#include "runtime/env/file_system.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/files/transaction.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/optimistic_read.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "storage/qvf/driver/read_tenure.h"

namespace vorsandt::qvf {
namespace {

using app::Table;
using testing::Code;
using testing::ScratchFolder;
using testing::Spawn;
using testing::WaitFor;

// A pipe for one-byte signals between a parent and its child.
class Signal {
 public:
  Signal() { EXPECT_EQ(pipe(fd_), 0); }
  ~Signal() {
    close(fd_[0]);
    close(fd_[1]);
  }
  void Send(char c = 'x') { EXPECT_EQ(write(fd_[1], &c, 1), 1); }
  char Wait() {
    char c = 0;
    return read(fd_[0], &c, 1) == 1 ? c : 0;
  }
  // The next signal if one is there, 0 otherwise (does not wait).
  char Poll() {
    pollfd p{fd_[0], POLLIN, 0};
    return poll(&p, 1, 0) == 1 ? Wait() : 0;
  }

 private:
  int fd_[2];
};

const files::KeyDecl* RefKey() { return app::Key(Table::kCompanies, 1); }

void MakeCompanies(std::initializer_list<int> refs) {
  auto* f = testing::CreateAndOpenCompanies();
  for (int r : refs) testing::AddCompany(f, r, "company");
  files::Close(f);
}

// Reads the company with reference `ref` (the driver is sent the request
// codes first: `ops`).
int GetCompany(files::FileRecord* f, int ref) {
  testing::SetRef(f, ref);
  files::GetByKey(f, RefKey());
  return Code();
}

// Each test forks its children before it opens anything itself: a child
// must not share its parent's open file descriptions (locks are claims of a
// description).

TEST(QvfDriverProcesses, HeldRecordRefusesPutAndTimesOutAHold) {
  ScratchFolder folder;
  MakeCompanies({1, 2});
  Signal held, done;
  pid_t child = Spawn([&] {
    auto* f = testing::Companies();
    files::Open(f);
    if (Code() != 0) return 1;
    f->Send(files::kOpHoldNext);
    if (GetCompany(f, 1) != 0) return 2;
    held.Send();
    done.Wait();
    files::Close(f);
    return 0;
  });
  ASSERT_EQ(held.Wait(), 'x');
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  ASSERT_EQ(GetCompany(f, 1), 0);  // reading without a hold is allowed
  testing::SetName(f, "second process");
  files::Put(f);
  EXPECT_EQ(Code(), files::kAccessDenied);
  f->Send(files::kOpHoldNextTimeout, files::Args{1});
  EXPECT_EQ(GetCompany(f, 1), files::kRecordAlreadyHeld);
  // Another record is free; so is the first once the holder has gone.
  f->Send(files::kOpHoldNextTimeout, files::Args{1});
  EXPECT_EQ(GetCompany(f, 2), 0);
  done.Send();
  EXPECT_EQ(WaitFor(child), 0);
  f->Send(files::kOpHoldNext);
  ASSERT_EQ(GetCompany(f, 1), 0);
  testing::SetName(f, "second process");
  files::Put(f);
  EXPECT_EQ(Code(), 0);
  files::Close(f);
}

// A transaction keeps the writer range from its start to its end, so the
// holds of other processes cannot change under it and are looked up once; a
// hold taken between two transactions must still be seen by the second.
TEST(QvfDriverProcesses, RewritesInATransactionRespectHoldsTakenBetweenTransactions) {
  ScratchFolder folder;
  MakeCompanies({1, 2, 3});
  Signal held, next;
  pid_t child = Spawn([&] {
    auto* f = testing::Companies();
    files::Open(f);
    if (Code() != 0) return 1;
    for (int ref : {2, 3}) {
      next.Wait();
      f->Send(files::kOpHoldNext);  // reading 3 lets 2 go
      if (GetCompany(f, ref) != 0) return 2;
      held.Send();
    }
    next.Wait();
    files::Close(f);
    return 0;
  });
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  // The codes of rewriting companies 1, 2 and 3 in one transaction.
  auto rewrite_all = [&] {
    std::vector<int> codes;
    EXPECT_EQ(files::Logout(1, {f}), 0);
    for (int ref : {1, 2, 3}) {
      EXPECT_EQ(GetCompany(f, ref), 0);
      testing::SetName(f, "rewrite " + std::to_string(ref));
      files::Put(f);
      codes.push_back(Code());
    }
    files::Commit();
    EXPECT_EQ(Code(), 0);
    return codes;
  };
  EXPECT_EQ(rewrite_all(), (std::vector<int>{0, 0, 0}));
  next.Send();
  ASSERT_EQ(held.Wait(), 'x');
  EXPECT_EQ(rewrite_all(), (std::vector<int>{0, files::kAccessDenied, 0}));
  next.Send();
  ASSERT_EQ(held.Wait(), 'x');
  EXPECT_EQ(rewrite_all(), (std::vector<int>{0, 0, files::kAccessDenied}));
  next.Send();
  EXPECT_EQ(WaitFor(child), 0);
  files::Close(f);
}

TEST(QvfDriverProcesses, HoldWaitsUntilTheHolderReleases) {
  ScratchFolder folder;
  MakeCompanies({1});
  Signal held, release;
  pid_t child = Spawn([&] {
    auto* f = testing::Companies();
    files::Open(f);
    f->Send(files::kOpHoldNext);
    if (GetCompany(f, 1) != 0) return 2;
    held.Send();
    release.Wait();
    f->Send(files::kOpReleaseHeld);
    // Stay open: only the record lock goes.
    release.Wait();
    files::Close(f);
    return 0;
  });
  ASSERT_EQ(held.Wait(), 'x');
  auto* f = testing::Companies();
  files::Open(f);
  release.Send();  // the holder lets go while we wait for ever
  f->Send(files::kOpHoldNext);
  EXPECT_EQ(GetCompany(f, 1), 0);
  release.Send();
  EXPECT_EQ(WaitFor(child), 0);
  files::Close(f);
}

// Six hundred companies, and a child that renames company 450 and saves at
// the first page an optimistic read of this process misses, once armed.
class SaveAtTheFirstMiss {
 public:
  SaveAtTheFirstMiss() {
    auto* f = testing::CreateAndOpenCompanies();
    files::Logout(1, {f});
    for (int r = 1; r <= 600; ++r) testing::AddCompany(f, r, "company");
    files::Commit();
    EXPECT_EQ(Code(), 0);
    files::Close(f);
    child_ = Spawn([this] {
      go_.Wait();
      auto* mine = testing::Companies();
      files::Open(mine);
      if (GetCompany(mine, 450) != 0) return 2;
      testing::SetName(mine, "saved elsewhere");
      files::Put(mine);
      int rc = Code();
      files::Close(mine);
      done_.Send();
      return rc == 0 ? 0 : 3;
    });
  }
  void Arm() {
    SetOptimisticMissHookForTesting([this] {
      if (misses_++ == 0) {
        go_.Send();
        done_.Wait();
      }
    });
  }
  void Disarm() { SetOptimisticMissHookForTesting(nullptr); }
  int misses() const { return misses_; }
  int ChildStatus() { return WaitFor(child_); }

 private:
  Signal go_, done_;
  pid_t child_ = 0;
  int misses_ = 0;
};

// A read served from the cache that misses a page just after another
// process saved has used pages of the old state: it is made again under the
// lock, from the position it started at, and reads the new state.
TEST(QvfDriverProcesses, AnOptimisticReadThatFindsASaveAtAMissingPageIsMadeAgain) {
  ScratchFolder folder;
  SaveAtTheFirstMiss saver;
  saver.Arm();
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  files::SetKey(f, RefKey());
  const OptimisticReadCounts before = OptimisticReadTotals();
  EXPECT_EQ(GetCompany(f, 450), 0);
  saver.Disarm();
  EXPECT_EQ(testing::NameOf(f), "saved elsewhere");
  EXPECT_GE(saver.misses(), 1);
  EXPECT_EQ(OptimisticReadTotals().retried, before.retried + 1);
  files::Next(f);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(testing::Ref(f), 451);
  files::Close(f);
  EXPECT_EQ(saver.ChildStatus(), 0);
}

// A call that reads no record, made again after another process saved,
// leaves the record buffer as the user left it, even though the attempt
// before it (a record read) kept a copy of an older buffer.
TEST(QvfDriverProcesses, ARetriedCallThatReadsNoRecordKeepsWhatTheUserTypedInTheBuffer) {
  ScratchFolder folder;
  SaveAtTheFirstMiss saver;
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  files::SetKey(f, RefKey());
  ASSERT_EQ(GetCompany(f, 1), 0);
  testing::SetName(f, "typed by the user");
  saver.Arm();
  const OptimisticReadCounts before = OptimisticReadTotals();
  files::Skip(f, 500);  // through key pages not read yet: a miss
  saver.Disarm();
  EXPECT_EQ(Code(), 0);
  EXPECT_GE(saver.misses(), 1);
  EXPECT_EQ(OptimisticReadTotals().retried, before.retried + 1);
  EXPECT_EQ(testing::NameOf(f), "typed by the user");
  files::Next(f);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(testing::Ref(f), 502);
  files::Close(f);
  EXPECT_EQ(saver.ChildStatus(), 0);
}

TEST(QvfDriverProcesses, WatchedPutFailsOnlyWhenAnotherProcessRewroteTheRecord) {
  ScratchFolder folder;
  MakeCompanies({1});
  Signal go, done;
  pid_t child = Spawn([&] {
    go.Wait();
    auto* f = testing::Companies();
    files::Open(f);
    if (GetCompany(f, 1) != 0) return 2;
    testing::SetName(f, "rewritten elsewhere");
    files::Put(f);
    int rc = Code();
    files::Close(f);
    done.Send();
    return rc == 0 ? 0 : 3;
  });
  auto* f = testing::Companies();
  files::Open(f);
  f->Send(files::kOpWatch);
  ASSERT_EQ(GetCompany(f, 1), 0);
  testing::SetName(f, "mine");
  files::Put(f);
  EXPECT_EQ(Code(), 0);  // nobody changed it in between
  f->Send(files::kOpWatch);
  ASSERT_EQ(GetCompany(f, 1), 0);
  go.Send();
  ASSERT_EQ(done.Wait(), 'x');
  EXPECT_EQ(WaitFor(child), 0);
  testing::SetName(f, "mine again");
  files::Put(f);
  EXPECT_EQ(Code(), files::kRecordChangedByAnotherStation);
  ASSERT_EQ(GetCompany(f, 1), 0);
  EXPECT_EQ(testing::NameOf(f), "rewritten elsewhere");
  files::Close(f);
}

TEST(QvfDriverProcesses, ConcurrentWritersLoseAndDuplicateNothing) {
  ScratchFolder folder;
  MakeCompanies({});
  constexpr int kWriters = 3;
  constexpr int kEach = 150;
  Signal start;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    children.push_back(Spawn([&, w] {
      start.Wait();
      auto* f = testing::Companies();
      files::Open(f);
      if (Code() != 0) return 1;
      for (int i = 0; i < kEach; ++i) {
        int ref = 1000 * (w + 1) + i;
        testing::AddCompany(f, ref, "new");
        if (Code() != 0) return 2;
        // Rewrite an earlier record of ours, read back through the key.
        if (i % 5 == 4) {
          if (GetCompany(f, ref - 2) != 0) return 3;
          testing::SetName(f, "rewritten");
          files::Put(f);
          if (Code() != 0) return 4;
        }
      }
      // Every other writer's records saved so far are visible here.
      int seen = files::Records(f);
      files::Close(f);
      return seen >= kEach ? 0 : 5;
    }));
  }
  for (int w = 0; w < kWriters; ++w) start.Send();
  for (pid_t c : children) EXPECT_EQ(WaitFor(c), 0);
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(files::Records(f), kWriters * kEach);
  files::SetKey(f, RefKey());
  std::vector<int> refs = testing::ReadAll(f, true);
  std::set<int> unique(refs.begin(), refs.end());
  EXPECT_EQ(refs.size(), static_cast<size_t>(kWriters * kEach));
  EXPECT_EQ(unique.size(), refs.size());
  for (int w = 0; w < kWriters; ++w) {
    EXPECT_TRUE(unique.count(1000 * (w + 1)) && unique.count(1000 * (w + 1) + kEach - 1));
  }
  files::Close(f);
  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(env::Env::Default(), "COMPANIES.QVF", &faults));
  for (const auto& fault : faults) ADD_FAILURE() << fault;
}

// --- Read runs beside another process's saves (read_tenure.h) ---

constexpr int kRunCompanies = 200;

void MakeManyCompanies(const std::string& name) {
  auto* f = testing::CreateAndOpenCompanies();
  files::Logout(1, {f});
  for (int r = 1; r <= kRunCompanies; ++r) testing::AddCompany(f, r, name);
  files::Commit();
  EXPECT_EQ(Code(), 0);
  files::Close(f);
}

// Each test runs on both read paths; the setting is inherited by the child.
class ReadRunPaths : public ::testing::TestWithParam<env::NetworkFilesSetting> {
 protected:
  void SetUp() override { env::SetNetworkFilesSetting(GetParam()); }
  void TearDown() override { env::SetNetworkFilesSetting(env::NetworkFilesSetting::kAuto); }
};

// A reader inside one long run keeps reading the whole table; a writer in
// another process must get its save in while the run goes on (a tenure ends
// at its bound and the lock stays free for the pause), and the run sees the
// save once a later tenure begins.
TEST_P(ReadRunPaths, AWriterGetsItsSaveInWhileAReaderRunsALongRun) {
  ScratchFolder folder;
  MakeManyCompanies("company");
  Signal go, saved;
  pid_t child = Spawn([&] {
    go.Wait();
    auto* f = testing::Companies();
    files::Open(f);
    if (Code() != 0) return 1;
    if (GetCompany(f, 1) != 0) return 2;
    testing::SetName(f, "saved by the writer");
    files::Put(f);
    const int rc = Code();
    files::Close(f);
    saved.Send(rc == 0 ? 'y' : 'n');
    return rc == 0 ? 0 : 3;
  });
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  files::ReadRun run;
  const uint64_t begun_at_go = ReadTenureTotals().begun;
  go.Send();
  char answer = 0;
  // Guards only against a writer kept out for good: 400 tenures last some
  // nine seconds, the writer's own lock wait gives up after ten.
  for (int passes = 0;
       answer == 0 && passes < 200000 && ReadTenureTotals().begun - begun_at_go < 400; ++passes) {
    files::SetFile(f);
    ASSERT_EQ(testing::ReadAll(f, true).size(), static_cast<size_t>(kRunCompanies));
    answer = saved.Poll();
  }
  const uint64_t waited = ReadTenureTotals().begun - begun_at_go;
  EXPECT_EQ(answer, 'y') << "the writer had no save in after " << waited << " tenures";
  RecordProperty("tenures_until_the_save", std::to_string(waited));
  bool seen = false;
  for (int guard = 0; !seen && guard < 100000; ++guard) {
    ASSERT_EQ(GetCompany(f, 1), 0);
    seen = testing::NameOf(f) == "saved by the writer";
  }
  EXPECT_TRUE(seen);
  files::Close(f);
  EXPECT_EQ(WaitFor(child), 0);
}

std::string Version(int k) {
  char text[40];
  std::snprintf(text, sizeof text, "v%d v%d v%d", k, k, k);
  return text;
}

// The version a name holds, or -1 when its parts disagree (a torn record).
int VersionOf(const std::string& name) {
  int a = -1, b = -2, c = -3;
  if (std::sscanf(name.c_str(), "v%d v%d v%d", &a, &b, &c) != 3 || a != b || b != c) return -1;
  return a;
}

// Another process rewrites one record again and again. A read inside the
// run returns a whole version, never an older one than before, and every
// read that is not served inside a tenure begun earlier (it begins one, or
// takes the per-call path) has every save that finished before it began.
TEST_P(ReadRunPaths, ARunSeesAnotherProcesssSaveOnceTheNextTenureBeginsAndNeverATornRecord) {
  constexpr int kVersions = 20;
  ScratchFolder folder;
  MakeManyCompanies(Version(0));
  Signal go, step;
  pid_t child = Spawn([&] {
    go.Wait();
    auto* f = testing::Companies();
    files::Open(f);
    if (Code() != 0) return 1;
    for (int k = 1; k <= kVersions; ++k) {
      if (GetCompany(f, 1) != 0) return 2;
      testing::SetName(f, Version(k));
      files::Put(f);
      if (Code() != 0) return 3;
      step.Send(static_cast<char>(k));
      usleep(3000);
    }
    files::Close(f);
    return 0;
  });
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  files::ReadRun run;
  go.Send();
  int finished = 0, last = 0;
  for (int guard = 0; last < kVersions && guard < 2000000; ++guard) {
    for (char c = step.Poll(); c != 0; c = step.Poll()) finished = c;
    const int before = finished;
    const uint64_t served = ReadTenureTotals().served;
    ASSERT_EQ(GetCompany(f, 1), 0);
    const int version = VersionOf(testing::NameOf(f));
    ASSERT_GE(version, 0) << "torn: " << testing::NameOf(f);
    ASSERT_GE(version, last);
    if (ReadTenureTotals().served == served) {
      ASSERT_GE(version, before);
    }
    last = version;
  }
  EXPECT_EQ(last, kVersions);
  files::Close(f);
  EXPECT_EQ(WaitFor(child), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, ReadRunPaths,
                         ::testing::Values(env::NetworkFilesSetting::kLocal,
                                           env::NetworkFilesSetting::kNetwork),
                         [](const auto& info) {
                           return info.param == env::NetworkFilesSetting::kLocal ? "Local"
                                                                                 : "Network";
                         });

}  // namespace
}  // namespace vorsandt::qvf
