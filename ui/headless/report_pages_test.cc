#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "runtime/files/error_state.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "report/report.h"
#include "report/report_images.h"
#include "ui/headless/headless_platform.h"

namespace vorsandt::ui::headless {
namespace {

constexpr char kDefinition[] = R"(resource: HREP01_RSC
id: TESTS$HREP01
structures:
  - report: ITEMS$REPORT
    at: [1000, 2000, 6000, 400]
    bands:
      - header:
        at: [1000, 1000, 6000, 300]
        controls:
          - string: "ITEMS \"ALL\""
      - detail:
        at: [default, default, default, 200]
        controls:
          - value: item
            picture: "@s20"
  - window: ITEMS$PROGRESSWINDOW
    caption: Progress
    timer: 1
    controls:
      - progress:
        use: bar
      - button: Cancel
)";

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

class HeadlessReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(set_.AddModule("reports", {{"reports.yaml", kDefinition}}).has_value());
  }

  // Runs the report over `items` the way a report procedure does: open,
  // preview queue, one detail band per item, end of the last page.
  std::unique_ptr<Report> Run(const std::vector<std::string>& items, PreviewQueue* queue) {
    auto report = Report::Create(engine_, "TESTS$HREP01", "ITEMS$REPORT");
    report->Bind("item", BindText(&item_));
    report->Open();
    report->SetPreview(queue);
    for (const std::string& item : items) {
      item_ = item;
      report->Print(1);
    }
    report->EndPage();
    return report;
  }

  HeadlessPlatform platform_;
  ResourceSet set_;
  Engine engine_{&platform_, &set_};
  std::string item_;
};

TEST_F(HeadlessReportTest, EachPageIsAMetafileNamedInTheQueueAndPrintsAsItsListing) {
  PreviewQueue queue;
  auto report = Run({"lamp", "chair", "desk"}, &queue);
  ASSERT_EQ(queue.size(), 2u) << "two 200-high bands per 400-high area";
  for (const std::string& name : queue) {
    EXPECT_EQ(name.substr(name.size() - 4), ".wmf");
    EXPECT_EQ(name.rfind(PageImageDirectory() + "/ZOR", 0), 0u);
  }
  EXPECT_TRUE(platform_.PrintJobs().empty());
  report->SetProperty(kPropFlushPreview, 1);
  // Positions in printer pixels (300 per inch); 10-point text is 42 high.
  const std::string head =
      "window 0,0 2550x3300\n"
      "window 0,0 2550x3300\n"
      "window 0,0 2550x3300\n"
      "text 300,300 \"ITEMS \\\"ALL\\\"\" font \"Sans Serif\" -42 400 colour 0x000000\n";
  EXPECT_EQ(platform_.PrintedPages(),
            (std::vector<std::string>{
                head + "text 300,600 \"lamp\" font \"Sans Serif\" -42 400 colour 0x000000\n"
                       "text 300,660 \"chair\" font \"Sans Serif\" -42 400 colour 0x000000\n",
                head + "text 300,600 \"desk\" font \"Sans Serif\" -42 400 colour 0x000000\n"}));
}

TEST_F(HeadlessReportTest, FlushPreviewRecordsOneJobWithTheListedPages) {
  PreviewQueue queue;
  auto report = Run({"a", "b", "c", "d", "e"}, &queue);
  ASSERT_EQ(queue.size(), 3u);
  report->SetProperty(kPropFlushPreview, 1);
  ASSERT_EQ(platform_.PrintJobs().size(), 1u);
  EXPECT_EQ(platform_.PrintJobs()[0], queue);
  EXPECT_EQ(files::Errors().Code(), 0);
  std::vector<std::string> names = queue;
  report->Close();
  for (const std::string& name : names) EXPECT_FALSE(Exists(name)) << name;
}

TEST_F(HeadlessReportTest, PrintingAMissingPageImageFailsWholeAndPostsThePrinterError) {
  PreviewQueue queue;
  auto report = Run({"a", "b", "c"}, &queue);
  queue.push_back(queue[0] + ".gone");
  report->SetProperty(kPropFlushPreview, 1);
  EXPECT_TRUE(platform_.PrintJobs().empty());
  EXPECT_EQ(files::Errors().Code(), kPrinterDeviceError);
  files::Errors().Clear();
}

// The way the report procedures use the engine: a progress window on a
// thread of its own prints a batch of records per timer event, then the last
// page is ended, the pages are flushed to the printer and the report closed.
TEST_F(HeadlessReportTest, ProcedureOnItsThreadPrintsInTimerBatchesAndFlushes) {
  PreviewQueue queue;
  std::vector<std::string> listed;
  std::vector<std::vector<std::string>> jobs;
  bool images_gone = false;
  engine_.StartMain([&] {
    int slot = engine_.Start(
        [&] {
          auto window = engine_.CreateWindow("TESTS$HREP01", "ITEMS$PROGRESSWINDOW");
          auto report = Report::Create(engine_, "TESTS$HREP01", "ITEMS$REPORT");
          std::string item;
          report->Bind("item", BindText(&item));
          int next = 0;
          constexpr int kRecords = 7;
          constexpr int kBatch = 3;
          window->Open();
          while (window->Accept()) {
            if (window->Event() == event::kOpenWindow) {
              report->Open();
              report->SetPreview(&queue);
            } else if (window->Event() == event::kTimer) {
              for (int i = 0; i < kBatch && next < kRecords; ++i) {
                item = "item " + std::to_string(++next);
                report->Print(1);
              }
              if (next == kRecords) window->Post(event::kCloseWindow);
            }
          }
          window->Close();
          report->EndPage();
          listed = queue;
          report->SetProperty(kPropFlushPreview, 1);
          jobs = platform_.PrintJobs();
          report->Close();
          images_gone = !listed.empty() && !Exists(listed.front()) && !Exists(listed.back());
        },
        25000);
    EXPECT_GT(slot, 0);
  });
  engine_.WaitForEnd();
  ASSERT_EQ(listed.size(), 4u) << "seven 200-high bands, two to a page";
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0], listed);
  EXPECT_TRUE(images_gone);
}

TEST_F(HeadlessReportTest, APageImageThatDoesNotPlayOrNoPrinterFailsTheWholeJob) {
  PreviewQueue queue;
  auto report = Run({"a", "b", "c"}, &queue);
  std::ofstream(queue[1], std::ios::trunc) << "not a metafile at all, but long enough";
  report->SetProperty(kPropFlushPreview, 1);
  EXPECT_TRUE(platform_.PrintJobs().empty());
  EXPECT_TRUE(platform_.PrintedPages().empty());
  EXPECT_EQ(files::Errors().Code(), kPrinterDeviceError);
  files::Errors().Clear();

  PreviewQueue good;
  auto second = Run({"x"}, &good);
  platform_.SetPrinterPresent(false);
  second->SetProperty(kPropFlushPreview, 1);
  EXPECT_EQ(files::Errors().Code(), kPrinterDeviceError);
  platform_.SetPrinterPresent(true);
  second->SetProperty(kPropFlushPreview, 1);
  EXPECT_EQ(files::Errors().Code(), 0);
  EXPECT_EQ(platform_.PrintedPages().size(), 1u);
}

}  // namespace
}  // namespace vorsandt::ui::headless
