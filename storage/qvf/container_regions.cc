// Regions and allocation of the container.
//
// Region c holds only pages of c units, packed without holes; regions lie in
// increasing class order with free gaps between them. All placement happens
// at save time, in memory: a page that moves is loaded, filed under its new
// unit, marked dirty, and the reference to it (its parent's child number, or
// the header's root) is rewritten. Units whose occupant changed in memory are
// therefore always held by dirty pages, so a read from the file never meets a
// stale unit.
#include <algorithm>

#include "storage/qvf/container.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

namespace {
// Deeper than any tree of this file format can grow.
constexpr int kMaxDepth = 64;
}  // namespace

int Container::ClassForImage(Page* page, int* c) {
  if (page->parked) {
    *c = static_cast<int>(page->image.size() / kUnitSize);
    return 0;
  }
  if (page->placed_in == save_number_) {
    *c = static_cast<int>(page->placed_image.size() / kUnitSize);
    return 0;
  }
  std::string image;
  if (int r = EncodePage(page->data, 0, &image); r != 0) return r;
  *c = static_cast<int>(image.size() / kUnitSize);
  if (placed_bytes_ + image.size() <= kPlacedImageBudget) {
    placed_bytes_ += image.size();
    page->placed_image = std::move(image);
    page->placed_in = save_number_;
  } else if (page->data.level == 0 && !page->data.empty()) {
    // Beyond the budget a leaf is parked with the image instead: the write
    // takes it as it is rather than encoding the page a second time, and
    // the entries' memory goes now rather than after the save.
    pager_.cache().Park(page, std::move(image));
  }
  return 0;
}

// Placement changes no entry of a page, only child numbers (kept outside the
// compressed area) and units, so the image it encoded is the one to write
// once those are set.
bool Container::TakePlacedImage(Page* page, std::string* image) {
  if (page->placed_in != save_number_) return false;
  page->placed_in = 0;
  image->swap(page->placed_image);
  std::string().swap(page->placed_image);
  auto* p = reinterpret_cast<uint8_t*>(image->data());
  const PageData& entries = page->data;
  if (image->size() < kPageHeaderSize || p[kPgLevel] != page->data.level ||
      GetU16(p + kPgCount) != entries.size()) {
    return false;
  }
  PutU32(p + kPgOwnAddress, static_cast<uint32_t>(HomeAddress(static_cast<uint32_t>(page->unit))));
  if (page->data.level > 0) {
    size_t pos = kPageHeaderSize;
    for (size_t i = 0; i < entries.size(); ++i) {
      PutU32(p + pos, static_cast<uint32_t>(entries.Child(i)));
      pos += 4;
    }
  }
  return true;
}

Page* Container::FindParent(std::string_view key, int64_t child) {
  if (root_ == kNoRootUnit) return nullptr;
  Page* p = GetPage(root_);
  for (int depth = 0; p != nullptr && depth < kMaxDepth; ++depth) {
    if (p->data.level == 0) return nullptr;
    const long i = p->data.LastNotGreater(key);
    if (i < 0) return nullptr;
    const int64_t next = p->data.Child(static_cast<size_t>(i));
    if (next == child) return p;
    const int level = p->data.level;
    p = GetPage(next);
    if (p != nullptr && p->data.level != level - 1) {
      Fail(kCheckLevel);
      return nullptr;
    }
  }
  return nullptr;
}

bool Container::UpdateReference(const Page* page, int64_t from, int64_t to) {
  if (root_ == from) {
    root_ = to;
    return true;
  }
  if (!page->parked && page->data.empty()) {
    Fail(kCheckParentNotFound);
    return false;
  }
  std::string key(page->parked ? std::string_view(page->first_key)
                               : page->data.Key(0));
  Page* parent = FindParent(key, from);
  if (parent == nullptr) {
    if (!failed_) Fail(kCheckParentNotFound);
    return false;
  }
  const long i = parent->data.LastNotGreater(key);
  parent->data.SetChild(static_cast<size_t>(i), to);
  pager_.cache().MarkDirty(parent);
  return true;
}

bool Container::MovePage(int64_t from, int64_t to) {
  // A parked page moves as it is: only its unit and its reference change.
  Page* p = pager_.cache().Find(from);
  if (p != nullptr) {
    pager_.cache().Touch(p);
  } else {
    p = GetPage(from);
  }
  if (p == nullptr) return false;
  if (pager_.cache().Find(to) != nullptr) {
    Fail(kCheckRegions);
    return false;
  }
  pager_.cache().Rekey(p, to);
  pager_.cache().MarkDirty(p);
  return UpdateReference(p, from, to);
}

bool Container::FreeSlot(int c, uint32_t unit) {
  const uint32_t last = header_.end[c] - c;
  if (last != unit && !MovePage(last, unit)) return false;
  header_.end[c] -= c;
  return true;
}

// Makes start(k+1) - end(k) at least `need` by sliding region k (and, first,
// the regions below it) down into free gaps. Moves nothing when it fails.
bool Container::EnsureGapBelow(int k, uint32_t need) {
  auto& start = header_.start;
  auto& end = header_.end;
  uint32_t gap = start[k + 1] - end[k];
  if (gap >= need) return true;
  if (k == 0) return false;
  if (start[k] == end[k]) {
    // An empty region can sit anywhere between its neighbours.
    start[k] = end[k] = end[k - 1];
    gap = start[k + 1] - end[k];
    if (gap >= need) return true;
    if (!EnsureGapBelow(k - 1, need - gap)) return false;
    start[k] = end[k] = end[k - 1];
    return true;
  }
  const uint32_t pages = (need - gap + k - 1) / k;
  if (!EnsureGapBelow(k - 1, pages * k)) return false;
  for (uint32_t i = 0; i < pages; ++i) {
    if (!MovePage(end[k] - k, start[k] - k)) return false;
    start[k] -= k;
    end[k] -= k;
  }
  return true;
}

// Makes start(k+1) - end(k) at least `need` by shifting the regions above k
// up; the last region can always grow into the end of the file.
bool Container::MakeRoomAbove(int k, uint32_t need) {
  if (k >= kMaxClass) return true;
  auto& start = header_.start;
  auto& end = header_.end;
  const int j = k + 1;
  const uint32_t gap = start[j] - end[k];
  if (gap >= need) return true;
  const uint32_t missing = need - gap;
  if (header_.PageCount(j) > 1) {
    // Rotate pages from the bottom of region j to its top.
    const uint32_t pages = (missing + j - 1) / j;
    for (uint32_t i = 0; i < pages; ++i) {
      if (!MakeRoomAbove(j, j)) return false;
      if (!MovePage(start[j], end[j])) return false;
      start[j] += j;
      end[j] += j;
    }
    return true;
  }
  if (!MakeRoomAbove(j, missing)) return false;
  if (header_.PageCount(j) == 1 && !MovePage(start[j], start[j] + missing)) return false;
  start[j] += missing;
  end[j] += missing;
  return true;
}

bool Container::Allocate(int c, uint32_t* unit) {
  if (EnsureGapBelow(c - 1, c)) {
    header_.start[c] -= c;
    *unit = header_.start[c];
    return true;
  }
  if (failed_ || !MakeRoomAbove(c, c)) return false;
  *unit = header_.end[c];
  header_.end[c] += c;
  return true;
}

bool Container::Pack() {
  auto& start = header_.start;
  auto& end = header_.end;
  for (int c = 2; c <= kMaxClass; ++c) {
    const uint32_t n = header_.PageCount(c);
    if (n <= 1) {
      if (start[c] != end[c - 1]) {
        if (n == 1 && !MovePage(start[c], end[c - 1])) return false;
        start[c] = end[c - 1];
        end[c] = start[c] + n * c;
      }
    } else {
      while (start[c] - end[c - 1] >= static_cast<uint32_t>(c)) {
        if (!MovePage(end[c] - c, start[c] - c)) return false;
        start[c] -= c;
        end[c] -= c;
      }
    }
  }
  return true;
}

bool Container::PlacePages() {
  ++save_number_;
  placed_bytes_ = 0;
  // 1. Slots of pages that left the tree, highest unit first, so that the
  //    last page of a region is never itself a freed one.
  std::sort(pager_.freed().begin(), pager_.freed().end(), std::greater<>());
  for (uint32_t u : pager_.freed()) {
    const int c = header_.ClassOf(u);
    if (c == 0 || (u - header_.start[c]) % c != 0) {
      Fail(kCheckRegions);
      return false;
    }
    if (!FreeSlot(c, u)) return false;
  }
  pager_.freed().clear();
  // 2. Pages whose image no longer fits their class take a provisional
  //    number, freeing their slot.
  std::vector<Page*> placed;
  for (Page* p : pager_.cache().DirtyPages()) {
    if (p->unit >= 0) placed.push_back(p);
  }
  for (Page* p : placed) {
    int nc = 0;
    if (int r = ClassForImage(p, &nc); r != 0) {
      Fail(r);
      return false;
    }
    const uint32_t old = static_cast<uint32_t>(p->unit);
    const int oc = header_.ClassOf(old);
    if (oc == 0) {
      Fail(kCheckRegions);
      return false;
    }
    if (nc == oc) continue;
    const int64_t provisional = pager_.TakeProvisional();
    pager_.cache().Rekey(p, provisional);
    if (!UpdateReference(p, old, provisional) || !FreeSlot(oc, old)) return false;
  }
  // 3. Provisional pages get real units, oldest first.
  std::vector<Page*> fresh;
  for (Page* p : pager_.cache().DirtyPages()) {
    if (p->unit < 0) fresh.push_back(p);
  }
  std::sort(fresh.begin(), fresh.end(), [](Page* a, Page* b) { return a->unit > b->unit; });
  for (Page* p : fresh) {
    int c = 0;
    if (int r = ClassForImage(p, &c); r != 0) {
      Fail(r);
      return false;
    }
    uint32_t unit = 0;
    if (!Allocate(c, &unit)) {
      if (!failed_) Fail(kCheckRegions);
      return false;
    }
    if (pager_.cache().Find(unit) != nullptr) {
      Fail(kCheckRegions);
      return false;
    }
    const int64_t provisional = p->unit;
    pager_.cache().Rekey(p, unit);
    if (!UpdateReference(p, provisional, unit)) return false;
  }
  // 4. Pack the regions downward.
  return Pack();
}

}  // namespace vorsandt::qvf
