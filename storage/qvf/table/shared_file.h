// One open QVF file per physical file in the process, shared by every table
// and every open of it and counted by reference.
//
// Files are identified by name without regard to case. The last Release
// saves pending changes and closes the file; a file whose last table was
// removed is deleted then.
#ifndef VORSANDT_STORAGE_QVF_TABLE_SHARED_FILE_H_
#define VORSANDT_STORAGE_QVF_TABLE_SHARED_FILE_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "storage/qvf/table/entry_store.h"

namespace vorsandt::qvf {

// Opens (or, with `create`, creates) the entry store of a file. Returns 0,
// 2 when the file does not exist and may not be created, or another code.
using StoreOpener =
    std::function<int(const std::string& path, bool create, std::shared_ptr<EntryStore>* out)>;
// Deletes a file (its last table was removed). Returns 0 or a code.
using FileRemover = std::function<int(const std::string& path)>;

class SharedFile {
 public:
  SharedFile(std::string path, std::shared_ptr<EntryStore> store)
      : path_(std::move(path)), store_(std::move(store)) {}
  EntryStore& store() { return *store_; }
  const std::string& path() const { return path_; }
  int users() const { return users_; }
  // The file is deleted when its last user releases it.
  void RemoveWhenClosed(bool remove) { remove_when_closed_ = remove; }
  bool remove_when_closed() const { return remove_when_closed_; }

 private:
  friend class FileRegistry;
  std::string path_;
  std::shared_ptr<EntryStore> store_;
  int users_ = 0;
  bool remove_when_closed_ = false;
};

class FileRegistry {
 public:
  FileRegistry(StoreOpener opener, FileRemover remover)
      : opener_(std::move(opener)), remover_(std::move(remover)) {}
  ~FileRegistry();
  FileRegistry(const FileRegistry&) = delete;
  FileRegistry& operator=(const FileRegistry&) = delete;

  // The shared file for `path`, opened on first use. `*out` stays valid until
  // the matching Release.
  [[nodiscard]] int Acquire(const std::string& path, bool create, SharedFile** out);
  // Drops one use; the last saves and closes (and deletes a file marked for
  // removal). Returns the save's or removal's status.
  [[nodiscard]] int Release(SharedFile* file);
  // Number of files open.
  size_t open_files() const;
  // The open file for `path`, or nullptr.
  SharedFile* Find(const std::string& path) const;

 private:
  StoreOpener opener_;
  FileRemover remover_;
  mutable std::mutex mutex_;
  std::map<std::string, std::unique_ptr<SharedFile>> files_;  // by FileIdentity
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_SHARED_FILE_H_
