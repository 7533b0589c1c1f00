#include "ui/qt/frame_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>

namespace vorsandt::ui::qt {
namespace {

MenuState Item(int number, std::string text, std::string message = {}, int action = 0) {
  MenuState m;
  m.number = number;
  m.text = std::move(text);
  m.message = std::move(message);
  m.standard_action = action;
  return m;
}

WindowState Frame() {
  WindowState s;
  s.id = 1;
  s.caption = "VORSANDT";
  s.frame = true;
  s.at = Rect{kNotGiven, kNotGiven, 480, 300};
  MenuState file = Item(0, "&File");
  file.items = {Item(-1, "&Print Setup ...", "Setup printer", 16), MenuState{},
                Item(-2, "E&xit", "Exit this application", 15)};
  file.items[1].separator = true;
  file.items[1].text = "Item&46";
  MenuState browse = Item(0, "&Browse Files");
  browse.items = {Item(-6, "Browse INVENTORY ITEMS", "Browse INVENTORY ITEMS"),
                  Item(-8, "Tree Browse INVENTORY")};
  browse.items[1].disabled = true;
  MenuState window = Item(0, "&Window", "Create and Arrange windows", 1);
  window.items = {Item(-27, "T&ile", "Make all open windows visible", 2),
                  Item(-28, "&Cascade", "", 3), Item(-29, "&Arrange Icons", "", 4)};
  s.menus = {file, browse, window};
  s.status[1] = "Ready";
  return s;
}

WindowState Child(WindowId id, std::string caption) {
  WindowState s;
  s.id = id;
  s.caption = std::move(caption);
  s.child = true;
  s.at = Rect{kNotGiven, kNotGiven, 100, 60};
  ControlState entry;
  entry.field = 1;
  entry.kind = Kind::kEntry;
  entry.at = Rect{4, 4, 60, 12};
  entry.text = "hello";
  s.controls.push_back(entry);
  return s;
}

class FrameWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    frame_ = std::make_unique<FrameWindow>(
        [this](WindowId id, const Input& in) { inputs_.emplace_back(id, in); });
    frame_->OpenFrame(Frame());
    QApplication::processEvents();
  }
  void TearDown() override { frame_->CloseFrame(); }

  QAction* FindAction(const QString& text) {
    for (QAction* top : frame_->menuBar()->actions()) {
      if (!top->menu()) continue;
      for (QAction* a : top->menu()->actions()) {
        if (a->text() == text) return a;
      }
    }
    return nullptr;
  }

  std::unique_ptr<FrameWindow> frame_;
  std::vector<std::pair<WindowId, Input>> inputs_;
};

TEST_F(FrameWindowTest, MenusCarryTextsMessagesSeparatorsAndStates) {
  EXPECT_EQ(frame_->windowTitle(), "VORSANDT");
  QStringList titles;
  for (QAction* a : frame_->menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Browse Files", "&Window"}));
  QList<QAction*> file = frame_->menuBar()->actions()[0]->menu()->actions();
  ASSERT_EQ(file.size(), 3);
  EXPECT_EQ(file[0]->text(), "&Print Setup ...");
  EXPECT_EQ(file[0]->statusTip(), "Setup printer");
  EXPECT_TRUE(file[1]->isSeparator());
  EXPECT_EQ(file[2]->text(), "E&xit");
  EXPECT_FALSE(FindAction("Tree Browse INVENTORY")->isEnabled());
  EXPECT_EQ(frame_->menuBar()->actions()[2]->statusTip(), "Create and Arrange windows");
  EXPECT_EQ(frame_->StatusZones(), QStringList({"Ready"}));
}

TEST_F(FrameWindowTest, HighlightingAnItemShowsItsMessageInTheStatusBar) {
  QAction* item = FindAction("Browse INVENTORY ITEMS");
  ASSERT_NE(item, nullptr);
  // A highlighted item shows its text through the menu bar that opened it.
  item->showStatusText(frame_->menuBar());
  EXPECT_EQ(frame_->statusBar()->currentMessage(), "Browse INVENTORY ITEMS");
}

TEST_F(FrameWindowTest, DisabledItemsShowTheirMessageWhileHighlighted) {
  UseDesktopMenuStyle();
  QMenu* browse = frame_->menuBar()->actions()[1]->menu();
  QAction* disabled = FindAction("Tree Browse INVENTORY");
  disabled->setStatusTip("Browse the inventory as a tree");
  frame_->menuBar()->setActiveAction(frame_->menuBar()->actions()[1]);  // opens it from the bar
  QApplication::processEvents();
  ASSERT_TRUE(browse->isVisible());
  QTest::mouseMove(browse, browse->actionGeometry(disabled).center());
  QApplication::processEvents();
  EXPECT_EQ(browse->activeAction(), disabled);
  EXPECT_EQ(frame_->statusBar()->currentMessage(), "Browse the inventory as a tree");
  // Choosing it does nothing.
  browse->setActiveAction(disabled);
  QTest::keyClick(browse, Qt::Key_Return);
  EXPECT_TRUE(inputs_.empty());
  browse->close();
}

TEST_F(FrameWindowTest, ChoosingAnItemAcceptsItsNumberOnTheFrame) {
  FindAction("E&xit")->trigger();
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].first, 1);
  EXPECT_EQ(inputs_[0].second.type, Input::Type::kAccept);
  EXPECT_EQ(inputs_[0].second.field, -2);
}

TEST_F(FrameWindowTest, CloseBoxAsksTheEngine) {
  EXPECT_FALSE(frame_->close());
  ASSERT_EQ(inputs_.size(), 1u);
  EXPECT_EQ(inputs_[0].second.type, Input::Type::kClose);
  EXPECT_TRUE(frame_->isVisible());
}

TEST_F(FrameWindowTest, WindowMenuListsOpenChildrenAndArrangesThem) {
  auto* a = new WindowView(Child(2, "Browse A"), {});
  auto* b = new WindowView(Child(3, "Browse B"), {});
  frame_->AddChild(a);
  frame_->AddChild(b);
  QMenu* menu = frame_->windowMenu();
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  QStringList texts;
  for (QAction* act : menu->actions()) {
    if (!act->isSeparator()) texts << act->text();
  }
  EXPECT_EQ(texts,
            QStringList({"T&ile", "&Cascade", "&Arrange Icons", "&1 Browse A", "&2 Browse B"}));
  // Showing the menu again does not repeat the list.
  emit menu->aboutToShow();
  EXPECT_EQ(menu->actions().size(), 3 + 1 + 2);
  // Choosing a listed window activates it.
  menu->actions().last()->trigger();
  EXPECT_EQ(frame_->mdiArea()->activeSubWindow()->widget(), b);

  frame_->StandardAction(action::kTile);
  frame_->StandardAction(action::kCascade);
  QMdiSubWindow* first = frame_->mdiArea()->subWindowList()[0];
  first->showMinimized();
  frame_->StandardAction(action::kArrangeIcons);
  EXPECT_EQ(first->geometry().bottom(), frame_->mdiArea()->viewport()->height() - 1);
  EXPECT_EQ(first->x(), 0);
}

TEST_F(FrameWindowTest, ClipboardActionsWorkOnTheFocusedEntry) {
  auto* view = new WindowView(Child(2, "Form"), {});
  frame_->AddChild(view);
  frame_->activateWindow();
  auto* entry = qobject_cast<QLineEdit*>(view->ControlWidget(1));
  ASSERT_NE(entry, nullptr);
  entry->setFocus();
  QApplication::processEvents();
  if (QApplication::focusWidget() != entry) GTEST_SKIP() << "the offscreen platform gave no focus";
  entry->selectAll();
  frame_->StandardAction(action::kCut);
  EXPECT_EQ(entry->text(), "");
  frame_->StandardAction(action::kPaste);
  frame_->StandardAction(action::kPaste);
  EXPECT_EQ(entry->text(), "hellohello");
  EXPECT_TRUE(entry->isModified());
}

TEST_F(FrameWindowTest, TheFirstStartTakesMostOfTheScreenCentred) {
  WindowState small = Frame();
  small.at = Rect{kNotGiven, kNotGiven, 100, 60};
  FrameWindow frame({});
  frame.OpenFrame(small);
  QRect area = frame.screen()->availableGeometry();
  EXPECT_NEAR(frame.width(), area.width() * 8 / 10, 2);
  EXPECT_NEAR(frame.height(), area.height() * 8 / 10, 2);
  EXPECT_NEAR(frame.geometry().center().x(), area.center().x(), 2);
  EXPECT_NEAR(frame.geometry().center().y(), area.center().y(), 2);
  frame.CloseFrame();
  // A definition larger than that keeps its size, but not past the screen.
  EXPECT_LE(frame_->width(), area.width());
  EXPECT_LE(frame_->height(), area.height());
  EXPECT_GT(frame_->width(), area.width() * 8 / 10);
}

WindowState Large(WindowId id, std::string label) {
  WindowState s = Child(id, "Large");
  s.label = std::move(label);
  s.at = Rect{kNotGiven, kNotGiven, 700, 500};  // larger than the client area
  return s;
}

TEST_F(FrameWindowTest, ChildrenStayInsideTheClientAreaWhenOpenedTiledAndCascaded) {
  const QSize area = frame_->mdiArea()->viewport()->size();
  std::vector<QMdiSubWindow*> subs;
  for (WindowId id = 2; id < 6; ++id)
    subs.push_back(frame_->AddChild(new WindowView(Large(id, "L$W"), {})));
  QApplication::processEvents();
  auto inside = [&](const char* when) {
    for (QMdiSubWindow* sub : subs) {
      EXPECT_TRUE(QRect(QPoint(0, 0), area).contains(sub->geometry())) << when;
    }
  };
  for (QMdiSubWindow* sub : subs) {
    EXPECT_LE(sub->width(), area.width());
    EXPECT_LE(sub->height(), area.height());
  }
  inside("opened");
  frame_->StandardAction(action::kTile);
  QApplication::processEvents();
  inside("tiled");
  frame_->StandardAction(action::kCascade);
  QApplication::processEvents();
  inside("cascaded");
}

TEST_F(FrameWindowTest, ASecondCopyOfAWindowOpensOffsetFromTheFirst) {
  WindowState small = Child(2, "Browse");
  small.label = "BROWSE$WINDOW";
  QMdiSubWindow* first = frame_->AddChild(new WindowView(small, {}));
  first->move(10, 10);
  small.id = 3;
  QMdiSubWindow* second = frame_->AddChild(new WindowView(small, {}));
  second->move(10, 10);
  frame_->OffsetFromCopies(second, small.label);
  EXPECT_NE(second->pos(), first->pos());
  EXPECT_GT(second->x(), first->x());
  EXPECT_GT(second->y(), first->y());
  // Another window may lie where it likes.
  WindowState other = Child(4, "Other");
  other.label = "OTHER$WINDOW";
  QMdiSubWindow* third = frame_->AddChild(new WindowView(other, {}));
  third->move(10, 10);
  frame_->OffsetFromCopies(third, other.label);
  EXPECT_EQ(third->pos(), QPoint(10, 10));
}

}  // namespace
}  // namespace vorsandt::ui::qt
