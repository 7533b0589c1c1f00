#include "runtime/eval/values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vorsandt::eval {

std::string IntegerToText(int32_t value) { return std::to_string(value); }

std::string RealToText(double value) {
  if (value == 0) return "0";  // also turns -0 into "0"
  if (!std::isfinite(value)) return std::string(kNotANumberText);
  if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::trunc(value)) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the number at the start of `text` (after nothing: the caller has
// skipped blanks), or 0 when there is none.
size_t NumberPrefixLength(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    size_t exponent_digits = 0;
    while (j < text.size() && IsDigit(text[j])) ++j, ++exponent_digits;
    if (exponent_digits > 0) i = j;
  }
  return i;
}

}  // namespace

bool IsNumericText(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  size_t end = text.size();
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::string_view core = text.substr(begin, end - begin);
  size_t length = NumberPrefixLength(core);
  return length > 0 && length == core.size();
}

double TextToReal(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  std::string_view rest = text.substr(begin);
  size_t length = NumberPrefixLength(rest);
  if (length == 0) return 0;
  // strtod needs a terminated copy; numbers are short.
  std::string number(rest.substr(0, length));
  if (number[0] == '+') number.erase(0, 1);
  return std::strtod(number.c_str(), nullptr);
}

namespace {

int32_t Clamp(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace

int32_t RoundToInteger(double value) { return Clamp(std::round(value)); }

int32_t TruncateToInteger(double value) { return Clamp(std::trunc(value)); }

bool RealsEqual(double a, double b) {
  // Two infinities of one sign are equal, though their difference is no number.
  if (a == b) return true;
  double difference = a - b;
  if (difference == 0) return true;
  if (!std::isfinite(difference)) return false;
  int difference_exponent = 0;
  int a_exponent = 0;
  int b_exponent = 0;
  std::frexp(difference, &difference_exponent);
  std::frexp(a == 0 ? 1.0 : a, &a_exponent);
  std::frexp(b == 0 ? 1.0 : b, &b_exponent);
  return a_exponent - difference_exponent > 50 || b_exponent - difference_exponent > 50;
}

int CompareReals(double a, double b) {
  if (RealsEqual(a, b)) return 0;
  return a < b ? -1 : 1;
}

std::string_view ClipText(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

bool TextIsTrue(std::string_view text) { return !ClipText(text).empty(); }

}  // namespace vorsandt::eval
