#include "runtime/eval/packed_decimal.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace vorsandt::eval {

double ReadPackedDecimal(std::span<const uint8_t> bytes, int places) {
  if (bytes.empty()) return 0;
  // Digits are gathered as an integer first so that the scaling by the places
  // happens once, which keeps values such as 12.34 exact to the last bit that
  // a division can give.
  double digits = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) {
      int high = bytes[i] >> 4;
      digits = digits * 10 + (high > 9 ? 9 : high);
    }
    int low = bytes[i] & 0x0F;
    digits = digits * 10 + (low > 9 ? 9 : low);
  }
  double value = places > 0 ? digits / std::pow(10.0, places) : digits;
  return (bytes[0] >> 4) != 0 ? -value : value;
}

bool WritePackedDecimal(double value, int places, std::span<uint8_t> bytes) {
  if (bytes.empty()) return false;
  for (auto& b : bytes) b = 0;
  if (std::isnan(value)) return false;
  bool negative = value < 0;
  const size_t digit_count = bytes.size() * 2 - 1;
  // Scale to whole units of the last place and round half away from zero.
  // The nudge makes decimal halves that binary cannot hold exactly (2.675 is
  // 2.67499999...) round the way they are written.
  const int scale = places < 0 ? 0 : places;
  double scaled = std::fabs(value) * std::pow(10.0, scale);
  double rounded = std::round(scaled + scaled * 1e-13);
  char buffer[400];
  int length = std::isfinite(rounded) ? std::snprintf(buffer, sizeof buffer, "%.0f", rounded) : -1;
  std::string digits;
  bool fits = length > 0 && length < static_cast<int>(sizeof buffer);
  if (fits) {
    digits.assign(buffer, static_cast<size_t>(length));
    size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? std::string() : digits.substr(first);
    fits = digits.size() <= digit_count;
  }
  if (!fits) digits.assign(digit_count, '9');
  digits.insert(0, digit_count - digits.size(), '0');
  bool is_zero = digits.find_first_not_of('0') == std::string::npos;
  // Nibble k (0-based, after the sign nibble) of the digits.
  for (size_t k = 0; k < digit_count; ++k) {
    size_t nibble = k + 1;
    uint8_t d = static_cast<uint8_t>(digits[k] - '0');
    if (nibble % 2 == 0) {
      bytes[nibble / 2] |= static_cast<uint8_t>(d << 4);
    } else {
      bytes[nibble / 2] |= d;
    }
  }
  if (negative && !is_zero) bytes[0] |= 0xF0;
  return fits;
}

}  // namespace vorsandt::eval
