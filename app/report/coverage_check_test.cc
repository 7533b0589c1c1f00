#include "app/report/coverage_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/format/dates.h"

namespace vorsandt::app {
namespace {

const int32_t kToday = format::DateFromParts(6, 15, 2026);

CoveragePolicy Policy(std::string reference, int32_t expires, int64_t limit, int64_t cover) {
  CoveragePolicy p;
  p.reference = std::move(reference);
  p.insurer = "ALDER MUTUAL";
  p.start = kToday - 365;
  p.expires = expires;
  p.limit_cents = limit;
  p.cover_cents = cover;
  return p;
}

CoverageItem Item(int32_t code, std::string policy, int64_t cents, bool photo = true,
                  bool receipt = true) {
  return {code, "Thing " + std::to_string(code), std::move(policy), cents, photo, receipt};
}

std::vector<const ReportRow*> Band(const std::vector<ReportRow>& rows, int band) {
  std::vector<const ReportRow*> out;
  for (const ReportRow& row : rows) {
    if (row.band == band) out.push_back(&row);
  }
  return out;
}

TEST(CoverageRowsTest, NothingToCheckGivesAnEmptyReport) {
  EXPECT_TRUE(CoverageRows({}, {}, kToday).empty());
}

// The expiry remark at its edges, and a policy without an expiry date.
TEST(CoverageRowsTest, ExpiryRemarks) {
  const std::vector<std::pair<int32_t, std::string>> cases = {{kToday - 1, "EXPIRED"},
                                                              {kToday, "expires today"},
                                                              {kToday + 1, "expires in 1 day"},
                                                              {kToday + 30, "expires in 30 days"},
                                                              {kToday + 31, ""},
                                                              {0, "no expiry date"}};
  std::vector<CoveragePolicy> policies;
  for (size_t i = 0; i < cases.size(); ++i) {
    policies.push_back(Policy("P" + std::to_string(i), cases[i].first, 0, 0));
  }
  const std::vector<ReportRow> rows = CoverageRows(policies, {}, kToday);
  const auto heads = Band(rows, kCovPolicyBand);
  ASSERT_EQ(heads.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(heads[i]->values[kCovStatus], cases[i].second) << i;
  }
}

// Cover and limit: zero is "not stated", never a shortfall; a value equal to
// the cover is no shortfall, one cent more is; a price equal to the limit is
// not above it.
TEST(CoverageRowsTest, ShortfallAndLimitAgainstStatedFigures) {
  const std::vector<CoveragePolicy> policies = {
      Policy("EXACT", kToday + 100, 50000, 100000),
      Policy("SHORT", kToday + 100, 50000, 100000),
      Policy("OPEN", kToday + 100, 0, 0),
  };
  const std::vector<CoverageItem> items = {
      Item(1, "EXACT", 50000), Item(2, "exact ", 50000),  // case and blanks as the key
      Item(3, "SHORT", 50001), Item(4, "SHORT", 50000),  Item(5, "OPEN", 900000),
  };
  const std::vector<ReportRow> rows = CoverageRows(policies, items, kToday);
  const auto heads = Band(rows, kCovPolicyBand);
  ASSERT_EQ(heads.size(), 3u);
  EXPECT_EQ(heads[0]->values[kCovCount], "2");
  EXPECT_EQ(heads[0]->values[kCovShortfall], "none");
  EXPECT_EQ(heads[1]->values[kCovValue], "1,000.01");
  EXPECT_EQ(heads[1]->values[kCovShortfall], "0.01");
  EXPECT_EQ(heads[2]->values[kCovCover], "not stated");
  EXPECT_EQ(heads[2]->values[kCovShortfall], "not stated");
  EXPECT_EQ(heads[2]->values[kCovLimit], "not stated");
  const auto over = Band(rows, kCovOverLimitBand);
  ASSERT_EQ(over.size(), 1u);
  EXPECT_EQ(over[0]->values[kCovItemCode], "3");
  EXPECT_EQ(over[0]->values[kCovPrice], "500.01");
}

// Items naming no policy or an unknown one are listed with their total;
// items lacking a photograph or a receipt copy are listed whatever their
// policy, each once.
TEST(CoverageRowsTest, UninsuredAndUndocumentedItems) {
  const std::vector<CoverageItem> items = {Item(1, "", 1000), Item(2, "GONE", 2050, false, true),
                                           Item(3, "P", 100, true, false),
                                           Item(4, "P", 100, false, false), Item(5, "P", 100)};
  // No inventory check was ever made: one line says so, no item is listed.
  const std::vector<ReportRow> rows =
      CoverageRows({Policy("P", kToday + 100, 0, 0)}, items, kToday, false);
  const auto listed = Band(rows, kCovItemBand);
  std::vector<std::string> notes;
  for (const ReportRow* row : listed)
    notes.push_back(row->values[kCovItemCode] + " " + row->values[kCovNote]);
  EXPECT_EQ(notes,
            (std::vector<std::string>{"1 no policy", "2 no such policy", "2 no photograph",
                                      "3 no receipt copy", "4 no photograph, no receipt copy"}));
  const auto totals = Band(rows, kCovTotalBand);
  ASSERT_EQ(totals.size(), 3u);
  EXPECT_EQ(totals[0]->values[kCovHeading], "UNINSURED ITEMS: 2   VALUE:");
  EXPECT_EQ(totals[0]->values[kCovValue], "30.50");
  EXPECT_EQ(totals[1]->values[kCovHeading], "ITEMS A CLAIM WOULD STALL ON: 3");
  EXPECT_EQ(totals[2]->values[kCovHeading],
            "No inventory check has been made yet (Browse Files > Inventory Check).");
}

// Items seen 400 days ago and never are listed, never seen first; a year
// ago to the day and ten days ago are not.
TEST(CoverageRowsTest, ItemsNotSeenForOverAYear) {
  std::vector<CoverageItem> items = {Item(1, "P", 100), Item(2, "P", 100), Item(3, "P", 100),
                                     Item(4, "P", 100)};
  items[0].last_seen = kToday - 400;
  items[1].last_seen = kToday - 10;
  items[3].last_seen = kToday - 365;
  const std::vector<ReportRow> rows =
      CoverageRows({Policy("P", kToday + 100, 0, 0)}, items, kToday);
  size_t at = 0;
  while (at < rows.size() && rows[at].values[kCovHeading] != "ITEMS NOT SEEN FOR OVER A YEAR") ++at;
  ASSERT_LT(at + 3, rows.size());
  EXPECT_EQ(rows[at + 1].values[kCovItemCode] + " " + rows[at + 1].values[kCovNote],
            "3 never seen");
  EXPECT_EQ(rows[at + 2].values[kCovItemCode] + " " + rows[at + 2].values[kCovNote],
            "1 not seen for over a year: last seen 11/05/25");
  EXPECT_EQ(rows[at + 3].values[kCovHeading], "ITEMS NOT SEEN FOR OVER A YEAR: 2");
  EXPECT_EQ(rows.size(), at + 4);
}

}  // namespace
}  // namespace vorsandt::app
