#include "runtime/format/dates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace vorsandt::format {
namespace {

namespace chr = std::chrono;

// Day numbers straight from the calendar: days since 28 December 1800.
int64_t CalendarDayNumber(int y, unsigned m, unsigned d) {
  auto epoch = chr::sys_days{chr::year{1800} / chr::December / 28};
  auto day = chr::sys_days{chr::year{y} / chr::month{m} / chr::day{d}};
  return (day - epoch).count();
}

TEST(DateFromParts, RangeEnds) {
  EXPECT_EQ(DateFromParts(1, 1, 1801), 4);
  EXPECT_EQ(DateFromParts(12, 31, 2099), 109211);
  EXPECT_EQ(DateFromParts(1, 1, 2100), -1);
  EXPECT_EQ(DateFromParts(12, 31, 1800), -1);
  EXPECT_EQ(DateFromParts(7, 4, 1996), CalendarDayNumber(1996, 7, 4));
}

TEST(DateFromParts, CarriesAndTwoDigitYears) {
  EXPECT_EQ(DateFromParts(13, 1, 1999), DateFromParts(1, 1, 2000));
  EXPECT_EQ(DateFromParts(2, 30, 2001), DateFromParts(3, 2, 2001));
  EXPECT_EQ(DateFromParts(7, 4, 96), DateFromParts(7, 4, 1996));
  EXPECT_EQ(DateFromParts(25, 1, 98), DateFromParts(1, 1, 2000));
  EXPECT_EQ(DateFromParts(1, 366, 2001), DateFromParts(1, 1, 2002));
  EXPECT_EQ(DateFromParts(12, 32, 2099), -1);
}

TEST(DateFromParts, LeapDays) {
  EXPECT_EQ(DateFromParts(2, 29, 2000), CalendarDayNumber(2000, 2, 29));
  EXPECT_EQ(DayOf(DateFromParts(2, 29, 2000)), 29);
  // 1900 was no leap year: 29 February carries into March.
  EXPECT_EQ(DateFromParts(2, 29, 1900), DateFromParts(3, 1, 1900));
  EXPECT_EQ(DateFromParts(12, 31, 1900), 36527);
  EXPECT_EQ(DateFromParts(1, 1, 1901), 36528);
  EXPECT_EQ(DateFromParts(3, 1, 1900) - DateFromParts(2, 28, 1900), 1);
}

TEST(DateFromParts, InvalidInput) {
  struct Case {
    int64_t month, day, year;
  };
  for (Case c : {Case{0, 1, 1990}, Case{1, 0, 1990}, Case{-1, 5, 1990}, Case{1, 1, -5},
                 Case{1, 1, 1800}, Case{1, 1, 150}, Case{INT64_MAX, INT64_MAX, INT64_MAX},
                 Case{1, INT64_MAX, 2000}}) {
    EXPECT_EQ(DateFromParts(c.month, c.day, c.year), -1) << c.month << " " << c.day << " " << c.year;
  }
}

TEST(PartsFromDate, InvalidDayNumbers) {
  for (int64_t n : {int64_t{0}, int64_t{3}, int64_t{-1}, int64_t{109212}, INT64_MAX}) {
    EXPECT_EQ(DayOf(n), -1);
    EXPECT_EQ(MonthOf(n), -1);
    EXPECT_EQ(YearOf(n), -1);
  }
}

// Every valid day number against the standard library's calendar.
TEST(PartsFromDate, FullRangeAgreesWithCalendar) {
  auto epoch = chr::sys_days{chr::year{1800} / chr::December / 28};
  for (int32_t n = kFirstDay; n <= kLastDay; ++n) {
    chr::year_month_day ymd{epoch + chr::days{n}};
    DateParts parts;
    ASSERT_TRUE(PartsFromDate(n, &parts)) << n;
    ASSERT_EQ(parts.year, static_cast<int>(ymd.year())) << n;
    ASSERT_EQ(parts.month, static_cast<int>(static_cast<unsigned>(ymd.month()))) << n;
    ASSERT_EQ(parts.day, static_cast<int>(static_cast<unsigned>(ymd.day()))) << n;
    ASSERT_EQ(DateFromParts(parts.month, parts.day, parts.year), n);
  }
}

TEST(Time, PartsAndBack) {
  EXPECT_EQ(TimeFromParts(0, 0, 0, 0), 0);
  EXPECT_EQ(TimeFromParts(0, 0, 0, 1), 2);
  EXPECT_EQ(TimeFromParts(23, 59, 59, 99), kLastTime);
  EXPECT_EQ(TimeFromParts(14, 30, 0, 0), 14 * 360000 + 30 * 6000 + 1);
  EXPECT_EQ(TimeFromParts(24, 0, 0, 0), -1);
  EXPECT_EQ(TimeFromParts(1, 60, 0, 0), -1);
  EXPECT_EQ(TimeFromParts(1, 0, 60, 0), -1);
  EXPECT_EQ(TimeFromParts(1, 0, 0, 100), -1);
  EXPECT_EQ(TimeFromParts(-1, 0, 0, 0), -1);
  TimeParts parts;
  ASSERT_TRUE(PartsFromTime(kLastTime, &parts));
  EXPECT_EQ(parts.hours, 23);
  EXPECT_EQ(parts.minutes, 59);
  EXPECT_EQ(parts.seconds, 59);
  EXPECT_EQ(parts.hundredths, 99);
  EXPECT_FALSE(PartsFromTime(0, &parts));
  EXPECT_EQ(parts.hours, 0);
  EXPECT_FALSE(PartsFromTime(kLastTime + 1, &parts));
  for (int32_t t = 1; t <= kLastTime; t += 997) {
    ASSERT_TRUE(PartsFromTime(t, &parts));
    ASSERT_EQ(TimeFromParts(parts.hours, parts.minutes, parts.seconds, parts.hundredths),
              t == 1 ? 0 : t);
  }
}

class FixedClock : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockSource([] { return LocalDateTime{2026, 12, 8, 0, 0, 0, 0}; });
  }
  void TearDown() override { SetClockSource(nullptr); }
};

TEST_F(FixedClock, TodayAndClockReadTheSource) {
  EXPECT_EQ(Today(), CalendarDayNumber(2026, 12, 8));
  // Midnight is a time of day, not "no time".
  EXPECT_EQ(Clock(), 1);
  SetClockSource([] { return LocalDateTime{2026, 12, 8, 14, 30, 5, 7}; });
  EXPECT_EQ(Clock(), TimeFromParts(14, 30, 5, 7));
}

TEST_F(FixedClock, AgeUnits) {
  int32_t today = Today();
  EXPECT_EQ(Age(today - 60), "60 DAYS");
  EXPECT_EQ(Age(today), "0 DAYS");
  EXPECT_EQ(Age(DateFromParts(12, 8, 2024)), "24 MOS");
  EXPECT_EQ(Age(DateFromParts(11, 8, 2024)), "2 YRS");
  EXPECT_EQ(Age(DateFromParts(12, 9, 2024)), "23 MOS");
  EXPECT_EQ(Age(DateFromParts(12, 9, 1990)), "35 YRS");
  EXPECT_EQ(Age(DateFromParts(12, 8, 1990)), "36 YRS");
  EXPECT_EQ(Age(today - 61), "2 MOS");
}

TEST(Age, BaseBeforeBirthUsesTheLastCentury) {
  // A birth date typed as 05/03/30 became 1930; read against a base of 1920
  // it is taken as 1830.
  EXPECT_EQ(Age(DateFromParts(3, 5, 1930), DateFromParts(3, 5, 1920)), "90 YRS");
  EXPECT_EQ(Age(DateFromParts(1, 1, 1850), DateFromParts(1, 1, 1849)), std::string(255, '*'));
  // 29 February 2000 has no counterpart in 1900.
  EXPECT_EQ(Age(DateFromParts(2, 29, 2000), DateFromParts(1, 1, 1990)), std::string(255, '*'));
  EXPECT_EQ(Age(0, DateFromParts(1, 1, 1990)), std::string(255, '*'));
}

}  // namespace
}  // namespace vorsandt::format
