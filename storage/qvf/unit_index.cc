#include "storage/qvf/unit_index.h"

#include <utility>

#include "storage/qvf/page_cache.h"

namespace vorsandt::qvf {

std::unique_ptr<Page> UnitIndex::Put(int64_t unit, std::unique_ptr<Page> page) {
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  for (size_t i = Home(unit);; i = (i + 1) & mask_) {
    Slot& s = slots_[i];
    if (s.page == nullptr) {
      s.unit = unit;
      s.page = page.release();
      ++size_;
      return nullptr;
    }
    if (s.unit == unit) {
      std::unique_ptr<Page> old(s.page);
      s.page = page.release();
      return old;
    }
  }
}

std::unique_ptr<Page> UnitIndex::Take(int64_t unit) {
  if (size_ == 0) return nullptr;
  size_t i = Home(unit);
  for (;; i = (i + 1) & mask_) {
    if (slots_[i].page == nullptr) return nullptr;
    if (slots_[i].unit == unit) break;
  }
  std::unique_ptr<Page> taken(slots_[i].page);
  slots_[i].page = nullptr;
  --size_;
  // Close the gap: a later member of the run whose home does not lie in the
  // cyclic range (gap, its slot] would no longer be reachable from its home.
  for (size_t j = (i + 1) & mask_; slots_[j].page != nullptr; j = (j + 1) & mask_) {
    const size_t home = Home(slots_[j].unit);
    const bool reachable = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (reachable) continue;
    slots_[i] = slots_[j];
    slots_[j].page = nullptr;
    i = j;
  }
  return taken;
}

void UnitIndex::Clear() {
  for (Slot& s : slots_) {
    delete s.page;
    s.page = nullptr;
  }
  size_ = 0;
}

void UnitIndex::Grow() {
  std::vector<Slot> old = std::move(slots_);
  const size_t capacity = old.empty() ? 64 : old.size() * 2;
  slots_.assign(capacity, Slot{});
  mask_ = capacity - 1;
  shift_ = 64;
  for (size_t c = capacity; c > 1; c >>= 1) --shift_;
  size_ = 0;
  for (Slot& s : old) {
    if (s.page == nullptr) continue;
    for (size_t i = Home(s.unit);; i = (i + 1) & mask_) {
      if (slots_[i].page == nullptr) {
        slots_[i] = s;
        ++size_;
        break;
      }
    }
  }
}

}  // namespace vorsandt::qvf
