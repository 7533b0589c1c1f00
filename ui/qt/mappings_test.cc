#include "ui/qt/mappings.h"

#include <gtest/gtest.h>

#include "ui/qt/frame_window.h"

namespace vorsandt::ui::qt {
namespace {

TEST(MessageButtonsTest, EveryFlagMapsToItsButtonAndBack) {
  const int flags[] = {button::kOk,    button::kYes,    button::kNo,     button::kAbort,
                       button::kRetry, button::kIgnore, button::kCancel, button::kHelp};
  for (int flag : flags) {
    QMessageBox::StandardButton b = ToStandardButton(flag);
    EXPECT_NE(b, QMessageBox::NoButton) << flag;
    EXPECT_EQ(FromStandardButton(b), flag);
  }
  EXPECT_EQ(ToStandardButtons(button::kYes | button::kNo), QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(ToStandardButtons(button::kAbort | button::kRetry | button::kIgnore),
            QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
  EXPECT_EQ(ToStandardButtons(0), QMessageBox::Ok);
  EXPECT_EQ(FromStandardButton(QMessageBox::Save), 0);
}

TEST(MessageButtonsTest, ClosingWithoutAButtonAnswersTheSafestChoice) {
  struct Case {
    int flags;
    int default_button;
    int answer;
  };
  const Case cases[] = {
      {button::kOk, button::kOk, button::kOk},
      {button::kYes | button::kNo, button::kYes, button::kNo},
      {button::kYes | button::kNo | button::kCancel, button::kYes, button::kCancel},
      {button::kOk | button::kCancel, button::kOk, button::kCancel},
      {button::kAbort | button::kRetry | button::kIgnore, button::kRetry, button::kRetry},
      {button::kAbort | button::kRetry | button::kIgnore, 0, button::kAbort},
      {0, 0, button::kOk},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeAnswer(c.flags, c.default_button), c.answer) << c.flags;
  }
}

TEST(MessageIconsTest, IconsMap) {
  EXPECT_EQ(ToMessageIcon(Icon::kExclamation), QMessageBox::Warning);
  EXPECT_EQ(ToMessageIcon(Icon::kQuestion), QMessageBox::Question);
  EXPECT_EQ(ToMessageIcon(Icon::kStop), QMessageBox::Critical);
  EXPECT_EQ(ToMessageIcon(Icon::kAsterisk), QMessageBox::Information);
  EXPECT_EQ(ToMessageIcon(Icon::kNone), QMessageBox::NoIcon);
}

TEST(KeyCodeTest, KeysAndModifiersGiveTheEngineCodes) {
  struct Case {
    int key;
    Qt::KeyboardModifiers mods;
    int code;
  };
  const Case cases[] = {
      {Qt::Key_Insert, Qt::NoModifier, key::kInsert},
      {Qt::Key_Delete, Qt::NoModifier, key::kDelete},
      {Qt::Key_Return, Qt::ControlModifier, key::kCtrl + key::kEnter},  // 525
      {Qt::Key_Enter, Qt::NoModifier, key::kEnter},
      {Qt::Key_Left, Qt::ControlModifier, 549},
      {Qt::Key_Right, Qt::ControlModifier, 551},
      {Qt::Key_PageUp, Qt::ControlModifier, key::kCtrl + key::kPgUp},
      {Qt::Key_Home, Qt::NoModifier, key::kHome},
      {Qt::Key_Backspace, Qt::NoModifier, key::kBackspace},
      {Qt::Key_Space, Qt::NoModifier, key::kSpace},
      {Qt::Key_A, Qt::NoModifier, 'A'},
      {Qt::Key_Z, Qt::ShiftModifier, 'Z' + key::kShift},
      {Qt::Key_7, Qt::AltModifier, '7' + key::kAlt},
      {Qt::Key_F1, Qt::NoModifier, key::kF1},
      {Qt::Key_F12, Qt::NoModifier, key::kF1 + 11},
      {Qt::Key_Control, Qt::ControlModifier, 0},
      {Qt::Key_Shift, Qt::ShiftModifier, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeyCode(c.key, c.mods), c.code) << c.key;
  }
}

TEST(TextEdgeTest, EngineTextsReachTheScreenAndComeBack) {
  QString screen = ToQt("Caf\xE9 \x80");
  EXPECT_EQ(screen, QString::fromUtf8("Caf\xC3\xA9 \xE2\x82\xAC"));
  EXPECT_EQ(FromQt(screen), "Caf\xE9 \x80");
  EXPECT_EQ(FromQt(QString::fromUtf8("\xE4\xB8\xAD")), "?");
}

TEST(FontTest, FixedPitchFontsAskForAFixedPitchStandIn) {
  QFont font = FontFor(FontBlock{"Courier New", 9, 0xFFFFFFFF, 0xFFFFFFFF}, QFont());
  EXPECT_TRUE(font.fixedPitch());
  EXPECT_EQ(font.styleHint(), QFont::TypeWriter);
  EXPECT_FALSE(FontFor(FontBlock{"Arial", 9, 0xFFFFFFFF, 0xFFFFFFFF}, QFont()).fixedPitch());
}

TEST(FontTest, DefinitionFontSetsSizeAndWeightAndGivesBaseUnits) {
  QFont fallback;
  FontBlock block{"Arial", 14, 0xFFFFFFFF, 700};
  QFont font = FontFor(block, fallback);
  EXPECT_EQ(font.pointSize(), 14);
  EXPECT_TRUE(font.bold());
  EXPECT_EQ(FontFor(std::nullopt, fallback), fallback);
  BaseUnits small = BaseUnitsOf(FontFor(FontBlock{"Sans", 8, 0xFFFFFFFF, 0xFFFFFFFF}, fallback));
  BaseUnits large = BaseUnitsOf(FontFor(FontBlock{"Sans", 20, 0xFFFFFFFF, 0xFFFFFFFF}, fallback));
  EXPECT_GT(small.width, 0);
  EXPECT_GT(large.width, small.width);
  EXPECT_GT(large.height, small.height);
}

TEST(StringPictureWidthTest, StringPicturesLimitEntries) {
  EXPECT_EQ(StringPictureWidth("@s30"), 30);
  EXPECT_EQ(StringPictureWidth("s5"), 5);
  EXPECT_EQ(StringPictureWidth("@S255"), 255);
  EXPECT_EQ(StringPictureWidth("@n-10.2"), 0);
  EXPECT_EQ(StringPictureWidth("@D5"), 0);
  EXPECT_EQ(StringPictureWidth("@s"), 0);
  EXPECT_EQ(StringPictureWidth("@s3x"), 0);
  EXPECT_EQ(StringPictureWidth(""), 0);
  EXPECT_EQ(StringPictureWidth("@s99999999999"), 0);
}

TEST(ColourTest, DefinitionColoursHaveRedInTheLowByte) {
  EXPECT_EQ(ToColour(kDefaultColour), std::nullopt);
  EXPECT_EQ(ToColour(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(ToColour(0x00FF00), QColor(0, 255, 0));
  EXPECT_EQ(ToColour(0xFF0000), QColor(0, 0, 255));
  EXPECT_EQ(ToColour(0), QColor(0, 0, 0));
  EXPECT_EQ(ToColour(0x80123456), QColor(0x56, 0x34, 0x12));  // top byte ignored
}

TEST(FileDialogFilterTest, MasksBecomeFilters) {
  EXPECT_EQ(FileDialogFilter("Text|*.txt|All|*.*"), QStringLiteral("Text (*.txt);;All (*.*)"));
  EXPECT_EQ(FileDialogFilter("Pictures|*.jpg;*.bmp"), QStringLiteral("Pictures (*.jpg *.bmp)"));
  EXPECT_EQ(FileDialogFilter(""), QStringLiteral("All files (*)"));
}

}  // namespace
}  // namespace vorsandt::ui::qt
