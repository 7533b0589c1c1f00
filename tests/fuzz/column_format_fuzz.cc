// Column format strings of list controls.
//
// Input: the format string.
//
// Invariants, for every input:
//  1. A failure points inside the text (or at its end) and says what was
//     expected; a success has 1-255 columns with widths of at most 100000
//     and justification letters L, C or R.
//  2. The columns written back as a format string parse to the same columns.
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "ui/engine/column_format.h"

namespace vorsandt::ui {
namespace {

std::string Write(const std::vector<Column>& columns) {
  std::string out;
  for (const Column& c : columns) {
    out += std::to_string(c.width);
    out += c.justify;
    if (c.separator) out += '|';
    if (c.resizable) out += 'M';
    if (c.icons) out += '*';
    if (c.tree) out += 'T';
    if (c.has_header) {
      out += '~' + c.header + '~';
      if (c.header_justify != 0) out += c.header_justify;
    }
    if (!c.picture.empty()) out += '@' + c.picture + '@';
  }
  return out;
}

}  // namespace
}  // namespace vorsandt::ui

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorsandt::ui;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ColumnFormatResult result = ParseColumnFormat(text);
  if (!result.ok) {
    FUZZ_CHECK(result.columns.empty());
    FUZZ_CHECK(result.error_offset <= text.size());
    FUZZ_CHECK(!result.error.empty());
    return 0;
  }
  FUZZ_CHECK(!result.columns.empty() && result.columns.size() <= 255);
  for (const Column& c : result.columns) {
    FUZZ_CHECK(c.width >= 0 && c.width <= 100000);
    FUZZ_CHECK(c.justify == 'L' || c.justify == 'C' || c.justify == 'R');
    FUZZ_CHECK(c.header_justify == 0 || c.header_justify == 'L' || c.header_justify == 'C' ||
               c.header_justify == 'R');
  }
  const std::string written = Write(result.columns);
  const ColumnFormatResult again = ParseColumnFormat(written);
  FUZZ_CHECK_MSG(again.ok && again.columns == result.columns,
                 "'" + vorsandt::fuzz::Escaped(text) + "' written back as '" +
                     vorsandt::fuzz::Escaped(written) + "'");
  return 0;
}
