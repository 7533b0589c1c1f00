// Sequential reading of a table: the position modes and the search each one
// makes, over an abstract view of the table's data records and of the entries
// of the key that orders the sequence.
//
// Modes: 0 record-number order at the current record; 1 key order at the
// position entry; 2 start of record-number order; 3 record-number order at a
// given record number; 4 record-number order from the record found by a key
// value; 5 start of key order; 6 key order at a key value and record number;
// 7 key order at a key value; 8 key order at the record with a given number.
// A read in modes 2-4 leaves mode 0, in modes 5-8 mode 1; a read that finds
// nothing leaves the position as it was.
//
// Key parts of key entries are the key's prefix (table id, key number), the
// encoded key value and, for a key that allows duplicates, the record number
// (4 bytes, big-endian). A unique key's entry names its record in its data.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_SEQUENCE_H_
#define VORSANDT_STORAGE_QVF_DRIVER_SEQUENCE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "storage/qvf/table/entry_store.h"

namespace vorsandt::qvf {

enum PositionMode : int {
  kModeRecord = 0,
  kModeKey = 1,
  kModeRecordStart = 2,
  kModeRecordAt = 3,
  kModeRecordFromKeyValue = 4,
  kModeKeyStart = 5,
  kModeKeyAtValueAndRecord = 6,
  kModeKeyAtValue = 7,
  kModeKeyAtRecord = 8,
};

struct KeyHit {
  std::string key_part;
  uint32_t record = 0;
};

// What the sequence needs of a table. Status values are error codes.
class SequenceSource {
 public:
  virtual ~SequenceSource() = default;
  // The table's data records by number: exact, next after, previous before.
  [[nodiscard]] virtual int FindRecord(Search how, uint32_t number, std::optional<uint32_t>* out) = 0;
  // Entries of the ordering key: exact, next after, previous before a key
  // part. May return an entry of another key or kind; the caller checks the
  // prefix.
  [[nodiscard]] virtual int FindKey(Search how, std::string_view key_part, std::optional<KeyHit>* out) = 0;
  // The key part record `number` has in the ordering key; empty when the
  // record does not exist or has no entry (blank optional key).
  [[nodiscard]] virtual int KeyPartOf(uint32_t number, std::optional<std::string>* out) = 0;
};

struct SequencePosition {
  int mode = kModeRecordStart;
  std::string prefix;       // ordering key's table id and key number; empty: none
  bool duplicates = false;  // the ordering key's entries end in the record number
  uint32_t record = 0;      // current record (mode 0) or the given number (3, 6, 8)
  std::string value;        // encoded key value (modes 4, 6, 7)
  std::string entry;        // key part of the position entry (mode 1)

  bool keyed() const { return !prefix.empty(); }
};

struct SequenceHit {
  uint32_t record = 0;
  std::string key_part;  // empty in record-number order
};

// Runs the search of `pos.mode` in one direction without moving. `*out` is
// empty when there is no record that way.
[[nodiscard]] int FindInSequence(SequenceSource& source, const SequencePosition& pos, bool forward,
                   std::optional<SequenceHit>* out);
// Moves the position to a record found by FindInSequence.
void MoveTo(SequencePosition* pos, const SequenceHit& hit);
// Moves |n| records forward (n > 0) or backward without reading them; stops
// quietly at the end. `*moved` receives the number of records passed.
[[nodiscard]] int SkipInSequence(SequenceSource& source, SequencePosition* pos, int64_t n,
                   int64_t* moved = nullptr);

// Key part of the entry of value `value` and record `record` in a key with
// this prefix (the record number only for a key with duplicates).
std::string KeyPartFor(const SequencePosition& pos, std::string_view value, uint32_t record);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_SEQUENCE_H_
