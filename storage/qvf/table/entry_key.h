// The kinds of entries a table keeps in its file, and their key parts.
//
// Every entry of a table starts with the 4-byte table id (big-endian, never
// starting with 0xFE or 0xFF), then a type byte, so that all entries of one
// table are contiguous in the file's tree and ordered: key entries by key
// number (0..), data records (0xF3) by record number, counters (0xF6),
// definition blocks (0xFA) and memo or blob chunks (0xFC). File-level
// entries start with their type byte: the table directory (0xFE) and the
// transaction marker (0xFF), after every table.
#ifndef VORSANDT_STORAGE_QVF_TABLE_ENTRY_KEY_H_
#define VORSANDT_STORAGE_QVF_TABLE_ENTRY_KEY_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vorsandt::qvf {

inline constexpr uint8_t kEntryData = 0xF3;
inline constexpr uint8_t kEntryCounter = 0xF6;
inline constexpr uint8_t kEntryDefinition = 0xFA;
inline constexpr uint8_t kEntryChunk = 0xFC;
inline constexpr uint8_t kEntryDirectory = 0xFE;
inline constexpr uint8_t kEntryMarker = 0xFF;
// Counter entry selector for the table's own record count.
inline constexpr uint8_t kTableCounter = kEntryData;
// Key numbers must stay below the first type byte.
inline constexpr int kMaxKeys = kEntryData;

inline constexpr size_t kDefinitionBlockSize = 512;
inline constexpr size_t kChunkSize = 256;
inline constexpr size_t kCounterDataSize = 8;

// Four bytes, big-endian.
std::string Id4(uint32_t v);
uint32_t ReadId4(std::string_view bytes);  // first four bytes; 0 when shorter

std::string DataKey(uint32_t table, uint32_t record);
std::string CounterKey(uint32_t table, uint8_t which);  // kTableCounter or key number
std::string DefinitionKey(uint32_t table, uint16_t block);
std::string ChunkKey(uint32_t table, uint32_t record, uint8_t field, uint16_t chunk);
std::string DirectoryKey(std::string_view table_name);
// The first bytes shared by every entry of one kind of a table (table id and
// type byte or key number).
std::string KindPrefix(uint32_t table, uint8_t type);

// Counter entry data: count and mark, little-endian.
struct Counter {
  uint32_t count = 0;
  uint32_t mark = 0;
};
std::string EncodeCounter(const Counter& c);
bool DecodeCounter(std::string_view data, Counter* c);

// What an entry key part is.
enum class EntryKind {
  kEmpty,       // the tree's empty entry
  kKey,         // key entry; `which` is the key number
  kData,        // data record; `record`
  kCounter,     // `which` is kTableCounter or a key number
  kDefinition,  // `block`
  kChunk,       // `record`, `field`, `block` (chunk number)
  kDirectory,   // `name`
  kMarker,
  kUnknown,  // malformed
};
struct EntryKeyInfo {
  EntryKind kind = EntryKind::kUnknown;
  uint32_t table = 0;
  uint8_t which = 0;
  uint32_t record = 0;
  uint8_t field = 0;
  uint16_t block = 0;
  std::string name;
};
// Decodes a key part. Key entries are recognised by their first five bytes
// only; their components need the table's definition.
EntryKeyInfo DecodeEntryKey(std::string_view key);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_ENTRY_KEY_H_
