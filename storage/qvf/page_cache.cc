#include "storage/qvf/page_cache.h"

#include <atomic>
#include <utility>

namespace vorsandt::qvf {
namespace {

// Retired bytes of every cache in the process, and the limit on them.
std::atomic<size_t> g_retired_total{0};
std::atomic<size_t> g_retired_budget{PageCache::kDefaultRetiredBudget};

// What the allocator hands out for a string buffer of `capacity` characters
// (the terminator and a word of bookkeeping, in 16-byte steps).
size_t HeapBlock(size_t capacity) { return ((capacity + 1 + 8 + 15) / 16) * 16; }

}  // namespace

size_t PageFootprint(const Page& page) {
  size_t bytes = sizeof(Page) + 64;  // the page, its index node and list node
  if (page.image.capacity() > 15) bytes += HeapBlock(page.image.capacity());
  if (page.first_key.capacity() > 15) bytes += HeapBlock(page.first_key.capacity());
  if (page.data.SlotCapacityBytes() > 0) bytes += HeapBlock(page.data.SlotCapacityBytes());
  if (page.data.ChildCapacityBytes() > 0) bytes += HeapBlock(page.data.ChildCapacityBytes());
  if (page.data.BlockCapacity() > 15) bytes += HeapBlock(page.data.BlockCapacity());
  return bytes;
}

size_t PageCache::RetiredBudget() { return g_retired_budget.load(std::memory_order_relaxed); }

void PageCache::SetRetiredBudget(size_t bytes) {
  g_retired_budget.store(bytes, std::memory_order_relaxed);
}

PageCache::~PageCache() { Clear(); }

Page* PageCache::Find(int64_t unit) const {
  Page* page = index_.Find(unit);
  return page == nullptr || page->retired ? nullptr : page;
}

void PageCache::Touch(Page* page) {
  page->used_at = ++counter_;
  if (!page->dirty) {
    clean_.splice(clean_.end(), clean_, page->pos);
  } else if (!page->parked) {
    dirty_.splice(dirty_.end(), dirty_, page->pos);
  }
}

Page* PageCache::Add(int64_t unit, PageData data, bool dirty) {
  // Only a retired copy can be in the way; the caller's page replaces it.
  if (Page* old = index_.Find(unit); old != nullptr && old->retired) DropRetired(old);
  if (dirty && !has_dirty()) retired_when_changes_began_ = retired_bytes_;
  auto page = std::make_unique<Page>();
  page->unit = unit;
  page->data = std::move(data);
  page->dirty = dirty;
  page->loaded_at = page->used_at = ++counter_;
  std::list<Page*>& list = dirty ? dirty_ : clean_;
  page->pos = list.insert(list.end(), page.get());
  Page* raw = page.get();
  index_.Put(unit, std::move(page));
  return raw;
}

Page* PageCache::Revive(int64_t unit) {
  Page* page = index_.Find(unit);
  if (page == nullptr || !page->retired) return nullptr;
  // Spliced, not erased and inserted: a page that is retired and revived
  // again and again (a scan wider than the clean list) costs no allocation.
  clean_.splice(clean_.end(), retired_, page->pos);
  retired_bytes_ -= page->footprint;
  g_retired_total.fetch_sub(page->footprint, std::memory_order_relaxed);
  page->retired = false;
  page->footprint = 0;
  page->loaded_at = page->used_at = ++counter_;
  return page;
}

void PageCache::EvictBeforeFetch() {
  while (clean_.size() >= kMinClean) {
    Page* oldest = clean_.front();
    if (clean_.size() < kMaxClean) {
      const uint64_t idle = counter_ - oldest->used_at;
      const uint64_t age = counter_ - oldest->loaded_at;
      if (idle < 4 * (age / clean_.size())) break;
    }
    Retire(oldest);
  }
}

void PageCache::Retire(Page* page) {
  if (page->known_footprint == 0) page->known_footprint = PageFootprint(*page);
  page->footprint = page->known_footprint;
  if (page->footprint > RetiredBudget()) {
    clean_.erase(page->pos);
    index_.Take(page->unit);
    return;
  }
  retired_.splice(retired_.end(), clean_, page->pos);
  page->retired = true;
  retired_bytes_ += page->footprint;
  g_retired_total.fetch_add(page->footprint, std::memory_order_relaxed);
  TrimRetired();
}

void PageCache::DropRetired(Page* page) {
  retired_.erase(page->pos);
  retired_bytes_ -= page->footprint;
  g_retired_total.fetch_sub(page->footprint, std::memory_order_relaxed);
  index_.Take(page->unit);
}

void PageCache::TrimRetired() {
  const size_t budget = RetiredBudget();
  while (!retired_.empty() && g_retired_total.load(std::memory_order_relaxed) > budget) {
    DropRetired(retired_.front());
  }
}

void PageCache::MarkDirty(Page* page) {
  // Marked before or after a change: either way its size is not known now.
  page->known_footprint = 0;
  if (page->dirty) return;
  if (!has_dirty()) retired_when_changes_began_ = retired_bytes_;
  page->dirty = true;
  std::list<Page*>& list = page->parked ? parked_ : dirty_;
  list.splice(list.end(), clean_, page->pos);
}

void PageCache::Lend(size_t bytes) {
  g_retired_total.fetch_add(bytes, std::memory_order_relaxed);
  g_retired_total.fetch_sub(lent_bytes_, std::memory_order_relaxed);
  lent_bytes_ = bytes;
}

void PageCache::MarkAllClean() {
  const bool lent = lent_bytes_ > 0;
  Lend(0);
  for (Page* p : dirty_) p->dirty = false;
  for (Page* p : parked_) p->dirty = false;
  // Splicing keeps every page's list iterator valid.
  clean_.splice(clean_.end(), parked_);
  clean_.splice(clean_.end(), dirty_);
  // Pages kept decoded on the loan are now clean pages beyond what the cache
  // keeps: the rule applies at once, not at the next fetch, so that the
  // memory is back within the budget when the changes are.
  if (lent) EvictBeforeFetch();
}

void PageCache::Park(Page* page, std::string image) {
  page->first_key.assign(page->data.Key(0));
  page->image = std::move(image);
  page->data.Release();
  page->parked = true;
  if (page->dirty) parked_.splice(parked_.end(), dirty_, page->pos);
}

int PageCache::Unpark(Page* page) {
  PageData data;
  if (int r = DecodePage(reinterpret_cast<const uint8_t*>(page->image.data()), page->image.size(),
                         0, &data);
      r != 0) {
    return r;
  }
  page->data = std::move(data);
  std::string().swap(page->image);
  std::string().swap(page->first_key);
  page->parked = false;
  if (page->dirty) dirty_.splice(dirty_.end(), parked_, page->pos);
  return 0;
}

std::vector<Page*> PageCache::DirtyPages() const {
  std::vector<Page*> pages(dirty_.begin(), dirty_.end());
  pages.insert(pages.end(), parked_.begin(), parked_.end());
  return pages;
}

void PageCache::Rekey(Page* page, int64_t unit) {
  std::unique_ptr<Page> owned = index_.Take(page->unit);
  // A retired copy filed under the new unit describes what is moving away.
  if (Page* old = index_.Find(unit); old != nullptr && old->retired) DropRetired(old);
  owned->unit = unit;
  index_.Put(unit, std::move(owned));
}

void PageCache::Remove(Page* page) {
  (page->dirty ? (page->parked ? parked_ : dirty_) : clean_).erase(page->pos);
  index_.Take(page->unit);
}

void PageCache::Clear() {
  Lend(0);
  g_retired_total.fetch_sub(retired_bytes_, std::memory_order_relaxed);
  retired_bytes_ = 0;
  retired_.clear();
  clean_.clear();
  dirty_.clear();
  parked_.clear();
  index_.Clear();
}

}  // namespace vorsandt::qvf
