// Value classes of the expression language and the conversions between them.
//
// Every node of a compiled expression has one of five value classes. Values
// move between classes by the rules here: texts become numbers through
// TextToReal, numbers become texts through IntegerToText and RealToText,
// reals become integers by rounding (or by cutting toward zero where a
// function result is used as an integer).
#ifndef VORSANDT_RUNTIME_EVAL_VALUES_H_
#define VORSANDT_RUNTIME_EVAL_VALUES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vorsandt::eval {

enum ValueClass : uint8_t {
  kLogical = 0,
  kInteger = 1,  // 32-bit
  kReal = 2,     // 64-bit floating point
  kPicture = 3,  // a display picture such as @n-10.2
  kText = 4,
};

// Answers of three-valued evaluation.
enum Truth : uint8_t {
  kTrue = 0,
  kFalse = 1,
  kUndecided = 2,
};

// The decimal digits of `value`, with a leading "-" when negative.
std::string IntegerToText(int32_t value);

// The text of a real that is no finite number: the result of a division by
// zero (infinity), of 0/0 or a remainder by zero (not a number), of SQRT(-1)
// and the like. Arithmetic keeps the processor's values, so 1/0 compares above
// every number and as an integer is held at 2147483647; only their text is
// this mark, the one FORMAT fills a picture with when a number does not fit.
// It reads back as 0 and is not NUMERIC.
inline constexpr std::string_view kNotANumberText = "#";

// The text form of a real: integral values below 1e15 in magnitude are written
// as plain integers ("3", "-12"); others with up to 15 significant digits in
// the shortest of fixed or exponent notation ("0.333333333333333", "1e+20");
// infinities and NaN as kNotANumberText. The result reads back through
// TextToReal to the same value whenever the value is finite and has at most
// 15 significant digits.
std::string RealToText(double value);

// True when `text`, without leading and trailing blanks, is a number: an
// optional sign, digits with at most one ".", at least one digit, and an
// optional exponent ("e" or "E", optional sign, digits).
bool IsNumericText(std::string_view text);

// The number a text stands for. Leading blanks are skipped and the longest
// prefix that forms a number is taken ("12abc" is 12); a text without such a
// prefix is 0.
double TextToReal(std::string_view text);

// Nearest 32-bit integer, halves away from zero; values outside the range are
// held at its ends and NaN is 0.
int32_t RoundToInteger(double value);

// Cuts toward zero, with the same range handling as RoundToInteger.
int32_t TruncateToInteger(double value);

// Two reals are equal when they are the same value (two infinities of one
// sign), when their difference is 0, or when the binary exponent
// of the difference lies more than 50 below the exponent of either operand (an
// operand of 0 counts with the exponent of 1.0). This absorbs the rounding of
// decimal fractions: 1/3*3 equals 1.
bool RealsEqual(double a, double b);

// -1, 0 or 1, with equality decided by RealsEqual. NaN compares above
// everything but never equal.
int CompareReals(double a, double b);

// True when the text has anything but trailing blanks.
bool TextIsTrue(std::string_view text);

// The text without its trailing blanks.
std::string_view ClipText(std::string_view text);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_VALUES_H_
