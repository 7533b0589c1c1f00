#include "runtime/format/charset.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <map>

namespace vorsandt::format {
namespace {

// Converts one code point to UTF-8.
void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string EncodeUtf8(char32_t cp) {
  std::string out;
  AppendUtf8(cp, &out);
  return out;
}

// Runs iconv over `in`; returns false when the conversion is not complete.
bool Convert(const char* to, const char* from, std::string_view in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buffer(in.size() * 4 + 16, '\0');
  char* in_ptr = const_cast<char*>(in.data());
  size_t in_left = in.size();
  char* out_ptr = buffer.data();
  size_t out_left = buffer.size();
  size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  bool ok = rc != static_cast<size_t>(-1) && in_left == 0;
  if (ok) ok = iconv(cd, nullptr, nullptr, &out_ptr, &out_left) != static_cast<size_t>(-1);
  iconv_close(cd);
  buffer.resize(buffer.size() - out_left);
  *out = std::move(buffer);
  return ok;
}

char32_t DecodeUcs4(const std::string& bytes) {
  if (bytes.size() != 4) return 0xFFFD;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  return (char32_t{b[0]} << 24) | (char32_t{b[1]} << 16) | (char32_t{b[2]} << 8) | b[3];
}

struct Tables {
  std::array<char32_t, 256> ansi_unicode{};
  std::array<char32_t, 256> oem_unicode{};
  std::map<char32_t, unsigned char> unicode_ansi;
  std::array<unsigned char, 256> oem_to_ansi{};
  std::array<unsigned char, 256> ansi_to_oem{};
  // The ANSI bytes that are the same byte in UTF-8 (ASCII, as iconv maps it).
  std::array<bool, 256> ansi_same_in_utf8{};

  Tables() {
    for (int c = 0; c < 256; ++c) {
      char byte = static_cast<char>(c);
      std::string out;
      ansi_unicode[c] = Convert("UCS-4BE", "WINDOWS-1252", {&byte, 1}, &out) ? DecodeUcs4(out)
                                                                              : char32_t(c);
      oem_unicode[c] = Convert("UCS-4BE", "CP437", {&byte, 1}, &out) ? DecodeUcs4(out)
                                                                     : char32_t(c);
      unicode_ansi.emplace(ansi_unicode[c], static_cast<unsigned char>(c));
    }
    for (int c = 0; c < 256; ++c) {
      char byte = static_cast<char>(c);
      std::string out;
      oem_to_ansi[c] = OneChar("WINDOWS-1252//TRANSLIT", "CP437", byte);
      ansi_to_oem[c] = OneChar("CP437//TRANSLIT", "WINDOWS-1252", byte);
    }
    for (int c = 0; c < 128; ++c) ansi_same_in_utf8[c] = ansi_unicode[c] == char32_t(c);
    // Identity where both sets agree, whatever iconv made of control codes.
    for (int c = 0; c < 128; ++c) {
      if (oem_unicode[c] == char32_t(c)) oem_to_ansi[c] = static_cast<unsigned char>(c);
      if (ansi_unicode[c] == char32_t(c)) ansi_to_oem[c] = static_cast<unsigned char>(c);
    }
  }

  static unsigned char OneChar(const char* to, const char* from, char byte) {
    std::string out;
    if (Convert(to, from, {&byte, 1}, &out) && out.size() == 1)
      return static_cast<unsigned char>(out[0]);
    return '?';
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

unsigned char OemToAnsi(unsigned char c) { return GetTables().oem_to_ansi[c]; }
unsigned char AnsiToOem(unsigned char c) { return GetTables().ansi_to_oem[c]; }

std::string OemToAnsiText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(OemToAnsi(static_cast<unsigned char>(c)));
  return out;
}

std::string AnsiToOemText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(AnsiToOem(static_cast<unsigned char>(c)));
  return out;
}

char32_t AnsiToUnicode(unsigned char c) { return GetTables().ansi_unicode[c]; }
char32_t OemToUnicode(unsigned char c) { return GetTables().oem_unicode[c]; }

int UnicodeToAnsi(char32_t code_point) {
  const auto& map = GetTables().unicode_ansi;
  auto it = map.find(code_point);
  return it == map.end() ? -1 : it->second;
}

std::string ToAnsi(std::string_view text, const char* from_codeset) {
  std::string out;
  if (Convert("WINDOWS-1252//TRANSLIT", from_codeset, text, &out)) return out;
  // Fall back to keeping plain ASCII and marking everything else.
  out.clear();
  for (char c : text) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
  return out;
}

std::string CodePointToUtf8(char32_t code_point) { return EncodeUtf8(code_point); }

std::string AnsiToUtf8(std::string_view text) {
  // Straight into one string: an export converts every text field of every
  // record.
  std::string out;
  out.reserve(text.size());
  const Tables& tables = GetTables();
  for (size_t i = 0; i < text.size();) {
    // A run of bytes that stay as they are goes in at once.
    size_t run = i;
    while (run < text.size() && tables.ansi_same_in_utf8[static_cast<unsigned char>(text[run])]) {
      ++run;
    }
    out.append(text.data() + i, run - i);
    if (run == text.size()) break;
    AppendUtf8(tables.ansi_unicode[static_cast<unsigned char>(text[run])], &out);
    i = run + 1;
  }
  return out;
}

}  // namespace vorsandt::format
