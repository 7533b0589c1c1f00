// Text folded for searching: case and accents do not matter. Every character
// of the records' set (Windows-1252) is lower-cased through the locale's case
// table, and a letter carrying an accent or another mark becomes its base
// letter ("É" and "é" both "e", "Ø" "o", "Š" "s"). One character folds to one
// character, so a run found in the folded text lies at the same place in the
// text itself, where it can be highlighted.
#ifndef VORSANDT_RUNTIME_FORMAT_SEARCH_FOLD_H_
#define VORSANDT_RUNTIME_FORMAT_SEARCH_FOLD_H_

#include <array>
#include <string>
#include <string_view>

namespace vorsandt::format {

// The folding of the locale in force when it was made; cheap to apply, so
// that a search folds many records through one table.
class SearchFold {
 public:
  SearchFold();
  unsigned char operator()(unsigned char c) const { return table_[c]; }
  std::string Text(std::string_view text) const;
  // Appends the folded `text` to `out`.
  void Append(std::string_view text, std::string* out) const;

 private:
  std::array<unsigned char, 256> table_;
};

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_SEARCH_FOLD_H_
