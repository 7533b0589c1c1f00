// The summary's sums and charts from records as the tables give them.
#include "app/summary/value_summary.h"

#include <gtest/gtest.h>

#include <numeric>

#include "runtime/format/dates.h"

namespace vorsandt::app {
namespace {

int32_t Day(int year, int month = 6, int day = 1) {
  return format::DateFromParts(month, day, year);
}

int64_t Sum(const std::vector<ValueGroup>& groups) {
  return std::accumulate(groups.begin(), groups.end(), int64_t{0},
                         [](int64_t s, const ValueGroup& g) { return s + g.cents; });
}

const std::vector<std::string> kLocations = {"Kitchen", "Loft", "Study"};
const std::vector<SummaryPolicy> kPolicies = {{"HC-1", 100000}, {"PP-2", 0}};
const std::vector<SummaryItem> kItems = {
    {"Kitchen", "HC-1", 60000, Day(2019)},
    {"KITCHEN  ", "hc-1", 50001, Day(2021)},
    {"Study", "PP-2", 2500, Day(2021)},
    {"Garage", "GONE-9", 1999, 0},
    {"", "", 100, Day(2022)},
};

TEST(ValueSummaryTest, GroupsAddUpToTheTotalInEveryChart) {
  const ValueSummary s = Summarize(kLocations, kPolicies, kItems);
  EXPECT_EQ(s.total_cents, 114600);
  EXPECT_EQ(s.count, 5);
  EXPECT_EQ(Sum(s.locations), s.total_cents);
  EXPECT_EQ(Sum(s.policies), s.total_cents);
  EXPECT_EQ(Sum(s.years), s.total_cents);
}

TEST(ValueSummaryTest, LocationsMostValuableFirstWithEmptyAndUnknownOnes) {
  const ValueSummary s = Summarize(kLocations, kPolicies, kItems);
  std::vector<std::string> labels;
  for (const ValueGroup& g : s.locations) labels.push_back(g.label);
  // Names meet without case or trailing blanks; the loft has nothing in it,
  // the garage is named by an item only.
  EXPECT_EQ(labels,
            (std::vector<std::string>{"Kitchen", "Study", "Garage", "(no location)", "Loft"}));
  EXPECT_EQ(s.locations[0].cents, 110001);
  EXPECT_EQ(s.locations[0].count, 2);
  EXPECT_TRUE(s.locations[0].on_file);
  EXPECT_FALSE(s.locations[2].on_file);
  EXPECT_EQ(s.locations[3].name, "");
  EXPECT_EQ(s.locations[4].count, 0);
}

TEST(ValueSummaryTest, PoliciesAgainstTheirCoverThenTheItemsNoPolicyOnFileCovers) {
  const ValueSummary s = Summarize(kLocations, kPolicies, kItems);
  ASSERT_EQ(s.policies.size(), 4u);
  EXPECT_EQ(s.policies[0].label, "HC-1");
  EXPECT_EQ(s.policies[0].cents, 110001);
  EXPECT_EQ(s.policies[0].cover_cents, 100000);
  EXPECT_EQ(s.policies[1].label, "PP-2");
  EXPECT_EQ(s.policies[2].label, "GONE-9 (not on file)");
  EXPECT_EQ(s.policies[2].name, "GONE-9");
  EXPECT_EQ(s.policies[3].label, "(no policy)");

  const ui::Chart chart = PolicyChart(s);
  ASSERT_EQ(chart.bars.size(), 4u);
  EXPECT_TRUE(chart.clickable);
  EXPECT_DOUBLE_EQ(chart.bars[0].value, 1100.01);
  EXPECT_DOUBLE_EQ(chart.bars[0].mark, 1000.0);
  EXPECT_EQ(chart.bars[0].value_text, "1,100.01");
  EXPECT_EQ(chart.bars[0].mark_text, "1,000.00");
  // A cover of zero is not stated: no mark, and so no shortfall either.
  EXPECT_LT(chart.bars[1].mark, 0);
  EXPECT_LT(chart.bars[2].mark, 0);

  const std::vector<std::string> lines = SummaryLines(s);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Total value 1,146.00 in 5 items");
  EXPECT_EQ(lines[1],
            "Not on a policy on file: 20.99 in 2 items; above the policies' total cover: 100.01");
}

TEST(ValueSummaryTest, EveryYearFromFirstToLastPurchaseThenTheUndated) {
  const ValueSummary s = Summarize(kLocations, kPolicies, kItems);
  std::vector<std::string> labels;
  for (const ValueGroup& g : s.years) labels.push_back(g.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"2019", "2020", "2021", "2022", "no date"}));
  EXPECT_EQ(s.years[0].cents, 60000);
  EXPECT_EQ(s.years[1].cents, 0);
  EXPECT_EQ(s.years[2].cents, 52501);
  EXPECT_EQ(s.years[2].count, 2);
  EXPECT_EQ(s.years[4].cents, 1999);
  const ui::Chart chart = YearChart(s);
  EXPECT_TRUE(chart.vertical);
  EXPECT_FALSE(chart.clickable);
  EXPECT_EQ(chart.bars[2].value_text, "525.01");
}

TEST(ValueSummaryTest, AnEmptyInventoryHasNoBarsButItsLocationsAndPolicies) {
  const ValueSummary s = Summarize(kLocations, kPolicies, {});
  EXPECT_EQ(s.total_cents, 0);
  EXPECT_EQ(s.locations.size(), 3u);
  EXPECT_EQ(s.policies.size(), 2u);
  EXPECT_TRUE(s.years.empty());
  EXPECT_EQ(SummaryLines(s)[0], "Total value 0.00 in 0 items");
}

TEST(ValueSummaryTest, LargeSumsStayExactInCents) {
  std::vector<SummaryItem> items(3000, SummaryItem{"Loft", "HC-1", 9999999, Day(2020)});
  const ValueSummary s = Summarize(kLocations, kPolicies, items);
  EXPECT_EQ(s.total_cents, int64_t{9999999} * 3000);
  EXPECT_EQ(MoneyText(s.total_cents), "299,999,970.00");
}

}  // namespace
}  // namespace vorsandt::app
