// Pictures: the picture compiler, the stored (encoded) form of a compiled
// picture, and FORMAT and DEFORMAT of arbitrary values through it.
//
// Input: a picture text up to the first newline, then value records, each a
// kind byte followed by its value (8 raw bytes of a double, a 32-bit integer,
// or a text up to the next newline). Whatever is left once the values run out
// is also decoded as a stored picture.
//
// Invariants, for every input:
//  1. A picture that compiles has a width of 1-255 and at most 255 entries;
//     its encoded form is at most 512 bytes and decodes to the same picture.
//  2. FORMAT gives exactly `width` characters, for any number or text.
//  3. Shown text read back by DEFORMAT and shown again gives the same text
//     (what the program shows, the user can type back unchanged), except
//     for the all-"#" text of a number too large for the picture, a value
//     that only rounds to zero under a blank-when-zero picture, and number
//     pictures that show number characters of their own (see Ambiguous).
//  4. A stored picture decoded from arbitrary bytes is either refused or
//     formats safely to its width, and encodes back to a form that decodes
//     to the same picture.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/files/error_state.h"
#include "runtime/format/format.h"
#include "runtime/format/picture.h"
#include "tests/fuzz/fuzz_support.h"

namespace vorsandt::format {
namespace {

using fuzz::Escaped;

void CheckShown(const std::string& shown, const Picture& picture, const std::string& what) {
  FUZZ_CHECK_MSG(shown.size() == static_cast<size_t>(picture.width),
                 what + " shown as '" + Escaped(shown) + "'");
}

// Texts that cannot be read back unambiguously: a number picture whose
// grouping character is also its decimal point ("@n10..2"), or whose
// currency or literal text holds characters of a number, its sign or its
// separators ("@n~EUR17~12.2", "@n~(R~12.2", "@n~R,~12`3").
bool Ambiguous(const Picture& picture) {
  char group = 0, point = 0;
  for (const Position& p : picture.positions) {
    if (p.code == kGroupSeparator) group = p.ch;
    if (p.code == kDecimalPoint) point = p.ch;
  }
  if (group != 0 && group == point) return true;
  if (picture.kind != PictureKind::kNumber && picture.kind != PictureKind::kScientific &&
      picture.kind != PictureKind::kPattern)
    return false;
  for (const Position& p : picture.positions) {
    if (p.code != kLiteral && p.code != kCurrency) continue;
    if (std::string_view("0123456789-+.,eE()").find(p.ch) != std::string_view::npos ||
        (group != 0 && p.ch == group) || (point != 0 && p.ch == point))
      return true;
  }
  return false;
}

void ExerciseNumber(double value, const Picture& picture, const std::string& text) {
  const std::string shown = Format(value, picture);
  CheckShown(shown, picture, text);
  const Deformatted back = Deformat(shown, &picture);
  if (picture.TakesText() || Ambiguous(picture)) return;
  FUZZ_CHECK(!back.is_text);
  // A number too large for its positions shows "#" everywhere, which reads
  // back as nothing in particular.
  if (shown == std::string(shown.size(), '#')) return;
  // A value that only rounds to zero is shown as zero even when the picture
  // blanks zero; the zero read back is then blank.
  if (picture.blank_when_zero && back.number == 0 && value != 0) return;
  const std::string again = Format(back.number, picture);
  FUZZ_CHECK_MSG(again == shown, "picture '" + Escaped(text) + "' value " + NumberText(value) +
                                     " shown '" + Escaped(shown) + "' read back as " +
                                     NumberText(back.number) + " shown '" + Escaped(again) + "'");
}

void ExerciseText(const std::string& value, const Picture& picture, const std::string& text) {
  const std::string shown = Format(std::string_view(value), picture);
  CheckShown(shown, picture, text);
  const Deformatted back = Deformat(value, &picture);
  if (!back.is_text) FUZZ_CHECK(back.text == NumberText(back.number) || std::isnan(back.number));
  Deformat(shown, &picture);
}

}  // namespace
}  // namespace vorsandt::format

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt::format;
  vorsandt::files::Errors().Clear();
  vorsandt::fuzz::Input in(data, size);
  const std::string text = in.TextUntil('\n', kMaxPictureTextLength + 16);
  const std::optional<Picture> picture = CompilePicture(text);
  if (picture) {
    FUZZ_CHECK(picture->width >= 1 && picture->width <= kMaxPictureWidth);
    FUZZ_CHECK(picture->positions.size() <= static_cast<size_t>(kMaxPictureEntries));
    const std::vector<uint8_t> stored = picture->Encode();
    FUZZ_CHECK(stored.size() <= kMaxCompiledSize);
    const std::optional<Picture> decoded = Picture::Decode(stored);
    FUZZ_CHECK_MSG(decoded.has_value() && *decoded == *picture, Escaped(text));
    FUZZ_CHECK(Format(0.0, text) == Format(0.0, *picture));
  } else {
    FUZZ_CHECK(Format(1.0, text).empty());
  }

  // Value records.
  for (int values = 0; values < 16 && in.remaining() > 0; ++values) {
    const uint8_t kind = in.Byte();
    if (kind == 0xff) break;  // the rest is a stored picture
    if (!picture) {
      in.TextUntil('\n', 256);
      continue;
    }
    switch (kind % 3) {
      case 0: {
        uint8_t raw[8];
        for (uint8_t& b : raw) b = in.Byte();
        double value;
        std::memcpy(&value, raw, sizeof value);
        ExerciseNumber(value, *picture, text);
        break;
      }
      case 1: {
        uint32_t bits = in.U16() | (in.U16() << 16);
        ExerciseNumber(static_cast<int32_t>(bits), *picture, text);
        break;
      }
      default: {
        const std::string value = in.TextUntil('\n', 300);
        ExerciseText(value, *picture, text);
        ExerciseNumber(DeformatNumber(value), *picture, text);
        break;
      }
    }
  }

  // A stored picture from arbitrary bytes.
  std::string_view rest = in.Rest();
  if (rest.size() > kMaxCompiledSize + 8) rest = rest.substr(0, kMaxCompiledSize + 8);
  const std::vector<uint8_t> bytes(rest.begin(), rest.end());
  if (const std::optional<Picture> stored = Picture::Decode(bytes)) {
    FUZZ_CHECK(stored->width >= 1 && stored->width <= kMaxPictureWidth);
    FUZZ_CHECK(stored->positions.size() <= static_cast<size_t>(kMaxPictureEntries));
    CheckShown(Format(0.0, *stored), *stored, "stored picture");
    CheckShown(Format(-12345.678, *stored), *stored, "stored picture");
    CheckShown(Format(std::string_view("TEXT 123"), *stored), *stored, "stored picture");
    Deformat("12/31/99 12:00PM -1,234.50", &*stored);
    const std::optional<Picture> again = Picture::Decode(stored->Encode());
    FUZZ_CHECK(again.has_value() && *again == *stored);
  }
  return 0;
}
