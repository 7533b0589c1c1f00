#include "runtime/format/regional.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <string>

#include "runtime/format/charset.h"

namespace vorsandt::format {
namespace {

bool IsPlainCLocale(std::string_view name) {
  return name.empty() || name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

// The name the C library would use for LC_TIME.
std::string TimeLocaleName() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

// Reads the time format for the clock kind, leading zero and separator.
void ReadTimeFormat(std::string_view format, RegionalSettings* settings) {
  for (size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] != '%') continue;
    size_t at = i + 1;
    bool no_padding = false;
    if (format[at] == '-' || format[at] == '_') {
      no_padding = true;
      if (++at >= format.size()) return;
    }
    char conversion = format[at];
    switch (conversion) {
      case 'H':
      case 'k':
      case 'I':
      case 'l': {
        settings->i_time = (conversion == 'H' || conversion == 'k') ? 1 : 0;
        settings->i_tlzero = (no_padding || conversion == 'k' || conversion == 'l') ? 0 : 1;
        if (at + 1 < format.size() && format[at + 1] != '%') settings->s_time = format[at + 1];
        return;
      }
      case 'T':
      case 'R':
        settings->i_time = 1;
        settings->i_tlzero = 1;
        settings->s_time.assign(1, ':');
        return;
      case 'r':
        settings->i_time = 0;
        settings->i_tlzero = 1;
        settings->s_time.assign(1, ':');
        return;
      default:
        i = at;
        break;
    }
  }
}

// Turns a strftime date form into the regional form (d, M, y letters; other
// letters quoted). Returns an empty text when no date part was found.
std::string ReadDateFormat(std::string_view format) {
  std::string out;
  bool found = false;
  // Letters outside conversions are quoted (a run of them in one pair of
  // quotes) so they are not read as date parts; a quote is doubled.
  bool in_quotes = false;
  auto literal = [&out, &in_quotes](char c) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (letter != in_quotes) {
      out += '\'';
      in_quotes = letter;
    }
    if (c == '\'') out += "''";
    else out += c;
  };
  auto close_quotes = [&out, &in_quotes] {
    if (in_quotes) out += '\'';
    in_quotes = false;
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      literal(format[i]);
      continue;
    }
    close_quotes();
    size_t at = i + 1;
    bool no_padding = false;
    if ((format[at] == '-' || format[at] == '_') && at + 1 < format.size()) {
      no_padding = true;
      ++at;
    }
    i = at;
    switch (format[at]) {
      case 'd': out += no_padding ? "d" : "dd"; found = true; break;
      case 'e': out += "d"; found = true; break;
      case 'm': out += no_padding ? "M" : "MM"; found = true; break;
      case 'b':
      case 'h': out += "MMM"; found = true; break;
      case 'B': out += "MMMM"; found = true; break;
      case 'y': out += "yy"; found = true; break;
      case 'Y': out += "yyyy"; found = true; break;
      case 'a': out += "ddd"; break;
      case 'A': out += "dddd"; break;
      case 'D': out += "MM/dd/yy"; found = true; break;
      case 'F': out += "yyyy-MM-dd"; found = true; break;
      case '%': out += '%'; break;
      default: break;  // conversions that show no date part
    }
  }
  close_quotes();
  return found ? out : std::string();
}

// The long form follows the short form's order with the month's name.
std::string LongFormFor(std::string_view short_form) {
  std::string order;
  bool quoted = false;
  for (char c : short_form) {
    if (c == '\'') quoted = !quoted;
    if (quoted || (c != 'd' && c != 'M' && c != 'y')) continue;
    if (order.find(c) == std::string::npos) order += c;
  }
  if (order == "dMy") return "dd' 'MMMM' 'yyyy";
  if (order == "yMd") return "yyyy' 'MMMM' 'dd";
  return "";
}

}  // namespace

RegionalSettings RegionalFromLangInfo(const LangInfo& info) {
  RegionalSettings settings;
  ReadTimeFormat(info.time_format, &settings);
  if (!info.am.empty()) settings.s1159 = std::string(info.am);
  if (!info.pm.empty()) settings.s2359 = std::string(info.pm);
  std::string short_form = ReadDateFormat(info.date_format);
  if (!short_form.empty()) {
    settings.short_date = short_form;
    std::string long_form = LongFormFor(short_form);
    if (!long_form.empty()) settings.long_date = long_form;
  }
  return settings;
}

RegionalSettings ReadRegionalSettings() {
  if (IsPlainCLocale(TimeLocaleName())) return RegionalSettings();
  locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return RegionalSettings();
  const char* codeset = nl_langinfo_l(CODESET, loc);
  auto ansi = [codeset](const char* text) { return ToAnsi(text ? text : "", codeset); };
  std::string time_format = ansi(nl_langinfo_l(T_FMT, loc));
  std::string date_format = ansi(nl_langinfo_l(D_FMT, loc));
  std::string am = ansi(nl_langinfo_l(AM_STR, loc));
  std::string pm = ansi(nl_langinfo_l(PM_STR, loc));
  freelocale(loc);
  return RegionalFromLangInfo({time_format, date_format, am, pm});
}

}  // namespace vorsandt::format
