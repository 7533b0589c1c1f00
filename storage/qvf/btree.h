// The ordered tree of all entries of a QVF file.
//
// Entries compare by key part (CompareKeys). The first root page of a file
// gets the empty entry (empty key part, no data): the smallest entry, never
// deleted and never returned by a search. Non-leaf pages hold separators, a
// copy of the first key part of each child; a key belongs to the child of the
// last separator not greater than it. Pages split when their size estimate
// exceeds 15094 bytes, or 4096 bytes with more than 20 entries; the root
// splits by moving its entries one level down. Pages are not merged; an
// empty leaf is freed and its separator removed upward.
//
// Status values: 0, or 36 after an internal error (the container is then
// failed). Insert of a key part that exists is an internal error: callers
// check uniqueness first.
#ifndef VORSANDT_STORAGE_QVF_BTREE_H_
#define VORSANDT_STORAGE_QVF_BTREE_H_

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/qvf/container.h"

namespace vorsandt::qvf {

class Tree {
 public:
  enum class Mode {
    kExact,  // the entry with exactly this key part
    kBelow,  // the greatest entry whose key part is less
    kAbove,  // the smallest entry whose key part is greater
  };

  explicit Tree(Container* container) : container_(container) {}

  // Searches; `*found` tells whether `*entry` was filled.
  [[nodiscard]] int Find(std::string_view key, Mode mode, Entry* entry, bool* found);
  [[nodiscard]] int FindExact(std::string_view key, Entry* entry, bool* found) {
    return Find(key, Mode::kExact, entry, found);
  }
  // The smallest entry after `key`; looks in the leaf of the previous search
  // first, so walking forward needs no new descent inside a leaf.
  [[nodiscard]] int FindNextAfter(std::string_view key, Entry* entry, bool* found);
  [[nodiscard]] int FindPreviousBefore(std::string_view key, Entry* entry, bool* found) {
    return Find(key, Mode::kBelow, entry, found);
  }
  // As Find and FindNextAfter, without the copy: `*out` views the entry in
  // its page, valid until the tree or its container is used again.
  [[nodiscard]] int Locate(std::string_view key, Mode mode, EntryRef* out, bool* found);
  [[nodiscard]] int LocateNextAfter(std::string_view key, EntryRef* out, bool* found);

  // Adds an entry of `bytes` whose first `key_length` bytes are its key part.
  // With `existed`, a key part already in the tree is no internal error: it
  // is reported there and nothing changes (one descent checks and inserts).
  [[nodiscard]] int Insert(std::string_view bytes, size_t key_length, bool* existed = nullptr);
  // Replaces the entry with this key part in place (its page stays where it
  // is), or inserts it when there is none.
  [[nodiscard]] int Put(std::string_view bytes, size_t key_length);
  // Changes the data part of the entry with this key part where it is (one
  // search for the read and the write): `change` gets the data and returns
  // whether it changed it. `*found` false when there is no such entry.
  [[nodiscard]] int Change(std::string_view key, const std::function<bool(std::string* data)>& change,
             bool* found);
  // As Change for each of `keys` (ascending): `change(i, &data)` for the
  // entry of keys[i], `found[i]` whether it is there. A key that lies in the
  // leaf of the one before takes no new search (a table's counters are
  // neighbours, and every added record changes several of them).
  [[nodiscard]] int ChangeEach(std::span<const std::string> keys,
                 const std::function<bool(size_t i, std::string* data)>& change, bool* found);
  // Removes the entry with this key part; `*found` false when there is none.
  [[nodiscard]] int Delete(std::string_view key, bool* found);

  // Makes the root with the empty entry when the file has none yet.
  [[nodiscard]] int EnsureRoot();

 private:
  struct Step {
    int64_t unit;
    size_t index;
  };
  // A descent stops after this many non-leaf levels (a damaged tree could
  // otherwise lead round for ever).
  static constexpr int kMaxDepth = 64;
  // The non-leaf steps of one operation, kept on its own stack: a vector
  // made per search cost two allocations of its few steps, and one kept in
  // the tree would be shared with another thread's operation that runs
  // while this one waits for a lock. Descend and Edge each stop at
  // kMaxDepth levels, so a path never holds more than twice that.
  class Path {
   public:
    void clear() { size_ = 0; }
    bool empty() const { return size_ == 0; }
    const Step& back() const { return steps_[size_ - 1]; }
    void pop_back() { --size_; }
    void push_back(Step step);

   private:
    std::array<Step, 2 * kMaxDepth> steps_;
    size_t size_ = 0;
  };
  // Descends to the leaf for `key`, recording the non-leaf steps.
  Page* Descend(std::string_view key, Path* path);
  // The leftmost (or rightmost) leaf under `unit`, extending `path`.
  Page* Edge(int64_t unit, bool rightmost, Path* path);
  Page* Child(Page* parent, size_t index);
  // A leaf of the last searches that certainly holds `key`'s place (a leaf
  // whose first key <= key <= its last key), or nullptr.
  Page* HintLeafFor(std::string_view key) const;
  // Whether `key` lies between the first and the last key of `leaf`, which
  // then holds its place whatever the path to it.
  static bool LeafHolds(const PageData& leaf, std::string_view key);
  // The leaf for `key`: a hinted one, else by a descent (path not kept).
  Page* LeafFor(std::string_view key);
  [[nodiscard]] int SplitWhileNeeded(int64_t unit);
  [[nodiscard]] int ReplaceSeparator(Path& path, std::string_view key);
  static bool NeedsSplit(const PageData& page);

  Container* container_;
  // The leaves of the last two searches, most recent first: a scan through
  // one key that reads each record between its steps keeps both in hand.
  std::array<int64_t, 2> hints_{Container::kNoRootUnit, Container::kNoRootUnit};
  void RememberLeaf(int64_t unit) {
    if (hints_[0] != unit) {
      hints_[1] = hints_[0];
      hints_[0] = unit;
    }
  }
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_BTREE_H_
