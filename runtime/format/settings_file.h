// The settings file: the program's name with the extension ".ENV", beside the
// program. Each line is KEY=VALUE; keys are matched without regard to case and
// unknown keys are ignored.
//
//   line  := key "=" value
//   key   := at most 31 characters; blanks and control characters dropped
//   value := at most 255 characters up to the end of the line
//   A Ctrl-Z character ends the file.
//
// A value is a list of double-quoted items ("a","b", with "" for a quote
// inside). A value that does not begin with a quote is a plain list whose
// commas separate items, except for ZORCOLSEQ and ZORMSG<n>, whose commas are
// ordinary characters.
#ifndef VORSANDT_RUNTIME_FORMAT_SETTINGS_FILE_H_
#define VORSANDT_RUNTIME_FORMAT_SETTINGS_FILE_H_

#include <string>
#include <string_view>
#include <vector>

#include "runtime/format/locale.h"

namespace vorsandt::format {

inline constexpr size_t kMaxKeyLength = 31;
inline constexpr size_t kMaxValueLength = 255;

// The items of one value (the list rules above). `commas_separate` is false
// for the keys whose commas are ordinary characters.
std::vector<std::string> ParseSettingsValue(std::string_view value, bool commas_separate);

// Applies settings text line by line to `locale`. Message replacement texts
// (ZORMSG<n>) go to the error state's replacement table.
void ApplySettingsText(std::string_view text, Locale* locale);

// The settings file for a program: in the program's folder, the program's
// file name with its extension replaced by ".ENV". The upper-case name is
// preferred; the lower-case name (".env") and the name as given are accepted
// too. Returns the upper-case candidate when none exists, and an empty text
// for the program name "WINDOWS" (which reads no file).
std::string SettingsFilePath(std::string_view program_path);

// Reads and applies the file. When it cannot be opened, error 2 is posted,
// `locale` is left as it was and false is returned.
bool LoadSettingsFile(const std::string& path, Locale* locale);

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_SETTINGS_FILE_H_
