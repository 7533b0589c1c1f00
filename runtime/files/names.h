// Names of tables, fields, keys, resources and options compare without
// regard to the case of ASCII letters; other bytes compare as they are.
#ifndef VORSANDT_RUNTIME_FILES_NAMES_H_
#define VORSANDT_RUNTIME_FILES_NAMES_H_

#include <string_view>

namespace vorsandt::files {

constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

constexpr bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_NAMES_H_
