// Drop lists and window-level alert keys: input from the platform's side,
// events and model on the procedure's side.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "ui/engine/engine.h"
#include "ui/engine/engine_test_defs.h"
#include "ui/engine/field_variable.h"
#include "ui/engine/test_platform.h"
#include "ui/engine/window.h"

namespace vorsandt::ui {
namespace {

using Events = std::vector<std::pair<int, int>>;

class WindowInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(set_.AddModule("test", {{"test.yaml", kTestWindows}}).has_value());
  }

  // Runs a procedure on `label` that records every event (and calls `react`
  // in each turn) while `drive` feeds input from the platform's side.
  Events Record(const char* label, const std::function<void(Window&)>& on_open,
                const std::function<void(Window&)>& react,
                const std::function<void(WindowId)>& drive) {
    Events seen;
    WindowId id = 0;
    std::atomic<bool> opened{false};
    Engine engine(&platform_, &set_);
    engine_ = &engine;
    engine.StartMain([&] {
      auto w = engine.CreateWindow("TESTS$TEST01", label);
      id = w->id();
      w->Open();
      if (on_open) on_open(*w);
      opened = true;
      while (w->Accept()) {
        seen.emplace_back(w->Event(), w->Field());
        keys_.push_back(w->Keycode());
        if (react) react(*w);
      }
      w->Close();
    });
    while (!opened) engine.WaitIdle(std::chrono::milliseconds(20));
    EXPECT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
    drive(id);
    Send(id, Input::Type::kClose, 0);
    engine.WaitForEnd();
    engine_ = nullptr;
    return seen;
  }

  void Send(WindowId id, Input::Type type, int field, int value = 0) {
    Input in;
    in.type = type;
    in.field = field;
    in.value = value;
    ASSERT_TRUE(engine_->WaitIdle(std::chrono::seconds(10)));
    engine_->Input(id, in);
    ASSERT_TRUE(engine_->WaitIdle(std::chrono::seconds(10)));
  }

  TestPlatform platform_;
  ResourceSet set_;
  Engine* engine_ = nullptr;
  std::vector<int> keys_;
};

std::vector<ListRow> Colours() { return {{{"Red"}, 0}, {{"Green"}, 0}, {{"Blue"}, 0}}; }

TEST_F(WindowInputTest, DroppingADropListLetsTheProcedureFillItFirst) {
  bool dropped_during_27 = true;
  Events seen = Record(
      "T$DROPS", nullptr,
      [&](Window& w) {
        if (w.Event() == event::kDroppingDown) {
          // The rows supplied now are what the platform shows dropped.
          dropped_during_27 = platform_.State(w.id())->Control(1)->dropped;
          w.SetRows(1, Colours());
        }
      },
      [&](WindowId id) {
        Send(id, Input::Type::kDropDown, 1);
        auto state = platform_.State(id);
        ASSERT_TRUE(state.has_value());
        EXPECT_TRUE(state->Control(1)->dropped);
        EXPECT_EQ(state->Control(1)->drop, 5);
        EXPECT_EQ(state->Control(1)->rows.size(), 3u);
        EXPECT_EQ(state->focus, 1);
        Send(id, Input::Type::kDropDown, 1);  // already down: nothing
        Send(id, Input::Type::kCloseUp, 1);   // closed without a choice: no event
        EXPECT_FALSE(platform_.State(id)->Control(1)->dropped);
        Send(id, Input::Type::kDropDown, 2);  // an entry does not drop
        Send(id, Input::Type::kDropDown, 4);  // nor does a box
      });
  EXPECT_FALSE(dropped_during_27);
  EXPECT_EQ(seen, (Events{{515, 0}, {27, 1}, {28, 1}, {513, 0}}));
}

TEST_F(WindowInputTest, ChoosingADropEntrySetsTheVariableThenAccepts) {
  std::string colour = "Green     ";
  std::vector<std::string> colour_at_accept;
  Events seen = Record(
      "T$DROPS",
      [&](Window& w) {
        w.SetRows(1, Colours());
        w.SetRows(3, Colours());
        ASSERT_EQ(w.Bind("colour", BindText(&colour, 10)), 1);
        w.Display();
        // The closed list shows the variable's value, and its row is chosen.
        EXPECT_EQ(w.GetProperty(1, prop::kText), "Green");
        EXPECT_EQ(w.Choice(1), 2);
        // The procedure's own choice shows too (the variable is its to set).
        w.Select(3, 1);
        EXPECT_EQ(w.GetProperty(3, prop::kText), "Red");
        EXPECT_EQ(w.Choice(3), 1);
      },
      [&](Window& w) {
        if (w.Event() == event::kAccepted && w.Field() == 1) colour_at_accept.push_back(colour);
      },
      [&](WindowId id) {
        Send(id, Input::Type::kDropDown, 1);
        Send(id, Input::Type::kSelectRow, 1, 3);
        auto state = platform_.State(id);
        ASSERT_TRUE(state.has_value());
        EXPECT_FALSE(state->Control(1)->dropped);
        EXPECT_EQ(state->Control(1)->text, "Blue");
        EXPECT_EQ(state->Control(1)->selected, 3);
        // A drop list without a variable still takes the choice (past the
        // last row: the last row).
        Send(id, Input::Type::kSelectRow, 3, 9);
        EXPECT_EQ(platform_.State(id)->Control(3)->text, "Blue");
      });
  EXPECT_EQ(colour, "Blue      ");
  EXPECT_EQ(colour_at_accept, (std::vector<std::string>{"Blue      "}));
  EXPECT_EQ(seen, (Events{{515, 0}, {27, 1}, {28, 1}, {2, 1}, {1, 1}, {2, 3}, {1, 3}, {513, 0}}));
}

TEST_F(WindowInputTest, WindowAlertKeysFireWhateverHasTheFocus) {
  Events seen = Record(
      "T$FORM",
      [&](Window& w) {
        w.SetProperty(0, prop::kAlertKey, key::kF1 + 1, 1);  // F2 on the window
        w.SetProperty(0, prop::kAlertKey, key::kInsert, 2);
        EXPECT_EQ(w.GetNumber(0, prop::kAlertKey, 1), key::kF1 + 1);
        EXPECT_EQ(w.GetNumber(0, prop::kAlertKey, 3), 0);
        WindowState s = w.Snapshot();
        EXPECT_EQ(s.alert_keys, (std::vector<int>{key::kF1 + 1, key::kInsert}));
        // The list's own alert key (Insert, from the definition) travels too.
        EXPECT_EQ(s.Control(5)->alert_keys, (std::vector<int>{key::kInsert}));
      },
      [&](Window& w) {
        if (w.Event() == event::kAlertKey && w.Field() == 2) {
          w.SetProperty(0, prop::kAlertKey, 0, 1);  // F2 no longer alerted
        }
      },
      [&](WindowId id) {
        Send(id, Input::Type::kKey, 0, key::kF1 + 1);  // nothing focused yet
        Send(id, Input::Type::kFocus, 2);
        Send(id, Input::Type::kKey, 0, key::kF1 + 1);  // on the focused entry
        Send(id, Input::Type::kKey, 0, key::kF1 + 1);  // removed: nothing
        // A key alerted on both: the list's own alert comes first, same event.
        Send(id, Input::Type::kKey, 5, key::kInsert);
        Send(id, Input::Type::kKey, 3, key::kInsert);
      });
  EXPECT_EQ(seen, (Events{{515, 0}, {15, 0}, {257, 2}, {15, 2}, {15, 5}, {15, 3}, {513, 0}}));
  EXPECT_EQ(keys_[1], key::kF1 + 1);
  EXPECT_EQ(keys_[3], key::kF1 + 1);
  EXPECT_EQ(keys_[5], key::kInsert);
}

// F1 opens the manual at the window's own section and is no event; a window
// that alerts F1 keeps the key for its procedure.
TEST_F(WindowInputTest, F1OpensTheWindowsHelpUnlessTheWindowAlertsIt) {
  Events seen = Record("T$FORM", nullptr, nullptr, [&](WindowId id) {
    Send(id, Input::Type::kFocus, 2);
    Send(id, Input::Type::kKey, 2, key::kF1);
  });
  EXPECT_EQ(seen, (Events{{515, 0}, {257, 2}, {513, 0}}));
  auto helps = platform_.Helps();
  ASSERT_EQ(helps.size(), 1u);
  EXPECT_EQ(helps[0].topic, "t-form");
  EXPECT_FALSE(helps[0].search);

  seen = Record("T$DROPS", nullptr, nullptr,
                [&](WindowId id) { Send(id, Input::Type::kKey, 0, key::kF1); });
  EXPECT_EQ(seen, (Events{{515, 0}, {15, 0}, {513, 0}}));
  EXPECT_EQ(platform_.Helps().size(), 1u);
}

// A paged list leaves every move to its procedure: the navigation keys
// become scroll events, and a right click a selection whose key is the right
// button (the procedure shows its popup on it).
TEST_F(WindowInputTest, PagedListKeysBecomeScrollEventsAndRightClickASelection) {
  Events seen = Record(
      "T$FORM", [](Window& w) { w.SetRows(5, Colours()); },
      [](Window& w) {
        if (w.Event() == event::kScrollDrag) {
          EXPECT_EQ(w.GetNumber(5, prop::kThumb), 100);
        }
      },
      [&](WindowId id) {
        const int keys[] = {key::kUp,   key::kDown, key::kPgUp, key::kPgDn,
                            key::kHome, key::kEnd,  key::kCtrl + key::kHome,
                            key::kCtrl + key::kEnd, key::kCtrl + key::kPgUp,
                            key::kCtrl + key::kPgDn};
        for (int k : keys) Send(id, Input::Type::kKey, 5, k);
        Send(id, Input::Type::kKey, 5, key::kMouseRight);
        Send(id, Input::Type::kKey, 5, 'A');  // not a move: no event
        Send(id, Input::Type::kScroll, 5, event::kPageDown);
        Send(id, Input::Type::kScroll, 5, 9);  // not a scroll event
        Send(id, Input::Type::kThumb, 5, 140);
      });
  EXPECT_EQ(seen, (Events{{515, 0}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {7, 5},
                          {8, 5}, {7, 5}, {8, 5}, {2, 5}, {6, 5}, {20, 5}, {513, 0}}));
  EXPECT_EQ(keys_[11], key::kMouseRight);
  EXPECT_EQ(keys_[12], 0);
}

// The rows a paged list can show change when its window is resized: the
// procedure reads the new count, and once the window is up it hears "sized"
// so that it can refill its page at once. An unchanged count says nothing.
TEST_F(WindowInputTest, APagedListsNewRowCountIsTheWindowsSizedEvent) {
  std::vector<int64_t> counts;
  Events seen = Record(
      "T$FORM", nullptr,
      [&](Window& w) { counts.push_back(w.GetNumber(5, prop::kItems)); },
      [&](WindowId id) {
        Send(id, Input::Type::kListItems, 5, 14);
        Send(id, Input::Type::kListItems, 5, 14);
        Send(id, Input::Type::kListItems, 10, 3);  // a plain list: counted, no event
        Send(id, Input::Type::kListItems, 5, 0);  // no rows at all is no count
        Send(id, Input::Type::kListItems, 5, 6);
      });
  EXPECT_EQ(seen, (Events{{515, 0}, {561, 0}, {561, 0}, {513, 0}}));
  EXPECT_EQ(counts, (std::vector<int64_t>{10, 14, 6, 6}));
}

TEST_F(WindowInputTest, BoxColoursAndWindowAlertsFromTheDefinitionReachThePlatform) {
  Record("T$DROPS", nullptr, nullptr, [&](WindowId id) {
    auto state = platform_.State(id);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->Control(4)->colours[0], 0x0000FFu);
    EXPECT_EQ(state->Control(4)->colours[1], kDefaultColour);
    EXPECT_EQ(state->Control(1)->colours[0], kDefaultColour);
    // Keys alerted on the window by its definition.
    EXPECT_EQ(state->alert_keys, (std::vector<int>{key::kF1}));
  });
}

TEST_F(WindowInputTest, ACloseFromTheUserCanBeRefusedAndAPostedCloseIsTold) {
  std::vector<bool> by_user;
  int refused = 0;
  Events seen = Record(
      "T$CHILD", nullptr,
      [&](Window& w) {
        if (w.Event() != event::kCloseWindow) return;
        by_user.push_back(w.CloseAskedByUser());
        // The first close box is refused; then a posted close ends the loop.
        if (refused++ == 0) {
          w.KeepOpen();
          w.Post(event::kCloseWindow);
        }
      },
      [&](WindowId id) { Send(id, Input::Type::kClose, 0); });
  ASSERT_EQ(by_user.size(), 2u);
  EXPECT_TRUE(by_user[0]) << "the close box is the user's";
  EXPECT_FALSE(by_user[1]) << "a posted close is not";
  int closes = 0;
  for (const auto& [event, field] : seen) closes += event == event::kCloseWindow;
  EXPECT_EQ(closes, 2);
}

// Tab out of an entry that then refuses its text: the platform sends the
// completed text and, right behind it, the focus move to the next control.
// The procedure puts the focus back on the entry after telling the user;
// the focus move heard after that must not take it away again.
TEST_F(WindowInputTest, AnEntryThatRefusesKeepsTheFocusOverTheTabThatLeftIt) {
  uint8_t record[4] = {};
  files::FieldInfo count;
  count.name = "count";
  count.type = files::kTypeLong;
  count.size = 4;
  std::vector<int> focus;  // after each turn
  Events seen = Record(
      "T$FORM", [&](Window& w) { w.Bind("count", BindField(record, 4, count)); },
      [&](Window& w) {
        if (w.Event() == event::kRejected) w.Select(w.Field());
        focus.push_back(w.Snapshot().focus);
      },
      [&](WindowId id) {
        Input typed;
        typed.type = Input::Type::kAccept;
        typed.field = 3;
        typed.text = "abc";
        typed.has_text = true;
        Input moved;
        moved.type = Input::Type::kFocus;
        moved.field = 2;
        ASSERT_TRUE(engine_->WaitIdle(std::chrono::seconds(10)));
        engine_->Input(id, std::vector<Input>{typed, moved});
        ASSERT_TRUE(engine_->WaitIdle(std::chrono::seconds(10)));
        // A later focus move of the user's own is heard as ever.
        Send(id, Input::Type::kFocus, 2);
      });
  const Events want = {{event::kOpenWindow, 0},
                       {event::kRejected, 3},
                       {event::kSelected, 2},
                       {event::kCloseWindow, 0}};
  EXPECT_EQ(seen, want);
  ASSERT_EQ(focus.size(), want.size());
  EXPECT_EQ(focus[1], 3) << "the refusing entry keeps the focus";
  EXPECT_EQ(focus[2], 2);
}

}  // namespace
}  // namespace vorsandt::ui
