// The field codec: how a typed field sits in a record's bytes. Every layer
// that reads or writes a record field goes through here (the evaluator's
// bound variables, the view engine, the window engine's record-field
// variables, the key encoder's field access and the storage tool), so that a
// type code means the same thing everywhere.
//
// Storage of the type codes (numbers little-endian, as the records hold them):
//   BYTE 1 u8; SHORT 2 i16; USHORT 3 u16; LONG 6 and its kinds 4, 5 i32;
//   ULONG 7 u32; SREAL 8 and kind 13 float; REAL 9 and kind 14 double;
//   DECIMAL 10 / PDECIMAL 11 packed decimal (below); STRING 18 blank padded;
//   CSTRING 19 NUL terminated; PSTRING 20 length byte first; GROUP 22.
//
// Packed decimal: a field of n bytes holds 2n-1 decimal digits, most
// significant first, one per nibble; the high nibble of the first byte is the
// sign (0 positive, any other value negative; 0xF is written). The decimal
// places belong to the field's declaration, not to its bytes.
#ifndef VORSANDT_RUNTIME_FILES_FIELD_CODEC_H_
#define VORSANDT_RUNTIME_FILES_FIELD_CODEC_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime/files/layout.h"

namespace vorsandt::files {

// The name of a type code as definitions and messages spell it ("ULONG",
// "SREAL"); the kinds 4, 5, 13 and 14 are named after the type they are held
// as, with their code ("LONG(4)"). Empty for a code that is no field type.
std::string_view TypeName(uint8_t type);
// The type code a window definition names in lower case ("ulong", "pdecimal").
std::optional<uint8_t> TypeFromName(std::string_view name);

bool IsTextType(uint8_t type);    // 18, 19, 20
bool IsPackedType(uint8_t type);  // 10, 11
bool IsWholeType(uint8_t type);   // 1-7: held as whole numbers
bool IsNumberType(uint8_t type);  // every type that holds a number
// A single value a user can see or type: numbers, packed decimals and texts
// (not groups nor the kinds 4, 5, 13 and 14 no table declares).
bool IsScalarType(uint8_t type);

// Where one value lies: its type, its bytes and, for packed decimals, its
// decimal places.
struct FieldBytes {
  uint8_t type = 0;
  uint8_t* at = nullptr;
  uint32_t size = 0;
  uint8_t places = 0;
};
inline FieldBytes BytesOf(const FieldInfo& f, uint8_t* record) {
  return {f.type, record + f.offset, f.element_count > 1 ? f.size / f.element_count : f.size,
          f.decimals};
}

// The number a numeric field holds; nullopt for texts, groups and unknown
// codes. Whole numbers up to 32 bits are exact in a double.
std::optional<double> ReadNumber(const FieldBytes& f);
// The text a text field holds: STRING as stored, CSTRING up to its NUL,
// PSTRING as many characters as its length byte says (at most size-1);
// nullopt for other types.
std::optional<std::string> ReadText(const FieldBytes& f);
// The same text as it lies in the record, without a copy.
std::optional<std::string_view> TextIn(const FieldBytes& f);

// What a numeric field does with a value it cannot hold.
enum class Overflow {
  kSaturate,  // store the nearest value the field can hold (NaN stores 0)
  kRefuse,    // leave the field as it was and return false
};
// Stores `value` (whole types rounded half away from zero). False for a
// refused value or a field that holds no number.
bool WriteNumber(const FieldBytes& f, double value, Overflow overflow);
// Stores `text` cut to the field: STRING blank padded, CSTRING and PSTRING
// padded with NUL bytes. False for a field that holds no text.
bool WriteText(const FieldBytes& f, std::string_view text);

// Packed decimal as a number. A nibble above 9 reads as 9 so that a damaged
// record still gives a finite number; an empty span is 0.
double ReadPackedDecimal(std::span<const uint8_t> bytes, int places);
// Stores `value` rounded to `places` decimals. Returns false (and stores the
// largest value of the field's sign) when the value needs more digits than
// the field has; NaN stores 0 and returns false.
bool WritePackedDecimal(double value, int places, std::span<uint8_t> bytes);

// Packed decimal as exact decimal text: "-12.30", "0.05", "7"; every place
// the field declares is shown. A damaged nibble above 9 reads as 9.
std::string PackedToText(std::span<const uint8_t> bytes, int places);
enum class PackedTextError { kNone, kBadNumber, kTooManyPlaces, kTooLarge };
// Stores decimal text (["-"] digit+ ["." digit+]; empty is 0) exactly; on an
// error the bytes are left as they were.
PackedTextError TextToPacked(std::string_view text, int places, std::span<uint8_t> bytes);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_FIELD_CODEC_H_
