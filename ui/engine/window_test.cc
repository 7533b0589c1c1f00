#include "ui/engine/window.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ui/engine/engine.h"
#include "ui/engine/engine_test_defs.h"
#include "ui/engine/test_platform.h"

namespace vorsandt::ui {
namespace {

using Events = std::vector<std::pair<int, int>>;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(set_.AddModule("test", {{"test.yaml", kTestWindows}}).has_value());
  }

  // Runs `body` as the first procedure and waits until it has returned.
  void Run(const std::function<void(Engine&)>& body) {
    Engine engine(&platform_, &set_);
    engine_ = &engine;
    ASSERT_TRUE(engine.StartMain([&] { body(engine); }));
    engine.WaitForEnd();
    engine_ = nullptr;
  }

  // Runs a window procedure that records every event until the loop ends,
  // while `drive` feeds it input from the platform's side.
  Events Record(const char* label, const std::function<void(Window&)>& on_open,
                const std::function<void(Engine&, WindowId)>& drive) {
    Events seen;
    WindowId id = 0;
    std::atomic<bool> opened{false};
    Engine engine(&platform_, &set_);
    engine.StartMain([&] {
      auto w = engine.CreateWindow("TESTS$TEST01", label);
      id = w->id();
      w->Open();
      if (on_open) on_open(*w);
      opened = true;
      while (w->Accept()) seen.emplace_back(w->Event(), w->Field());
      w->Close();
    });
    while (!opened) engine.WaitIdle(std::chrono::milliseconds(50));
    EXPECT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
    drive(engine, id);
    engine.WaitForEnd();
    return seen;
  }

  static void Send(Engine& engine, WindowId id, Input::Type type, int field, int value = 0,
                   const char* text = nullptr) {
    Input in;
    in.type = type;
    in.field = field;
    in.value = value;
    if (text != nullptr) {
      in.text = text;
      in.has_text = true;
    }
    ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
    engine.Input(id, in);
    ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
  }

  TestPlatform platform_;
  ResourceSet set_;
  Engine* engine_ = nullptr;
};

TEST_F(WindowTest, ControlsAreFoundByTheirUseNames) {
  Run([&](Engine& engine) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    EXPECT_EQ(w->FieldOf("name"), 2);
    EXPECT_EQ(w->FieldOf("count"), 3);
    // After the sheet and the string on its first tab; the tabs take no number.
    EXPECT_EQ(w->FieldOf("?OK"), 8);
    EXPECT_EQ(w->ControlCount(), 10);
    WindowState snapshot = w->Snapshot();
    ASSERT_NE(snapshot.ControlNamed("?OK"), nullptr);
    EXPECT_EQ(snapshot.ControlNamed("?OK")->field, w->FieldOf("?OK"));
    EXPECT_EQ(snapshot.ControlNamed("?Missing"), nullptr);
  });
}

// A procedure whose definition lost one of its controls cannot carry on.
TEST_F(WindowTest, AControlMissingFromTheDefinitionEndsTheProgram) {
  EXPECT_EXIT(Run([&](Engine& engine) {
                auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
                w->FieldOf("?Missing");
              }),
              ::testing::ExitedWithCode(2), "");
}

TEST_F(WindowTest, OpenQueuesOpenWindowFirstAndPostsKeepTheirOrder) {
  Events seen;
  Run([&](Engine& engine) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    EXPECT_EQ(w->state(), Window::State::kCreated);
    w->Open();
    bool first = true;
    while (w->Accept()) {
      seen.emplace_back(w->Event(), w->Field());
      // The event and field can be asked as often as one likes in a turn.
      EXPECT_EQ(w->Event(), seen.back().first);
      if (first) {
        first = false;
        // Several posts in one turn arrive in the order posted.
        w->Post(event::kAccepted, 10);
        w->Post(event::kNewSelection, 5);
        w->Post(event::kCloseWindow, 7);  // a window event concerns no control
        w->Post(event::kAccepted, 11);    // after the close: never delivered
      }
    }
    // The step after the close-window event ended the loop.
    EXPECT_EQ(w->state(), Window::State::kClosing);
    EXPECT_FALSE(w->Accept());
    w->Close();
    EXPECT_EQ(w->state(), Window::State::kClosed);
  });
  EXPECT_EQ(seen, (Events{{515, 0}, {1, 10}, {2, 5}, {513, 0}}));
}

TEST_F(WindowTest, CloseDownAlsoEndsTheLoopAfterItsTurn) {
  Events seen;
  Run([&](Engine& engine) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    w->Post(event::kCloseDown);
    w->Post(event::kAccepted, 10);
    while (w->Accept()) seen.emplace_back(w->Event(), w->Field());
    w->Close();
  });
  EXPECT_EQ(seen, (Events{{515, 0}, {514, 0}}));
}

TEST_F(WindowTest, EntryTextGoesIntoTheVariableOnAccept) {
  std::string name = "Smith     ";
  int32_t count = 7;
  std::string active = "0";
  Events seen = Record(
      "T$FORM",
      [&](Window& w) {
        EXPECT_EQ(w.Bind("name", BindText(&name, 10)), 1);
        EXPECT_EQ(w.Bind("count", BindLong(&count)), 1);
        EXPECT_EQ(w.Bind("active", BindText(&active, 1)), 1);
        EXPECT_EQ(w.Bind("nothing", BindLong(&count)), 0);
        w.Display();
        EXPECT_EQ(w.GetProperty(2, prop::kText), "Smith");
        EXPECT_EQ(w.GetProperty(3, prop::kText), "7");
      },
      [&](Engine& engine, WindowId id) {
        Send(engine, id, Input::Type::kAccept, 2, 0, "Jones");
        Send(engine, id, Input::Type::kAccept, 3, 0, " 42 ");
        Send(engine, id, Input::Type::kAccept, 4);
        auto state = platform_.State(id);
        ASSERT_TRUE(state.has_value());
        EXPECT_EQ(state->Control(2)->text, "Jones");
        EXPECT_EQ(state->Control(4)->value, 1);
        Send(engine, id, Input::Type::kClose, 0);
      });
  EXPECT_EQ(name, "Jones     ");
  EXPECT_EQ(count, 42);
  EXPECT_EQ(active, "1");
  EXPECT_EQ(seen, (Events{{515, 0}, {1, 2}, {1, 3}, {1, 4}, {513, 0}}));
}

TEST_F(WindowTest, KeysBecomeAlertScrollAndDefaultButtonEvents) {
  std::vector<int> keys;
  Events seen;
  Engine engine(&platform_, &set_);
  std::atomic<bool> ready{false};
  WindowId id = 0;
  engine.StartMain([&] {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    id = w->id();
    w->Open();
    w->SetProperty(5, prop::kAlertKey, key::kCtrl + key::kEnter, 255);
    EXPECT_EQ(w->GetNumber(5, prop::kAlertKey, 1), key::kInsert);  // from the definition
    EXPECT_EQ(w->GetNumber(5, prop::kAlertKey, 255), key::kCtrl + key::kEnter);
    ready = true;
    while (w->Accept()) {
      seen.emplace_back(w->Event(), w->Field());
      keys.push_back(w->Keycode());
      if (w->Event() == event::kScrollDrag) {
        EXPECT_EQ(w->GetNumber(5, prop::kThumb), 100);
      }
    }
  });
  while (!ready) engine.WaitIdle(std::chrono::milliseconds(20));
  auto key_on = [&](int field, int code) { Send(engine, id, Input::Type::kKey, field, code); };
  key_on(5, key::kInsert);
  key_on(5, key::kCtrl + key::kEnter);
  key_on(5, key::kUp);
  key_on(5, key::kDown);
  key_on(5, key::kPgUp);
  key_on(5, key::kPgDn);
  key_on(5, key::kHome);
  key_on(5, key::kCtrl + key::kPgDn);
  key_on(5, 'A');          // nothing alerted: no event
  key_on(10, key::kDown);  // not a paged list: no event
  key_on(2, key::kEnter);  // Enter presses the default button
  Send(engine, id, Input::Type::kThumb, 5, 140);
  Send(engine, id, Input::Type::kScroll, 5, event::kPageDown);
  Send(engine, id, Input::Type::kClose, 0);
  engine.WaitForEnd();
  EXPECT_EQ(seen, (Events{{515, 0},
                          {15, 5},
                          {15, 5},
                          {3, 5},
                          {4, 5},
                          {5, 5},
                          {6, 5},
                          {7, 5},
                          {8, 5},
                          {1, 8},
                          {20, 5},
                          {6, 5},
                          {513, 0}}));
  EXPECT_EQ(keys[1], key::kInsert);
  EXPECT_EQ(keys[2], key::kCtrl + key::kEnter);
}

TEST_F(WindowTest, RowsTabsAndFocusBecomeEvents) {
  Events seen = Record(
      "T$FORM",
      [&](Window& w) {
        w.SetRows(5, {{{"a"}, 0}, {{"b"}, 0}, {{"c"}, 0}});
        w.SetRows(10, {{{"x"}, 0}});
        w.Disable(TabId(6, 1));
      },
      [&](Engine& engine, WindowId id) {
        Send(engine, id, Input::Type::kSelectRow, 5, 2);
        Send(engine, id, Input::Type::kSelectTab, 6, 2);
        Send(engine, id, Input::Type::kSelectTab, 6, 2);      // already chosen: nothing
        Send(engine, id, Input::Type::kSelectTab, 6, 9);      // no such tab: nothing
        Send(engine, id, Input::Type::kSelectTab, 6, 1);      // a disabled tab: nothing
        Send(engine, id, Input::Type::kAccept, TabId(6, 2));  // a tab is no control
        Send(engine, id, Input::Type::kFocus, 10);
        Send(engine, id, Input::Type::kGainFocus, 0);
        Send(engine, id, Input::Type::kAccept, 99);  // no such control
        auto state = platform_.State(id);
        ASSERT_TRUE(state.has_value());
        EXPECT_EQ(state->Control(5)->selected, 2);
        EXPECT_EQ(state->Control(6)->value, 2);
        // A list without a use block still shows its rows.
        ASSERT_EQ(state->Control(10)->rows.size(), 1u);
        EXPECT_EQ(state->Control(10)->rows[0].cells[0], "x");
        Send(engine, id, Input::Type::kClose, 0);
      });
  EXPECT_EQ(seen, (Events{{515, 0}, {2, 5}, {21, 6}, {2, 6}, {257, 10}, {518, 0}, {513, 0}}));
}

TEST_F(WindowTest, AcceptAllPassAcceptsEveryControlThenCompletes) {
  Events seen;
  Run([&](Engine& engine) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    w->Disable(3);  // disabled controls are not part of the pass
    int passes = 0;
    while (w->Accept()) {
      seen.emplace_back(w->Event(), w->Field());
      if (w->Event() == event::kOpenWindow) {
        w->SetProperty(0, prop::kAcceptAll, 1);
        EXPECT_EQ(w->GetNumber(0, prop::kAcceptAll), 1);
      } else if (w->Event() == event::kCompleted) {
        EXPECT_EQ(w->GetNumber(0, prop::kAcceptAll), 0);
        if (++passes == 1) {
          // Second pass: selecting a control ends it early.
          w->SetProperty(0, prop::kAcceptAll, 1);
        } else {
          w->Post(event::kCloseWindow);
        }
      } else if (w->Event() == event::kAccepted && w->Field() == 2 && passes == 1) {
        w->Select(2);
        w->Post(event::kCloseWindow);
      }
    }
  });
  // The second pass stopped at the select: field 4 never heard of it.
  EXPECT_EQ(seen, (Events{{515, 0}, {1, 2}, {1, 4}, {549, 0}, {1, 2}, {513, 0}}));
}

TEST_F(WindowTest, PropertiesOfControlsAndWindow) {
  Run([&](Engine& engine) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    EXPECT_EQ(w->GetProperty(0, prop::kText), "Form");
    w->SetProperty(0, prop::kText, "Changed");
    EXPECT_EQ(w->GetProperty(0, prop::kText), "Changed");
    w->SetProperty(0, prop::kStatusText, "zone two", 2);
    EXPECT_EQ(w->GetProperty(0, prop::kStatusText, 2), "zone two");
    EXPECT_EQ(w->GetProperty(0, prop::kStatusText, 1), "");

    EXPECT_EQ(w->GetNumber(8, prop::kDefaultButton), 1);
    w->SetProperty(9, prop::kDefaultButton, 1);
    EXPECT_EQ(w->GetNumber(8, prop::kDefaultButton), 0);  // one default per window

    // Tabs are reached by their ids, never by field numbers: hiding every
    // control leaves them alone, hiding a tab hides what stands on it.
    const int one = TabId(6, 1);
    const int two = TabId(6, 2);
    EXPECT_EQ(w->GetProperty(two, prop::kText), "Two");
    w->Hide(1, w->ControlCount());
    EXPECT_EQ(w->GetNumber(one, prop::kHide), 0);
    w->Unhide(1, w->ControlCount());
    w->Hide(one);
    EXPECT_EQ(w->GetNumber(one, prop::kHide), 1);
    EXPECT_EQ(w->GetNumber(7, prop::kHide), 0);
    EXPECT_EQ(w->GetNumber(7, prop::kVisible), 0);
    w->Unhide(one, two);
    EXPECT_EQ(w->GetNumber(7, prop::kVisible), 1);
    w->SetProperty(two, prop::kText, "Second");
    EXPECT_EQ(w->Snapshot().Control(two)->text, "Second");
    EXPECT_EQ(w->Snapshot().Control(7)->parent, one);
    w->Select(two);  // the other tab: the controls on the first are not visible
    EXPECT_EQ(w->Choice(6), 2);
    EXPECT_EQ(w->GetNumber(7, prop::kVisible), 0);
    w->Select(6, 1);
    EXPECT_EQ(w->GetNumber(7, prop::kVisible), 1);
    w->Disable(2, 4);
    EXPECT_EQ(w->GetNumber(3, prop::kDisable), 1);
    w->Enable(3);
    EXPECT_EQ(w->GetNumber(3, prop::kDisable), 0);
    EXPECT_EQ(w->GetNumber(4, prop::kDisable), 1);

    w->SetRows(5, {{{"a"}, 0}, {{"b"}, 0}});
    w->Select(5, 5);  // past the last row: the last row
    EXPECT_EQ(w->Choice(5), 2);
    w->SetProperty(5, prop::kSelStart, 1);
    EXPECT_EQ(w->Choice(5), 1);
    EXPECT_EQ(w->GetNumber(5, prop::kItems), 10);  // 90 units high
    w->SetProperty(5, prop::kThumb, 250);
    EXPECT_EQ(w->GetNumber(5, prop::kThumb), 100);

    // Properties the engine only keeps come back as they were set.
    w->SetProperty(5, prop::kFilter, "UPPER(X)='A'");
    EXPECT_EQ(w->GetProperty(5, prop::kFilter), "UPPER(X)='A'");
    // Out-of-range fields and indexes are ignored, never fatal.
    w->SetProperty(99, prop::kText, "x");
    EXPECT_EQ(w->GetProperty(99, prop::kText), "");
    w->SetProperty(5, prop::kAlertKey, 46, 256);
    EXPECT_EQ(w->GetProperty(5, prop::kAlertKey, 256), "");

    // Sizes left to the engine stay "not given" for the platform.
    WindowState s = w->Snapshot();
    EXPECT_EQ(s.Control(10)->at.w, kNotGiven);
    EXPECT_EQ(s.Control(10)->at.h, kNotGiven);
    EXPECT_EQ(s.at.x, kNotGiven);
    w->Close();
  });
}

TEST_F(WindowTest, TimerDeliversTimerEvents) {
  int timers = 0;
  Run([&](Engine& engine) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$TIMED");
    w->Open();
    while (w->Accept()) {
      if (w->Event() == event::kTimer && ++timers == 3) {
        w->SetProperty(0, prop::kTimer, 0);
        w->Post(event::kCloseWindow);
      }
    }
    w->Close();
  });
  EXPECT_EQ(timers, 3);
}

TEST_F(WindowTest, TimerFiresEvenWhileEventsKeepComing) {
  int timers = 0;
  int others = 0;
  Run([&](Engine& engine) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$TIMED");
    w->Open();
    while (w->Accept()) {
      if (w->Event() == event::kTimer && ++timers == 2) {
        w->Post(event::kCloseWindow);
      } else if (w->Event() != event::kCloseWindow) {
        ++others;
        w->Post(event::kAccepted, 0);  // never an empty queue
      }
    }
    w->Close();
  });
  EXPECT_EQ(timers, 2);
  EXPECT_GT(others, 0);
}

TEST_F(WindowTest, MenuStandardActionsAndExit) {
  Events seen = Record(
      "T$FRAME",
      [](Window& w) {
        w.Disable(-3);
        EXPECT_EQ(w.GetNumber(-3, prop::kDisable), 1);
        EXPECT_EQ(w.GetProperty(-1, prop::kText), "E&xit");
      },
      [&](Engine& engine, WindowId id) {
        auto state = platform_.State(id);
        ASSERT_TRUE(state.has_value());
        EXPECT_TRUE(state->MenuItem(-3)->disabled);
        Send(engine, id, Input::Type::kAccept, -3);  // disabled: nothing
        Send(engine, id, Input::Type::kAccept, -2);  // tile: carried out by the platform
        Send(engine, id, Input::Type::kAccept, -9);  // no such item
        Send(engine, id, Input::Type::kAccept, -1);  // exit
      });
  EXPECT_EQ(seen, (Events{{515, 0}, {1, -2}, {1, -1}, {513, 0}}));
  auto actions = platform_.Actions();
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].second, action::kTile);
}

// The Help menu opens the manual beside the program: its contents, its
// chapter on the help window, or its search. The procedure hears the choice
// as of any other item.
TEST_F(WindowTest, HelpMenuItemsOpenTheManual) {
  Events seen = Record("T$FRAME", nullptr, [&](Engine& engine, WindowId id) {
    Send(engine, id, Input::Type::kAccept, -4);
    Send(engine, id, Input::Type::kAccept, -6);
    Send(engine, id, Input::Type::kAccept, -5);
    Send(engine, id, Input::Type::kAccept, -1);
  });
  EXPECT_EQ(seen, (Events{{515, 0}, {1, -4}, {1, -6}, {1, -5}, {1, -1}, {513, 0}}));
  auto helps = platform_.Helps();
  ASSERT_EQ(helps.size(), 3u);
  EXPECT_EQ(helps[0].topic, "contents");
  EXPECT_FALSE(helps[0].search);
  EXPECT_EQ(helps[1].topic, "using-help");
  EXPECT_TRUE(helps[2].search);
  EXPECT_TRUE(platform_.Actions().empty());
}

TEST_F(WindowTest, PopupAndMessageAnswersComeFromThePlatform) {
  platform_.answers = {2, button::kNo};
  Run([&](Engine& engine) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    EXPECT_EQ(w->Popup("|&Insert|&Change|&Delete"), 2);
    EXPECT_EQ(engine.Message("Sure?", "Question", Icon::kQuestion, button::kYes | button::kNo,
                             button::kYes),
              button::kNo);
    EXPECT_EQ(w->Popup("|a|b"), 0);  // dismissed
    w->Close();
  });
  auto messages = platform_.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Question");
  EXPECT_EQ(messages[0].default_button, button::kYes);
}

TEST(TreeRowStateTest, LevelSignAndNextRowDecide) {
  std::vector<ListRow> rows = {{{}, 1}, {{}, 2}, {{}, -2}, {{}, 1}, {{}, -1}};
  EXPECT_EQ(TreeRowState(rows, 0), TreeState::kOpen);    // followed by a deeper row
  EXPECT_EQ(TreeRowState(rows, 1), TreeState::kLeaf);    // positive, nothing deeper
  EXPECT_EQ(TreeRowState(rows, 2), TreeState::kClosed);  // negative, nothing deeper
  EXPECT_EQ(TreeRowState(rows, 3), TreeState::kLeaf);
  EXPECT_EQ(TreeRowState(rows, 4), TreeState::kClosed);  // last row, negative
  std::vector<ListRow> open_negative = {{{}, -1}, {{}, 2}};
  EXPECT_EQ(TreeRowState(open_negative, 0), TreeState::kOpen);
}

TEST(EventNameTest, NamesAndGaps) {
  EXPECT_EQ(EventName(1), "EVENT:Accepted");
  EXPECT_EQ(EventName(28), "EVENT:DroppedDown");
  EXPECT_EQ(EventName(257), "EVENT:Selected");
  EXPECT_EQ(EventName(513), "EVENT:CloseWindow");
  EXPECT_EQ(EventName(549), "EVENT:Completed");
  EXPECT_EQ(EventName(564), "EVENT:Iconized");
  for (int unused : {0, 29, 256, 258, 512, 519, 530, 543, 550, 559, 565}) {
    EXPECT_EQ(EventName(unused), "") << unused;
  }
}

}  // namespace
}  // namespace vorsandt::ui

namespace vorsandt::ui {
namespace {

TEST(DisplayFormatterTest, PicturesFormatAndDeformat) {
  const DisplayFormatter& f = Formatter();
  EXPECT_EQ(f.Format("Smith     ", "@s20", false), "Smith");
  EXPECT_EQ(f.Format("Smith     ", "", false), "Smith");
  EXPECT_EQ(f.Format("1234.5", "@n10.2", true), "  1,234.50");
  EXPECT_EQ(f.Format(" 42 ", "", true), "42");
  EXPECT_EQ(f.Format("abc", "@notapicture(", false), "abc");  // falls back to the value
  EXPECT_EQ(f.Deformat("  1,234.50", "@n10.2", true), "1234.5");
  EXPECT_EQ(f.Deformat("Jones", "@s20", false), "Jones");
  EXPECT_EQ(f.Deformat(" 7 ", "", true), "7");
}

}  // namespace
}  // namespace vorsandt::ui
