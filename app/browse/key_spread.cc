#include "app/browse/key_spread.h"

#include <algorithm>
#include <cmath>

#include "runtime/format/characters.h"

namespace vorsandt::app {
namespace {

// Texts are held in the ANSI character set, where the pound sign is 0xA3.
constexpr char kPunctuation[] = "`!\"\xA3$%^&*()'-=_+][#;~@:/.,?\\| ";
static_assert(sizeof kPunctuation - 1 == 30);

std::string Cut(std::string_view text, int width) {
  return std::string(text.substr(0, static_cast<size_t>(std::max(width, 0))));
}

}  // namespace

std::string SpreadAlphabet(int flags) {
  const std::string_view punctuation(kPunctuation, sizeof kPunctuation - 1);
  std::string out;
  for (int code = 1; code <= 255; ++code) {
    char c = static_cast<char>(code);
    bool admitted = false;
    if ((flags & spread::kUpper) != 0) {
      admitted = format::IsUpper(c) || ((flags & spread::kLower) != 0 && format::IsLower(c));
    }
    if ((flags & spread::kDigits) != 0 && c >= '0' && c <= '9') admitted = true;
    if ((flags & spread::kPunctuation) != 0 && punctuation.find(c) != std::string_view::npos) {
      admitted = true;
    }
    if (admitted) out.push_back(c);
  }
  return out;
}

SpreadGenerator::SpreadGenerator(std::string_view high, std::string_view low, int width, int flags,
                                 int letters_only)
    : width_(std::max(width, 0)) {
  if (letters_only != 0) flags = spread::kUpper;
  alphabet_ = SpreadAlphabet(flags);
  std::string hi = Cut(high, width_);
  std::string lo = Cut(low, width_);
  if ((flags & spread::kUpper) != 0) {
    hi = format::ToUpperText(hi);
    lo = format::ToUpperText(lo);
  }
  size_t common = 0;
  while (common < hi.size() && common < lo.size() && hi[common] == lo[common]) ++common;
  prefix_ = hi.substr(0, common);
  low_tail_ = lo.substr(common, kSpreadDigits);
  high_tail_ = hi.substr(common, kSpreadDigits);
  low_number_ = Number(low_tail_);
  high_number_ = Number(high_tail_);
}

double SpreadGenerator::Number(std::string_view tail) const {
  const double base = static_cast<double>(alphabet_.size()) + 1;
  double n = 0;
  for (int i = 0; i < kSpreadDigits; ++i) {
    double digit = 0;
    if (static_cast<size_t>(i) < tail.size()) {
      size_t place = alphabet_.find(tail[i]);
      digit = place == std::string::npos ? 0 : static_cast<double>(place + 1);
    }
    n = n * base + digit;
  }
  return n;
}

std::string SpreadGenerator::Digits(double number) const {
  const int64_t base = static_cast<int64_t>(alphabet_.size()) + 1;
  int64_t n = static_cast<int64_t>(std::floor(std::max(number, 0.0)));
  std::string out(kSpreadDigits, ' ');
  for (int i = kSpreadDigits - 1; i >= 0; --i) {
    int64_t digit = n % base;
    n /= base;
    // Digit 0 stands for "no character": a blank, which sorts below them all.
    out[static_cast<size_t>(i)] = digit == 0 ? ' ' : alphabet_[static_cast<size_t>(digit - 1)];
  }
  return out;
}

std::string SpreadGenerator::Value(int i) const {
  i = std::clamp(i, 1, kSpreadValues);
  std::string tail;
  if (i == 1) {
    tail = low_tail_;
  } else if (i == kSpreadValues) {
    tail = high_tail_;
  } else {
    double step = (high_number_ - low_number_) / (kSpreadValues - 1);
    tail = Digits(low_number_ + step * (i - 1));
  }
  // Trailing blanks say nothing in a blank-padded key field.
  std::string value = Cut(prefix_ + tail, width_);
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return value;
}

std::string SpreadGenerator::Next() {
  std::string v = Value(next_);
  if (next_ < kSpreadValues) ++next_;
  return v;
}

std::vector<std::string> BuildSpread(std::string_view high, std::string_view low, int width,
                                     int flags) {
  SpreadGenerator generator(high, low, width, flags);
  std::vector<std::string> out;
  out.reserve(kSpreadValues);
  for (int i = 0; i < kSpreadValues; ++i) out.push_back(generator.Next());
  return out;
}

}  // namespace vorsandt::app
