// Test support: a process's QVF files held in memory, for tests of tables
// and of the layers above them.
#ifndef VORSANDT_STORAGE_QVF_TABLE_TESTING_FILES_H_
#define VORSANDT_STORAGE_QVF_TABLE_TESTING_FILES_H_

#include <map>
#include <memory>
#include <string>

#include "runtime/files/error_codes.h"
#include "storage/qvf/table/memory_entry_store.h"
#include "storage/qvf/table/shared_file.h"
#include "storage/qvf/table/table_name.h"

namespace vorsandt::qvf::testing {

// Files by identity; they outlive their opens, as files on disk do.
class MemoryFiles {
 public:
  MemoryFiles()
      : registry_(
            [this](const std::string& path, bool create, std::shared_ptr<EntryStore>* out) {
              ++opens_;
              auto it = files_.find(FileIdentity(path));
              if (it == files_.end()) {
                if (!create) return static_cast<int>(files::kFileNotFound);
                it = files_.emplace(FileIdentity(path), std::make_shared<MemoryEntryStore>()).first;
              }
              *out = it->second;
              return 0;
            },
            [this](const std::string& path) {
              files_.erase(FileIdentity(path));
              return 0;
            }) {}

  FileRegistry* registry() { return &registry_; }
  bool Exists(const std::string& path) const { return files_.count(FileIdentity(path)) != 0; }
  MemoryEntryStore* Store(const std::string& path) {
    auto it = files_.find(FileIdentity(path));
    return it == files_.end() ? nullptr : it->second.get();
  }
  int opens() const { return opens_; }

 private:
  std::map<std::string, std::shared_ptr<MemoryEntryStore>> files_;
  int opens_ = 0;
  FileRegistry registry_;  // last: its destructor still saves into files_
};

}  // namespace vorsandt::qvf::testing

#endif  // VORSANDT_STORAGE_QVF_TABLE_TESTING_FILES_H_
