// The table layer's view of a real QVF file: its container and B-tree, and
// the opener and remover that make a FileRegistry of files on disk.
#ifndef VORSANDT_STORAGE_QVF_TABLE_TREE_ENTRY_STORE_H_
#define VORSANDT_STORAGE_QVF_TABLE_TREE_ENTRY_STORE_H_

#include <memory>
#include <string>

#include "runtime/env/env.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/container.h"
#include "storage/qvf/table/entry_store.h"
#include "storage/qvf/table/shared_file.h"

namespace vorsandt::qvf {

class TreeEntryStore : public EntryStore {
 public:
  explicit TreeEntryStore(env::Env* env) : container_(env), tree_(&container_) {}
  ~TreeEntryStore() override;

  // Opens the file (with `create`, making it when missing). Returns 0, 2 when
  // it does not exist and may not be made, 36 when it is not a QVF file, or
  // 300 + the system error.
  [[nodiscard]] int Open(env::Env* env, const std::string& path, bool create, uint32_t container_flags = 0);
  [[nodiscard]] int Close() { return container_.Close(); }

  [[nodiscard]] int Find(Search how, std::string_view key, std::optional<StoredEntry>* out) override;
  [[nodiscard]] int Insert(std::string_view key, std::string_view data) override;
  [[nodiscard]] int InsertUnique(std::string_view key, std::string_view data) override;
  [[nodiscard]] int Delete(std::string_view key) override;
  // Replaces in place (one search instead of a delete and an insert).
  [[nodiscard]] int Put(std::string_view key, std::string_view data) override;
  [[nodiscard]] int Change(std::string_view key, const std::function<bool(std::string* data)>& change,
             bool* found) override;
  [[nodiscard]] int ChangeEach(std::span<const std::string> keys,
                 const std::function<bool(size_t i, std::string* data)>& change,
                 bool* found) override {
    return tree_.ChangeEach(keys, change, found);
  }
  [[nodiscard]] int NextIdentifier(uint32_t* id) override { return container_.NextIdentifier(id); }
  [[nodiscard]] int Save() override { return container_.Save(); }
  void Discard() override { container_.DiscardAfterFailure(); }
  uint32_t ChangeCounter() const override { return container_.header().change_counter; }

  Container& container() { return container_; }
  Tree& tree() { return tree_; }

 private:
  Container container_;
  Tree tree_;
};

// A registry opener and remover for QVF files on disk through `env`.
StoreOpener TreeStoreOpener(env::Env* env, uint32_t container_flags = 0);
FileRemover EnvFileRemover(env::Env* env);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_TREE_ENTRY_STORE_H_
