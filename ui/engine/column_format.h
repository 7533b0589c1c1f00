// Column format strings of list controls.
//
// One group per column: a width in dialog units, a justification letter
// (L, C, R), modifiers ("|" separator line at the right, "M" resizable, and
// "*" and "T" which make the list a tree), an optional header "~text~"
// followed by an optional header justification letter, and an optional
// display picture "@picture@". Example: "126L|M~POLICY REFERENCE~@s30@".
#ifndef VORSANDT_UI_ENGINE_COLUMN_FORMAT_H_
#define VORSANDT_UI_ENGINE_COLUMN_FORMAT_H_

#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::ui {

struct Column {
  int width = 0;
  char justify = 'L';      // L, C or R
  bool separator = false;  // "|"
  bool resizable = false;  // "M"
  bool tree = false;       // "T": the column draws the tree lines
  bool icons = false;      // "*": rows carry a level sign (tree display)
  bool has_header = false;
  std::string header;
  char header_justify = 0;  // 0: as the column
  std::string picture;      // without the "@"s, for example "s30"

  bool operator==(const Column&) const = default;
};

struct ColumnFormatResult {
  std::vector<Column> columns;
  bool ok = false;
  size_t error_offset = 0;  // where parsing stopped, on failure
  std::string error;        // what was expected there
};

// Parses `text`. An empty text is an error: every list shows at least one
// column.
ColumnFormatResult ParseColumnFormat(std::string_view text);

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_COLUMN_FORMAT_H_
