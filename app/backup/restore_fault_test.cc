// A restore with --replace under the fault-injecting environment: every write
// and every flush the restore makes fails in turn (ENOSPC, EIO), or stops the
// simulated process there and crashes keeping all, none or some of the
// unflushed writes. After the recovery a next start runs, the data folder
// must hold exactly the tables it held before or exactly the restored ones,
// byte for byte, and nothing else; a restore that reported a failure must
// have left the old tables without any recovery.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "app/backup/data_backup.h"
#include "app/backup/data_restore.h"
#include "app/backup/restore_swap.h"
#include "app/dictionary/dictionary.h"
#include "app/exchange/table_import.h"
#include "runtime/env/fault_env.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/table/qvf_table_commands.h"

namespace vorsandt::backup {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // name in the folder -> bytes

std::string ReadReal(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Import(app::Table table, const std::string& csv) {
  std::string error;
  ASSERT_EQ(exchange::ImportTable(
                table, csv,
                [](const std::string& path, std::vector<std::string>* faults) {
                  return qvf::FullCheckCommand(env::Env::Default(), path, faults);
                },
                &error),
            exchange::kImported)
      << error;
}

// The sample household's CSV of `label`, its first `rows` rows (all when 0).
std::string Sample(const std::string& label, int rows = 0) {
  std::string text = ReadReal(fs::path(VORSANDT_SAMPLE_DATA) / (label + ".csv"));
  if (rows == 0) return text;
  size_t at = 0;
  for (int line = 0; line <= rows && at != std::string::npos; ++line) {
    at = text.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  return at == std::string::npos ? text : text.substr(0, at);
}

// The tables and pictures of a real folder, by name (not the coordination
// file a backup's transaction leaves).
Files RealFolder(const fs::path& folder) {
  Files files;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string ext = e.path().extension().string();
    if (ext == ".QVF" || ext == ".PNG") files[e.path().filename().string()] = ReadReal(e.path());
  }
  return files;
}

// Renames do not count as writes in the fault-injecting environment (they
// are durable at once), yet the swap is made of them: this one fails the
// Nth rename, or stops the process there (that rename and every later call
// through it fail, as if the process had been killed).
class RenameFaults final : public env::Env {
 public:
  explicit RenameFaults(env::FaultEnv* base) : base_(base) {}
  void FailAt(int n) { fail_at_ = n; }
  void StopAt(int n) { stop_at_ = n; }
  bool stopped() const { return stopped_; }
  int renames() const { return renames_; }

  int Open(const std::string& path, uint32_t flags, std::unique_ptr<env::File>* file) override {
    return stopped_ ? EIO : base_->Open(path, flags, file);
  }
  int CreateNew(const std::string& path, uint32_t flags, uint32_t mode,
                std::unique_ptr<env::File>* file) override {
    return stopped_ ? EIO : base_->CreateNew(path, flags, mode, file);
  }
  int Delete(const std::string& path) override { return stopped_ ? EIO : base_->Delete(path); }
  int Rename(const std::string& from, const std::string& to) override {
    if (int e = Count(); e != 0) return e;
    return base_->Rename(from, to);
  }
  int RenameNoReplace(const std::string& from, const std::string& to) override {
    if (int e = Count(); e != 0) return e;
    return base_->RenameNoReplace(from, to);
  }
  bool Exists(const std::string& path) override { return base_->Exists(path); }
  int64_t NowHundredths() override { return base_->NowHundredths(); }
  void SleepMs(int ms) override { base_->SleepMs(ms); }

 private:
  int Count() {
    if (stopped_) return EIO;
    ++renames_;
    if (renames_ == stop_at_) stopped_ = true;
    return renames_ == stop_at_ || renames_ == fail_at_ ? EIO : 0;
  }
  env::FaultEnv* base_;
  int fail_at_ = 0;
  int stop_at_ = 0;
  int renames_ = 0;
  bool stopped_ = false;
};

class RestoreFaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vorsandt-restore-fault-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = new std::string(pattern);
    home_ = new fs::path(fs::current_path());
    app::InitDictionary(&qvf::QvfEntry);
    fs::current_path(*folder_);
    // The tables before the restore: fewer items, other locations, no
    // policies.
    fs::create_directory("old");
    fs::current_path("old");
    Import(app::Table::kLocations, "LOC:LOCATION\nHall\nLoft\n");
    Import(app::Table::kCompanies, Sample("COMPANIES"));
    Import(app::Table::kItems, Sample("ITEMS", 20));
    fs::current_path("..");
    old_ = new Files(RealFolder("old"));
    // The backup: the whole sample and a picture beside the tables.
    fs::create_directory("new");
    fs::current_path("new");
    std::string items = Sample("ITEMS");
    const size_t second = items.find('\n') + 1;
    const size_t end = items.find('\n', second);
    size_t cut = end;
    if (items[cut - 1] == '\r') --cut;
    ASSERT_EQ(items.compare(cut - 2, 2, ",,"), 0);
    items.replace(cut - 2, 2, ",TV.PNG,tv");
    Import(app::Table::kItems, items);
    Import(app::Table::kLocations, Sample("LOCATIONS"));
    Import(app::Table::kCompanies, Sample("COMPANIES"));
    Import(app::Table::kPolicy, Sample("POLICY"));
    std::ofstream("TV.PNG") << "a picture";
    std::string error;
    BackupRun run;
    ASSERT_TRUE(run.Begin("../b.tar.gz", &error)) << error;
    while (!run.finished()) ASSERT_TRUE(run.Step(&error)) << error;
    ASSERT_TRUE(run.Finish(&error)) << error;
    ASSERT_EQ(run.pictures(), 1);
    fs::current_path("..");
    new_ = new Files(RealFolder("new"));
    archive_ = new std::string(ReadReal("b.tar.gz"));
  }
  static void TearDownTestSuite() {
    fs::current_path(*home_);
    fs::remove_all(*folder_);
  }

  // A fresh environment holding the archive and, in "data", `before`.
  static void Load(env::FaultEnv* env, const Files& before) {
    env->SetContents("b.tar.gz", *archive_);
    for (const auto& [name, bytes] : before) env->SetContents("data/" + name, bytes);
  }
  static Files DataFolder(env::FaultEnv* env) {
    Files files;
    for (const std::string& name : env->FileNames()) {
      if (name.rfind("data/", 0) == 0) files[name.substr(5)] = env->Contents(name);
    }
    return files;
  }
  static bool Restore(env::Env* env, std::string* error) {
    RestoreRun run(env, "scratch");
    if (!run.Read("b.tar.gz", error)) return false;
    while (!run.all_checked()) {
      if (!run.CheckNext(error)) return false;
    }
    return run.Write("data", true, error);
  }

  // Runs the restore over `before` with `arm` setting the fault; checks the
  // folder and counts which set it ended with.
  void RunOne(const Files& before, const std::string& label,
              const std::function<void(env::FaultEnv*, RenameFaults*)>& arm,
              env::FaultEnv::CrashMode crash, uint32_t seed) {
    env::FaultEnv env;
    RenameFaults renames(&env);
    Load(&env, before);
    arm(&env, &renames);
    std::string error;
    const bool ok = Restore(&renames, &error);
    const bool stopped = env.Stopped() || renames.stopped();
    if (stopped) env.Crash(crash, seed);
    env.ClearFaults();
    // Only a failure while the files are put in place may leave the swap
    // to the next start, and it says so.
    const bool left = error.find("next starts") != std::string::npos;
    if (!stopped && !left) {
      if (ok) {
        EXPECT_EQ(DataFolder(&env), *new_) << label << ": reported done";
      } else {
        EXPECT_EQ(DataFolder(&env), before) << label << ": reported " << error;
      }
    }
    std::string what;
    ASSERT_TRUE(RecoverRestore(&env, "data", &what, &error)) << label << ": " << error;
    const Files after = DataFolder(&env);
    if (after == *new_) {
      ++ended_new_;
    } else {
      EXPECT_EQ(after, before) << label << (ok ? " (reported done)" : "") << ", recovery: " << what;
      ++ended_old_;
    }
  }

  void AtEveryWriteAndFlush(const Files& before) {
    int64_t writes = 0, syncs = 0;
    int renames = 0;
    {
      env::FaultEnv env;
      RenameFaults counting(&env);
      Load(&env, before);
      std::string error;
      ASSERT_TRUE(Restore(&counting, &error)) << error;
      EXPECT_EQ(DataFolder(&env), *new_);
      writes = env.Writes();
      syncs = env.Syncs();
      renames = counting.renames();
    }
    ASSERT_GT(writes, 8);
    ASSERT_GT(syncs, 4);
    using Mode = env::FaultEnv::CrashMode;
    for (int64_t n = 1; n <= writes; ++n) {
      const std::string at = "write " + std::to_string(n);
      RunOne(
          before, at + " ENOSPC",
          [n](env::FaultEnv* e, RenameFaults*) { e->FailWriteAt(n, ENOSPC); }, Mode::kDropUnsynced,
          0);
      RunOne(
          before, at + " EIO, cut short",
          [n](env::FaultEnv* e, RenameFaults*) { e->FailWriteAt(n, EIO, 100); },
          Mode::kDropUnsynced, 0);
      RunOne(
          before, at + " stop, unflushed lost",
          [n](env::FaultEnv* e, RenameFaults*) { e->StopAtWrite(n); }, Mode::kDropUnsynced, 0);
      RunOne(
          before, at + " stop, unflushed kept",
          [n](env::FaultEnv* e, RenameFaults*) { e->StopAtWrite(n, 700); }, Mode::kKeepUnsynced, 0);
      RunOne(
          before, at + " stop, unflushed torn",
          [n](env::FaultEnv* e, RenameFaults*) { e->StopAtWrite(n); }, Mode::kTearUnsynced,
          static_cast<uint32_t>(n));
    }
    for (int64_t n = 1; n <= syncs; ++n) {
      const std::string at = "flush " + std::to_string(n);
      RunOne(
          before, at + " EIO", [n](env::FaultEnv* e, RenameFaults*) { e->FailSyncAt(n, EIO); },
          Mode::kDropUnsynced, 0);
      RunOne(
          before, at + " stop, unflushed lost",
          [n](env::FaultEnv* e, RenameFaults*) { e->StopAtSync(n); }, Mode::kDropUnsynced, 0);
      RunOne(
          before, at + " stop, unflushed torn",
          [n](env::FaultEnv* e, RenameFaults*) { e->StopAtSync(n); }, Mode::kTearUnsynced,
          static_cast<uint32_t>(n));
    }
    for (int n = 1; n <= renames; ++n) {
      const std::string at = "rename " + std::to_string(n);
      RunOne(
          before, at + " EIO", [n](env::FaultEnv*, RenameFaults* r) { r->FailAt(n); },
          Mode::kDropUnsynced, 0);
      RunOne(
          before, at + " stop", [n](env::FaultEnv*, RenameFaults* r) { r->StopAt(n); },
          Mode::kDropUnsynced, 0);
    }
    std::printf(
        "%lld writes, %lld flushes and %d renames: %d runs ended with the old tables, %d with "
        "the new\n",
        static_cast<long long>(writes), static_cast<long long>(syncs), renames, ended_old_,
        ended_new_);
    // Both outcomes occur: a stop after the commit point is finished by the
    // recovery.
    EXPECT_GT(ended_old_, 0);
    EXPECT_GT(ended_new_, 0);
  }

  static std::string* folder_;
  static fs::path* home_;
  static Files* old_;
  static Files* new_;
  static std::string* archive_;
  int ended_old_ = 0;
  int ended_new_ = 0;
};

std::string* RestoreFaultTest::folder_ = nullptr;
fs::path* RestoreFaultTest::home_ = nullptr;
Files* RestoreFaultTest::old_ = nullptr;
Files* RestoreFaultTest::new_ = nullptr;
std::string* RestoreFaultTest::archive_ = nullptr;

TEST_F(RestoreFaultTest, ReplacingTablesLeavesTheOldSetOrTheNewAtEveryWriteAndFlush) {
  ASSERT_NE(*old_, *new_);
  AtEveryWriteAndFlush(*old_);
}

TEST_F(RestoreFaultTest, RestoringIntoAnEmptyFolderLeavesNothingOrEverything) {
  AtEveryWriteAndFlush(Files());
}

// A plan and a journal left by a stopped restore, as the next start meets
// them: a plan only is undone, a journal is finished.
TEST_F(RestoreFaultTest, TheNextStartUndoesAPlanAndFinishesAJournal) {
  env::FaultEnv env;
  Load(&env, *old_);
  const std::string plan =
      std::string("VORSANDT restore swap 1\nfile\tITEMS.QVF\n") + "file\tPOLICY.QVF\nend\n";
  env.SetContents(std::string("data/") + kPlanName, plan);
  env.SetContents("data/ITEMS.QVF.~restore", new_->at("ITEMS.QVF"));
  std::string what, error;
  ASSERT_TRUE(RecoverRestore(&env, "data", &what, &error)) << error;
  EXPECT_NE(what.find("undone"), std::string::npos) << what;
  EXPECT_EQ(DataFolder(&env), *old_);

  env.SetContents(std::string("data/") + kJournalName, plan);
  env.SetContents("data/ITEMS.QVF.~restore", new_->at("ITEMS.QVF"));
  env.SetContents("data/POLICY.QVF.~restore", new_->at("POLICY.QVF"));
  ASSERT_TRUE(RecoverRestore(&env, "data", &what, &error)) << error;
  EXPECT_NE(what.find("finished (2 of 2"), std::string::npos) << what;
  Files expected = *old_;
  expected["ITEMS.QVF"] = new_->at("ITEMS.QVF");
  expected["POLICY.QVF"] = new_->at("POLICY.QVF");
  EXPECT_EQ(DataFolder(&env), expected);

  // A journal naming a file outside the folder is refused, and acted on in
  // no part.
  env.SetContents(std::string("data/") + kJournalName,
                  "VORSANDT restore swap 1\nfile\tITEMS.QVF\nfile\t../x\nend\n");
  env.SetContents("data/ITEMS.QVF.~restore", "not a table");
  EXPECT_FALSE(RecoverRestore(&env, "data", &what, &error));
  EXPECT_NE(error.find("outside the data folder"), std::string::npos) << error;
  EXPECT_EQ(env.Contents("data/ITEMS.QVF"), new_->at("ITEMS.QVF"));
}

}  // namespace
}  // namespace vorsandt::backup
