#include "storage/qvf/page_cache.h"

#include <utility>

namespace vorsandt::qvf {

Page* PageCache::Find(int64_t unit) const {
  for (const auto& p : buckets_[Bucket(unit)]) {
    if (p->unit == unit) return p.get();
  }
  return nullptr;
}

void PageCache::Touch(Page* page) {
  page->used_at = ++counter_;
  if (!page->dirty) clean_.splice(clean_.end(), clean_, page->pos);
}

Page* PageCache::Add(int64_t unit, PageData data, bool dirty) {
  auto page = std::make_unique<Page>();
  page->unit = unit;
  page->data = std::move(data);
  page->dirty = dirty;
  page->loaded_at = page->used_at = ++counter_;
  std::list<Page*>& list = dirty ? dirty_ : clean_;
  page->pos = list.insert(list.end(), page.get());
  Page* raw = page.get();
  buckets_[Bucket(unit)].push_back(std::move(page));
  return raw;
}

void PageCache::EvictBeforeFetch() {
  while (clean_.size() >= kMinClean) {
    Page* oldest = clean_.front();
    if (clean_.size() < kMaxClean) {
      const uint64_t idle = counter_ - oldest->used_at;
      const uint64_t age = counter_ - oldest->loaded_at;
      if (idle < 4 * (age / clean_.size())) break;
    }
    Remove(oldest);
  }
}

void PageCache::MarkDirty(Page* page) {
  if (page->dirty) return;
  clean_.erase(page->pos);
  page->dirty = true;
  page->pos = dirty_.insert(dirty_.end(), page);
}

void PageCache::MarkAllClean() {
  for (Page* p : dirty_) p->dirty = false;
  // Splicing keeps every page's list iterator valid.
  clean_.splice(clean_.end(), dirty_);
}

void PageCache::Rekey(Page* page, int64_t unit) {
  std::unique_ptr<Page> owned = Detach(page);
  owned->unit = unit;
  buckets_[Bucket(unit)].push_back(std::move(owned));
}

void PageCache::Remove(Page* page) {
  (page->dirty ? dirty_ : clean_).erase(page->pos);
  Detach(page);
}

void PageCache::Clear() {
  for (auto& b : buckets_) b.clear();
  clean_.clear();
  dirty_.clear();
}

std::unique_ptr<Page> PageCache::Detach(Page* page) {
  auto& bucket = buckets_[Bucket(page->unit)];
  for (auto it = bucket.begin(); it != bucket.end(); ++it) {
    if (it->get() == page) {
      std::unique_ptr<Page> owned = std::move(*it);
      bucket.erase(it);
      return owned;
    }
  }
  return nullptr;
}

}  // namespace vorsandt::qvf
