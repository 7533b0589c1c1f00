#include "runtime/format/picture_hint.h"

#include <gtest/gtest.h>

namespace vorsandt::format {
namespace {

Picture Compiled(const char* text) {
  std::optional<Picture> p = CompilePicture(text);
  EXPECT_TRUE(p.has_value()) << text;
  return p.value_or(Picture{});
}

TEST(PictureHintTest, DateAndTimePartsInTheOrderTheyAreTyped) {
  const struct {
    const char* picture;
    const char* words;
  } cases[] = {
      {"@D5", "day/month/year"},
      {"@D1", "month/day/year"},
      {"@D10", "year/month/day"},
      {"@D5-", "day-month-year"},
      {"@D05", "day/month/year"},
      {"@D3", "month name day,year"},
      {"@D8", "day month name year"},
      {"@D11", "year month day"},
      {"@T1", "hours:minutes"},
      {"@T4", "hours:minutes:seconds"},
      {"@T3", "hours:minutes AM/PM"},
      {"@T5", "hours minutes seconds"},
      {"@n-10.2", ""},
      {"@s20", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(LayoutInWords(Compiled(c.picture)), c.words) << c.picture;
}

TEST(PictureHintTest, TheExampleIsShownThroughThePicture) {
  const struct {
    const char* picture;
    const char* example;
  } cases[] = {
      {"@D5", "4/07/96"},      {"@D05", "04/07/96"},    {"@D6", "4/07/1996"},
      {"@D1", "7/04/96"},      {"@D5-", "4-07-96"},     {"@D3", "Jul  4,1996"},
      {"@T1", "14:30"},        {"@T3", "2:30PM"},       {"@T4", "14:30:00"},
      {"@n-10.2", "1,234.50"}, {"@n-13.2", "1,234.50"}, {"@N06", "001234"},
      {"@n06", "001234"},      {"@P##%P", "25%"},       {"@s30", ""},
      {"@K###K", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExampleOf(Compiled(c.picture)), c.example) << c.picture;
  // An example the picture cannot show is left out rather than shown as #.
  EXPECT_EQ(ExampleOf(Compiled("@n3")), "");
}

}  // namespace
}  // namespace vorsandt::format
