#include "ui/engine/report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "runtime/files/error_state.h"
#include "ui/engine/engine.h"
#include "ui/engine/report_images.h"
#include "ui/engine/test_platform.h"

namespace vorsandt::ui {
namespace {

// A list report: a detail area 1000 high holding three 300-high detail bands
// per page, a page header with the title and the page number, a page footer
// and a form band with a frame.
constexpr char kReports[] = R"(resource: REPT01_RSC
id: TESTS$REPT01
structures:
  - report: LIST$REPORT
    at: [1000, 2000, 6000, 1000]
    bands:
      - header:
        at: [1000, 1000, 6000, 500]
        controls:
          - string: TITLE
            at: [100, 100, default, default]
          - value: PAGE:NUMBER
            picture: "@n3"
            at: [5000, 100, default, default]
      - detail:
        at: [default, default, default, 300]
        controls:
          - value: name
            picture: "@s10"
            at: [0, 0, default, default]
          - value: amount
            picture: "@n-10.2"
            at: [2000, 0, default, default]
      - footer:
        at: [1000, 9000, 6000, 200]
        controls:
          - string: LAST
          - value: name
            at: [1000, 0, default, default]
      - form:
        at: [500, 500, 7500, 10000]
        controls:
          - box:
            at: [0, 0, 7500, 10000]
  - window: LIST$PROGRESSWINDOW
  - report: GROUPS$REPORT
    at: [1000, 2000, 6000, 1000]
    bands:
      - break:
        use: company
        bands:
          - header:
            at: [default, default, default, 100]
            controls:
              - string: COMPANY
              - value: company
                at: [2000, 0, default, default]
          - break:
            use: policy
            bands:
              - header:
                at: [default, default, default, 100]
                controls:
                  - string: POLICY
                  - value: policy
                    at: [2000, 0, default, default]
              - detail:
                at: [500, default, default, 100]
                controls:
                  - value: item
              - footer:
                at: [default, default, default, 100]
                controls:
                  - string: END POLICY
                  - value: policy
                    at: [2000, 0, default, default]
          - footer:
            at: [default, default, default, 100]
            controls:
              - string: END COMPANY
              - value: company
                at: [2000, 0, default, default]
  - report: TOTALS$REPORT
    at: [1000, 2000, 6000, 600]
    bands:
      - break:
        use: policy
        bands:
          - header:
            at: [default, default, default, 100]
            controls:
              - value: policy
              - value: value
                total: count
                at: [3000, 0, default, default]
          - detail:
            at: [default, default, default, 100]
            controls:
              - value: item
              - value: value
                picture: "@n9.2"
                at: [2000, 0, default, default]
              - value: value
                total: sum
                picture: "@n9.2"
                at: [4000, 0, default, default]
          - footer:
            at: [default, default, default, 100]
            controls:
              - string: "VALUE OF ITEMS INSURED:"
              - value: value
                total: sum
                picture: "@N14.2"
                at: [3000, 0, default, default]
      - footer:
        at: [1000, 9000, 6000, 200]
        controls:
          - value: value
            total: sum
            picture: "@n9.2"
          - value: item
            total: count
            at: [3000, 0, default, default]
  - report: TALL$REPORT
    at: [1000, 2000, 6000, 1000]
    bands:
      - detail:
        at: [default, default, default, 2500]
        controls:
          - value: name
  - report: BARE$REPORT
    bands:
      - header:
        controls:
          - string: HEAD
      - detail:
        controls:
          - value: name
      - footer:
        controls:
          - string: FOOT
  - report: EMPTY$REPORT
    bands:
      - header:
        controls:
          - string: only a header
)";

// Keeps every rendered page, writes its text form like the headless
// platform, and records print jobs.
class ReportPlatform : public TestPlatform {
 public:
  std::optional<std::string> RenderPage(const Page& page, const std::string& stem) override {
    if (fail_render) return std::nullopt;
    pages.push_back(page);
    std::string path = stem + ".page";
    std::ofstream(path) << PageToText(page);
    return path;
  }
  bool PrintPages(const std::vector<std::string>& list) override {
    jobs.push_back(list);
    return print_ok;
  }
  int ShowMessage(const MessageRequest& request) override {
    std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
    return TestPlatform::ShowMessage(request);
  }

  std::vector<Page> pages;
  std::vector<std::vector<std::string>> jobs;
  bool fail_render = false;
  bool print_ok = true;
};

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The texts on a page, in drawing order.
std::vector<std::string> Texts(const Page& page) {
  std::vector<std::string> texts;
  for (const PageItem& item : page.items) {
    if (item.type == PageItem::Type::kText) texts.push_back(item.text);
  }
  return texts;
}

const PageItem* FindText(const Page& page, const std::string& text) {
  for (const PageItem& item : page.items) {
    if (item.type == PageItem::Type::kText && item.text == text) return &item;
  }
  return nullptr;
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(set_.AddModule("reports", {{"reports.yaml", kReports}}).has_value());
  }

  std::unique_ptr<Report> Make(const char* label) {
    auto report = Report::Create(engine_, "TESTS$REPT01", label);
    report->Bind("name", BindText(&name_));
    report->Bind("amount", BindReal(&amount_));
    return report;
  }

  // Prints one detail band per name (amounts 1, 2, 3, ...).
  void PrintNames(Report& report, const std::vector<std::string>& names, int band = 1) {
    for (size_t i = 0; i < names.size(); ++i) {
      name_ = names[i];
      amount_ = static_cast<double>(i + 1);
      report.Print(band);
    }
  }

  ReportPlatform platform_;
  ResourceSet set_;
  Engine engine_{&platform_, &set_};
  std::string name_;
  double amount_ = 0;
};

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
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "COMPANY",    "ACME",   "POLICY",      "P1",   "tv",         "radio",
                       "END POLICY", "P1",     "POLICY",      "P2",   "car",        "END POLICY",
                       "P2",         "END COMPANY", "ACME",   "COMPANY", "ZETA",    "POLICY",
                       "P2",         "boat",   "END POLICY",  "P2",   "END COMPANY", "ZETA"}));
  // The detail band is indented by its own x.
  EXPECT_EQ(FindText(platform_.pages[0], "tv")->x, 1500);
  // Nine bands are on the first page; the tenth would fit, but the new
  // company's header goes to the next page with its policy header and item.
  ASSERT_EQ(platform_.pages.size(), 2u);
  EXPECT_EQ(Texts(platform_.pages[0]).back(), "ACME");
  EXPECT_EQ(Texts(platform_.pages[1]).front(), "COMPANY");
  EXPECT_EQ(FindText(platform_.pages[1], "COMPANY")->y, 2000);
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
  // P2 footer does not fit and goes to page 2 with a page total of nothing.
  EXPECT_EQ(Texts(platform_.pages[0]),
            (std::vector<std::string>{"P1", "0", "a", "    10.25", "    10.25", "b",
                                      "    20.50", "    30.75", "VALUE OF ITEMS INSURED:",
                                      "         30.75", "P2", "0", "c", "   100.00", "   130.75",
                                      "   130.75", "3"}));
  EXPECT_EQ(Texts(platform_.pages[1]),
            (std::vector<std::string>{"VALUE OF ITEMS INSURED:", "        100.00", "     0.00",
                                      "0"}));

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

// --- The preview queue and printing --------------------------------------------

TEST_F(ReportTest, PreviewQueueNamesOnePageImagePerPageInOrder) {
  auto report = Make("LIST$REPORT");
  PreviewQueue queue;
  report->Open();
  report->SetPreview(&queue);
  EXPECT_EQ(report->GetNumber(kPropPreview), 1);
  PrintNames(*report, {"a", "b", "c", "d", "e", "f", "g"});
  EXPECT_EQ(queue.size(), 2u) << "a page is listed when it is finished";
  report->EndPage();
  ASSERT_EQ(queue.size(), 3u);
  EXPECT_TRUE(platform_.jobs.empty()) << "a previewed report prints nothing by itself";
  std::optional<std::string> folder = PageImageFolder();
  ASSERT_TRUE(folder.has_value());
  for (size_t i = 0; i < queue.size(); ++i) {
    SCOPED_TRACE(queue[i]);
    EXPECT_EQ(queue[i].rfind(*folder + "/ZOR", 0), 0u);
    EXPECT_LE(queue[i].size(), 80u) << "fits a queue entry";
    EXPECT_EQ(Slurp(queue[i]), PageToText(platform_.pages[i]));
    EXPECT_EQ(Slurp(queue[i]).rfind("page " + std::to_string(i + 1) + " LIST$REPORT", 0), 0u);
  }
  EXPECT_NE(queue[0], queue[1]);
  EXPECT_NE(queue[1], queue[2]);
}

TEST_F(ReportTest, FlushPreviewPrintsExactlyTheListedPages) {
  auto report = Make("LIST$REPORT");
  PreviewQueue queue;
  report->Open();
  report->SetPreview(&queue);
  PrintNames(*report, {"a", "b", "c", "d", "e", "f", "g"});
  report->EndPage();
  ASSERT_EQ(queue.size(), 3u);
  report->SetProperty(kPropFlushPreview, 0);
  EXPECT_TRUE(platform_.jobs.empty()) << "only 1 flushes";
  PreviewQueue listed = queue;
  queue.erase(queue.begin() + 1);  // the procedure may change its queue
  report->SetProperty(kPropFlushPreview, 1);
  ASSERT_EQ(platform_.jobs.size(), 1u);
  EXPECT_EQ(platform_.jobs[0], (std::vector<std::string>{listed[0], listed[2]}));
  EXPECT_EQ(files::Errors().Code(), 0);
}

TEST_F(ReportTest, FailedPrintPostsThePrinterErrorAndTheReportGoesOn) {
  platform_.print_ok = false;
  auto report = Make("LIST$REPORT");
  PreviewQueue queue;
  report->Open();
  report->SetPreview(&queue);
  PrintNames(*report, {"a"});
  report->EndPage();
  report->SetProperty(kPropFlushPreview, 1);
  EXPECT_EQ(files::Errors().Code(), kPrinterDeviceError);
  EXPECT_EQ(files::Errors().Text(), "Unexpected error opening printer device");
  report->Close();
  files::Errors().Clear();
}

TEST_F(ReportTest, WithoutAQueueThePagesArePrintedAsOneJobAtTheEnd) {
  auto report = Make("LIST$REPORT");
  report->Open();
  PrintNames(*report, {"a", "b", "c", "d"});
  EXPECT_TRUE(platform_.jobs.empty());
  report->EndPage();
  ASSERT_EQ(platform_.jobs.size(), 1u);
  EXPECT_EQ(platform_.jobs[0].size(), 2u);
  report->SetProperty(kPropFlushPreview, 1);
  EXPECT_EQ(platform_.jobs.size(), 1u) << "no queue, nothing to flush";
}

TEST_F(ReportTest, ClosingRemovesThePageImagesAndTheReportCanBeOpenedAgain) {
  auto report = Make("LIST$REPORT");
  PreviewQueue queue;
  report->Open();
  report->SetPreview(&queue);
  PrintNames(*report, {"a", "b", "c", "d"});
  report->EndPage();
  ASSERT_EQ(queue.size(), 2u);
  for (const std::string& name : queue) EXPECT_TRUE(Exists(name));
  report->Close();
  for (const std::string& name : queue) EXPECT_FALSE(Exists(name)) << name;
  EXPECT_EQ(report->state(), Report::State::kClosed);

  queue.clear();
  report->Open();
  PrintNames(*report, {"x"});
  report->EndPage();
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(platform_.pages.back().number, 1) << "page numbers start again";
  std::string last = queue[0];
  report.reset();  // destroying an open report closes it
  EXPECT_FALSE(Exists(last));
}

// --- Errors ----------------------------------------------------------------------

TEST_F(ReportTest, MissingWrongOrDetailLessDefinitionsAreTheRuntimeError) {
  EXPECT_EQ(Report::TryCreate(engine_, "TESTS$REPT01", "NOSUCH$REPORT"), nullptr);
  EXPECT_EQ(Report::TryCreate(engine_, "TESTS$REPT01", "LIST$PROGRESSWINDOW"), nullptr);
  EXPECT_EQ(Report::TryCreate(engine_, "TESTS$REPT01", "EMPTY$REPORT"), nullptr);
  EXPECT_EQ(Report::TryCreate(engine_, "TESTSREPT01", "LIST$REPORT"), nullptr);
  EXPECT_NE(Report::TryCreate(engine_, "tests$rept01", "LIST$REPORT"), nullptr);

  EXPECT_EXIT(Report::Create(engine_, "TESTS$REPT01", "NOSUCH$REPORT"),
              ::testing::ExitedWithCode(2),
              "\\[Runtime error\\] Unable to open WINDOW : TESTS\\$REPT01 NOSUCH\\$REPORT \\(no "
              "report definition\\)");
  EXPECT_EXIT(Report::Create(engine_, "TESTS$REPT01", "LIST$PROGRESSWINDOW"),
              ::testing::ExitedWithCode(2), "Unable to open WINDOW .*not a report");
  EXPECT_EXIT(Report::Create(engine_, "TESTS$REPT01", "EMPTY$REPORT"),
              ::testing::ExitedWithCode(2), "Unable to open WINDOW .*has no detail band");
}

TEST_F(ReportTest, OperationsOutOfOrderAreTheirRuntimeErrors) {
  auto report = Make("LIST$REPORT");
  EXPECT_EXIT(report->Print(1), ::testing::ExitedWithCode(2),
              "PRINT must only be called for reports : LIST\\$REPORT \\(the report is not open\\)");
  EXPECT_EXIT(report->EndPage(), ::testing::ExitedWithCode(2),
              "ENDPAGE must only be called for reports : LIST\\$REPORT");
  report->Open();
  EXPECT_EXIT(report->Open(), ::testing::ExitedWithCode(2),
              "Report is already open : LIST\\$REPORT");
  report->Close();
  EXPECT_EXIT(report->Print(1), ::testing::ExitedWithCode(2), "the report is not open");
}

TEST_F(ReportTest, PageImageThatCannotBeWrittenIsThePrinterError) {
  auto report = Make("LIST$REPORT");
  report->Open();
  PrintNames(*report, {"a", "b", "c"});
  platform_.fail_render = true;
  EXPECT_EXIT(PrintNames(*report, {"d"}), ::testing::ExitedWithCode(2),
              "Unexpected error opening printer device : LIST\\$REPORT \\(page 1: the page "
              "image cannot be written\\)");
}

}  // namespace
}  // namespace vorsandt::ui
