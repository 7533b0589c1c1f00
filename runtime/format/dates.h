// Day numbers, time values and the date functions built on them.
//
// A day number counts days since 28 December 1800 (day 0). Only 4 (1 January
// 1801) to 109211 (31 December 2099) are dates; every other value means "no
// date". Leap years in that range are the years divisible by 4 except 1900.
//
// A time value is hundredths of a second since midnight plus one: 1 is
// 00:00:00.00, 8640000 is 23:59:59.99 and 0 means "no time".
//
// All functions here are pure except Today, Clock and the one-argument Age,
// which read the current local time through the clock source below.
#ifndef VORSANDT_RUNTIME_FORMAT_DATES_H_
#define VORSANDT_RUNTIME_FORMAT_DATES_H_

#include <cstdint>
#include <functional>
#include <string>

namespace vorsandt::format {

inline constexpr int32_t kFirstDay = 4;        // 1 January 1801
inline constexpr int32_t kLastDay = 109211;    // 31 December 2099
inline constexpr int32_t kLastTime = 8640000;  // 23:59:59.99

struct DateParts {
  int32_t year = 0;
  int32_t month = 0;  // 1-12
  int32_t day = 0;    // 1-31
};

struct TimeParts {
  int32_t hours = 0;
  int32_t minutes = 0;
  int32_t seconds = 0;
  int32_t hundredths = 0;
};

bool IsLeapYear(int64_t year);
// Days in `month` (1-12) of `year`; 0 for a month out of range.
int DaysInMonth(int64_t month, int64_t year);
bool IsValidDay(int64_t day_number);

// DATE(month, day, year): a year below 100 has 1900 added, months above 12
// carry into later years and days beyond the month carry into later months.
// Returns -1 when a part is below 1, the year is out of range or the result
// is not a valid day number.
int32_t DateFromParts(int64_t month, int64_t day, int64_t year);

// The parts of a valid day number; false (parts all -1) for an invalid one.
bool PartsFromDate(int64_t day_number, DateParts* parts);
// DAY, MONTH and YEAR: -1 for an invalid day number.
int32_t DayOf(int64_t day_number);
int32_t MonthOf(int64_t day_number);
int32_t YearOf(int64_t day_number);

// The time value of the parts: 0 when all parts are 0, -1 when a part is out
// of range (hours 0-23, minutes and seconds 0-59, hundredths 0-99).
int32_t TimeFromParts(int64_t hours, int64_t minutes, int64_t seconds, int64_t hundredths);
// Splits a time value; values below 1 or above 8640000 give all parts 0 and
// return false.
bool PartsFromTime(int64_t time_value, TimeParts* parts);

// The current local date and time as the platform reports it.
struct LocalDateTime {
  int32_t year = 1970;
  int32_t month = 1;
  int32_t day = 1;
  int32_t hours = 0;
  int32_t minutes = 0;
  int32_t seconds = 0;
  int32_t hundredths = 0;
};

// Where Today and Clock take the time from. The default reads the system's
// real-time clock in the process's local time zone; tests and the platform
// layer install their own. Passing an empty function restores the default.
using ClockSource = std::function<LocalDateTime()>;
void SetClockSource(ClockSource source);
LocalDateTime CurrentLocalTime();

// TODAY: today's day number (-1 outside the valid range).
int32_t Today();
// CLOCK: the time of day as a time value.
int32_t Clock();

// AGE(birth, base): "<n> DAYS" below 61 days, "<n> MOS" up to 24 months,
// otherwise "<n> YRS". A base before the birth date takes the birth date 100
// years earlier; when that does not help (or a date is invalid) the result is
// 255 asterisks.
std::string Age(int64_t birth, int64_t base);
// AGE with the base date today.
std::string Age(int64_t birth);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_DATES_H_
