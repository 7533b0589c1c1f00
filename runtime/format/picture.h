// Pictures: the short texts ("@s30", "@n-10.2", "@N06", "@D5", "@P##%P") that
// shape every value the program shows or accepts.
//
// A picture is compiled once into a kind, a width and one entry per position;
// FORMAT and DEFORMAT (format.h) walk those positions. The compiled form is
// fixed-size and can be stored: Encode gives at most 512 bytes (a two-byte
// header and two bytes per entry), so a picture has at most 255 entries and
// 255 shown positions.
#ifndef VORSANDT_RUNTIME_FORMAT_PICTURE_H_
#define VORSANDT_RUNTIME_FORMAT_PICTURE_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vorsandt::format {

enum class PictureKind : uint8_t {
  kNumber = 0,
  kScientific = 1,
  kDate = 2,
  kTime = 3,
  kPattern = 4,
  kText = 5,
  kKeyIn = 6,
};

// What one entry of a compiled picture stands for.
enum PositionCode : uint8_t {
  kLiteral = 0,
  kGroupSeparator = 1,
  kDecimalPoint = 2,
  kDigitZero = 3,   // digit, 0 when not significant
  kDigitBlank = 4,  // digit, its fill character when not significant
  kSignPosition = 5,
  kCurrency = 6,
  kMonthDigit = 7,
  kDayDigit = 8,
  kYearDigit = 9,
  kMonthName = 10,
  kHourDigit = 11,
  kMinuteDigit = 12,
  kSecondDigit = 13,
  kKeyLetter = 14,  // "@"
  kKeyUpper = 15,   // "^"
  kKeyLower = 16,   // "_"
  kKeyAny = 17,     // "?"
  kDateTimeSeparator = 19,
  kAmPm = 20,
  kImpliedPoint = 22,  // takes no place in the text
  kKeyStop = 23,       // "|": takes no place in the text
};

struct Position {
  char ch = ' ';  // the literal, or the character shown when not significant
  PositionCode code = kLiteral;
  bool operator==(const Position&) const = default;
};

inline constexpr int kMaxPictureWidth = 255;
inline constexpr int kMaxPictureEntries = 255;
inline constexpr size_t kMaxCompiledSize = 512;
// Picture texts longer than this cannot be valid and are not parsed.
inline constexpr size_t kMaxPictureTextLength = 1024;

struct Picture {
  PictureKind kind = PictureKind::kText;
  bool blank_when_zero = false;
  int width = 0;  // shown positions, 1-255
  // One entry per position; empty for text pictures, whose positions are all
  // plain characters.
  std::vector<Position> positions;

  bool TakesText() const { return kind == PictureKind::kText || kind == PictureKind::kKeyIn; }
  bool operator==(const Picture&) const = default;

  // The stored form: kind (3 bits) and blank-when-zero (bit 3) in the first
  // byte, the width in the second, then character and code of each entry.
  std::vector<uint8_t> Encode() const;
  static std::optional<Picture> Decode(const std::vector<uint8_t>& bytes);
};

// Compiles a picture text; the leading "@" is optional. Returns nothing when
// the text is not a valid picture. Date pictures 17 and 18 and time pictures 7
// and 8 follow the date and time forms of the locale in force.
std::optional<Picture> CompilePicture(std::string_view text);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_PICTURE_H_
