#include "runtime/format/dates.h"

#include <ctime>
#include <utility>

namespace vorsandt::format {
namespace {

// Days before each month in a common year.
constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// 31 December 1900. The four-year blocks below assume every fourth year is a
// leap year; 1900 was not, so from 1901 on day numbers are shifted by one.
constexpr int32_t kLastDayOf1900 = 36527;

LocalDateTime SystemLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  LocalDateTime result;
  result.year = local.tm_year + 1900;
  result.month = local.tm_mon + 1;
  result.day = local.tm_mday;
  result.hours = local.tm_hour;
  result.minutes = local.tm_min;
  result.seconds = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second shows as :59
  result.hundredths = static_cast<int32_t>(now.tv_nsec / 10000000);
  return result;
}

ClockSource& Source() {
  static ClockSource source;
  return source;
}

}  // namespace

bool IsLeapYear(int64_t year) { return year % 4 == 0 && year != 1900; }

int DaysInMonth(int64_t month, int64_t year) {
  if (month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kMonthDays[month - 1];
}

bool IsValidDay(int64_t day_number) { return day_number >= kFirstDay && day_number <= kLastDay; }

int32_t DateFromParts(int64_t month, int64_t day, int64_t year) {
  if (month < 1 || day < 1 || year < 0) return -1;
  // Anything this large lies far beyond 2099 whatever the carries do.
  if (year > 1000000 || month > 12000000) return -1;
  if (year < 100) year += 1900;
  // Carry months into years before anything can overflow.
  year += (month - 1) / 12;
  month = (month - 1) % 12 + 1;
  if (year < 1801 || year > 2099) return -1;
  int64_t first = (year - 1801) * 1461 / 4 + kDaysBefore[month - 1] + 1 + 3;
  if (year > 1900) first -= 1;
  if (month > 2 && IsLeapYear(year)) first += 1;
  // Days beyond the month's length carry into the following months, which is
  // the same as counting on from the first of the month.
  if (day - 1 > kLastDay) return -1;
  int64_t result = first + (day - 1);
  return IsValidDay(result) ? static_cast<int32_t>(result) : -1;
}

bool PartsFromDate(int64_t day_number, DateParts* parts) {
  if (!IsValidDay(day_number)) {
    *parts = {-1, -1, -1};
    return false;
  }
  int64_t n = day_number > kLastDayOf1900 ? day_number - 3 : day_number - 4;
  int64_t year = 1801 + 4 * (n / 1461);
  int64_t rest = n % 1461;
  if (rest == 1460) {
    *parts = {static_cast<int32_t>(year + 3), 12, 31};
    return true;
  }
  year += rest / 365;
  int64_t day_of_year = rest % 365;
  int month = 1;
  while (day_of_year >= DaysInMonth(month, year)) {
    day_of_year -= DaysInMonth(month, year);
    ++month;
  }
  *parts = {static_cast<int32_t>(year), month, static_cast<int32_t>(day_of_year + 1)};
  return true;
}

int32_t DayOf(int64_t day_number) {
  DateParts parts;
  PartsFromDate(day_number, &parts);
  return parts.day;
}

int32_t MonthOf(int64_t day_number) {
  DateParts parts;
  PartsFromDate(day_number, &parts);
  return parts.month;
}

int32_t YearOf(int64_t day_number) {
  DateParts parts;
  PartsFromDate(day_number, &parts);
  return parts.year;
}

int32_t TimeFromParts(int64_t hours, int64_t minutes, int64_t seconds, int64_t hundredths) {
  if (hours < 0 || minutes < 0 || seconds < 0 || hundredths < 0) return -1;
  if (hours > 23 || minutes > 59 || seconds > 59 || hundredths > 99) return -1;
  if (hours == 0 && minutes == 0 && seconds == 0 && hundredths == 0) return 0;
  return static_cast<int32_t>(hours * 360000 + minutes * 6000 + seconds * 100 + hundredths + 1);
}

bool PartsFromTime(int64_t time_value, TimeParts* parts) {
  if (time_value < 1 || time_value > kLastTime) {
    *parts = {};
    return false;
  }
  int64_t t = time_value - 1;
  parts->hours = static_cast<int32_t>(t / 360000);
  parts->minutes = static_cast<int32_t>(t % 360000 / 6000);
  parts->seconds = static_cast<int32_t>(t % 6000 / 100);
  parts->hundredths = static_cast<int32_t>(t % 100);
  return true;
}

void SetClockSource(ClockSource source) { Source() = std::move(source); }

LocalDateTime CurrentLocalTime() { return Source() ? Source()() : SystemLocalTime(); }

int32_t Today() {
  LocalDateTime now = CurrentLocalTime();
  // The platform's date is always a real date; reject anything else rather
  // than letting DATE's carries turn it into some other day.
  if (now.month < 1 || now.month > 12 || now.day < 1 || now.day > DaysInMonth(now.month, now.year))
    return -1;
  if (now.year < 1801) return -1;
  return DateFromParts(now.month, now.day, now.year);
}

int32_t Clock() {
  LocalDateTime now = CurrentLocalTime();
  int32_t value = TimeFromParts(now.hours, now.minutes, now.seconds, now.hundredths);
  // Exactly midnight is a real time of day, not "no time".
  return value == 0 ? 1 : value;
}

std::string Age(int64_t birth, int64_t base) {
  const std::string kInvalid(255, '*');
  DateParts birth_parts;
  DateParts base_parts;
  if (!PartsFromDate(birth, &birth_parts) || !PartsFromDate(base, &base_parts)) return kInvalid;
  if (base < birth) {
    // A two-digit year of the last century: try the birth date 100 years back.
    int64_t earlier_year = birth_parts.year - 100;
    if (earlier_year < 1801 || birth_parts.day > DaysInMonth(birth_parts.month, earlier_year))
      return kInvalid;
    birth_parts.year = static_cast<int32_t>(earlier_year);
    birth = DateFromParts(birth_parts.month, birth_parts.day, birth_parts.year);
    if (birth < 0 || base < birth) return kInvalid;
  }
  int64_t days = base - birth;
  if (days < 61) return std::to_string(days) + " DAYS";
  int64_t months = (int64_t{base_parts.year} - birth_parts.year) * 12 +
                   (base_parts.month - birth_parts.month);
  if (base_parts.day < birth_parts.day) --months;
  if (months <= 24) return std::to_string(months) + " MOS";
  int64_t years = int64_t{base_parts.year} - birth_parts.year;
  if (base_parts.month < birth_parts.month ||
      (base_parts.month == birth_parts.month && base_parts.day < birth_parts.day))
    --years;
  return std::to_string(years) + " YRS";
}

std::string Age(int64_t birth) { return Age(birth, Today()); }

}  // namespace vorsandt::format
