#include "app/browse/browse_rows.h"

#include <cstring>

#include "app/dictionary/dictionary.h"
#include "runtime/format/format.h"
#include "runtime/views/field_values.h"

namespace vorsandt::app {

files::FieldInfo FieldInfoOf(const FieldDef& def) {
  files::FieldInfo f;
  f.name = def.name;
  f.offset = def.offset;
  f.type = def.type;
  f.size = def.size;
  f.decimals = def.places;
  return f;
}

bool FindTableField(std::string_view name, files::FileRecord** table, files::FieldInfo* field) {
  const FieldDef* def = FieldNamed(name);
  Table t;
  if (def == nullptr || !TableOfName(name, &t) || File(t) == nullptr) return false;
  *table = File(t);
  *field = FieldInfoOf(*def);
  return true;
}

void BrowseRows::SetColumns(const std::vector<std::pair<std::string, std::string>>& columns) {
  columns_.clear();
  bad_columns_.clear();
  rows_.clear();
  row_size_ = 0;
  for (const auto& [name, picture] : columns) {
    BrowseColumn c;
    if (!FindTableField(name, &c.table, &c.field)) {
      bad_columns_.push_back(name);
      continue;
    }
    c.row_offset = row_size_;
    row_size_ += c.field.size;
    if (!picture.empty()) c.picture = format::CompilePicture(picture);
    columns_.push_back(std::move(c));
  }
}

void BrowseRows::Remove(int row) {
  if (row < 1 || row > size()) return;
  rows_.erase(rows_.begin() + (row - 1));
}

BrowseRow BrowseRows::TakeFirst() {
  BrowseRow row = std::move(rows_.front());
  rows_.pop_front();
  return row;
}

BrowseRow BrowseRows::TakeLast() {
  BrowseRow row = std::move(rows_.back());
  rows_.pop_back();
  return row;
}

BrowseRow BrowseRows::FromRecords(std::string position) const {
  BrowseRow row;
  FillFromRecords(&row, {});
  row.position = std::move(position);
  return row;
}

void BrowseRows::FillFromRecords(BrowseRow* row, std::string_view position) const {
  row->values.resize(row_size_);
  for (const BrowseColumn& c : columns_) {
    const uint8_t* record = files::RecordBuffer(c.table);
    std::memcpy(row->values.data() + c.row_offset, record + c.field.offset, c.field.size);
  }
  row->position.assign(position);
}

void BrowseRows::ToRecords(const BrowseRow& row) const {
  if (row.values.size() < row_size_) return;
  for (const BrowseColumn& c : columns_) {
    uint8_t* record = files::RecordBuffer(c.table);
    std::memcpy(record + c.field.offset, row.values.data() + c.row_offset, c.field.size);
  }
}

std::vector<std::string> BrowseRows::Cells(const BrowseRow& row) const {
  std::vector<std::string> cells;
  cells.reserve(columns_.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(row.values.data());
  for (const BrowseColumn& c : columns_) {
    // The value read as if the row were the record (offsets shifted).
    files::FieldInfo at = c.field;
    at.offset = c.row_offset;
    if (row.values.size() < c.row_offset + c.field.size) {
      cells.emplace_back();
    } else if (views::IsTextField(at)) {
      std::string text = views::FieldText(at, bytes);
      cells.push_back(c.picture ? format::Format(text, *c.picture) : text);
    } else {
      double number = views::FieldNumber(at, bytes);
      cells.push_back(c.picture ? format::Format(number, *c.picture) : format::NumberText(number));
    }
  }
  return cells;
}

int BrowseRows::Find(std::string_view position) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].position == position) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace vorsandt::app
