// What a read can tell about a stored record before it hands it out.
//
// The file format keeps no checksum of a record: bytes changed inside a
// record's image are seen only where the format itself constrains them. A
// read checks, per record:
//  - the image's length against the declared record length (table.cc);
//  - the digit nibbles of its packed decimal fields, which are 0-9 in every
//    image this system writes (the sign nibble may hold anything);
//  - its memo and blob chunks: every chunk but the last is full, a text
//    memo is no longer than declared, a blob's stored length is the length
//    of its chunks (table_memo.cc);
//  - when the read came through a key entry, that entry against the key
//    value the record gives: both were written together, so they differ
//    only when one of them was changed from outside.
// A record found unsound is refused with 36 (Invalid Data File) instead of
// being returned. Optionally (the tools' thorough reads), a read also looks
// up the record's entry in every key, which costs one search per key.
//
// What no check can see: a changed byte of a text or binary field that is
// in no key (or of one read in record order without the thorough reads), a
// changed number whose bytes are still a number, a changed memo byte.
#ifndef VORSANDT_STORAGE_QVF_TABLE_RECORD_CHECK_H_
#define VORSANDT_STORAGE_QVF_TABLE_RECORD_CHECK_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/key_encoding.h"

namespace vorsandt::qvf {

// One packed decimal value inside a record image.
struct PackedSpan {
  uint32_t offset = 0;
  uint32_t size = 0;
};
// The packed decimal values of a definition's records that a read checks.
// Fields that share their bytes with another field are left out: the other
// field's bytes need not be digits.
std::vector<PackedSpan> PackedSpansOf(const TableDefinition& def);
// True when every digit nibble of every span of `image` (stored form) is
// 0-9; the sign nibble (the high one of the first byte) may hold anything.
bool PackedFieldsSound(const std::vector<PackedSpan>& spans, std::string_view image);

// True when `value` (the encoded value of an entry of `key`) is the value
// `record` (buffer form) gives that key: each text component under the text
// rules in force or, failing that, under the plain byte order of text (keys
// built before a collation sequence was set).
bool KeyValueAgrees(const KeyLayout& key, std::string_view value, const uint8_t* record, bool oem);

// The encoded value of `key` for `record` under the plain byte order of text
// (no collation sequence): what EncodeKeyValue gives without one.
std::string EncodePlainKeyValue(const KeyLayout& key, const uint8_t* record, bool oem);

// Thorough reads: every read also finds the record's entry in every key it
// belongs to (one search per key). Off by default; the tools turn it on, so
// that a record-order export refuses a record whose key fields were changed.
void SetThoroughRecordChecks(bool on);
bool ThoroughRecordChecks();

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_RECORD_CHECK_H_
