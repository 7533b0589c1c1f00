// The operating system's regional settings, taken from the process locale.
#ifndef VORSANDT_RUNTIME_FORMAT_REGIONAL_H_
#define VORSANDT_RUNTIME_FORMAT_REGIONAL_H_

#include <string_view>

#include "runtime/format/locale.h"

namespace vorsandt::format {

// The locale's own descriptions, as nl_langinfo gives them (strftime forms),
// already converted to the ANSI set.
struct LangInfo {
  std::string_view time_format;  // T_FMT, e.g. "%H:%M:%S"
  std::string_view date_format;  // D_FMT, e.g. "%d.%m.%Y"
  std::string_view am;           // AM_STR
  std::string_view pm;           // PM_STR
};

// Translates the locale's descriptions into regional settings. Anything the
// locale leaves empty or that cannot be read keeps its default.
RegionalSettings RegionalFromLangInfo(const LangInfo& info);

// The regional settings of the process locale (LC_ALL, LC_TIME, LANG). The
// C and POSIX locales count as "no regional settings" and give the defaults.
RegionalSettings ReadRegionalSettings();

}  // namespace vorsandt::format

#endif  // VORSANDT_RUNTIME_FORMAT_REGIONAL_H_
