// The record layout descriptor: a byte stream telling a driver where each
// field of a record lies. LayoutBuilder writes it, ParseLayout reads it back.
//
// Stream grammar (offsets little-endian, relative to the enclosing group):
//   layout  := 0x16 entry* 0x00
//   entry   := 0x18 offset:u32 label:cstr (0x17 count:u32)* type
//   type    := 1..9 | 13 | 14                       (fixed-size numbers)
//            | (10 | 11) size:u8 places:u8          (packed decimal)
//            | (18 | 19 | 20) length:u32 text:cstr  (texts; 18 carries a picture)
//            | 22 entry* 0x00                       (nested group)
#ifndef VORSANDT_RUNTIME_FILES_LAYOUT_H_
#define VORSANDT_RUNTIME_FILES_LAYOUT_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::files {

// Field type codes; field_codec.h says how each is held and names them.
enum FieldType : uint8_t {
  kTypeByte = 1,
  kTypeShort = 2,
  kTypeUShort = 3,
  kTypeLongKind4 = 4,  // a 4-byte kind held as LONG
  kTypeLongKind5 = 5,  // a 4-byte kind held as LONG
  kTypeLong = 6,
  kTypeULong = 7,
  kTypeSReal = 8,
  kTypeDouble = 9,
  kTypeDecimal = 10,
  kTypePDecimal = 11,
  kTypeSRealKind13 = 13,  // a 4-byte kind held as SREAL
  kTypeRealKind14 = 14,   // an 8-byte kind held as REAL (a double)
  kTypeString = 18,
  kTypeCString = 19,
  kTypePString = 20,
  kTypeGroup = 22,
};

inline constexpr uint8_t kLayoutGroupCode = 0x16;
inline constexpr uint8_t kLayoutFieldMarker = 0x18;
inline constexpr uint8_t kLayoutDimensionMarker = 0x17;

struct FieldInfo {
  std::string name;            // e.g. "ITE:ITEM_CODE"
  uint32_t offset = 0;         // from the start of the record
  uint8_t type = 0;
  uint32_t size = 0;           // bytes of the whole field, dimensions included
  uint32_t element_count = 1;  // product of the dimensions
  uint8_t decimals = 0;        // packed decimals
  std::string picture;         // type 18: picture; 19/20: the declared text
  int depth = 0;               // nesting: 0 for fields of the record itself
  bool overlay = false;        // starts inside bytes already covered by earlier fields
};

// Size in bytes of one element of a fixed-size type, 0 for others.
uint32_t FixedTypeSize(uint8_t type);

class LayoutBuilder {
 public:
  LayoutBuilder();
  LayoutBuilder& Field(uint32_t offset, std::string_view name, uint8_t type);
  LayoutBuilder& Dimension(uint32_t count);  // before the type of the field it dimensions
  LayoutBuilder& Short(uint32_t offset, std::string_view name);
  LayoutBuilder& Long(uint32_t offset, std::string_view name);
  LayoutBuilder& Decimal(uint32_t offset, std::string_view name, uint8_t bytes, uint8_t places);
  LayoutBuilder& String(uint32_t offset, std::string_view name, uint32_t length,
                        std::string_view picture = {});
  // Opens a nested group; its members' offsets are relative to it.
  LayoutBuilder& BeginGroup(uint32_t offset, std::string_view name);
  LayoutBuilder& EndGroup();
  // Closes the record group and returns the stream.
  std::vector<uint8_t> Finish();

  // Low-level writers, also used by tests to build broken streams.
  LayoutBuilder& Byte(uint8_t b);
  LayoutBuilder& U32(uint32_t v);
  LayoutBuilder& Text(std::string_view s);

 private:
  std::vector<uint8_t> bytes_;
  bool pending_type_ = false;
};

// Parses a stream into its fields in declaration order (groups included, then
// their members). Returns 0, 75 for a malformed stream (no group code, an
// entry not starting with 0x18, a truncated stream) or 79 for an unknown type
// code. Never reads outside `stream`.
int32_t ParseLayout(std::span<const uint8_t> stream, std::vector<FieldInfo>* fields);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_LAYOUT_H_
