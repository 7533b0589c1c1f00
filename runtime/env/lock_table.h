// Byte-range claims of one file inside this process.
//
// The kernel's open-file-description locks keep other processes (and other
// handles of this process) out, but a handle never conflicts with itself, so
// threads sharing one handle would not exclude each other. The table records
// every claim made in this process and refuses an incompatible overlapping
// one whoever asks. Not synchronised: the owner of the table holds a mutex.
#ifndef VORSANDT_RUNTIME_ENV_LOCK_TABLE_H_
#define VORSANDT_RUNTIME_ENV_LOCK_TABLE_H_

#include <cstdint>
#include <utility>
#include <vector>

namespace vorsandt::env {

class LockTable {
 public:
  // A half-open byte range [first, second).
  using Range = std::pair<uint64_t, uint64_t>;

  // True when a claim on [offset, end) would meet an overlapping claim and
  // either of the two is exclusive.
  bool Conflicts(uint64_t offset, uint64_t end, bool exclusive) const;
  // The same, seeing only claims of owners other than `owner` (claims always
  // have an owner, so nullptr sees every claim).
  bool ConflictsWithOthers(const void* owner, uint64_t offset, uint64_t end, bool exclusive) const;

  void Add(const void* owner, uint64_t offset, uint64_t end, bool exclusive);

  // Removes one claim of `owner` with exactly this range; false when none.
  // `*exclusive` (optional) receives the kind of the removed claim.
  bool Remove(const void* owner, uint64_t offset, uint64_t end, bool* exclusive = nullptr);

  void RemoveAll(const void* owner);

  // The parts of [offset, end) that no claim of `owner` covers, in order.
  std::vector<Range> Uncovered(const void* owner, uint64_t offset, uint64_t end) const;

  bool Empty() const { return claims_.empty(); }

 private:
  struct Claim {
    const void* owner;
    uint64_t offset;
    uint64_t end;
    bool exclusive;
  };
  std::vector<Claim> claims_;
};

}  // namespace vorsandt::env

#endif  // VORSANDT_RUNTIME_ENV_LOCK_TABLE_H_
