#include "storage/qvf/pager.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>

#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

namespace {
std::atomic<size_t> g_decoded_dirty_limit{Pager::kDefaultDecodedDirtyLimit};
}  // namespace

size_t Pager::DefaultDecodedDirtyLimit() {
  return g_decoded_dirty_limit.load(std::memory_order_relaxed);
}

void Pager::SetDefaultDecodedDirtyLimit(size_t pages) {
  g_decoded_dirty_limit.store(pages, std::memory_order_relaxed);
}

void Pager::Reset() {
  Drop();
  decoded_dirty_limit_ = DefaultDecodedDirtyLimit();
}

void Pager::Drop() {
  cache_.Clear();
  DropAhead();
  freed_.clear();
  next_provisional_ = -1;
}

void Pager::SaveDone() {
  cache_.MarkAllClean();
  DropAhead();
  freed_.clear();
  next_provisional_ = -1;
}

const uint8_t* Pager::Ahead(uint64_t offset, size_t length) {
  for (Stretch& s : ahead_) {
    if (offset >= s.offset && offset - s.offset <= s.bytes.size() &&
        s.bytes.size() - (offset - s.offset) >= length) {
      s.used = ++ahead_clock_;
      return reinterpret_cast<const uint8_t*>(s.bytes.data()) + (offset - s.offset);
    }
  }
  return nullptr;
}

void Pager::KeepAhead(uint64_t offset, std::string bytes) {
  Stretch* slot = nullptr;
  if (ahead_.size() < kAheadStretches) {
    slot = &ahead_.emplace_back();
  } else {
    slot = &*std::min_element(ahead_.begin(), ahead_.end(),
                              [](const Stretch& a, const Stretch& b) { return a.used < b.used; });
  }
  slot->offset = offset;
  slot->used = ++ahead_clock_;
  slot->bytes = std::move(bytes);
}

Page* Pager::Cached(int64_t unit, int* check) {
  *check = 0;
  Page* p = cache_.Find(unit);
  if (p == nullptr) return nullptr;
  cache_.Touch(p);
  if (p->parked) *check = cache_.Unpark(p);
  return *check == 0 ? p : nullptr;
}

Page* Pager::Revived(int64_t unit, int* check) {
  *check = 0;
  cache_.EvictBeforeFetch();
  Page* p = cache_.Revive(unit);
  if (p != nullptr && p->parked) *check = cache_.Unpark(p);
  return *check == 0 ? p : nullptr;
}

Page* Pager::New(int level, int* check) {
  *check = 0;
#ifdef VORSANDT_CHECKS
  if (next_provisional_ >= 0) {  // invariant 1
    *check = kCheckPageState;
    return nullptr;
  }
#endif
  PageData data;
  data.level = level;
  return cache_.Add(next_provisional_--, std::move(data), true);
}

int Pager::Free(Page* page) {
  const int64_t unit = page->unit;
  if (unit >= 0) freed_.push_back(static_cast<uint32_t>(unit));
  cache_.Remove(page);
#ifdef VORSANDT_CHECKS
  if (cache_.Find(unit) != nullptr) return kCheckPageState;  // invariant 2
#endif
  return 0;
}

size_t Pager::DecodedDirtyLimit() {
  const size_t given_up = cache_.RetiredBytesGivenUp();
  if (given_up == 0) return decoded_dirty_limit_;
  // What a decoded changed leaf holds, followed over the coldest ones (the
  // next to be parked), so that the memory given up converts into pages.
  const size_t sample = PageFootprint(*cache_.ColdestDirty());
  leaf_bytes_ = std::max<size_t>(leaf_bytes_ == 0 ? sample : (leaf_bytes_ * 7 + sample) / 8, 1);
  return decoded_dirty_limit_ + given_up / leaf_bytes_;
}

void Pager::ParkCold() {
  if (cache_.decoded_dirty_count() <= decoded_dirty_limit_) return;
  const size_t limit = DecodedDirtyLimit();
  std::string image;
  // Non-leaf pages (and the rare leaf that cannot be encoded now) go to the
  // recently used end instead; the bound stops a list of such pages.
  size_t skipped = 0;
  while (cache_.decoded_dirty_count() > limit && skipped < cache_.decoded_dirty_count()) {
    Page* p = cache_.ColdestDirty();
    if (p->data.level != 0 || p->data.empty() || EncodePage(p->data, 0, &image) != 0) {
      cache_.TouchDirty(p);
      ++skipped;
      continue;
    }
    cache_.Park(p, std::move(image));
    image.clear();
  }
  const size_t extra =
      cache_.decoded_dirty_count() - std::min(cache_.decoded_dirty_count(), decoded_dirty_limit_);
  cache_.Lend(std::min(cache_.RetiredBytesGivenUp(), extra * leaf_bytes_));
}

}  // namespace vorsandt::qvf
