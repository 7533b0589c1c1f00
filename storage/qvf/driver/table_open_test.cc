// Creating and opening tables as several programs do at once: the creation
// race, creations that fail, files the user may only read, opens that deny
// others the file, and waits for a lock that is never let go.
#include "storage/qvf/driver/table_open.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "runtime/format/locale.h"
#include "runtime/format/settings_file.h"
#include "storage/qvf/driver/lock_area.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "storage/qvf/table/qvf_table_commands.h"

namespace vorsandt::qvf {
namespace {

using testing::Code;
using testing::ScratchFolder;
using testing::Spawn;
using testing::WaitFor;

// One-byte signals between a parent and its children.
class Pipe {
 public:
  Pipe() { EXPECT_EQ(pipe(fd_), 0); }
  ~Pipe() {
    close(fd_[0]);
    close(fd_[1]);
  }
  void Send(int count = 1) {
    for (int i = 0; i < count; ++i) EXPECT_EQ(write(fd_[1], "x", 1), 1);
  }
  bool Wait() {
    char c = 0;
    return read(fd_[0], &c, 1) == 1;
  }

 private:
  int fd_[2];
};

// What the program does on first use of a table: open, and when the table
// is missing create it (keeping one made meanwhile) and open again.
int OpenOrCreate(files::FileRecord* f) {
  files::Open(f);
  if (Code() == files::kFileNotFound) {
    files::CreateIfMissing(f);
    if (Code() != 0) return Code();
    files::Open(f);
  }
  return Code();
}

void AddLocation(files::FileRecord* f, const std::string& name) {
  std::memset(testing::Buffer(f), ' ', f->record_length);
  std::memcpy(testing::Buffer(f), name.data(), name.size());
  files::Add(f);
}

int64_t RecordsOf(files::FileRecord* f) {
  files::Open(f, files::kModeReadOnly);
  if (Code() != 0) return -Code();
  const int64_t n = files::Records(f);
  files::Close(f);
  return n;
}

std::vector<std::string> FolderNames() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(".")) {
    names.push_back(e.path().filename().string());
  }
  return names;
}

TEST(TableCreation, ProcessesCreatingOneTableAtOnceKeepEveryRow) {
  constexpr int kProcesses = 4;
  constexpr int kRows = 25;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    ScratchFolder folder;
    Pipe go;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
      children.push_back(Spawn([&go, p] {
        if (!go.Wait()) return 9;
        files::FileRecord* f = testing::Locations();
        if (OpenOrCreate(f) != 0) return 1;
        for (int r = 0; r < kRows; ++r) {
          AddLocation(f, "P" + std::to_string(p) + "-" + std::to_string(r));
          if (Code() != 0) return 2;
        }
        files::Close(f);
        return Code() == 0 ? 0 : 3;
      }));
    }
    go.Send(kProcesses);
    for (pid_t child : children) EXPECT_EQ(WaitFor(child), 0);
    EXPECT_EQ(RecordsOf(testing::Locations()), kProcesses * kRows);
    // No private copy is left beside the table.
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"LOCATIONS.QVF"});
    std::vector<std::string> faults;
    EXPECT_EQ(FullCheckCommand(env::Env::Default(), "LOCATIONS.QVF", &faults), 0)
        << (faults.empty() ? "" : faults.front());
  }
}

TEST(TableCreation, CreateIfMissingKeepsATableMadeMeanwhileAndCreateReplaces) {
  ScratchFolder folder;
  files::FileRecord* f = testing::CreateAndOpenCompanies();
  for (int r = 1; r <= 3; ++r) testing::AddCompany(f, r, "kept");
  files::Close(f);
  files::CreateIfMissing(f);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(RecordsOf(f), 3);
  files::Create(f);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(RecordsOf(f), 0);
}

class FaultEnvTables : public ::testing::Test {
 protected:
  void SetUp() override { SetDriverEnvForTesting(&env_); }
  void TearDown() override { SetDriverEnvForTesting(nullptr); }
  env::FaultEnv env_;
};

TEST_F(FaultEnvTables, ACreationThatFailsAtAnyWriteOrFlushLeavesNoFile) {
  files::FileRecord* f = testing::Companies();
  // Count the writes and flushes of one creation.
  files::Create(f);
  ASSERT_EQ(Code(), 0);
  const int64_t writes = env_.Writes();
  const int64_t syncs = env_.Syncs();
  ASSERT_EQ(env_.Delete("COMPANIES.QVF"), 0);
  int64_t failed = 0;
  for (int64_t n = 1; n <= writes + syncs; ++n) {
    SCOPED_TRACE(n);
    const bool write = n <= writes;
    if (write) {
      env_.FailWriteAt(n, ENOSPC);
    } else {
      env_.FailSyncAt(n - writes, EIO);
    }
    files::CreateIfMissing(f);
    env_.ClearFaults();
    if (Code() == 0) {
      // A failure after the save's commit point is not the creation's: the
      // committed log is applied by the next opener.
      EXPECT_EQ(env_.FileNames(), std::vector<std::string>{"COMPANIES.QVF"});
      EXPECT_EQ(RecordsOf(f), 0);
      ASSERT_EQ(env_.Delete("COMPANIES.QVF"), 0);
      continue;
    }
    ++failed;
    EXPECT_EQ(Code(), files::kSystemErrorBase + (write ? 39 : 29));
    EXPECT_EQ(env_.FileNames(), std::vector<std::string>{});
  }
  EXPECT_GT(failed, (writes + syncs) / 2);
  files::CreateIfMissing(f);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(env_.FileNames(), std::vector<std::string>{"COMPANIES.QVF"});
}

TEST_F(FaultEnvTables, AMissingTableInAFolderThatRefusesNewFilesSaysWhy) {
  files::FileRecord* f = testing::Companies();
  for (int errnum : {EACCES, EROFS}) {
    env_.RefuseNewFiles("", errnum);
    files::Open(f);
    EXPECT_EQ(Code(), files::kFileNotFound);
    files::CreateIfMissing(f);
    EXPECT_EQ(Code(), files::kSystemErrorBase + (errnum == EACCES ? 5 : 19));
    EXPECT_EQ(env_.FileNames(), std::vector<std::string>{});
  }
}

TEST_F(FaultEnvTables, AFileTheUserMayOnlyReadIsReadButNotWritten) {
  files::FileRecord* f = testing::CreateAndOpenCompanies();
  for (int r = 1; r <= 3; ++r) testing::AddCompany(f, r, "read me");
  files::Close(f);
  for (int errnum : {EACCES, EROFS}) {
    SCOPED_TRACE(errnum);
    env_.RefuseWriting("COMPANIES.QVF", errnum);
    files::Open(f, files::kModeReadOnly);
    ASSERT_EQ(Code(), 0);
    files::SetFile(f);
    EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{1, 2, 3}));
    files::Close(f);
    EXPECT_EQ(Code(), 0);
    files::Open(f);
    EXPECT_EQ(Code(), files::kSystemErrorBase + (errnum == EACCES ? 5 : 19));
  }
}

// The test process holds the writer range of COMPANIES.QVF through a handle
// of its own, as a writer stopped in the middle of a save would.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path) {
    EXPECT_EQ(env::Env::Default()->Open(path, env::kOpenReadWrite, &file_), 0);
    locks_ = std::make_unique<FileLocks>(env::Env::Default(), file_.get());
    EXPECT_EQ(locks_->LockWriter(), 0);
  }

 private:
  std::unique_ptr<env::File> file_;
  std::unique_ptr<FileLocks> locks_;
};

TEST(FileLockWaits, AWriterThatNeverLetsGoMakesEveryWaitEndWith32) {
  ScratchFolder folder;
  files::FileRecord* f = testing::CreateAndOpenCompanies();
  testing::AddCompany(f, 1, "one");
  files::Close(f);
  const int64_t old_limit = FileLockWaitLimit();
  SetFileLockWaitLimit(20);
  {
    HeldFile held("COMPANIES.QVF");
    for (int32_t mode : {files::kModeReadWrite, files::kModeReadOnly}) {
      files::Open(f, mode);
      EXPECT_EQ(Code(), files::kFileAlreadyLocked) << mode;
    }
    files::CreateIfMissing(f);
    EXPECT_EQ(Code(), files::kFileAlreadyLocked);
  }
  // Opened before the writer stalls: a change gives up the same way. A read
  // its cache answers needs no lock while the stalled writer has committed
  // nothing; once the header shows a commit (phase 2 may be overwriting
  // pages), the read waits for the lock and gives up too.
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  files::Records(f);
  ASSERT_EQ(Code(), 0);
  {
    HeldFile held("COMPANIES.QVF");
    EXPECT_EQ(files::Records(f), 1);
    EXPECT_EQ(Code(), 0);
    testing::AddCompany(f, 2, "two");
    EXPECT_EQ(Code(), files::kFileAlreadyLocked);
    std::unique_ptr<env::File> raw;
    ASSERT_EQ(env::Env::Default()->Open("COMPANIES.QVF", env::kOpenReadWrite, &raw), 0);
    char header[512];
    size_t got = 0;
    ASSERT_EQ(raw->ReadAt(0, header, sizeof header, &got), 0);
    std::string committed(header, sizeof header);
    committed[11] = static_cast<char>(committed[11] + 2);  // log end 512 bytes on
    ASSERT_EQ(raw->WriteAt(0, committed.data(), committed.size()), 0);
    files::Records(f);
    EXPECT_EQ(Code(), files::kFileAlreadyLocked);
    ASSERT_EQ(raw->WriteAt(0, header, sizeof header), 0);
  }
  files::SetFile(f);
  EXPECT_EQ(testing::ReadAll(f, true), std::vector<int>{1});
  files::Close(f);
  SetFileLockWaitLimit(old_limit);
}

TEST(ExclusiveOpen, AnOpenDenyingOthersKeepsThemOutUntilItCloses) {
  ScratchFolder folder;
  {
    files::FileRecord* f = testing::CreateAndOpenCompanies();
    testing::AddCompany(f, 1, "one");
    files::Close(f);
  }
  Pipe opened, finish, closed;
  pid_t child = Spawn([&] {
    files::FileRecord* f = testing::Companies();
    files::Open(f, 0x12);
    if (Code() != 0) return 1;
    opened.Send();
    finish.Wait();
    testing::AddCompany(f, 2, "two");
    files::BuildKeys(f);
    files::Close(f);
    closed.Send();
    return Code() == 0 ? 0 : 2;
  });
  ASSERT_TRUE(opened.Wait());
  const int64_t old_limit = FileLockWaitLimit();
  SetFileLockWaitLimit(20);
  files::FileRecord* f = testing::Companies();
  for (int32_t mode : {files::kModeReadWrite, files::kModeReadOnly}) {
    files::Open(f, mode);
    EXPECT_EQ(Code(), files::kFileAlreadyLocked) << mode;
  }
  SetFileLockWaitLimit(old_limit);
  finish.Send();
  // Opened while the child still works: the open waits for its close.
  files::Open(f, files::kModeReadOnly);
  EXPECT_EQ(Code(), 0);
  files::SetFile(f);
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{1, 2}));
  files::Close(f);
  EXPECT_TRUE(closed.Wait());
  EXPECT_EQ(WaitFor(child), 0);
}

// A table built under the built-in collation, opened by a program whose
// settings file orders "a" after "A": a change would move entries of the
// name key to places the built keys do not have them, so writing is refused
// until the keys are rebuilt (the open that rebuilds keeps everyone else
// out); reading is not.
TEST(CollationOfKeys, ATableIsNotWrittenUnderAnotherCollationUntilItsKeysAreRebuilt) {
  ScratchFolder folder;
  files::FileRecord* f = testing::CreateAndOpenCompanies();
  testing::AddCompany(f, 1, "alpha");
  testing::AddCompany(f, 2, "Alpha two");
  testing::AddCompany(f, 3, "beta");
  files::Close(f);
  struct LocaleBack {
    ~LocaleBack() { format::ResetLocale(); }
  } locale_back;
  format::ApplySettingsText("ZORCOLSEQ=aaaaAAAA\n", &format::MutableLocale());

  files::Open(f);
  EXPECT_EQ(Code(), files::kKeyFileMustBeRebuilt);
  files::Open(f, files::kModeReadOnly);
  ASSERT_EQ(Code(), 0);
  files::SetFile(f);
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{1, 2, 3}));
  files::Close(f);
  std::vector<std::string> faults;
  EXPECT_EQ(FullCheckCommand(env::Env::Default(), "COMPANIES.QVF", &faults), 0)
      << (faults.empty() ? "" : faults.front());

  files::Open(f, files::kModeReadWriteExclusive);
  ASSERT_EQ(Code(), 0);
  testing::AddCompany(f, 4, "aardvark");
  EXPECT_EQ(Code(), files::kKeyFileMustBeRebuilt);
  files::BuildKeys(f);
  EXPECT_EQ(Code(), 0);
  files::Close(f);

  files::Open(f);
  ASSERT_EQ(Code(), 0);
  testing::AddCompany(f, 4, "aardvark");
  EXPECT_EQ(Code(), 0);
  files::Close(f);
  faults.clear();
  EXPECT_EQ(FullCheckCommand(env::Env::Default(), "COMPANIES.QVF", &faults), 0)
      << (faults.empty() ? "" : faults.front());

  // Built under the collation now, the table is refused to a program
  // without it in turn.
  format::ResetLocale();
  files::Open(f);
  EXPECT_EQ(Code(), files::kKeyFileMustBeRebuilt);
  faults.clear();
  EXPECT_EQ(FullCheckCommand(env::Env::Default(), "COMPANIES.QVF", &faults), 0)
      << (faults.empty() ? "" : faults.front());
}

}  // namespace
}  // namespace vorsandt::qvf
