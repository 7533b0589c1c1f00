// The row buffer of a browse: the rows a list shows now, at most one page.
//
// A row holds the values of the list's columns, copied byte for byte from the
// fields of the record buffer they come from, and the record's position in
// the view, so that the record can be read again (to reselect it, or to fetch
// it with its parents before a button acts on it).
#ifndef VORSANDT_APP_BROWSE_BROWSE_ROWS_H_
#define VORSANDT_APP_BROWSE_BROWSE_ROWS_H_

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/files/file_decl.h"
#include "runtime/files/layout.h"
#include "runtime/format/picture.h"

namespace vorsandt::app {

// One list column: the field it shows and the picture it shows it through.
struct BrowseColumn {
  files::FileRecord* table = nullptr;  // the table whose record buffer holds the field
  files::FieldInfo field;              // offsets within that record
  uint32_t row_offset = 0;             // where the value lies in a row's bytes
  std::optional<format::Picture> picture;
};

struct BrowseRow {
  std::string values;    // the columns' field bytes, one after another
  std::string position;  // the record's position in the view
};

class BrowseRows {
 public:
  BrowseRows() = default;
  // Columns by full field name ("POL:EXCESS") with their pictures ("@n-10.2",
  // or "n-10.2" as a list format string writes them; empty: the value as it
  // is). Unknown names are left out and reported by bad_columns().
  void SetColumns(const std::vector<std::pair<std::string, std::string>>& columns);

  int size() const { return static_cast<int>(rows_.size()); }
  bool empty() const { return rows_.empty(); }
  // Row `row`, 1-based; the caller keeps it within 1..size().
  BrowseRow& at(int row) { return rows_[static_cast<size_t>(row - 1)]; }
  const BrowseRow& at(int row) const { return rows_[static_cast<size_t>(row - 1)]; }

  void Clear() { rows_.clear(); }
  void Append(BrowseRow row) { rows_.push_back(std::move(row)); }
  void Prepend(BrowseRow row) { rows_.push_front(std::move(row)); }
  // The first (last) row taken out of the buffer, so that a row added next
  // can reuse its storage.
  BrowseRow TakeFirst();
  BrowseRow TakeLast();
  void Remove(int row);

  // Every column's field from its record buffer, then `position`.
  BrowseRow FromRecords(std::string position) const;
  // The same into `row`, reusing the storage it already has.
  void FillFromRecords(BrowseRow* row, std::string_view position) const;
  // RowToRecord: the column fields of `row` back into the record buffers.
  void ToRecords(const BrowseRow& row) const;
  // The row's cells as the list shows them.
  std::vector<std::string> Cells(const BrowseRow& row) const;
  // The first row (from 1) whose position is `position`; 0 when none.
  int Find(std::string_view position) const;

  const std::vector<BrowseColumn>& columns() const { return columns_; }
  const std::vector<std::string>& bad_columns() const { return bad_columns_; }

 private:
  std::vector<BrowseColumn> columns_;
  std::vector<std::string> bad_columns_;
  uint32_t row_size_ = 0;
  std::deque<BrowseRow> rows_;
};

// The field `name` ("POL:INSURER_CODE") of the application's tables, and the
// table's declaration; false when no table has it.
bool FindTableField(std::string_view name, files::FileRecord** table, files::FieldInfo* field);
// A dictionary field as the file layer describes it.
files::FieldInfo FieldInfoOf(const FieldDef& def);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_BROWSE_ROWS_H_
