// Character services of the locale: case conversion, letter and digit tests,
// and the builders of the case table.
#ifndef VORSANDT_RUNTIME_FORMAT_CHARACTERS_H_
#define VORSANDT_RUNTIME_FORMAT_CHARACTERS_H_

#include <string>
#include <string_view>

#include "runtime/format/locale.h"

namespace vorsandt::format {

char ToUpper(char c);
char ToLower(char c);
bool IsUpper(char c);
bool IsLower(char c);
bool IsAlpha(char c);
bool IsDigit(char c);
std::string ToUpperText(std::string_view text);
std::string ToLowerText(std::string_view text);

// The default table: A-Z and a-z partners, 0-9 digits, nothing above 127.
void SetDefaultCaseTable(Locale* locale);
// Pairs upper[i] with lower[i] for characters from 128 up. Returns false (and
// changes nothing) when the two texts differ in length.
bool SetCasePairs(Locale* locale, std::string_view upper, std::string_view lower);
// Every ANSI character above 127 that the system calls an upper-case letter
// becomes the partner of its lower-case form.
void SetSystemCasePairs(Locale* locale);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_CHARACTERS_H_
