#include "runtime/text/text_options.h"

#include <cctype>
#include <vector>

#include "runtime/files/names.h"

namespace vorsandt::text {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && files::SameName(s.substr(0, prefix.size()), prefix);
}

// switch := "ON" ... | "OFF" ...   (only the start of the value counts)
// OFF is tested first: "OF" alone is neither and changes nothing.
void ApplySwitch(std::string_view value, bool* flag) {
  if (StartsWithNoCase(value, "OFF")) {
    *flag = false;
  } else if (StartsWithNoCase(value, "ON")) {
    *flag = true;
  }
}

const char* SwitchText(bool on) { return on ? "ON" : "OFF"; }

// sequence := count ( "," code ){count}     count in 1..8, codes in 0..255
std::optional<std::string> ParseEndOfRecord(std::string_view value) {
  std::vector<std::string_view> items;
  size_t start = 0;
  for (;;) {
    size_t comma = value.find(',', start);
    items.push_back(
        Trim(value.substr(start, comma == std::string_view::npos ? value.npos : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
    if (items.size() > kMaxEndOfRecord + 1) return std::nullopt;
  }
  std::optional<int32_t> count = ParseDecimal(items[0]);
  if (!count || *count < 1 || static_cast<size_t>(*count) > kMaxEndOfRecord ||
      items.size() != static_cast<size_t>(*count) + 1) {
    return std::nullopt;
  }
  std::string sequence;
  for (size_t i = 1; i < items.size(); ++i) {
    std::optional<int32_t> code = ParseDecimal(items[i]);
    if (!code || *code < 0 || *code > 255) return std::nullopt;
    sequence.push_back(static_cast<char>(*code));
  }
  return sequence;
}

std::string EndOfRecordText(const std::string& sequence) {
  std::string text = std::to_string(sequence.size());
  for (char c : sequence) {
    text += ',';
    text += std::to_string(static_cast<unsigned char>(c));
  }
  return text;
}

}  // namespace

// decimal := blanks [ "+" | "-" ] digit+ blanks
std::optional<int32_t> ParseDecimal(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool ApplyOption(std::string_view command, TextOptions* options, std::string* reply) {
  reply->clear();
  const size_t equals = command.find('=');
  const std::string_view name = Trim(command.substr(0, equals));
  const bool change = equals != std::string_view::npos;
  const std::string_view value = change ? Trim(command.substr(equals + 1)) : std::string_view();

  if (files::SameName(name, "CLIP")) {
    if (change) ApplySwitch(value, &options->clip);
    *reply = SwitchText(options->clip);
  } else if (files::SameName(name, "QUICKSCAN")) {
    if (change) ApplySwitch(value, &options->quickscan);
    *reply = SwitchText(options->quickscan);
  } else if (files::SameName(name, "TAB")) {
    if (change) {
      if (std::optional<int32_t> tab = ParseDecimal(value)) options->tab = *tab;
    }
    *reply = std::to_string(options->tab);
  } else if (files::SameName(name, "ENDOFRECORD")) {
    if (change) {
      if (std::optional<std::string> seq = ParseEndOfRecord(value)) options->end_of_record = *seq;
    }
    *reply = EndOfRecordText(options->end_of_record);
  } else if (files::SameName(name, "FILEBUFFERS")) {
    if (change) {
      std::optional<int32_t> count = ParseDecimal(value);
      if (count && *count >= 1 && *count <= kMaxFileBuffers) options->file_buffers = *count;
    }
    *reply = std::to_string(options->file_buffers);
  } else {
    return false;
  }
  return true;
}

void ApplyDriverText(std::string_view text, TextOptions* options) {
  size_t slash = text.find('/');
  std::string ignored;
  while (slash != std::string_view::npos) {
    const size_t next = text.find('/', slash + 1);
    const std::string_view item =
        text.substr(slash + 1, next == std::string_view::npos ? text.npos : next - slash - 1);
    ApplyOption(item, options, &ignored);
    slash = next;
  }
}

}  // namespace vorsandt::text
