// Until the locale and picture services are wired in, this file carries the
// evaluator's own correct implementation of the parts it needs: the default
// locale (A-Z/a-z case partners, digits, collation by character code), the
// day-number arithmetic, the age text, and text pictures.
#include "runtime/eval/format_bridge.h"

#include <ctime>

#include "runtime/eval/values.h"

namespace vorsandt::eval::bridge {

unsigned char UpperChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

unsigned char LowerChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

uint32_t CollationWeight(unsigned char c) { return c; }

namespace {

constexpr int32_t kFirstDay = 4;         // 1 January 1801
constexpr int32_t kLastDay = 109211;     // 31 December 2099
constexpr int32_t kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

bool IsLeap(int32_t year) { return year % 4 == 0 && year != 1900; }

int32_t MonthLength(int32_t month, int32_t year) {
  static constexpr int32_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kLengths[month - 1];
}

struct DateParts {
  int32_t year = -1;
  int32_t month = -1;
  int32_t day = -1;
};

DateParts PartsOf(int32_t day_number) {
  DateParts parts;
  if (day_number < kFirstDay || day_number > kLastDay) return parts;
  int32_t d = day_number - (day_number > 36527 ? 3 : 4);
  int32_t year = 1801 + 4 * (d / 1461);
  int32_t rest = d % 1461;
  if (rest == 1460) {
    parts.year = year + 3;
    parts.month = 12;
    parts.day = 31;
    return parts;
  }
  year += rest / 365;
  int32_t day_of_year = rest % 365;
  int32_t month = 1;
  while (month < 12 && day_of_year >= MonthLength(month, year)) {
    day_of_year -= MonthLength(month, year);
    ++month;
  }
  parts.year = year;
  parts.month = month;
  parts.day = day_of_year + 1;
  return parts;
}

}  // namespace

int32_t DateFromParts(int32_t month, int32_t day, int32_t year) {
  if (month < 1 || day < 1 || year < 0) return -1;
  if (year < 100) year += 1900;
  // Months beyond 12 carry into the following years; the limits keep the
  // arithmetic far from overflow, and anything that large is no date anyway.
  if (month > 12) {
    if (month > 12 * 400) return -1;
    year += (month - 1) / 12;
    month = (month - 1) % 12 + 1;
  }
  if (year < 1801 || year > 2099 || day > 366 * 400) return -1;
  int32_t first = (year - 1801) * 1461 / 4 + kDaysBefore[month - 1] + 1 + 3;
  if (year > 1900) first -= 1;
  if (month > 2 && IsLeap(year)) first += 1;
  // Days beyond the month's length carry into the following months.
  int32_t result = first + day - 1;
  return result < kFirstDay || result > kLastDay ? -1 : result;
}

int32_t DayOf(int32_t day_number) { return PartsOf(day_number).day; }
int32_t MonthOf(int32_t day_number) { return PartsOf(day_number).month; }
int32_t YearOf(int32_t day_number) { return PartsOf(day_number).year; }

int32_t Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DateFromParts(local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
}

int32_t Clock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::time_t seconds = now.tv_sec;
  std::tm local{};
  localtime_r(&seconds, &local);
  return local.tm_hour * 360000 + local.tm_min * 6000 + local.tm_sec * 100 +
         static_cast<int32_t>(now.tv_nsec / 10000000) + 1;
}

std::string AgeText(int32_t birth, int32_t base) {
  const std::string kUnknown(255, '*');
  DateParts base_parts = PartsOf(base);
  DateParts birth_parts = PartsOf(birth);
  if (base_parts.year < 0 || birth_parts.year < 0) return kUnknown;
  if (base < birth) {
    // A two-digit year of the last century was meant.
    birth = DateFromParts(birth_parts.month, birth_parts.day, birth_parts.year - 100);
    if (birth < 0 || base < birth) return kUnknown;
    birth_parts = PartsOf(birth);
    if (birth_parts.year < 0) return kUnknown;
  }
  if (base - birth < 61) return IntegerToText(base - birth) + " DAYS";
  int32_t months = (base_parts.year - birth_parts.year) * 12 + (base_parts.month - birth_parts.month);
  if (base_parts.day < birth_parts.day) --months;
  if (months <= 24) return IntegerToText(months) + " MOS";
  int32_t years = base_parts.year - birth_parts.year;
  if (base_parts.month < birth_parts.month ||
      (base_parts.month == birth_parts.month && base_parts.day < birth_parts.day)) {
    --years;
  }
  return IntegerToText(years) + " YRS";
}

namespace {

// The picture without its optional at sign.
std::string_view Body(std::string_view picture) {
  if (!picture.empty() && picture[0] == '@') picture.remove_prefix(1);
  return picture;
}

// Width of a text picture (S or s followed by digits), or -1.
int TextPictureWidth(std::string_view picture) {
  std::string_view body = Body(picture);
  if (body.empty() || (body[0] != 'S' && body[0] != 's') || body.size() < 2) return -1;
  int width = 0;
  for (size_t i = 1; i < body.size(); ++i) {
    if (body[i] < '0' || body[i] > '9') return -1;
    width = width * 10 + (body[i] - '0');
    if (width > 255) return -1;
  }
  return width >= 1 ? width : -1;
}

}  // namespace

bool PictureTakesText(std::string_view picture) {
  std::string_view body = Body(picture);
  return !body.empty() && (body[0] == 'S' || body[0] == 's' || body[0] == 'K' || body[0] == 'k');
}

std::string FormatValue(std::string_view text, double number, std::string_view picture) {
  (void)number;
  int width = TextPictureWidth(picture);
  if (width < 0) return std::string();
  std::string result(text.substr(0, static_cast<size_t>(width)));
  result.resize(static_cast<size_t>(width), ' ');
  return result;
}

std::string DeformatText(std::string_view text, std::string_view picture) {
  (void)picture;
  // Keep only what can belong to a number.
  std::string kept;
  bool seen_exponent = false;
  bool seen_point = false;
  for (char c : text) {
    char previous = kept.empty() ? '\0' : kept.back();
    bool after_exponent = previous == 'e' || previous == 'E';
    if (c >= '0' && c <= '9') {
      kept += c;
    } else if (c == '-' && (kept.empty() || after_exponent)) {
      kept += c;
    } else if (c == '+' && after_exponent) {
      kept += c;
    } else if ((c == 'e' || c == 'E') && !seen_exponent) {
      seen_exponent = true;
      kept += c;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
      kept += c;
    }
  }
  return RealToText(TextToReal(kept));
}

}  // namespace vorsandt::eval::bridge
