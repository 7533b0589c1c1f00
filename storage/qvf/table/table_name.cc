#include "storage/qvf/table/table_name.h"

#include "runtime/files/error_codes.h"
#include "runtime/format/characters.h"

namespace vorsandt::qvf {

int SplitTableName(std::string_view name, TableName* out) {
  if (name.find('\0') != std::string_view::npos) return files::kInvalidFilename;
  std::string_view file = name;
  std::string_view table;
  bool has_table = false;
  if (size_t bang = name.find(kTableSeparator); bang != std::string_view::npos) {
    file = name.substr(0, bang);
    table = name.substr(bang + 1);
    has_table = true;
  }
  // Blanks around the file part come from fixed-length name fields.
  while (!file.empty() && file.back() == ' ') file.remove_suffix(1);
  while (!file.empty() && file.front() == ' ') file.remove_prefix(1);
  while (!table.empty() && table.back() == ' ') table.remove_suffix(1);
  if (file.empty()) return files::kInvalidFilename;
  size_t slash = file.find_last_of('/');
  std::string_view last = slash == std::string_view::npos ? file : file.substr(slash + 1);
  if (last.empty()) return files::kInvalidFilename;
  out->file.assign(file);
  // A leading dot marks a hidden file, not an extension.
  if (last.find('.', 1) == std::string_view::npos) out->file += kDefaultExtension;
  out->table =
      has_table && !table.empty() ? format::ToUpperText(table) : std::string(kUnnamedTable);
  return 0;
}

std::string FileIdentity(std::string_view file) {
  std::string id(file);
  for (char& c : id) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return id;
}

bool SameFile(std::string_view a, std::string_view b) { return FileIdentity(a) == FileIdentity(b); }

}  // namespace vorsandt::qvf
