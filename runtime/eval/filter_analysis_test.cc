#include "runtime/eval/filter_analysis.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/eval/bind_table.h"
#include "runtime/eval/expression.h"

namespace vorsandt::eval {
namespace {

class FilterAnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearBindings();
    BindString("POL:INSURER_CODE", policy_.insurer, sizeof policy_.insurer);
    BindString("POL:POLICY_REFERENCE", policy_.reference, sizeof policy_.reference);
    BindString("INS:REFERENCE", insurer_.reference, sizeof insurer_.reference);
    BindLong("INS:COUNT", &insurer_.count);
  }
  void TearDown() override { ClearBindings(); }

  struct {
    char insurer[6];
    char reference[8];
  } policy_{};
  struct {
    char reference[6];
    int32_t count;
  } insurer_{};
};

TEST_F(FilterAnalysisTest, FindsPlainAndCaseFoldedFieldEqualities) {
  Expression e = Expression::Compile(
      "UPPER(POL:INSURER_CODE) = UPPER(INS:REFERENCE) AND (POL:INSURER_CODE = INS:REFERENCE)");
  ASSERT_TRUE(e.ok());
  std::vector<FieldEquality> found = FieldEqualities(*e.tree());
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].field->address, reinterpret_cast<uint8_t*>(policy_.insurer));
  EXPECT_TRUE(found[0].case_folded);
  EXPECT_EQ(PrintTree(*found[0].value), "UPPER(INS:REFERENCE)");
  EXPECT_EQ(found[1].field->address, reinterpret_cast<uint8_t*>(policy_.insurer));
  EXPECT_FALSE(found[1].case_folded);
  EXPECT_EQ(PrintTree(*found[1].value), "INS:REFERENCE");
}

TEST_F(FilterAnalysisTest, OnlyTopLevelConjunctsCount) {
  struct Case {
    const char* filter;
    size_t conjuncts;
    size_t equalities;
  };
  const Case cases[] = {
      {"POL:INSURER_CODE = 'A'", 1, 1},
      {"POL:INSURER_CODE = 'A' AND POL:POLICY_REFERENCE = 'B' AND INS:COUNT > 2", 3, 2},
      {"POL:INSURER_CODE = 'A' AND (POL:POLICY_REFERENCE = 'B' AND INS:COUNT = 2)", 3, 3},
      {"POL:INSURER_CODE = 'A' OR POL:POLICY_REFERENCE = 'B'", 1, 0},
      {"NOT POL:INSURER_CODE = 'A'", 1, 0},
      {"'A' = POL:INSURER_CODE", 1, 0},
      {"UPPER(POL:INSURER_CODE & 'X') = 'A'", 1, 0},
      {"LOWER(POL:INSURER_CODE) = 'a' AND 1", 2, 1},
  };
  for (const Case& c : cases) {
    Expression e = Expression::Compile(c.filter);
    ASSERT_TRUE(e.ok()) << c.filter;
    EXPECT_EQ(Conjuncts(*e.tree()).size(), c.conjuncts) << c.filter;
    EXPECT_EQ(FieldEqualities(*e.tree()).size(), c.equalities) << c.filter;
  }
}

TEST_F(FilterAnalysisTest, BufferLevelsDecideWhatIsKnown) {
  BufferLevels levels;
  levels.Add(reinterpret_cast<const uint8_t*>(&policy_), sizeof policy_, 0);
  levels.Add(reinterpret_cast<const uint8_t*>(&insurer_), sizeof insurer_, 1);
  Expression e = Expression::Compile("POL:INSURER_CODE = 'AB' AND INS:COUNT = 3");
  std::memcpy(policy_.insurer, "AB    ", 6);
  EXPECT_EQ(e.ThreeValued(0, &levels), kUndecided);
  insurer_.count = 3;
  EXPECT_EQ(e.ThreeValued(1, &levels), kTrue);
  std::memcpy(policy_.insurer, "XY    ", 6);
  EXPECT_EQ(e.ThreeValued(0, &levels), kFalse);
  levels.Clear();
  EXPECT_EQ(levels.LevelOf(reinterpret_cast<const uint8_t*>(&insurer_)), 0);
}

}  // namespace
}  // namespace vorsandt::eval
