#include "storage/qvf/btree.h"

#include <algorithm>

#include "runtime/env/invariant.h"
#include "runtime/files/error_codes.h"
#include "storage/qvf/format.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {
void Tree::Path::push_back(Step step) {
  // Both walks that push stop at kMaxDepth levels each.
  env::CheckInvariant(size_ < steps_.size(), "tree", "path longer than twice the depth limit");
  if (size_ < steps_.size()) steps_[size_++] = step;
}

bool Tree::NeedsSplit(const PageData& page) {
  const uint32_t estimate = page.Estimate();
  return estimate > kSplitSize || (estimate > kSplitSmallSize && page.size() > kSplitSmallCount);
}

Page* Tree::Child(Page* parent, size_t index) {
  const int level = parent->data.level;
  Page* child = container_->GetPage(parent->data.Child(index));
  if (child != nullptr && child->data.level != level - 1) {
    container_->ReportBroken(kCheckLevel);
    return nullptr;
  }
  return child;
}

Page* Tree::Descend(std::string_view key, Path* path) {
  path->clear();
  if (container_->root() == Container::kNoRootUnit) return nullptr;
  Page* p = container_->GetPage(container_->root());
  for (int depth = 0; p != nullptr && p->data.level > 0; ++depth) {
    if (depth >= kMaxDepth) {
      container_->ReportBroken(kCheckTreeDepth);
      return nullptr;
    }
    const long i = p->data.LastNotGreater(key);
    if (i < 0) {
      // The empty entry's separator bounds every key from below.
      container_->ReportBroken(kCheckEmptyEntry);
      return nullptr;
    }
    path->push_back({p->unit, static_cast<size_t>(i)});
    p = Child(p, static_cast<size_t>(i));
  }
  return p;
}

Page* Tree::Edge(int64_t unit, bool rightmost, Path* path) {
  Page* p = container_->GetPage(unit);
  for (int depth = 0; p != nullptr && p->data.level > 0; ++depth) {
    if (depth >= kMaxDepth || p->data.empty()) {
      container_->ReportBroken(kCheckTreeDepth);
      return nullptr;
    }
    const size_t i = rightmost ? p->data.size() - 1 : 0;
    path->push_back({p->unit, i});
    p = Child(p, i);
  }
  return p;
}

Page* Tree::HintLeafFor(std::string_view key) const {
  // Leaves partition the keys: a leaf's separator is not greater than its
  // first key and the next leaf's separator is greater than its last, so a
  // key between a leaf's first and last key belongs to that leaf whatever
  // the path to it. Freed pages leave the cache, so a cached page at the
  // hinted unit is a page of the tree.
  for (int64_t unit : hints_) {
    Page* leaf = container_->PeekPage(unit);
    if (leaf != nullptr && LeafHolds(leaf->data, key)) return leaf;
  }
  return nullptr;
}

bool Tree::LeafHolds(const PageData& d, std::string_view key) {
  return d.level == 0 && !d.empty() && CompareKeys(d.Key(0), key) <= 0 &&
         CompareKeys(key, d.Key(d.size() - 1)) <= 0;
}

Page* Tree::LeafFor(std::string_view key) {
  if (Page* leaf = HintLeafFor(key)) {
    // A use of the page, as a descent would count it.
    return container_->GetPage(leaf->unit);
  }
  Path path;
  return Descend(key, &path);
}

int Tree::Locate(std::string_view key, Mode mode, EntryRef* out, bool* found) {
  *found = false;
  if (mode == Mode::kExact && !container_->failed()) {
    if (Page* leaf = HintLeafFor(key)) {
      // A use of the page, as a descent would count it.
      container_->GetPage(leaf->unit);
      RememberLeaf(leaf->unit);
      const size_t i = leaf->data.LowerBound(key);
      if (i < leaf->data.size() && CompareKeys(leaf->data.Key(i), key) == 0 && !key.empty()) {
        *out = leaf->data.At(i);
        *found = true;
      }
      return 0;
    }
  }
  Path path;
  Page* leaf = Descend(key, &path);
  if (leaf == nullptr) return container_->failed() ? container_->failure_code() : 0;
  RememberLeaf(leaf->unit);
  const PageData& entries = leaf->data;
  const size_t lower = entries.LowerBound(key);
  if (mode == Mode::kExact) {
    if (lower < entries.size() && CompareKeys(entries.Key(lower), key) == 0) {
      if (key.empty()) return 0;  // the empty entry is never returned
      *out = entries.At(lower);
      *found = true;
    }
    return 0;
  }
  if (mode == Mode::kAbove) {
    size_t i = lower;
    if (i < entries.size() && CompareKeys(entries.Key(i), key) == 0) ++i;
    if (i < entries.size()) {
      *out = entries.At(i);
      *found = true;
      return 0;
    }
    // The answer is the first entry of the next leaf to the right.
    while (!path.empty()) {
      Step s = path.back();
      path.pop_back();
      Page* parent = container_->GetPage(s.unit);
      if (parent == nullptr) return container_->failure_code();
      if (s.index + 1 < parent->data.size()) {
        path.push_back({s.unit, s.index + 1});
        Page* next = Edge(parent->data.Child(s.index + 1), false, &path);
        if (next == nullptr) return container_->failure_code();
        if (next->data.empty()) return container_->ReportBroken(kCheckEmptyEntry);
        // In a damaged tree the next leaf may not lie above the key; taking
        // its first entry anyway would let a walk go round for ever.
        if (CompareKeys(next->data.Key(0), key) <= 0) {
          return container_->ReportBroken(kCheckOrderAcrossPages);
        }
        RememberLeaf(next->unit);
        *out = next->data.At(0);
        *found = true;
        return 0;
      }
    }
    return 0;
  }
  // kBelow: the greatest entry less than the key.
  const PageData* holder = &entries;
  long at = static_cast<long>(lower) - 1;
  if (at < 0) {
    while (!path.empty() && at < 0) {
      Step s = path.back();
      path.pop_back();
      if (s.index == 0) continue;
      Page* parent = container_->GetPage(s.unit);
      if (parent == nullptr) return container_->failure_code();
      path.push_back({s.unit, s.index - 1});
      Page* prev = Edge(parent->data.Child(s.index - 1), true, &path);
      if (prev == nullptr) return container_->failure_code();
      if (prev->data.empty()) return container_->ReportBroken(kCheckEmptyEntry);
      holder = &prev->data;
      at = static_cast<long>(prev->data.size()) - 1;
    }
  }
  // The empty entry is never returned.
  if (at >= 0 && holder->At(static_cast<size_t>(at)).key_length > 0) {
    *out = holder->At(static_cast<size_t>(at));
    *found = true;
  }
  return 0;
}

int Tree::LocateNextAfter(std::string_view key, EntryRef* out, bool* found) {
  *found = false;
  // Inside a recent leaf: when it holds an entry not greater than the key and
  // one greater, the answer lies in this leaf.
  for (int64_t unit : hints_) {
    Page* leaf = container_->PeekPage(unit);
    if (leaf == nullptr || leaf->data.level != 0 || leaf->data.empty()) continue;
    const PageData& entries = leaf->data;
    if (CompareKeys(entries.Key(0), key) <= 0 &&
        CompareKeys(key, entries.Key(entries.size() - 1)) < 0) {
      size_t i = entries.LowerBound(key);
      if (CompareKeys(entries.Key(i), key) == 0) ++i;
      *out = entries.At(i);
      *found = true;
      RememberLeaf(unit);
      return 0;
    }
  }
  return Locate(key, Mode::kAbove, out, found);
}

int Tree::Find(std::string_view key, Mode mode, Entry* entry, bool* found) {
  EntryRef e;
  const int rc = Locate(key, mode, &e, found);
  if (*found) *entry = Entry(e);
  return rc;
}

int Tree::FindNextAfter(std::string_view key, Entry* entry, bool* found) {
  EntryRef e;
  const int rc = LocateNextAfter(key, &e, found);
  if (*found) *entry = Entry(e);
  return rc;
}

int Tree::EnsureRoot() {
  if (container_->failed()) return container_->failure_code();
  if (container_->root() != Container::kNoRootUnit) return 0;
  Page* root = container_->NewPage(0);
  root->data.Append({}, 0);
  container_->SetRoot(root->unit);
  return 0;
}

int Tree::Insert(std::string_view bytes, size_t key_length, bool* existed) {
  if (existed != nullptr) *existed = false;
  if (container_->failed()) return container_->failure_code();
  if (bytes.size() > kMaxEntryLength || key_length > kMaxKeyLength || key_length > bytes.size()) {
    return container_->ReportBroken(kCheckEntryTooLarge);
  }
  container_->ParkColdPages();
  if (int r = EnsureRoot(); r != 0) return r;
  const std::string_view key = bytes.substr(0, key_length);
  Path path;
  Page* leaf = Descend(key, &path);
  if (leaf == nullptr) return container_->failure_code();
  const size_t i = leaf->data.LowerBound(key);
  PageData& entries = leaf->data;
  if (i < entries.size() && CompareKeys(entries.Key(i), key) == 0) {
    if (existed == nullptr) return container_->ReportBroken(kCheckDuplicateKey);
    *existed = true;
    return 0;
  }
  entries.Insert(i, bytes, key_length);
  container_->MarkDirty(leaf);
  return SplitWhileNeeded(leaf->unit);
}

int Tree::Put(std::string_view bytes, size_t key_length) {
  if (container_->failed()) return container_->failure_code();
  if (bytes.size() > kMaxEntryLength || key_length > kMaxKeyLength || key_length > bytes.size()) {
    return container_->ReportBroken(kCheckEntryTooLarge);
  }
  container_->ParkColdPages();
  if (int r = EnsureRoot(); r != 0) return r;
  const std::string_view key = bytes.substr(0, key_length);
  Page* leaf = LeafFor(key);
  if (leaf == nullptr) return container_->failure_code();
  PageData& entries = leaf->data;
  const size_t i = entries.LowerBound(key);
  if (i < entries.size() && CompareKeys(entries.Key(i), key) == 0) {
    // The key part stays, so no separator changes; a longer entry may split.
    entries.Replace(i, bytes, key_length);
  } else {
    entries.Insert(i, bytes, key_length);
  }
  container_->MarkDirty(leaf);
  RememberLeaf(leaf->unit);
  return SplitWhileNeeded(leaf->unit);
}

int Tree::Change(std::string_view key, const std::function<bool(std::string* data)>& change,
                 bool* found) {
  const std::string keys[] = {std::string(key)};
  return ChangeEach(
      keys, [&](size_t, std::string* data) { return change(data); }, found);
}

int Tree::ChangeEach(std::span<const std::string> keys,
                     const std::function<bool(size_t i, std::string* data)>& change, bool* found) {
  std::fill(found, found + keys.size(), false);
  if (container_->failed()) return container_->failure_code();
  if (container_->root() == Container::kNoRootUnit) return 0;
  container_->ParkColdPages();
  Page* leaf = nullptr;
  bool changed = false;  // `leaf` changed since its last split check
  size_t at = 0;         // where the next key is looked for first
  for (size_t k = 0; k < keys.size(); ++k) {
    const std::string_view key = keys[k];
    if (key.empty()) continue;  // the empty entry is never changed
    if (leaf == nullptr || !LeafHolds(leaf->data, key)) {
      // A changed entry may have grown: the leaf splits before it is left.
      if (changed) {
        if (int r = SplitWhileNeeded(leaf->unit); r != 0) return r;
        changed = false;
      }
      leaf = LeafFor(key);
      if (leaf == nullptr) return container_->failed() ? container_->failure_code() : 0;
      RememberLeaf(leaf->unit);
      at = leaf->data.size();
    }
    PageData& entries = leaf->data;
    // Neighbouring keys are usually the next entry; otherwise a search.
    if (at >= entries.size() || CompareKeys(entries.Key(at), key) != 0) {
      at = entries.LowerBound(key);
      if (at >= entries.size() || CompareKeys(entries.Key(at), key) != 0) continue;
    }
    found[k] = true;
    std::string data(entries.Bytes(at).substr(key.size()));
    if (change(k, &data)) {
      std::string bytes(key);
      bytes += data;
      if (bytes.size() > kMaxEntryLength) return container_->ReportBroken(kCheckEntryTooLarge);
      // The key part stays, so no separator changes.
      entries.Replace(at, bytes, key.size());
      container_->MarkDirty(leaf);
      changed = true;
    }
    ++at;
  }
  return changed ? SplitWhileNeeded(leaf->unit) : 0;
}

int Tree::SplitWhileNeeded(int64_t first) {
  std::vector<int64_t> work{first};
  for (int rounds = 0; !work.empty(); ++rounds) {
    if (rounds > 100000) return container_->ReportBroken(kCheckTreeDepth);
    const int64_t unit = work.back();
    work.pop_back();
    Page* p = container_->GetPage(unit);
    if (p == nullptr) return container_->failure_code();
    if (!NeedsSplit(p->data)) continue;
    if (unit == container_->root()) {
      // The root keeps its unit: its entries move one level down.
      Page* lower = container_->NewPage(p->data.level);
      lower->data.SwapEntries(&p->data);
      p->data.level++;
      const std::string_view first = lower->data.Key(0);
      p->data.Append(first, first.size(), lower->unit);
      container_->MarkDirty(p);
      work.push_back(lower->unit);
      continue;
    }
    PageData& entries = p->data;
    const size_t n = entries.size();
    if (n < 2) return container_->ReportBroken(kCheckSplitTooFew);
    // Entries before the middle stay, entries after it move; the middle one
    // joins the half with fewer entries (the new page on a tie).
    const size_t middle = n / 2;
    const size_t before = middle;
    const size_t after = n - middle - 1;
    const size_t keep = before < after ? middle + 1 : middle;
    const std::string first_key(entries.Key(0));
    Page* parent = container_->FindParent(first_key, unit);
    if (parent == nullptr) return container_->ReportBroken(kCheckParentNotFound);
    Page* right = container_->NewPage(p->data.level);
    entries.MoveTailTo(keep, &right->data);
    container_->MarkDirty(p);
    const std::string_view sep = right->data.Key(0);
    const long at = parent->data.LastNotGreater(sep);
    if (at >= 0 && CompareKeys(parent->data.Key(static_cast<size_t>(at)), sep) == 0) {
      return container_->ReportBroken(kCheckDuplicateKey);
    }
    parent->data.Insert(static_cast<size_t>(at + 1), sep, sep.size(), right->unit);
    container_->MarkDirty(parent);
    work.push_back(unit);
    work.push_back(right->unit);
    work.push_back(parent->unit);
  }
  return 0;
}

int Tree::ReplaceSeparator(Path& path, std::string_view key) {
  // The separator of the page below path.back() becomes `key`; when it is
  // that page's first separator, the change goes on upward.
  while (!path.empty()) {
    Step s = path.back();
    path.pop_back();
    Page* parent = container_->GetPage(s.unit);
    if (parent == nullptr) return container_->failure_code();
    parent->data.Replace(s.index, key, key.size());
    container_->MarkDirty(parent);
    if (s.index != 0) break;
  }
  return 0;
}

int Tree::Delete(std::string_view key, bool* found) {
  *found = false;
  if (container_->failed()) return container_->failure_code();
  if (key.empty() || container_->root() == Container::kNoRootUnit) return 0;
  container_->ParkColdPages();
  if (Page* leaf = HintLeafFor(key)) {
    // Inside a recent leaf and not its first entry: no separator changes and
    // the leaf keeps an entry, so the path above is not needed (a delete
    // after a read of the same entry, or of its neighbour, needs no descent).
    PageData& entries = leaf->data;
    const size_t i = entries.LowerBound(key);
    if (i > 0) {
      container_->GetPage(leaf->unit);
      RememberLeaf(leaf->unit);
      if (i >= entries.size() || CompareKeys(entries.Key(i), key) != 0) return 0;
      *found = true;
      entries.Erase(i);
      container_->MarkDirty(leaf);
      return 0;
    }
  }
  Path path;
  Page* leaf = Descend(key, &path);
  if (leaf == nullptr) return container_->failed() ? container_->failure_code() : 0;
  PageData& entries = leaf->data;
  const size_t i = entries.LowerBound(key);
  if (i >= entries.size() || CompareKeys(entries.Key(i), key) != 0) return 0;
  *found = true;
  entries.Erase(i);
  container_->MarkDirty(leaf);
  if (!entries.empty()) {
    if (i == 0) {
      const std::string first(entries.Key(0));
      return ReplaceSeparator(path, first);
    }
    return 0;
  }
  // The leaf is empty: free it and remove its separator, upward while pages
  // empty. The root never empties: it leads to the empty entry.
  if (path.empty()) return container_->ReportBroken(kCheckEmptyEntry);
  container_->FreePage(leaf);
  while (!path.empty()) {
    Step s = path.back();
    path.pop_back();
    Page* parent = container_->GetPage(s.unit);
    if (parent == nullptr) return container_->failure_code();
    PageData& seps = parent->data;
    seps.Erase(s.index);
    container_->MarkDirty(parent);
    if (seps.empty()) {
      if (path.empty()) return container_->ReportBroken(kCheckEmptyEntry);
      container_->FreePage(parent);
      continue;
    }
    if (s.index == 0) {
      const std::string first(seps.Key(0));
      return ReplaceSeparator(path, first);
    }
    return 0;
  }
  return 0;
}

}  // namespace vorsandt::qvf
