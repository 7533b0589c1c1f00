#include "runtime/format/search_fold.h"

#include <array>

#include "runtime/format/locale.h"

namespace vorsandt::format {
namespace {

// The base letter of each character from 0xC0 to 0xFF, lower case; a blank
// keeps the character (the two signs, thorn, sharp s and the ligature æ,
// which has no single base letter).
constexpr char kBaseLetters[] =
    "aaaaaa ceeeeiiii"   // C0-CF (C6 Æ kept, its case folded below)
    "dnooooo ouuuuy  "   // D0-DF
    "aaaaaa ceeeeiiii"   // E0-EF
    "dnooooo ouuuuy y";  // F0-FF
static_assert(sizeof kBaseLetters == 64 + 1);

// Windows-1252's letters with marks between 0x80 and 0xBF.
unsigned char BaseBelowC0(unsigned char c) {
  switch (c) {
    case 0x8A:  // Š
    case 0x9A:  // š
      return 's';
    case 0x8C:  // Œ
    case 0x9C:  // œ
      return 'o';
    case 0x8E:  // Ž
    case 0x9E:  // ž
      return 'z';
    case 0x9F:  // Ÿ
      return 'y';
    default:
      return c;
  }
}

std::array<unsigned char, 256> BuildTable(const Locale& locale) {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) {
    auto c = static_cast<unsigned char>(i);
    unsigned char folded = locale.LowerOf(c);
    if (c >= 0xC0 && kBaseLetters[c - 0xC0] != ' ') {
      folded = static_cast<unsigned char>(kBaseLetters[c - 0xC0]);
    } else if (c >= 0x80 && c < 0xC0) {
      folded = BaseBelowC0(folded);
    }
    // The few characters kept above fold their case the plain way when the
    // locale's table has no partner for them (Æ, Þ).
    if (folded == c && (c == 0xC6 || c == 0xDE)) folded = static_cast<unsigned char>(c + 0x20);
    table[i] = folded;
  }
  return table;
}

}  // namespace

SearchFold::SearchFold() : table_(BuildTable(CurrentLocale())) {}

std::string SearchFold::Text(std::string_view text) const {
  std::string out;
  Append(text, &out);
  return out;
}

void SearchFold::Append(std::string_view text, std::string* out) const {
  const size_t at = out->size();
  out->resize(at + text.size());
  for (size_t i = 0; i < text.size(); ++i)
    (*out)[at + i] = static_cast<char>(table_[static_cast<unsigned char>(text[i])]);
}

}  // namespace vorsandt::format
