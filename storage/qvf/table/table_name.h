// Table names: a file part and the name of a table inside that file.
//
// The file layer names a table "FILE!TABLE". The file part gets the default
// extension ".QVF" when its last path component has none; the table part is
// upper-cased through the locale's case table; without "!" (or with nothing
// after it) the table is "UNNAMED". Files are identified without regard to
// case, so "DATA!ITEMS" and "data.qvf!items" are the same table.
#ifndef VORSANDT_STORAGE_QVF_TABLE_TABLE_NAME_H_
#define VORSANDT_STORAGE_QVF_TABLE_TABLE_NAME_H_

#include <string>
#include <string_view>

namespace vorsandt::qvf {

inline constexpr char kTableSeparator = '!';
inline constexpr std::string_view kDefaultExtension = ".QVF";
inline constexpr std::string_view kUnnamedTable = "UNNAMED";

struct TableName {
  std::string file;   // path as given, with the default extension added
  std::string table;  // upper case
};

// Splits `name`. Returns 0, or 45 (Invalid Filename) when the file part is
// empty or the name holds a NUL byte.
[[nodiscard]] int SplitTableName(std::string_view name, TableName* out);

// The identity of a file for sharing one container per physical file: the
// path upper-cased byte by byte (ASCII), so that names differing only in
// letter case meet.
std::string FileIdentity(std::string_view file);

// True when the two file paths name the same file, ignoring case.
bool SameFile(std::string_view a, std::string_view b);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_TABLE_NAME_H_
