// Several processes on the same tables: holds, watches, concurrent writers,
// and transactions over two files interrupted by a killed process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/optimistic_read.h"
#include "storage/qvf/driver/qvf_test_support.h"

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

// A read served from the cache that misses a page just after another
// process saved has used pages of the old state: it is made again under the
// lock, from the position it started at, and reads the new state.
TEST(QvfDriverProcesses, AnOptimisticReadThatFindsASaveAtAMissingPageIsMadeAgain) {
  ScratchFolder folder;
  {
    auto* f = testing::CreateAndOpenCompanies();
    files::Logout(1, {f});
    for (int r = 1; r <= 600; ++r) testing::AddCompany(f, r, "company");
    files::Commit();
    ASSERT_EQ(Code(), 0);
    files::Close(f);
  }
  Signal go, done;
  pid_t child = Spawn([&] {
    go.Wait();
    auto* f = testing::Companies();
    files::Open(f);
    if (GetCompany(f, 450) != 0) return 2;
    testing::SetName(f, "saved elsewhere");
    files::Put(f);
    int rc = Code();
    files::Close(f);
    done.Send();
    return rc == 0 ? 0 : 3;
  });
  int misses = 0;
  SetOptimisticMissHookForTesting([&] {
    if (misses++ == 0) {
      go.Send();
      done.Wait();
    }
  });
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  files::SetKey(f, RefKey());
  const OptimisticReadCounts before = OptimisticReadTotals();
  EXPECT_EQ(GetCompany(f, 450), 0);
  SetOptimisticMissHookForTesting(nullptr);
  EXPECT_EQ(testing::NameOf(f), "saved elsewhere");
  EXPECT_GE(misses, 1);
  EXPECT_EQ(OptimisticReadTotals().retried, before.retried + 1);
  files::Next(f);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(testing::Ref(f), 451);
  files::Close(f);
  EXPECT_EQ(WaitFor(child), 0);
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

}  // namespace
}  // namespace vorsandt::qvf
