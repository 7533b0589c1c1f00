#include "ui/qt/window_memory.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>

#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/resource_set.h"
#include "ui/qt/list_control.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/serve_events.h"

namespace vorsandt::ui::qt {
namespace {

TEST(PulledOntoTest, AWindowOnAMissingMonitorComesBackAndOneThatShowsStays) {
  const QList<QRect> one = {QRect(0, 0, 1024, 768)};
  // Left on a second monitor to the right, which is gone.
  EXPECT_EQ(PulledOnto(QRect(1500, 200, 400, 300), one), QRect(624, 200, 400, 300));
  // Above the screen: its title strip cannot be grabbed.
  EXPECT_EQ(PulledOnto(QRect(100, -500, 400, 300), one), QRect(100, 0, 400, 300));
  // Larger than what is left: made to fit.
  EXPECT_EQ(PulledOnto(QRect(-3000, 10, 2000, 900), one), QRect(0, 0, 1024, 768));
  // Partly off the screen but its top edge can be grabbed: left alone.
  EXPECT_EQ(PulledOnto(QRect(900, 700, 400, 300), one), QRect(900, 700, 400, 300));
  // Two monitors: a window on the second one stays there.
  const QList<QRect> two = {QRect(0, 0, 1024, 768), QRect(1024, 0, 1280, 1024)};
  EXPECT_EQ(PulledOnto(QRect(1500, 200, 400, 300), two), QRect(1500, 200, 400, 300));
  // Below both, nearer the taller one: goes there.
  EXPECT_EQ(PulledOnto(QRect(1100, 1100, 300, 200), two), QRect(1100, 824, 300, 200));
}

constexpr char kBrowseWindow[] = R"(resource: MEM01_RSC
id: MEMTEST$MEM01
structures:
  - window: MEM$BROWSE
    caption: Remembered
    at: [default, default, 220, 200]
    controls:
      - list: "80L|M~NAME~@s20@40L|M~DESCRIPTION~@s60@"
        at: [4, 4, 200, 120]
      - sheet:
        at: [4, 130, 200, 40]
        tabs:
          - tab: By Name
          - tab: By Number
          - tab: By Place
)";
constexpr int kListField = 1;
constexpr int kSheetField = 2;
constexpr char kLongValue[] = "a description wider than its column";

// One run of the program: a platform (remembering or not), an engine and a
// browse-like window whose procedure fills its list once it has opened (as a
// browse fills its first page) and counts the tab switches it hears.
class ProgramRun {
 public:
  ProgramRun(ResourceSet* set, bool remember) : engine_(&platform_, set) {
    platform_.memory().SetEnabled(remember);
    platform_.SetInputSink([this](WindowId id, const Input& in) { engine_.Input(id, in); });
  }
  ~ProgramRun() {
    if (!engine_.Ended()) Close();
  }

  bool Open() {
    bool started = engine_.StartMain([this] {
      auto w = Engine::Current()->CreateWindow("MEMTEST$MEM01", "MEM$BROWSE");
      id_ = w->id();
      w->Open();
      while (w->Accept()) {
        if (w->Event() == event::kOpenWindow)
          w->SetRows(1, {ListRow({"first", kLongValue})});
        if (w->Event() == event::kNewSelection && w->Field() == kSheetField) ++tab_switches_;
      }
      w->Close();
    });
    return started &&
           ServeUntil([&] { return id_ != 0 && View() != nullptr && View()->isVisible(); });
  }
  void Close() {
    Input close;
    close.type = Input::Type::kClose;
    engine_.Input(id_, close);
    ServeUntil([&] { return engine_.Ended(); });
  }
  WindowView* View() { return id_ == 0 ? nullptr : platform_.View(id_); }
  ListControl* List() { return qobject_cast<ListControl*>(View()->ControlWidget(kListField)); }
  QTabBar* Tabs() { return View()->ControlWidget(kSheetField)->findChild<QTabBar*>(); }
  int tab_switches() const { return tab_switches_; }
  QtPlatform& platform() { return platform_; }

 private:
  QtPlatform platform_;
  Engine engine_;
  std::atomic<WindowId> id_{0};
  std::atomic<int> tab_switches_{0};
};

class RememberedWindowsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(config_.isValid());
    // The user's settings are never touched: the configuration folder is
    // this test's own.
    setenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit().constData(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
    QCoreApplication::setOrganizationName(QStringLiteral("vorsandt-test"));
    QCoreApplication::setApplicationName(QStringLiteral("vorsandt-test"));
    ASSERT_FALSE(set_.AddModule("test", {{"m.yaml", kBrowseWindow}}).has_value());
  }
  void TearDown() override {
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(QString());
  }
  QTemporaryDir config_;
  ResourceSet set_;
};

TEST_F(RememberedWindowsTest, AMovedWindowAndItsTabComeBackInTheNextRunButNotWithoutMemory) {
  // Larger than designed: a window is never made smaller than that.
  const QRect moved(130, 110, 520, 430);
  {
    ProgramRun first(&set_, true);
    ASSERT_TRUE(first.Open());
    first.View()->setGeometry(moved);
    first.Tabs()->setCurrentIndex(2);
    ASSERT_TRUE(ServeUntil([&] { return first.tab_switches() == 1; }));
    first.Close();
  }
  EXPECT_EQ(QSettings().value(QStringLiteral("windows/MEM$BROWSE/tab")).toInt(), 3);
  {
    ProgramRun second(&set_, true);
    ASSERT_TRUE(second.Open());
    EXPECT_EQ(second.View()->geometry(), moved);
    // The procedure hears the switch to the last tab, as from the user.
    ASSERT_TRUE(ServeUntil([&] { return second.tab_switches() == 1; }));
    EXPECT_TRUE(ServeUntil([&] { return second.Tabs()->currentIndex() == 2; }));
    second.Close();
  }
  {
    // A run without memory (tests, headless runs) neither reads nor writes.
    QSettings().clear();
    QSettings().sync();
    ProgramRun plain(&set_, false);
    ASSERT_TRUE(plain.Open());
    EXPECT_NE(plain.View()->geometry(), moved);
    plain.View()->setGeometry(moved);
    plain.Tabs()->setCurrentIndex(1);
    ASSERT_TRUE(ServeUntil([&] { return plain.tab_switches() == 1; }));
    plain.Close();
    EXPECT_TRUE(QSettings().allKeys().isEmpty());
  }
}

TEST_F(RememberedWindowsTest, APlaceSavedOffTheScreenIsPulledBackOntoIt) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  {
    ProgramRun first(&set_, true);
    ASSERT_TRUE(first.Open());
    first.View()->setGeometry(QRect(screen.right() + 2000, screen.bottom() + 500, 500, 400));
    first.Close();
  }
  ProgramRun second(&set_, true);
  ASSERT_TRUE(second.Open());
  const QRect shown = second.View()->geometry();
  EXPECT_EQ(shown.size(), QSize(500, 400));
  EXPECT_TRUE(screen.contains(shown)) << shown.x() << "," << shown.y() << " outside the screen";
  second.Close();
}

TEST_F(RememberedWindowsTest, ColumnsFitTheirFirstPageAndADraggedWidthComesBackUntilFittedAgain) {
  const int dragged = 333;
  {
    ProgramRun first(&set_, true);
    ASSERT_TRUE(first.Open());
    ListControl* list = first.List();
    QTreeWidget* table = list->table();
    ASSERT_TRUE(ServeUntil([&] { return table->topLevelItemCount() == 1; }));
    const QFontMetrics metrics(table->font());
    // NAME: its heading is wider than "first", and 80 units would be wider
    // than both; DESCRIPTION: its value is far wider than 40 units.
    const int heading = table->header()->sectionSizeHint(0);
    EXPECT_GE(table->columnWidth(0), heading);
    EXPECT_LE(table->columnWidth(0), std::max(heading, metrics.horizontalAdvance("first") + 16));
    const int value = metrics.horizontalAdvance(kLongValue);
    EXPECT_GE(table->columnWidth(1), value) << "the widest value shows whole";
    EXPECT_LE(table->columnWidth(1), value + 16);
    EXPECT_EQ(table->columnWidth(1), list->FittingWidth(1));
    // The user drags the second heading's edge.
    table->header()->resizeSection(1, dragged);
    first.Close();
  }
  int fitting = 0;
  {
    ProgramRun second(&set_, true);
    ASSERT_TRUE(second.Open());
    QTreeWidget* table = second.List()->table();
    ASSERT_TRUE(ServeUntil([&] { return table->topLevelItemCount() == 1; }));
    // Kept in dialog units: back within a unit's rounding.
    EXPECT_NEAR(table->columnWidth(1), dragged, 2)
        << "the first page does not fit a dragged column";
    EXPECT_EQ(table->columnWidth(0), second.List()->FittingWidth(0));
    // A double click on the heading's edge fits it again, and forgets it.
    emit table->header()->sectionHandleDoubleClicked(1);
    fitting = second.List()->FittingWidth(1);
    EXPECT_EQ(table->columnWidth(1), fitting);
    EXPECT_EQ(second.List()->UserWidths()[1], 0);
    second.Close();
  }
  ProgramRun third(&set_, true);
  ASSERT_TRUE(third.Open());
  QTreeWidget* table = third.List()->table();
  ASSERT_TRUE(ServeUntil([&] { return table->topLevelItemCount() == 1; }));
  EXPECT_EQ(table->columnWidth(1), fitting);
  third.Close();
}

TEST_F(RememberedWindowsTest, AFileChooserStartsInTheFolderItsKindWasLastChosenFrom) {
  WindowMemory memory;
  memory.SaveFolder("Select A Graphic Image|*.*", QStringLiteral("/photos"));
  EXPECT_TRUE(memory.Folder("Select A Graphic Image|*.*").isEmpty()) << "saved while off";
  memory.SetEnabled(true);
  memory.SaveFolder("Select A Graphic Image|*.*", QStringLiteral("/photos"));
  memory.SaveFolder("CSV|*.csv", QStringLiteral("/lists"));
  EXPECT_EQ(memory.Folder("Select A Graphic Image|*.*"), QStringLiteral("/photos"));
  EXPECT_EQ(memory.Folder("CSV|*.csv"), QStringLiteral("/lists"));
}

}  // namespace
}  // namespace vorsandt::ui::qt
