#include "runtime/format/picture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "runtime/format/dates.h"
#include "runtime/format/format.h"
#include "runtime/format/locale.h"

namespace vorsandt::format {
namespace {

TEST(CompilePicture, WidthsOfValidPictures) {
  struct Case {
    const char* text;
    PictureKind kind;
    int width;
  };
  const Case cases[] = {
      {"@s30", PictureKind::kText, 30},       {"s1", PictureKind::kText, 1},
      {"@s255", PictureKind::kText, 255},     {"@N06", PictureKind::kNumber, 6},
      {"@n06", PictureKind::kNumber, 6},      {"@n-10.2", PictureKind::kNumber, 10},
      {"@n-13.2", PictureKind::kNumber, 13},  {"@n10.2-", PictureKind::kNumber, 10},
      {"@n(12.2)", PictureKind::kNumber, 12}, {"@n$10.2", PictureKind::kNumber, 10},
      {"@n~EUR~12.2", PictureKind::kNumber, 12}, {"@n12.2~ kr~", PictureKind::kNumber, 12},
      {"@n*10.2", PictureKind::kNumber, 10},  {"@n10v2", PictureKind::kNumber, 10},
      {"@n12.`2", PictureKind::kNumber, 12},  {"@n12_", PictureKind::kNumber, 12},
      {"@n-10.2B", PictureKind::kNumber, 10}, {"@E12.3", PictureKind::kScientific, 12},
      {"@D1", PictureKind::kDate, 8},         {"@D2", PictureKind::kDate, 10},
      {"@D3", PictureKind::kDate, 11},        {"@D4", PictureKind::kDate, 21},
      {"@D5", PictureKind::kDate, 8},         {"@D05", PictureKind::kDate, 8},
      {"@D5-", PictureKind::kDate, 8},        {"@D6", PictureKind::kDate, 10},
      {"@D7", PictureKind::kDate, 9},         {"@D8", PictureKind::kDate, 11},
      {"@D9", PictureKind::kDate, 8},         {"@D10", PictureKind::kDate, 10},
      {"@D11", PictureKind::kDate, 6},        {"@D12", PictureKind::kDate, 8},
      {"@D13", PictureKind::kDate, 5},        {"@D14", PictureKind::kDate, 7},
      {"@D15", PictureKind::kDate, 5},        {"@D16", PictureKind::kDate, 7},
      {"@D17", PictureKind::kDate, 8},        {"@d_6.B", PictureKind::kDate, 10},
      {"@T1", PictureKind::kTime, 5},         {"@T2", PictureKind::kTime, 4},
      {"@T3", PictureKind::kTime, 7},         {"@T4", PictureKind::kTime, 8},
      {"@T5", PictureKind::kTime, 6},         {"@T6", PictureKind::kTime, 10},
      {"@T7", PictureKind::kTime, 7},         {"@T8", PictureKind::kTime, 10},
      {"@P##%P", PictureKind::kPattern, 3},   {"@p(###) ###-####p", PictureKind::kPattern, 14},
      {"@PP", PictureKind::kPattern, 1} /* a pattern of one "P"? no: see below */,
      {"@K###-@@|##K", PictureKind::kKeyIn, 8}, {"@k\\k\\##k", PictureKind::kKeyIn, 3},
  };
  for (const auto& c : cases) {
    if (std::string(c.text) == "@PP") continue;  // covered by the invalid table
    auto picture = CompilePicture(c.text);
    ASSERT_TRUE(picture.has_value()) << c.text;
    EXPECT_EQ(picture->kind, c.kind) << c.text;
    EXPECT_EQ(picture->width, c.width) << c.text;
    EXPECT_EQ(Format(0.0, *picture).size(), static_cast<size_t>(c.width)) << c.text;
  }
}

TEST(CompilePicture, InvalidPictures) {
  const char* cases[] = {
      "",          "@",          "@x10",      "@s",       "@s0",       "@s256",     "@s1000",
      "@n",        "@n-",        "@n3.2-",    "@n0",      "@n10.2x",   "@n(10.2",   "@n~EUR10",
      "@n~~10",    "@n4.5",      "@n1000",    "@nV.10",   "@n10._2",   "@n-10.2-",  "@D0",
      "@D19",      "@D",         "@D5x",      "@D5--",    "@T0",       "@T9",       "@E5",
      "@E8.3",     "@P##%",      "@PP",       "@K##",     "@K##\\",    "@s30 ",     "@n256",
      "@N06B B",   "@D05B5",
  };
  for (const char* text : cases) {
    EXPECT_FALSE(CompilePicture(text).has_value()) << text;
    EXPECT_EQ(Format(42.0, std::string_view(text)), "") << text;
  }
  EXPECT_FALSE(CompilePicture(std::string(100000, '#')).has_value());
  EXPECT_FALSE(CompilePicture("@P" + std::string(256, '#') + "P").has_value());
  EXPECT_TRUE(CompilePicture("@P" + std::string(255, '#') + "P").has_value());
  // An implied point takes an entry but no position: 255 positions plus it
  // would not fit the stored form.
  EXPECT_FALSE(CompilePicture("@n255v2").has_value());
}

TEST(CompilePicture, EncodedFormIsBoundedAndReadsBack) {
  for (const char* text : {"@s30", "@n-13.2", "@D4", "@T6", "@K(###) ###-####K", "@n$-_12.`2B"}) {
    auto picture = CompilePicture(text);
    ASSERT_TRUE(picture) << text;
    auto bytes = picture->Encode();
    EXPECT_LE(bytes.size(), kMaxCompiledSize);
    auto back = Picture::Decode(bytes);
    ASSERT_TRUE(back) << text;
    EXPECT_EQ(*back, *picture) << text;
  }
  auto widest = CompilePicture("@P" + std::string(255, '#') + "P");
  EXPECT_EQ(widest->Encode().size(), kMaxCompiledSize);
  EXPECT_FALSE(Picture::Decode({}).has_value());
  EXPECT_FALSE(Picture::Decode({7, 1}).has_value());
  EXPECT_FALSE(Picture::Decode({0, 2, '0', 3}).has_value());  // width does not match
}

TEST(CompilePicture, LocaleFormsGiveD17D18T7T8) {
  ResetLocale();
  RegionalSettings& regional = MutableLocale().regional;
  regional.short_date = "dd.MM.yyyy";
  regional.long_date = "dddd, d. MMMM yyyy";
  regional.i_time = 1;
  regional.i_tlzero = 0;
  regional.s_time.assign(1, '.');
  double day = DateFromParts(7, 4, 1996);
  EXPECT_EQ(Format(day, std::string_view("@D17")), "04.07.1996");
  EXPECT_EQ(Format(day, std::string_view("@D18")), " 4. July         1996");
  double half_past_two = 14 * 360000 + 30 * 6000 + 5 * 100 + 1;
  EXPECT_EQ(Format(half_past_two, std::string_view("@T7")), "14.30");
  EXPECT_EQ(Format(half_past_two, std::string_view("@T8")), "14.30.05");
  ResetLocale();
  EXPECT_EQ(Format(day, std::string_view("@D17")), "07/04/96");
  EXPECT_EQ(Format(day, std::string_view("@D18")), "July         04, 1996");
  EXPECT_EQ(Format(half_past_two, std::string_view("@T7")), "02:30PM");
  EXPECT_EQ(Format(half_past_two, std::string_view("@T8")), "02:30:05PM");
}

// Random picture texts built from the language's own characters: whatever
// compiles formats to exactly its width and deformats without harm.
TEST(CompilePicture, RandomTextsNeverBreakTheFormatter) {
  std::mt19937 random(11);
  const std::string kAlphabet = "@NnEeDdTtPpKkSs0123456789.-_`vV$~()*B#<^?|\\% x";
  int compiled = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    int length = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) text += kAlphabet[random() % kAlphabet.size()];
    auto picture = CompilePicture(text);
    if (!picture) {
      ASSERT_EQ(Format(1.0, std::string_view(text)), "") << text;
      continue;
    }
    ++compiled;
    ASSERT_GE(picture->width, 1) << text;
    ASSERT_LE(picture->width, kMaxPictureWidth) << text;
    ASSERT_LE(picture->Encode().size(), kMaxCompiledSize) << text;
    for (double value : {0.0, 1.0, -1.0, 71411.0, 5220001.0, 123456.789, -1e15, 1e300}) {
      std::string shown = Format(value, *picture);
      ASSERT_EQ(shown.size(), static_cast<size_t>(picture->width)) << text << " " << value;
      Deformat(shown, &*picture);
    }
    ASSERT_EQ(Format(std::string_view("text value"), *picture).size(),
              static_cast<size_t>(picture->width));
  }
  EXPECT_GT(compiled, 100);
}

TEST(CompilePicture, DateFormWithoutPartsFallsBack) {
  ResetLocale();
  MutableLocale().regional.short_date = "'nothing'";
  EXPECT_EQ(Format(DateFromParts(7, 4, 1996), std::string_view("@D17")), "07/04/96");
  ResetLocale();
}

}  // namespace
}  // namespace vorsandt::format
