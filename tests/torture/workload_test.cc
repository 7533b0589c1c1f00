// The journal and the model the checker judges the files by: if these were
// wrong, every torture run would check against the wrong expectation.
#include "tests/torture/workload.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vorsandt::torture {
namespace {

using app::Table;

TEST(TortureSteps, ParseAcceptsWhatFormatWritesAndRejectsBrokenLines) {
  Step step;
  step.number = 12;
  step.ops = {{Kind::kAdd, Table::kCompanies, 8, 0}, {Kind::kPut, Table::kLocations, 4, 3}};
  Step back;
  ASSERT_TRUE(ParseStep(FormatStep(step), &back));
  EXPECT_EQ(back.number, 12);
  ASSERT_EQ(back.ops.size(), 2u);
  EXPECT_EQ(back.ops[1].kind, Kind::kPut);
  EXPECT_EQ(back.ops[1].table, Table::kLocations);
  EXPECT_EQ(back.ops[1].number, 4);
  EXPECT_EQ(back.ops[1].version, 3);

  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"1 1 a 0 5 0", true},
      {"1 1 d 3 5 2", true},
      {"1 0", false},           // no operation
      {"1 2 a 0 5 0", false},   // fewer operations than announced
      {"1 1 x 0 5 0", false},   // unknown kind
      {"1 1 a 99 5 0", false},  // no such table
      {"1 1 a 0 5", false},     // cut short
      {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseStep(c.text, &back), c.ok) << c.text;
  }
}

TEST(TortureSteps, ApplyAddsRewritesAndDeletes) {
  Model model;
  Apply({1, {{Kind::kAdd, Table::kClaim, 7, 0}}}, &model);
  Apply({2, {{Kind::kPut, Table::kClaim, 7, 1}, {Kind::kAdd, Table::kLocations, 8, 0}}}, &model);
  EXPECT_EQ(model.at({static_cast<int>(Table::kClaim), 7}), 1);
  EXPECT_EQ(model.size(), 2u);
  Apply({3, {{Kind::kDelete, Table::kClaim, 7, 1}}}, &model);
  EXPECT_EQ(model.count({static_cast<int>(Table::kClaim), 7}), 0u);
  EXPECT_EQ(model.size(), 1u);
}

TEST(TortureSteps, NextStepNeverReusesANumberAndStaysInItsShare) {
  std::mt19937 random(5);
  Model model;
  int next = 2001;
  // Long enough to use up the share's thousand numbers.
  int steps = 0;
  for (int s = 1; s <= 20000; ++s) {
    Step step = NextStep(&random, model, s, 2001, &next, true);
    if (step.ops.empty()) {
      ASSERT_TRUE(model.empty()) << "the workload ended with records left";
      break;
    }
    ++steps;
    for (const SubOp& op : step.ops) {
      ASSERT_GE(op.number, 2001);
      ASSERT_LT(op.number, 3000);
      auto key = std::make_pair(static_cast<int>(op.table), op.number);
      if (op.kind == Kind::kAdd) {
        ASSERT_EQ(model.count(key), 0u) << "number " << op.number << " reused";
      } else {
        ASSERT_EQ(model.count(key), 1u);
        ASSERT_EQ(op.version, model.at(key) + (op.kind == Kind::kPut ? 1 : 0));
      }
    }
    Apply(step, &model);
  }
  EXPECT_GT(next, 2900);  // the share was used up
  EXPECT_GT(steps, 1000);
}

class TortureJournal : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ =
        (std::filesystem::temp_directory_path() / ("torture_journal_" + std::to_string(getpid())))
            .string();
    std::remove(path_.c_str());
  }
  void TearDown() override { std::remove(path_.c_str()); }
  void Write(const std::string& text) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
  }
  std::string path_;
};

TEST_F(TortureJournal, ReportedStepsCountAndTheLastBegunOneIsPending) {
  Write("created\nbegin 1 1 a 0 1 0\nok 1\nbegin 2 1 a 4 2 0\nfail 2 329\nbegin 3 1 p 0 1 1\n");
  JournalState state;
  std::string why;
  ASSERT_TRUE(ReadJournal(path_, &state, &why)) << why;
  EXPECT_TRUE(state.created);
  EXPECT_FALSE(state.ended);
  EXPECT_EQ(state.reported, 1);
  EXPECT_EQ(state.model.size(), 1u);  // the failed add is not in the model
  ASSERT_EQ(state.failures.size(), 1u);
  EXPECT_EQ(state.failures[0].second, 329);
  ASSERT_TRUE(state.has_pending);
  EXPECT_EQ(state.pending.number, 3);
}

TEST_F(TortureJournal, ALineCutByTheKillIsIgnored) {
  Write("created\nbegin 1 1 a 0 1 0\nok 1\nbegin 2 1 a");
  JournalState state;
  std::string why;
  ASSERT_TRUE(ReadJournal(path_, &state, &why)) << why;
  EXPECT_EQ(state.reported, 1);
  EXPECT_FALSE(state.has_pending);
}

TEST_F(TortureJournal, BrokenJournalsAreRejected) {
  for (const char* text :
       {"created\nok 1\n",                     // ok without begin
        "created\nbegin 1 1 a 0 1 0\nok 2\n",  // ok of another step
        "created\nbegin 1 1 a 0 1 0\nbegin 2 1 a 0 2 0\n", "created\nsomething else\n"}) {
    Write(text);
    JournalState state;
    std::string why;
    EXPECT_FALSE(ReadJournal(path_, &state, &why)) << text;
  }
  JournalState state;
  std::string why;
  std::remove(path_.c_str());
  EXPECT_FALSE(ReadJournal(path_, &state, &why));
}

}  // namespace
}  // namespace vorsandt::torture
