#include "storage/qvf/table/memory_entry_store.h"

#include "runtime/files/error_codes.h"

namespace vorsandt::qvf {

int MemoryEntryStore::Find(Search how, std::string_view key, std::optional<StoredEntry>* out) {
  out->reset();
  std::string k(key);
  auto it = entries_.end();
  switch (how) {
    case Search::kExact:
      it = entries_.find(k);
      break;
    case Search::kNextAfter:
      it = entries_.upper_bound(k);
      break;
    case Search::kPreviousBefore: {
      auto lb = entries_.lower_bound(k);
      if (lb != entries_.begin()) it = std::prev(lb);
      break;
    }
  }
  if (it != entries_.end()) *out = StoredEntry{it->first, it->second};
  return 0;
}

int MemoryEntryStore::Insert(std::string_view key, std::string_view data) {
  // Inserting a key part that exists is a caller's fault, as in the tree.
  if (key.empty() || !entries_.emplace(std::string(key), std::string(data)).second) {
    return files::kInvalidDataFile;
  }
  dirty_ = true;
  return 0;
}

int MemoryEntryStore::Delete(std::string_view key) {
  if (entries_.erase(std::string(key)) != 0) dirty_ = true;
  return 0;
}

int MemoryEntryStore::NextIdentifier(uint32_t* id) {
  // Identifiers never start with 0xFE or 0xFF: those bytes begin file-level
  // entries.
  if (id_counter_ + 1 >= 0xFE000000u) return files::kInvalidDataFile;
  *id = ++id_counter_;
  dirty_ = true;
  return 0;
}

int MemoryEntryStore::Save() {
  if (!dirty_) return 0;
  committed_ = entries_;
  committed_id_ = id_counter_;
  ++change_counter_;
  dirty_ = false;
  return 0;
}

void MemoryEntryStore::Discard() {
  entries_ = committed_;
  id_counter_ = committed_id_;
  dirty_ = false;
}

}  // namespace vorsandt::qvf
