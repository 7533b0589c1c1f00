// The report procedures on the engine over real tables, watched through the
// headless platform: the progress window's texts, Cancel while printing, an
// empty report, and what the preview receives.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/browse/browse_rows.h"
#include "app/dictionary/dictionary.h"
#include "app/report/report_procedure.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/engine.h"
#include "ui/engine/thread_codes.h"
#include "ui/headless/headless_platform.h"

namespace vorsandt::app {
namespace {

using namespace std::chrono_literals;

constexpr char kProgress[] = "MASTERINVENTORYPRINT$PROGRESSWINDOW";
constexpr char kPreview[] = "REPORTPREVIEW$PREVIEWWINDOW";

// Notes the progress window's captions and percentages; can press Cancel
// once the bar has moved, or Cancel or Print in the preview.
class WatchingPlatform : public ui::headless::HeadlessPlatform {
 public:
  void WindowOpened(const ui::WindowState& s) override {
    HeadlessPlatform::WindowOpened(s);
    Note(s, true);
  }
  void WindowChanged(const ui::WindowState& s) override {
    HeadlessPlatform::WindowChanged(s);
    Note(s, false);
  }

  ui::Engine* engine = nullptr;
  bool cancel_while_printing = false;
  const char* preview_button = "?Cancel";
  std::vector<std::string> captions;
  std::vector<std::string> percent_texts;
  int previews = 0;
  int last_bar = -1;
  std::string preview_pages;

 private:
  void Press(const ui::WindowState& s, const char* name) {
    ui::Input input;
    input.type = ui::Input::Type::kAccept;
    input.field = s.ControlNamed(name)->field;
    engine->Input(s.id, input);
  }
  void Note(const ui::WindowState& s, bool opened) {
    std::lock_guard<std::mutex> lock(mu_);
    if (s.label == kPreview) {
      if (opened) {
        ++previews;
        Press(s, preview_button);
      }
      auto zone = s.status.find(4);
      if (zone != s.status.end() && !zone->second.empty()) preview_pages = zone->second;
      return;
    }
    if (s.label != kProgress) return;
    if (captions.empty() || captions.back() != s.caption) captions.push_back(s.caption);
    const ui::ControlState* percent = s.ControlNamed("?PercentDone");
    if (percent != nullptr && !percent->text.empty() &&
        (percent_texts.empty() || percent_texts.back() != percent->text)) {
      percent_texts.push_back(percent->text);
    }
    const ui::ControlState* bar = s.ControlNamed("barValue");
    if (bar != nullptr) last_bar = bar->value;
    if (cancel_while_printing && !cancelled_ && bar != nullptr && bar->value > 0) {
      cancelled_ = true;
      Press(s, "?Cancel");
    }
  }
  std::mutex mu_;
  bool cancelled_ = false;
};

files::FieldInfo Field(const char* name) {
  files::FileRecord* t = nullptr;
  files::FieldInfo f;
  EXPECT_TRUE(FindTableField(name, &t, &f)) << name;
  return f;
}

class ReportRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitDictionary(&qvf::QvfEntry); }

  void SetUp() override {
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "report_run_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    std::filesystem::current_path(folder_);
    ::setenv("TMPDIR", folder_.c_str(), 1);
    platform_.engine = &engine_;
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(folder_);
    ::unsetenv("TMPDIR");
  }

  // `rows` records of `table`, each filled by `fill`.
  template <typename Fill>
  void Write(Table table, int rows, Fill fill) {
    files::FileRecord* file = File(table);
    std::vector<uint8_t> buffer(file->record_length);
    files::FileRecord loader(&qvf::QvfEntry, file->name, file->name_length,
                             files::kAttrCreate | files::kAttrDriverFlag02, file->record_length,
                             file->layout, file->layout_size, file->keys, file->key_count,
                             file->memos, file->memo_count, buffer.data());
    std::vector<files::FieldInfo> fields;
    files::ParseLayout({file->layout, file->layout_size}, &fields);
    files::Create(&loader);
    files::Open(&loader);
    ASSERT_EQ(files::Errors().Code(), 0);
    for (int i = 1; i <= rows; ++i) {
      views::ClearRecord(fields, buffer.data(), file->record_length);
      fill(i, buffer.data());
      files::Add(&loader);
      ASSERT_EQ(files::Errors().Code(), 0) << i;
    }
    files::Close(&loader);
  }

  // 2 locations and `items` items between them.
  void Household(int items) {
    Write(Table::kLocations, 2, [](int i, uint8_t* b) {
      views::StoreText(Field("LOC:LOCATION"), b, i == 1 ? "Attic" : "Study");
    });
    Write(Table::kItems, items, [](int i, uint8_t* b) {
      views::StoreNumber(Field("ITE:ITEM_CODE"), b, i);
      views::StoreText(Field("ITE:ITEM"), b, "item " + std::to_string(i));
      views::StoreText(Field("ITE:LOCATION"), b, i % 2 ? "Attic" : "Study");
    });
  }

  void Run() {
    ASSERT_TRUE(engine_.StartMain([this] {
      RunReport(ReportDefs()[0]);
      response_ = ui::ResponseCode();
    }));
    engine_.WaitForEnd();
  }

  std::filesystem::path old_, folder_;
  WatchingPlatform platform_;
  ui::Engine engine_{&platform_};
  int32_t response_ = -1;
};

int ImagesLeft(const std::filesystem::path& folder) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.path().filename().string().rfind("ZOR", 0) == 0) ++n;
  }
  return n;
}

TEST_F(ReportRunTest, MoreRowsThanLocationsReachOneHundredAndStayThere) {
  Household(120);
  platform_.preview_button = "?Print";
  Run();
  ASSERT_FALSE(platform_.captions.empty());
  EXPECT_EQ(platform_.captions.back(), "Generating Report");
  ASSERT_GE(platform_.percent_texts.size(), 2u);
  EXPECT_EQ(platform_.percent_texts.front(), "0% Completed");
  EXPECT_EQ(platform_.percent_texts.back(), "100% Completed")
      << "2 locations, 120 rows: 100 after the second row, and no further";
  EXPECT_EQ(platform_.last_bar, 100);
  EXPECT_EQ(platform_.previews, 1);
  ASSERT_EQ(platform_.PrintJobs().size(), 1u) << "Print prints every page of the queue";
  const size_t pages = platform_.PrintJobs()[0].size();
  EXPECT_GE(pages, 3u);
  EXPECT_EQ(platform_.preview_pages, "Page 1 of " + std::to_string(pages));
  EXPECT_EQ(response_, ui::response::kCompleted);
  EXPECT_EQ(ImagesLeft(folder_), 0) << "closing the report removes its page images";
}

TEST_F(ReportRunTest, CancelWhilePrintingEndsWithoutAPreview) {
  Household(300);
  platform_.cancel_while_printing = true;
  Run();
  EXPECT_EQ(platform_.previews, 0);
  EXPECT_TRUE(platform_.PrintJobs().empty());
  EXPECT_EQ(response_, ui::response::kCancelled);
  EXPECT_EQ(ImagesLeft(folder_), 0) << "the partly rendered pages are discarded";
}

TEST_F(ReportRunTest, CancelInThePreviewPrintsNothing) {
  Household(10);
  Run();
  EXPECT_EQ(platform_.previews, 1);
  EXPECT_EQ(platform_.preview_pages, "Page 1 of 1");
  EXPECT_TRUE(platform_.PrintJobs().empty());
  EXPECT_EQ(response_, ui::response::kCompleted) << "the report itself ran to its end";
}

TEST_F(ReportRunTest, AnEmptyReportClosesAtOnce) {
  Run();
  EXPECT_EQ(platform_.previews, 0);
  EXPECT_TRUE(platform_.PrintJobs().empty());
  EXPECT_EQ(response_, ui::response::kCancelled);
  EXPECT_EQ(ImagesLeft(folder_), 0);
}

}  // namespace
}  // namespace vorsandt::app
