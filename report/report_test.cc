#include "report/report.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "report/report_test_support.h"

namespace vorsandt::ui {
namespace {

using report_test::Exists;
using report_test::FindText;
using report_test::ReportTest;
using report_test::Slurp;
using report_test::Texts;

// --- Layout into pages -------------------------------------------------------

TEST_F(ReportTest, DetailBandsFillThePageThenANewPageStarts) {
  auto report = Make("LIST$REPORT");
  report->Open();
  PrintNames(*report, {"a", "b", "c", "d", "e", "f", "g"});
  EXPECT_EQ(report->PagesFinished(), 2) << "the third page is still open";
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 3u);
  const char* per_page[3][3] = {{"a", "b", "c"}, {"d", "e", "f"}, {"g", nullptr, nullptr}};
  for (int p = 0; p < 3; ++p) {
    const Page& page = platform_.pages[p];
    EXPECT_EQ(page.number, p + 1);
    for (int row = 0; row < 3; ++row) {
      if (per_page[p][row] == nullptr) continue;
      const PageItem* item = FindText(page, per_page[p][row]);
      ASSERT_NE(item, nullptr) << "page " << p + 1 << " row " << row;
      EXPECT_EQ(item->x, 1000);
      EXPECT_EQ(item->y, 2000 + 300 * row) << "bands follow each other down the area";
    }
  }
  EXPECT_EQ(FindText(platform_.pages[0], "d"), nullptr);
  EXPECT_EQ(FindText(platform_.pages[2], "f"), nullptr);
}

TEST_F(ReportTest, HeaderFooterAndFormAreOnEveryPage) {
  auto report = Make("LIST$REPORT");
  report->Open();
  PrintNames(*report, {"a", "b", "c", "d", "e", "f", "g"});
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 3u);
  const char* last_names[3] = {"c", "f", "g"};
  for (int p = 0; p < 3; ++p) {
    const Page& page = platform_.pages[p];
    SCOPED_TRACE(p + 1);
    // The form is drawn first, under everything else.
    ASSERT_FALSE(page.items.empty());
    EXPECT_EQ(page.items[0].type, PageItem::Type::kBox);
    EXPECT_EQ(page.items[0].x, 500);
    EXPECT_EQ(page.items[0].h, 10000);
    const PageItem* title = FindText(page, "TITLE");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->x, 1100);
    EXPECT_EQ(title->y, 1100);
    const PageItem* number = FindText(page, "  " + std::to_string(p + 1));
    ASSERT_NE(number, nullptr) << "the page number through @n3";
    EXPECT_EQ(number->x, 6000);
    const PageItem* last = FindText(page, "LAST");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->y, 9000);
    // The footer shows the last record printed on its page, not the record
    // that did not fit any more.
    std::vector<std::string> texts = Texts(page);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.back(), last_names[p]);
  }
}

TEST_F(ReportTest, VariableStringsAreFormattedWithTheirPictures) {
  auto report = Make("LIST$REPORT");
  report->Open();
  name_ = "Abcdefghijklmnop";
  amount_ = 1234.5;
  report->Print(1);
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 1u);
  const PageItem* name = FindText(platform_.pages[0], "Abcdefghij");
  ASSERT_NE(name, nullptr) << "@s10 cuts the name to ten characters";
  const PageItem* amount = FindText(platform_.pages[0], "  1,234.50");
  ASSERT_NE(amount, nullptr);
  EXPECT_EQ(amount->x, 3000);
  EXPECT_EQ(amount->y, 2000);
}

TEST_F(ReportTest, BandTallerThanTheAreaGetsAPageOfItsOwnAndPrintingGoesOn) {
  auto report = Report::Create(engine_, "TESTS$REPT01", "TALL$REPORT");
  report->Bind("name", BindText(&name_));
  report->Open();
  PrintNames(*report, {"a", "b", "c"});
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 3u);
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(Texts(platform_.pages[p]), (std::vector<std::string>{std::string(1, 'a' + p)}));
    EXPECT_EQ(platform_.pages[p].items[0].y, 2000);
  }
}

TEST_F(ReportTest, NotGivenBandPositionsUseMarginsAndFollowTheHeader) {
  auto report = Report::Create(engine_, "TESTS$REPT01", "BARE$REPORT");
  report->Bind("name", BindText(&name_));
  // One text line is 167 high: the header takes one line below the top
  // margin, the detail area follows it and ends one line above the footer,
  // which ends one inch above the paper's bottom.
  Rect area = report->DetailArea();
  EXPECT_EQ(area.x, 1000);
  EXPECT_EQ(area.y, 1167);
  EXPECT_EQ(area.w, 6500);
  EXPECT_EQ(area.h, 11000 - 1000 - 167 - 1167);
  report->Open();
  PrintNames(*report, {"a", "b"});
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 1u);
  const Page& page = platform_.pages[0];
  EXPECT_EQ(FindText(page, "HEAD")->y, 1000);
  EXPECT_EQ(FindText(page, "a")->y, 1167);
  EXPECT_EQ(FindText(page, "b")->y, 1167 + 167);
  EXPECT_EQ(FindText(page, "FOOT")->y, 11000 - 1000 - 167);
}

// The detail area runs down to 3000, but the page footer begins at 2700:
// a band goes on the page only when all it draws ends above the footer.
TEST_F(ReportTest, ABandThatWouldReachThePageFooterStartsTheNextPage) {
  auto report = Make("FOOTED$REPORT");
  report->Open();
  PrintNames(*report, {"a", "b", "c"});
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 2u);
  EXPECT_EQ(Texts(platform_.pages[0]), (std::vector<std::string>{"a", "b", "1"}));
  EXPECT_EQ(FindText(platform_.pages[1], "c")->y, 2000);
  // Band 2 is 200 high, but its text starts 150 down and is 167 high: the
  // third band would end at 2600, above the footer, but its text at 2717.
  platform_.pages.clear();
  report->Close();
  report->Open();
  PrintNames(*report, {"d", "e", "f"}, 2);
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 2u);
  EXPECT_EQ(Texts(platform_.pages[0]), (std::vector<std::string>{"d", "e", "1"}));
  for (const Page& page : platform_.pages) {
    const int32_t footer_top = 2700;
    for (const PageItem& item : page.items) {
      if (item.text == std::to_string(page.number)) continue;  // the footer's own
      EXPECT_LE(item.y + item.h, footer_top) << item.text << " on page " << page.number;
    }
  }
}

TEST_F(ReportTest, EndingWithNothingPrintedMakesNoPage) {
  auto report = Make("LIST$REPORT");
  PreviewQueue queue;
  report->Open();
  report->SetPreview(&queue);
  report->EndPage();
  EXPECT_TRUE(platform_.pages.empty());
  EXPECT_TRUE(queue.empty());
  EXPECT_TRUE(platform_.jobs.empty());
}

// --- Group breaks --------------------------------------------------------------

TEST_F(ReportTest, GroupBreaksPrintFootersInnermostFirstThenHeaders) {
  auto report = Report::Create(engine_, "TESTS$REPT01", "GROUPS$REPORT");
  std::string company, policy, item;
  EXPECT_EQ(report->Bind("company", BindText(&company)), 3) << "break and two strings";
  report->Bind("policy", BindText(&policy));
  report->Bind("item", BindText(&item));
  EXPECT_EQ(report->DetailBands(), std::vector<int>{3}) << "two breaks, then the detail band";
  report->Open();
  struct Row {
    const char* company;
    const char* policy;
    const char* item;
  };
  for (Row row : {Row{"ACME", "P1", "tv"}, Row{"ACME", "P1", "radio"}, Row{"ACME", "P2", "car"},
                  Row{"ZETA", "P2", "boat"}}) {
    company = row.company;
    policy = row.policy;
    item = row.item;
    report->Print(3);
  }
  report->EndPage();
  std::vector<std::string> texts;
  for (const Page& page : platform_.pages) {
    for (const std::string& t : Texts(page)) texts.push_back(t);
  }
  // A new company closes the policy group as well, even though the policy
  // reference stays the same; footers show the group's own values.
  EXPECT_EQ(texts,
            (std::vector<std::string>{
                "COMPANY",    "ACME",        "POLICY",     "P1",      "tv",          "radio",
                "END POLICY", "P1",          "POLICY",     "P2",      "car",         "END POLICY",
                "P2",         "END COMPANY", "ACME",       "COMPANY", "ZETA",        "POLICY",
                "P2",         "boat",        "END POLICY", "P2",      "END COMPANY", "ZETA"}));
  // The detail band is indented by its own x.
  EXPECT_EQ(FindText(platform_.pages[0], "tv")->x, 1500);
  // Nine bands are on the first page; the tenth would fit, but the new
  // company's header goes to the next page with its policy header and item.
  ASSERT_EQ(platform_.pages.size(), 2u);
  EXPECT_EQ(Texts(platform_.pages[0]).back(), "ACME");
  EXPECT_EQ(Texts(platform_.pages[1]).front(), "COMPANY");
  EXPECT_EQ(FindText(platform_.pages[1], "COMPANY")->y, 2000);
}

// Ten bands of 100 fill a page: the company and policy headers and eight
// items. The ninth item starts a page inside both groups, which repeats
// both headers, with the last item's values and "(continued)" after the
// group's own value.
TEST_F(ReportTest, APageThatBeginsInsideGroupsRepeatsTheirHeadersContinued) {
  auto report = Report::Create(engine_, "TESTS$REPT01", "GROUPS$REPORT");
  std::string company = "ACME", policy = "P1", item;
  report->Bind("company", BindText(&company));
  report->Bind("policy", BindText(&policy));
  report->Bind("item", BindText(&item));
  report->Open();
  for (int i = 1; i <= 9; ++i) {
    item = "i" + std::to_string(i);
    report->Print(3);
  }
  company = "ZETA";
  policy = "P9";
  item = "boat";
  report->Print(3);
  report->EndPage();
  ASSERT_GE(platform_.pages.size(), 2u);
  EXPECT_EQ(FindText(platform_.pages[0], std::string(kContinuedRemark)), nullptr);
  const Page& second = platform_.pages[1];
  std::vector<std::string> texts = Texts(second);
  ASSERT_GE(texts.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 7),
            (std::vector<std::string>{"COMPANY", "ACME", "(continued)", "POLICY", "P1",
                                      "(continued)", "i9"}));
  // The remark follows the group's value on its line, past the widest the
  // value could be drawn.
  const PageItem* acme = FindText(second, "ACME");
  const PageItem* remark = nullptr;
  for (const PageItem& it : second.items) {
    if (it.text == "(continued)") {
      remark = &it;
      break;
    }
  }
  ASSERT_NE(remark, nullptr);
  EXPECT_EQ(remark->y, acme->y);
  EXPECT_GT(remark->x, acme->x + TextWidth("ACME ", acme->font));
  EXPECT_LT(remark->x, acme->x + 2 * TextWidth("ACME ", acme->font));
  EXPECT_EQ(acme->y, 2000);
  EXPECT_EQ(FindText(second, "i9")->y, 2200);
  // A group that begins on the page gets its header once, not continued.
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "ZETA"), 2) << "header and footer";
}

// A header that would leave no room for the band that starts the page is
// left out there: the band goes to the top, above the end of the page.
TEST_F(ReportTest, ContinuedHeadersThatLeaveNoRoomForTheBandAreLeftOut) {
  auto report = Report::Create(engine_, "TESTS$REPT01", "BIGHEAD$REPORT");
  std::string company = "ACME", item;
  report->Bind("company", BindText(&company));
  report->Bind("item", BindText(&item));
  report->Open();
  for (const char* name : {"a", "b"}) {
    item = name;
    report->Print(2);
  }
  report->EndPage();
  // The header fills page 1 and its first band goes over: page 2 holds
  // both bands from the top, without the 800-high header again.
  ASSERT_EQ(platform_.pages.size(), 2u);
  EXPECT_EQ(Texts(platform_.pages[1]), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(FindText(platform_.pages[1], "a")->y, 2000);
}

TEST_F(ReportTest, TotalsCoverTheirGroupThePageOrTheWholeRun) {
  auto report = Report::Create(engine_, "TESTS$REPT01", "TOTALS$REPORT");
  std::string policy, item, value;
  report->Bind("policy", BindText(&policy));
  report->Bind("item", BindText(&item));
  report->Bind("value", BindText(&value));  // numbers held as text still add up
  report->Open();
  struct Row {
    const char* policy;
    const char* item;
    const char* value;
  };
  for (Row row : {Row{"P1", "a", "10.25"}, Row{"P1", "b", "20.50"}, Row{"P2", "c", "100"}}) {
    policy = row.policy;
    item = row.item;
    value = row.value;
    report->Print(2);
  }
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 2u);
  // Page 1: header P1 (count 0 before its first item), a, b, footer P1,
  // header P2, c; the page footer totals the three items on the page. The
  // P2 footer does not fit and goes to page 2 with a page total of nothing,
  // below P2's header (its count now 1) repeated as continued.
  EXPECT_EQ(Texts(platform_.pages[0]),
            (std::vector<std::string>{"P1", "0", "a", "    10.25", "    10.25", "b", "    20.50",
                                      "    30.75", "VALUE OF ITEMS INSURED:", "         30.75",
                                      "P2", "0", "c", "   100.00", "   130.75", "   130.75", "3"}));
  EXPECT_EQ(Texts(platform_.pages[1]),
            (std::vector<std::string>{"P2", "1", "(continued)", "VALUE OF ITEMS INSURED:",
                                      "        100.00", "     0.00", "0"}));

  // Opening the report again starts every total afresh.
  platform_.pages.clear();
  report->Close();
  report->Open();
  report->Print(2);
  report->EndPage();
  ASSERT_EQ(platform_.pages.size(), 1u);
  EXPECT_EQ(FindText(platform_.pages[0], "   130.75"), nullptr);
  EXPECT_NE(FindText(platform_.pages[0], "   100.00"), nullptr);
}

TEST_F(ReportTest, TotalOtherThanSumOrCountIsRefusedByTheDefinition) {
  const char* text = R"(resource: REPT02_RSC
id: TESTS$REPT02
structures:
  - report: BAD$REPORT
    bands:
      - detail:
        controls:
          - value: value
            total: average
)";
  ParseResult parsed = ParseDefinition(text, "bad.yaml");
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error->ToString(), "bad.yaml:9: REPT02_RSC: total: expected sum or count");
}

TEST_F(ReportTest, BandNumbersCountBreaksAndDetailBandsInOrder) {
  EXPECT_EQ(Make("LIST$REPORT")->DetailBands(), std::vector<int>{1});
  auto report = Make("GROUPS$REPORT");
  report->Open();
  for (int wrong : {1, 2, 4}) {
    EXPECT_EXIT(report->Print(wrong), ::testing::ExitedWithCode(2),
                "PRINT must only be called for reports : GROUPS\\$REPORT \\(band " +
                    std::to_string(wrong) + " is not a detail band\\)");
  }
}

}  // namespace
}  // namespace vorsandt::ui
