// The built-in functions of the expression language.
//
// Each built-in has a name, a maximum argument count, a function number and a
// result class; a call may give fewer arguments than the maximum, and the
// missing ones take the function's defaults (0 or an empty text where the
// function names none). Arguments are evaluated on demand through Arguments,
// so a function decides which arguments it needs (INRANGE reads its upper
// bound only when the lower one holds).
#ifndef VORSANDT_RUNTIME_EVAL_BUILTINS_H_
#define VORSANDT_RUNTIME_EVAL_BUILTINS_H_

#include <cstdint>
#include <span>
#include <string>

#include "runtime/eval/values.h"

namespace vorsandt::eval {

// Function numbers.
enum Function : uint8_t {
  kBoundProcedure = 0,
  kMemory = 1,
  kSub = 2,
  kInstring = 3,
  kClip = 4,
  kAll = 5,
  kCenter = 6,
  kChr = 7,
  kDeformat = 8,
  kFormat = 9,
  kLeft = 10,
  kLen = 11,
  kLower = 12,
  kNumeric = 13,
  kRight = 14,
  kUpper = 15,
  kVal = 16,
  kAbs = 17,
  kInrange = 18,
  kInt = 19,
  kLoge = 20,
  kLog10 = 21,
  kRandom = 22,
  kRound = 23,
  kSqrt = 24,
  kSin = 25,
  kCos = 26,
  kTan = 27,
  kAsin = 28,
  kAcos = 29,
  kAtan = 30,
  kBand = 31,
  kBor = 32,
  kBxor = 33,
  kBshift = 34,
  kToday = 35,
  kClock = 36,
  kDate = 37,
  kDay = 38,
  kMonth = 39,
  kYear = 40,
  kAge = 41,
};

struct BuiltinInfo {
  const char* name;
  uint8_t max_args;
  uint8_t number;
  ValueClass result;
};

// Every built-in, in function-number order (1 to 41).
std::span<const BuiltinInfo> Builtins();

// Texts that a length argument may ask for are capped here: ALL(' ', 2E9)
// must not try to allocate gigabytes.
inline constexpr int32_t kMaxResultLength = 65535;

// The arguments of one call, evaluated when asked for.
class Arguments {
 public:
  virtual ~Arguments() = default;
  virtual int Count() const = 0;
  // Argument i (0-based) in the form asked for; only called with i < Count().
  virtual std::string Text(int i) const = 0;
  virtual double Real(int i) const = 0;
  virtual int32_t Integer(int i) const = 0;
};

// The result of a built-in, in the function's result class: `integer` for
// integer results, `real` for real results, `text` for text results.
struct Value {
  ValueClass value_class = kInteger;
  int32_t integer = 0;
  double real = 0;
  std::string text;
};

// Evaluates built-in `function` (1..41) over `args`.
Value CallBuiltin(int function, const Arguments& args);

// True for calls whose result is not fixed by their arguments (the clock, the
// date, random numbers, memory, and AGE against today): they are never folded
// into constants when a filter is compiled.
bool IsVolatileCall(int function, int argument_count);

// The pseudo-random generator behind RANDOM: three draws of 15 bits each.
// Seeding makes the sequence repeatable; unseeded, it starts from the clock.
void SeedRandom(uint32_t seed);

// The remaining functions are exposed for tests and other callers.
int32_t Instring(const std::string& sub, const std::string& text, int32_t step, int32_t start);
int32_t Bshift(int32_t value, int32_t count);
double RoundTo(double value, double order);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_BUILTINS_H_
