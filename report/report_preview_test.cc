#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "runtime/files/error_state.h"
#include "report/report.h"
#include "report/report_images.h"
#include "report/report_test_support.h"

namespace vorsandt::ui {
namespace {

using report_test::Exists;
using report_test::ImageTexts;
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
  EXPECT_EQ(platform_.images, queue);
  for (size_t i = 0; i < queue.size(); ++i) {
    SCOPED_TRACE(queue[i]);
    EXPECT_EQ(queue[i].rfind(PageImageDirectory() + "/ZOR", 0), 0u);
    EXPECT_LE(queue[i].size(), 80u) << "fits a queue entry";
    EXPECT_EQ(ImageTexts(queue[i]), Texts(platform_.pages[i]));
    EXPECT_EQ(platform_.pages[i].number, static_cast<int>(i + 1));
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
  EXPECT_EQ(platform_.jobs[0][0], platform_.images[0]);
  EXPECT_EQ(queue[0], platform_.images[1]);
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

// --- Page image files -------------------------------------------------------------

class PageImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) saved_ = old;
    char pattern[] = "/tmp/vorsandt-zor-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::setenv("TMPDIR", (dir_ + "//").c_str(), 1);
  }
  void TearDown() override {
    if (saved_) {
      ::setenv("TMPDIR", saved_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
    ::rmdir(dir_.c_str());
  }
  std::string dir_;
  std::optional<std::string> saved_;
};

TEST_F(PageImageFileTest, NamesAreFreshPrivateFilesInTheTemporaryFolder) {
  EXPECT_EQ(PageImageDirectory(), dir_);
  std::vector<uint8_t> bytes{1, 2, 3};
  std::vector<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::optional<std::string> name = WritePageImage(bytes);
    ASSERT_TRUE(name.has_value());
    std::string base = name->substr(dir_.size() + 1);
    EXPECT_EQ(name->rfind(dir_ + "/ZOR", 0), 0u) << *name;
    EXPECT_EQ(base.size(), 3u + 6u + 4u) << base;
    EXPECT_EQ(base.substr(base.size() - 4), ".wmf");
    struct stat st;
    ASSERT_EQ(::stat(name->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "page images hold the user's data";
    EXPECT_EQ(ReadPageImage(*name), bytes);
    names.push_back(*name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  for (const std::string& name : names) EXPECT_TRUE(RemovePageImage(name));
  EXPECT_FALSE(RemovePageImage(names[0]));
}

TEST_F(PageImageFileTest, AMissingTemporaryFolderFailsWithoutAName) {
  ::setenv("TMPDIR", (dir_ + "/gone").c_str(), 1);
  EXPECT_EQ(WritePageImage({1, 2}), std::nullopt);
  EXPECT_EQ(ReadPageImage(dir_ + "/gone/ZORxxxxxx.wmf"), std::nullopt);
}

TEST_F(ReportTest, EveryPageImageIsAPlaceableMetafileOfTheLetterPage) {
  auto report = Make("LIST$REPORT");
  PreviewQueue queue;
  report->Open();
  report->SetPreview(&queue);
  PrintNames(*report, {"a", "b", "c", "d", "e"});
  report->EndPage();
  ASSERT_EQ(queue.size(), 2u);
  for (const std::string& name : queue) {
    std::optional<std::vector<uint8_t>> bytes = ReadPageImage(name);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_GE(bytes->size(), 22u);
    auto word = [&](size_t at) { return (*bytes)[at] | ((*bytes)[at + 1] << 8); };
    EXPECT_EQ(word(0) | (word(2) << 16), 0x9AC6CDD7u);
    EXPECT_EQ(word(4), 0);                    // handle
    EXPECT_EQ(word(6), 0);                    // left
    EXPECT_EQ(word(8), 0);                    // top
    EXPECT_EQ(word(10), 8500 * 300 / 1000);  // right: the page's width in printer pixels
    EXPECT_EQ(word(12), 11000 * 300 / 1000);
    EXPECT_EQ(word(14), 300);
    EXPECT_EQ(word(16) | word(18), 0);
    int sum = 0;
    for (size_t at = 0; at < 20; at += 2) sum ^= word(at);
    EXPECT_EQ(word(20), sum);
  }
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
  EXPECT_EXIT(
      {
        ::setenv("TMPDIR", "/nonexistent-vorsandt-folder", 1);
        PrintNames(*report, {"d"});
      },
      ::testing::ExitedWithCode(2),
      "Unexpected error opening printer device : LIST\\$REPORT \\(page 1: the page "
      "image cannot be written in /nonexistent-vorsandt-folder\\)");
}

}  // namespace
}  // namespace vorsandt::ui
