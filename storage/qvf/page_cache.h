// The page cache of one container.
//
// Pages are found through a hash index keyed by unit number. Dirty pages sit
// on the dirty list and are never evicted. Clean pages sit on the clean list
// in order of last use. Every use of a page advances an access counter; each
// clean page remembers the counter when it was loaded and when it was last
// used. Before a page is fetched from the file, clean pages are evicted from
// the least recently used end: none while fewer than 20 are held; with 100 or
// more the oldest unconditionally; otherwise the oldest when
// (counter - its last use) >= 4 * ((counter - its load) / clean pages), and
// eviction stops at the first page that does not qualify.
//
// An evicted clean page is not thrown away at once: it goes, still decoded,
// to the retired list, a second tier bounded by memory (all caches of the
// process together hold at most RetiredBudget() bytes, 64 MiB unless set:
// about half the decoded pages of a 100,000-row table; the cache that goes
// over drops its own oldest retired pages). A fetch of a retired page takes
// it back instead of reading and decoding the file again; it then counts as
// loaded now, exactly like a page read from the file. Retired pages are the
// file's current content: a unit's content only changes through a page of
// the first tier (dirty pages are never retired), and the retired list is
// dropped with everything else when another writer's save makes the cache
// stale (Clear).
#ifndef VORSANDT_STORAGE_QVF_PAGE_CACHE_H_
#define VORSANDT_STORAGE_QVF_PAGE_CACHE_H_

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "storage/qvf/page.h"
#include "storage/qvf/unit_index.h"

namespace vorsandt::qvf {

struct Page {
  int64_t unit = 0;  // negative: provisional, not yet placed in the file
  PageData data;
  bool dirty = false;
  bool retired = false;  // on the retired list (not found by Find)
  // A parked leaf holds its encoded image (own address of unit 0) and its
  // first key part instead of decoded entries; `data` is empty meanwhile.
  bool parked = false;
  std::string image;
  std::string first_key;
  // The image placement encoded to find this page's size class during the
  // save numbered `placed_in` (own address of unit 0; the save writes it
  // with its own address and child numbers set as they are then).
  std::string placed_image;
  uint64_t placed_in = 0;
  size_t footprint = 0;  // bytes held, counted while retired
  // PageFootprint of the page as it is, 0 when not known: a clean page goes
  // back and forth between the tiers unchanged, and counting its entries
  // again on every retirement cost more than the move.
  size_t known_footprint = 0;
  uint64_t loaded_at = 0;
  uint64_t used_at = 0;
  std::list<Page*>::iterator pos;  // in the clean, dirty or retired list
};

// Bytes of memory a page holds (its entries and their heap buffers, or its
// parked image).
size_t PageFootprint(const Page& page);

// Parking. A transaction that changes many pages would hold all of them
// decoded until its save; the least recently used dirty leaves beyond a limit
// are therefore kept encoded (the image the save will write, compressed as on
// disk) and decoded again when used. The save writes a parked page's image
// as it is, with its own address set, so parking costs one encoding that the
// save would have done anyway. Only leaves are parked: a non-leaf page's
// image holds child numbers that placement may still change.
//
// The limit is raised by the memory this cache's retired tier has given up
// since its changes began (RetiredBytesGivenUp): a transaction that changes
// pages it found retired takes them out of that tier, so keeping them
// decoded holds no more memory than the cache held before the transaction.
// What the extra decoded pages hold is lent to them out of the retired
// budget (Lend), so the retired pages and the loans of all caches together
// stay within it; the loan ends with the changes (a save or a discard).

class PageCache {
 public:
  static constexpr size_t kMinClean = 20;
  static constexpr size_t kMaxClean = 100;
  static constexpr size_t kDefaultRetiredBudget = 64u << 20;

  PageCache() = default;
  ~PageCache();
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;

  // The cached page for `unit`, or nullptr. Does not count as a use and does
  // not see retired pages.
  Page* Find(int64_t unit) const;
  // Counts a use of `page` (moves a clean page to the recently used end).
  void Touch(Page* page);
  // Adds a page (loaded or new); it counts as loaded and used now.
  Page* Add(int64_t unit, PageData data, bool dirty);
  // A retired page for `unit` taken back as a clean page (loaded and used
  // now), or nullptr when none is retired.
  Page* Revive(int64_t unit);
  // Applies the eviction rule; call before fetching a page from the file.
  void EvictBeforeFetch();

  void MarkDirty(Page* page);
  // Moves every dirty page to the clean list (after a save).
  void MarkAllClean();
  // Parks a decoded dirty leaf: `image` is its encoding for unit 0.
  void Park(Page* page, std::string image);
  // Decodes a parked page again. Returns 0 or the check of DecodePage.
  [[nodiscard]] int Unpark(Page* page);
  // The least recently used decoded dirty page, or nullptr.
  Page* ColdestDirty() const { return dirty_.empty() ? nullptr : dirty_.front(); }
  // Moves a decoded dirty page to the recently used end.
  void TouchDirty(Page* page) { dirty_.splice(dirty_.end(), dirty_, page->pos); }
  // Changes the unit a page is filed under.
  void Rekey(Page* page, int64_t unit);
  // Drops one page (it must not be used afterwards).
  void Remove(Page* page);
  // Drops everything, retired pages included.
  void Clear();

  // Every dirty page, decoded ones first.
  std::vector<Page*> DirtyPages() const;
  bool has_dirty() const { return !dirty_.empty() || !parked_.empty(); }
  size_t dirty_count() const { return dirty_.size() + parked_.size(); }
  size_t decoded_dirty_count() const { return dirty_.size(); }
  size_t parked_count() const { return parked_.size(); }
  size_t clean_count() const { return clean_.size(); }
  size_t size() const { return clean_.size() + dirty_count(); }
  size_t retired_count() const { return retired_.size(); }
  size_t retired_bytes() const { return retired_bytes_; }
  // Counts `bytes` of decoded dirty pages against the process's retired
  // budget in place of what was counted before for this cache.
  void Lend(size_t bytes);
  size_t lent_bytes() const { return lent_bytes_; }
  // How far the retired tier has shrunk since the first page of the current
  // changes was marked dirty (0 when it has not shrunk).
  size_t RetiredBytesGivenUp() const {
    return retired_when_changes_began_ > retired_bytes_
               ? retired_when_changes_began_ - retired_bytes_
               : 0;
  }
  uint64_t counter() const { return counter_; }

  // The memory all caches of the process may hold in retired pages; 0 turns
  // the retired tier off. Set it before opening files (tests, tools).
  static size_t RetiredBudget();
  static void SetRetiredBudget(size_t bytes);

 private:
  void Retire(Page* page);
  // Drops a retired page (erasing it from the index).
  void DropRetired(Page* page);
  // Drops the oldest retired pages while the process is over its budget.
  void TrimRetired();

  UnitIndex index_;
  std::list<Page*> clean_;
  std::list<Page*> dirty_;    // decoded dirty pages, least recently used first
  std::list<Page*> parked_;   // parked dirty pages
  std::list<Page*> retired_;  // oldest first
  size_t retired_bytes_ = 0;
  size_t retired_when_changes_began_ = 0;
  size_t lent_bytes_ = 0;
  uint64_t counter_ = 0;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_PAGE_CACHE_H_
