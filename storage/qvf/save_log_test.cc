// A save whose second phase cannot finish: the save stands (it is committed
// in the log), and what finishes it is read from the file, never from what
// this handle remembers, since another handle may finish it first and save
// again on top of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "runtime/env/fault_env.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/container.h"
#include "storage/qvf/save_log.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::AllEntries;
using testing::RecordInternalErrors;
using testing::WriteFile;

constexpr uint32_t kShared = Container::kShared;

// Phase 1 flushes twice (the log, then the commit); the third flush is the
// first of phase 2.
constexpr int kFirstPhase2Flush = 3;

bool Has(const std::vector<std::string>& entries, const std::string& e) {
  return std::find(entries.begin(), entries.end(), e) != entries.end();
}

class FailedPhase2 : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(&env_, "P.QVF", 400);
    ASSERT_EQ(a_.Open("P.QVF", kShared), 0);
    Tree tree(&a_);
    ASSERT_EQ(tree.Insert("a-first", 7), 0);
    const int64_t syncs = env_.Syncs();
    env_.FailSyncAt(kFirstPhase2Flush, EIO);
    // Committed: the save is durable although its copy home failed.
    ASSERT_EQ(a_.Save(), 0);
    ASSERT_EQ(env_.Syncs() - syncs, kFirstPhase2Flush);
    env_.ClearFaults();
  }

  env::FaultEnv env_;
  Container a_{&env_};
};

TEST_F(FailedPhase2, AnotherWriterFinishesItAndItsOwnSaveIsNotOverwritten) {
  RecordInternalErrors errors;
  {
    // Another handle (another process, once the first let the lock go)
    // finds the committed log, copies it home and saves on top of it.
    Container b(&env_);
    ASSERT_EQ(b.Open("P.QVF", kShared), 0);
    EXPECT_TRUE(Has(AllEntries(&b), "a-first"));
    Tree tree(&b);
    ASSERT_EQ(tree.Insert("b-second", 8), 0);
    ASSERT_EQ(b.Close(), 0);
  }
  // The first handle's next operation starts with a refresh, as the
  // driver's do, and saves again.
  ASSERT_EQ(a_.Refresh(), 0);
  Tree tree(&a_);
  ASSERT_EQ(tree.Insert("a-third", 7), 0);
  ASSERT_EQ(a_.Close(), 0);

  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(&env_, "P.QVF", &faults)) << (faults.empty() ? "" : faults[0]);
  Container reader(&env_);
  ASSERT_EQ(reader.Open("P.QVF", Container::kReadOnly), 0);
  const std::vector<std::string> entries = AllEntries(&reader);
  EXPECT_TRUE(Has(entries, "a-first"));
  EXPECT_TRUE(Has(entries, "b-second"));
  EXPECT_TRUE(Has(entries, "a-third"));
  EXPECT_EQ(entries.size(), 403u);
  EXPECT_TRUE(errors.checks.empty());
}

TEST_F(FailedPhase2, TheSameHandleCopiesTheLogHomeFromTheFileAtItsNextSave) {
  RecordInternalErrors errors;
  // Nothing is left to write from memory: the pages come through the log.
  EXPECT_EQ(a_.dirty_pages(), 0u);
  ASSERT_EQ(a_.Refresh(), 0);
  EXPECT_TRUE(Has(AllEntries(&a_), "a-first"));
  Tree tree(&a_);
  ASSERT_EQ(tree.Insert("a-fourth", 8), 0);
  ASSERT_EQ(a_.Close(), 0);

  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(&env_, "P.QVF", &faults)) << (faults.empty() ? "" : faults[0]);
  Container reader(&env_);
  ASSERT_EQ(reader.Open("P.QVF", Container::kReadOnly), 0);
  EXPECT_FALSE(reader.header().LogPending());
  const std::vector<std::string> entries = AllEntries(&reader);
  EXPECT_TRUE(Has(entries, "a-first"));
  EXPECT_TRUE(Has(entries, "a-fourth"));
  EXPECT_EQ(entries.size(), 402u);
  EXPECT_TRUE(errors.checks.empty());
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

// A header whose region of one-unit pages holds `units` pages.
FileHeader HeaderWithUnits(uint32_t units) {
  FileHeader h;
  h.start[1] = 0;
  h.end[1] = units;
  return h;
}

TEST(SaveLogOrder, EachStageAllowsOnlyItsWrites) {
  SaveLog log;
  const FileHeader before = HeaderWithUnits(64);
  log.Begin(before);
  const uint64_t old_end = before.EndOfData();
  EXPECT_FALSE(log.WriteAllowed(old_end));  // idle: nothing
  log.StartLogging(old_end);
  EXPECT_TRUE(log.WriteAllowed(old_end));
  EXPECT_FALSE(log.WriteAllowed(old_end - kUnitSize));
  EXPECT_FALSE(log.WriteAllowed(0));
  log.set_stage(SaveLog::Stage::kCommitting);
  EXPECT_TRUE(log.WriteAllowed(0));
  EXPECT_FALSE(log.WriteAllowed(old_end));
  log.Committed(before);
  EXPECT_FALSE(log.WriteAllowed(0));
  log.set_stage(SaveLog::Stage::kApplying);
  EXPECT_TRUE(log.WriteAllowed(kHeaderSize));
}

TEST(SaveLogRuns, NeighboursAtHomeGoOutAsOneRunAndReadThroughFindsEveryImage) {
  SaveLog log;
  const FileHeader before = HeaderWithUnits(64);
  log.Begin(before);
  const uint64_t start = before.EndOfData();
  log.StartLogging(start);
  const std::string a(kUnitSize, 'a'), b(2 * kUnitSize, 'b'), c(kUnitSize, 'c');
  const uint64_t home_a = kHeaderSize, home_b = home_a + a.size(), home_c = 40 * kUnitSize;
  ASSERT_TRUE(log.Logs(home_c));
  EXPECT_EQ(log.Add(home_a, a, false), 0);
  EXPECT_EQ(log.Add(home_b, b, false), 0);
  EXPECT_EQ(log.Add(home_c, c, false), 0);
  EXPECT_FALSE(log.RunFull(kUnitSize));
  EXPECT_EQ(log.LastRun().at, start);
  EXPECT_EQ(log.LastRun().bytes, a + b + c);
  log.AddHeader();
  FileHeader committed = before;
  committed.log_start = static_cast<uint32_t>(start);
  committed.log_end = static_cast<uint32_t>(log.end());
  log.Committed(committed);

  const std::vector<SaveLog::Run> home = log.HomeRuns();
  ASSERT_EQ(home.size(), 2u);
  EXPECT_EQ(home[0].at, home_a);
  EXPECT_EQ(home[0].bytes, a + b);
  EXPECT_EQ(home[1].at, home_c);
  EXPECT_EQ(home[1].bytes, c);

  std::map<uint32_t, uint64_t> relocated;
  log.ReadThrough(&relocated);
  EXPECT_EQ(relocated.at(home_a), start);
  EXPECT_EQ(relocated.at(home_b), start + a.size());
  EXPECT_EQ(relocated.at(home_c), start + a.size() + b.size());
  EXPECT_EQ(relocated.at(0), start + a.size() + b.size() + c.size());
  log.Drop();
  EXPECT_TRUE(log.HomeRuns().empty());
  EXPECT_EQ(log.stage(), SaveLog::Stage::kIdle);
}

TEST(SaveLogRuns, AFullRunIsCompleteBeforeTheNextImageStartsAnother) {
  SaveLog log;
  log.Begin(HeaderWithUnits(4096));
  log.StartLogging(HomeAddress(4096));
  const std::string image(kMaxPageSize / kUnitSize * kUnitSize, 'p');
  size_t images = 0;
  while (!log.RunFull(image.size())) {
    ASSERT_EQ(log.Add(kHeaderSize + images * image.size(), image, true), 0);
    ++images;
  }
  const SaveLog::Run full = log.LastRun();
  EXPECT_EQ(full.bytes.size(), images * image.size());
  EXPECT_LE(full.bytes.size(), kRunLimit);
  ASSERT_EQ(log.Add(kHeaderSize + images * image.size(), image, true), 0);
  EXPECT_EQ(log.LastRun().at, full.at + full.bytes.size());
  EXPECT_EQ(log.LastRun().bytes.size(), image.size());
}

}  // namespace
}  // namespace vorsandt::qvf
