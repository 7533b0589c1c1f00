#include "runtime/format/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>

#include "runtime/env/file_system.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/format/characters.h"
#include "runtime/format/charset.h"
#include "runtime/format/collation.h"

namespace vorsandt::format {
namespace {

// The settings file is small; anything beyond this is not a settings file and
// is not read further.
constexpr size_t kMaxFileSize = 1 << 20;
constexpr char kCtrlZ = '\x1a';

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string Cut(std::string_view text, size_t width) {
  return std::string(text.substr(0, std::min(text.size(), width)));
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += item;
  return out;
}

// quoted_item := '"' { any character but '"' | '""' } [ '"' ]
// A missing closing quote ends the item at the end of the value.
size_t ParseQuotedItem(std::string_view value, size_t at, std::string* item) {
  ++at;  // opening quote
  while (at < value.size()) {
    if (value[at] == '"') {
      if (at + 1 < value.size() && value[at + 1] == '"') {
        *item += '"';
        at += 2;
        continue;
      }
      return at + 1;
    }
    *item += value[at++];
  }
  return at;
}

enum class Key {
  kUnknown,
  kCharSet,
  kCollation,
  kCase,
  kMonthNames,
  kMonthAbbreviations,
  kAmPm,
  kDigraphs,
  kButtons,
  kMessage,
  kDueSoonDays,
  kNetworkFiles,
};

Key Classify(std::string_view key, int32_t* message_number) {
  static constexpr struct {
    const char* name;
    Key key;
  } kKeys[] = {
      {"ZORCHARSET", Key::kCharSet}, {"ZORCOLSEQ", Key::kCollation},
      {"ZORCASE", Key::kCase},       {"ZORMONTH", Key::kMonthNames},
      {"ZORMON", Key::kMonthAbbreviations}, {"ZORAMPM", Key::kAmPm},
      {"ZORDIGRAPH", Key::kDigraphs}, {"ZORBUTTON", Key::kButtons},
      {"DUESOONDAYS", Key::kDueSoonDays}, {env::kNetworkFilesKey, Key::kNetworkFiles},
  };
  for (const auto& entry : kKeys) {
    if (EqualsNoCase(key, entry.name)) return entry.key;
  }
  if (StartsWithNoCase(key, "ZORMSG")) {
    std::string_view digits = key.substr(6);
    int32_t number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size()) {
      *message_number = number;
      return Key::kMessage;
    }
  }
  return Key::kUnknown;
}

void ApplyKey(Key key, int32_t message_number, std::string_view raw_value, Locale* locale) {
  // With the OEM set, every value but the collation sequence is converted.
  std::string value(raw_value);
  if (locale->charset == CharacterSet::kOem && key != Key::kCollation)
    value = OemToAnsiText(value);
  bool commas_separate = key != Key::kCollation && key != Key::kMessage;
  std::vector<std::string> items = ParseSettingsValue(value, commas_separate);
  auto item = [&items](size_t i) -> std::string { return i < items.size() ? items[i] : ""; };

  switch (key) {
    case Key::kCharSet:
      locale->charset = EqualsNoCase(item(0), "OEM") ? CharacterSet::kOem : CharacterSet::kAnsi;
      break;
    case Key::kCollation: {
      std::string sequence = Joined(items);
      if (EqualsNoCase(sequence, "WINDOWS")) {
        SetSystemCollation(locale);
      } else {
        SetCollationSequence(locale, sequence);
      }
      break;
    }
    case Key::kCase:
      if (EqualsNoCase(item(0), "WINDOWS") || !SetCasePairs(locale, item(0), item(1)))
        SetSystemCasePairs(locale);
      break;
    case Key::kMonthNames:
      for (size_t i = 0; i < 12 && i < items.size(); ++i) {
        if (!items[i].empty()) locale->month_names[i] = Cut(items[i], kMonthNameWidth);
      }
      break;
    case Key::kMonthAbbreviations:
      for (size_t i = 0; i < 12 && i < items.size(); ++i) {
        if (!items[i].empty())
          locale->month_abbreviations[i] = Cut(items[i], kMonthAbbreviationWidth);
      }
      break;
    case Key::kAmPm:
      if (EqualsNoCase(item(0), "WINDOWS")) {
        locale->am_text = Cut(locale->regional.s1159, 2);
        locale->pm_text = Cut(locale->regional.s2359, 2);
      } else {
        if (!items.empty()) locale->am_text = Cut(item(0), 2);
        if (items.size() > 1) locale->pm_text = Cut(item(1), 2);
      }
      break;
    case Key::kDigraphs:
      locale->digraphs.clear();
      for (const auto& entry_list : items) {
        for (const auto& entry : ParseSettingsValue(entry_list, true)) {
          if (entry.size() < 3 || locale->digraphs.size() >= kMaxDigraphs) continue;
          locale->digraphs.push_back({entry[0], entry[1], entry[2]});
        }
      }
      break;
    case Key::kButtons:
      for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].empty())
          locale->button_texts[kFirstButtonText + static_cast<int32_t>(i)] = items[i];
      }
      break;
    case Key::kDueSoonDays: {
      // A value that is no whole number from 0 to 3660 keeps the default
      // rather than silently switching the reminder off.
      std::string text = item(0);
      int32_t days = -1;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), days);
      if (!text.empty() && ec == std::errc() && end == text.data() + text.size() && days >= 0 &&
          days <= kMaxDueSoonDays) {
        locale->due_soon_days = days;
      }
      break;
    }
    case Key::kNetworkFiles: {
      // A value not understood keeps the automatic choice (or an earlier
      // line's): the careful path is never switched off by a typing error.
      env::NetworkFilesSetting setting;
      if (env::ParseNetworkFilesSetting(item(0), &setting)) env::SetNetworkFilesSetting(setting);
      break;
    }
    case Key::kMessage:
      files::Errors().SetReplacementText(message_number, item(0));
      break;
    case Key::kUnknown:
      break;
  }
}

// line := key "=" value (see the header); lines without "=" are ignored.
void ApplyLine(std::string_view line, Locale* locale) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  std::string key;
  for (char c : line.substr(0, equals)) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7f) continue;
    if (key.size() < kMaxKeyLength) key += c;
  }
  std::string_view value = line.substr(equals + 1);
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.remove_suffix(1);
  if (value.size() > kMaxValueLength) value = value.substr(0, kMaxValueLength);
  int32_t message_number = 0;
  Key kind = Classify(key, &message_number);
  if (kind != Key::kUnknown) ApplyKey(kind, message_number, value, locale);
}

}  // namespace

std::vector<std::string> ParseSettingsValue(std::string_view value, bool commas_separate) {
  size_t at = value.find_first_not_of(' ');
  if (at == std::string_view::npos) return {""};
  value = value.substr(at);
  std::vector<std::string> items;
  if (value.front() != '"') {
    if (!commas_separate) return {std::string(value)};
    size_t start = 0;
    while (true) {
      size_t comma = value.find(',', start);
      items.emplace_back(value.substr(start, comma == std::string_view::npos ? value.npos
                                                                               : comma - start));
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    return items;
  }
  // list := quoted_item { blanks "," blanks item }; an item after a comma
  // that does not start with a quote runs to the next comma.
  at = 0;
  while (true) {
    std::string item;
    if (at < value.size() && value[at] == '"') {
      at = ParseQuotedItem(value, at, &item);
      // Anything between the closing quote and the next comma is noise.
      size_t comma = value.find(',', at);
      items.push_back(std::move(item));
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    } else {
      size_t comma = value.find(',', at);
      items.emplace_back(value.substr(at, comma == std::string_view::npos ? value.npos
                                                                            : comma - at));
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    }
    while (at < value.size() && value[at] == ' ') ++at;
  }
  return items;
}

void ApplySettingsText(std::string_view text, Locale* locale) {
  if (size_t end = text.find(kCtrlZ); end != std::string_view::npos) text = text.substr(0, end);
  size_t start = 0;
  while (start < text.size()) {
    size_t newline = text.find('\n', start);
    size_t end = newline == std::string_view::npos ? text.size() : newline;
    ApplyLine(text.substr(start, end - start), locale);
    start = end + 1;
  }
}

std::string SettingsFilePath(std::string_view program_path) {
  size_t slash = program_path.rfind('/');
  std::string folder(slash == std::string_view::npos ? "" : program_path.substr(0, slash + 1));
  std::string_view name =
      slash == std::string_view::npos ? program_path : program_path.substr(slash + 1);
  if (size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0)
    name = name.substr(0, dot);
  if (EqualsNoCase(name, "WINDOWS")) return "";
  std::string upper(name);
  std::string lower(name);
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  const std::string candidates[] = {folder + upper + ".ENV", folder + lower + ".env",
                                    folder + std::string(name) + ".ENV"};
  for (const auto& candidate : candidates) {
    if (access(candidate.c_str(), F_OK) == 0) return candidate;
  }
  return candidates[0];
}

bool LoadSettingsFile(const std::string& path, Locale* locale) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) close(fd);
    files::Errors().Post(files::kFileNotFound);
    return false;
  }
  std::string text;
  char buffer[4096];
  while (text.size() < kMaxFileSize) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  ApplySettingsText(text, locale);
  return true;
}

}  // namespace vorsandt::format
