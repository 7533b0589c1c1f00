// An EntryStore held in memory, with the id counter and change counter of a
// real file: the reference model for tests of records and keys, and the
// store tables use until a file's B-tree is attached.
#ifndef VORSANDT_STORAGE_QVF_TABLE_MEMORY_ENTRY_STORE_H_
#define VORSANDT_STORAGE_QVF_TABLE_MEMORY_ENTRY_STORE_H_

#include <map>
#include <string>

#include "storage/qvf/table/entry_store.h"

namespace vorsandt::qvf {

class MemoryEntryStore : public EntryStore {
 public:
  MemoryEntryStore() = default;

  [[nodiscard]] int Find(Search how, std::string_view key, std::optional<StoredEntry>* out) override;
  [[nodiscard]] int Insert(std::string_view key, std::string_view data) override;
  [[nodiscard]] int Delete(std::string_view key) override;
  [[nodiscard]] int NextIdentifier(uint32_t* id) override;
  [[nodiscard]] int Save() override;
  void Discard() override;
  uint32_t ChangeCounter() const override { return change_counter_; }

  // The committed entries (after the last Save).
  const std::map<std::string, std::string>& committed() const { return committed_; }
  const std::map<std::string, std::string>& entries() const { return entries_; }
  bool dirty() const { return dirty_; }
  uint32_t id_counter() const { return id_counter_; }

 private:
  std::map<std::string, std::string> entries_;
  std::map<std::string, std::string> committed_;
  uint32_t id_counter_ = 0;
  uint32_t committed_id_ = 0;
  uint32_t change_counter_ = 0;
  bool dirty_ = false;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_MEMORY_ENTRY_STORE_H_
