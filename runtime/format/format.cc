#include "runtime/format/format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "runtime/format/dates.h"
#include "runtime/format/locale.h"
#include "runtime/format/positions.h"

namespace vorsandt::format {
namespace {

using internal::CountDecimals;
using internal::IsDigitChar;
using internal::IsDigitPosition;
using internal::RunLength;

// Numbers are shown with at most this many significant digits.
constexpr int kSignificantDigits = 14;

std::string Overflow(const Picture& picture) { return std::string(picture.width, '#'); }
std::string Blanks(const Picture& picture) { return std::string(picture.width, ' '); }

// A value as decimal digits, rounded half away from zero at `decimals`
// places after at most 14 significant digits.
struct Decimal {
  bool negative = false;
  std::string integer;   // no leading zeros; empty for a value below 1
  std::string fraction;  // exactly `decimals` digits
};

bool ToDecimal(double value, int decimals, Decimal* out) {
  if (!std::isfinite(value)) return false;
  out->negative = value < 0;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", kSignificantDigits - 1, std::fabs(value));
  std::string digits;
  const char* p = buffer;
  for (; *p != 'e'; ++p) {
    if (IsDigitChar(*p)) digits += *p;
  }
  int exponent = std::atoi(p + 1);
  if (exponent > 300) return false;
  // `point` digits of `digits` lie before the decimal point.
  int point = exponent + 1;
  std::string integer;
  std::string fraction;
  if (point > 0) {
    integer = digits.substr(0, std::min<size_t>(point, digits.size()));
    if (point > static_cast<int>(digits.size())) integer.append(point - digits.size(), '0');
    if (point < static_cast<int>(digits.size())) fraction = digits.substr(point);
  } else {
    fraction = std::string(-point, '0') + digits;
  }
  bool round_up = static_cast<int>(fraction.size()) > decimals && fraction[decimals] >= '5';
  if (static_cast<int>(fraction.size()) > decimals) fraction.resize(decimals);
  fraction.append(decimals - fraction.size(), '0');
  if (round_up) {
    std::string all = integer + fraction;
    int i = static_cast<int>(all.size()) - 1;
    while (i >= 0 && all[i] == '9') all[i--] = '0';
    if (i >= 0) {
      ++all[i];
    } else {
      all.insert(all.begin(), '1');
    }
    integer = all.substr(0, all.size() - decimals);
    fraction = all.substr(all.size() - decimals);
  }
  size_t first = integer.find_first_not_of('0');
  integer = first == std::string::npos ? "" : integer.substr(first);
  if (integer.empty() && fraction.find_first_not_of('0') == std::string::npos)
    out->negative = false;  // no "-0.00"
  out->integer = integer;
  out->fraction = fraction;
  return true;
}


// Number pictures: currency, sign, integer digits with group separators,
// point, decimals, trailing sign and currency.
std::string FormatNumber(double value, const Picture& picture) {
  const auto& pos = picture.positions;
  size_t n = pos.size();
  // The integer region: the digit and group positions before the point (or
  // all of them when there is no point).
  size_t point = n;
  for (size_t i = 0; i < n; ++i) {
    if (pos[i].code == kDecimalPoint || pos[i].code == kImpliedPoint) {
      point = i;
      break;
    }
  }
  size_t region_begin = point;
  size_t region_end = point;
  for (size_t i = 0; i < point; ++i) {
    if (IsDigitPosition(pos[i].code) || pos[i].code == kGroupSeparator) {
      if (region_begin == point) region_begin = i;
      region_end = i + 1;
    }
  }
  int decimals = CountDecimals(picture);
  Decimal number;
  if (!ToDecimal(value, decimals, &number)) return Overflow(picture);

  bool has_sign = false;
  for (const auto& p : pos) has_sign |= p.code == kSignPosition;
  if (number.negative && !has_sign) return Overflow(picture);

  std::vector<char> out(n, ' ');
  std::vector<bool> shown(n, false);  // a digit is shown here
  char fill = ' ';
  for (size_t i = region_begin; i < region_end; ++i) {
    if (pos[i].code == kDigitBlank) fill = pos[i].ch;
  }
  // Integer digits from the units position leftwards.
  int next = static_cast<int>(number.integer.size()) - 1;
  for (size_t k = region_end; k-- > region_begin;) {
    if (!IsDigitPosition(pos[k].code)) continue;
    if (next >= 0) {
      out[k] = number.integer[next--];
      shown[k] = true;
    } else if (pos[k].code == kDigitZero) {
      out[k] = '0';
      shown[k] = true;
    } else {
      out[k] = pos[k].ch;
    }
  }
  if (next >= 0) return Overflow(picture);
  size_t first_shown = region_end;
  for (size_t k = region_begin; k < region_end; ++k) {
    if (shown[k]) {
      first_shown = k;
      break;
    }
  }
  for (size_t k = region_begin; k < region_end; ++k) {
    if (pos[k].code == kGroupSeparator) out[k] = k > first_shown ? pos[k].ch : fill;
  }
  // Point, decimals and everything after the integer region.
  size_t decimal_index = 0;
  for (size_t k = region_end; k < n; ++k) {
    switch (pos[k].code) {
      case kDecimalPoint:
      case kImpliedPoint:
        out[k] = pos[k].ch;
        break;
      case kDigitZero:
      case kDigitBlank:
        out[k] = decimal_index < number.fraction.size() ? number.fraction[decimal_index++] : '0';
        break;
      case kSignPosition:
        out[k] = number.negative ? pos[k].ch : ' ';
        break;
      default:
        out[k] = pos[k].ch;
    }
  }
  // The leading currency and sign float to just before the first shown digit
  // (or the point when no integer digit shows).
  size_t anchor = first_shown < region_end ? first_shown : region_end;
  std::string floating;
  for (size_t k = 0; k < region_begin; ++k) {
    if (pos[k].code == kCurrency) floating += pos[k].ch;
    if (pos[k].code == kSignPosition && number.negative) floating += pos[k].ch;
  }
  if (floating.size() > anchor) return Overflow(picture);
  for (size_t k = 0; k < anchor; ++k) {
    if (k < region_begin || !shown[k]) out[k] = fill;
  }
  for (size_t j = 0; j < floating.size(); ++j) out[anchor - floating.size() + j] = floating[j];

  std::string text;
  for (size_t k = 0; k < n; ++k) {
    if (pos[k].code != kImpliedPoint) text += out[k];
  }
  return text;
}

// Scientific pictures: one significant integer digit, the decimals, and the
// exponent as "e", its sign and three digits.
std::string FormatScientific(double value, const Picture& picture) {
  if (!std::isfinite(value)) return Overflow(picture);
  int decimals = CountDecimals(picture);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*e", decimals, value);
  std::string mantissa = buffer;
  size_t e = mantissa.find('e');
  int exponent = std::atoi(mantissa.c_str() + e + 1);
  mantissa.resize(e);
  bool negative = !mantissa.empty() && mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string digits;
  for (char c : mantissa) {
    if (IsDigitChar(c)) digits += c;
  }
  if (std::abs(exponent) > 999) return Overflow(picture);
  char exponent_digits[8];
  std::snprintf(exponent_digits, sizeof exponent_digits, "%03d", std::abs(exponent));

  const auto& pos = picture.positions;
  std::string text;
  size_t sign_count = 0;
  bool after_point = false;
  size_t digit = 1;  // digits[0] is the integer digit
  int exponent_digit = 0;
  bool in_exponent = false;
  // Index of the last integer digit position: the integer digit goes there.
  size_t last_integer = 0;
  for (size_t k = 0; k < pos.size(); ++k) {
    if (pos[k].code == kDecimalPoint || pos[k].code == kImpliedPoint || pos[k].code == kLiteral)
      break;
    if (IsDigitPosition(pos[k].code)) last_integer = k;
  }
  for (size_t k = 0; k < pos.size(); ++k) {
    const Position& p = pos[k];
    switch (p.code) {
      case kSignPosition:
        if (sign_count++ == 0) {
          // The mantissa's sign floats to just before its digit.
          text += last_integer == k + 1 && negative ? '-' : ' ';
        } else {
          text += exponent < 0 ? '-' : '+';
        }
        break;
      case kLiteral:
        in_exponent = true;
        text += p.ch;
        break;
      case kDecimalPoint:
        after_point = true;
        text += p.ch;
        break;
      case kImpliedPoint:
        after_point = true;
        break;
      default:
        if (in_exponent) {
          text += exponent_digits[exponent_digit++];
        } else if (!after_point) {
          text += k == last_integer ? digits[0] : (k + 1 == last_integer && negative) ? '-' : ' ';
        } else {
          text += digit < digits.size() ? digits[digit++] : '0';
        }
    }
  }
  return text;
}

// The number `value` into the run of digit positions starting at `k` (of
// `count` positions): leading zeros show the positions' fill characters.
void PutDigits(const std::vector<Position>& pos, size_t k, size_t count, int64_t value,
               std::string* out) {
  std::string digits = std::to_string(value);
  if (digits.size() > count) digits = digits.substr(digits.size() - count);
  digits.insert(0, count - digits.size(), '0');
  bool leading = true;
  for (size_t j = 0; j < count; ++j) {
    bool last = j + 1 == count;
    if (leading && digits[j] == '0' && !last) {
      (*out)[k + j] = pos[k + j].ch;
    } else {
      leading = false;
      (*out)[k + j] = digits[j];
    }
  }
}


std::string FormatDate(double value, const Picture& picture) {
  // A fraction of a day still names the day.
  DateParts parts;
  if (!(std::fabs(value) < 1e18) || !PartsFromDate(static_cast<int64_t>(std::trunc(value)), &parts))
    return Blanks(picture);
  const Locale& locale = CurrentLocale();
  const auto& pos = picture.positions;
  std::string out(pos.size(), ' ');
  for (size_t k = 0; k < pos.size();) {
    size_t run = RunLength(pos, k);
    switch (pos[k].code) {
      case kMonthDigit:
        PutDigits(pos, k, run, parts.month, &out);
        break;
      case kDayDigit:
        PutDigits(pos, k, run, parts.day, &out);
        break;
      case kYearDigit:
        PutDigits(pos, k, run, run <= 2 ? parts.year % 100 : parts.year, &out);
        break;
      case kMonthName: {
        const std::string& name = run <= kMonthAbbreviationWidth
                                      ? locale.month_abbreviations[parts.month - 1]
                                      : locale.month_names[parts.month - 1];
        for (size_t j = 0; j < run; ++j) out[k + j] = j < name.size() ? name[j] : ' ';
        break;
      }
      default:
        for (size_t j = 0; j < run; ++j) out[k + j] = pos[k + j].ch;
    }
    k += run;
  }
  return out;
}

std::string FormatTime(double value, const Picture& picture) {
  TimeParts parts;
  if (!(std::fabs(value) < 1e18) || !PartsFromTime(static_cast<int64_t>(std::trunc(value)), &parts))
    return Blanks(picture);
  const Locale& locale = CurrentLocale();
  const auto& pos = picture.positions;
  bool twelve_hour = false;
  for (const auto& p : pos) twelve_hour |= p.code == kAmPm;
  int hours = parts.hours;
  if (twelve_hour) hours = hours % 12 == 0 ? 12 : hours % 12;
  const std::string& am_pm = parts.hours < 12 ? locale.am_text : locale.pm_text;
  std::string out(pos.size(), ' ');
  size_t am_pm_index = 0;
  for (size_t k = 0; k < pos.size();) {
    size_t run = RunLength(pos, k);
    switch (pos[k].code) {
      case kHourDigit:
        PutDigits(pos, k, run, hours, &out);
        break;
      case kMinuteDigit:
        PutDigits(pos, k, run, parts.minutes, &out);
        break;
      case kSecondDigit:
        PutDigits(pos, k, run, parts.seconds, &out);
        break;
      case kAmPm:
        for (size_t j = 0; j < run; ++j, ++am_pm_index)
          out[k + j] = am_pm_index < am_pm.size() ? am_pm[am_pm_index] : ' ';
        break;
      default:
        for (size_t j = 0; j < run; ++j) out[k + j] = pos[k + j].ch;
    }
    k += run;
  }
  return out;
}

// Pattern pictures: the value's integer digits fill the digit positions from
// the right.
std::string FormatPattern(double value, const Picture& picture) {
  Decimal number;
  if (!ToDecimal(value, 0, &number) || number.negative) return Overflow(picture);
  const auto& pos = picture.positions;
  std::string out(pos.size(), ' ');
  int next = static_cast<int>(number.integer.size()) - 1;
  for (size_t k = pos.size(); k-- > 0;) {
    if (IsDigitPosition(pos[k].code)) {
      out[k] = next >= 0 ? number.integer[next--] : pos[k].ch;
    } else {
      out[k] = pos[k].ch;
    }
  }
  if (next >= 0) return Overflow(picture);
  return out;
}

std::string FormatKeyIn(std::string_view value, const Picture& picture) {
  std::string out;
  size_t next = 0;
  for (const auto& p : picture.positions) {
    switch (p.code) {
      case kLiteral:
        out += p.ch;
        break;
      case kKeyStop:
        break;
      default:
        out += next < value.size() ? value[next++] : ' ';
    }
  }
  return out;
}

std::string FormatText(std::string_view value, const Picture& picture) {
  std::string out(value.substr(0, std::min<size_t>(value.size(), picture.width)));
  out.resize(picture.width, ' ');
  return out;
}

}  // namespace

std::string Format(double value, const Picture& picture) {
  if (picture.TakesText()) return Format(NumberText(value), picture);
  if (picture.blank_when_zero && value == 0) return Blanks(picture);
  switch (picture.kind) {
    case PictureKind::kNumber:
      return FormatNumber(value, picture);
    case PictureKind::kScientific:
      return FormatScientific(value, picture);
    case PictureKind::kDate:
      return FormatDate(value, picture);
    case PictureKind::kTime:
      return FormatTime(value, picture);
    case PictureKind::kPattern:
      return FormatPattern(value, picture);
    default:
      return Blanks(picture);
  }
}

std::string Format(std::string_view value, const Picture& picture) {
  if (picture.kind == PictureKind::kText) return FormatText(value, picture);
  if (picture.kind == PictureKind::kKeyIn) return FormatKeyIn(value, picture);
  return Format(NumberInText(value), picture);
}

std::string Format(double value, std::string_view picture_text) {
  auto picture = CompilePicture(picture_text);
  return picture ? Format(value, *picture) : std::string();
}

std::string Format(std::string_view value, std::string_view picture_text) {
  auto picture = CompilePicture(picture_text);
  return picture ? Format(value, *picture) : std::string();
}

}  // namespace vorsandt::format
