// The index of a page cache: unit number -> page, owning the pages.
//
// Every tree step looks a page up here, so the lookup is one hash and, as a
// rule, one probe into a flat array that holds the unit beside the page
// pointer (no node to chase, no division). Open addressing with linear
// probing over a power-of-two table kept at most half full; an erasure moves
// the later members of its run back instead of leaving a tombstone, so a
// lookup never walks over dead slots however many pages come and go.
#ifndef VORSANDT_STORAGE_QVF_UNIT_INDEX_H_
#define VORSANDT_STORAGE_QVF_UNIT_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vorsandt::qvf {

struct Page;

class UnitIndex {
 public:
  UnitIndex() = default;
  UnitIndex(const UnitIndex&) = delete;
  UnitIndex& operator=(const UnitIndex&) = delete;
  ~UnitIndex() { Clear(); }

  // The page filed under `unit`, or nullptr.
  Page* Find(int64_t unit) const {
    if (size_ == 0) return nullptr;
    for (size_t i = Home(unit);; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.page == nullptr) return nullptr;
      if (s.unit == unit) return s.page;
    }
  }
  // Files `page` under `unit`; a page already filed there is handed back.
  std::unique_ptr<Page> Put(int64_t unit, std::unique_ptr<Page> page);
  // Unfiles the page under `unit` and hands it back (nullptr when none).
  std::unique_ptr<Page> Take(int64_t unit);
  // Drops every page.
  void Clear();
  size_t size() const { return size_; }

 private:
  struct Slot {
    int64_t unit = 0;
    Page* page = nullptr;  // owned; nullptr marks an empty slot
  };
  size_t Home(int64_t unit) const {
    // Fibonacci hashing: units of one region step by their class, which a
    // plain mask would crowd into a few slots.
    return static_cast<size_t>((static_cast<uint64_t>(unit) * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  void Grow();

  std::vector<Slot> slots_;
  size_t mask_ = 0;
  int shift_ = 64;
  size_t size_ = 0;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_UNIT_INDEX_H_
