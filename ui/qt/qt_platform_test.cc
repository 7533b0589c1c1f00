#include "ui/qt/qt_platform.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "ui/engine/engine.h"
#include "ui/engine/resource_set.h"
#include "ui/qt/list_control.h"
#include "ui/qt/serve_events.h"

namespace vorsandt::ui::qt {
namespace {

constexpr char kFrameId[] = "ZELTAR3$ZELTA001";
constexpr char kFrameLabel[] = "MAIN$APPFRAME";
constexpr char kSplashId[] = "ZELTAR3$ZELTA_SF";
constexpr char kSplashLabel[] = "SPLASH$WINDOW";

// Runs a window's loop until it ends, recording what was delivered.
struct Recorder {
  std::mutex mu;
  std::vector<std::pair<int, int>> events;  // event, field
  void Add(int event, int field) {
    std::lock_guard<std::mutex> lock(mu);
    events.emplace_back(event, field);
  }
  bool Saw(int event, int field) {
    std::lock_guard<std::mutex> lock(mu);
    for (const auto& e : events) {
      if (e.first == event && e.second == field) return true;
    }
    return false;
  }
};

// Modal boxes and menus run a loop of their own, inside which `act` is
// tried until it reports that it handled the box.
void WhenModal(QObject* owner, std::function<bool()> act) {
  auto* timer = new QTimer(owner);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
    if (act()) timer->deleteLater();
  });
  timer->start(5);
}

void RunLoop(std::unique_ptr<Window> window, Recorder* recorder) {
  window->Open();
  while (window->Accept()) recorder->Add(window->Event(), window->Field());
  window->Close();
}

class QtPlatformTest : public testing::Test {
 protected:
  void SetUp() override {
    platform_ = std::make_unique<QtPlatform>();
    engine_ = std::make_unique<Engine>(platform_.get());
    Engine* e = engine_.get();
    platform_->SetInputSink([e](WindowId id, const Input& in) { e->Input(id, in); });
  }
  void TearDown() override {
    if (!engine_->Ended()) {
      for (WindowId id : engine_->OpenWindows()) {
        Input close;
        close.type = Input::Type::kClose;
        engine_->Input(id, close);
      }
      ServeUntil([&] { return engine_->Ended(); });
    }
    engine_.reset();
    platform_.reset();
  }

  // Starts a first procedure that opens the frame and runs its loop; the
  // frame's window starts `child` on a thread of its own when given.
  void StartFrame(std::function<void()> child = nullptr) {
    ASSERT_TRUE(engine_->StartMain([this, child] {
      auto frame = Engine::Current()->CreateWindow(kFrameId, kFrameLabel);
      frame->Open();
      if (child) Engine::Current()->Start(child, 50000);
      while (frame->Accept()) frame_events_.Add(frame->Event(), frame->Field());
      frame->Close();
    }));
    ASSERT_TRUE(ServeUntil([&] { return platform_->frame()->isVisible(); }));
  }

  QAction* FindAction(const QString& text) {
    for (QAction* top : platform_->frame()->menuBar()->actions()) {
      if (!top->menu()) continue;
      for (QAction* a : top->menu()->actions()) {
        if (a->text() == text) return a;
      }
    }
    return nullptr;
  }

  std::unique_ptr<QtPlatform> platform_;
  std::unique_ptr<Engine> engine_;
  Recorder frame_events_;
  // Outlives the procedure threads: TearDown ends them first.
  Recorder child_events_;
};

TEST_F(QtPlatformTest, FrameOpensWithEveryMenuTextAndExitEndsTheProgram) {
  StartFrame();
  FrameWindow* frame = platform_->frame();
  EXPECT_EQ(frame->windowTitle(), "VORSANDT");
  QStringList menus;
  QStringList items;
  for (QAction* top : frame->menuBar()->actions()) {
    menus << top->text();
    for (QAction* a : top->menu()->actions()) {
      if (!a->isSeparator()) items << a->text();
    }
  }
  EXPECT_EQ(menus,
            QStringList({"&File", "&Edit", "&Browse Files", "&Reports", "&Window", "&Help"}));
  const QStringList expected = {"&Back Up Data...",
                                "&Restore Data...",
                                "&Import CSV...",
                                "&Print Setup ...",
                                "E&xit",
                                "Cu&t",
                                "&Copy",
                                "&Paste",
                                "&Find...",
                                "&Go to...",
                                "Browse INVENTORY ITEMS",
                                "Browse ITEM LOCATIONS",
                                "Tree Browse INVENTORY",
                                "Browse INVENTORY IMAGES",
                                "Browse INSURANCE POLICIES",
                                "Browse INSURANCE CLAIMS",
                                "Browse INSURANCE COMPANIES",
                                "Tree Browse INSURANCE",
                                "Browse WARRANTY RECORD",
                                "Tree Browse WARRANTY RECORDS",
                                "Browse SERVICE RECORD",
                                "Browse SERVICE COMPANIES",
                                "Tree Browse SERVICE RECORDS",
                                "QUERY BY EXAMPLE",
                                "Inventory Check",
                                "Master Inventory",
                                "Insurance Report",
                                "Coverage Check",
                                "Labels",
                                "Summary",
                                "T&ile",
                                "&Cascade",
                                "&Arrange Icons",
                                "&Contents",
                                "&Search for Help On...",
                                "&How to Use Help"};
  EXPECT_EQ(items, expected);
  EXPECT_FALSE(items.contains("Item&46"));
  EXPECT_EQ(FindAction("Browse ITEM LOCATIONS")->statusTip(), "Browse ITEM LOCATION");
  EXPECT_TRUE(ServeUntil([&] { return frame_events_.Saw(event::kOpenWindow, 0); }));

  // Standard actions run without disturbing the loop.
  for (const char* text : {"T&ile", "&Cascade", "&Arrange Icons", "Cu&t", "&Copy", "&Paste"}) {
    FindAction(text)->trigger();
  }
  int menu_item = -27;  // Tile
  EXPECT_TRUE(ServeUntil([&] { return frame_events_.Saw(event::kAccepted, menu_item); }));
  EXPECT_TRUE(ServeUntil([&] { return frame_events_.Saw(event::kAccepted, -5); }));

  FindAction("E&xit")->trigger();
  EXPECT_TRUE(ServeUntil([&] { return engine_->Ended(); }));
  EXPECT_TRUE(frame_events_.Saw(event::kCloseWindow, 0));
  ServeUntil([&] { return !frame->isVisible(); });
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(QtPlatformTest, ClosingTheFrameWhileAStartedProcedureIsOpenEndsBoth) {
  StartFrame([this] {
    RunLoop(Engine::Current()->CreateWindow(kSplashId, kSplashLabel), &child_events_);
  });
  ASSERT_TRUE(
      ServeUntil([&] { return platform_->frame()->mdiArea()->subWindowList().size() == 1; }));
  QMdiSubWindow* sub = platform_->frame()->mdiArea()->subWindowList()[0];
  EXPECT_EQ(sub->widget()->windowTitle(), "Welcome");
  // The child's close box asks its procedure; nothing closes by itself.
  EXPECT_FALSE(sub->close());
  platform_->frame()->close();  // the frame's close box
  EXPECT_TRUE(ServeUntil([&] { return engine_->Ended(); }));
  EXPECT_TRUE(child_events_.Saw(event::kCloseWindow, 0));
  EXPECT_TRUE(ServeUntil([&] { return platform_->frame()->mdiArea()->subWindowList().isEmpty(); }));
}

TEST_F(QtPlatformTest, ClickingAButtonReachesTheProcedureAsAcceptedOnItsField) {
  StartFrame([this] {
    RunLoop(Engine::Current()->CreateWindow(kSplashId, kSplashLabel), &child_events_);
  });
  ASSERT_TRUE(
      ServeUntil([&] { return platform_->frame()->mdiArea()->subWindowList().size() == 1; }));
  auto* view =
      qobject_cast<WindowView*>(platform_->frame()->mdiArea()->subWindowList()[0]->widget());
  ASSERT_NE(view, nullptr);
  auto* button = qobject_cast<QPushButton*>(view->ControlWidget(5));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "Continue");
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_TRUE(ServeUntil([&] { return child_events_.Saw(event::kAccepted, 5); }));
}

TEST_F(QtPlatformTest, MessageBoxFromAProcedureThreadAnswersWithTheClickedButton) {
  MessageRequest request;
  request.text = "Delete this record?";
  request.caption = "Confirm";
  request.icon = Icon::kQuestion;
  request.buttons = button::kYes | button::kNo | button::kCancel;
  request.default_button = button::kYes;
  std::atomic<int> answer{-1};
  QString text, title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  bool default_yes = false;
  bool escape_cancel = false;
  bool awaiting = false;
  EXPECT_FALSE(platform_->AwaitingUser());
  WhenModal(platform_.get(), [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return false;
    awaiting = platform_->AwaitingUser();
    text = box->text();
    title = box->windowTitle();
    icon = box->icon();
    buttons = box->standardButtons();
    default_yes = box->defaultButton() == box->button(QMessageBox::Yes);
    escape_cancel = box->escapeButton() == box->button(QMessageBox::Cancel);
    box->button(QMessageBox::No)->click();
    return true;
  });
  std::thread caller([&] { answer = platform_->ShowMessage(request); });
  ASSERT_TRUE(ServeUntil([&] { return answer != -1; }));
  caller.join();
  EXPECT_EQ(text, "Delete this record?");
  EXPECT_EQ(title, "Confirm");
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_TRUE(default_yes);
  EXPECT_TRUE(escape_cancel);
  EXPECT_TRUE(awaiting) << "the engine counts the caller as idle while the box waits";
  EXPECT_FALSE(platform_->AwaitingUser());
  EXPECT_EQ(answer, button::kNo);
}

TEST_F(QtPlatformTest, MessageBoxShowsButtonsWithCaptionsOfTheirOwn) {
  MessageRequest request;
  request.text = "Save changes to this record?";
  request.caption = "Save Changes";
  request.icon = Icon::kQuestion;
  request.buttons = button::kYes | button::kNo | button::kCancel;
  request.default_button = button::kYes;
  request.captions = {{button::kYes, "&Save"}, {button::kNo, "&Discard"}};
  std::atomic<int> answer{-1};
  QStringList labels;
  bool escape_cancel = false;
  WhenModal(platform_.get(), [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return false;
    for (QAbstractButton* b : box->buttons()) labels << b->text();
    escape_cancel = box->escapeButton() == box->button(QMessageBox::Cancel);
    box->button(QMessageBox::No)->click();
    return true;
  });
  std::thread caller([&] { answer = platform_->ShowMessage(request); });
  ASSERT_TRUE(ServeUntil([&] { return answer != -1; }));
  caller.join();
  labels.sort();
  EXPECT_EQ(labels.size(), 3);
  EXPECT_TRUE(labels.contains("&Save")) << labels.join(", ").toStdString();
  EXPECT_TRUE(labels.contains("&Discard")) << labels.join(", ").toStdString();
  EXPECT_TRUE(escape_cancel);
  // The Discard button answers as the No button it stands on.
  EXPECT_EQ(answer, button::kNo);
}

TEST_F(QtPlatformTest, PopupNumbersItsItemsAndAnswersTheChosenOne) {
  std::atomic<int> chosen{-1};
  QStringList texts;
  bool second_enabled = true;
  WhenModal(platform_.get(), [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return false;
    QList<QAction*> actions = menu->actions();
    for (QAction* a : actions) texts << a->text();
    if (actions.size() != 3) {
      menu->close();
      return true;
    }
    second_enabled = actions[1]->isEnabled();
    menu->setActiveAction(actions[2]);
    QTest::keyClick(menu, Qt::Key_Return);
    return true;
  });
  std::thread caller(
      [&] { chosen = platform_->ShowPopup(0, "|&Insert|~&Change|&Delete", 10, 10); });
  ASSERT_TRUE(ServeUntil([&] { return chosen != -1; }));
  caller.join();
  EXPECT_EQ(texts, QStringList({"&Insert", "&Change", "&Delete"}));
  EXPECT_FALSE(second_enabled);
  EXPECT_EQ(chosen, 3);
}

constexpr char kListWindow[] = R"(resource: TEST01_RSC
id: TESTS$TEST01
structures:
  - window: T$PAGED
    caption: Paged
    at: [default, default, 220, 240]
    controls:
      - list: "80L|M~NAME~@s20@"
        paged: true
        at: [4, 4, 200, 220]
)";

// A browse loads its first page on the open-window event: by then the list
// has told the engine how many rows it shows, not the guess the definition's
// height gives.
TEST_F(QtPlatformTest, APagedListsRowsAreKnownWhenTheProcedureHearsOpenWindow) {
  ResourceSet set;
  ASSERT_FALSE(set.AddModule("test", {{"t.yaml", kListWindow}}).has_value());
  Engine engine(platform_.get(), &set);
  platform_->SetInputSink([&engine](WindowId id, const Input& in) { engine.Input(id, in); });
  std::atomic<int> items_on_open{-1};
  std::atomic<int> guessed{-1};
  std::atomic<WindowId> id{0};
  ASSERT_TRUE(engine.StartMain([&] {
    auto w = Engine::Current()->CreateWindow("TESTS$TEST01", "T$PAGED");
    guessed = static_cast<int>(w->GetNumber(1, prop::kItems));
    id = w->id();
    w->Open();
    while (w->Accept()) {
      if (w->Event() == event::kOpenWindow)
        items_on_open = static_cast<int>(w->GetNumber(1, prop::kItems));
    }
    w->Close();
  }));
  ListControl* list = nullptr;
  ASSERT_TRUE(ServeUntil([&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* found = top->findChild<ListControl*>(); found && found->isVisible()) list = found;
    }
    return items_on_open != -1 && list != nullptr;
  }));
  EXPECT_EQ(items_on_open, list->VisibleRows());
  EXPECT_NE(items_on_open, guessed) << "the test shows nothing unless the guess is wrong";
  Input close;
  close.type = Input::Type::kClose;
  engine.Input(id, close);
  ASSERT_TRUE(ServeUntil([&] { return engine.Ended(); }));
  platform_->SetInputSink([e = engine_.get()](WindowId w, const Input& in) { e->Input(w, in); });
}

// Without a position the popup opens where the mouse is (a browse's right
// click); dismissed, it answers 0.
TEST_F(QtPlatformTest, APopupWithoutAPositionOpensAtTheMouseAndDismissedAnswersZero) {
  std::atomic<int> chosen{-1};
  QCursor::setPos(120, 90);
  const QPoint mouse = QCursor::pos();
  if (mouse != QPoint(120, 90)) GTEST_SKIP() << "the platform does not move the mouse";
  QPoint opened(-1, -1);
  WhenModal(platform_.get(), [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return false;
    opened = menu->pos();
    QTest::keyClick(menu, Qt::Key_Escape);
    return true;
  });
  std::thread caller([&] { chosen = platform_->ShowPopup(0, "One|Two", INT32_MIN, INT32_MIN); });
  ASSERT_TRUE(ServeUntil([&] { return chosen != -1; }));
  caller.join();
  EXPECT_EQ(chosen, 0);
  EXPECT_EQ(opened, mouse);
}

TEST_F(QtPlatformTest, FileDialogAnswersTheChosenNameInTheRecordsCharacterSet) {
  std::atomic<bool> answered{false};
  std::optional<std::string> chosen;
  QString filter;
  WhenModal(platform_.get(), [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return false;
    filter = dialog->nameFilters().join(";;");
    dialog->selectFile(QString::fromUtf8("/tmp/caf\xC3\xA9.txt"));
    QMetaObject::invokeMethod(dialog, "accept");
    return true;
  });
  std::thread caller([&] {
    FileRequest request;
    request.title = "Open";
    request.mask = "Text|*.txt|All|*.*";
    request.save = true;  // a name that need not exist
    chosen = platform_->ChooseFile(request);
    answered = true;
  });
  ASSERT_TRUE(ServeUntil([&] { return answered.load(); }));
  caller.join();
  EXPECT_EQ(filter, "Text (*.txt);;All (*.*)");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, "/tmp/caf\xE9.txt");
}

TEST_F(QtPlatformTest, CancelledDialogsAnswerNothing) {
  WhenModal(platform_.get(), [&] {
    QWidget* modal = QApplication::activeModalWidget();
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (dialog == nullptr) return false;
    dialog->reject();
    return true;
  });
  std::atomic<int> printer{-1};
  std::thread caller([&] { printer = platform_->PrinterSetup(0) ? 1 : 0; });
  ASSERT_TRUE(ServeUntil([&] { return printer != -1; }));
  caller.join();
  EXPECT_EQ(printer, 0);
}

TEST_F(QtPlatformTest, ShutdownReleasesAWaitingModalCallWithTheDismissedAnswer) {
  MessageRequest request;
  request.buttons = button::kOk | button::kCancel;
  std::atomic<int> answer{-1};
  std::thread caller([&] { answer = platform_->ShowMessage(request); });
  // The loop is never served: the call waits until the platform shuts down.
  platform_->Shutdown();
  caller.join();
  EXPECT_EQ(answer, button::kCancel);
  // Later calls do not wait at all.
  EXPECT_EQ(platform_->ShowPopup(0, "One", 0, 0), 0);
  EXPECT_FALSE(platform_->PrinterSetup(0));
}

}  // namespace
}  // namespace vorsandt::ui::qt
