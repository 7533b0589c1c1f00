// The driver's memos, locks, maintenance operations and save policies, over
// the application's real tables.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "app/dictionary/dictionary.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "runtime/files/text_stack.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/driver/coordination.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/entry_key.h"
#include "storage/qvf/table/table.h"

namespace vorsandt::qvf {
namespace {

std::string& Notes(files::FileRecord* f) {
  static std::string scratch;
  auto& buffer = files::InstanceOf(f)->memo_buffers.at(0);
  scratch.assign(buffer.begin(), buffer.end());
  while (!scratch.empty() && scratch.back() == ' ') scratch.pop_back();
  return scratch;
}

void SetNotes(files::FileRecord* f, const std::string& text) {
  auto& buffer = files::InstanceOf(f)->memo_buffers.at(0);
  std::fill(buffer.begin(), buffer.end(), ' ');
  std::copy(text.begin(), text.end(), buffer.begin());
}

TEST(QvfDriverMemos, MemoTravelsWithTheRecordAndSkipMemosKeepsIt) {
  testing::ScratchFolder folder;
  auto* f = testing::TableFile(app::Table::kClaim);
  files::Create(f);
  files::Open(f);
  ASSERT_EQ(testing::Code(), 0);
  std::memset(testing::Buffer(f), 0, f->record_length);
  testing::SetRef(f, 1);
  std::string long_note(700, 'n');
  SetNotes(f, long_note);
  files::Add(f);
  ASSERT_EQ(testing::Code(), 0);
  SetNotes(f, "");
  files::SetFile(f);
  files::Next(f);
  ASSERT_EQ(testing::Code(), 0);
  EXPECT_EQ(Notes(f), long_note);
  // A read that skips memos leaves the buffer's memo alone, and a Put after
  // it keeps the stored memo.
  SetNotes(f, "not stored");
  f->Send(files::kOpSkipMemos);
  files::SetFile(f);
  files::Next(f);
  ASSERT_EQ(testing::Code(), 0);
  EXPECT_EQ(Notes(f), "not stored");
  testing::SetText(f, 72, 20, "open");
  files::Put(f);
  ASSERT_EQ(testing::Code(), 0);
  files::SetFile(f);
  files::Next(f);
  EXPECT_EQ(Notes(f), long_note);
  // A plain Put stores the memo from the buffer.
  SetNotes(f, "short");
  files::Put(f);
  ASSERT_EQ(testing::Code(), 0);
  SetNotes(f, "");
  files::SetFile(f);
  files::Next(f);
  EXPECT_EQ(Notes(f), "short");
  files::Close(f);
}

TEST(QvfDriverLocks, TableLockExcludesAnotherProcessUntilUnlocked) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  files::Close(f);
  int to_child[2], to_parent[2];
  ASSERT_EQ(pipe(to_child), 0);
  ASSERT_EQ(pipe(to_parent), 0);
  pid_t child = testing::Spawn([&] {
    auto* c = testing::Companies();
    files::Open(c);
    files::Lock(c);
    char x = testing::Code() == 0 ? 'y' : 'n';
    if (write(to_parent[1], &x, 1) != 1) return 1;
    if (read(to_child[0], &x, 1) != 1) return 2;
    files::Unlock(c);
    if (write(to_parent[1], &x, 1) != 1) return 3;
    if (read(to_child[0], &x, 1) != 1) return 4;
    files::Close(c);
    return 0;
  });
  char c = 0;
  ASSERT_EQ(read(to_parent[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  files::Open(f);
  files::LockTimeout(f, 0);
  EXPECT_EQ(testing::Code(), files::kFileAlreadyLocked);
  // Reading and writing are not table-locked: the lock is advisory.
  testing::AddCompany(f, 1, "still allowed");
  EXPECT_EQ(testing::Code(), 0);
  ASSERT_EQ(write(to_child[1], "u", 1), 1);
  ASSERT_EQ(read(to_parent[0], &c, 1), 1);
  files::LockTimeout(f, 5);
  EXPECT_EQ(testing::Code(), 0);
  files::Unlock(f);
  ASSERT_EQ(write(to_child[1], "e", 1), 1);
  EXPECT_EQ(testing::WaitFor(child), 0);
  files::Close(f);
  for (int fd : {to_child[0], to_child[1], to_parent[0], to_parent[1]}) close(fd);
  // Eof on a closed file answers 1 and posts 37.
  EXPECT_TRUE(files::Eof(f));
  EXPECT_EQ(testing::Code(), files::kFileNotOpen);
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

TEST(QvfDriverMaintenance, BuildKeysPackAppendPutAtPointerAndOrderKey) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  for (int r = 1; r <= 40; ++r) testing::AddCompany(f, r, r % 2 ? "odd" : "even");
  std::memset(testing::Buffer(f), ' ', f->record_length);
  testing::SetRef(f, 41);
  testing::SetName(f, "appended");
  f->Send(files::kOpAppend);
  ASSERT_EQ(testing::Code(), 0);
  const int64_t appended = files::Pointer(f);
  EXPECT_GT(appended, 0);
  // Would the buffer duplicate any key of another record? (The file layer
  // hands back the value of code 57 only; code 12 answers through its status.)
  testing::SetRef(f, 5);
  EXPECT_TRUE(files::Duplicate(f, app::Key(app::Table::kCompanies, 1)));
  f->Send(files::kOpDuplicateAll);
  EXPECT_EQ(testing::Code(), 0);
  files::SetKey(f, app::Key(app::Table::kCompanies, 2));
  EXPECT_EQ(f->Send(files::kOpOrderKey), 2);
  files::SetFile(f);
  EXPECT_EQ(f->Send(files::kOpOrderKey), 0);
  // Rewrite record `appended` from the buffer, wherever the sequence is.
  testing::SetRef(f, 41);
  testing::SetName(f, "put at pointer");
  f->Send(files::kOpPutAtPointer, files::Args{static_cast<intptr_t>(appended)});
  ASSERT_EQ(testing::Code(), 0);
  files::GetByPointer(f, appended);
  EXPECT_EQ(testing::NameOf(f), "put at pointer");
  for (int r = 1; r <= 30; ++r) {
    testing::SetRef(f, r);
    files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
    files::Delete(f);
    ASSERT_EQ(testing::Code(), 0);
  }
  files::Close(f);
  files::Open(f, 0x12);  // exclusive: the maintenance operations need it
  ASSERT_EQ(testing::Code(), 0);
  files::BuildKeys(f);
  EXPECT_EQ(testing::Code(), 0);
  files::Pack(f);
  EXPECT_EQ(testing::Code(), 0);
  EXPECT_EQ(files::Records(f), 11);
  EXPECT_EQ(files::KeyRecords(f, app::Key(app::Table::kCompanies, 2)), 11);
  files::SetKey(f, app::Key(app::Table::kCompanies, 1));
  std::vector<int> refs = testing::ReadAll(f, true);
  ASSERT_EQ(refs.size(), 11u);
  EXPECT_EQ(refs.front(), 31);
  files::Close(f);
  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(env::Env::Default(), "COMPANIES.QVF", &faults));
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

// The change counter in the header on disk (little-endian at offset 24).
uint32_t ChangeCounterOnDisk(const char* path) {
  std::unique_ptr<env::File> file;
  if (env::Env::Default()->Open(path, env::kOpenReadOnly, &file) != 0) return 0;
  uint8_t bytes[4] = {};
  size_t got = 0;
  file->ReadAt(24, bytes, 4, &got);
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// COMPANIES declared again under another name with further attributes.
struct CompaniesLike {
  explicit CompaniesLike(const char* name, uint8_t attributes)
      : keys{app::Key(app::Table::kCompanies, 1), app::Key(app::Table::kCompanies, 2)},
        file(&QvfEntry, name, static_cast<int32_t>(std::strlen(name)),
             static_cast<uint8_t>(files::kAttrCreate | attributes), 202,
             app::Layout(app::Table::kCompanies).data(), app::Layout(app::Table::kCompanies).size(),
             keys, 2, nullptr, 0, buffer) {}
  uint8_t buffer[202] = {};
  const files::KeyDecl* keys[2];
  files::FileRecord file;
};

TEST(QvfDriverSavePolicy, DeferredWritesWaitForReleaseAndBatchesForFortyPages) {
  testing::ScratchFolder folder;
  testing::Companies();  // declares the dictionary, whose layouts we borrow
  CompaniesLike deferred("DEFERRED", files::kAttrDriverFlag02);
  files::Create(&deferred.file);
  files::Open(&deferred.file);
  ASSERT_EQ(testing::Code(), 0);
  const uint32_t opened = ChangeCounterOnDisk("DEFERRED.QVF");
  for (int r = 1; r <= 20; ++r) testing::AddCompany(&deferred.file, r, "deferred");
  EXPECT_EQ(ChangeCounterOnDisk("DEFERRED.QVF"), opened);
  EXPECT_EQ(files::Records(&deferred.file), 20);  // seen by this process
  deferred.file.Send(files::kOpHold);
  files::Release(&deferred.file);
  ASSERT_EQ(testing::Code(), 0);
  EXPECT_GT(ChangeCounterOnDisk("DEFERRED.QVF"), opened);
  testing::AddCompany(&deferred.file, 21, "deferred");
  const uint32_t released = ChangeCounterOnDisk("DEFERRED.QVF");
  files::Close(&deferred.file);
  EXPECT_GT(ChangeCounterOnDisk("DEFERRED.QVF"), released);  // Close writes the rest

  CompaniesLike batched("BATCHED", files::kAttrDriverFlag08);
  files::Create(&batched.file);
  files::Open(&batched.file);
  ASSERT_EQ(testing::Code(), 0);
  const uint32_t start = ChangeCounterOnDisk("BATCHED.QVF");
  testing::AddCompany(&batched.file, 1, "batched");
  EXPECT_EQ(ChangeCounterOnDisk("BATCHED.QVF"), start);  // far below 40 dirty pages
  // Long names spread the records over many pages until a save comes.
  int r = 2;
  while (ChangeCounterOnDisk("BATCHED.QVF") == start && r < 20000) {
    testing::AddCompany(&batched.file, r, std::string(30, static_cast<char>('A' + r % 26)));
    ASSERT_EQ(testing::Code(), 0);
    ++r;
  }
  EXPECT_LT(r, 20000);
  EXPECT_GT(r, 40);
  files::Close(&batched.file);
  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(env::Env::Default(), "BATCHED.QVF", &faults));
  EXPECT_TRUE(CheckFile(env::Env::Default(), "DEFERRED.QVF", &faults));
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

TEST(QvfDriverOpen, FileWhoseFirstSaveWasCutShortStartsAgainEmpty) {
  testing::ScratchFolder folder;
  {
    std::unique_ptr<env::File> file;
    ASSERT_EQ(env::Env::Default()->Open("COMPANIES.QVF", env::kOpenCreate, &file), 0);
    std::string tail(3000, '\x5A');  // a log written past a header never written
    ASSERT_EQ(file->WriteAt(512, tail.data(), tail.size()), 0);
  }
  auto* f = testing::Companies();
  files::Open(f);
  EXPECT_EQ(testing::Code(), files::kFileNotFound);  // the application then creates it
  files::Create(f);
  ASSERT_EQ(testing::Code(), 0);
  files::Open(f);
  ASSERT_EQ(testing::Code(), 0);
  testing::AddCompany(f, 1, "fresh");
  EXPECT_EQ(files::Records(f), 1);
  files::Close(f);
  // A file that is simply not a QVF file is still refused.
  {
    std::unique_ptr<env::File> file;
    ASSERT_EQ(env::Env::Default()->Open("LOCATIONS.QVF", env::kOpenCreate, &file), 0);
    std::string text(1024, 'x');
    ASSERT_EQ(file->WriteAt(0, text.data(), text.size()), 0);
  }
  files::Open(testing::Locations());
  EXPECT_EQ(testing::Code(), files::kInvalidDataFile);
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

TEST(QvfDriverMaintenance, RebuildOneKeyNamedByTextOrGiven) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  for (int r = 1; r <= 5; ++r) testing::AddCompany(f, r, r % 2 ? "b" : "a");
  files::Texts().Push("COM:NAME");
  f->Send(files::kOpBuildKeysText);
  EXPECT_EQ(testing::Code(), 0);
  files::Texts().Push("COM:NOSUCHKEY");
  f->Send(files::kOpBuildKeysText);
  EXPECT_EQ(testing::Code(), files::kInvalidKeyFile);
  files::Close(f);
  files::Open(f, 0x12);
  f->Send(files::kOpBuildKeysVariant, files::Args::Key(app::Key(app::Table::kCompanies, 1)));
  EXPECT_EQ(testing::Code(), 0);
  files::SetKey(f, app::Key(app::Table::kCompanies, 2));
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{2, 4, 1, 3, 5}));
  EXPECT_EQ(files::KeyRecords(f, app::Key(app::Table::kCompanies, 1)), 5);
  files::Close(f);
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

TEST(QvfDriverThreads, HoldsAndTableLocksExcludeOtherThreadsOfTheProcess) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();  // per-thread: this thread's instance
  testing::AddCompany(f, 1, "held here");
  f->Send(files::kOpHoldNext);
  testing::SetRef(f, 1);
  files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
  ASSERT_EQ(testing::Code(), 0);
  files::Lock(f);
  ASSERT_EQ(testing::Code(), 0);
  // Another procedure thread, run while this one waits (one runs at a time).
  int put = -1, hold = -1, lock = -1, reads = -1;
  std::thread other([&] {
    files::Open(f);
    testing::SetRef(f, 1);
    files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
    reads = testing::Code();
    testing::SetName(f, "other thread");
    files::Put(f);
    put = testing::Code();
    f->Send(files::kOpHoldNextTimeout, files::Args{0});
    files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
    hold = testing::Code();
    files::LockTimeout(f, 0);
    lock = testing::Code();
    files::Close(f);
  });
  other.join();
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(put, files::kAccessDenied);
  EXPECT_EQ(hold, files::kRecordAlreadyHeld);
  EXPECT_EQ(lock, files::kFileAlreadyLocked);
  files::Unlock(f);
  files::Close(f);
}

// A hold of another thread of this process is a claim of the same open file,
// which no system call shows: a transaction's rewrites must still see it.
TEST(QvfDriverThreads, RewritesInATransactionSeeAHoldOfAnotherThread) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  testing::AddCompany(f, 1, "held here");
  testing::AddCompany(f, 2, "free");
  f->Send(files::kOpHoldNext);
  testing::SetRef(f, 1);
  files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
  ASSERT_EQ(testing::Code(), 0);
  int logout = -1, free_put = -1, held_put = -1;
  std::thread other([&] {
    files::Open(f);
    logout = files::Logout(1, {f});
    for (int ref : {2, 1}) {
      testing::SetRef(f, ref);
      files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
      testing::SetName(f, "other thread");
      files::Put(f);
      (ref == 2 ? free_put : held_put) = testing::Code();
    }
    files::Commit();
    files::Close(f);
  });
  other.join();
  EXPECT_EQ(logout, 0);
  EXPECT_EQ(free_put, 0);
  EXPECT_EQ(held_put, files::kAccessDenied);
  files::Close(f);
}

// A wait for a record held by another thread of this process must let that
// thread run (through the lock-wait hook), or a hold without a timeout would
// never end while the waiter keeps the single run permission.
TEST(QvfDriverThreads, AHoldWaitRunsTheLockWaitHookSoTheHolderCanRelease) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  testing::AddCompany(f, 1, "held here");
  f->Send(files::kOpHoldNext);
  testing::SetRef(f, 1);
  files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
  ASSERT_EQ(testing::Code(), 0);

  std::mutex mu;
  std::condition_variable cv;
  int hook_calls = 0;
  files::SetLockWaitHook([&] {
    std::lock_guard<std::mutex> lock(mu);
    ++hook_calls;
    cv.notify_all();
  });
  int hold = -1;
  std::thread waiter([&] {
    files::Open(f);
    f->Send(files::kOpHoldNext);  // wait for ever
    testing::SetRef(f, 1);
    files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
    hold = testing::Code();
    files::Close(f);
  });
  {
    std::unique_lock<std::mutex> lock(mu);
    // A safety net, not a measurement: without the hook the waiter would
    // wait until the record is released below anyway.
    cv.wait_for(lock, std::chrono::seconds(60), [&] { return hook_calls > 0; });
    EXPECT_GT(hook_calls, 0);
  }
  f->Send(files::kOpReleaseHeld);  // the holder runs and lets the record go
  waiter.join();
  files::SetLockWaitHook(nullptr);
  EXPECT_EQ(hold, 0);
  files::Close(f);
}

}  // namespace
}  // namespace vorsandt::qvf
