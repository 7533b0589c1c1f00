#include "runtime/text/oem_charset.h"

#include <iconv.h>

#include <array>

namespace vorsandt::text {
namespace {

using Table = std::array<unsigned char, 256>;

// One byte through iconv; '?' unless it comes out as exactly one byte.
// Conversion descriptors are opened per table, so iconv's shift state never
// leaks from one character into the next (both sets are stateless anyway).
Table BuildTable(const char* to, const char* from) {
  Table table;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
    return table;
  }
  for (int c = 0; c < 256; ++c) {
    char in = static_cast<char>(c);
    char out[8];
    char* in_ptr = &in;
    char* out_ptr = out;
    size_t in_left = 1;
    size_t out_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    const size_t produced = sizeof out - out_left;
    table[c] = (rc != static_cast<size_t>(-1) && in_left == 0 && produced == 1)
                   ? static_cast<unsigned char>(out[0])
                   : static_cast<unsigned char>('?');
  }
  iconv_close(cd);
  return table;
}

const Table& OemToAnsiTable() {
  static const Table table = BuildTable("CP1252//TRANSLIT", "CP437");
  return table;
}

const Table& AnsiToOemTable() {
  static const Table table = BuildTable("CP437//TRANSLIT", "CP1252");
  return table;
}

}  // namespace

unsigned char OemToAnsiChar(unsigned char c) { return OemToAnsiTable()[c]; }
unsigned char AnsiToOemChar(unsigned char c) { return AnsiToOemTable()[c]; }

void OemToAnsiInPlace(uint8_t* bytes, size_t length) {
  const Table& t = OemToAnsiTable();
  for (size_t i = 0; i < length; ++i) bytes[i] = t[bytes[i]];
}

void AnsiToOemInPlace(uint8_t* bytes, size_t length) {
  const Table& t = AnsiToOemTable();
  for (size_t i = 0; i < length; ++i) bytes[i] = t[bytes[i]];
}

}  // namespace vorsandt::text
