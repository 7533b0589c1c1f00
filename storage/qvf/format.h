// Byte layout of a QVF file: the 512-byte file header, the page header, and
// the byte-order helpers.
//
// A QVF file is the header followed by 256-byte page units; unit n starts at
// 512 + 256*n (its home address). Integers are little-endian, except the id
// counter, identifiers, record numbers and encoded key values, which are
// big-endian so that bytewise order is numeric order. docs/format/qvf.md
// describes the bytes in prose.
#ifndef VORSANDT_STORAGE_QVF_FORMAT_H_
#define VORSANDT_STORAGE_QVF_FORMAT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vorsandt::qvf {

// --- File geometry ---
inline constexpr uint32_t kHeaderSize = 512;
inline constexpr uint32_t kUnitSize = 256;
inline constexpr int kMaxClass = 59;       // a page is 1..59 units
inline constexpr int kRegionCount = 60;    // regions 0..59; region 0 is always empty
inline constexpr uint32_t kMaxPageSize = kMaxClass * kUnitSize;  // 15104 (0x3B00)
// Every raw transfer is a whole multiple of this many bytes.
inline constexpr uint32_t kTransferGrain = 64;
inline constexpr uint32_t kNoRoot = 0xFFFFFFFFu;
inline constexpr char kMagic[4] = {'v', 'E', 'l', 'O'};

// --- File header offsets ---
inline constexpr size_t kHdrOwnAddress = 0;     // u32, always 0
inline constexpr size_t kHdrSize = 4;           // u16, 512
inline constexpr size_t kHdrLogStart = 6;       // u32 file offset
inline constexpr size_t kHdrLogEnd = 10;        // u32 file offset
inline constexpr size_t kHdrMagic = 14;         // 4 bytes "vElO"
inline constexpr size_t kHdrReserved = 18;      // u16, 0
inline constexpr size_t kHdrIdCounter = 20;     // u32 big-endian
inline constexpr size_t kHdrChangeCounter = 24; // u32
inline constexpr size_t kHdrRoot = 28;          // u32 unit, kNoRoot in a new file
inline constexpr size_t kHdrRegionStart = 32;   // u32 x 60
inline constexpr size_t kHdrRegionEnd = 272;    // u32 x 60
static_assert(kHdrRegionStart + 4 * kRegionCount == kHdrRegionEnd);
static_assert(kHdrRegionEnd + 4 * kRegionCount == kHeaderSize);
static_assert(kHeaderSize % kTransferGrain == 0 && kUnitSize % kTransferGrain == 0);

// --- Page header offsets ---
inline constexpr size_t kPgOwnAddress = 0;   // u32 home address
inline constexpr size_t kPgStoredSize = 4;   // u16
inline constexpr size_t kPgExpandedSize = 6; // u16
inline constexpr size_t kPgEstimate = 8;     // u16
inline constexpr size_t kPgCount = 10;       // u16
inline constexpr size_t kPgLevel = 12;       // u8
inline constexpr size_t kPageHeaderSize = 13;
inline constexpr uint8_t kPadByte = 0xB0;
// The header's first six bytes have the shape of a page header (own address
// 0, size 512), so a logged header is walked like a logged page.
static_assert(kHdrOwnAddress == kPgOwnAddress && kHdrSize == kPgStoredSize);

// --- Entries and splitting ---
// An entry is shorter than this many bytes.
inline constexpr size_t kEntryLimit = 15094;
// A page is split when its estimate exceeds kSplitSize, or exceeds
// kSplitSmallSize while it holds more than kSplitSmallCount entries.
inline constexpr uint32_t kSplitSize = 15094;
inline constexpr uint32_t kSplitSmallSize = 4096;
inline constexpr uint32_t kSplitSmallCount = 20;
// Per-entry overhead counted by the size estimate: a flags byte and two
// 16-bit lengths.
inline constexpr uint32_t kEntryOverhead = 5;
// The longest entry a leaf page can hold alone without exceeding the split
// limit (13 + 5 + 15076 = 15094), and the longest key part a non-leaf page
// can hold as its only separator (13 + 4 + 5 + 15072 = 15094).
inline constexpr size_t kMaxEntryLength = kSplitSize - kPageHeaderSize - kEntryOverhead;
inline constexpr size_t kMaxKeyLength = kMaxEntryLength - 4;
static_assert(kMaxEntryLength == 15076 && kMaxEntryLength < kEntryLimit);

// --- Lock area: byte-range locks far beyond the data (nothing is stored there) ---
inline constexpr uint64_t kLockBase = 0x80000000ull;        // reader byte: kLockBase + slot
inline constexpr uint64_t kWriterLockLength = 0x3FF;         // writer: [kLockBase, +1023)
inline constexpr uint64_t kItemLockBase = 0x80000400ull;     // table/record: base + v + 1

// --- Entry flags ---
inline constexpr uint8_t kFlagTotalLength = 0x80;
inline constexpr uint8_t kFlagKeyLength = 0x40;
inline constexpr uint8_t kSharedMask = 0x3F;

// --- Byte order ---
inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t GetU32Big(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU32Big(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
// Big-endian four bytes as a string (identifiers, record numbers in keys).
std::string BigEndian32(uint32_t v);

inline constexpr uint64_t HomeAddress(uint32_t unit) {
  return kHeaderSize + static_cast<uint64_t>(kUnitSize) * unit;
}
// Units needed for `bytes` (rounded up).
inline constexpr uint32_t UnitsFor(uint32_t bytes) { return (bytes + kUnitSize - 1) / kUnitSize; }

// The file header in memory.
struct FileHeader {
  uint32_t log_start = kHeaderSize;
  uint32_t log_end = kHeaderSize;
  std::array<uint8_t, 4> id_counter{};  // big-endian on disk and here
  uint32_t change_counter = 0;
  uint32_t root = kNoRoot;
  std::array<uint32_t, kRegionCount> start{};
  std::array<uint32_t, kRegionCount> end{};

  // File offset just past the last unit of the highest non-empty region (512
  // when all are empty).
  uint64_t EndOfData() const;
  // The class c whose region holds `unit`, or 0 when no region does.
  int ClassOf(uint32_t unit) const;
  // Pages held by region c.
  uint32_t PageCount(int c) const { return (end[c] - start[c]) / c; }
  bool LogPending() const { return log_start != log_end; }
};

// Serialises `h` into 512 bytes.
void EncodeHeader(const FileHeader& h, uint8_t* out);

// Parses 512 bytes. Returns 0, or a nonzero reason when the bytes are not a
// sound header (magic, size field, own address, region order and packing, root
// outside the regions, log pointers reversed); `*why` names the fault.
[[nodiscard]] int DecodeHeader(const uint8_t* in, FileHeader* h, std::string* why = nullptr);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_FORMAT_H_
