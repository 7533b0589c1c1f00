// In-place conversion of record bytes between the OEM character set (code
// page 437) of text files declared with the OEM attribute and the ANSI set
// (Windows-1252) that records hold in memory. The tables are the program's
// own (runtime/format), so text files, tables and the settings file agree.
#ifndef VORSANDT_RUNTIME_TEXT_OEM_CHARSET_H_
#define VORSANDT_RUNTIME_TEXT_OEM_CHARSET_H_

#include <cstddef>
#include <cstdint>

namespace vorsandt::text {

void OemToAnsiInPlace(uint8_t* bytes, size_t length);
void AnsiToOemInPlace(uint8_t* bytes, size_t length);

}  // namespace vorsandt::text

#endif  // VORSANDT_RUNTIME_TEXT_OEM_CHARSET_H_
