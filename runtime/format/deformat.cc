// DEFORMAT: the value that a text shows under a picture.
//
// Formatted text is read position by position. Text typed by a user rarely
// lines up with the positions, so dates and times are read by their digit
// runs when there is one run per field ("4/7/96" under @D5), and numbers by
// their digits, decimal character and sign wherever they stand.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "runtime/format/characters.h"
#include "runtime/format/dates.h"
#include "runtime/format/format.h"
#include "runtime/format/locale.h"
#include "runtime/format/positions.h"

namespace vorsandt::format {
namespace {

using internal::CountDecimals;
using internal::IsDigitChar;
using internal::IsDigitPosition;
using internal::RunLength;

// Letters of month names and AM/PM texts: whatever the case table calls a
// letter, and every character above 127 (names set in the settings file may
// use letters the case table does not know).
bool IsWordChar(char c) { return IsAlpha(c) || static_cast<unsigned char>(c) >= 128; }

// Digit runs of a text, in order, and its letter runs.
struct Tokens {
  std::vector<std::string> numbers;
  std::vector<std::string> words;
};

Tokens Tokenize(std::string_view text) {
  Tokens tokens;
  for (size_t i = 0; i < text.size();) {
    if (IsDigitChar(text[i])) {
      size_t j = i;
      while (j < text.size() && IsDigitChar(text[j])) ++j;
      tokens.numbers.emplace_back(text.substr(i, j - i));
      i = j;
    } else if (IsWordChar(text[i])) {
      size_t j = i;
      while (j < text.size() && IsWordChar(text[j])) ++j;
      tokens.words.emplace_back(text.substr(i, j - i));
      i = j;
    } else {
      ++i;
    }
  }
  return tokens;
}

int64_t Parse(const std::string& digits) {
  int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > 1000000000) return value;  // far out of range whatever follows
  }
  return value;
}

// The numeric fields of a date or time picture in order, with their widths.
struct Field {
  PositionCode code;
  size_t start;
  size_t width;
};

std::vector<Field> Fields(const Picture& picture) {
  std::vector<Field> fields;
  const auto& pos = picture.positions;
  for (size_t k = 0; k < pos.size();) {
    size_t run = RunLength(pos, k);
    PositionCode code = pos[k].code;
    if ((code >= kMonthDigit && code <= kYearDigit) || (code >= kHourDigit && code <= kSecondDigit))
      fields.push_back({code, k, run});
    k += run;
  }
  return fields;
}

// Reads each field's digits: by token when the text has exactly one digit
// run per field (typed text such as "4/7/96"), otherwise position by position.
// Date and time pictures have no zero-width entries, so a field's start is
// also its place in the text.
std::vector<std::optional<int64_t>> ReadFields(std::string_view text,
                                               const std::vector<Field>& fields) {
  std::vector<std::optional<int64_t>> values(fields.size());
  Tokens tokens = Tokenize(text);
  if (tokens.numbers.size() == fields.size()) {
    for (size_t i = 0; i < fields.size(); ++i) values[i] = Parse(tokens.numbers[i]);
    return values;
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string digits;
    for (size_t j = 0; j < fields[i].width; ++j) {
      size_t at = fields[i].start + j;
      if (at < text.size() && IsDigitChar(text[at])) digits += text[at];
    }
    if (!digits.empty()) values[i] = Parse(digits);
  }
  return values;
}

// A two-digit year is taken in the hundred years that end twenty years from
// now, so that "05" typed today means 2005, not 1905.
int64_t FullYear(int64_t two_digits) {
  int64_t now = CurrentLocalTime().year;
  int64_t last = now + 20;
  int64_t year = last - ((last - two_digits) % 100 + 100) % 100;
  return year;
}

int MonthFromName(std::string_view word) {
  const Locale& locale = CurrentLocale();
  std::string key = ToUpperText(word.substr(0, std::min<size_t>(3, word.size())));
  for (int m = 0; m < 12; ++m) {
    if (ToUpperText(locale.month_abbreviations[m]) == key) return m + 1;
  }
  for (int m = 0; m < 12; ++m) {
    const std::string& name = locale.month_names[m];
    if (ToUpperText(name.substr(0, std::min<size_t>(3, name.size()))) == key) return m + 1;
  }
  return 0;
}

// `carried` tells whether the month or day was beyond the calendar.
double DeformatDate(std::string_view text, const Picture& picture, bool* carried) {
  std::vector<Field> fields = Fields(picture);
  auto values = ReadFields(text, fields);
  int64_t month = 0, day = 1, year = 0;
  bool any = false;
  bool has_day = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].code == kDayDigit) has_day = true;
    if (!values[i]) continue;
    any = true;
    int64_t v = *values[i];
    if (fields[i].code == kMonthDigit) month = v;
    if (fields[i].code == kDayDigit) day = v;
    if (fields[i].code == kYearDigit) year = v < 100 ? FullYear(v) : v;
  }
  bool has_name = false;
  for (const auto& p : picture.positions) has_name |= p.code == kMonthName;
  if (has_name) {
    Tokens tokens = Tokenize(text);
    if (!tokens.words.empty()) {
      month = MonthFromName(tokens.words.front());
      any = true;
    }
  }
  if (!any) return 0;
  if (has_day && day == 0) return -1;
  *carried = month > 12 || (month >= 1 && day > DaysInMonth(month, year));
  return DateFromParts(month, day, year);
}

double DeformatTime(std::string_view text, const Picture& picture) {
  std::vector<Field> fields = Fields(picture);
  auto values = ReadFields(text, fields);
  int64_t hours = 0, minutes = 0, seconds = 0;
  bool any = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!values[i]) continue;
    any = true;
    if (fields[i].code == kHourDigit) hours = *values[i];
    if (fields[i].code == kMinuteDigit) minutes = *values[i];
    if (fields[i].code == kSecondDigit) seconds = *values[i];
  }
  if (!any) return 0;
  bool twelve_hour = false;
  for (const auto& p : picture.positions) twelve_hour |= p.code == kAmPm;
  if (twelve_hour) {
    const Locale& locale = CurrentLocale();
    for (const auto& word : Tokenize(text).words) {
      char first = ToUpper(word[0]);
      if (!locale.pm_text.empty() && first == ToUpper(locale.pm_text[0])) {
        if (hours >= 1 && hours < 12) hours += 12;
        break;
      }
      if (!locale.am_text.empty() && first == ToUpper(locale.am_text[0])) {
        if (hours == 12) hours = 0;
        break;
      }
    }
  }
  int32_t value = TimeFromParts(hours, minutes, seconds, 0);
  // Midnight typed as such is a time, not "no time".
  return value == 0 ? 1 : value;
}

// Number pictures: digits in order, the picture's decimal character as the
// point, "-" or "(" anywhere for a negative value; an implied point makes the
// last digits the decimals.
double DeformatNumberPicture(std::string_view text, const Picture& picture) {
  char point = 0;
  bool implied = false;
  for (const auto& p : picture.positions) {
    if (p.code == kDecimalPoint) point = p.ch;
    if (p.code == kImpliedPoint) implied = true;
  }
  int decimals = CountDecimals(picture);
  std::string digits;
  bool negative = false;
  bool seen_point = false;
  int typed_decimals = 0;
  for (char c : text) {
    if (IsDigitChar(c)) {
      digits += c;
      if (seen_point) ++typed_decimals;
    } else if (c == point && point != 0 && !seen_point) {
      seen_point = true;
    } else if (c == '-' || c == '(') {
      negative = true;
    }
  }
  if (digits.empty()) return 0;
  if (implied && !seen_point) typed_decimals = decimals;
  if (typed_decimals > static_cast<int>(digits.size()))
    digits.insert(0, typed_decimals - digits.size(), '0');
  std::string number = digits.substr(0, digits.size() - typed_decimals) + "." +
                       digits.substr(digits.size() - typed_decimals);
  double value = std::strtod(number.c_str(), nullptr);
  return negative ? -value : value;
}

// Scientific text: the picture's decimal character becomes a point, then the
// number rule of DeformatNumber applies.
double DeformatScientific(std::string_view text, const Picture& picture) {
  char point = '.';
  for (const auto& p : picture.positions) {
    if (p.code == kDecimalPoint) point = p.ch;
  }
  std::string copy(text);
  if (point != '.') {
    for (char& c : copy) {
      if (c == '.') c = ' ';
      else if (c == point) c = '.';
    }
  }
  std::string trimmed;
  for (char c : copy) {
    if (c != ' ') trimmed += c;
  }
  return DeformatNumber(trimmed);
}

double DeformatPattern(std::string_view text, const Picture& picture) {
  std::string digits;
  const auto& pos = picture.positions;
  for (size_t k = 0; k < pos.size() && k < text.size(); ++k) {
    if (!IsDigitPosition(pos[k].code)) continue;
    if (IsDigitChar(text[k])) digits += text[k];
  }
  return digits.empty() ? 0 : std::strtod(digits.c_str(), nullptr);
}

std::string DeformatKeyIn(std::string_view text, const Picture& picture) {
  std::string out;
  size_t at = 0;
  for (const auto& p : picture.positions) {
    if (p.code == kKeyStop) continue;
    if (at >= text.size()) break;
    if (p.code != kLiteral) out += text[at];
    ++at;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

Deformatted NumberResult(double value) {
  Deformatted result;
  result.number = value;
  result.text = NumberText(value);
  return result;
}
}  // namespace

std::string NumberText(double value) {
  if (value == 0) return "0";  // also for -0
  if (!std::isfinite(value)) return std::string(kNoNumberText);
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "0";
  return std::string(buffer, end);
}

double NumberInText(std::string_view text) {
  std::string kept;
  bool seen_point = false;
  bool seen_exponent = false;
  for (char c : text) {
    bool after_exponent = !kept.empty() && (kept.back() == 'e' || kept.back() == 'E');
    if (IsDigitChar(c)) {
      kept += c;
    } else if (c == '-' && (kept.empty() || after_exponent)) {
      kept += c;
    } else if (c == '+' && after_exponent) {
      kept += c;
    } else if ((c == 'e' || c == 'E') && !seen_exponent) {
      seen_exponent = true;
      kept += c;
    } else if (c == '.' && !seen_point && !seen_exponent) {
      seen_point = true;
      kept += c;
    }
  }
  // Too large for a real: an infinity of its sign.
  return std::strtod(kept.c_str(), nullptr);
}

double DeformatNumber(std::string_view text) {
  const double value = NumberInText(text);
  return std::isfinite(value) ? value : 0;
}

Deformatted Deformat(std::string_view text, const Picture* picture) {
  if (picture == nullptr || picture->kind == PictureKind::kText)
    return NumberResult(DeformatNumber(text));
  switch (picture->kind) {
    case PictureKind::kNumber:
      return NumberResult(DeformatNumberPicture(text, *picture));
    case PictureKind::kScientific:
      return NumberResult(DeformatScientific(text, *picture));
    case PictureKind::kDate: {
      bool carried = false;
      Deformatted result = NumberResult(DeformatDate(text, *picture, &carried));
      result.carried = carried;
      return result;
    }
    case PictureKind::kTime:
      return NumberResult(DeformatTime(text, *picture));
    case PictureKind::kPattern:
      return NumberResult(DeformatPattern(text, *picture));
    case PictureKind::kKeyIn: {
      Deformatted result;
      result.is_text = true;
      result.text = DeformatKeyIn(text, *picture);
      return result;
    }
    default:
      return NumberResult(DeformatNumber(text));
  }
}

Deformatted Deformat(std::string_view text, std::string_view picture_text) {
  auto picture = CompilePicture(picture_text);
  return Deformat(text, picture ? &*picture : nullptr);
}

}  // namespace vorsandt::format
