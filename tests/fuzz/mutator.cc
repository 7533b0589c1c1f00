#include "tests/fuzz/mutator.h"

#include <algorithm>

namespace vorsandt::fuzz {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::string> ParseDictionaryLine(std::string_view line, bool* is_entry) {
  *is_entry = false;
  line = Trimmed(line);
  if (line.empty() || line.front() == '#') return std::string();
  // entry := [ name "=" ] '"' escaped-text '"'
  size_t quote = line.find('"');
  if (quote == std::string_view::npos || line.back() != '"' || quote + 1 >= line.size())
    return std::nullopt;
  if (quote > 0) {
    std::string_view name = Trimmed(line.substr(0, quote));
    if (name.empty() || name.back() != '=') return std::nullopt;
  }
  std::string_view body = line.substr(quote + 1, line.size() - quote - 2);
  std::string out;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '"') return std::nullopt;  // an unescaped quote inside
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= body.size()) return std::nullopt;
    if (body[i] == '\\' || body[i] == '"') {
      out += body[i];
    } else if (body[i] == 'x' && i + 2 < body.size() && HexValue(body[i + 1]) >= 0 &&
               HexValue(body[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(body[i + 1]) * 16 + HexValue(body[i + 2]));
      i += 2;
    } else {
      return std::nullopt;
    }
  }
  if (out.empty()) return std::nullopt;
  *is_entry = true;
  return out;
}

std::vector<std::string> ParseDictionary(std::string_view text, int* bad_line) {
  std::vector<std::string> entries;
  *bad_line = 0;
  int number = 0;
  while (!text.empty()) {
    ++number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    bool is_entry = false;
    std::optional<std::string> entry = ParseDictionaryLine(line, &is_entry);
    if (!entry) {
      if (*bad_line == 0) *bad_line = number;
      continue;
    }
    if (is_entry) entries.push_back(std::move(*entry));
  }
  return entries;
}

std::string Mutator::Mutate(const std::string& base, const std::string& other) {
  std::string s = base;
  const int edits = 1 + static_cast<int>(Below(6));
  for (int i = 0; i < edits; ++i) EditOnce(&s, other);
  if (s.size() > max_length_) s.resize(max_length_);
  return s;
}

void Mutator::EditOnce(std::string* s, const std::string& other) {
  static const unsigned char kInteresting[] = {0,    1,    0x7f, 0x80, 0xff, '\n', '\r', '\t',
                                               0x1a, ' ',  '"',  '\'', '@',  '~',  '=',  ','};
  const uint32_t size = static_cast<uint32_t>(s->size());
  switch (Below(10)) {
    case 0:  // flip one bit
      if (size > 0) (*s)[Below(size)] ^= static_cast<char>(1u << Below(8));
      break;
    case 1:  // a random byte
      if (size > 0) (*s)[Below(size)] = static_cast<char>(Below(256));
      break;
    case 2:  // a byte parsers care about
      if (size > 0) (*s)[Below(size)] = static_cast<char>(kInteresting[Below(sizeof kInteresting)]);
      break;
    case 3: {  // insert a few random bytes
      std::string bytes(1 + Below(4), '\0');
      for (char& c : bytes) c = static_cast<char>(Below(256));
      s->insert(Below(size + 1), bytes);
      break;
    }
    case 4:  // erase a range
      if (size > 0) {
        uint32_t at = Below(size);
        s->erase(at, 1 + Below(std::min<uint32_t>(size - at, 16)));
      }
      break;
    case 5:  // duplicate a range
      if (size > 0) {
        uint32_t at = Below(size);
        std::string piece = s->substr(at, 1 + Below(std::min<uint32_t>(size - at, 32)));
        s->insert(Below(size + 1), piece);
      }
      break;
    case 6:
    case 7:  // insert or overwrite with a dictionary entry
      if (!dictionary_.empty()) {
        const std::string& word = dictionary_[Below(static_cast<uint32_t>(dictionary_.size()))];
        uint32_t at = Below(size + 1);
        if (Below(2) == 0 || at + word.size() > size) {
          s->insert(at, word);
        } else {
          s->replace(at, word.size(), word);
        }
      }
      break;
    case 8:  // splice: the front of this input, the back of another
      if (!other.empty()) {
        uint32_t cut = Below(size + 1);
        uint32_t from = Below(static_cast<uint32_t>(other.size()));
        *s = s->substr(0, cut) + other.substr(from);
      }
      break;
    case 9:  // cut the input short
      if (size > 0) s->resize(Below(size));
      break;
  }
}

}  // namespace vorsandt::fuzz
