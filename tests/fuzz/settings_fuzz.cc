// The settings file: KEY=VALUE lines applied to the locale, and the value
// list syntax on its own.
//
// Input: the settings text.
//
// Invariants, for every input:
//  1. The locale keeps its limits: month names of at most 12 characters,
//     abbreviations of at most 3, AM/PM texts of at most 2, at most 16
//     digraphs, button captions only for text numbers from 32512 up, and both
//     collation tables permutations of 0-255.
//  2. Every line's value, split into items and written back as a quoted
//     list, splits into the same items again.
//  3. The locale afterwards still formats and compares (a month-name date
//     picture shows its width, text compares equal to itself).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/files/error_state.h"
#include "runtime/format/characters.h"
#include "runtime/format/collation.h"
#include "runtime/format/format.h"
#include "runtime/format/locale.h"
#include "runtime/format/settings_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace vorsandt::format {
namespace {

using fuzz::Escaped;

bool IsPermutation(const std::array<uint8_t, 256>& table) {
  std::array<bool, 256> seen{};
  for (uint8_t w : table) {
    if (seen[w]) return false;
    seen[w] = true;
  }
  return true;
}

std::string Quoted(const std::vector<std::string>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    out += '"';
    for (char c : items[i]) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void CheckValueRoundTrip(std::string_view value) {
  for (bool commas : {true, false}) {
    const std::vector<std::string> items = ParseSettingsValue(value, commas);
    FUZZ_CHECK(!items.empty());
    const std::string quoted = Quoted(items);
    const std::vector<std::string> again = ParseSettingsValue(quoted, true);
    FUZZ_CHECK_MSG(again == items, "'" + Escaped(value) + "' requoted as '" + Escaped(quoted) +
                                       "' splits differently");
  }
}

}  // namespace
}  // namespace vorsandt::format

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt::format;
  vorsandt::files::Errors().Clear();
  ResetLocale();
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  Locale& locale = MutableLocale();
  ApplySettingsText(text, &locale);

  for (const std::string& name : locale.month_names) FUZZ_CHECK(name.size() <= kMonthNameWidth);
  for (const std::string& name : locale.month_abbreviations)
    FUZZ_CHECK(name.size() <= kMonthAbbreviationWidth);
  FUZZ_CHECK(locale.am_text.size() <= 2 && locale.pm_text.size() <= 2);
  FUZZ_CHECK(locale.digraphs.size() <= static_cast<size_t>(kMaxDigraphs));
  for (const auto& [number, caption] : locale.button_texts) FUZZ_CHECK(number >= kFirstButtonText);
  FUZZ_CHECK(IsPermutation(locale.ansi_weights));
  FUZZ_CHECK(IsPermutation(locale.oem_weights));

  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (size_t equals = line.find('='); equals != std::string_view::npos)
      CheckValueRoundTrip(line.substr(equals + 1, kMaxValueLength));
    start = end + 1;
  }

  for (const char* text_picture : {"@D3", "@D4", "@D17", "@D18", "@T3", "@T7", "@T8"}) {
    const auto picture = CompilePicture(text_picture);
    FUZZ_CHECK(picture.has_value());
    for (double value : {4.0, 36525.0, 109211.0}) {
      FUZZ_CHECK(Format(value, *picture).size() == static_cast<size_t>(picture->width));
      Deformat(Format(value, *picture), &*picture);
    }
  }
  std::string every_byte(256, '\0');
  for (int c = 0; c < 256; ++c) every_byte[c] = static_cast<char>(c);
  FUZZ_CHECK(ToUpperText(every_byte).size() == 256 && ToLowerText(every_byte).size() == 256);
  const std::string sample(text.substr(0, 64));
  FUZZ_CHECK(CompareText(sample, sample) == 0);
  FUZZ_CHECK(CompareText(sample, sample + "  ") == 0);
  ResetLocale();
  return 0;
}
