// The evaluator's one door to locale, dates and pictures.
//
// Built-in functions and text comparison need the locale's case table and
// collation weights, the day-number arithmetic, the age text and picture
// formatting. All of those calls go through this file so that the rest of the
// evaluator never depends on how those services are provided.
#ifndef VORSANDT_RUNTIME_EVAL_FORMAT_BRIDGE_H_
#define VORSANDT_RUNTIME_EVAL_FORMAT_BRIDGE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vorsandt::eval::bridge {

// Character services of the locale.
unsigned char UpperChar(unsigned char c);
// A whole text in upper or lower case (one locale lookup for the text).
std::string UpperText(std::string_view text);
std::string LowerText(std::string_view text);
bool IsLetter(unsigned char c);
bool IsDigit(unsigned char c);
// Collation weight of a character under the current character set.
uint32_t CollationWeight(unsigned char c);
// Compares two texts by collation weight, the shorter padded with blanks:
// <0, 0 or >0. One locale lookup for the whole comparison.
int CompareCollated(std::string_view a, std::string_view b);
// As CompareCollated of the two texts upper-cased.
int CompareCollatedFolded(std::string_view a, std::string_view b);

// Day numbers (days since 28 December 1800; -1 for no valid date).
int32_t DateFromParts(int32_t month, int32_t day, int32_t year);
int32_t DayOf(int32_t day_number);
int32_t MonthOf(int32_t day_number);
int32_t YearOf(int32_t day_number);
int32_t Today();
// Time of day: hundredths of a second since midnight, plus one.
int32_t Clock();
// The age text of `birth` at `base` ("60 DAYS", "24 MOS", "2 YRS", or 255
// asterisks when it cannot be told).
std::string AgeText(int32_t birth, int32_t base);

// True when `picture` formats its value as text (text and key-in pictures);
// every other picture takes a number.
bool PictureTakesText(std::string_view picture);
// FORMAT: `text` is used for pictures that take text, `number` for the rest.
// An invalid picture gives an empty text.
std::string FormatValue(std::string_view text, double number, std::string_view picture);
// DEFORMAT: the value the text shows under the picture, as text.
std::string DeformatText(std::string_view text, std::string_view picture);

}  // namespace vorsandt::eval::bridge

#endif  // VORSANDT_RUNTIME_EVAL_FORMAT_BRIDGE_H_
