// Locale, dates and pictures come from the format layer. Until its pictures
// are wired in, this file formats text pictures itself and deformats as a
// picture-less DEFORMAT does.
#include "runtime/eval/format_bridge.h"

#include "runtime/eval/values.h"
#include "runtime/format/characters.h"
#include "runtime/format/collation.h"
#include "runtime/format/dates.h"

namespace vorsandt::eval::bridge {

unsigned char UpperChar(unsigned char c) {
  return static_cast<unsigned char>(format::ToUpper(static_cast<char>(c)));
}

unsigned char LowerChar(unsigned char c) {
  return static_cast<unsigned char>(format::ToLower(static_cast<char>(c)));
}

bool IsLetter(unsigned char c) { return format::IsAlpha(static_cast<char>(c)); }

bool IsDigit(unsigned char c) { return format::IsDigit(static_cast<char>(c)); }

uint32_t CollationWeight(unsigned char c) {
  return format::CollationWeight(static_cast<char>(c));
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

namespace {

// The picture without its optional at sign.
std::string_view Body(std::string_view picture) {
  if (!picture.empty() && picture[0] == '@') picture.remove_prefix(1);
  return picture;
}

// Width of a text picture (S or s followed by digits), or -1.
int TextPictureWidth(std::string_view picture) {
  std::string_view body = Body(picture);
  if (body.empty() || (body[0] != 'S' && body[0] != 's') || body.size() < 2) return -1;
  int width = 0;
  for (size_t i = 1; i < body.size(); ++i) {
    if (body[i] < '0' || body[i] > '9') return -1;
    width = width * 10 + (body[i] - '0');
    if (width > 255) return -1;
  }
  return width >= 1 ? width : -1;
}

}  // namespace

bool PictureTakesText(std::string_view picture) {
  std::string_view body = Body(picture);
  return !body.empty() && (body[0] == 'S' || body[0] == 's' || body[0] == 'K' || body[0] == 'k');
}

std::string FormatValue(std::string_view text, double number, std::string_view picture) {
  (void)number;
  int width = TextPictureWidth(picture);
  if (width < 0) return std::string();
  std::string result(text.substr(0, static_cast<size_t>(width)));
  result.resize(static_cast<size_t>(width), ' ');
  return result;
}

std::string DeformatText(std::string_view text, std::string_view picture) {
  (void)picture;
  // Keep only what can belong to a number.
  std::string kept;
  bool seen_exponent = false;
  bool seen_point = false;
  for (char c : text) {
    char previous = kept.empty() ? '\0' : kept.back();
    bool after_exponent = previous == 'e' || previous == 'E';
    if (c >= '0' && c <= '9') {
      kept += c;
    } else if (c == '-' && (kept.empty() || after_exponent)) {
      kept += c;
    } else if (c == '+' && after_exponent) {
      kept += c;
    } else if ((c == 'e' || c == 'E') && !seen_exponent) {
      seen_exponent = true;
      kept += c;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
      kept += c;
    }
  }
  return RealToText(TextToReal(kept));
}

}  // namespace vorsandt::eval::bridge
