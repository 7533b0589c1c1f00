// Small readers of script words shared by the parser, the key names and the
// commands of the UI test script language.
#ifndef VORSANDT_UI_HEADLESS_SCRIPT_WORDS_H_
#define VORSANDT_UI_HEADLESS_SCRIPT_WORDS_H_

#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace vorsandt::ui::headless::words {

// A whole decimal number and nothing else.
inline std::optional<int> Number(std::string_view s) {
  int v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

inline std::string WithoutAmpersand(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c != '&') out += c;
  }
  return out;
}

// A menu text or control text matches as written or without its "&".
inline bool TextMatches(const std::string& have, const std::string& want) {
  return have == want || WithoutAmpersand(have) == want;
}

inline std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

}  // namespace vorsandt::ui::headless::words

#endif  // VORSANDT_UI_HEADLESS_SCRIPT_WORDS_H_
