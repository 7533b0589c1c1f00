#include "ui/qt/dialog_units.h"

#include <gtest/gtest.h>

namespace vorsandt::ui::qt {
namespace {

TEST(DialogUnitsTest, AQuarterOfTheAverageWidthAndAnEighthOfTheHeight) {
  BaseUnits base{6, 13};
  EXPECT_EQ(ToPixelsX(4, base), 6);
  EXPECT_EQ(ToPixelsY(8, base), 13);
  EXPECT_EQ(ToPixelsX(480, base), 720);
  EXPECT_EQ(ToPixelsY(300, base), 488);  // 487.5 rounds up
  EXPECT_EQ(ToPixelsX(1, base), 2);      // 1.5 rounds up
  EXPECT_EQ(ToPixelsX(0, base), 0);
  EXPECT_EQ(ToPixelsX(-4, base), -6);
  EXPECT_EQ(ToPixelsY(-300, base), -488);
}

TEST(DialogUnitsTest, LargerFontsGiveLargerWindows) {
  BaseUnits small{6, 13};
  BaseUnits large{8, 16};
  EXPECT_LT(ToPixelsX(100, small), ToPixelsX(100, large));
  EXPECT_EQ(ToPixelsX(100, large), 200);
  EXPECT_EQ(ToPixelsY(100, large), 200);
}

TEST(DialogUnitsTest, PixelsBackToUnits) {
  BaseUnits base{7, 15};
  for (int units : {0, 1, 9, 14, 56, 292, 480}) {
    EXPECT_NEAR(ToUnitsX(ToPixelsX(units, base), base), units, 1) << units;
    EXPECT_NEAR(ToUnitsY(ToPixelsY(units, base), base), units, 1) << units;
  }
}

TEST(DialogUnitsTest, ValuesNotGivenStayNotGiven) {
  Rect units;
  units.x = 10;
  units.w = 56;
  Rect px = ToPixels(units, BaseUnits{6, 13});
  EXPECT_EQ(px.x, 15);
  EXPECT_EQ(px.y, kNotGiven);
  EXPECT_EQ(px.w, 84);
  EXPECT_EQ(px.h, kNotGiven);
}

TEST(DialogUnitsTest, AStretchedWindowScalesEveryLengthInProportion) {
  BaseUnits base{6, 13};
  base.stretch_x = 1250;  // a quarter wider
  base.stretch_y = 1100;
  EXPECT_EQ(ToPixelsX(400, base), 750);  // 600 unstretched
  EXPECT_EQ(ToPixelsX(4, base), 8);      // 7.5 rounds up
  EXPECT_EQ(ToPixelsY(80, base), 143);   // 130 unstretched
  EXPECT_EQ(ToUnitsX(750, base), 400);
  EXPECT_EQ(ToUnitsY(143, base), 80);
  for (int units : {0, 1, 9, 14, 56, 292, 480}) {
    EXPECT_NEAR(ToUnitsX(ToPixelsX(units, base), base), units, 1) << units;
  }
}

TEST(DialogUnitsTest, AverageLetterWidthRoundsToNearest) {
  EXPECT_EQ(AverageLetterWidth(52 * 6), 6);
  EXPECT_EQ(AverageLetterWidth(52 * 6 + 25), 6);
  EXPECT_EQ(AverageLetterWidth(52 * 6 + 26), 7);
}

}  // namespace
}  // namespace vorsandt::ui::qt
