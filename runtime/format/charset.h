// The two single-byte character sets of the program.
//
// Text in records, pictures and the locale tables is in the ANSI set
// (Windows-1252). The settings file may be written in the OEM set (code page
// 437) and is then converted. Conversions are made once, through iconv, into
// 256-entry tables; a character with no counterpart in the other set becomes
// the nearest transliteration iconv offers, or "?".
#ifndef VORSANDT_RUNTIME_FORMAT_CHARSET_H_
#define VORSANDT_RUNTIME_FORMAT_CHARSET_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vorsandt::format {

unsigned char OemToAnsi(unsigned char c);
unsigned char AnsiToOem(unsigned char c);
std::string OemToAnsiText(std::string_view text);
std::string AnsiToOemText(std::string_view text);

// The Unicode code point of an ANSI or OEM character. The five bytes that
// Windows-1252 leaves undefined map to the C1 control with the same number.
char32_t AnsiToUnicode(unsigned char c);
char32_t OemToUnicode(unsigned char c);
// The ANSI character for a code point, or -1 when there is none.
int UnicodeToAnsi(char32_t code_point);

// Converts text in the encoding `from_codeset` (an iconv name, e.g. the
// locale's codeset) to ANSI, transliterating where possible; characters that
// cannot be converted become "?".
std::string ToAnsi(std::string_view text, const char* from_codeset);
// One code point as UTF-8.
std::string CodePointToUtf8(char32_t code_point);
// ANSI text as UTF-8 (for the C library's collation).
std::string AnsiToUtf8(std::string_view text);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_CHARSET_H_
