#include <gtest/gtest.h>
#include <unistd.h>

#include "runtime/files/error_state.h"
#include "report/report.h"
#include "report/report_images.h"
#include "report/report_test_support.h"

namespace vorsandt::ui {
namespace {

using report_test::Exists;
using report_test::FindText;
using report_test::ReportTest;
using report_test::Slurp;
using report_test::Texts;

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

TEST_F(ReportTest, PagesFinishedBeforeTheQueueWasSetArePrintedAtTheEnd) {
  auto report = Make("LIST$REPORT");
  PreviewQueue queue;
  report->Open();
  PrintNames(*report, {"a", "b", "c", "d"});  // page 1 is finished
  report->SetPreview(&queue);
  PrintNames(*report, {"e", "f", "g"});
  report->EndPage();
  ASSERT_EQ(queue.size(), 2u);
  ASSERT_EQ(platform_.jobs.size(), 1u);
  ASSERT_EQ(platform_.jobs[0].size(), 1u);
  EXPECT_EQ(Slurp(platform_.jobs[0][0]).rfind("page 1 ", 0), 0u);
  EXPECT_EQ(Slurp(queue[0]).rfind("page 2 ", 0), 0u);
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

TEST(ReportImagesTest, AFolderRemovedDuringTheRunIsMadeAgain) {
  std::optional<std::string> folder = PageImageFolder();
  ASSERT_TRUE(folder.has_value());
  ASSERT_EQ(::rmdir(folder->c_str()), 0) << "every earlier report removed its images";
  std::optional<std::string> stem = NewPageImageStem();
  ASSERT_TRUE(stem.has_value());
  std::optional<std::string> again = PageImageFolder();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(stem->rfind(*again + "/ZOR", 0), 0u);
  EXPECT_TRUE(Exists(*again));
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
  EXPECT_EXIT(Report::Create(engine_, "TESTS$REPT01", "EMPTY$REPORT"), ::testing::ExitedWithCode(2),
              "Unable to open WINDOW .*has no detail band");
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
