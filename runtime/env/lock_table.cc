#include "runtime/env/lock_table.h"

#include <algorithm>

namespace vorsandt::env {

bool LockTable::Conflicts(uint64_t offset, uint64_t end, bool exclusive) const {
  return ConflictsWithOthers(nullptr, offset, end, exclusive);
}

bool LockTable::ConflictsWithOthers(const void* owner, uint64_t offset, uint64_t end,
                                    bool exclusive) const {
  for (const Claim& c : claims_) {
    if (c.owner != owner && c.offset < end && offset < c.end && (exclusive || c.exclusive)) {
      return true;
    }
  }
  return false;
}

void LockTable::Add(const void* owner, uint64_t offset, uint64_t end, bool exclusive) {
  claims_.push_back(Claim{owner, offset, end, exclusive});
}

bool LockTable::Remove(const void* owner, uint64_t offset, uint64_t end, bool* exclusive) {
  for (auto it = claims_.begin(); it != claims_.end(); ++it) {
    if (it->owner == owner && it->offset == offset && it->end == end) {
      if (exclusive != nullptr) *exclusive = it->exclusive;
      claims_.erase(it);
      return true;
    }
  }
  return false;
}

void LockTable::RemoveAll(const void* owner) {
  std::erase_if(claims_, [owner](const Claim& c) { return c.owner == owner; });
}

std::vector<LockTable::Range> LockTable::Uncovered(const void* owner, uint64_t offset,
                                                   uint64_t end) const {
  std::vector<Range> covered;
  for (const Claim& c : claims_) {
    if (c.owner == owner && c.offset < end && offset < c.end) {
      covered.emplace_back(std::max(c.offset, offset), std::min(c.end, end));
    }
  }
  std::sort(covered.begin(), covered.end());
  std::vector<Range> result;
  uint64_t pos = offset;
  for (const Range& r : covered) {
    if (r.first > pos) result.emplace_back(pos, r.first);
    pos = std::max(pos, r.second);
  }
  if (pos < end) result.emplace_back(pos, end);
  return result;
}

}  // namespace vorsandt::env
