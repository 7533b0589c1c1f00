// A page in memory and its on-disk image.
//
// In memory a page is its level and its entries in ascending key order: a
// table of slots (offset, lengths, child) and one block that holds the
// entries' bytes. A search by key runs over the slot table and that block
// only, a few contiguous allocations per page however many entries it holds;
// an entry per heap string made a binary search touch a separate heap block
// per comparison, and a decoded page take several times its disk size.
// Bytes of removed or replaced entries stay in the block as garbage until
// they come to half the live bytes; then the block is rewritten in slot
// order (invariants at the top of page.cc).
//
// On disk a page is the 13-byte page header, the child unit numbers
// (non-leaf pages), and the entry area — each entry as a flags byte,
// optional 16-bit total and key-part lengths, and the bytes it does not share
// with the previous entry — compressed when that saves a whole 256-byte
// unit, padded with 0xB0 to the page's class.
#ifndef VORSANDT_STORAGE_QVF_PAGE_H_
#define VORSANDT_STORAGE_QVF_PAGE_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "storage/qvf/format.h"

namespace vorsandt::qvf {

// An entry as its page holds it: views into the page, valid until the page
// changes.
struct EntryRef {
  std::string_view bytes;   // key part followed by data part
  uint16_t key_length = 0;  // leading bytes that take part in ordering
  int64_t child = 0;        // non-leaf pages: child unit (negative = provisional)

  std::string_view Key() const { return bytes.substr(0, key_length); }
};

// An entry of its own (what a search hands out as a copy).
struct Entry {
  std::string bytes;
  uint16_t key_length = 0;
  int64_t child = 0;

  Entry() = default;
  explicit Entry(const EntryRef& ref)
      : bytes(ref.bytes), key_length(ref.key_length), child(ref.child) {}
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

class PageData {
 public:
  int level = 0;  // 0 leaf

  size_t size() const { return slots_.size(); }
  bool empty() const { return slots_.empty(); }
  EntryRef At(size_t i) const {
    return EntryRef{BytesOf(slots_[i]), slots_[i].key_length, Child(i)};
  }
  std::string_view Bytes(size_t i) const { return BytesOf(slots_[i]); }
  std::string_view Key(size_t i) const { return KeyOf(slots_[i]); }
  int64_t Child(size_t i) const { return children_.empty() ? 0 : children_[i]; }
  void SetChild(size_t i, int64_t unit);

  // Changes invalidate every view into the page. `bytes` may be a view into
  // this page. Entries stay in key order only when the caller puts them there.
  void Insert(size_t i, std::string_view bytes, size_t key_length, int64_t child = 0);
  void Append(std::string_view bytes, size_t key_length, int64_t child = 0) {
    Insert(size(), bytes, key_length, child);
  }
  void Replace(size_t i, std::string_view bytes, size_t key_length);
  void Erase(size_t i);
  // Moves entries [from, size()) to the end of `to` (another page).
  void MoveTailTo(size_t from, PageData* to);
  // Exchanges the entries (not the levels) of two pages.
  void SwapEntries(PageData* other);
  // Removes every entry and gives the memory back.
  void Release();

  // 13 + 4*count (non-leaf only) + sum(length + 5): what the encoded page
  // may take at most, kept as entries change.
  uint32_t Estimate() const {
    const uint32_t n = static_cast<uint32_t>(slots_.size());
    return static_cast<uint32_t>(kPageHeaderSize) + (level > 0 ? 4 * n : 0) + live_bytes_ +
           kEntryOverhead * n;
  }
  // Heap bytes held (capacities, before the allocator's rounding).
  size_t SlotCapacityBytes() const { return slots_.capacity() * sizeof(Slot); }
  size_t ChildCapacityBytes() const { return children_.capacity() * sizeof(int64_t); }
  size_t BlockCapacity() const { return arena_.capacity(); }

  // Index of the first entry whose key part is >= `key` (size() when none).
  size_t LowerBound(std::string_view key) const;
  // Index of the last entry whose key part is <= `key`, or -1 when none.
  long LastNotGreater(std::string_view key) const;

 private:
  friend int DecodePage(const uint8_t* data, size_t size, uint32_t unit, PageData* page);
  // A leaf's entries have no children, and leaves are most pages: the child
  // numbers live beside the slots, only in pages that have some, so that a
  // slot takes 8 bytes and an insertion into a leaf moves half as much.
  struct Slot {
    uint32_t offset;
    uint16_t length;
    uint16_t key_length;
  };
  static_assert(sizeof(Slot) == 8);
  std::string_view BytesOf(const Slot& s) const {
    return std::string_view(arena_.data() + s.offset, s.length);
  }
  std::string_view KeyOf(const Slot& s) const {
    return std::string_view(arena_.data() + s.offset, s.key_length);
  }

  // Appends `bytes` to the block and returns their offset.
  uint32_t Store(std::string_view bytes);
  bool Aliases(std::string_view bytes) const {
    return !bytes.empty() && bytes.data() >= arena_.data() &&
           bytes.data() < arena_.data() + arena_.size();
  }
  void CompactIfWasteful();
  // Checks the invariants (page.cc) after a change of slot `i`.
  void CheckChange(size_t i) const;

  // Gives every entry a child number (0) so that one can be set.
  void MaterializeChildren() { children_.assign(slots_.size(), 0); }

  std::vector<Slot> slots_;
  // Empty (every child 0) or one child number per slot.
  std::vector<int64_t> children_;
  std::string arena_;        // entry bytes, live and garbage
  uint32_t live_bytes_ = 0;  // sum of the live entries' lengths
};

// Builds the image of `page` for the page at `unit` (its own address is set
// from it; pass 0 to size an image only). Non-leaf child numbers must be real
// (non-negative) unless only the size is wanted. `*image` receives the
// padded image (a whole number of units). Returns 0 or a check number
// (internal_error.h): the encoded size exceeds the estimate, or the padded
// image exceeds 15104 bytes.
[[nodiscard]] int EncodePage(const PageData& page, uint32_t unit, std::string* image);

// Decodes the image of a page read as `size` bytes (class*256) from the page
// at `unit`. Returns 0 or a check number: stored size that does not round to
// `size`, own address not the unit's home, expanded size or entries that do
// not decode, keys out of order or duplicated, estimate field wrong.
[[nodiscard]] int DecodePage(const uint8_t* data, size_t size, uint32_t unit, PageData* page);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_PAGE_H_
