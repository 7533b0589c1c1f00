// The ordered entries of one QVF file, as the table layer sees them.
//
// Every entry is a key part and a data part; key parts are unique and ordered
// bytewise (unsigned, shorter first on a common prefix). The tree's empty
// entry (empty key part) is never returned. The file's B-tree implements this
// over its container; MemoryEntryStore implements it over a map for tests
// of the layers above.
//
// Status values are the runtime's error codes: 0 or the code to post.
#ifndef VORSANDT_STORAGE_QVF_TABLE_ENTRY_STORE_H_
#define VORSANDT_STORAGE_QVF_TABLE_ENTRY_STORE_H_

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime/files/error_codes.h"

namespace vorsandt::qvf {

struct StoredEntry {
  std::string key;
  std::string data;
};

enum class Search {
  kExact,           // the entry with this key part
  kNextAfter,       // the smallest entry greater than the key part
  kPreviousBefore,  // the greatest entry less than the key part
};

class EntryStore {
 public:
  virtual ~EntryStore() = default;

  // Finds an entry; `*out` is empty when there is none.
  [[nodiscard]] virtual int Find(Search how, std::string_view key, std::optional<StoredEntry>* out) = 0;
  // Inserts an entry whose key part is not in the store (callers check).
  [[nodiscard]] virtual int Insert(std::string_view key, std::string_view data) = 0;
  // Inserts an entry unless its key part is in the store already: then
  // nothing changes and the answer is 40 (files::kCreatesDuplicateKey).
  [[nodiscard]] virtual int InsertUnique(std::string_view key, std::string_view data);
  // Deletes the entry with this key part; deleting a missing entry is 0.
  [[nodiscard]] virtual int Delete(std::string_view key) = 0;
  // Replaces the data of an existing entry, or inserts it.
  [[nodiscard]] virtual int Put(std::string_view key, std::string_view data) {
    if (int rc = Delete(key); rc != 0) return rc;
    return Insert(key, data);
  }
  // Changes the data of the entry with this key part in one step: `change`
  // gets the data and returns whether it changed it. `*found` is false (and
  // nothing called) when there is no such entry.
  [[nodiscard]] virtual int Change(std::string_view key, const std::function<bool(std::string* data)>& change,
                     bool* found);
  // As Change for each of `keys`, given in ascending order: `change(i, &data)`
  // for the entry of keys[i], `found[i]` whether it is there. Stops at the
  // first failure.
  [[nodiscard]] virtual int ChangeEach(std::span<const std::string> keys,
                         const std::function<bool(size_t i, std::string* data)>& change,
                         bool* found);
  // The next value of the file's id counter (table ids and record numbers).
  [[nodiscard]] virtual int NextIdentifier(uint32_t* id) = 0;
  // Saves pending changes (both phases); Discard drops them.
  [[nodiscard]] virtual int Save() = 0;
  virtual void Discard() = 0;
  // Number of saves so far (the file header's change counter).
  virtual uint32_t ChangeCounter() const = 0;
};

inline int EntryStore::InsertUnique(std::string_view key, std::string_view data) {
  std::optional<StoredEntry> found;
  if (int rc = Find(Search::kExact, key, &found); rc != 0) return rc;
  if (found) return files::kCreatesDuplicateKey;
  return Insert(key, data);
}

inline int EntryStore::Change(std::string_view key,
                              const std::function<bool(std::string* data)>& change, bool* found) {
  std::optional<StoredEntry> e;
  *found = false;
  if (int rc = Find(Search::kExact, key, &e); rc != 0 || !e) return rc;
  *found = true;
  if (!change(&e->data)) return 0;
  return Put(key, e->data);
}

inline int EntryStore::ChangeEach(std::span<const std::string> keys,
                                  const std::function<bool(size_t i, std::string* data)>& change,
                                  bool* found) {
  std::fill(found, found + keys.size(), false);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (int rc = Change(
            keys[i], [&](std::string* data) { return change(i, data); }, &found[i]);
        rc != 0) {
      return rc;
    }
  }
  return 0;
}

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_ENTRY_STORE_H_
