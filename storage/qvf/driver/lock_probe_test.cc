// A folder whose byte-range locks do not work is refused at the first open
// of a table in it, with the folder and the reason, and nothing is written.
#include "storage/qvf/driver/lock_probe.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::Code;

// What the program does on first use of a table: open, and when the table
// is missing create it and open again.
int OpenOrCreate(files::FileRecord* f) {
  files::Open(f);
  if (Code() == files::kFileNotFound) {
    files::CreateIfMissing(f);
    if (Code() != 0) return Code();
    files::Open(f);
  }
  return Code();
}

class RefusedLocks : public ::testing::Test {
 protected:
  void SetUp() override { SetDriverEnvForTesting(&env_); }
  void TearDown() override { SetDriverEnvForTesting(nullptr); }
  // A process starting afresh: nothing known about any folder yet.
  void Restart() { SetDriverEnvForTesting(&env_); }
  // COMPANIES.QVF with three records, made while locks worked.
  void MakeTable() {
    files::FileRecord* f = testing::CreateAndOpenCompanies();
    for (int r = 1; r <= 3; ++r) testing::AddCompany(f, r, "kept");
    files::Close(f);
    ASSERT_EQ(Code(), 0);
  }
  void ExpectRefusal(const std::string& reason, const std::string& name) {
    EXPECT_EQ(Code(), files::kDriverReportedError);
    EXPECT_EQ(files::Errors().DriverText(), "File locks do not work in .: " + reason);
    EXPECT_EQ(files::Errors().DriverCodeText(), name);
  }
  env::FaultEnv env_;
};

TEST_F(RefusedLocks, AnExistingTableIsNeitherOpenedNorTouched) {
  MakeTable();
  const std::string before = env_.Contents("COMPANIES.QVF");
  const int64_t writes = env_.Writes();
  const struct {
    int errnum;
    const char* reason;
    const char* name;
  } kCases[] = {
      {ENOLCK, "the file system's lock service does not answer", "ENOLCK"},
      {EOPNOTSUPP, "the file system does not support them", "EOPNOTSUPP"},
      {ENOSYS, "the file system does not support them", "ENOSYS"},
  };
  files::FileRecord* f = testing::Companies();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Restart();
    env_.RefuseLocks(c.errnum);
    for (int32_t mode : {files::kModeReadWrite, files::kModeReadOnly}) {
      files::Open(f, mode);
      ExpectRefusal(c.reason, c.name);
    }
    // What the program does when the open fails: nothing made, nothing
    // written (no log, no header).
    EXPECT_EQ(OpenOrCreate(f), files::kDriverReportedError);
    EXPECT_EQ(env_.FileNames(), std::vector<std::string>{"COMPANIES.QVF"});
    EXPECT_EQ(env_.Contents("COMPANIES.QVF"), before);
    EXPECT_EQ(env_.Writes(), writes);
  }
  // A lock service that answers again is used again: a refusal is never
  // remembered as the folder's state.
  env_.RefuseLocks(0);
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  files::SetFile(f);
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{1, 2, 3}));
  files::Close(f);
}

TEST_F(RefusedLocks, AMissingTableIsNotCreated) {
  files::FileRecord* f = testing::Companies();
  for (int errnum : {ENOLCK, EOPNOTSUPP}) {
    SCOPED_TRACE(errnum);
    Restart();
    env_.RefuseLocks(errnum);
    EXPECT_EQ(OpenOrCreate(f), files::kDriverReportedError);
    ExpectRefusal(LockRefusalReason(errnum), LockRefusalName(errnum));
    files::Create(f);
    EXPECT_EQ(Code(), files::kDriverReportedError);
    // Not even the private copy a creation builds in is left.
    EXPECT_EQ(env_.FileNames(), std::vector<std::string>{});
    EXPECT_EQ(env_.Writes(), 0);
  }
}

TEST_F(RefusedLocks, LocksGrantedButNotKeptAreRefusedToo) {
  MakeTable();
  const std::string before = env_.Contents("COMPANIES.QVF");
  Restart();
  env_.ForgetLocks(true);
  files::FileRecord* f = testing::Companies();
  EXPECT_EQ(OpenOrCreate(f), files::kDriverReportedError);
  ExpectRefusal("a lock taken there is not seen by other programs", "locks not shared");
  EXPECT_EQ(env_.Contents("COMPANIES.QVF"), before);
  ASSERT_EQ(env_.Delete("COMPANIES.QVF"), 0);
  EXPECT_EQ(OpenOrCreate(f), files::kDriverReportedError);
  EXPECT_EQ(env_.FileNames(), std::vector<std::string>{});
}

TEST_F(RefusedLocks, AClaimHeldByAnotherProgramProvesTheLocksWork) {
  MakeTable();
  Restart();
  // Another station in the middle of a save holds the whole reader range.
  std::unique_ptr<env::File> other;
  ASSERT_EQ(env_.Open("COMPANIES.QVF", env::kOpenReadWrite, &other), 0);
  FileLocks writer(&env_, other.get());
  ASSERT_EQ(writer.LockWriter(), 0);
  std::unique_ptr<env::File> file;
  ASSERT_EQ(env_.Open("COMPANIES.QVF", env::kOpenReadWrite, &file), 0);
  EXPECT_EQ(ProbeLocks(&env_, "COMPANIES.QVF", file.get()), 0);
  writer.UnlockFile();
  EXPECT_EQ(ProbeLocks(&env_, "COMPANIES.QVF", file.get()), 0);
  // The probe gave its claim back: a writer gets the range at once.
  EXPECT_EQ(writer.LockWriter(), 0);
  writer.UnlockFile();
}

// The real file system, with every lock call of the program's files
// refused: the message names the folder as the user knows it.
class LocklessFile final : public testing::ForwardingFile {
 public:
  using ForwardingFile::ForwardingFile;
  int TryLock(uint64_t, uint64_t, bool) override { return ENOLCK; }
  int TestLock(uint64_t, uint64_t, bool) override { return ENOLCK; }
  int TestLockInProcess(uint64_t, uint64_t, bool) override { return ENOLCK; }
  int TestLockOfOthers(uint64_t, uint64_t, bool) override { return ENOLCK; }
};

class LocklessEnv final : public env::Env {
 public:
  int Open(const std::string& path, uint32_t flags, std::unique_ptr<env::File>* file) override {
    std::unique_ptr<env::File> real;
    if (int e = real_->Open(path, flags, &real); e != 0) return e;
    *file = std::make_unique<LocklessFile>(std::move(real));
    return 0;
  }
  int Delete(const std::string& path) override { return real_->Delete(path); }
  int Rename(const std::string& from, const std::string& to) override {
    return real_->Rename(from, to);
  }
  int RenameNoReplace(const std::string& from, const std::string& to) override {
    return real_->RenameNoReplace(from, to);
  }
  bool Exists(const std::string& path) override { return real_->Exists(path); }
  std::string FolderOf(const std::string& path) override { return real_->FolderOf(path); }
  int64_t NowHundredths() override { return real_->NowHundredths(); }
  void SleepMs(int ms) override { real_->SleepMs(ms); }

 private:
  env::Env* real_ = env::Env::Default();
};

TEST(RefusedLocksOnDisk, TheMessageNamesTheDataFolderAndTheFolderStaysEmpty) {
  testing::ScratchFolder folder;
  LocklessEnv lockless;
  SetDriverEnvForTesting(&lockless);
  files::FileRecord* f = testing::Companies();
  EXPECT_EQ(OpenOrCreate(f), files::kDriverReportedError);
  const std::string real_folder = std::filesystem::canonical(folder.path()).string();
  EXPECT_EQ(files::Errors().DriverText(), "File locks do not work in " + real_folder +
                                              ": the file system's lock service does not answer");
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
  SetDriverEnvForTesting(nullptr);
  // The same folder with working locks: the table is made and opened.
  EXPECT_EQ(OpenOrCreate(f), 0);
  files::Close(f);
}

TEST(FolderOf, RelativePathsAreMadeAbsoluteFromTheWorkingFolder) {
  testing::ScratchFolder folder;
  const std::string cwd = std::filesystem::current_path().string();
  env::Env* posix = env::Env::Default();
  EXPECT_EQ(posix->FolderOf("ITEMS.QVF"), cwd);
  EXPECT_EQ(posix->FolderOf("./ITEMS.QVF"), cwd);
  EXPECT_EQ(posix->FolderOf("sub/ITEMS.QVF"), cwd + "/sub");
  EXPECT_EQ(posix->FolderOf("/srv/data/ITEMS.QVF"), "/srv/data");
  env::FaultEnv fault;
  EXPECT_EQ(fault.FolderOf("ITEMS.QVF"), ".");
  EXPECT_EQ(fault.FolderOf("/ITEMS.QVF"), "/");
}

}  // namespace
}  // namespace vorsandt::qvf
