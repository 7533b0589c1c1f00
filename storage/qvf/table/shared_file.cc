#include "storage/qvf/table/shared_file.h"

#include "storage/qvf/table/table_name.h"

namespace vorsandt::qvf {

FileRegistry::~FileRegistry() {
  // The registry goes with the process: a save failing now has nobody left
  // to tell, and the files keep their last committed state.
  for (auto& [id, file] : files_) (void)file->store().Save();
}

int FileRegistry::Acquire(const std::string& path, bool create, SharedFile** out) {
  std::lock_guard<std::mutex> lock(mutex_);
  *out = nullptr;
  std::string id = FileIdentity(path);
  auto it = files_.find(id);
  if (it == files_.end()) {
    std::shared_ptr<EntryStore> store;
    if (int rc = opener_(path, create, &store); rc != 0) return rc;
    it = files_.emplace(id, std::make_unique<SharedFile>(path, std::move(store))).first;
  }
  ++it->second->users_;
  *out = it->second.get();
  return 0;
}

int FileRegistry::Release(SharedFile* file) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file == nullptr) return 0;
  auto it = files_.find(FileIdentity(file->path()));
  if (it == files_.end() || it->second.get() != file) return 0;
  if (--file->users_ > 0) return 0;
  int rc = file->store().Save();
  bool remove = file->remove_when_closed();
  std::string path = file->path();
  files_.erase(it);
  if (remove && remover_) {
    if (int removed = remover_(path); rc == 0) rc = removed;
  }
  return rc;
}

size_t FileRegistry::open_files() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return files_.size();
}

SharedFile* FileRegistry::Find(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = files_.find(FileIdentity(path));
  return it == files_.end() ? nullptr : it->second.get();
}

}  // namespace vorsandt::qvf
