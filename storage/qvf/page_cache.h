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
// process together hold at most RetiredBudget() bytes; the cache that goes
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
#include <unordered_map>
#include <vector>

#include "storage/qvf/page.h"

namespace vorsandt::qvf {

struct Page {
  int64_t unit = 0;  // negative: provisional, not yet placed in the file
  PageData data;
  bool dirty = false;
  bool retired = false;   // on the retired list (not found by Find)
  size_t footprint = 0;   // bytes held, counted while retired
  uint64_t loaded_at = 0;
  uint64_t used_at = 0;
  std::list<Page*>::iterator pos;  // in the clean, dirty or retired list
};

// Bytes of memory a decoded page holds (its entries and their heap buffers).
size_t PageFootprint(const Page& page);

class PageCache {
 public:
  static constexpr size_t kMinClean = 20;
  static constexpr size_t kMaxClean = 100;
  static constexpr size_t kDefaultRetiredBudget = 32u << 20;

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
  // Changes the unit a page is filed under.
  void Rekey(Page* page, int64_t unit);
  // Drops one page (it must not be used afterwards).
  void Remove(Page* page);
  // Drops everything, retired pages included.
  void Clear();

  const std::list<Page*>& dirty() const { return dirty_; }
  size_t clean_count() const { return clean_.size(); }
  size_t size() const { return clean_.size() + dirty_.size(); }
  size_t retired_count() const { return retired_.size(); }
  size_t retired_bytes() const { return retired_bytes_; }
  uint64_t counter() const { return counter_; }

  // The memory all caches of the process may hold in retired pages; 0 turns
  // the retired tier off. Set it before opening files (tests, tools).
  static size_t RetiredBudget();
  static void SetRetiredBudget(size_t bytes);

 private:
  using Index = std::unordered_map<int64_t, std::unique_ptr<Page>>;

  void Retire(Page* page);
  // Drops a retired page (erasing it from the index).
  void DropRetired(Index::iterator it);
  // Drops the oldest retired pages while the process is over its budget.
  void TrimRetired();

  Index index_;
  std::list<Page*> clean_;
  std::list<Page*> dirty_;
  std::list<Page*> retired_;  // oldest first
  size_t retired_bytes_ = 0;
  uint64_t counter_ = 0;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_PAGE_CACHE_H_
