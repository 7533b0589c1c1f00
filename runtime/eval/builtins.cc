#include "runtime/eval/builtins.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <utility>

#include "runtime/eval/format_bridge.h"

namespace vorsandt::eval {

namespace {

constexpr std::array<BuiltinInfo, 41> kBuiltins = {{
    {"MEMORY", 1, kMemory, kInteger},
    {"SUB", 3, kSub, kText},
    {"INSTRING", 4, kInstring, kInteger},
    {"CLIP", 1, kClip, kText},
    {"ALL", 2, kAll, kText},
    {"CENTER", 2, kCenter, kText},
    {"CHR", 1, kChr, kText},
    {"DEFORMAT", 2, kDeformat, kText},
    {"FORMAT", 2, kFormat, kText},
    {"LEFT", 2, kLeft, kText},
    {"LEN", 1, kLen, kInteger},
    {"LOWER", 1, kLower, kText},
    {"NUMERIC", 1, kNumeric, kInteger},
    {"RIGHT", 2, kRight, kText},
    {"UPPER", 1, kUpper, kText},
    {"VAL", 1, kVal, kInteger},
    {"ABS", 1, kAbs, kReal},
    {"INRANGE", 3, kInrange, kInteger},
    {"INT", 1, kInt, kInteger},
    {"LOGE", 1, kLoge, kReal},
    {"LOG10", 1, kLog10, kReal},
    {"RANDOM", 2, kRandom, kInteger},
    {"ROUND", 2, kRound, kReal},
    {"SQRT", 1, kSqrt, kReal},
    {"SIN", 1, kSin, kReal},
    {"COS", 1, kCos, kReal},
    {"TAN", 1, kTan, kReal},
    {"ASIN", 1, kAsin, kReal},
    {"ACOS", 1, kAcos, kReal},
    {"ATAN", 1, kAtan, kReal},
    {"BAND", 2, kBand, kInteger},
    {"BOR", 2, kBor, kInteger},
    {"BXOR", 2, kBxor, kInteger},
    {"BSHIFT", 2, kBshift, kInteger},
    {"TODAY", 0, kToday, kInteger},
    {"CLOCK", 0, kClock, kInteger},
    {"DATE", 3, kDate, kInteger},
    {"DAY", 1, kDay, kInteger},
    {"MONTH", 1, kMonth, kInteger},
    {"YEAR", 1, kYear, kInteger},
    {"AGE", 2, kAge, kText},
}};

// Generator state of RANDOM; 0 means "not seeded yet".
uint32_t random_state = 0;
bool random_seeded = false;

uint32_t Draw15() {
  if (!random_seeded) {
    random_state = static_cast<uint32_t>(std::time(nullptr));
    random_seeded = true;
  }
  random_state = random_state * 214013u + 2531011u;
  return (random_state >> 16) & 0x7FFF;
}

// A value from low to high. Bounds given the wrong way round are taken the
// right way round: the span high - low + 1 would otherwise wrap (to 0 for
// RANDOM(1, 0), a remainder by zero) and give values outside both bounds.
int32_t Random(int32_t low, int32_t high) {
  if (high < low) std::swap(low, high);
  if (low == high) return low;
  uint32_t r1 = Draw15();
  uint32_t r2 = Draw15();
  uint32_t r3 = Draw15();
  uint32_t combined = ((r1 << 15) + r2) * (1u << 15) + r3;  // wraps, as unsigned
  uint32_t span = static_cast<uint32_t>(high) - static_cast<uint32_t>(low) + 1u;
  // Only the full range makes a span of 2^32, which wraps to 0: every value is
  // in range then.
  uint32_t offset = span == 0 ? combined : combined % span;
  return static_cast<int32_t>(static_cast<uint32_t>(low) + offset);
}

// A length argument, held between 0 and kMaxResultLength.
size_t LengthArgument(int32_t length) {
  return static_cast<size_t>(std::clamp<int32_t>(length, 0, kMaxResultLength));
}

std::string Sub(const std::string& text, int32_t start, int32_t length) {
  // Positions start .. start+length-1 (1-based), kept inside the text.
  int64_t first = start;
  int64_t last = static_cast<int64_t>(start) + length - 1;
  first = std::max<int64_t>(first, 1);
  last = std::min<int64_t>(last, static_cast<int64_t>(text.size()));
  if (first > last) return std::string();
  return text.substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1));
}

std::string All(const std::string& text, size_t length) {
  if (text.empty()) return std::string(length, ' ');
  std::string result;
  result.reserve(length);
  while (result.size() < length) result += text.substr(0, length - result.size());
  return result;
}

std::string_view StripLeading(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  return begin == std::string_view::npos ? std::string_view() : text.substr(begin);
}

std::string Left(const std::string& text, size_t length) {
  std::string result(StripLeading(text).substr(0, length));
  result.resize(length, ' ');
  return result;
}

std::string Right(const std::string& text, size_t length) {
  std::string_view body = ClipText(text);
  if (body.size() >= length) return std::string(body.substr(body.size() - length));
  return std::string(length - body.size(), ' ') + std::string(body);
}

std::string Center(const std::string& text, size_t length) {
  std::string_view body = ClipText(StripLeading(text));
  if (body.size() >= length) return std::string(body.substr(0, length));
  size_t before = (length - body.size()) / 2;
  std::string result(before, ' ');
  result += body;
  result.resize(length, ' ');
  return result;
}

std::string MapCase(std::string text, bool upper) {
  return upper ? bridge::UpperText(text) : bridge::LowerText(text);
}

int32_t AvailableMemory() {
  long pages = sysconf(_SC_AVPHYS_PAGES);
  long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  double bytes = static_cast<double>(pages) * static_cast<double>(page_size);
  return bytes > 2147483647.0 ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(bytes);
}

Value IntegerValue(int32_t v) {
  Value value;
  value.value_class = kInteger;
  value.integer = v;
  return value;
}

Value RealValue(double v) {
  Value value;
  value.value_class = kReal;
  value.real = v;
  return value;
}

Value TextValue(std::string v) {
  Value value;
  value.value_class = kText;
  value.text = std::move(v);
  return value;
}

}  // namespace

std::span<const BuiltinInfo> Builtins() { return kBuiltins; }

void SeedRandom(uint32_t seed) {
  random_state = seed;
  random_seeded = true;
}

bool IsVolatileCall(int function, int argument_count) {
  switch (function) {
    case kBoundProcedure:
    case kMemory:
    case kRandom:
    case kToday:
    case kClock:
      return true;
    case kAge:
      return argument_count < 2;
    default:
      return false;
  }
}

int32_t Instring(const std::string& sub, const std::string& text, int32_t step, int32_t start) {
  if (sub.empty() || sub.size() > text.size() || start <= 0) return 0;
  if (step == 0) step = static_cast<int32_t>(sub.size());
  const int64_t last_fit = static_cast<int64_t>(text.size() - sub.size());  // 0-based
  const int64_t stride = step;
  for (int64_t offset = static_cast<int64_t>(start) - 1; offset >= 0 && offset <= last_fit;
       offset += stride) {
    size_t at = static_cast<size_t>(offset);
    if (text[at] == sub[0] && text.compare(at, sub.size(), sub) == 0) {
      return static_cast<int32_t>(offset / (stride < 0 ? -stride : stride) + 1);
    }
  }
  return 0;
}

int32_t Bshift(int32_t value, int32_t count) {
  if (count >= 32 || count <= -32) return 0;
  auto bits = static_cast<uint32_t>(value);
  bits = count >= 0 ? bits << count : bits >> -count;
  return static_cast<int32_t>(bits);
}

double RoundTo(double value, double order) {
  if (order == 0 || !std::isfinite(value) || !std::isfinite(order)) return value;
  order = std::fabs(order);
  double quotient = value / order;
  // A quotient that is a half in decimal but not quite in binary (2.675 / .01
  // is 267.4999...) still rounds away from zero.
  double nudged = quotient + std::copysign(std::fabs(quotient) * 1e-12, quotient);
  double rounded = std::round(nudged);
  double result = rounded * order;
  // Give the nearest 15-digit value so that ROUND(x, .01) prints as cents.
  if (result != 0 && std::isfinite(result)) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", result);
    result = std::strtod(buffer, nullptr);
  }
  return result;
}

namespace {

// The arguments of one call; one that was not given reads as blank, 0 or
// the function's own default.
struct BuiltinArguments {
  const Arguments& args;
  int n;
  std::string Text(int i) const { return i < n ? args.Text(i) : std::string(); }
  double Real(int i) const { return i < n ? args.Real(i) : 0.0; }
  int32_t Integer(int i, int32_t fallback = 0) const { return i < n ? args.Integer(i) : fallback; }
};

// The text functions (MEMORY to VAL); nothing for a function of another group.
std::optional<Value> TextBuiltin(int function, const BuiltinArguments& a) {
  switch (function) {
    case kMemory:
      return IntegerValue(AvailableMemory());
    case kSub: {
      std::string t = a.Text(0);
      int32_t start = a.Integer(1, 1);
      int32_t length = a.n > 2 ? a.args.Integer(2) : static_cast<int32_t>(t.size());
      return TextValue(Sub(t, start, length));
    }
    case kInstring: {
      std::string sub = a.Text(0);
      std::string t = a.Text(1);
      return IntegerValue(Instring(sub, t, a.Integer(2, 0), a.Integer(3, 1)));
    }
    case kClip:
      return TextValue(std::string(ClipText(a.Text(0))));
    case kAll:
      return TextValue(All(a.Text(0), LengthArgument(a.Integer(1, 255))));
    case kCenter: {
      std::string t = a.Text(0);
      return TextValue(
          Center(t, LengthArgument(a.n > 1 ? a.args.Integer(1) : static_cast<int32_t>(t.size()))));
    }
    case kChr:
      return TextValue(std::string(1, static_cast<char>(a.Integer(0) & 0xFF)));
    case kDeformat:
      return TextValue(bridge::DeformatText(a.Text(0), a.Text(1)));
    case kFormat: {
      std::string picture = a.Text(1);
      if (bridge::PictureTakesText(picture)) {
        return TextValue(bridge::FormatValue(a.Text(0), 0, picture));
      }
      return TextValue(bridge::FormatValue(std::string_view(), a.Real(0), picture));
    }
    case kLeft: {
      std::string t = a.Text(0);
      return TextValue(
          Left(t, LengthArgument(a.n > 1 ? a.args.Integer(1) : static_cast<int32_t>(t.size()))));
    }
    case kLen:
      return IntegerValue(static_cast<int32_t>(std::min<size_t>(a.Text(0).size(), INT32_MAX)));
    case kLower:
      return TextValue(MapCase(a.Text(0), false));
    case kNumeric:
      return IntegerValue(IsNumericText(a.Text(0)) ? 1 : 0);
    case kRight: {
      std::string t = a.Text(0);
      return TextValue(
          Right(t, LengthArgument(a.n > 1 ? a.args.Integer(1) : static_cast<int32_t>(t.size()))));
    }
    case kUpper:
      return TextValue(MapCase(a.Text(0), true));
    case kVal: {
      std::string t = a.Text(0);
      return IntegerValue(t.empty() ? 0 : static_cast<unsigned char>(t[0]));
    }
    default:
      return std::nullopt;
  }
}

// The number functions (ABS to BSHIFT); nothing for a function of another group.
std::optional<Value> NumberBuiltin(int function, const BuiltinArguments& a) {
  switch (function) {
    case kAbs:
      return RealValue(std::fabs(a.Real(0)));
    case kInrange: {
      double value = a.Real(0);
      if (CompareReals(value, a.Real(1)) < 0) return IntegerValue(0);
      return IntegerValue(CompareReals(value, a.Real(2)) <= 0 ? 1 : 0);
    }
    case kInt:
      return IntegerValue(TruncateToInteger(a.Real(0)));
    case kLoge:
      return RealValue(std::log(a.Real(0)));
    case kLog10:
      return RealValue(std::log10(a.Real(0)));
    case kRandom:
      return IntegerValue(Random(a.Integer(0), a.Integer(1)));
    case kRound:
      return RealValue(RoundTo(a.Real(0), a.Real(1)));
    case kSqrt:
      return RealValue(std::sqrt(a.Real(0)));
    case kSin:
      return RealValue(std::sin(a.Real(0)));
    case kCos:
      return RealValue(std::cos(a.Real(0)));
    case kTan:
      return RealValue(std::tan(a.Real(0)));
    case kAsin:
      return RealValue(std::asin(a.Real(0)));
    case kAcos:
      return RealValue(std::acos(a.Real(0)));
    case kAtan:
      return RealValue(std::atan(a.Real(0)));
    case kBand:
      return IntegerValue(a.Integer(0) & a.Integer(1));
    case kBor:
      return IntegerValue(a.Integer(0) | a.Integer(1));
    case kBxor:
      return IntegerValue(a.Integer(0) ^ a.Integer(1));
    case kBshift:
      return IntegerValue(Bshift(a.Integer(0), a.Integer(1)));
    default:
      return std::nullopt;
  }
}

// The date and time functions (TODAY to AGE); nothing for a function of another group.
std::optional<Value> DateBuiltin(int function, const BuiltinArguments& a) {
  switch (function) {
    case kToday:
      return IntegerValue(bridge::Today());
    case kClock:
      return IntegerValue(bridge::Clock());
    case kDate:
      return IntegerValue(bridge::DateFromParts(a.Integer(0), a.Integer(1), a.Integer(2)));
    case kDay:
      return IntegerValue(bridge::DayOf(a.Integer(0)));
    case kMonth:
      return IntegerValue(bridge::MonthOf(a.Integer(0)));
    case kYear:
      return IntegerValue(bridge::YearOf(a.Integer(0)));
    case kAge: {
      int32_t birth = a.Integer(0);
      int32_t base = a.n > 1 ? a.args.Integer(1) : bridge::Today();
      return TextValue(bridge::AgeText(birth, base));
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

Value CallBuiltin(int function, const Arguments& args) {
  const BuiltinArguments a{args, args.Count()};
  for (auto group : {&TextBuiltin, &NumberBuiltin, &DateBuiltin}) {
    if (std::optional<Value> result = group(function, a)) return std::move(*result);
  }
  return IntegerValue(0);
}

}  // namespace vorsandt::eval
