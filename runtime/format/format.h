// FORMAT and DEFORMAT: values to text through a picture, and back.
//
// Text and key-in pictures take the value as text; every other kind takes it
// as a number (a day number for dates, a time value for times).
#ifndef VORSANDT_RUNTIME_FORMAT_FORMAT_H_
#define VORSANDT_RUNTIME_FORMAT_FORMAT_H_

#include <string>
#include <string_view>

#include "runtime/format/picture.h"

namespace vorsandt::format {

// Text of exactly the picture's width. A number too large for its positions,
// or a negative number in a picture without a sign position, shows "#" in
// every position; an invalid date or time shows blanks.
std::string Format(double value, const Picture& picture);
// For text and key-in pictures the text itself; for the other kinds the text
// is first read as a number (see NumberInText: a number too large to hold is
// too large for the picture too).
std::string Format(std::string_view value, const Picture& picture);
// Compiles `picture_text` and formats; an invalid picture gives "".
std::string Format(double value, std::string_view picture_text);
std::string Format(std::string_view value, std::string_view picture_text);

struct Deformatted {
  bool is_text = false;  // key-in pictures give text
  double number = 0;
  std::string text;  // the value as text (numbers in their shortest form)
  // A date whose month or day lies outside the calendar ("31/02/26", month
  // 13): `number` carries it into the following month or year as DATE does,
  // so it names another day than the one written. Entries refuse such text.
  bool carried = false;
};

// The value that `text` shows under `picture`; nullptr means "no picture".
Deformatted Deformat(std::string_view text, const Picture* picture);
// Compiles `picture_text` (an empty or invalid picture counts as none).
Deformatted Deformat(std::string_view text, std::string_view picture_text);

// The number in a text under no picture: only digits, a leading "-", the
// first "." and the first "e" or "E" (with a "+" or "-" right after it) are
// kept; everything else is dropped. A number too large for a real ("1e400")
// is 0.
double DeformatNumber(std::string_view text);
// The same reading, but a number too large for a real is an infinity of its
// sign, which FORMAT shows as not fitting.
double NumberInText(std::string_view text);

// The text of a value that is no finite number (an infinity or NaN).
inline constexpr std::string_view kNoNumberText = "#";
// The shortest text that reads back as `value` ("1234.5", "42", "1e+20"), or
// kNoNumberText.
std::string NumberText(double value);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_FORMAT_H_
