// Variables that controls display and edit (the "use" of a control).
//
// A procedure binds its variables (record fields, locals) to a window's
// controls by the variable's name in the definition. The engine reads them
// when it redraws the control (formatting through the control's picture) and
// writes them when the user completes an entry (deformatting the typed text),
// always on the procedure's own thread.
#ifndef VORSANDT_UI_ENGINE_USE_VARIABLE_H_
#define VORSANDT_UI_ENGINE_USE_VARIABLE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vorsandt::ui {

// Why an entry refused what the user typed: the value it was no value of.
enum class Refusal {
  kNone,         // the text is taken
  kNotANumber,   // no number can be read from it
  kNotADate,     // it names no day of the calendar (31/02/26, 0/07/96)
  kNotATime,     // it names no time of day (25:00)
  kTooLarge,     // a number larger than the variable holds
  kTooSmall,     // a number smaller than the variable holds
};

class UseVariable {
 public:
  virtual ~UseVariable() = default;
  // The value as plain text (numbers in decimal, strings as stored).
  virtual std::string Get() const = 0;
  // Stores plain text (already deformatted).
  virtual void Set(std::string_view text) = 0;
  virtual bool numeric() const { return false; }

  // What a control shows for the variable under its display `picture` (the
  // variable's own picture, if it has one, when `picture` is empty).
  virtual std::string Show(std::string_view picture) const;
  // Stores the text a user completed in a control showing `picture`. False
  // when the text cannot be read as a value of the variable (the control's
  // rejected event); the variable then keeps its value.
  virtual bool Accept(std::string_view typed, std::string_view picture);
  // Why Accept refuses `typed` under `picture` (kNone when it takes it).
  // Changes nothing.
  virtual Refusal WhyRefused(std::string_view typed, std::string_view picture) const;
};

// Bindings to ordinary C++ variables; the caller keeps the variable alive
// while the window is open.
std::unique_ptr<UseVariable> BindText(std::string* text, size_t size = 0);
std::unique_ptr<UseVariable> BindLong(int32_t* value);
std::unique_ptr<UseVariable> BindReal(double* value);

// Display formatting through pictures. The default formatter uses the
// runtime's pictures ("@s30", "@n-10.2", "@D5"); without a picture, or with
// one that does not compile, values show as they are (strings without their
// trailing blanks). Tests and platforms may install another.
class DisplayFormatter {
 public:
  virtual ~DisplayFormatter() = default;
  virtual std::string Format(std::string_view value, std::string_view picture, bool numeric) const;
  virtual std::string Deformat(std::string_view text, std::string_view picture, bool numeric) const;
};

// The formatter in use; never null.
const DisplayFormatter& Formatter();

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_USE_VARIABLE_H_
