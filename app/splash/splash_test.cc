#include "app/splash/splash.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"

namespace vorsandt::app {
namespace {

using namespace std::chrono_literals;

TEST(ShownLine, DropsTrailingBlanksAndTheCarriageReturnOfCrLf) {
  const struct {
    std::string record, shown;
  } cases[] = {
      {"Hello" + std::string(250, ' '), "Hello"},
      {"Hello\r" + std::string(249, ' '), "Hello"},
      {"Hello  \r   ", "Hello"},
      {"\r   ", ""},
      {std::string(255, ' '), ""},
      {"", ""},
      {"  indented", "  indented"},
      {"a\rb  ", "a\rb"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShownLine(c.record), c.shown) << c.shown;
}

TEST(PercentDone, WholePercentAtMost100) {
  EXPECT_EQ(PercentDone(0, 1000), 0);
  EXPECT_EQ(PercentDone(9, 1000), 0);
  EXPECT_EQ(PercentDone(500, 1000), 50);
  EXPECT_EQ(PercentDone(999, 1000), 99);
  EXPECT_EQ(PercentDone(1000, 1000), 100);
  EXPECT_EQ(PercentDone(1200, 1000), 100);
  // No overflow for files of gigabytes.
  EXPECT_EQ(PercentDone(4000000000u, 4000000000u), 100);
  EXPECT_EQ(PercentDone(2000000000u, 4000000000u), 50);
}

// The headless platform, noting what the progress window showed, and able to
// press Cancel once the first lines are in.
class RecordingPlatform : public ui::headless::HeadlessPlatform {
 public:
  void WindowOpened(const ui::WindowState& s) override {
    HeadlessPlatform::WindowOpened(s);
    Note(s);
  }
  void WindowChanged(const ui::WindowState& s) override {
    HeadlessPlatform::WindowChanged(s);
    Note(s);
  }

  ui::Engine* engine = nullptr;
  bool cancel_after_first_cycle = false;
  std::vector<std::string> captions;
  std::vector<std::string> percent_texts;  // each change
  int last_bar = -1;
  int progress_opened = 0;

 private:
  void Note(const ui::WindowState& s) {
    if (s.label != kProgressLabel) return;
    std::lock_guard<std::mutex> lock(mu_);
    if (captions.empty() || captions.back() != s.caption) captions.push_back(s.caption);
    const ui::ControlState* percent = s.ControlNamed("?PercentDone");
    if (percent != nullptr && !percent->text.empty() &&
        (percent_texts.empty() || percent_texts.back() != percent->text)) {
      percent_texts.push_back(percent->text);
    }
    const ui::ControlState* bar = s.ControlNamed("barValue");
    if (bar != nullptr) last_bar = bar->value;
    if (cancel_after_first_cycle && !cancel_sent_ && bar != nullptr && bar->value > 0) {
      cancel_sent_ = true;
      ui::Input cancel;
      cancel.type = ui::Input::Type::kAccept;
      cancel.field = s.ControlNamed("?Cancel")->field;
      engine->Input(s.id, cancel);
    }
  }
  std::mutex mu_;
  bool cancel_sent_ = false;
};

class SplashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_dir_ = std::filesystem::current_path();
    char pattern[] = "/tmp/vorsandt_splash_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::current_path(dir_);
    platform_.engine = &engine_;
  }
  void TearDown() override {
    std::filesystem::current_path(old_dir_);
    std::filesystem::remove_all(dir_);
  }

  // Lines of about 60 bytes with CR LF ends.
  static std::vector<std::string> WriteReadme(int count) {
    std::vector<std::string> lines;
    std::ofstream out("README.TXT", std::ios::binary);
    for (int i = 1; i <= count; ++i) {
      lines.push_back("Line " + std::to_string(i) + " of the welcome text, read line by line.");
      out << lines.back() << "\r\n";
    }
    return lines;
  }

  // Starts Splash and waits until it waits for the user.
  void Start() {
    ASSERT_TRUE(engine_.StartMain([] { Splash(); }));
    ASSERT_TRUE(engine_.WaitIdle(60s));
  }
  ui::WindowState SplashWindow() {
    for (const ui::WindowState& w : platform_.Windows()) {
      if (w.label == kSplashLabel) return w;
    }
    ADD_FAILURE() << "no splash window";
    return {};
  }
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    ui::WindowState window = SplashWindow();
    for (const ui::ListRow& r : window.ControlNamed("textLines")->rows) {
      rows.push_back(r.cells.empty() ? std::string() : r.cells[0]);
    }
    return rows;
  }
  void Send(ui::Input::Type type, int field = 0) {
    ui::Input input;
    input.type = type;
    input.field = field;
    engine_.Input(SplashWindow().id, input);
    ASSERT_TRUE(engine_.WaitIdle(60s));
  }
  void Continue() {
    Send(ui::Input::Type::kAccept, SplashWindow().ControlNamed("?Continue")->field);
    engine_.WaitForEnd();
  }

  std::filesystem::path old_dir_, dir_;
  RecordingPlatform platform_;
  ui::Engine engine_{&platform_};
};

TEST_F(SplashTest, LongFileIsReadOverSeveralCyclesUpTo100Percent) {
  std::vector<std::string> lines = WriteReadme(2000);  // about 120000 bytes
  Start();
  EXPECT_EQ(Rows(), lines);
  EXPECT_FALSE(SplashWindow().ControlNamed("textLines")->disabled);
  EXPECT_EQ(platform_.captions.back(), "Reading File");
  ASSERT_GE(platform_.percent_texts.size(), 3u);  // 0%, at least one step, 100%
  EXPECT_EQ(platform_.percent_texts.front(), "0% Completed");
  EXPECT_EQ(platform_.percent_texts.back(), "100% Completed");
  EXPECT_EQ(platform_.last_bar, 100);
  EXPECT_TRUE(platform_.Messages().empty());
  Continue();
}

TEST_F(SplashTest, CancelAnsweredYesKeepsTheLinesReadSoFar) {
  std::vector<std::string> lines = WriteReadme(40000);  // about 2.4 MB, over 100 cycles
  platform_.cancel_after_first_cycle = true;
  platform_.QueueMessageAnswer(ui::button::kOk);
  Start();
  ASSERT_EQ(platform_.Messages().size(), 1u);
  EXPECT_EQ(platform_.Messages()[0].text, "Are you certain you want to stop loading README.TXT?");
  EXPECT_EQ(platform_.Messages()[0].caption, "Cancel Request");
  std::vector<std::string> rows = Rows();
  ASSERT_GT(rows.size(), 0u);
  ASSERT_LT(rows.size(), lines.size());
  EXPECT_TRUE(std::equal(rows.begin(), rows.end(), lines.begin()));
  EXPECT_LT(platform_.last_bar, 100);
  Continue();
}

TEST_F(SplashTest, UnreadableReadmeShowsFileLoadErrorAndDisablesTheList) {
  std::filesystem::create_directory("README.TXT");
  Start();
  ASSERT_EQ(platform_.Messages().size(), 1u);
  EXPECT_EQ(platform_.Messages()[0].caption, "File Load Error");
  EXPECT_EQ(platform_.Messages()[0].text.rfind("README.TXT File Load Error.  Error: ", 0), 0u)
      << platform_.Messages()[0].text;
  EXPECT_TRUE(SplashWindow().ControlNamed("textLines")->disabled);
  EXPECT_TRUE(Rows().empty());
  Continue();
}

}  // namespace
}  // namespace vorsandt::app
