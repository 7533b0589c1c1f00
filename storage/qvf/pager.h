// The container's pages in memory: the page cache, the pages made and freed
// since the last save, and the parking of cold changed leaves. What is read
// from the file, and where, is the container's; the pager only files what
// was read.
//
// Invariants (checked under VORSANDT_CHECKS; a violation is internal error
// kCheckPageState, answered by the container like any broken structure):
//
//  1. A provisional page (negative unit) is dirty from the moment it is made
//     until the save gives it a real unit. Provisional units are handed out
//     once each, counting down from -1, and the count starts again only when
//     no provisional page is left (after a save or once the cache is dropped).
//  2. A freed unit belongs to no cached page: the page leaves the cache as it
//     is freed, and its unit is reclaimed by the next save's placement.
//  3. Parking never changes what a save writes: a parked leaf keeps the image
//     its entries encode to, and comes back decoded before anyone reads it.
//  4. The bytes kept ahead (read at home past a missed page, for the misses
//     of a scan that follow) are the file's bytes of the state the cached
//     pages were read in: they are forgotten with the cache, at the end of a
//     save, and by the container before it writes anything.
#ifndef VORSANDT_STORAGE_QVF_PAGER_H_
#define VORSANDT_STORAGE_QVF_PAGER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/qvf/page_cache.h"

namespace vorsandt::qvf {

class Pager {
 public:
  static constexpr size_t kDefaultDecodedDirtyLimit = 4096;
  // The limit pagers take when opened (tools and benchmarks change it).
  static size_t DefaultDecodedDirtyLimit();
  static void SetDefaultDecodedDirtyLimit(size_t pages);

  // Forgets every page and takes the process's default limit (a new file).
  void Reset();
  // Forgets every page, the freed units and the provisional count.
  void Drop();
  // Forgets the freed units and the logged state of an ended save: every
  // page is clean and real from now on.
  void SaveDone();

  // The page at `unit` when cached and decoded (no use counted).
  Page* Peek(int64_t unit) const {
    Page* p = cache_.Find(unit);
    return p != nullptr && !p->parked ? p : nullptr;
  }
  // The cached page at `unit`, touched and decoded, or nullptr when not
  // cached. `*check` receives a failure (0 when none).
  Page* Cached(int64_t unit, int* check);
  // Before a read: makes room, and answers a page evicted to the retired
  // tier without reading (nullptr when it must be read).
  Page* Revived(int64_t unit, int* check);
  // Files a page just read from the file.
  Page* AddRead(int64_t unit, PageData data) { return cache_.Add(unit, std::move(data), false); }
  // A new empty page with the next provisional number; dirty. `*check`
  // receives a failure of invariant 1.
  Page* New(int level, int* check);
  void MarkDirty(Page* page) { cache_.MarkDirty(page); }
  // Removes a page that left the tree (invariant 2); 0 or the check.
  [[nodiscard]] int Free(Page* page);
  // The next provisional number, for a page that must leave its slot.
  int64_t TakeProvisional() { return next_provisional_--; }
  // Parks the least recently used dirty leaves beyond the decoded limit,
  // raised by the memory the retired tier gave up since the changes began
  // (see page_cache.h). Only while no Page pointer is held.
  void ParkCold();
  void SetDecodedDirtyLimit(size_t pages) { decoded_dirty_limit_ = pages; }

  // The `length` bytes at file offset `offset` when bytes kept ahead hold
  // all of them (invariant 4), or nullptr.
  const uint8_t* Ahead(uint64_t offset, size_t length);
  // Keeps `bytes`, read at `offset`, in place of the stretch used least
  // recently when kAheadStretches are kept already. A scan meets pages of
  // every size, each size in a region of its own, and a key's leaves lie
  // all over their region: 64 stretches of a read ahead (8 MB) let a scan
  // of a table of that size read each byte once.
  static constexpr size_t kAheadStretches = 64;
  void KeepAhead(uint64_t offset, std::string bytes);
  void DropAhead() { ahead_.clear(); }

  // Units of pages that left the tree since the last save.
  std::vector<uint32_t>& freed() { return freed_; }
  bool changed() const { return cache_.has_dirty() || !freed_.empty(); }
  PageCache& cache() { return cache_; }
  const PageCache& cache() const { return cache_; }

 private:
  // The decoded changed pages kept before parking starts.
  size_t DecodedDirtyLimit();

  PageCache cache_;
  std::vector<uint32_t> freed_;  // units of pages that left the tree
  int64_t next_provisional_ = -1;
  size_t decoded_dirty_limit_ = kDefaultDecodedDirtyLimit;
  size_t leaf_bytes_ = 0;  // running estimate of a decoded changed leaf's memory
  struct Stretch {
    uint64_t offset = 0;  // in the file, of bytes[0]
    uint64_t used = 0;    // when last used, by ahead_clock_
    std::string bytes;
  };
  std::vector<Stretch> ahead_;  // bytes kept ahead (invariant 4)
  uint64_t ahead_clock_ = 0;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_PAGER_H_
