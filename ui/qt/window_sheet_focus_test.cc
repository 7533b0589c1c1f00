#include <gtest/gtest.h>

#include <QApplication>

#include "ui/engine/definition.h"
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {
namespace {

ControlState Control(int field, Kind kind, Rect at, int parent = 0) {
  ControlState c;
  c.field = field;
  c.kind = kind;
  c.at = at;
  c.parent = parent;
  return c;
}

// A form: a sheet of two tabs, an entry on the first, a lookup button
// declared before two entries on the second, and OK under the sheet.
WindowState TwoTabForm() {
  WindowState s;
  s.id = 3;
  s.caption = "Form";
  s.at = Rect{kNotGiven, kNotGiven, 300, 200};
  s.font = FontBlock{"Sans", 9, 0xFFFFFFFF, 0xFFFFFFFF};
  ControlState sheet = Control(1, Kind::kSheet, {4, 4, 290, 160});
  sheet.value = 1;
  s.controls.push_back(sheet);
  s.controls.push_back(Control(TabId(1, 1), Kind::kTab, {}, 1));
  s.controls.push_back(Control(2, Kind::kEntry, {20, 30, 80, 12}, TabId(1, 1)));
  s.controls.push_back(Control(TabId(1, 2), Kind::kTab, {}, 1));
  ControlState lookup = Control(3, Kind::kButton, {160, 30, 14, 12}, TabId(1, 2));
  lookup.text = "...";
  s.controls.push_back(lookup);
  s.controls.push_back(Control(4, Kind::kEntry, {70, 30, 80, 12}, TabId(1, 2)));
  s.controls.push_back(Control(5, Kind::kEntry, {70, 50, 80, 12}, TabId(1, 2)));
  ControlState ok = Control(6, Kind::kButton, {240, 180, 50, 14});
  ok.text = "OK";
  s.controls.push_back(ok);
  s.focus = 2;
  return s;
}

class SheetFocusTest : public testing::Test {
 protected:
  void SetUp() override {
    state_ = TwoTabForm();
    view_ = std::make_unique<WindowView>(
        state_, [this](WindowId, const Input& in) { inputs_.push_back(in); });
    view_->show();
    view_->activateWindow();
    view_->SetActive(true);
    QApplication::processEvents();
    if (!view_->isActiveWindow()) GTEST_SKIP() << "the offscreen platform gave no focus";
    ASSERT_TRUE(view_->ControlWidget(2)->hasFocus());
    inputs_.clear();
  }

  // The snapshot the engine sends once the second tab is chosen.
  void ChooseSecondTab(int focus) {
    state_.controls[0].value = 2;
    state_.focus = focus;
    view_->Apply(state_);
    QApplication::processEvents();
  }

  int FocusInputTo() const {
    for (const Input& in : inputs_) {
      if (in.type == Input::Type::kFocus) return in.field;
    }
    return 0;
  }

  WindowState state_;
  std::unique_ptr<WindowView> view_;
  std::vector<Input> inputs_;
};

TEST_F(SheetFocusTest, ATabThatHidesTheFocusHandsItToTheFirstEntryOfTheNewTab) {
  ChooseSecondTab(/*focus=*/2);
  EXPECT_TRUE(view_->ControlWidget(4)->hasFocus())
      << "focus on "
      << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                      : "none");
  // The procedure hears the move, as it would hear a Tab key's.
  EXPECT_EQ(FocusInputTo(), 4);
  // And back: the first tab's entry, not the tab bar or OK.
  inputs_.clear();
  state_.controls[0].value = 1;
  state_.focus = 4;
  view_->Apply(state_);
  QApplication::processEvents();
  EXPECT_TRUE(view_->ControlWidget(2)->hasFocus())
      << "focus on "
      << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                      : "none");
  EXPECT_EQ(FocusInputTo(), 2);
}

TEST_F(SheetFocusTest, TheProceduresOwnChoiceOfFocusStands) {
  ChooseSecondTab(/*focus=*/5);
  EXPECT_TRUE(view_->ControlWidget(5)->hasFocus());
  EXPECT_EQ(FocusInputTo(), 0);
}

TEST_F(SheetFocusTest, AFocusOutsideTheSheetStaysWhereItIs) {
  view_->ControlWidget(6)->setFocus();
  QApplication::processEvents();
  inputs_.clear();
  ChooseSecondTab(/*focus=*/6);
  EXPECT_TRUE(view_->ControlWidget(6)->hasFocus());
  EXPECT_EQ(FocusInputTo(), 0);
}

}  // namespace
}  // namespace vorsandt::ui::qt
