// Where the focus goes when a window closes: back to the window that was
// active when it opened (the one that called it), not to whichever child
// window the client area happens to list next.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "ui/qt/qt_platform.h"
#include "ui/qt/serve_events.h"

namespace vorsandt::ui::qt {
namespace {

WindowState FrameState() {
  WindowState s;
  s.id = 1;
  s.caption = "VORSANDT";
  s.frame = true;
  s.at = Rect{kNotGiven, kNotGiven, 480, 300};
  return s;
}

// A child window with two entries; `focus` names the one the engine focuses.
WindowState ChildState(WindowId id, std::string caption, bool modal = false) {
  WindowState s;
  s.id = id;
  s.caption = std::move(caption);
  s.child = true;
  s.modal = modal;
  s.at = Rect{kNotGiven, kNotGiven, 120, 60};
  for (int field = 1; field <= 2; ++field) {
    ControlState entry;
    entry.field = field;
    entry.kind = Kind::kEntry;
    entry.at = Rect{4, 4 + 16 * (field - 1), 60, 12};
    s.controls.push_back(entry);
  }
  s.focus = 1;
  return s;
}

class FocusReturnTest : public testing::Test {
 protected:
  void SetUp() override {
    platform_ = std::make_unique<QtPlatform>();
    platform_->SetInputSink([this](WindowId id, const Input& in) { inputs_.emplace_back(id, in); });
    platform_->WindowOpened(FrameState());
    ASSERT_TRUE(ServeUntil([&] { return platform_->frame()->isVisible(); }));
    platform_->frame()->activateWindow();
  }
  void TearDown() override { platform_.reset(); }

  QMdiSubWindow* SubOf(WindowId id) {
    WindowView* view = platform_->View(id);
    return view ? qobject_cast<QMdiSubWindow*>(view->parentWidget()) : nullptr;
  }
  QMdiSubWindow* Active() { return platform_->frame()->mdiArea()->activeSubWindow(); }
  bool FocusIn(WindowId id) {
    WindowView* view = platform_->View(id);
    QWidget* focus = QApplication::focusWidget();
    return view != nullptr && focus != nullptr && view->isAncestorOf(focus);
  }

  std::unique_ptr<QtPlatform> platform_;
  std::vector<std::pair<WindowId, Input>> inputs_;
};

// A browse opens a form, the form a select; closing the select returns to the
// form even though the browse was created first.
TEST_F(FocusReturnTest, ClosingASelectReturnsToTheFormThatOpenedItNotTheBrowseBehind) {
  platform_->WindowOpened(ChildState(2, "Browse"));
  platform_->WindowOpened(ChildState(3, "Form"));
  ASSERT_TRUE(ServeUntil([&] { return Active() == SubOf(3) && FocusIn(3); }));
  // The user moves to the form's second entry before the lookup.
  platform_->View(3)->ControlWidget(2)->setFocus();
  platform_->WindowOpened(ChildState(4, "Select"));
  ASSERT_TRUE(ServeUntil([&] { return Active() == SubOf(4) && FocusIn(4); }));
  platform_->WindowClosed(4);
  ASSERT_TRUE(ServeUntil([&] { return SubOf(4) == nullptr && platform_->View(4) == nullptr; }));
  Serve(50);
  EXPECT_EQ(Active(), SubOf(3)) << "active: "
                                << (Active() ? Active()->windowTitle().toStdString() : "none");
  EXPECT_TRUE(FocusIn(3));
  EXPECT_EQ(QApplication::focusWidget(), platform_->View(3)->ControlWidget(2));
}

// Closing a child form opened from a browse returns to that browse, even when
// another window was created after the browse and before the form.
TEST_F(FocusReturnTest, ClosingAChildFormReturnsToItsCallerAmongSeveralWindows) {
  platform_->WindowOpened(ChildState(2, "Claims"));
  platform_->WindowOpened(ChildState(3, "Items"));
  ASSERT_TRUE(ServeUntil([&] { return Active() == SubOf(3); }));
  platform_->frame()->mdiArea()->setActiveSubWindow(SubOf(2));
  ASSERT_TRUE(ServeUntil([&] { return Active() == SubOf(2); }));
  platform_->WindowOpened(ChildState(5, "Claim form"));
  ASSERT_TRUE(ServeUntil([&] { return Active() == SubOf(5); }));
  platform_->WindowClosed(5);
  ASSERT_TRUE(ServeUntil([&] { return platform_->View(5) == nullptr; }));
  Serve(50);
  EXPECT_EQ(Active(), SubOf(2)) << "active: "
                                << (Active() ? Active()->windowTitle().toStdString() : "none");
  EXPECT_TRUE(FocusIn(2));
}

// A modal window (a message box or the preview) over a form gives the focus
// back to the form's control when it closes.
TEST_F(FocusReturnTest, ClosingAModalWindowReturnsToTheFormsControl) {
  platform_->WindowOpened(ChildState(2, "Browse"));
  platform_->WindowOpened(ChildState(3, "Form"));
  ASSERT_TRUE(ServeUntil([&] { return Active() == SubOf(3) && FocusIn(3); }));
  platform_->View(3)->ControlWidget(2)->setFocus();
  platform_->WindowOpened(ChildState(6, "Preview", /*modal=*/true));
  ASSERT_TRUE(ServeUntil([&] { return FocusIn(6); }));
  platform_->WindowClosed(6);
  ASSERT_TRUE(ServeUntil([&] { return platform_->View(6) == nullptr; }));
  Serve(50);
  EXPECT_EQ(Active(), SubOf(3));
  EXPECT_EQ(QApplication::activeWindow(), platform_->frame());
  EXPECT_EQ(QApplication::focusWidget(), platform_->View(3)->ControlWidget(2));
}

// A message box a form's procedure shows (from its own thread) hands the
// focus back to the form's control once answered.
TEST_F(FocusReturnTest, AnsweringAMessageBoxReturnsToTheFormsControl) {
  platform_->WindowOpened(ChildState(2, "Browse"));
  platform_->WindowOpened(ChildState(3, "Form"));
  ASSERT_TRUE(ServeUntil([&] { return Active() == SubOf(3) && FocusIn(3); }));
  platform_->View(3)->ControlWidget(2)->setFocus();
  std::atomic<int> answer{-1};
  auto* timer = new QTimer(platform_.get());
  QObject::connect(timer, &QTimer::timeout, timer, [timer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    box->button(QMessageBox::Ok)->click();
    timer->deleteLater();
  });
  timer->start(5);
  std::thread caller([&] {
    MessageRequest request;
    request.owner = 3;
    request.text = "Saved.";
    request.buttons = button::kOk;
    answer = platform_->ShowMessage(request);
  });
  ASSERT_TRUE(ServeUntil([&] { return answer != -1; }));
  caller.join();
  Serve(50);
  EXPECT_EQ(Active(), SubOf(3));
  EXPECT_EQ(QApplication::focusWidget(), platform_->View(3)->ControlWidget(2));
}

}  // namespace
}  // namespace vorsandt::ui::qt
