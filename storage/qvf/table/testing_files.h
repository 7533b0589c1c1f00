// Test support: a process's QVF files held in memory, for tests of tables
// and of the layers above them.
#ifndef VORSANDT_STORAGE_QVF_TABLE_TESTING_FILES_H_
#define VORSANDT_STORAGE_QVF_TABLE_TESTING_FILES_H_

#include <map>
#include <memory>
#include <string>

#include "runtime/files/error_codes.h"
#include "storage/qvf/table/definition.h"
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

// A small table for tests and seed files: CODE SHORT and NAME STRING(8)
// with a picture; a unique key on CODE, a descending key with duplicates on
// NAME; one text memo of 500 bytes.
inline TableDefinition SampleTableDefinition() {
  TableDefinition d;
  d.record_length = 10;
  d.fields.resize(2);
  d.fields[0].type = 2;
  d.fields[0].size = 2;
  d.fields[0].name = "S:CODE";
  d.fields[1].type = 18;
  d.fields[1].offset = 2;
  d.fields[1].size = 8;
  d.fields[1].string_length = 8;
  d.fields[1].name = "S:NAME";
  d.fields[1].picture = "@s8";
  d.keys.resize(2);
  d.keys[0].name = "S:BYCODE";
  d.keys[0].attributes = 0x16;
  d.keys[0].components = {{0, 0}};
  d.keys[1].name = "S:BYNAME";
  d.keys[1].attributes = 0x07;
  d.keys[1].components = {{1, kComponentDescending}};
  d.memos.resize(1);
  d.memos[0].name = "S:NOTES";
  d.memos[0].size = 500;
  d.SetVersion();
  return d;
}

}  // namespace vorsandt::qvf::testing

#endif  // VORSANDT_STORAGE_QVF_TABLE_TESTING_FILES_H_
