// The table directory of a QVF file: entries 0xFE, table name, 0 → table id.
// Directory order is the bytewise order of the names.
#ifndef VORSANDT_STORAGE_QVF_TABLE_DIRECTORY_H_
#define VORSANDT_STORAGE_QVF_TABLE_DIRECTORY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/qvf/table/entry_store.h"

namespace vorsandt::qvf {

struct DirectoryItem {
  std::string name;
  uint32_t id = 0;
};

// Every table of the file, in directory order.
[[nodiscard]] int ListTables(EntryStore* store, std::vector<DirectoryItem>* out);

// The table after `after` in directory order (the first table when `after`
// is empty); `*out` is empty when there is none. `after` is compared in
// upper case, as table names are stored.
[[nodiscard]] int NextTableName(EntryStore* store, std::string_view after, std::optional<std::string>* out);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_DIRECTORY_H_
