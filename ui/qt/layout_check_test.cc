#include "ui/qt/layout_check.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QWheelEvent>
#include <sstream>

#include "ui/qt/list_control.h"
#include "ui/qt/mappings.h"
#include "ui/qt/window_view.h"

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

// A form drawn for a narrow font: prompts, a button, a check box and a tab
// bar whose texts only just fit at the definition's 8 points, in a row.
WindowState NarrowForm() {
  WindowState s;
  s.id = 3;
  s.caption = "Narrow";
  s.at = Rect{kNotGiven, kNotGiven, 200, 120};
  s.font = FontBlock{"MS Sans Serif", 8, 0xFFFFFFFF, 0xFFFFFFFF};
  s.controls.push_back(Make(1, Kind::kPrompt, {4, 4, 60, 10}, "MANUFACTURERS WARRANTY:"));
  s.controls.push_back(Make(2, Kind::kEntry, {66, 4, 60, 10}));
  s.controls.push_back(Make(3, Kind::kButton, {130, 4, 30, 14}, "SELECT A COMPANY"));
  s.controls.push_back(Make(4, Kind::kCheck, {4, 20, 40, 10}, "COPY OF RECEIPT SENT"));
  ControlState sheet = Make(5, Kind::kSheet, {4, 34, 120, 60});
  sheet.value = 1;
  s.controls.push_back(sheet);
  s.controls.push_back(Make(TabId(5, 1), Kind::kTab, {}, "VIEW BY POLICY REFERENCE", 5));
  s.controls.push_back(Make(TabId(5, 2), Kind::kTab, {}, "VIEW BY INSURANCE COMPANY", 5));
  // An entry that the definition lets run past its sheet and the window.
  s.controls.push_back(Make(6, Kind::kEntry, {60, 50, 150, 10}, "", TabId(5, 1)));
  // A child list on the other tab, which takes the width the sheet gains.
  ControlState child = Make(8, Kind::kList, {8, 50, 100, 30}, "", TabId(5, 2));
  child.columns = {Column{40, 'L', true, true, false, false, true, "ITEM", 0, "s10"}};
  s.controls.push_back(child);
  ControlState list = Make(7, Kind::kList, {4, 100, 100, 16});
  list.columns = {Column{12, 'L', true, true, false, false, true, "CLAIM REFERENCE", 0, "s10"}};
  s.controls.push_back(list);
  return s;
}

TEST(LayoutFitTest, EveryTextFitsItsControlAndTheArrangementStays) {
  for (double points : {9.0, 12.0, 20.0}) {
    QFont desktop = QApplication::font();
    QFont saved = desktop;
    desktop.setPointSizeF(points);
    QApplication::setFont(desktop);
    WindowView view(NarrowForm(), {});
    QApplication::setFont(saved);
    for (const TextRoom& room : TextRooms(view)) {
      EXPECT_TRUE(room.Fits()) << points << " pt: field " << room.field << " "
                               << room.what.toStdString() << " needs " << room.need.width()
                               << " has " << room.has.width();
    }
    EXPECT_TRUE(ControlsOutside(view).empty()) << points << " pt";
    EXPECT_GT(view.base().stretch_x, 1000) << "the units were widened for the texts";
    // Same order and alignment: the prompt, the entry and the button stay in
    // a row, left to right, and the check box under the prompt's left edge.
    QRect prompt = view.ControlWidget(1)->geometry();
    QRect entry = view.ControlWidget(2)->geometry();
    QRect button = view.ControlWidget(3)->geometry();
    QRect check = view.ControlWidget(4)->geometry();
    EXPECT_LE(prompt.right(), entry.left());
    EXPECT_LE(entry.right(), button.left());
    EXPECT_EQ(prompt.top(), entry.top());
    EXPECT_EQ(check.left(), prompt.left());
    EXPECT_GT(check.top(), prompt.bottom());
    // The entry that ran past its sheet is inside it now, and the sheet
    // inside the window.
    QRect sheet = view.ControlWidget(5)->geometry();
    EXPECT_TRUE(sheet.contains(view.ControlWidget(6)->geometry())) << points << " pt";
    // The child list gained the sheet's new width, keeping its margin.
    QRect child = view.ControlWidget(8)->geometry();
    EXPECT_NEAR(sheet.right() - child.right(), ToPixelsX(16, view.base()), 1) << points << " pt";
  }
}

TEST(LayoutFitTest, AHeadingWidensItsColumnNotTheWindow) {
  WindowView view(NarrowForm(), {});
  auto* list = qobject_cast<ListControl*>(view.ControlWidget(7));
  ASSERT_NE(list, nullptr);
  QHeaderView* header = list->table()->header();
  EXPECT_GE(header->sectionSize(0), header->sectionSizeHint(0));
  EXPECT_GT(header->sectionSize(0), ToPixelsX(12, view.base()));
}

TEST(LayoutFitTest, ShownTextDropsAccessMarks) {
  EXPECT_EQ(ShownText(QStringLiteral("&Close"), true), QStringLiteral("Close"));
  EXPECT_EQ(ShownText(QStringLiteral("Fish && &Chips"), true), QStringLiteral("Fish & Chips"));
  EXPECT_EQ(ShownText(QStringLiteral("Fish && Chips"), false), QStringLiteral("Fish && Chips"));
}

const char kDefinitions[] = R"(resource: ZELTA099_RSC
id: ZELTAR3$ZELTA099
structures:
  - window: ROOMY$WINDOW
    caption: Roomy
    at: [default, default, 200, 80]
    font: {name: MS Sans Serif, size: 8}
    controls:
      - prompt: "A PROMPT:"
        at: [4, 4, 100, 10]
      - button: OK
        at: [150, 60, 45, 14]
  - window: CRAMPED$WINDOW
    caption: Cramped
    at: [default, default, 100, 40]
    font: {name: MS Sans Serif, size: 8}
    controls:
      - string: "A string that takes its natural size and runs past the window"
        at: [60, 4, default, default]
)";

TEST(CheckLayoutTest, CountsWindowsAndControlsAndNamesEachProblem) {
  ResourceSet set;
  ASSERT_FALSE(set.AddModule("test", {{"test.yaml", kDefinitions}}).has_value());
  std::ostringstream out;
  int problems = CheckLayout(set, out);
  EXPECT_EQ(problems, 1);
  const std::string text = out.str();
  EXPECT_NE(text.find("CRAMPED$WINDOW: field 1 string at "), std::string::npos) << text;
  EXPECT_NE(text.find("lies outside the client area"), std::string::npos) << text;
  EXPECT_EQ(text.find("ROOMY$WINDOW"), std::string::npos) << text;
  EXPECT_NE(text.find("\n2 windows, 3 controls, 1 problems\n"), std::string::npos) << text;
}

// The preview's shape: buttons over a page, and a zoomed page far taller
// than the window, hidden until the zoom shows it.
WindowState Preview() {
  WindowState s;
  s.id = 9;
  s.caption = "Print Preview";
  s.at = Rect{kNotGiven, kNotGiven, 470, 330};
  s.controls.push_back(Make(1, Kind::kButton, {4, 3, 50, 14}, "&Cancel"));
  s.controls.push_back(Make(2, Kind::kBox, {138, 21, 194, 250}));
  s.controls.push_back(Make(3, Kind::kImage, {140, 23, 190, 246}));
  ControlState zoomed = Make(4, Kind::kImage, {10, 21, 450, 582});
  zoomed.hidden = true;
  s.controls.push_back(zoomed);
  return s;
}

TEST(PreviewLayoutTest, TheZoomedPageScrollsToItsBottomWithPageDown) {
  WindowState state = Preview();
  WindowView view(state, {});
  view.show();
  EXPECT_TRUE(ControlsOutside(view).empty()) << "the zoomed page scrolls inside the window";
  state.controls[1].hidden = true;
  state.controls[2].hidden = true;
  state.controls[3].hidden = false;
  view.Apply(state);
  QApplication::processEvents();
  auto* area = qobject_cast<QScrollArea*>(view.OuterWidget(4));
  ASSERT_NE(area, nullptr);
  ASSERT_TRUE(area->isVisible());
  QScrollBar* bar = area->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0) << "the page is taller than its area";
  EXPECT_EQ(bar->value(), 0);
  for (int i = 0; i < 40 && bar->value() < bar->maximum(); ++i) {
    QTest::keyClick(view.ControlWidget(1), Qt::Key_PageDown);
  }
  EXPECT_EQ(bar->value(), bar->maximum()) << "PgDn reaches the page's bottom";
  QTest::keyClick(view.ControlWidget(1), Qt::Key_Home);
  EXPECT_EQ(bar->value(), 0);
}

TEST(PreviewLayoutTest, CtrlPlusAndTheWheelMagnifyTheZoomedPageAndCtrlMinusTakesItBack) {
  WindowState state = Preview();
  WindowView view(state, {});
  view.show();
  // In the page view there is no zoomed page to magnify.
  QTest::keyClick(view.ControlWidget(1), Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 1.0);
  state.controls[1].hidden = true;
  state.controls[2].hidden = true;
  state.controls[3].hidden = false;
  view.Apply(state);
  QApplication::processEvents();
  auto* area = qobject_cast<QScrollArea*>(view.OuterWidget(4));
  ASSERT_NE(area, nullptr);
  QWidget* page = view.ControlWidget(4);
  const QSize fitted = page->size();
  EXPECT_LE(fitted.width(), area->viewport()->width()) << "as wide as its area at first";
  QTest::keyClick(view.ControlWidget(1), Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 1.25);
  EXPECT_NEAR(page->width(), fitted.width() * 1.25, 1);
  EXPECT_NEAR(static_cast<double>(page->height()) / page->width(),
              static_cast<double>(fitted.height()) / fitted.width(), 0.01);
  QApplication::processEvents();
  EXPECT_GT(area->horizontalScrollBar()->maximum(), 0)
      << "wider than its area, it scrolls sideways";
  // Ctrl+= (the plus key unshifted) and Ctrl with the wheel over the page.
  QTest::keyClick(view.ControlWidget(1), Qt::Key_Equal, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 1.5);
  QWheelEvent wheel(QPointF(10, 10), area->viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                    QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(area->viewport(), &wheel);
  EXPECT_EQ(view.Zoom(), 2.0);
  EXPECT_NEAR(page->width(), fitted.width() * 2, 1);
  QTest::keyClick(view.ControlWidget(1), Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 1.5);
  QTest::keyClick(view.ControlWidget(1), Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 1.0);
  EXPECT_EQ(page->size(), fitted);
  for (int i = 0; i < 20; ++i)
    QTest::keyClick(view.ControlWidget(1), Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), WindowView::kZoomSteps[std::size(WindowView::kZoomSteps) - 1])
      << "stops at the largest";
}

TEST(PreviewLayoutTest, ThePageScalesWithTheWindowKeepingItsProportions) {
  WindowView view(Preview(), {});
  view.show();
  QApplication::processEvents();
  QWidget* page = view.ControlWidget(3);
  const QSize before = page->size();
  view.resize(view.width() * 2, view.height() * 2);
  QApplication::processEvents();
  const QSize after = page->size();
  EXPECT_GT(after.height(), before.height() * 3 / 2);
  EXPECT_NEAR(static_cast<double>(after.width()) / after.height(),
              static_cast<double>(before.width()) / before.height(), 0.02);
  // The button above the pages stays where it was.
  EXPECT_EQ(view.ControlWidget(1)->pos(),
            QPoint(ToPixelsX(4, view.base()), ToPixelsY(3, view.base())));
}

// A browse: a paged list on a sheet, buttons under the list at the right and
// Close at the window's bottom right.
WindowState Browse() {
  WindowState s;
  s.id = 11;
  s.caption = "Browse";
  s.at = Rect{kNotGiven, kNotGiven, 420, 236};
  ControlState list = Make(1, Kind::kList, {8, 36, 404, 150});
  list.columns = {Column{126, 'L', true, true, false, false, true, "POLICY REFERENCE", 0, "s30"}};
  list.paged = true;
  s.controls.push_back(list);
  s.controls.push_back(Make(2, Kind::kButton, {267, 190, 45, 14}, "&Change"));
  ControlState sheet = Make(3, Kind::kSheet, {4, 20, 412, 190});
  sheet.value = 1;
  s.controls.push_back(sheet);
  s.controls.push_back(Make(TabId(3, 1), Kind::kTab, {}, "BY REFERENCE", 3));
  s.controls.push_back(Make(4, Kind::kButton, {320, 214, 45, 14}, "Close"));
  s.controls.push_back(Make(5, Kind::kButton, {8, 214, 150, 14}, "ITEMS INSURED"));
  return s;
}

TEST(BrowseLayoutTest, AMaximizedBrowseShowsMoreRowsAndReportsThemAsItsPage) {
  std::vector<Input> inputs;
  WindowView view(Browse(), [&](WindowId, const Input& in) { inputs.push_back(in); });
  view.show();
  QApplication::processEvents();
  auto* list = qobject_cast<ListControl*>(view.ControlWidget(1));
  ASSERT_NE(list, nullptr);
  const int rows_before = list->VisibleRows();
  const QRect change = view.ControlWidget(2)->geometry(), close = view.ControlWidget(4)->geometry();
  const QRect items = view.ControlWidget(5)->geometry();
  const QSize first = view.size();
  view.showMaximized();
  QApplication::processEvents();
  const int dx = view.width() - first.width(), dy = view.height() - first.height();
  ASSERT_GT(dy, 100) << "maximized on a screen taller than the window";
  const int rows_after = list->VisibleRows();
  EXPECT_GT(rows_after, rows_before + dy / 30);
  // The page is the rows that fit: the last count told to the engine.
  const Input* last = nullptr;
  for (const Input& in : inputs) {
    if (in.type == Input::Type::kListItems) last = &in;
  }
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->value, rows_after);
  const int row_height = QFontMetrics(list->font()).height() + 4;
  EXPECT_EQ(rows_after, list->table()->viewport()->height() / row_height);
  // The sheet grows around the list; the buttons keep to their edges.
  EXPECT_TRUE(view.ControlWidget(3)->geometry().contains(list->geometry()));
  EXPECT_EQ(view.ControlWidget(2)->geometry(), change.translated(dx, dy));
  EXPECT_EQ(view.ControlWidget(4)->geometry(), close.translated(dx, dy));
  EXPECT_EQ(view.ControlWidget(5)->geometry(), items.translated(0, dy));
}

TEST(BrowseLayoutTest, AShrunkBrowseShrinksItsListAndScrollsBeyondHalf) {
  std::vector<Input> inputs;
  WindowView view(Browse(), [&](WindowId, const Input& in) { inputs.push_back(in); });
  view.show();
  QApplication::processEvents();
  auto* list = qobject_cast<ListControl*>(view.ControlWidget(1));
  const QRect before = list->geometry();
  view.resize(view.width() - 100, view.height() - 60);
  QApplication::processEvents();
  EXPECT_EQ(list->geometry().size(), before.size() - QSize(100, 60));
  // Smaller than the list can give up: the window scrolls, nothing is cut.
  view.resize(50, 50);
  QApplication::processEvents();
  EXPECT_GE(list->width(), before.width() / 2 - 1);
  EXPECT_GE(list->height(), before.height() / 2 - 1);
}


// A browse whose first page holds values wider than its columns were drawn
// for: the window widens inside the frame's workspace so that every column
// shows, unless it was given a size of its own.
WindowState WideBrowse() {
  WindowState s = Browse();
  ControlState& list = s.controls[0];
  list.columns.clear();
  for (const char* heading : {"CLAIM REFERENCE", "ITEM REFERENCE", "INSURERS REFERENCE",
                              "POLICE CRIME REFERENCE", "DATE OF CLAIM", "CLAIM STATUS"}) {
    list.columns.push_back(Column{60, 'L', true, true, false, false, true, heading, 0, "s30"});
  }
  for (int r = 0; r < 5; ++r) {
    list.rows.push_back(ListRow({"000001", "000255", "CLM-2026-2409", "CR/2026/99231",
                                 "27/07/26", "NOT SUBMITTED TO THE INSURER"}));
  }
  return s;
}

int WidenedWidth(bool given_size, int area_width) {
  QMdiArea area;
  area.resize(area_width, 700);
  area.show();
  auto* view = new WindowView(WideBrowse(), {});
  if (given_size) view->KeepGivenSize();
  QMdiSubWindow* sub = area.addSubWindow(view);
  sub->show();
  const int first = sub->width();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  auto* list = qobject_cast<ListControl*>(view->ControlWidget(1));
  if (!given_size && sub->width() < area_width) {
    EXPECT_EQ(list->MissingWidth(), 0) << "every column shows";
  }
  EXPECT_TRUE(area.viewport()->rect().contains(sub->geometry())) << "inside the workspace";
  return sub->width() - first;
}

TEST(BrowseLayoutTest, ABrowseWidensToShowItsFittedColumnsInsideTheFrame) {
  EXPECT_GT(WidenedWidth(false, 1800), 50);
  EXPECT_EQ(WidenedWidth(true, 1800), 0) << "a remembered size stays";
  // A workspace narrower than the columns: as wide as it, the rest scrolls.
  WidenedWidth(false, 700);
}

}  // namespace
}  // namespace vorsandt::ui::qt
