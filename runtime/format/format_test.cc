#include "runtime/format/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "runtime/format/dates.h"
#include "runtime/format/locale.h"

namespace vorsandt::format {
namespace {

std::string F(double value, const char* picture) { return Format(value, std::string_view(picture)); }
double D(std::string_view text, const char* picture) {
  return Deformat(text, std::string_view(picture)).number;
}

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLocale();
    SetClockSource([] { return LocalDateTime{2026, 12, 8, 10, 0, 0, 0}; });
  }
  void TearDown() override {
    SetClockSource(nullptr);
    ResetLocale();
  }
  const int32_t july4 = DateFromParts(7, 4, 1996);
};

TEST_F(FormatTest, DatePictures) {
  EXPECT_EQ(F(july4, "@D5"), " 4/07/96");
  EXPECT_EQ(F(july4, "@D05"), "04/07/96");
  EXPECT_EQ(F(july4, "@D5-"), " 4-07-96");
  struct Case {
    const char* picture;
    const char* text;
  };
  const Case cases[] = {
      {"@D1", " 7/04/96"},    {"@D2", " 7/04/1996"},  {"@D3", "Jul  4,1996"},
      {"@D4", "July          4, 1996"},                {"@D6", " 4/07/1996"},
      {"@D7", " 4 Jul 96"},   {"@D8", " 4 Jul 1996"}, {"@D9", "96/07/04"},
      {"@D10", "1996/07/04"}, {"@D11", "960704"},     {"@D12", "19960704"},
      {"@D13", "07/96"},      {"@D14", "07/1996"},    {"@D15", "96/07"},
      {"@D16", "1996/07"},    {"@D_6", " 4/ 7/1996"}, {"@D*1.", "*7.*4.96"},
      {"@D3`", "Jul  4,1996"}, {"@D8_", " 4 Jul 1996"}, {"@D6.", " 4.07.1996"},
  };
  for (const auto& c : cases) EXPECT_EQ(F(july4, c.picture), c.text) << c.picture;
  // No date: blanks, with or without B.
  EXPECT_EQ(F(0, "@D5"), "        ");
  EXPECT_EQ(F(-1, "@D5"), "        ");
  EXPECT_EQ(F(109212, "@D6"), "          ");
  EXPECT_EQ(F(0, "@D5B"), "        ");
}

TEST_F(FormatTest, MonthNamesFollowTheLocale) {
  MutableLocale().month_abbreviations[6] = "Jui";
  MutableLocale().month_names[6] = "Juillet";
  EXPECT_EQ(F(july4, "@D3"), "Jui  4,1996");
  EXPECT_EQ(F(july4, "@D4"), "Juillet       4, 1996");
  EXPECT_EQ(D("Jui  4,1996", "@D3"), july4);
  EXPECT_EQ(D("jui 4 1996", "@D8"), july4);
  MutableLocale().month_abbreviations[1] = "F\xe9v";
  EXPECT_EQ(D("1 F\xe9v 1997", "@D8"), DateFromParts(2, 1, 1997));
}

TEST_F(FormatTest, TimePictures) {
  double t = TimeFromParts(14, 30, 0, 0);
  EXPECT_EQ(F(t, "@T3"), " 2:30PM");
  EXPECT_EQ(F(t, "@T1"), "14:30");
  EXPECT_EQ(F(t, "@T2"), "1430");
  EXPECT_EQ(F(t, "@T4"), "14:30:00");
  EXPECT_EQ(F(t, "@T5"), "143000");
  EXPECT_EQ(F(t, "@T6"), " 2:30:00PM");
  EXPECT_EQ(F(t, "@T1."), "14.30");
  EXPECT_EQ(F(TimeFromParts(9, 5, 0, 0), "@T01"), "09:05");
  EXPECT_EQ(F(1, "@T3"), "12:00AM");
  EXPECT_EQ(F(TimeFromParts(12, 0, 0, 0), "@T3"), "12:00PM");
  EXPECT_EQ(F(0, "@T1"), "     ");
  EXPECT_EQ(F(kLastTime + 1, "@T1"), "     ");
  EXPECT_EQ(D(" 2:30PM", "@T3"), t);
  EXPECT_EQ(D("2:30 pm", "@T3"), t);
  EXPECT_EQ(D("12:00AM", "@T3"), 1);
  EXPECT_EQ(D("00:00", "@T1"), 1);
  EXPECT_EQ(D("     ", "@T1"), 0);
  EXPECT_EQ(D("25:00", "@T1"), -1);
}

TEST_F(FormatTest, NumberPictures) {
  EXPECT_EQ(F(0, "@n-10.2B"), "          ");
  EXPECT_EQ(F(1234.5, "@n-10.2"), "  1,234.50");
  EXPECT_EQ(F(42, "@N06"), "000042");
  struct Case {
    double value;
    const char* picture;
    const char* text;
  };
  const Case cases[] = {
      {-1234.5, "@n-10.2", " -1,234.50"},
      {0, "@n-10.2", "      0.00"},
      {-0.004, "@n-10.2", "      0.00"},
      {0.005, "@n-10.2", "      0.01"},
      {1.005, "@n-10.2", "      1.01"},
      {99999.99, "@n-10.2", " 99,999.99"},
      {-99999.99, "@n-10.2", "-99,999.99"},
      {100000, "@n-10.2", "##########"},
      {999999.999, "@n-10.2", "##########"},
      {1234567.891, "@n-13.2", " 1,234,567.89"},
      {-5, "@n-13.2", "        -5.00"},
      {-5, "@N06", "######"},
      {1234567, "@N06", "######"},
      {7, "@n6", "     7"},
      {123456, "@n6", "######"},
      {12345, "@n6", "12,345"},
      {1234.5, "@n10.2-", " 1,234.50 "},
      {-1234.5, "@n10.2-", " 1,234.50-"},
      {-1234.5, "@n(11.2)", " (1,234.50)"},
      {1234.5, "@n(11.2)", "  1,234.50 "},
      {1234.5, "@n$10.2", " $1,234.50"},
      {-1234.5, "@n$-11.2", " $-1,234.50"},
      {1234.5, "@n~EUR~12.2", " EUR1,234.50"},
      {1234.5, "@n12.2~ kr~", " 1,234.50 kr"},
      {1234.5, "@n*10.2", "**1*234.50"},
      {1234.5, "@n_10.2", "   1234.50"},
      {1234.5, "@n010.2", "0001234.50"},
      {-1234.5, "@n-010.2", "-001234.50"},
      {1234.5, "@n12.`2", "    1.234,50"},
      {1234.5, "@n12`.2", "    1,234.50"},
      {1234.5, "@n12_.2", "    1 234.50"},
      {1234.5, "@n9v2", "  1,23450"},
      {0.5, "@n3.2", ".50"},
      {12, "@n5", "   12"},
      {1e300, "@n10.2", "##########"},
      {NAN, "@n10.2", "##########"},
      {5, "@n-10.2B", "      5.00"},
  };
  for (const auto& c : cases) EXPECT_EQ(F(c.value, c.picture), c.text) << c.value << " " << c.picture;
}

// A number too large for a real, given as text or as a value, does not fit
// any picture; it never shows as 0 or as "inf".
TEST_F(FormatTest, NumbersBeyondARealShowAsNotFitting) {
  for (const char* text : {"1e400", "-1e400", "123e999"}) {
    EXPECT_EQ(Format(std::string_view(text), std::string_view("@n-20.2")), std::string(20, '#'))
        << text;
    EXPECT_EQ(Format(std::string_view(text), std::string_view("@e12.3")), std::string(12, '#'))
        << text;
    EXPECT_EQ(Format(std::string_view(text), std::string_view("@P###P")), "###") << text;
    EXPECT_EQ(Format(std::string_view(text), std::string_view("@D5")), std::string(8, ' '))
        << text;
  }
  EXPECT_EQ(Format(std::string_view("1e300"), std::string_view("@n-20.2")), std::string(20, '#'));
  EXPECT_EQ(Format(std::string_view("1234.5"), std::string_view("@n-10.2")), "  1,234.50");
  EXPECT_EQ(F(INFINITY, "@s6"), "#     ");
  EXPECT_EQ(F(NAN, "@s6"), "#     ");
  EXPECT_EQ(NumberText(-INFINITY), "#");
  // Read back under no picture, such a text is no number: 0.
  EXPECT_EQ(D("1e400", ""), 0);
  EXPECT_EQ(Deformat("1e400", std::string_view("")).text, "0");
}

TEST_F(FormatTest, FourteenSignificantDigits) {
  EXPECT_EQ(F(123456789012345.678, "@n20"), " 123,456,789,012,350");
  EXPECT_EQ(F(0.1 + 0.2, "@n20.16"), "  0.3000000000000000");
}

TEST_F(FormatTest, PatternAndKeyInAndText) {
  EXPECT_EQ(F(25, "@P##%P"), "25%");
  EXPECT_EQ(F(5, "@P##%P"), "05%");
  EXPECT_EQ(F(100, "@P##%P"), "###");
  EXPECT_EQ(F(-5, "@P##%P"), "###");
  EXPECT_EQ(F(5551234, "@P(<<#) ###-####P"), "(  0) 555-1234");
  EXPECT_EQ(F(0, "@P##%PB"), "   ");
  EXPECT_EQ(Format(std::string_view("ab12"), std::string_view("@K##-@@|##K")), "ab-12  ");
  EXPECT_EQ(Deformat("ab-12  ", std::string_view("@K##-@@|##K")).text, "ab12");
  EXPECT_TRUE(Deformat("ab-12  ", std::string_view("@K##-@@|##K")).is_text);
  EXPECT_EQ(Format(std::string_view("hello world"), std::string_view("@s5")), "hello");
  EXPECT_EQ(Format(std::string_view("hi"), std::string_view("@s5")), "hi   ");
  EXPECT_EQ(Format(std::string_view("12.5"), std::string_view("@n-10.2")), "     12.50");
  EXPECT_EQ(F(25, "@s4"), "25  ");
}

TEST_F(FormatTest, ScientificPictures) {
  EXPECT_EQ(F(12345.678, "@E12.3"), "  1.235e+004");
  EXPECT_EQ(F(-0.00012, "@E12.3"), " -1.200e-004");
  EXPECT_EQ(F(0, "@E12.3"), "  0.000e+000");
  EXPECT_DOUBLE_EQ(D("  1.235e+004", "@E12.3"), 12350);
  EXPECT_DOUBLE_EQ(D(" -1,200e-004", "@E12`3"), -0.00012);
}

TEST_F(FormatTest, DeformatWithoutPicture) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"$1,234.50", 1234.5}, {"-12", -12},      {"12-", 12},         {"1.2.3", 1.23},
      {"1e3", 1000},         {"1E-2", 0.01},    {"2e+2", 200},       {"abc", 0},
      {"", 0},               {" - 5", -5},      {"1e5e3", 1e53},     {"1e999", 0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(Deformat(c.text, nullptr).number, c.value) << c.text;
    EXPECT_DOUBLE_EQ(D(c.text, "@s20"), c.value) << c.text;
  }
  EXPECT_EQ(Deformat("1,234.50", nullptr).text, "1234.5");
}

TEST_F(FormatTest, DeformatTypedText) {
  EXPECT_EQ(D("4/7/96", "@D5"), july4);
  EXPECT_EQ(D("04/07/1996", "@D5"), july4);
  EXPECT_EQ(D("4-7-96", "@D5"), july4);
  EXPECT_EQ(D("960704", "@D11"), july4);
  EXPECT_EQ(D("        ", "@D5"), 0);
  EXPECT_EQ(D("31/02/97", "@D6"), DateFromParts(3, 3, 1997));  // carries like DATE
  EXPECT_EQ(D("0/02/1997", "@D6"), -1);
  // A carried date is told apart from one written as it is read.
  auto carried = [](const char* text, const char* picture) {
    return Deformat(text, std::string_view(picture)).carried;
  };
  EXPECT_TRUE(carried("31/02/97", "@D6"));
  EXPECT_TRUE(carried("29/02/26", "@D5"));
  EXPECT_TRUE(carried("15/13/2024", "@D6"));
  EXPECT_TRUE(carried("31/04/24", "@D5"));
  EXPECT_FALSE(carried("29/02/24", "@D5"));  // a leap year
  EXPECT_FALSE(carried("31/12/99", "@D5"));
  EXPECT_FALSE(carried(" 4/07/96", "@D5"));
  EXPECT_FALSE(carried("Jul  4,1996", "@D3"));
  EXPECT_FALSE(carried("1234.5", "@n-10.2"));
  // Two-digit years fall into the hundred years ending 20 years from now.
  EXPECT_EQ(D(" 4/07/05", "@D5"), DateFromParts(7, 4, 2005));
  EXPECT_EQ(D(" 4/07/46", "@D5"), DateFromParts(7, 4, 2046));
  EXPECT_EQ(D(" 4/07/47", "@D5"), DateFromParts(7, 4, 1947));
  EXPECT_DOUBLE_EQ(D("1234.5", "@n-10.2"), 1234.5);
  EXPECT_DOUBLE_EQ(D("-1,234.50", "@n-10.2"), -1234.5);
  EXPECT_DOUBLE_EQ(D("(1,234.50)", "@n(11.2)"), -1234.5);
  EXPECT_DOUBLE_EQ(D("1.234,50", "@n12.`2"), 1234.5);
  EXPECT_DOUBLE_EQ(D("12345", "@n9v2"), 123.45);
  EXPECT_DOUBLE_EQ(D("##########", "@n-10.2"), 0);
  EXPECT_EQ(D("25%", "@P##%P"), 25);
  EXPECT_EQ(D("5%", "@P##%P"), 5);
  EXPECT_EQ(D(" 5%", "@P<#%P"), 5);
}

// Every picture the application uses gives its value back.
TEST_F(FormatTest, RoundTripsOfTheApplicationPictures) {
  std::mt19937_64 random(42);
  auto check_number = [](double value, const char* picture, int decimals) {
    std::string text = F(value, picture);
    double rounded = std::round(value * std::pow(10, decimals)) / std::pow(10, decimals);
    ASSERT_NE(text.find('#'), 0u) << value << " " << picture;
    ASSERT_DOUBLE_EQ(D(text, picture), rounded) << value << " " << picture << " '" << text << "'";
  };
  // Money: widths 10 and 13 with two decimals, signed.
  std::vector<double> values = {0, 0.01, -0.01, 0.5, 1, -1, 12.34, -99999.99, 99999.99, 1234.5};
  std::uniform_real_distribution<double> money(-99999.99, 99999.99);
  for (int i = 0; i < 5000; ++i) values.push_back(money(random));
  for (double v : values) {
    check_number(v, "@n-10.2", 2);
    check_number(v, "@n-13.2", 2);
    check_number(v * 100, "@n-13.2", 2);
  }
  // Many decimals are rounded away, once.
  check_number(1.23456789, "@n-10.2", 2);
  check_number(-0.125, "@n-10.2", 2);
  // References: 0 to 999999, zero-filled.
  for (int v = 0; v <= 999999; v += 7) {
    ASSERT_EQ(D(F(v, "@N06"), "@N06"), v);
    ASSERT_EQ(D(F(v, "@n06"), "@n06"), v);
  }
  // Percentages.
  for (int v = 0; v <= 99; ++v) ASSERT_EQ(D(F(v, "@P##%P"), "@P##%P"), v);
  // Texts.
  for (const char* picture : {"@s1", "@s20", "@s30", "@s41", "@s60"}) {
    std::string text = Format(std::string_view("Kitchen table 1234"), std::string_view(picture));
    EXPECT_EQ(text.size(), static_cast<size_t>(std::stoi(picture + 2)));
  }
  // Every valid date through @D5 (two-digit years: each date within the
  // century window) and through the four-digit-year pictures.
  for (int32_t day = kFirstDay; day <= kLastDay; ++day) {
    int32_t year = YearOf(day);
    if (year > 1946 && year <= 2046) {
      ASSERT_EQ(D(F(day, "@D5"), "@D5"), day) << day;
    }
    ASSERT_EQ(D(F(day, "@D6"), "@D6"), day) << day;
    ASSERT_EQ(D(F(day, "@D10"), "@D10"), day) << day;
  }
  for (int32_t day = kFirstDay; day <= kLastDay; day += 37) {
    for (const char* picture : {"@D2", "@D4", "@D8", "@D12", "@D3", "@D18"}) {
      ASSERT_EQ(D(F(day, picture), picture), day) << day << " " << picture;
    }
  }
  // Times at the resolution of their pictures.
  for (int32_t t = 1; t <= kLastTime; t += 6000) {
    ASSERT_EQ(D(F(t, "@T3"), "@T3"), t) << t;
    ASSERT_EQ(D(F(t, "@T1"), "@T1"), t) << t;
    ASSERT_EQ(D(F(t + 100 * 37, "@T6"), "@T6"), t + 100 * 37) << t;
  }
}

}  // namespace
}  // namespace vorsandt::format
