#include "runtime/format/locale.h"

#include "runtime/files/error_state.h"
#include "runtime/format/characters.h"
#include "runtime/format/collation.h"
#include "runtime/format/regional.h"
#include "runtime/format/settings_file.h"

namespace vorsandt::format {
namespace {

constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",
                                         "May",     "June",     "July",      "August",
                                         "September", "October", "November", "December"};

Locale& State() {
  static Locale locale;
  return locale;
}

}  // namespace

Locale::Locale() {
  for (int i = 0; i < 12; ++i) {
    month_names[i] = kMonthNames[i];
    month_abbreviations[i] = std::string(kMonthNames[i], 3);
  }
  SetDefaultCaseTable(this);
  SetCollationSequence(this, "");
}

const Locale& CurrentLocale() { return State(); }
Locale& MutableLocale() { return State(); }

void ResetLocale() {
  State() = Locale();
  files::Errors().ClearReplacementTexts();
}

std::optional<std::string> ButtonText(int32_t text_number) {
  const auto& texts = CurrentLocale().button_texts;
  auto it = texts.find(text_number);
  if (it == texts.end()) return std::nullopt;
  return it->second;
}

bool LoadLocale(const std::string& program_path) {
  ResetLocale();
  Locale& locale = MutableLocale();
  locale.regional = ReadRegionalSettings();
  std::string path = SettingsFilePath(program_path);
  if (path.empty()) return true;  // the name "WINDOWS" reads no file
  return LoadSettingsFile(path, &locale);
}

}  // namespace vorsandt::format
