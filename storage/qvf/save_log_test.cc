// A save whose second phase cannot finish: the save stands (it is committed
// in the log), and what finishes it is read from the file, never from what
// this handle remembers, since another handle may finish it first and save
// again on top of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "runtime/env/fault_env.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/container.h"
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
