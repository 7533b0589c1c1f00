// A table's definition as stored in its file: the definition stream.
//
// The stream is cut into 512-byte blocks kept in the table's definition
// entries. Items: byte; word (u16 little-endian); string (the characters and
// a 0 byte; empty is 00 00, absent is 00 01). Reading past the end yields
// zero bytes. Layout:
//   version:word record_length:word field_count:word memo_count:word
//   key_count:word
//   field*  := type:byte offset:word name:string elements:word size:word
//              attribute1:word attribute2:word
//              [digits:byte places:byte]             (types 10, 11)
//              [string_length:word picture:string]   (types 18, 19, 20)
//   memo*   := external:string name:string size:word flags:word
//   key*    := external:string name:string attributes:byte count:word
//              (field:word flags:word)*              (field 0-based; flag 1 descending)
//   [1:word rules:word*4]   the text rules the keys were built under
// Version 1; 2 when a memo is a blob. Versions above 2 are refused.
// The last item is written only when the keys' text rules are not the
// built-in ones (a fingerprint, low word first, see KeyTextRules). A stream
// without it reads as 0 there, so every file written before it existed, and
// every file built under the built-in rules, says "built-in rules"; readers
// that stop after the keys never see it.
#ifndef VORSANDT_STORAGE_QVF_TABLE_DEFINITION_H_
#define VORSANDT_STORAGE_QVF_TABLE_DEFINITION_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::files {
struct FileRecord;
}

namespace vorsandt::qvf {

inline constexpr uint16_t kMemoBinary = 0x02;
inline constexpr uint16_t kMemoBlob = 0x04;
inline constexpr uint16_t kComponentDescending = 0x01;
inline constexpr uint16_t kMaxDefinitionVersion = 2;

// Key attribute bits as stored.
inline constexpr uint8_t kKeyAttrDuplicates = 0x01;
inline constexpr uint8_t kKeyAttrOptional = 0x02;
inline constexpr uint8_t kKeyAttrNoCase = 0x04;
inline constexpr uint8_t kKeyAttrPartial = 0x20;
inline constexpr uint8_t kKeyAttrSeparate = 0x40;

using OptText = std::optional<std::string>;  // nullopt: an absent string

struct StoredField {
  uint8_t type = 0;
  uint16_t offset = 0;
  OptText name;
  uint16_t elements = 1;
  uint16_t size = 0;
  uint16_t attribute1 = 0;
  uint16_t attribute2 = 0;
  uint8_t digits = 0;  // types 10, 11
  uint8_t places = 0;
  uint16_t string_length = 0;  // types 18, 19, 20
  OptText picture;
};

struct StoredMemo {
  OptText external_name;
  OptText name;
  uint16_t size = 0;
  uint16_t flags = 0;  // kMemoBinary, kMemoBlob
};

struct StoredComponent {
  uint16_t field = 0;  // 0-based position in the field list
  uint16_t flags = 0;  // kComponentDescending
};

struct StoredKey {
  OptText external_name;
  OptText name;
  uint8_t attributes = 0;
  std::vector<StoredComponent> components;
};

struct TableDefinition {
  uint16_t version = 1;
  uint16_t record_length = 0;
  std::vector<StoredField> fields;
  std::vector<StoredMemo> memos;
  std::vector<StoredKey> keys;
  // The case and collation rules the keys were built under: 0 for the
  // built-in ones (KeyTextRules). Not part of the declaration: compare mode
  // ignores it.
  uint64_t key_rules = 0;

  // Recomputes the version from the memos.
  void SetVersion();
};

// Builds the definition of a declared file from its layout stream, keys and
// memos. Key components are field numbers from 1 in the layout's declaration
// order; a negative number marks a descending component. Returns 0, the
// layout parser's code (75, 79), or 47 when the declaration cannot be stored
// (a component outside the field list, more keys than the format allows,
// sizes beyond a word).
[[nodiscard]] int DefinitionFromDeclaration(const files::FileRecord& decl, TableDefinition* out);

// Write mode: the stream of `def`.
std::string EncodeDefinition(const TableDefinition& def);
// Read mode: decodes a stream. Returns false when the stored version is 0 or
// above 2 (`*out` then holds what was read).
bool DecodeDefinition(std::string_view stream, TableDefinition* out);

enum DefinitionMatch : int {
  kDefinitionSame = 0,
  kDefinitionNamesDiffer = 1,       // names, pictures or memo descriptions
  kDefinitionStructureDiffers = 2,  // a word, byte or component, or a bad version
};
// Compare mode: `stored` against the declared definition.
[[nodiscard]] int CompareDefinition(std::string_view stored, const TableDefinition& declared);

// The stream cut into blocks of 512 bytes (the last may be shorter; an empty
// stream gives no block).
std::vector<std::string> DefinitionBlocks(std::string_view stream);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_DEFINITION_H_
