// The process-wide locale state: month names, AM/PM texts, the character set,
// case and collation tables, digraphs, replacement button captions and the
// date and time forms of the regional settings.
//
// It is loaded once at start (LoadLocale) before the application's first
// procedure runs, and read afterwards by pictures, the expression evaluator
// and the window engine through CurrentLocale(). Like the rest of the
// runtime's state it is only touched by the thread holding the run permission.
#ifndef VORSANDT_RUNTIME_FORMAT_LOCALE_H_
#define VORSANDT_RUNTIME_FORMAT_LOCALE_H_

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::format {

enum class CharacterSet { kAnsi, kOem };

// Character classes of the case table (bit flags).
enum CharClass : uint8_t {
  kClassNone = 0,
  kClassUpper = 1,
  kClassLower = 2,
  kClassDigit = 4,
};

// The operating system's regional settings, in the names and forms of the
// "intl" section. Texts are in the ANSI character set.
struct RegionalSettings {
  int i_time = 0;    // 0: 12-hour clock, 1: 24-hour clock
  int i_tlzero = 1;  // 1: hours with a leading zero
  std::string s_time = ":";
  std::string s1159 = "AM";
  std::string s2359 = "PM";
  std::string short_date = "MM/dd/yy";
  std::string long_date = "ddd', 'MMMM' 'dd', 'yyyy";
};

inline constexpr int kMonthNameWidth = 12;
inline constexpr int kMonthAbbreviationWidth = 3;
inline constexpr int kMaxDigraphs = 16;
inline constexpr int32_t kFirstButtonText = 32512;

struct Locale {
  Locale();

  std::array<std::string, 12> month_names;
  std::array<std::string, 12> month_abbreviations;
  std::string am_text = "AM";
  std::string pm_text = "PM";
  CharacterSet charset = CharacterSet::kAnsi;
  // Per character: its other-case partner (itself when it has none) and its
  // class.
  std::array<unsigned char, 256> case_partner{};
  std::array<uint8_t, 256> case_class{};
  // The upper-case (lower-case) form of a character: its partner when it is
  // a lower-case (upper-case) letter, otherwise itself.
  unsigned char UpperOf(unsigned char c) const {
    return (case_class[c] & kClassLower) != 0 ? case_partner[c] : c;
  }
  unsigned char LowerOf(unsigned char c) const {
    return (case_class[c] & kClassUpper) != 0 ? case_partner[c] : c;
  }
  // Collation weight per character, for text in each character set.
  std::array<uint8_t, 256> ansi_weights{};
  std::array<uint8_t, 256> oem_weights{};
  std::vector<std::array<char, 3>> digraphs;
  // Replacement captions by text number (32512 and up).
  std::map<int32_t, std::string> button_texts;
  RegionalSettings regional;
  // DUESOONDAYS: how many days ahead the reminder at start looks for services
  // and policies falling due; 0 switches the reminder off.
  int32_t due_soon_days = 30;
};
inline constexpr int32_t kMaxDueSoonDays = 3660;

// The locale in force. Starts with the built-in defaults.
const Locale& CurrentLocale();
Locale& MutableLocale();

// Restores every default, including the message replacement texts that the
// settings file gave to the error state.
void ResetLocale();

// The replacement caption for a standard button text number, if the settings
// file gave one.
std::optional<std::string> ButtonText(int32_t text_number);

// Loads the locale at start: the regional settings of the process locale,
// then the settings file beside the program (see settings_file.h).
// `program_path` is the program's own file (e.g. /proc/self/exe). Returns
// false when the settings file could not be read (error 2 is then posted and
// the defaults stay in force).
bool LoadLocale(const std::string& program_path);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_LOCALE_H_
