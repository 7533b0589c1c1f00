#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

namespace vorsandt::fuzz {

void Fail(const char* what, const char* file, int line, const std::string& detail) {
  std::fprintf(stderr, "fuzz invariant broken: %s (%s:%d)%s%s\n", what, file, line,
               detail.empty() ? "" : "\n  ", detail.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string Input::TextUntil(char stop, size_t limit) {
  std::string out;
  while (at_ < size_ && out.size() < limit) {
    char c = static_cast<char>(data_[at_++]);
    if (c == stop) break;
    out += c;
  }
  return out;
}

std::string Escaped(std::string_view text, size_t limit) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  if (text.size() > limit) out += "...";
  return out;
}

}  // namespace vorsandt::fuzz
