// Drop lists, alerted keys and coloured boxes and regions on the screen.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <atomic>
#include <mutex>

#include "ui/engine/engine.h"
#include "ui/qt/drop_list.h"
#include "ui/qt/list_control.h"
#include "ui/qt/mappings.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/serve_events.h"
#include "ui/qt/shape_area.h"
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {
namespace {

ControlState Make(int field, Kind kind, Rect at, std::string text = {}) {
  ControlState c;
  c.field = field;
  c.kind = kind;
  c.at = at;
  c.text = std::move(text);
  return c;
}

WindowState Controls() {
  WindowState s;
  s.id = 3;
  s.caption = "Controls";
  s.at = Rect{kNotGiven, kNotGiven, 300, 200};
  ControlState drop = Make(1, Kind::kList, {4, 4, 80, 12}, "Green");
  drop.columns = {Column{40, 'L', false, false, false, false, false, "", 0, "s10"}};
  drop.drop = 4;
  s.controls.push_back(drop);
  ControlState entry = Make(2, Kind::kEntry, {4, 24, 80, 12}, "abc");
  entry.alert_keys = {'A'};  // the letter A belongs to the procedure here
  s.controls.push_back(entry);
  s.controls.push_back(Make(3, Kind::kCheck, {4, 44, 80, 10}, "Check"));
  ControlState box = Make(4, Kind::kBox, {100, 4, 60, 40});
  box.colours = {0x0000FF, 0x00FF00};  // red frame, green fill
  s.controls.push_back(box);
  s.controls.push_back(Make(5, Kind::kBox, {100, 60, 60, 40}));
  ControlState region = Make(6, Kind::kRegion, {180, 4, 60, 40});
  region.colours = {kDefaultColour, 0xFF0000};  // blue fill, no frame
  s.controls.push_back(region);
  s.controls.push_back(Make(7, Kind::kRegion, {180, 60, 60, 40}));
  ControlState search = Make(8, Kind::kEntry, {4, 110, 80, 12});
  search.immediate = true;
  s.controls.push_back(search);
  ControlState found = Make(9, Kind::kList, {4, 126, 240, 60});
  found.columns = {Column{40, 'L'}, Column{120, 'L'}};
  s.controls.push_back(found);
  s.alert_keys = {key::kF1 + 2};  // F3 anywhere in the window
  return s;
}

std::vector<ListRow> Colours() { return {{{"Red"}, 0}, {{"Green"}, 0}, {{"Blue"}, 0}}; }

class WindowControlsTest : public testing::Test {
 protected:
  void SetUp() override {
    state_ = Controls();
    view_ = std::make_unique<WindowView>(
        state_, [this](WindowId, const Input& in) { inputs_.push_back(in); });
    view_->show();
    QApplication::processEvents();
    inputs_.clear();
  }

  DropList* Drop() { return qobject_cast<DropList*>(view_->ControlWidget(1)); }

  WindowState state_;
  std::vector<Input> inputs_;  // outlives the view, which may still send
  std::unique_ptr<WindowView> view_;
};

TEST_F(WindowControlsTest, DropListAsksTheEngineThenShowsTheEntriesItGets) {
  DropList* drop = Drop();
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(drop->count(), 0);
  EXPECT_EQ(drop->placeholderText(), "Green");  // the value, before any entry is there
  EXPECT_EQ(drop->maxVisibleItems(), 4);

  drop->showPopup();
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].type, Input::Type::kDropDown);
  EXPECT_EQ(inputs_[0].field, 1);

  // The procedure supplied the entries on "dropping down".
  WindowState next = state_;
  next.controls[0].rows = Colours();
  next.controls[0].selected = 2;
  next.controls[0].dropped = true;
  view_->Apply(next);
  ASSERT_EQ(drop->count(), 3);
  EXPECT_EQ(drop->itemText(2), "Blue");
  EXPECT_EQ(drop->currentText(), "Green");
  EXPECT_EQ(inputs_.size(), 1u) << "a snapshot is not reported back as input";

  emit drop->activated(2);  // the user picks Blue
  ASSERT_EQ(inputs_.size(), 2u);
  EXPECT_EQ(inputs_[1].type, Input::Type::kSelectRow);
  EXPECT_EQ(inputs_[1].value, 3);
  drop->hidePopup();
  EXPECT_EQ(inputs_.size(), 2u) << "a list closed by a choice is not also closed up";

  drop->showPopup();
  drop->hidePopup();  // closed without a choice
  ASSERT_EQ(inputs_.size(), 4u);
  EXPECT_EQ(inputs_[2].type, Input::Type::kDropDown);
  EXPECT_EQ(inputs_[3].type, Input::Type::kCloseUp);
}

TEST_F(WindowControlsTest, AlertedKeysGoToTheEngineNotTheControl) {
  auto* entry = qobject_cast<QLineEdit*>(view_->ControlWidget(2));
  ASSERT_NE(entry, nullptr);
  entry->setFocus();
  QApplication::processEvents();
  inputs_.clear();
  QTest::keyClick(entry, Qt::Key_B);  // not alerted: typed
  QTest::keyClick(entry, Qt::Key_A);  // alerted on the entry: not typed
  EXPECT_EQ(entry->text(), "abcb");
  QTest::keyClick(entry, Qt::Key_F3);  // alerted on the window
  auto* check = qobject_cast<QCheckBox*>(view_->ControlWidget(3));
  check->setFocus();
  QApplication::processEvents();
  QTest::keyClick(check, Qt::Key_A);  // A is the entry's, not the check box's
  QTest::keyClick(check, Qt::Key_F3);
  std::vector<std::pair<int, int>> keys;
  for (const Input& in : inputs_) {
    if (in.type == Input::Type::kKey) keys.emplace_back(in.field, in.value);
  }
  EXPECT_EQ(keys,
            (std::vector<std::pair<int, int>>{{2, 'A'}, {2, key::kF1 + 2}, {3, key::kF1 + 2}}));

  // Mouse actions are alerted like keys: a double click on the entry.
  inputs_.clear();
  WindowState next = state_;
  next.controls[1].alert_keys = {'A', key::kMouseLeft2};
  view_->Apply(next);
  QTest::mouseDClick(entry, Qt::LeftButton);
  QTest::mouseClick(check, Qt::RightButton);  // not alerted there: nothing
  keys.clear();
  for (const Input& in : inputs_) {
    if (in.type == Input::Type::kKey) keys.emplace_back(in.field, in.value);
  }
  EXPECT_EQ(keys, (std::vector<std::pair<int, int>>{{2, key::kMouseLeft2}}));
}

// A search box is completed once typing pauses, not at every key, and at
// once by Enter; a search's results show their headings bold across the row
// and carry the runs to highlight.
TEST_F(WindowControlsTest, ImmediateEntryCompletesAtEachPauseAndListsCarryMarks) {
  auto* entry = qobject_cast<QLineEdit*>(view_->ControlWidget(8));
  ASSERT_NE(entry, nullptr);
  entry->setFocus();
  QApplication::processEvents();
  inputs_.clear();
  auto accepts = [this] {
    std::vector<std::string> texts;
    for (const Input& in : inputs_) {
      if (in.type == Input::Type::kAccept && in.field == 8) texts.push_back(in.text);
    }
    return texts;
  };
  QTest::keyClicks(entry, "lamp");
  EXPECT_TRUE(accepts().empty()) << "completed before the pause";
  QElapsedTimer waited;
  waited.start();
  while (accepts().empty() && waited.elapsed() < 2000) QTest::qWait(20);
  EXPECT_EQ(accepts(), std::vector<std::string>{"lamp"});
  QTest::keyClicks(entry, "s");
  QTest::keyClick(entry, Qt::Key_Return);
  EXPECT_EQ(accepts(), (std::vector<std::string>{"lamp", "lamps"}));
  QTest::qWait(500);
  EXPECT_EQ(accepts().size(), 2u) << "Enter stops the pending pause";

  WindowState next = state_;
  ListRow heading({"Items (2)"});
  heading.heading = true;
  ListRow row({"000001", "Brass lamp"});
  row.marks = {{1, 6, 4}};
  next.controls[8].rows = {heading, row};
  view_->Apply(next);
  auto* tree = view_->ControlWidget(9)->findChild<QTreeWidget*>();
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_TRUE(tree->topLevelItem(0)->isFirstColumnSpanned());
  EXPECT_TRUE(tree->topLevelItem(0)->font(0).bold());
  EXPECT_FALSE(tree->topLevelItem(1)->isFirstColumnSpanned());
  const QVariantList runs = tree->topLevelItem(1)->data(1, Qt::UserRole + 3).toList();
  ASSERT_EQ(runs.size(), 1);
  EXPECT_EQ(runs[0].toPoint(), QPoint(6, 4));
  EXPECT_FALSE(tree->topLevelItem(1)->data(0, Qt::UserRole + 3).isValid());
}

TEST_F(WindowControlsTest, BoxesAndRegionsDrawTheirColours) {
  auto* box = qobject_cast<ShapeArea*>(view_->ControlWidget(4));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->frameColour(), QColor(255, 0, 0));
  EXPECT_EQ(box->fillColour(), QColor(0, 255, 0));
  QImage image = box->grab().toImage();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(0, 255, 0));
  EXPECT_EQ(image.pixelColor(0, image.height() / 2), QColor(255, 0, 0));

  // Defaults: a box is framed by the style, a region draws nothing.
  auto* plain = qobject_cast<ShapeArea*>(view_->ControlWidget(5));
  EXPECT_TRUE(plain->frameColour().has_value());
  EXPECT_FALSE(plain->fillColour().has_value());
  auto* region = qobject_cast<ShapeArea*>(view_->ControlWidget(6));
  EXPECT_FALSE(region->frameColour().has_value());
  EXPECT_EQ(region->fillColour(), QColor(0, 0, 255));
  auto* bare = qobject_cast<ShapeArea*>(view_->ControlWidget(7));
  EXPECT_FALSE(bare->frameColour().has_value());
  EXPECT_FALSE(bare->fillColour().has_value());

  // A later snapshot recolours; a click on a region is its accepted input.
  WindowState next = state_;
  next.controls[3].colours = {0x000000, kDefaultColour};
  view_->Apply(next);
  EXPECT_EQ(box->frameColour(), QColor(0, 0, 0));
  EXPECT_FALSE(box->fillColour().has_value());
  QTest::mouseClick(bare, Qt::LeftButton);
  ASSERT_FALSE(inputs_.empty());
  EXPECT_EQ(inputs_.back().type, Input::Type::kAccept);
  EXPECT_EQ(inputs_.back().field, 7);
}

constexpr char kDropWindow[] = R"(resource: QTDROP_RSC
id: QT$QTDROP
structures:
  - window: QT$DROPS
    caption: Drops
    controls:
      - list: "40L@s10@"
        use: colour
        drop: 6
)";

// The whole way round: the user drops the list on the screen, the procedure
// supplies the entries on "dropping down", the open list shows them, and the
// entry the user picks lands in the procedure's variable.
TEST(DropListOnTheEngineTest, EntriesComeFromTheProcedureAndTheChoiceGoesBack) {
  ResourceSet set;
  ASSERT_FALSE(set.AddModule("test", {{"drop.yaml", kDropWindow}}).has_value());
  QtPlatform platform;
  Engine engine(&platform, &set);
  platform.SetInputSink([&engine](WindowId id, const Input& in) { engine.Input(id, in); });
  std::mutex mu;
  std::vector<int> events;
  std::string colour = "Red       ";
  std::string colour_at_accept;
  std::atomic<WindowId> id{0};
  ASSERT_TRUE(engine.StartMain([&] {
    auto w = Engine::Current()->CreateWindow("QT$QTDROP", "QT$DROPS");
    w->Bind("colour", BindText(&colour, 10));
    w->Open();
    w->Display();
    id = w->id();
    while (w->Accept()) {
      if (w->Event() != event::kSelected) {  // the focus comes when the desktop gives it
        std::lock_guard<std::mutex> lock(mu);
        events.push_back(w->Event());
      }
      if (w->Event() == event::kDroppingDown) w->SetRows(1, Colours());
      if (w->Event() == event::kAccepted) {
        colour_at_accept = colour;
        w->Post(event::kCloseWindow);
      }
    }
    w->Close();
  }));
  DropList* drop = nullptr;
  ASSERT_TRUE(ServeUntil([&] {
    WindowView* view = id != 0 ? platform.View(id) : nullptr;
    drop = view != nullptr ? qobject_cast<DropList*>(view->ControlWidget(1)) : nullptr;
    return drop != nullptr;
  }));
  EXPECT_EQ(drop->placeholderText(), "Red");
  EXPECT_EQ(drop->count(), 0);
  drop->showPopup();
  ASSERT_TRUE(ServeUntil([&] { return drop->count() == 3; }));
  EXPECT_EQ(drop->itemText(1), "Green");
  emit drop->activated(1);
  drop->hidePopup();
  ASSERT_TRUE(ServeUntil([&] { return engine.Ended(); }));
  EXPECT_EQ(colour_at_accept, "Green     ");
  std::lock_guard<std::mutex> lock(mu);
  EXPECT_EQ(events,
            (std::vector<int>{event::kOpenWindow, event::kDroppingDown, event::kDroppedDown,
                              event::kNewSelection, event::kAccepted, event::kCloseWindow}));
}

TEST(DropEntryTextTest, CellsWithoutTrailingBlanks) {
  EXPECT_EQ(DropEntryText(ListRow{{"Red    ", "12 "}, 0}), "Red  12");
  EXPECT_EQ(DropEntryText(ListRow{{}, 0}), "");
}

}  // namespace
}  // namespace vorsandt::ui::qt

namespace vorsandt::ui::qt {
namespace {

// A procedure that sets a list's format at run time (the query program's
// results) gets the new columns, and the rows are laid out under them.
TEST(ListControlColumns, NewColumnsReplaceTheOldWithTheirRows) {
  ControlState c;
  c.field = 1;
  c.kind = Kind::kList;
  c.at = {0, 0, 200, 80};
  c.columns = {Column{60, 'L', false, false, false, false, true, "FIELD", 0, "s30"}};
  c.rows = {ListRow{{"first"}, 0}};
  ListControl list(
      c, BaseUnits{6, 13}, [](const Input&) {}, nullptr);
  ASSERT_EQ(list.table()->columnCount(), 1);

  c.columns = {Column{40, 'R', false, false, false, false, true, "CODE", 0, "n06"},
               Column{80, 'L', false, false, false, false, true, "ITEM", 0, "s60"}};
  c.rows = {ListRow{{"000244", "Bicycle"}, 0}};
  list.Apply(c);
  ASSERT_EQ(list.table()->columnCount(), 2);
  EXPECT_EQ(list.table()->headerItem()->text(0).toStdString(), "CODE");
  EXPECT_EQ(list.table()->headerItem()->text(1).toStdString(), "ITEM");
  ASSERT_EQ(list.table()->topLevelItemCount(), 1);
  EXPECT_EQ(list.table()->topLevelItem(0)->text(1).toStdString(), "Bicycle");

  // Fewer columns and no rows: nothing of the old ones stays.
  c.columns = {Column{60, 'L', false, false, false, false, true, "ONLY", 0, "s30"}};
  c.rows.clear();
  list.Apply(c);
  EXPECT_EQ(list.table()->columnCount(), 1);
  EXPECT_EQ(list.table()->topLevelItemCount(), 0);
}

}  // namespace
}  // namespace vorsandt::ui::qt
