#include "app/frame/main_frame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "ui/engine/resource_set.h"
#include "ui/engine/thread_codes.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/script_session.h"

namespace vorsandt::app {
namespace {

int registered_calls = 0;
void RegisteredByMacro() { ++registered_calls; }
VORSANDT_PROCEDURE(RegisteredByMacro);

// Runs before the fixture's tests clear the table.
TEST(ProcedureRegistrarTest, MacroRegistersAtStart) {
  ui::Procedure p = Procedures().Find("RegisteredByMacro");
  ASSERT_TRUE(static_cast<bool>(p));
  p();
  EXPECT_EQ(registered_calls, 1);
  EXPECT_FALSE(static_cast<bool>(Procedures().Find("NoSuchProcedure")));
}

constexpr char kTestProcedures[] = R"(resource: TESTPROC_RSC
id: TESTS$TESTPROC
structures:
  - window: TESTBROWSE$WINDOW
    caption: Test browse
    child: true
    controls:
      - button: Close
)";

// The program's definitions, with the frame's text changed by `edit`.
std::vector<ui::EmbeddedDefinition> DefinitionsWithFrame(
    std::string* frame, const std::function<void(std::string&)>& edit) {
  std::vector<ui::EmbeddedDefinition> definitions = ui::EmbeddedDefinitions();
  for (ui::EmbeddedDefinition& d : definitions) {
    if (std::string_view(d.file).ends_with("zelta001.yaml")) {
      *frame = d.text;
      edit(*frame);
      d.text = frame->c_str();
    }
  }
  return definitions;
}

// Swaps the numbers of two lines "number: N" of a definition's text.
void SwapNumbers(std::string& text, int a, int b) {
  const std::string line_a = "number: " + std::to_string(a) + "\n";
  const std::string line_b = "number: " + std::to_string(b) + "\n";
  const size_t at_a = text.find(line_a);
  const size_t at_b = text.find(line_b);
  ASSERT_NE(at_a, std::string::npos);
  ASSERT_NE(at_b, std::string::npos);
  // The later line first, so that the earlier one stays where it was found.
  if (at_a > at_b) {
    text.replace(at_a, line_a.size(), line_b);
    text.replace(at_b, line_b.size(), line_a);
  } else {
    text.replace(at_b, line_b.size(), line_a);
    text.replace(at_a, line_a.size(), line_b);
  }
}

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(set_.AddModule("vorsandt", Definitions()).has_value());
    ASSERT_FALSE(set_.AddModule("tests", {{"testproc.yaml", kTestProcedures}}).has_value());
    Procedures().Clear();
  }
  void TearDown() override { Procedures().Clear(); }

  // Runs MAIN under `script`; returns the script's result.
  int Run(const std::string& script) {
    ui::Engine engine(&platform_, &set_);
    engine_ = &engine;
    ui::headless::ScriptSession session;
    session.name = "main.script";
    session.text = script;
    session.out = &out_;
    session.err = &err_;
    session.timeout = std::chrono::seconds(20);
    session.end_timeout = std::chrono::seconds(20);
    int rc = ui::headless::RunMainUnderScript(
        engine, platform_,
        [&] {
          Main();
          main_response_ = ui::ResponseCode();
        },
        session);
    engine_ = nullptr;
    return rc;
  }

  // A browse stand-in: its own window and loop on its own thread.
  void TestBrowse() {
    ui::Engine& engine = *ui::Engine::Current();
    slots_.push_back(ui::Engine::CurrentSlot());
    stacks_.push_back(engine.RequestedStack(ui::Engine::CurrentSlot()));
    auto w = engine.CreateWindow("TESTS$TESTPROC", "TESTBROWSE$WINDOW");
    w->Open();
    while (w->Accept()) {
      if (w->Accepted() == 1) w->Post(ui::event::kCloseWindow);
    }
    w->Close();
  }

  virtual std::vector<ui::EmbeddedDefinition> Definitions() { return ui::EmbeddedDefinitions(); }

  ui::headless::HeadlessPlatform platform_;
  ui::ResourceSet set_;
  ui::Engine* engine_ = nullptr;
  std::ostringstream out_;
  std::ostringstream err_;
  std::vector<int> slots_;
  std::vector<size_t> stacks_;
  int32_t main_response_ = 0;
};

TEST_F(MainFrameTest, ItemsWithoutAProcedureAreDisabled) {
  Procedures().Register("BrowsePolicy", [this] { TestBrowse(); });
  int rc = Run(R"(
window MAIN$APPFRAME
dump
menu "E&xit"
wait exit 0
)");
  EXPECT_EQ(rc, 0) << err_.str();
  std::string dump = out_.str();
  EXPECT_NE(dump.find("-11 \"Browse INSURANCE POLICIES\" message \"Browse Insurance Policy\"\n"),
            std::string::npos)
      << dump;
  EXPECT_NE(dump.find("-6 \"Browse INVENTORY ITEMS\" message \"Browse INVENTORY ITEMS\" disabled"),
            std::string::npos);
  EXPECT_NE(dump.find("-26 \"Insurance Report\" disabled"), std::string::npos);
  // Items that MAIN or the engine handles are always enabled.
  EXPECT_NE(dump.find("-23 \"QUERY BY EXAMPLE\"\n"), std::string::npos);
  EXPECT_NE(dump.find("-2 \"E&xit\" message \"Exit this application\" action 15\n"),
            std::string::npos);
  EXPECT_EQ(main_response_, ui::response::kCancelled);
}

TEST_F(MainFrameTest, SameBrowseTwiceOpensTwoWindowsOnTheirOwnThreads) {
  Procedures().Register("BrowsePolicy", [this] { TestBrowse(); });
  Procedures().Register("TreeBrowseInventory", [this] { TestBrowse(); });
  int rc = Run(R"(
menu "Browse INSURANCE POLICIES"
expect window TESTBROWSE$WINDOW
menu "Browse INSURANCE POLICIES"
menu "Tree Browse INVENTORY"
window TESTBROWSE$WINDOW
click Close
expect window TESTBROWSE$WINDOW
window MAIN$APPFRAME
expect caption VORSANDT
menu "E&xit"
wait exit 0
expect no-window TESTBROWSE$WINDOW
)");
  EXPECT_EQ(rc, 0) << err_.str();
  EXPECT_EQ(slots_, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(stacks_, (std::vector<size_t>{50000, 50000, 25000}));
}

// A frame whose items are numbered otherwise (the policies' item and the
// inventory's swapped, as a definition that gains items may renumber them):
// each item still starts the procedure it names, with that one's stack.
class RenumberedFrameTest : public MainFrameTest {
 protected:
  std::vector<ui::EmbeddedDefinition> Definitions() override {
    return DefinitionsWithFrame(&frame_, [](std::string& text) { SwapNumbers(text, -6, -11); });
  }
  std::string frame_;
};

TEST_F(RenumberedFrameTest, ItemsStartTheProcedureTheyNameWhateverTheirNumber) {
  Procedures().Register("BrowsePolicy", [this] { TestBrowse(); });
  Procedures().Register("TreeBrowseInventory", [this] { TestBrowse(); });
  int rc = Run(R"(
window MAIN$APPFRAME
dump
menu "Browse INSURANCE POLICIES"
expect window TESTBROWSE$WINDOW
window MAIN$APPFRAME
menu "Tree Browse INVENTORY"
window MAIN$APPFRAME
menu "E&xit"
wait exit 0
)");
  EXPECT_EQ(rc, 0) << err_.str();
  EXPECT_NE(frame_.find("number: -6\n            use: \"?BrowsePolicy\""), std::string::npos)
      << frame_;
  const std::string dump = out_.str();
  EXPECT_NE(dump.find("-6 \"Browse INSURANCE POLICIES\" message \"Browse Insurance Policy\"\n"),
            std::string::npos)
      << dump;
  // BrowseItems1, now numbered -11, is not registered here.
  EXPECT_NE(dump.find("-11 \"Browse INVENTORY ITEMS\" message \"Browse INVENTORY ITEMS\" disabled"),
            std::string::npos)
      << dump;
  EXPECT_EQ(stacks_, (std::vector<size_t>{50000, 25000}));
}

TEST_F(MainFrameTest, QueryByExampleWithoutTheProgramLeavesTheFrameRunning) {
  int rc = Run(R"(
menu "QUERY BY EXAMPLE"
expect window MAIN$APPFRAME
expect caption VORSANDT
)");
  EXPECT_EQ(rc, 0) << err_.str();
  // No morvak beside the test program: the launch only set the error code.
  EXPECT_EQ(files::Errors().Code(), files::kSystemErrorBase + 2);
  EXPECT_TRUE(platform_.Messages().empty());
}

TEST_F(MainFrameTest, SplashRunsOnTheFramesThreadBeforeTheLoop) {
  std::atomic<int> splash_slot{-1};
  std::atomic<bool> frame_open_during_splash{false};
  Procedures().Register("Splash", [&] {
    splash_slot = ui::Engine::CurrentSlot();
    frame_open_during_splash = ui::Engine::Current()->OpenWindows().size() == 1;
  });
  int rc = Run("menu \"E&xit\"\nwait exit 0\n");
  EXPECT_EQ(rc, 0) << err_.str();
  EXPECT_EQ(splash_slot, 0);
  EXPECT_TRUE(frame_open_during_splash);
}

}  // namespace
}  // namespace vorsandt::app
