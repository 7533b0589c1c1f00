#include "ui/headless/script.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "ui/headless/script_session.h"

namespace vorsandt::ui::headless {
namespace {

TEST(ScriptParseTest, WordsQuotesAndComments) {
  struct Case {
    const char* text;
    std::vector<std::vector<std::string>> words;
  };
  const Case cases[] = {
      {"menu \"E&xit\"", {{"menu", "E&xit"}}},
      {"  expect caption VORSANDT  # the frame\n\n# only a comment\n",
       {{"expect", "caption", "VORSANDT"}}},
      {"type 2 \"a \\\"quoted\\\" text\"", {{"type", "2", "a \"quoted\" text"}}},
      {"expect text 3 \"\"", {{"expect", "text", "3", ""}}},
      {"a\r\nb\tc", {{"a"}, {"b", "c"}}},
      {"press Ctrl+Enter 5 # alert", {{"press", "Ctrl+Enter", "5"}}},
  };
  for (const Case& c : cases) {
    ScriptParse p = ParseScript(c.text);
    ASSERT_TRUE(p.ok) << c.text;
    std::vector<std::vector<std::string>> got;
    for (const ScriptLine& l : p.lines) got.push_back(l.words);
    EXPECT_EQ(got, c.words) << c.text;
  }
  ScriptParse lines = ParseScript("a\n\nb\n");
  ASSERT_EQ(lines.lines.size(), 2u);
  EXPECT_EQ(lines.lines[1].line, 3);
  ScriptParse bad = ParseScript("ok\nmenu \"E&xit\n");
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.error_line, 2);
}

TEST(PopupItemsTest, NumberingAndDisabledItems) {
  EXPECT_EQ(PopupItems("|&Insert|&Change|&Delete"), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(PopupItems("&Insert|~&Change|&Delete"), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(PopupItems("|"), (std::vector<bool>{}));
  EXPECT_EQ(PopupItems(""), (std::vector<bool>{}));
  EXPECT_EQ(PopupItems("one"), (std::vector<bool>{true}));
}

TEST(ScriptParseTest, KeyNames) {
  struct Case {
    const char* name;
    std::optional<int> code;
    const char* typed;
  };
  const Case cases[] = {
      {"Enter", key::kEnter, ""},
      {"Ctrl+Enter", 525, ""},
      {"ctrl+left", 549, ""},
      {"Ctrl+Right", 551, ""},
      {"Insert", 45, ""},
      {"Delete", 46, ""},
      {"DoubleClick", 5, ""},
      {"RightClick", 2, ""},
      {"Space", 32, " "},
      {"a", 'A', "a"},
      {"Shift+A", 'A' + key::kShift, "A"},
      {"7", '7', "7"},
      {"F2", key::kF1 + 1, ""},
      {"Ctrl+PgDn", key::kCtrl + key::kPgDn, ""},
      {"Hyper+A", std::nullopt, ""},
      {"NoSuchKey", std::nullopt, ""},
      {"F13", std::nullopt, ""},
      {"", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    std::string typed;
    EXPECT_EQ(KeyCode(c.name, &typed), c.code) << c.name;
    EXPECT_EQ(typed, c.typed) << c.name;
  }
}

constexpr char kDefs[] = R"(resource: SCRIPT01_RSC
id: S$SCRIPT01
structures:
  - window: S$FRAME
    frame: true
    caption: Test frame
    menubar:
      - menu: "&File"
        items:
          - item: "&Open"
            number: -1
            message: Open the form
          - item: "Ti&le"
            number: -2
            action: 2
          - item: "E&xit"
            number: -3
            action: 15
  - window: S$FORM
    caption: Form
    child: true
    controls:
      - entry: name
        picture: "@s20"
      - list: "40L~A~@s10@40R~B~@s10@"
        paged: true
        alert: [45]
      - button: "&Ask"
      - button: Close
      - list: "40L@s10@"
        use: colour
        drop: 4
)";

// A small program: a frame whose "Open" item starts a form procedure.
class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(set_.AddModule("test", {{"s.yaml", kDefs}}).has_value()); }

  int RunScript(const std::string& script) {
    Engine engine(&platform_, &set_);
    ScriptSession session;
    session.name = "t.script";
    session.text = script;
    session.out = &out_;
    session.err = &err_;
    session.timeout = std::chrono::seconds(20);
    session.end_timeout = std::chrono::seconds(20);
    return RunMainUnderScript(
        engine, platform_,
        [&] {
          auto frame = engine.CreateWindow("S$SCRIPT01", "S$FRAME");
          frame->Open();
          // A window of its own on the frame's thread before the frame's
          // loop, as MAIN shows its welcome window.
          if (welcome_first_) Form(engine);
          while (frame->Accept()) {
            if (frame->Accepted() == -1) engine.Start([&] { Form(engine); }, 50000);
            if (frame->Event() == event::kGainFocus) ++frame_focus_;
          }
          frame->Close();
        },
        session);
  }

  void Form(Engine& engine) {
    auto w = engine.CreateWindow("S$SCRIPT01", "S$FORM");
    w->Bind("name", BindText(&name_, 20));
    w->Bind("colour", BindText(&colour_, 10));
    w->Open();
    w->SetProperty(0, prop::kAlertKey, key::kF1 + 1, 1);  // F2, wherever the focus is
    int top = 0;
    auto fill = [&] {
      w->SetRows(2, {{{"row" + std::to_string(top + 1), std::to_string(top + 1)}, 0},
                     {{"row" + std::to_string(top + 2), std::to_string(top + 2)}, 0}});
    };
    fill();
    while (w->Accept()) {
      switch (w->Event()) {
        case event::kScrollDown:
          ++top;
          fill();
          w->SetProperty(2, prop::kVScroll, 1);
          break;
        case event::kNewSelection:
          if (w->Field() == 2 && w->Keycode() == key::kMouseRight) {
            int item = w->Popup("|&Insert|~&Change|~&Delete");
            w->SetProperty(1, prop::kText, "popup " + std::to_string(item));
          }
          break;
        case event::kDroppingDown:
          w->SetRows(5, {{{"Red"}, 0}, {{"Green"}, 0}, {{"Blue"}, 0}});
          break;
        case event::kAlertKey:
          w->SetProperty(
              1, prop::kText,
              "alert " + std::to_string(w->Keycode()) + " on " + std::to_string(w->Field()));
          break;
        case event::kAccepted:
          if (w->Field() == 3) {
            int b = engine.Message("Really?", "Question", Icon::kQuestion,
                                   button::kYes | button::kNo, button::kNo);
            w->SetProperty(1, prop::kText, b == button::kYes ? "yes" : "no");
          }
          if (w->Field() == 4) w->Post(event::kCloseWindow);
          break;
        default:
          break;
      }
    }
    w->Close();
  }

  HeadlessPlatform platform_;
  ResourceSet set_;
  std::ostringstream out_;
  std::ostringstream err_;
  std::string name_;
  std::string colour_;
  std::atomic<int> frame_focus_{0};
  bool welcome_first_ = false;
};

TEST_F(ScriptTest, ActiveWindowClosingGivesTheFocusBack) {
  int rc = RunScript(R"(
menu Open
window "Test frame"
window Form
click Close
expect no-window Form
)");
  EXPECT_EQ(rc, 0) << err_.str();
  // Once chosen with "window", once when the form closed.
  EXPECT_EQ(frame_focus_, 2);
}

TEST_F(ScriptTest, DrivesMenusFormsListsAndMessages) {
  int rc = RunScript(R"(
expect caption "Test frame"
expect menu "&File"
expect menu "&Open" "Open the form"
expect item -3 "E&xit"
menu "Open"
expect window S$FORM
expect caption Form
type 1 "Jones"
expect text 1 Jones
expect rows 2 2
expect row 2 1 "row1 | 1"
press Down 2
expect row 2 1 "row2 | 2"
scroll 2 down
expect row 2 2 "row4 | 4"
answer yes
click "Ask"
expect message "Really?" Question
expect text 1 yes
click &Ask
expect pending message
answer no
expect text 1 no
dump
click Close
expect no-window S$FORM
menu Tile
expect action 2
menu "E&xit"
wait exit 0
)");
  EXPECT_EQ(rc, 0) << err_.str() << out_.str();
  // The entry's variable holds what was typed; the text property is only shown.
  EXPECT_EQ(name_, std::string("Jones").append(15, ' '));
  EXPECT_NE(out_.str().find("window \"S$FORM\" caption \"Form\""), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("  2 list \"\""), std::string::npos) << out_.str();
}

TEST_F(ScriptTest, DropListsAndWindowAlertKeys) {
  int rc = RunScript(R"(
menu Open
expect closed-up 5
expect rows 5 0
drop 5
expect dropped 5
expect rows 5 3
choose 5 Green
expect closed-up 5
expect text 5 Green
expect selected 5 2
drop 5
choose 5 3
expect text 5 Blue
focus 2
press F2
expect text 1 "alert 113 on 2"
expect alert 2 Insert
press Insert 2
expect text 1 "alert 45 on 2"
dump
)");
  EXPECT_EQ(rc, 0) << err_.str() << out_.str();
  EXPECT_EQ(colour_, "Blue      ");
  EXPECT_NE(out_.str().find("  5 list \"Blue\""), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("rows 3 selected 3 drop 4\n"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("focus 2 child alert 113\n"), std::string::npos) << out_.str();
}

// What a browse shows beside its rows: how many fit, the scroll bar and its
// thumb, and the popup a right click brings up.
TEST_F(ScriptTest, PagedListItemsScrollBarThumbAndPopup) {
  int rc = RunScript(R"(
menu Open
window Form
expect items 2 10
items 2 14
expect items 2 14
expect scrollbar 2 off
scroll 2 down
expect scrollbar 2 on
thumb 2 64
expect thumb 2 64
answer-popup 2
press RightClick 2
expect popup "|&Insert|~&Change|~&Delete"
expect text 1 "popup 0"
answer-popup 1
press RightClick 2
expect text 1 "popup 1"
dump
)");
  EXPECT_EQ(rc, 0) << err_.str() << out_.str();
  EXPECT_NE(out_.str().find("items 14 thumb 64 scrollbar alert 45\n"), std::string::npos)
      << out_.str();
  const struct {
    const char* script;
    const char* message;
  } failing[] = {
      {"menu Open\nwindow Form\nexpect thumb 2 5\n", "t.script:3: thumb of 2 is 0, expected 5\n"},
      {"menu Open\nwindow Form\nexpect scrollbar 2 on\n", "t.script:3: scroll bar of 2 is off\n"},
      {"menu Open\nwindow Form\nanswer-popup 0\npress RightClick 2\nexpect popup x\n",
       "t.script:5: popup \"|&Insert|~&Change|~&Delete\", expected \"x\"\n"},
  };
  for (const auto& c : failing) {
    err_.str("");
    EXPECT_EQ(RunScript(c.script), 1) << c.script;
    EXPECT_EQ(err_.str(), c.message) << c.script;
  }
}

// F1 opens the manual at the window's section, and the script checks where.
TEST_F(ScriptTest, F1OpensHelpAtTheWindowsSection) {
  EXPECT_EQ(RunScript("expect help s-frame\n"), 1);
  EXPECT_EQ(err_.str(), "t.script:1: the manual was not opened\n");
  err_.str("");
  int rc = RunScript(
      "press F1\nexpect help s-frame\nmenu Open\nwindow Form\npress F1 1\n"
      "expect help s-form\nexpect text 1 \"\"\n");
  EXPECT_EQ(rc, 0) << err_.str();
  EXPECT_EQ(platform_.Helps(), (std::vector<std::string>{"s-frame", "s-form"}));
  EXPECT_EQ(RunScript("press F1\nexpect help contents\n"), 1);
  EXPECT_EQ(err_.str(), "t.script:2: help opened at \"s-frame\", expected \"contents\"\n");
}

// The program ends after the script even when the window on top belongs to
// the frame's own thread, whose loop has not started: it is closed first, as
// a user would close it, and the frame after it.
TEST_F(ScriptTest, WindowsLeftOpenAreClosedNewestFirstAtTheEnd) {
  welcome_first_ = true;
  int rc = RunScript("expect window Form\nexpect caption Form\ntype name Ann\n");
  EXPECT_EQ(rc, 0) << err_.str();
  EXPECT_TRUE(platform_.Windows().empty());
}

TEST(ScriptParseTest, NulByteIsAnErrorNotAWordJoiner) {
  constexpr char kText[] = "menu Open\nclick Clo\0se\n";
  ScriptParse parsed = ParseScript(std::string_view(kText, sizeof kText - 1));
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(parsed.error_line, 2);
  EXPECT_EQ(parsed.error, "a NUL byte in the script");
}

TEST(ScriptFileTest, AFolderOrAMissingFileIsNoScript) {
  std::string text = "unchanged", error;
  EXPECT_FALSE(ReadScriptFile("/tmp", &text, &error));
  EXPECT_EQ(error, "the script /tmp is a folder");
  EXPECT_FALSE(ReadScriptFile("/nonexistent/vorsandt.script", &text, &error));
  EXPECT_EQ(error,
            "cannot read the script /nonexistent/vorsandt.script: No such file or directory");
  EXPECT_EQ(text, "unchanged");
  // Looked at, not opened: a FIFO nobody writes to does not hold the run.
  const std::string fifo = ::testing::TempDir() + "/script_fifo_" + std::to_string(getpid());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ReadScriptFile(fifo, &text, &error));
  EXPECT_EQ(error, "the script " + fifo + " is not a regular file");
  unlink(fifo.c_str());
  EXPECT_FALSE(ReadScriptFile("/dev/zero", &text, &error));
  EXPECT_EQ(error, "the script /dev/zero is not a regular file");
  EXPECT_EQ(text, "unchanged");
}

TEST_F(ScriptTest, FailureNamesTheLineAndStops) {
  int rc = RunScript("expect caption \"Test frame\"\n\nexpect caption Other\nmenu \"E&xit\"\n");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(err_.str(), "t.script:3: caption \"Test frame\", expected \"Other\"\n");
}

TEST_F(ScriptTest, BadCommandsFailCleanly) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"frobnicate 1", "t.script:1: unknown command \"frobnicate\"\n"},
      {"click 99", "t.script:1: no control \"99\" in S$FRAME\n"},
      {"menu \"E&xit\"\nwait exit 3", "t.script:2: exit code 0, expected 3\n"},
      {"menu \"No such\"", "t.script:1: no menu item \"No such\"\n"},
      {"menu &File", "t.script:1: no menu item \"&File\"\n"},
      {"press Hyper+X", "t.script:1: unknown key \"Hyper+X\"\n"},
      {"window NOPE", "t.script:1: no open window \"NOPE\"\n"},
      {"expect", "t.script:1: expect what?\n"},
      {"expect frobs 1", "t.script:1: no control \"1\" in S$FRAME\n"},
      {"answer maybe", "t.script:1: unknown button \"maybe\"\n"},
      {"type", "t.script:1: \"type\" needs 1 argument\n"},
      {"menu Open\ndrop 1", "t.script:2: control 1 is not a drop list\n"},
      {"menu Open\ndrop 5\nchoose 5 Purple", "t.script:3: drop list 5 has no entry \"Purple\"\n"},
      {"menu Open\nexpect dropped 5", "t.script:2: drop list 5 is closed up\n"},
      {"menu Open\nexpect alert 1 Insert", "t.script:2: key Insert is not alerted on 1\n"},
  };
  for (const Case& c : cases) {
    err_.str("");
    EXPECT_EQ(RunScript(c.script), 1) << c.script;
    EXPECT_EQ(err_.str(), c.message) << c.script;
  }
}

// Two scripts take turns through marker files: a signal given before the
// wait is not lost, a wait that never sees its signal fails within its bound,
// and a name that would leave the folder is refused.
TEST_F(ScriptTest, SignalsBetweenProgramsAreFilesWithABoundedWait) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                    ("vorsandt_signals_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  ::unsetenv("VORSANDT_SCRIPT_SIGNALS");
  EXPECT_EQ(RunScript("signal ready"), 1);
  EXPECT_EQ(err_.str(), "t.script:1: signals need VORSANDT_SCRIPT_SIGNALS to name a folder\n");

  ::setenv("VORSANDT_SCRIPT_SIGNALS", dir.c_str(), 1);
  err_.str("");
  EXPECT_EQ(RunScript("signal ready\nwait-signal ready 1\nsignal ready"), 0) << err_.str();
  EXPECT_TRUE(std::filesystem::exists(dir / "ready"));

  const struct {
    const char* script;
    const char* message;
  } cases[] = {
      {"wait-signal never 1", "t.script:1: signal \"never\" did not come within 1 seconds\n"},
      {"wait-signal ready 0", "t.script:1: wait-signal needs a number of seconds from 1\n"},
      {"signal ../outside", "t.script:1: signal name \"../outside\" is not a plain name\n"},
      {"wait-signal ..", "t.script:1: signal name \"..\" is not a plain name\n"},
  };
  for (const auto& c : cases) {
    err_.str("");
    EXPECT_EQ(RunScript(c.script), 1) << c.script;
    EXPECT_EQ(err_.str(), c.message) << c.script;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.parent_path() / "outside"));
  ::unsetenv("VORSANDT_SCRIPT_SIGNALS");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vorsandt::ui::headless
