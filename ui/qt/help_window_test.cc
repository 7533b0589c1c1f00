#include "ui/qt/help_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QThread>
#include <atomic>
#include <cstdlib>

#include "ui/engine/engine.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/serve_events.h"

namespace vorsandt::ui::qt {
namespace {

// A small manual of two chapters, written into a folder of its own.
const std::pair<const char*, const char*> kFixture[] = {
    {"index.md",
     "<a id=\"contents\"></a>\n# Fixture Manual\n\n"
     "1. [How to Use Help](help.md)\n2. [Browsing Items](browse.md)\n"},
    {"help.md",
     "<a id=\"using-help\"></a>\n# How to Use Help\n"
     "Press F1 anywhere. Then read [the item browse](browse.md#items-browse).\n"},
    {"browse.md",
     "<a id=\"items-browse\"></a>\n# The Item Browse\nLists every item.\n\n"
     "<a id=\"items-form\"></a>\n## Item Form\nChange an item. Delete takes its claims.\n"},
};

class HelpWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const auto& [name, text] : kFixture) {
      QFile file(dir_.filePath(QString::fromUtf8(name)));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(text);
    }
  }

  // Clicks the first link of the page whose target is `href`.
  static bool ClickLink(QTextBrowser* page, const QString& href) {
    for (QTextBlock block = page->document()->begin(); block.isValid(); block = block.next()) {
      for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().anchorHref() != href) continue;
        QTextCursor cursor(page->document());
        cursor.setPosition(it.fragment().position() + 1);
        QPoint at = page->cursorRect(cursor).center();
        QTest::mouseClick(page->viewport(), Qt::LeftButton, {}, at);
        return true;
      }
    }
    return false;
  }

  QTemporaryDir dir_;
};

TEST_F(HelpWindowTest, OpensAtTheNamedSectionWithItsHeadingInTheContents) {
  HelpWindow help(dir_.path());
  ASSERT_TRUE(help.manual().problems().empty());
  help.ShowTopic(QStringLiteral("items-form"));
  EXPECT_EQ(help.ShownTitle(), "Item Form");
  EXPECT_TRUE(help.page()->toPlainText().startsWith("Item Form\nChange an item."));
  EXPECT_FALSE(help.page()->toPlainText().contains("Lists every item"));
  ASSERT_NE(help.contents()->currentItem(), nullptr);
  EXPECT_EQ(help.contents()->currentItem()->text(0), "Item Form");
  EXPECT_TRUE(help.contents()->currentItem()->parent()->isExpanded());
  EXPECT_EQ(help.contents()->topLevelItemCount(), 3);  // contents and two chapters

  // A name the manual lacks shows the contents and says so.
  help.ShowTopic(QStringLiteral("no-such-window"));
  EXPECT_EQ(help.ShownTitle(), "Fixture Manual");
  EXPECT_FALSE(help.note()->isHidden());
  EXPECT_TRUE(help.note()->text().contains("no-such-window"));

  // Choosing a chapter in the contents shows it.
  help.contents()->setCurrentItem(help.contents()->topLevelItem(2));
  EXPECT_EQ(help.ShownTitle(), "The Item Browse");
  EXPECT_TRUE(help.note()->isHidden());
}

TEST_F(HelpWindowTest, SearchFindsSectionsAndMarksTheWord) {
  HelpWindow help(dir_.path());
  help.ShowSearch(QStringLiteral("DELETE"));
  EXPECT_EQ(help.tabs()->currentIndex(), 1);
  ASSERT_EQ(help.results()->count(), 1);
  EXPECT_EQ(help.results()->item(0)->text(), QStringLiteral("Item Form \u2014 Browsing Items"));
  emit help.results()->itemActivated(help.results()->item(0));
  EXPECT_EQ(help.ShownTitle(), "Item Form");
  EXPECT_EQ(help.page()->textCursor().selectedText(), "Delete");
  help.searchLine()->setText(QStringLiteral("item"));
  EXPECT_EQ(help.results()->count(), 3);
  help.searchLine()->setText(QStringLiteral("nothing like it"));
  EXPECT_EQ(help.results()->count(), 0);
}

TEST_F(HelpWindowTest, LinksOpenOtherChaptersAndBackReturns) {
  HelpWindow help(dir_.path());
  help.show();
  help.ShowTopic(QStringLiteral("using-help"));
  ASSERT_TRUE(ClickLink(help.page(), QStringLiteral("browse.md#items-browse")));
  EXPECT_EQ(help.ShownTitle(), "The Item Browse");
  QTest::keyClick(help.page(), Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(help.ShownTitle(), "How to Use Help");
}

TEST_F(HelpWindowTest, EscClosesTheWindowWhereverTheFocusIs) {
  HelpWindow help(dir_.path());
  help.show();
  help.ShowSearch(QStringLiteral("item"));
  QTest::keyClick(help.searchLine(), Qt::Key_Escape);
  EXPECT_FALSE(help.isVisible());
  help.show();
  QTest::keyClick(help.page(), Qt::Key_Escape);
  EXPECT_FALSE(help.isVisible());
}

TEST_F(HelpWindowTest, TheManualIsLookedForWhereTheUserSaysElseBesideTheProgram) {
  qputenv("VORSANDT_MANUAL_DIR", dir_.path().toUtf8());
  EXPECT_EQ(ManualFolders(), QStringList{dir_.path()});
  EXPECT_EQ(FindManual(ManualFolders()), QFileInfo(dir_.path()).canonicalFilePath());
  qunsetenv("VORSANDT_MANUAL_DIR");
  // This test runs in the build folder: the source tree's manual comes first.
  QStringList folders = ManualFolders();
  ASSERT_EQ(folders.size(), 2);
  EXPECT_TRUE(folders[0].endsWith("/docs/manual"));
  EXPECT_TRUE(folders[1].endsWith("/share/doc/vorsandt/manual"));
  EXPECT_EQ(FindManual({QStringLiteral("/nonexistent"), dir_.path()}),
            QFileInfo(dir_.path()).canonicalFilePath());
}

// Help through the engine on the real platform: one help window, moved to
// each new topic; without a manual, a box that holds nothing up.
class HelpOnThePlatformTest : public HelpWindowTest {
 protected:
  void SetUp() override {
    HelpWindowTest::SetUp();
    platform_ = std::make_unique<QtPlatform>();
    engine_ = std::make_unique<Engine>(platform_.get());
    Engine* e = engine_.get();
    platform_->SetInputSink([e](WindowId id, const Input& in) { e->Input(id, in); });
  }
  void TearDown() override {
    qunsetenv("VORSANDT_MANUAL_DIR");
    for (WindowId id : engine_->OpenWindows()) Send(id, Input::Type::kClose);
    ServeUntil([&] { return engine_->Ended(); });
    engine_.reset();
    platform_.reset();
  }
  // Opens the window `label` of the resource `id` as the first procedure.
  WindowId Start(const char* id, const char* label) {
    std::atomic<WindowId> opened{0};
    EXPECT_TRUE(engine_->StartMain([id, label, &opened] {
      auto w = Engine::Current()->CreateWindow(id, label);
      w->Open();
      opened = w->id();
      while (w->Accept()) {
      }
      w->Close();
    }));
    EXPECT_TRUE(ServeUntil([&] { return opened != 0 && platform_->View(opened) != nullptr; }));
    return opened;
  }
  void Send(WindowId id, Input::Type type, int value = 0) {
    Input in;
    in.type = type;
    in.value = value;
    engine_->Input(id, in);
  }

  std::unique_ptr<QtPlatform> platform_;
  std::unique_ptr<Engine> engine_;
};

class HelpFromTheFrameTest : public HelpOnThePlatformTest {
 protected:
  void SetUp() override {
    HelpOnThePlatformTest::SetUp();
    ASSERT_TRUE(engine_->StartMain([] {
      auto frame = Engine::Current()->CreateWindow("ZELTAR3$ZELTA001", "MAIN$APPFRAME");
      frame->Open();
      while (frame->Accept()) {
      }
      frame->Close();
    }));
    ASSERT_TRUE(ServeUntil([&] { return platform_->frame()->isVisible(); }));
  }
  void Choose(const QString& text) {
    for (QAction* top : platform_->frame()->menuBar()->actions()) {
      if (!top->menu()) continue;
      for (QAction* a : top->menu()->actions()) {
        if (a->text() == text) a->trigger();
      }
    }
  }
};

TEST_F(HelpFromTheFrameTest, HelpMenuOpensOneWindowAtEachTopic) {
  qputenv("VORSANDT_MANUAL_DIR", dir_.path().toUtf8());
  Choose(QStringLiteral("&Contents"));
  ASSERT_TRUE(
      ServeUntil([&] { return platform_->helpWindow() && platform_->helpWindow()->isVisible(); }));
  HelpWindow* help = platform_->helpWindow();
  EXPECT_EQ(help->ShownTitle(), "Fixture Manual");
  EXPECT_FALSE(help->isModal());
  Choose(QStringLiteral("&How to Use Help"));
  ASSERT_TRUE(ServeUntil([&] { return help->ShownTitle() == "How to Use Help"; }));
  QTest::keyClick(help->page(), Qt::Key_Escape);
  EXPECT_FALSE(help->isVisible());
  Choose(QStringLiteral("&Search for Help On..."));
  ASSERT_TRUE(ServeUntil([&] { return help->isVisible(); }));
  EXPECT_EQ(platform_->helpWindow(), help);
  EXPECT_EQ(help->tabs()->currentIndex(), 1);
}

// F1 on the frame itself, where no child window has the keys.
TEST_F(HelpFromTheFrameTest, F1OnTheFrameOpensItsSection) {
  qputenv("VORSANDT_MANUAL_DIR", dir_.path().toUtf8());
  QTest::keyClick(platform_->frame(), Qt::Key_F1);
  ASSERT_TRUE(
      ServeUntil([&] { return platform_->helpWindow() && platform_->helpWindow()->isVisible(); }));
  // The fixture has no section for the frame: its contents say so.
  EXPECT_EQ(platform_->helpWindow()->ShownTitle(), "Fixture Manual");
  EXPECT_TRUE(platform_->helpWindow()->note()->text().contains("main-appframe"));
}

TEST_F(HelpFromTheFrameTest, WithoutAManualABoxSaysWhereItWasLookedFor) {
  QTemporaryDir empty;
  qputenv("VORSANDT_MANUAL_DIR", empty.path().toUtf8());
  Choose(QStringLiteral("&Contents"));
  QMessageBox* box = nullptr;
  ASSERT_TRUE(ServeUntil([&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
    }
    return box != nullptr;
  }));
  EXPECT_TRUE(box->text().contains(empty.path()));
  EXPECT_EQ(box->windowModality(), Qt::NonModal);
  EXPECT_EQ(platform_->helpWindow(), nullptr);
  box->close();
}

// A modal window keeps input from every other: help asked for there hangs
// under it while it is open, and stays open under the frame when it closes.
TEST_F(HelpOnThePlatformTest, F1InAModalWindowOpensHelpThatCanBeUsed) {
  qputenv("VORSANDT_MANUAL_DIR", dir_.path().toUtf8());
  WindowId jump = Start("ZELTAR3$ZELTA061", "REPORTPREVIEW$JUMPWINDOW");
  ASSERT_TRUE(
      ServeUntil([&] { return QApplication::activeModalWidget() == platform_->View(jump); }));
  Send(jump, Input::Type::kKey, key::kF1);
  ASSERT_TRUE(
      ServeUntil([&] { return platform_->helpWindow() && platform_->helpWindow()->isVisible(); }));
  QPointer<HelpWindow> help = platform_->helpWindow();
  EXPECT_EQ(help->parentWidget(), platform_->View(jump));
  EXPECT_EQ(help->manual().Find("reportpreview-jumpwindow"), std::nullopt);
  EXPECT_FALSE(help->note()->isHidden());  // the fixture has no such section
  Send(jump, Input::Type::kClose);
  ASSERT_TRUE(ServeUntil([&] { return engine_->Ended(); }));
  ASSERT_TRUE(ServeUntil([&] { return platform_->View(jump) == nullptr; }));
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->parentWidget(), platform_->frame());
  EXPECT_TRUE(help->isVisible());
}

}  // namespace
}  // namespace vorsandt::ui::qt
