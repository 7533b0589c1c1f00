// The OEM character set (code page 437) of text files declared with the OEM
// attribute, against the ANSI set (Windows-1252) that records hold in memory.
//
// Both directions are 256-entry tables built once through iconv. A character
// without a single-byte counterpart becomes "?"; when iconv cannot convert
// between the two sets at all the tables are the identity, so text passes
// through unchanged rather than being lost.
#ifndef VORSANDT_RUNTIME_TEXT_OEM_CHARSET_H_
#define VORSANDT_RUNTIME_TEXT_OEM_CHARSET_H_

#include <cstddef>
#include <cstdint>

namespace vorsandt::text {

// Converts `length` bytes in place.
void OemToAnsiInPlace(uint8_t* bytes, size_t length);
void AnsiToOemInPlace(uint8_t* bytes, size_t length);

unsigned char OemToAnsiChar(unsigned char c);
unsigned char AnsiToOemChar(unsigned char c);

}  // namespace vorsandt::text

#endif  // VORSANDT_RUNTIME_TEXT_OEM_CHARSET_H_
