// The page cache of one container.
//
// Pages are found through 100 hash buckets keyed by unit number modulo 100.
// Dirty pages sit on the dirty list and are never evicted. Clean pages sit on
// the clean list in order of last use. Every use of a page advances an access
// counter; each clean page remembers the counter when it was loaded and when
// it was last used. Before a page is fetched from the file, clean pages are
// evicted from the least recently used end: none while fewer than 20 are held;
// with 100 or more the oldest unconditionally; otherwise the oldest when
// (counter - its last use) >= 4 * ((counter - its load) / clean pages), and
// eviction stops at the first page that does not qualify.
#ifndef VORSANDT_STORAGE_QVF_PAGE_CACHE_H_
#define VORSANDT_STORAGE_QVF_PAGE_CACHE_H_

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "storage/qvf/page.h"

namespace vorsandt::qvf {

struct Page {
  int64_t unit = 0;  // negative: provisional, not yet placed in the file
  PageData data;
  bool dirty = false;
  uint64_t loaded_at = 0;
  uint64_t used_at = 0;
  std::list<Page*>::iterator pos;  // in the clean or the dirty list
};

class PageCache {
 public:
  static constexpr int kBuckets = 100;
  static constexpr size_t kMinClean = 20;
  static constexpr size_t kMaxClean = 100;

  PageCache() = default;
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;

  // The cached page for `unit`, or nullptr. Does not count as a use.
  Page* Find(int64_t unit) const;
  // Counts a use of `page` (moves a clean page to the recently used end).
  void Touch(Page* page);
  // Adds a page (loaded or new); it counts as loaded and used now.
  Page* Add(int64_t unit, PageData data, bool dirty);
  // Applies the eviction rule; call before fetching a page from the file.
  void EvictBeforeFetch();

  void MarkDirty(Page* page);
  // Moves every dirty page to the clean list (after a save).
  void MarkAllClean();
  // Changes the unit a page is filed under.
  void Rekey(Page* page, int64_t unit);
  // Drops one page (it must not be used afterwards).
  void Remove(Page* page);
  // Drops everything.
  void Clear();

  const std::list<Page*>& dirty() const { return dirty_; }
  size_t clean_count() const { return clean_.size(); }
  size_t size() const { return clean_.size() + dirty_.size(); }
  uint64_t counter() const { return counter_; }

 private:
  static size_t Bucket(int64_t unit) { return static_cast<size_t>(((unit % kBuckets) + kBuckets) % kBuckets); }
  std::unique_ptr<Page> Detach(Page* page);

  std::array<std::vector<std::unique_ptr<Page>>, kBuckets> buckets_;
  std::list<Page*> clean_;
  std::list<Page*> dirty_;
  uint64_t counter_ = 0;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_PAGE_CACHE_H_
