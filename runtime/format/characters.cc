#include "runtime/format/characters.h"

#include <locale.h>
#include <wctype.h>

#include "runtime/format/charset.h"

namespace vorsandt::format {
namespace {

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

}  // namespace

char ToUpper(char c) { return static_cast<char>(CurrentLocale().UpperOf(Byte(c))); }

char ToLower(char c) { return static_cast<char>(CurrentLocale().LowerOf(Byte(c))); }

bool IsUpper(char c) { return CurrentLocale().case_class[Byte(c)] & kClassUpper; }
bool IsLower(char c) { return CurrentLocale().case_class[Byte(c)] & kClassLower; }
bool IsAlpha(char c) { return CurrentLocale().case_class[Byte(c)] & (kClassUpper | kClassLower); }
bool IsDigit(char c) { return CurrentLocale().case_class[Byte(c)] & kClassDigit; }

// The texts look the locale up once, not once per character: these run for
// every key value and every filtered record.
std::string ToUpperText(std::string_view text) {
  const Locale& locale = CurrentLocale();
  std::string out(text);
  for (char& c : out) c = static_cast<char>(locale.UpperOf(Byte(c)));
  return out;
}

std::string ToLowerText(std::string_view text) {
  const Locale& locale = CurrentLocale();
  std::string out(text);
  for (char& c : out) c = static_cast<char>(locale.LowerOf(Byte(c)));
  return out;
}

void SetDefaultCaseTable(Locale* locale) {
  for (int c = 0; c < 256; ++c) {
    locale->case_partner[c] = static_cast<unsigned char>(c);
    locale->case_class[c] = kClassNone;
  }
  for (int c = 'A'; c <= 'Z'; ++c) {
    locale->case_partner[c] = static_cast<unsigned char>(c - 'A' + 'a');
    locale->case_partner[c - 'A' + 'a'] = static_cast<unsigned char>(c);
    locale->case_class[c] = kClassUpper;
    locale->case_class[c - 'A' + 'a'] = kClassLower;
  }
  for (int c = '0'; c <= '9'; ++c) locale->case_class[c] = kClassDigit;
}

bool SetCasePairs(Locale* locale, std::string_view upper, std::string_view lower) {
  if (upper.size() != lower.size()) return false;
  SetDefaultCaseTable(locale);
  for (size_t i = 0; i < upper.size(); ++i) {
    unsigned char u = Byte(upper[i]);
    unsigned char l = Byte(lower[i]);
    // The ASCII letters and digits are fixed; only the upper half is open.
    if (u < 128 || l < 128 || u == l) continue;
    locale->case_partner[u] = l;
    locale->case_partner[l] = u;
    locale->case_class[u] = kClassUpper;
    locale->case_class[l] = kClassLower;
  }
  return true;
}

void SetSystemCasePairs(Locale* locale) {
  SetDefaultCaseTable(locale);
  // Case is a property of the characters themselves, so a Unicode-aware
  // C locale answers it whatever the user's language.
  locale_t ctype = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (ctype == static_cast<locale_t>(nullptr)) return;
  for (int c = 128; c < 256; ++c) {
    auto wc = static_cast<wint_t>(AnsiToUnicode(static_cast<unsigned char>(c)));
    if (!iswupper_l(wc, ctype)) continue;
    int lower = UnicodeToAnsi(static_cast<char32_t>(towlower_l(wc, ctype)));
    if (lower < 128 || lower == c) continue;
    locale->case_partner[c] = static_cast<unsigned char>(lower);
    locale->case_partner[lower] = static_cast<unsigned char>(c);
    locale->case_class[c] = kClassUpper;
    locale->case_class[lower] = kClassLower;
  }
  freelocale(ctype);
}

}  // namespace vorsandt::format
