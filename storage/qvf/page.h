// A page in memory and its on-disk image.
//
// In memory a page is its level and its entries in ascending key order (a
// sorted vector: pages hold at most a few hundred entries, and the vector
// gives search by key and by position). On disk it is the 13-byte page header,
// the child unit numbers (non-leaf pages), and the entry area — each entry as
// a flags byte, optional 16-bit total and key-part lengths, and the bytes it
// does not share with the previous entry — compressed when that saves a whole
// 256-byte unit, padded with 0xB0 to the page's class.
#ifndef VORSANDT_STORAGE_QVF_PAGE_H_
#define VORSANDT_STORAGE_QVF_PAGE_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::qvf {

struct Entry {
  std::string bytes;        // key part followed by data part
  uint16_t key_length = 0;  // leading bytes that take part in ordering
  int64_t child = 0;        // non-leaf pages: child unit (negative = provisional)

  std::string_view Key() const { return std::string_view(bytes).substr(0, key_length); }
};

// Length of the common prefix of a and b, at most `n` bytes (both hold at
// least n). Eight bytes at a time: keys of one page, and the keys a tree
// search compares, share long prefixes (table, kind, leading key fields),
// where a call to memcmp per comparison cost more than the comparison.
inline size_t CommonPrefix(const char* a, const char* b, size_t n) {
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= n; i += 8) {
      uint64_t x, y;
      std::memcpy(&x, a + i, 8);
      std::memcpy(&y, b + i, 8);
      if (x != y) return i + static_cast<size_t>(std::countr_zero(x ^ y)) / 8;
    }
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Orders key parts: bytewise unsigned over the shorter length, then the
// shorter first. Returns <0, 0 or >0.
inline int CompareKeys(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const size_t i = CommonPrefix(a.data(), b.data(), n);
  if (i < n) {
    return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

struct PageData {
  int level = 0;  // 0 leaf
  std::vector<Entry> entries;

  // 13 + 4*count (non-leaf only) + sum(length + 5).
  uint32_t Estimate() const;
  // Index of the first entry whose key part is >= `key` (entries.size() when none).
  size_t LowerBound(std::string_view key) const;
  // Index of the last entry whose key part is <= `key`, or -1 when none.
  long LastNotGreater(std::string_view key) const;
};

// Builds the image of `page` for the page at `unit` (its own address is set
// from it; pass 0 to size an image only). Non-leaf child numbers must be real
// (non-negative) unless only the size is wanted. `*image` receives the
// padded image (a whole number of units). Returns 0 or a check number
// (internal_error.h): the encoded size exceeds the estimate, or the padded
// image exceeds 15104 bytes.
int EncodePage(const PageData& page, uint32_t unit, std::string* image);

// Decodes the image of a page read as `size` bytes (class*256) from the page
// at `unit`. Returns 0 or a check number: stored size that does not round to
// `size`, own address not the unit's home, expanded size or entries that do
// not decode, keys out of order or duplicated, estimate field wrong.
int DecodePage(const uint8_t* data, size_t size, uint32_t unit, PageData* page);

// The stored size field of an image (the bytes that carry data).
inline uint16_t StoredSizeOf(const std::string& image) {
  return static_cast<uint16_t>(static_cast<uint8_t>(image[4]) |
                               (static_cast<uint8_t>(image[5]) << 8));
}

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_PAGE_H_
