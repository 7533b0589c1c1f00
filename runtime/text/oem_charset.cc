#include "runtime/text/oem_charset.h"

#include "runtime/format/charset.h"

namespace vorsandt::text {

void OemToAnsiInPlace(uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) bytes[i] = format::OemToAnsi(bytes[i]);
}

void AnsiToOemInPlace(uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) bytes[i] = format::AnsiToOem(bytes[i]);
}

}  // namespace vorsandt::text
