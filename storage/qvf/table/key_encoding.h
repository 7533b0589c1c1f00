// Key values as byte strings whose unsigned bytewise order is the order of
// the values, and the key entries a record contributes.
//
// A key entry of key k is: table id (4), k (1), the encoded components in key
// order (each exactly its field's size), the record number (4, big-endian).
// For a unique key the record number is the entry's data; for a key that
// allows duplicates it ends the key part, so equal values are ordered by
// record number and the data is empty.
#ifndef VORSANDT_STORAGE_QVF_TABLE_KEY_ENCODING_H_
#define VORSANDT_STORAGE_QVF_TABLE_KEY_ENCODING_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/qvf/table/definition.h"

namespace vorsandt::qvf {

struct KeyComponentLayout {
  uint8_t type = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
  bool descending = false;
};

struct KeyLayout {
  uint8_t number = 0;      // k
  uint8_t attributes = 0;  // kKeyAttr* bits
  std::vector<KeyComponentLayout> components;

  bool duplicates() const { return attributes & kKeyAttrDuplicates; }
  bool optional() const { return attributes & kKeyAttrOptional; }
  bool no_case() const { return attributes & kKeyAttrNoCase; }
  bool partial() const { return attributes & kKeyAttrPartial; }
  bool separate() const { return attributes & kKeyAttrSeparate; }
  // Bytes of the encoded value (sum of the component sizes).
  size_t ValueSize() const;
};

// The layouts of every key of a definition. Returns false when a component
// names a field that does not exist or lies outside the record.
bool KeyLayouts(const TableDefinition& def, std::vector<KeyLayout>* out);

// How string components are turned into bytes.
struct TextRule {
  bool no_case = false;  // upper-case through the locale's case table
  bool oem = false;      // the table keeps its text in the OEM set
  bool plain = false;    // leave out the collation sequence in force
};

// Encodes one component of `record` (which must hold offset + size bytes).
// The encoded bytes are appended to `out`.
void EncodeComponent(const KeyComponentLayout& c, const uint8_t* record, TextRule rule,
                     std::string* out);

// True when some component of `key` is text, whose encoding the case and
// collation rules change.
bool KeyEncodesText(const KeyLayout& key);

// What the encoding of the keys' text depends on: the locale's case table
// (case-insensitive keys) and collation weights, for a table kept in the OEM
// set or not. 0 when the locale in force encodes them as the built-in rules
// do (and always for keys without text components); otherwise a fingerprint
// of the byte mappings in force, equal for two locales exactly when (barring
// a 64-bit hash collision) they encode every text key value alike. Keys
// built under one value must never be maintained under another.
uint64_t KeyTextRules(const std::vector<KeyLayout>& keys, bool oem);

// True when `encoded` is exactly what EncodeComponent gives for `record`
// (without building it for a fixed string).
bool ComponentMatches(const KeyComponentLayout& c, const uint8_t* record, TextRule rule,
                      std::string_view encoded);

// The encoded value of the key for `record`: the components in order.
std::string EncodeKeyValue(const KeyLayout& key, const uint8_t* record, bool oem);

// True when the component is blank: all spaces (types 18, 22), first byte 0
// (types 19, 20), all bytes 0 (every other type).
bool ComponentIsBlank(const KeyComponentLayout& c, const uint8_t* record);
// True when every component is blank.
bool RecordIsBlank(const KeyLayout& key, const uint8_t* record);

struct KeyEntry {
  std::string key;   // key part
  std::string data;  // record number for a unique key, else empty
};

// The entry `record` contributes to `key`, or false when it contributes none
// (an optional key over an all-blank record).
bool MakeKeyEntry(uint32_t table, const KeyLayout& key, const uint8_t* record, uint32_t number,
                  bool oem, KeyEntry* out);

// The encoded value inside the key part of an entry of `key` (after the
// table id and key number, before the record number of a key with
// duplicates), or nothing when the key part is not of that key's size.
std::optional<std::string_view> KeyEntryValue(const KeyLayout& key, std::string_view key_part);

// The record number carried by a key entry of `key`.
uint32_t KeyEntryRecord(const KeyLayout& key, std::string_view key_part, std::string_view data);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_KEY_ENCODING_H_
