#include "ui/qt/window_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <QWheelEvent>

#include "ui/qt/list_control.h"
#include "ui/qt/mappings.h"

namespace vorsandt::ui::qt {
namespace {

ControlState Make(int field, Kind kind, Rect at, std::string text = {}, int parent = 0) {
  ControlState c;
  c.field = field;
  c.kind = kind;
  c.at = at;
  c.text = std::move(text);
  c.parent = parent;
  return c;
}

std::vector<ListRow> Rows(std::initializer_list<std::pair<std::string, int>> rows) {
  std::vector<ListRow> out;
  for (const auto& [text, level] : rows) out.push_back(ListRow{{text, "x"}, level});
  return out;
}

// A window with one control of every kind the definitions use.
WindowState EveryKind() {
  WindowState s;
  s.id = 7;
  s.caption = "Every control";
  s.at = Rect{kNotGiven, kNotGiven, 400, 260};
  s.font = FontBlock{"Sans", 9, 0xFFFFFFFF, 0xFFFFFFFF};
  s.controls.push_back(Make(1, Kind::kString, {4, 4, kNotGiven, kNotGiven}, "A fixed string"));
  s.controls.push_back(Make(2, Kind::kPrompt, {4, 20, 40, 10}, "&Code:"));
  ControlState entry = Make(3, Kind::kEntry, {48, 20, 80, 12}, "ABC");
  entry.tip = "Type the code";
  entry.picture = "@s10";
  s.controls.push_back(entry);
  ControlState ok = Make(4, Kind::kButton, {240, 230, 56, 14}, "&OK");
  ok.default_button = true;
  ok.tip = "Save";
  s.controls.push_back(ok);
  ControlState check = Make(5, Kind::kCheck, {4, 40, 80, 10}, "Insured");
  check.value = 1;
  s.controls.push_back(check);
  ControlState list = Make(6, Kind::kList, {4, 60, 200, 80});
  list.columns = {Column{60, 'L', true, true, false, false, true, "CODE", 0, "s10"},
                  Column{40, 'R', false, false, false, false, true, "VALUE", 0, "n5"}};
  list.rows = Rows({{"first", 0}, {"second", 0}, {"third", 0}});
  list.selected = 2;
  list.paged = true;
  list.vscroll = true;
  list.thumb = 30;
  s.controls.push_back(list);
  s.controls.push_back(Make(7, Kind::kGroup, {210, 60, 180, 60}, "Details"));
  ControlState tb = Make(8, Kind::kTextBox, {215, 72, 170, 40}, "Notes here", 7);
  s.controls.push_back(tb);
  ControlState sheet = Make(9, Kind::kSheet, {210, 130, 180, 90});
  sheet.value = 1;
  s.controls.push_back(sheet);
  s.controls.push_back(Make(TabId(9, 1), Kind::kTab, {}, "General", 9));
  s.controls.push_back(Make(10, Kind::kString, {220, 150, 60, 10}, "On general", TabId(9, 1)));
  s.controls.push_back(Make(TabId(9, 2), Kind::kTab, {}, "More", 9));
  s.controls.push_back(Make(11, Kind::kString, {220, 150, 60, 10}, "On more", TabId(9, 2)));
  s.controls.push_back(Make(12, Kind::kBox, {4, 150, 50, 30}));
  s.controls.push_back(Make(13, Kind::kLine, {4, 190, 100, 0}));
  s.controls.push_back(Make(14, Kind::kImage, {60, 150, 40, 30}));
  s.controls.push_back(Make(15, Kind::kRegion, {60, 150, 40, 30}));
  ControlState spin = Make(16, Kind::kSpin, {110, 150, 40, 12}, "3");
  spin.upper = 9;
  s.controls.push_back(spin);
  ControlState progress = Make(17, Kind::kProgress, {110, 170, 80, 10});
  progress.upper = 100;
  progress.value = 40;
  s.controls.push_back(progress);
  MenuState menu;
  menu.text = "&Actions";
  MenuState item;
  item.number = -1;
  item.text = "&Refresh";
  item.message = "Read again";
  menu.items.push_back(item);
  s.menus.push_back(menu);
  return s;
}

class WindowViewTest : public testing::Test {
 protected:
  void SetUp() override {
    state_ = EveryKind();
    view_ = std::make_unique<WindowView>(state_, [this](WindowId id, const Input& in) {
      EXPECT_EQ(id, 7);
      inputs_.push_back(in);
    });
    view_->show();
    QApplication::processEvents();
    inputs_.clear();  // the list's row count reported at showing
  }

  template <typename T>
  T* Widget(int field) {
    T* w = qobject_cast<T*>(view_->ControlWidget(field));
    EXPECT_NE(w, nullptr) << "field " << field;
    return w;
  }
  ListControl* List() { return Widget<ListControl>(6); }

  WindowState state_;
  std::unique_ptr<WindowView> view_;
  std::vector<Input> inputs_;
};

TEST_F(WindowViewTest, EveryControlIsBuiltWithItsText) {
  EXPECT_EQ(view_->windowTitle(), "Every control");
  EXPECT_EQ(Widget<QLabel>(1)->text(), "A fixed string");
  EXPECT_EQ(Widget<QLabel>(2)->text(), "&Code:");
  EXPECT_EQ(Widget<QLabel>(2)->buddy(), view_->ControlWidget(3));
  EXPECT_EQ(Widget<QLineEdit>(3)->text(), "ABC");
  EXPECT_EQ(Widget<QLineEdit>(3)->toolTip(), "Type the code");
  EXPECT_EQ(Widget<QLineEdit>(3)->maxLength(), 10);
  EXPECT_EQ(Widget<QPushButton>(4)->text(), "&OK");
  EXPECT_TRUE(Widget<QPushButton>(4)->isDefault());
  EXPECT_EQ(Widget<QPushButton>(4)->toolTip(), "Save");
  EXPECT_TRUE(Widget<QCheckBox>(5)->isChecked());
  EXPECT_EQ(Widget<QCheckBox>(5)->text(), "Insured");
  QTreeWidget* table = List()->table();
  ASSERT_EQ(table->topLevelItemCount(), 3);
  EXPECT_EQ(table->topLevelItem(1)->text(0), "second");
  EXPECT_EQ(table->headerItem()->text(0), "CODE");
  EXPECT_EQ(table->headerItem()->text(1), "VALUE");
  EXPECT_EQ(table->currentItem(), table->topLevelItem(1));
  EXPECT_EQ(table->topLevelItem(0)->textAlignment(1) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  // A list's first page fits its columns: the heading and every value whole.
  const QFontMetrics heading_metrics(table->header()->font());
  EXPECT_GE(table->columnWidth(0), heading_metrics.horizontalAdvance("CODE"));
  for (int row = 0; row < table->topLevelItemCount(); ++row) {
    EXPECT_GE(table->columnWidth(0),
              table->fontMetrics().horizontalAdvance(table->topLevelItem(row)->text(0)));
  }
  EXPECT_TRUE(List()->scrollBar()->isVisible());
  EXPECT_EQ(List()->scrollBar()->value(), 30);
  EXPECT_EQ(Widget<QGroupBox>(7)->title(), "Details");
  EXPECT_EQ(Widget<QPlainTextEdit>(8)->toPlainText(), "Notes here");
  QTabBar* tabs = view_->ControlWidget(9)->findChild<QTabBar*>();
  ASSERT_NE(tabs, nullptr);
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), "General");
  EXPECT_EQ(tabs->tabText(1), "More");
  EXPECT_EQ(view_->ControlWidget(TabId(9, 1)), nullptr);  // tabs have no widget of their own
  for (int field : {12, 13, 14, 15}) EXPECT_NE(view_->ControlWidget(field), nullptr) << field;
  EXPECT_EQ(Widget<QSpinBox>(16)->value(), 3);
  EXPECT_EQ(Widget<QSpinBox>(16)->maximum(), 9);
  EXPECT_EQ(Widget<QProgressBar>(17)->value(), 40);
  ASSERT_NE(view_->menuBar(), nullptr);
  ASSERT_EQ(view_->menuBar()->actions().size(), 1);
  EXPECT_EQ(view_->menuBar()->actions()[0]->text(), "&Actions");
}

TEST_F(WindowViewTest, ControlsArePlacedInDialogUnitsOfTheWindowFont) {
  const BaseUnits& base = view_->base();
  QRect button = view_->ControlWidget(4)->geometry();
  EXPECT_EQ(button, QRect(ToPixelsX(240, base), ToPixelsY(230, base), ToPixelsX(56, base),
                          ToPixelsY(14, base)));
  // A string without a size takes its natural size at its place.
  QWidget* string = view_->ControlWidget(1);
  EXPECT_EQ(string->pos(), QPoint(ToPixelsX(4, base), ToPixelsY(4, base)));
  EXPECT_GE(string->width(), string->sizeHint().width());
  // A bigger window font gives a bigger window.
  WindowState big = state_;
  big.font = FontBlock{"Sans", 18, 0xFFFFFFFF, 0xFFFFFFFF};
  WindowView large(big, {});
  EXPECT_GT(large.base().width, base.width);
  EXPECT_GT(large.ControlWidget(4)->width(), view_->ControlWidget(4)->width());
}

TEST_F(WindowViewTest, OnlyTheChosenTabsControlsShow) {
  EXPECT_TRUE(view_->ControlWidget(10)->isVisible());
  EXPECT_FALSE(view_->ControlWidget(11)->isVisible());
  WindowState next = state_;
  next.controls[8].value = 2;  // the sheet
  view_->Apply(next);
  EXPECT_FALSE(view_->ControlWidget(10)->isVisible());
  EXPECT_TRUE(view_->ControlWidget(11)->isVisible());
  QTabBar* tabs = view_->ControlWidget(9)->findChild<QTabBar*>();
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_TRUE(inputs_.empty()) << "a snapshot is not reported back as input";
  // A tab's own state reaches its place in the tab bar, found by its id.
  next.controls[9].text = "Renamed";  // tab 1
  next.controls[11].disabled = true;  // tab 2
  view_->Apply(next);
  EXPECT_EQ(tabs->tabText(0), "Renamed");
  EXPECT_TRUE(tabs->isTabEnabled(0));
  EXPECT_FALSE(tabs->isTabEnabled(1));
  EXPECT_EQ(tabs->tabText(1), "More");
}

TEST_F(WindowViewTest, SnapshotsHideDisableAndChangeTexts) {
  WindowState next = state_;
  next.caption = "Renamed";
  next.controls[0].text = "Changed";
  next.controls[3].disabled = true;  // button
  next.controls[6].hidden = true;    // group: its text box goes with it
  next.controls[18].value = 75;
  next.controls[5].rows = Rows({{"only", 0}});
  next.controls[5].selected = 1;
  view_->Apply(next);
  EXPECT_EQ(view_->windowTitle(), "Renamed");
  EXPECT_EQ(Widget<QLabel>(1)->text(), "Changed");
  EXPECT_FALSE(view_->ControlWidget(4)->isEnabled());
  EXPECT_FALSE(view_->ControlWidget(7)->isVisible());
  EXPECT_FALSE(view_->ControlWidget(8)->isVisible());
  EXPECT_EQ(Widget<QProgressBar>(17)->value(), 75);
  EXPECT_EQ(List()->table()->topLevelItemCount(), 1);
  EXPECT_TRUE(inputs_.empty());
}

TEST_F(WindowViewTest, ClickingAButtonAcceptsIt) {
  QTest::mouseClick(Widget<QPushButton>(4), Qt::LeftButton);
  // The button may take the focus first; the accept comes last.
  ASSERT_FALSE(inputs_.empty());
  for (size_t i = 0; i + 1 < inputs_.size(); ++i) {
    EXPECT_EQ(inputs_[i].type, Input::Type::kFocus);
    EXPECT_EQ(inputs_[i].field, 4);
  }
  EXPECT_EQ(inputs_.back().type, Input::Type::kAccept);
  EXPECT_EQ(inputs_.back().field, 4);
  EXPECT_FALSE(inputs_.back().has_text);
}

TEST_F(WindowViewTest, TypingIntoAnEntrySendsTheTextInTheRecordsCharacterSet) {
  QLineEdit* entry = Widget<QLineEdit>(3);
  entry->setFocus();
  entry->selectAll();
  QTest::keyClicks(entry, "Caf");
  QKeyEvent e_acute(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier,
                    QString::fromUtf8("\xC3\xA9"));
  QApplication::sendEvent(entry, &e_acute);
  QTest::keyClick(entry, Qt::Key_Return);
  std::vector<Input> accepts;
  for (const Input& in : inputs_) {
    if (in.type == Input::Type::kAccept) accepts.push_back(in);
  }
  ASSERT_EQ(accepts.size(), 1u);
  EXPECT_EQ(accepts[0].field, 3);
  EXPECT_TRUE(accepts[0].has_text);
  EXPECT_EQ(accepts[0].text, "Caf\xE9");
  // Enter then goes to the engine once, which presses the default button.
  int enters = 0;
  for (const Input& in : inputs_) {
    if (in.type == Input::Type::kKey && in.value == key::kEnter) ++enters;
  }
  EXPECT_EQ(enters, 1);
  ASSERT_FALSE(inputs_.empty());
  EXPECT_EQ(inputs_.back().type, Input::Type::kKey);
  EXPECT_EQ(inputs_.back().field, 3);
  // An unchanged entry that loses the focus accepts nothing.
  inputs_.clear();
  QTest::keyClick(entry, Qt::Key_Return);
  for (const Input& in : inputs_) EXPECT_NE(in.type, Input::Type::kAccept);
}

TEST_F(WindowViewTest, CheckBoxAndSpinBoxAndTextBoxSendTheirValues) {
  QCheckBox* check = Widget<QCheckBox>(5);
  QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));  // on the box
  ASSERT_FALSE(inputs_.empty());
  EXPECT_EQ(inputs_.back().type, Input::Type::kAccept);
  EXPECT_EQ(inputs_.back().field, 5);
  EXPECT_EQ(inputs_.back().text, "0");
  inputs_.clear();
  QSpinBox* spin = Widget<QSpinBox>(16);
  spin->setValue(7);
  emit spin->editingFinished();
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].field, 16);
  EXPECT_EQ(inputs_[0].text, "7");
  inputs_.clear();
  QPlainTextEdit* text = Widget<QPlainTextEdit>(8);
  text->setFocus();
  text->moveCursor(QTextCursor::End);
  QTest::keyClicks(text, "!");
  Widget<QLineEdit>(3)->setFocus();
  bool accepted = false;
  for (const Input& in : inputs_) {
    if (in.type == Input::Type::kAccept && in.field == 8) {
      accepted = true;
      EXPECT_EQ(in.text, "Notes here!");
    }
  }
  // Offscreen windows may not take the focus; only check when it moved.
  if (Widget<QLineEdit>(3)->hasFocus()) {
    EXPECT_TRUE(accepted);
  }
}

TEST_F(WindowViewTest, ScrollBarActionsBecomeScrollInputs) {
  QScrollBar* bar = List()->scrollBar();
  const std::pair<QAbstractSlider::SliderAction, int> actions[] = {
      {QAbstractSlider::SliderSingleStepSub, event::kScrollUp},
      {QAbstractSlider::SliderSingleStepAdd, event::kScrollDown},
      {QAbstractSlider::SliderPageStepSub, event::kPageUp},
      {QAbstractSlider::SliderPageStepAdd, event::kPageDown},
      {QAbstractSlider::SliderToMinimum, event::kScrollTop},
      {QAbstractSlider::SliderToMaximum, event::kScrollBottom},
  };
  for (const auto& [action, number] : actions) {
    inputs_.clear();
    bar->triggerAction(action);
    ASSERT_EQ(inputs_.size(), 1u) << action;
    EXPECT_EQ(inputs_[0].type, Input::Type::kScroll);
    EXPECT_EQ(inputs_[0].field, 6);
    EXPECT_EQ(inputs_[0].value, number);
  }
  inputs_.clear();
  bar->setSliderDown(true);
  bar->setSliderPosition(64);
  bar->setSliderDown(false);
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kThumb);
  EXPECT_EQ(inputs_[0].value, 64);
}

TEST_F(WindowViewTest, PagedListLeavesNavigationKeysToTheProcedure) {
  QTreeWidget* table = List()->table();
  QTest::keyClick(table, Qt::Key_Down);
  QTest::keyClick(table, Qt::Key_PageDown, Qt::ControlModifier);
  QTest::keyClick(table, Qt::Key_Insert);
  QTest::keyClick(table, Qt::Key_Return, Qt::ControlModifier);
  ASSERT_EQ(inputs_.size(), 4u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kKey);
  EXPECT_EQ(inputs_[0].value, key::kDown);
  EXPECT_EQ(inputs_[1].value, key::kCtrl + key::kPgDn);
  EXPECT_EQ(inputs_[2].value, key::kInsert);
  EXPECT_EQ(inputs_[3].value, 525);
  for (const Input& in : inputs_) EXPECT_EQ(in.field, 6);
  // The list itself did not move.
  EXPECT_EQ(table->currentItem(), table->topLevelItem(1));
}

TEST_F(WindowViewTest, ClickingRowsSelectsThemAndDoubleClickIsAKey) {
  QTreeWidget* table = List()->table();
  QPoint third = table->visualItemRect(table->topLevelItem(2)).center();
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, third);
  int selects = 0;
  for (const Input& in : inputs_) {
    if (in.type != Input::Type::kSelectRow) continue;
    ++selects;
    EXPECT_EQ(in.value, 3);
    EXPECT_EQ(in.field, 6);
  }
  EXPECT_EQ(selects, 1);
  inputs_.clear();
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, third);
  ASSERT_FALSE(inputs_.empty());
  EXPECT_EQ(inputs_.back().type, Input::Type::kKey);
  EXPECT_EQ(inputs_.back().value, key::kMouseLeft2);
}

TEST_F(WindowViewTest, ChoosingATabAndAMenuItemAndTheCloseBox) {
  view_->ControlWidget(9)->findChild<QTabBar*>()->setCurrentIndex(1);
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kSelectTab);
  EXPECT_EQ(inputs_[0].field, 9);
  EXPECT_EQ(inputs_[0].value, 2);
  inputs_.clear();
  QMenu* menu = view_->menuBar()->actions()[0]->menu();
  menu->actions()[0]->trigger();
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kAccept);
  EXPECT_EQ(inputs_[0].field, -1);
  EXPECT_EQ(menu->actions()[0]->statusTip(), "Read again");
  inputs_.clear();
  EXPECT_FALSE(view_->close());
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kClose);
  view_->AllowClose();
  EXPECT_TRUE(view_->close());
}

// Esc and Ctrl combinations belong to the engine (Esc presses a dialog's
// Cancel, Ctrl+F4 closes a child window); Ctrl+C on a list copies its
// selected row, the columns separated by tabs, and tells the engine nothing.
TEST_F(WindowViewTest, EscAndCtrlF4GoToTheEngineAndCtrlCCopiesTheSelectedRow) {
  QTest::keyClick(Widget<QLineEdit>(3), Qt::Key_Escape);
  QTest::keyClick(Widget<QLineEdit>(3), Qt::Key_F4, Qt::ControlModifier);
  ASSERT_EQ(inputs_.size(), 2u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kKey);
  EXPECT_EQ(inputs_[0].value, key::kEsc);
  EXPECT_EQ(inputs_[1].value, key::kCtrl + key::kF1 + 3);
  inputs_.clear();
  QApplication::clipboard()->clear();
  QTest::keyClick(List()->table(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "second\tx");
  for (const Input& in : inputs_) EXPECT_NE(in.type, Input::Type::kKey) << in.value;
}

// A tab chosen with the mouse leaves the focus where it was, so typing into
// a list still locates in it.
TEST_F(WindowViewTest, ClickingATabLeavesTheFocusOnTheList) {
  view_->activateWindow();
  QApplication::processEvents();
  if (!view_->isActiveWindow()) GTEST_SKIP() << "the offscreen platform gave no focus";
  List()->table()->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(List()->table()->hasFocus());
  QTabBar* tabs = view_->ControlWidget(9)->findChild<QTabBar*>();
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
  QApplication::processEvents();
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_TRUE(List()->table()->hasFocus())
      << "focus on "
      << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                      : "none");
}

TEST_F(WindowViewTest, ReturningToTheWindowIsGainFocusButTheFirstActivationIsNot) {
  WindowView view(state_, [this](WindowId, const Input& in) { inputs_.push_back(in); });
  inputs_.clear();
  auto gains = [&] {
    int n = 0;
    for (const Input& in : inputs_) n += in.type == Input::Type::kGainFocus;
    return n;
  };
  view.SetActive(true);
  EXPECT_EQ(gains(), 0);
  view.SetActive(true);
  EXPECT_EQ(gains(), 0);
  view.SetActive(false);
  view.SetActive(true);
  EXPECT_EQ(gains(), 1);
}

TEST_F(WindowViewTest, TheEnginesFocusWaitsUntilTheWindowIsActive) {
  WindowState next = state_;
  next.focus = 3;
  WindowView view(next, [this](WindowId, const Input& in) { inputs_.push_back(in); });
  view.show();
  view.activateWindow();
  QApplication::processEvents();
  if (!view.isActiveWindow()) GTEST_SKIP() << "the offscreen platform gave no focus";
  // Opening activated the window: the engine's choice has the focus.
  EXPECT_EQ(QApplication::focusWidget(), view.ControlWidget(3));
  // In the background the choice waits.
  view.SetActive(false);
  next.focus = 16;
  view.Apply(next);
  QWidget* spin = view.ControlWidget(16);
  EXPECT_FALSE(spin->hasFocus());
  view.SetActive(true);
  EXPECT_TRUE(spin->hasFocus());
  for (const Input& in : inputs_)
    EXPECT_NE(in.type, Input::Type::kFocus) << "the engine's own choice";
}

TEST_F(WindowViewTest, ListReportsTheRowsThatFit) {
  WindowView view(state_, [this](WindowId, const Input& in) { inputs_.push_back(in); });
  view.show();
  QApplication::processEvents();
  auto* list = qobject_cast<ListControl*>(view.ControlWidget(6));
  const Input* last = nullptr;
  for (const Input& in : inputs_) {
    if (in.type == Input::Type::kListItems) last = &in;
  }
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->field, 6);
  EXPECT_EQ(last->value, list->VisibleRows());
  // 80 dialog units hold several rows of the window font.
  EXPECT_GT(last->value, 3);
}

// A click on the bar asks the procedure to move; the thumb stays where the
// procedure put it until its next snapshot says otherwise.
TEST_F(WindowViewTest, ScrollBarClicksLeaveTheThumbToTheProcedure) {
  QScrollBar* bar = List()->scrollBar();
  ASSERT_EQ(bar->value(), 30);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(bar->value(), 30);
  EXPECT_EQ(bar->sliderPosition(), 30);
  ASSERT_EQ(inputs_.size(), 2u);
  state_.controls[5].thumb = 45;
  view_->Apply(state_);
  EXPECT_EQ(bar->value(), 45);
}

TEST_F(WindowViewTest, WheelNotchesOnTheListOrItsBarBecomeScrollEvents) {
  auto wheel = [](QWidget* target, int dy) {
    QPointF at(5, 5);
    QWheelEvent e(at, target->mapToGlobal(at), QPoint(), QPoint(0, dy), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &e);
  };
  int lines = std::max(1, QApplication::wheelScrollLines());
  auto count = [&](int number) {
    int n = 0;
    for (const Input& in : inputs_) n += in.type == Input::Type::kScroll && in.value == number;
    return n;
  };
  wheel(List()->table()->viewport(), -120);
  EXPECT_EQ(count(event::kScrollDown), lines);
  inputs_.clear();
  // Half notches (a touchpad) add up to one.
  wheel(List()->table()->viewport(), 60);
  EXPECT_TRUE(inputs_.empty());
  wheel(List()->table()->viewport(), 60);
  EXPECT_EQ(count(event::kScrollUp), lines);
  inputs_.clear();
  wheel(List()->scrollBar(), 120);
  EXPECT_EQ(count(event::kScrollUp), lines);
  EXPECT_EQ(List()->scrollBar()->value(), 30);
  EXPECT_EQ(List()->table()->currentItem(), List()->table()->topLevelItem(1));
}

// Enlarging the window gives the page list the room: more rows fit, and the
// controls below and to the right of it move along instead of being covered.
TEST_F(WindowViewTest, EnlargingTheWindowGrowsThePageListAndMovesWhatLiesBeyondIt) {
  QWidget* list = view_->ControlWidget(6);
  QWidget* ok = view_->ControlWidget(4);
  QWidget* entry = view_->ControlWidget(3);
  QWidget* sheet = view_->ControlWidget(9);
  const QRect list_before = list->geometry(), ok_before = ok->geometry();
  const QRect entry_before = entry->geometry(), sheet_before = sheet->geometry();
  int rows_before = List()->VisibleRows();
  view_->resize(view_->width() + 50, view_->height() + 120);
  QApplication::processEvents();
  EXPECT_EQ(list->geometry().height(), list_before.height() + 120);
  EXPECT_EQ(list->geometry().width(), list_before.width() + 50);
  EXPECT_EQ(list->geometry().topLeft(), list_before.topLeft());
  EXPECT_EQ(ok->geometry(), ok_before.translated(50, 120));
  EXPECT_EQ(entry->geometry(), entry_before);
  EXPECT_EQ(sheet->geometry().topLeft(), sheet_before.topLeft() + QPoint(50, 0));
  EXPECT_GT(List()->VisibleRows(), rows_before + 3);
  const Input* last = nullptr;
  for (const Input& in : inputs_) {
    if (in.type == Input::Type::kListItems) last = &in;
  }
  ASSERT_NE(last, nullptr) << "the new row count was not reported";
  EXPECT_EQ(last->value, List()->VisibleRows());
  // Back to the designed size: everything where the definition put it.
  view_->resize(view_->width() - 50, view_->height() - 120);
  QApplication::processEvents();
  EXPECT_EQ(list->geometry(), list_before);
  EXPECT_EQ(ok->geometry(), ok_before);
}

TEST(CellTextTest, PicturePaddingIsNotDrawn) {
  EXPECT_EQ(CellText("Sound bar with wireless subwoofer      ", 'L'),
            "Sound bar with wireless subwoofer");
  EXPECT_EQ(CellText("  Indented", 'L'), "  Indented");
  EXPECT_EQ(CellText("      1,234.50", 'R'), "1,234.50");
  EXPECT_EQ(CellText("   12%  ", 'C'), "12%");
  EXPECT_EQ(CellText("     ", 'L'), "");
  EXPECT_EQ(CellText("", 'R'), "");
}

// A tree list: "a" is open (b is deeper), "b" a leaf, "c" closed (negative
// level and nothing deeper after it).
TEST(TreeListTest, RowsAreDrawnByTheLevelRuleAndTheNodeBoxOpensAndCloses) {
  ControlState c = Make(1, Kind::kList, {0, 0, 200, 80});
  Column column;
  column.width = 190;
  column.tree = true;
  column.icons = true;
  c.columns = {column};
  c.rows = {ListRow{{"a"}, -1}, ListRow{{"b"}, 2}, ListRow{{"c"}, -1}};
  std::vector<Input> inputs;
  ListControl list(
      c, BaseUnits{6, 13}, [&](const Input& in) { inputs.push_back(in); }, nullptr);
  list.resize(300, 200);
  list.show();
  QApplication::processEvents();
  inputs.clear();
  ASSERT_TRUE(list.IsTree());
  QTreeWidget* table = list.table();
  auto state = [&](int row) {
    return static_cast<TreeState>(table->topLevelItem(row)->data(0, Qt::UserRole + 2).toInt());
  };
  EXPECT_EQ(state(0), TreeState::kOpen);
  EXPECT_EQ(state(1), TreeState::kLeaf);
  EXPECT_EQ(state(2), TreeState::kClosed);
  QRect closed = table->visualItemRect(table->topLevelItem(2));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                    QPoint(closed.left() + 8, closed.center().y()));
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].type, Input::Type::kExpand);
  EXPECT_EQ(inputs[0].value, 3);
  inputs.clear();
  QRect open = table->visualItemRect(table->topLevelItem(0));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                    QPoint(open.left() + 8, open.center().y()));
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].type, Input::Type::kContract);
  EXPECT_EQ(inputs[0].value, 1);
  // A click on the text of the leaf selects it.
  inputs.clear();
  QRect leaf = table->visualItemRect(table->topLevelItem(1));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                    QPoint(leaf.left() + 60, leaf.center().y()));
  ASSERT_FALSE(inputs.empty());
  EXPECT_EQ(inputs[0].type, Input::Type::kSelectRow);
  EXPECT_EQ(inputs[0].value, 2);
}

}  // namespace
}  // namespace vorsandt::ui::qt
