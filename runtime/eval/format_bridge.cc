// Locale, dates and pictures all come from the format layer.
#include "runtime/eval/format_bridge.h"

#include <optional>

#include "runtime/format/characters.h"
#include "runtime/format/collation.h"
#include "runtime/format/dates.h"
#include "runtime/format/format.h"
#include "runtime/format/picture.h"

namespace vorsandt::eval::bridge {

unsigned char UpperChar(unsigned char c) {
  return static_cast<unsigned char>(format::ToUpper(static_cast<char>(c)));
}

std::string UpperText(std::string_view text) { return format::ToUpperText(text); }
std::string LowerText(std::string_view text) { return format::ToLowerText(text); }

bool IsLetter(unsigned char c) { return format::IsAlpha(static_cast<char>(c)); }

bool IsDigit(unsigned char c) { return format::IsDigit(static_cast<char>(c)); }

uint32_t CollationWeight(unsigned char c) { return format::CollationWeight(static_cast<char>(c)); }

int CompareCollated(std::string_view a, std::string_view b) { return format::CompareText(a, b); }
int CompareCollatedFolded(std::string_view a, std::string_view b) {
  return format::CompareText(a, b, true);
}

int32_t DateFromParts(int32_t month, int32_t day, int32_t year) {
  return format::DateFromParts(month, day, year);
}

int32_t DayOf(int32_t day_number) { return format::DayOf(day_number); }
int32_t MonthOf(int32_t day_number) { return format::MonthOf(day_number); }
int32_t YearOf(int32_t day_number) { return format::YearOf(day_number); }
int32_t Today() { return format::Today(); }
int32_t Clock() { return format::Clock(); }
std::string AgeText(int32_t birth, int32_t base) { return format::Age(birth, base); }

bool PictureTakesText(std::string_view picture) {
  std::optional<format::Picture> compiled = format::CompilePicture(picture);
  return compiled && compiled->TakesText();
}

std::string FormatValue(std::string_view text, double number, std::string_view picture) {
  std::optional<format::Picture> compiled = format::CompilePicture(picture);
  if (!compiled) return std::string();
  return compiled->TakesText() ? format::Format(text, *compiled)
                               : format::Format(number, *compiled);
}

std::string DeformatText(std::string_view text, std::string_view picture) {
  return format::Deformat(text, picture).text;
}

}  // namespace vorsandt::eval::bridge
