// Crash safety of the save: the simulated process stops at every write and
// every flush of a save, the unflushed writes are dropped, kept or torn, and
// the reopened file must hold exactly the state before or after the save.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/container.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

using env::FaultEnv;
using testing::AllEntries;
using testing::RecordInternalErrors;

std::string Key(int i) { return BigEndian32(static_cast<uint32_t>(i * 3)); }

void BuildBase(Container* c) {
  Tree tree(c);
  for (int i = 0; i < 600; ++i) ASSERT_EQ(tree.Insert(Key(i) + std::string(50, 'b'), 4), 0);
  for (int i = 0; i < 4; ++i) {
    std::string data;
    for (int k = 0; k < 5000; ++k) data.push_back(static_cast<char>(k * 7 + i));
    ASSERT_EQ(tree.Insert("L" + std::to_string(i) + data, 2), 0);
  }
}

// Inserts, deletes (emptying leaves), and grows a large entry so that its
// page changes class: pages are logged, written beyond the old end, moved.
void Workload(Container* c) {
  Tree tree(c);
  bool found = false;
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(tree.Insert(Key(i) + "+new" + std::string(30, 'n'), 6), 0);
  for (int i = 300; i < 420; ++i) {
    ASSERT_EQ(tree.Delete(Key(i), &found), 0);
    ASSERT_TRUE(found);
  }
  ASSERT_EQ(tree.Delete("L1", &found), 0);
  ASSERT_TRUE(found);
  std::string big;
  for (int k = 0; k < 12000; ++k) big.push_back(static_cast<char>(k * 13));
  ASSERT_EQ(tree.Insert("L1" + big, 2), 0);
}

class CrashTest : public ::testing::Test {
 protected:
  // Dirty leaves kept decoded while the workload runs (the rest are parked).
  virtual size_t DecodedLimit() const { return Container::kDefaultDecodedDirtyLimit; }
  void StopAtEveryWrite();

  void SetUp() override {
    FaultEnv env;
    {
      Container c(&env);
      ASSERT_EQ(c.Open("F.QVF", Container::kCreate), 0);
      BuildBase(&c);
      ASSERT_EQ(c.Save(), 0);
      before_ = AllEntries(&c);
      // A second save so that the base already has a history.
      Tree tree(&c);
      ASSERT_EQ(tree.Insert("history", 7), 0);
      ASSERT_EQ(c.Close(), 0);
    }
    base_ = env.Contents("F.QVF");
    before_.push_back("history");
    std::sort(before_.begin(), before_.end(), [](const std::string& a, const std::string& b) {
      return CompareKeys(a.substr(0, 2), b.substr(0, 2)) < 0 ||
             (CompareKeys(a.substr(0, 2), b.substr(0, 2)) == 0 && a < b);
    });
    {
      Container c(&env);
      ASSERT_EQ(c.Open("F.QVF", 0), 0);
      c.SetDecodedDirtyLimit(DecodedLimit());
      before_ = AllEntries(&c);
      Workload(&c);
      const int64_t writes = env.Writes();
      const int64_t syncs = env.Syncs();
      ASSERT_EQ(c.Save(), 0);
      save_writes_ = env.Writes() - writes;
      save_syncs_ = env.Syncs() - syncs;
      after_ = AllEntries(&c);
    }
    ASSERT_NE(before_, after_);
    // The log, the pages beyond the old end and the home copies go out as
    // runs, so the interruption points inside a write come from the stops
    // that keep part of it.
    ASSERT_GT(save_writes_, 6);
    ASSERT_EQ(save_syncs_, 4);
  }

  // Prepares the base file with the workload pending in `*c`.
  void Prepare(FaultEnv* env, Container* c) {
    env->SetContents("F.QVF", base_);
    ASSERT_EQ(c->Open("F.QVF", 0), 0);
    c->SetDecodedDirtyLimit(DecodedLimit());
    Workload(c);
  }

  // Reopens and reports which state the file holds: 0 before, 1 after.
  int StateAfterReopen(FaultEnv* env) {
    Container c(env);
    EXPECT_EQ(c.Open("F.QVF", 0), 0);
    std::vector<std::string> now = AllEntries(&c);
    EXPECT_FALSE(c.header().LogPending());
    EXPECT_EQ(c.Close(), 0);
    std::vector<std::string> faults;
    EXPECT_TRUE(CheckFile(env, "F.QVF", &faults));
    for (const auto& f : faults) ADD_FAILURE() << f;
    if (now == before_) return 0;
    if (now == after_) return 1;
    return -1;
  }

  std::string base_;
  std::vector<std::string> before_;
  std::vector<std::string> after_;
  int64_t save_writes_ = 0;
  int64_t save_syncs_ = 0;
};

// The same save with all but one dirty leaf parked: parked images are
// written as they are, and parked pages move during placement.
class ParkedCrashTest : public CrashTest {
 protected:
  size_t DecodedLimit() const override { return 1; }
};

TEST_F(CrashTest, StopAtEveryWriteLeavesBeforeOrAfter) { StopAtEveryWrite(); }

TEST_F(ParkedCrashTest, StopAtEveryWriteLeavesBeforeOrAfter) { StopAtEveryWrite(); }

void CrashTest::StopAtEveryWrite() {
  // The stopped process meets failing reads after the stop (recorded and
  // ignored); only the reopened file counts.
  RecordInternalErrors ignored;
  std::vector<int> checks;
  const FaultEnv::CrashMode modes[] = {FaultEnv::CrashMode::kDropUnsynced,
                                       FaultEnv::CrashMode::kKeepUnsynced,
                                       FaultEnv::CrashMode::kTearUnsynced};
  int saw_after = 0;
  // Bytes of the stopped write that reach the file, in whole sectors (a disk
  // writes a sector whole, so the 512-byte header is never half written):
  // none, the first sector, and points inside the later pages of a run.
  const size_t keeps[] = {0, 512, 2560, 9216, 40960};
  for (int64_t n = 1; n <= save_writes_; ++n) {
    for (size_t keep : keeps) {
      for (FaultEnv::CrashMode mode : modes) {
        FaultEnv env;
        Container c(&env);
        Prepare(&env, &c);
        env.StopAtWrite(n, keep);
        // A stop after the commit may still report success (the log carries
        // the save); then the save must be found after the crash.
        const int saved = c.Save();
        ASSERT_TRUE(env.Stopped());
        env.Crash(mode, static_cast<uint32_t>(n));
        RecordInternalErrors errors;
        const int state = StateAfterReopen(&env);
        checks.insert(checks.end(), errors.checks.begin(), errors.checks.end());
        ASSERT_NE(state, -1) << "write " << n << " keep " << keep << " mode "
                             << static_cast<int>(mode);
        if (saved == 0) EXPECT_EQ(state, 1) << "write " << n << " reported saved";
        saw_after += state;
      }
    }
  }
  // Stops after the commit must come out as the new state.
  EXPECT_GT(saw_after, 0);
  EXPECT_TRUE(checks.empty());
}

TEST_F(CrashTest, StopAtEveryFlushLeavesBeforeOrAfter) {
  RecordInternalErrors ignored;
  std::vector<int> checks;
  for (int64_t n = 1; n <= save_syncs_; ++n) {
    for (auto mode : {FaultEnv::CrashMode::kDropUnsynced, FaultEnv::CrashMode::kTearUnsynced}) {
      FaultEnv env;
      Container c(&env);
      Prepare(&env, &c);
      env.StopAtSync(n);
      const int saved = c.Save();
      if (n <= 2) EXPECT_NE(saved, 0) << "flush " << n;
      env.Crash(mode, static_cast<uint32_t>(n));
      RecordInternalErrors errors;
      const int state = StateAfterReopen(&env);
      checks.insert(checks.end(), errors.checks.begin(), errors.checks.end());
      ASSERT_NE(state, -1) << "flush " << n;
      // The second flush commits: stopping at the first loses the save; at
      // the second, the committing header write may or may not have reached
      // the disk.
      if (n == 1 || (n == 2 && mode == FaultEnv::CrashMode::kDropUnsynced)) {
        EXPECT_EQ(state, 0) << "flush " << n;
      }
      if (n > 2) {
        EXPECT_EQ(state, 1) << "flush " << n;
      }
    }
  }
  EXPECT_TRUE(checks.empty());
}

TEST_F(CrashTest, FailedWriteReportsTheErrorAndKeepsTheCommittedState) {
  RecordInternalErrors errors;
  int64_t phase1_writes = 0;
  {
    // Phase 1 ends with the second flush: count the writes before it.
    RecordInternalErrors ignored;  // the stopped process fails its reads
    FaultEnv env;
    Container c(&env);
    Prepare(&env, &c);
    const int64_t start = env.Writes();
    env.StopAtSync(2);
    EXPECT_NE(c.Save(), 0);
    phase1_writes = env.Writes() - start;
  }
  ASSERT_GT(phase1_writes, 2);
  for (int64_t n = 1; n <= save_writes_; ++n) {
    FaultEnv env;
    Container c(&env);
    Prepare(&env, &c);
    env.FailWriteAt(n, ENOSPC);
    // Up to the commit the failure is the save's; after it, the save is
    // durable in the log and reported done.
    EXPECT_EQ(c.Save(), n <= phase1_writes ? files::kSystemErrorBase + 39 : 0) << "write " << n;
    if (n <= phase1_writes) {
      EXPECT_EQ(env.Contents("F.QVF").substr(0, kHeaderSize), base_.substr(0, kHeaderSize)) << n;
      // What the failed save grew is given back.
      EXPECT_EQ(env.Contents("F.QVF").size(), base_.size()) << n;
      EXPECT_EQ(StateAfterReopen(&env), 0) << "write " << n;
    } else {
      // Committed: the next opener completes the save.
      EXPECT_EQ(StateAfterReopen(&env), 1) << "write " << n;
    }
  }
  // A short write says why it was cut short: a full disk, or a write fault.
  for (auto [errnum, code] : {std::pair{ENOSPC, 39}, std::pair{EIO, 29}}) {
    FaultEnv env;
    Container c(&env);
    Prepare(&env, &c);
    env.FailWriteAt(1, errnum, 64);
    EXPECT_EQ(c.Save(), files::kSystemErrorBase + code);
    EXPECT_EQ(StateAfterReopen(&env), 0);
  }
  EXPECT_TRUE(errors.checks.empty());
}

TEST_F(CrashTest, AFailedCommitFlushPutsTheOldHeaderBack) {
  // The committing header was written but its flush failed: it may reach the
  // disk later, so a save reported failed must not be found committed.
  for (auto mode : {FaultEnv::CrashMode::kKeepUnsynced, FaultEnv::CrashMode::kDropUnsynced}) {
    FaultEnv env;
    Container c(&env);
    Prepare(&env, &c);
    env.FailSyncAt(2, EIO);
    EXPECT_EQ(c.Save(), files::kSystemErrorBase + 29);  // a write fault
    EXPECT_EQ(env.Contents("F.QVF").size(), base_.size());
    env.Crash(mode);
    EXPECT_EQ(StateAfterReopen(&env), 0) << static_cast<int>(mode);
  }
}

TEST_F(CrashTest, ReaderModeReadsThroughACommittedLogAndAbandonedLogIsDropped) {
  RecordInternalErrors errors;
  // Leave a committed log: stop right at the first write of phase 2.
  FaultEnv env;
  {
    Container c(&env);
    Prepare(&env, &c);
    env.StopAtSync(3);
    EXPECT_EQ(c.Save(), 0) << "committed before the stop";
    env.Crash(FaultEnv::CrashMode::kDropUnsynced);
  }
  const std::string with_log = env.Contents("F.QVF");
  {
    Container reader(&env);
    ASSERT_EQ(reader.Open("F.QVF", Container::kReadOnly), 0);
    EXPECT_EQ(AllEntries(&reader), after_);
    EXPECT_EQ(env.Contents("F.QVF"), with_log);  // a reader writes nothing
  }
  {
    // The transaction is still open: the log is abandoned.
    Container c(&env);
    c.SetLogQuestion([](Container&) { return true; });
    ASSERT_EQ(c.Open("F.QVF", 0), 0);
    EXPECT_EQ(AllEntries(&c), before_);
    EXPECT_FALSE(c.header().LogPending());
  }
  EXPECT_EQ(StateAfterReopen(&env), 0);
  EXPECT_TRUE(errors.checks.empty());
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

// Real files: the writer process dies (_exit) at the nth write of its save;
// what it had written stays in the operating system's cache, as after a
// killed process.
class DyingEnv final : public env::Env {
 public:
  explicit DyingEnv(int64_t die_at) : die_at_(die_at) {}
  int Open(const std::string& path, uint32_t flags, std::unique_ptr<env::File>* file) override {
    std::unique_ptr<env::File> real;
    int e = env::Env::Default()->Open(path, flags, &real);
    if (e == 0) *file = std::make_unique<DyingFile>(std::move(real), this);
    return e;
  }
  int Delete(const std::string& p) override { return env::Env::Default()->Delete(p); }
  int Rename(const std::string& a, const std::string& b) override {
    return env::Env::Default()->Rename(a, b);
  }
  bool Exists(const std::string& p) override { return env::Env::Default()->Exists(p); }
  int64_t NowHundredths() override { return env::Env::Default()->NowHundredths(); }
  void SleepMs(int ms) override { env::Env::Default()->SleepMs(ms); }
  void Arm() { armed_ = true; }

 private:
  class DyingFile final : public testing::ForwardingFile {
   public:
    DyingFile(std::unique_ptr<env::File> real, DyingEnv* env)
        : ForwardingFile(std::move(real)), env_(env) {}
    int WriteAt(uint64_t o, const void* b, size_t n, size_t* w) override {
      if (env_->armed_ && ++env_->writes_ == env_->die_at_) _exit(0);
      return ForwardingFile::WriteAt(o, b, n, w);
    }

   private:
    DyingEnv* env_;
  };

  int64_t die_at_;
  int64_t writes_ = 0;
  bool armed_ = false;
};

TEST_F(CrashTest, KilledWriterProcessOnRealFilesLeavesBeforeOrAfter) {
  char tmpl[] = "/tmp/vorsandt_qvfcrash_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string path = std::string(tmpl) + "/F.QVF";
  int saw_after = 0;
  for (int64_t n = 1; n <= save_writes_ + 1; ++n) {
    {
      std::unique_ptr<env::File> f;
      ASSERT_EQ(env::Env::Default()->Open(path, env::kOpenCreate | env::kOpenTruncate, &f), 0);
      ASSERT_EQ(f->WriteAt(0, base_.data(), base_.size()), 0);
    }
    pid_t pid = fork();
    if (pid == 0) {
      SetInternalErrorHandler([](int) { _exit(3); });
      DyingEnv dying(n);
      Container c(&dying);
      if (c.Open(path, 0) != 0) _exit(4);
      Workload(&c);
      dying.Arm();
      (void)c.Save();  // the process dies inside it
      _exit(n > save_writes_ ? 0 : 5);  // must have died inside the save
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "write " << n;
    RecordInternalErrors errors;
    Container c(env::Env::Default());
    ASSERT_EQ(c.Open(path, 0), 0);
    std::vector<std::string> now = AllEntries(&c);
    const bool before = now == before_;
    const bool after = now == after_;
    ASSERT_TRUE(before || after) << "write " << n;
    saw_after += after ? 1 : 0;
    EXPECT_TRUE(errors.checks.empty());
  }
  EXPECT_GT(saw_after, 0);
  env::Env::Default()->Delete(path);
  rmdir(tmpl);
}

}  // namespace
}  // namespace vorsandt::qvf
