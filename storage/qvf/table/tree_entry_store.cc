#include "storage/qvf/table/tree_entry_store.h"

#include "runtime/files/error_codes.h"

namespace vorsandt::qvf {

// The registry saves a store before it lets it go (FileRegistry::Release),
// so the close here has nothing left to save and nothing to report.
TreeEntryStore::~TreeEntryStore() { (void)container_.Close(); }

int TreeEntryStore::Open(env::Env* env, const std::string& path, bool create,
                         uint32_t container_flags) {
  // The file layer's "not found" is 2, not the mapped system error.
  if (!create && !env->Exists(path)) return files::kFileNotFound;
  uint32_t flags = container_flags | (create ? Container::kCreate : 0u);
  return container_.Open(path, flags);
}

int TreeEntryStore::Find(Search how, std::string_view key, std::optional<StoredEntry>* out) {
  // The entry is copied once, from its page into the two parts.
  EntryRef e;
  bool found = false;
  int rc = 0;
  switch (how) {
    case Search::kExact:
      rc = tree_.Locate(key, Tree::Mode::kExact, &e, &found);
      break;
    case Search::kNextAfter:
      rc = tree_.LocateNextAfter(key, &e, &found);
      break;
    case Search::kPreviousBefore:
      rc = tree_.Locate(key, Tree::Mode::kBelow, &e, &found);
      break;
  }
  if (rc != 0 || !found) {
    out->reset();
    return rc;
  }
  if (!out->has_value()) out->emplace();
  (*out)->key.assign(e.Key());
  (*out)->data.assign(e.bytes.substr(e.key_length));
  return 0;
}

int TreeEntryStore::Insert(std::string_view key, std::string_view data) {
  std::string bytes(key);
  bytes.append(data);
  return tree_.Insert(bytes, key.size());
}

int TreeEntryStore::InsertUnique(std::string_view key, std::string_view data) {
  std::string bytes(key);
  bytes.append(data);
  bool existed = false;
  if (int rc = tree_.Insert(bytes, key.size(), &existed); rc != 0) return rc;
  return existed ? files::kCreatesDuplicateKey : 0;
}

int TreeEntryStore::Change(std::string_view key,
                           const std::function<bool(std::string* data)>& change, bool* found) {
  return tree_.Change(key, change, found);
}

int TreeEntryStore::Put(std::string_view key, std::string_view data) {
  std::string bytes(key);
  bytes.append(data);
  return tree_.Put(bytes, key.size());
}

int TreeEntryStore::Delete(std::string_view key) {
  bool found = false;
  return tree_.Delete(key, &found);
}

StoreOpener TreeStoreOpener(env::Env* env, uint32_t container_flags) {
  return [env, container_flags](const std::string& path, bool create,
                                std::shared_ptr<EntryStore>* out) {
    auto store = std::make_shared<TreeEntryStore>(env);
    if (int rc = store->Open(env, path, create, container_flags); rc != 0) return rc;
    *out = std::move(store);
    return 0;
  };
}

FileRemover EnvFileRemover(env::Env* env) {
  return [env](const std::string& path) {
    int e = env->Delete(path);
    return e == 0 ? 0 : files::kSystemErrorBase + files::MapErrno(e, /*writing=*/true);
  };
}

}  // namespace vorsandt::qvf
