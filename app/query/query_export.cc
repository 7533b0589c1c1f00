#include "app/query/query_export.h"

#include "app/exchange/csv.h"
#include "app/exchange/record_text.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"

namespace vorsandt::app::query {
namespace {

// Calls `row` for each row of the browse's order; false as soon as `row` or
// a read fails.
template <typename RowFn>
bool ReadAll(Browse& browse, RowFn row) {
  browse.OpenOrder();
  if (browse.failed()) return false;
  files::Errors().Clear();
  files::ReadRun run;
  for (;;) {
    files::Next(browse.view());
    const int32_t code = files::Errors().Code();
    if (code == files::kRecordNotAvailable) break;
    if (code != files::kNoError || !row()) {
      browse.CloseView();
      return false;
    }
  }
  files::Errors().Clear();
  browse.OpenOrder();
  return true;
}

}  // namespace

bool CountQuery(Browse& browse, int* count) {
  *count = 0;
  return ReadAll(browse, [&] {
    ++*count;
    return true;
  });
}

bool QueryToCsv(Browse& browse, const std::vector<Table>& tables, std::string* csv, int* records) {
  const Table own = tables.front();
  const TableDef& primary = Def(own);
  files::FileRecord* table = File(own);
  std::vector<std::string> header = exchange::ColumnNames(primary);
  std::vector<std::pair<const FieldDef*, files::FileRecord*>> joined;
  for (size_t i = 1; i < tables.size(); ++i) {
    for (const FieldDef& f : Def(tables[i]).fields) {
      joined.emplace_back(&f, File(tables[i]));
      header.push_back(f.name);
    }
  }
  *csv = exchange::CsvLine(header);
  *records = 0;
  return ReadAll(browse, [&] {
    // A view reads a record without its memos; read again by its primary
    // key, the record brings them.
    if (!primary.memos.empty()) {
      files::RegetKey(table, Key(own, 1), files::PositionKey(table, Key(own, 1)));
      if (files::Errors().Code() != files::kNoError) return false;
    }
    files::FileRecord* instance = files::InstanceOf(table);
    std::vector<std::string> values =
        exchange::RecordToValues(primary, instance->buffer, instance->memo_buffers);
    for (const auto& [field, file] : joined) {
      values.push_back(exchange::FieldToText(*field, files::InstanceOf(file)->buffer));
    }
    *csv += exchange::CsvLine(values);
    ++*records;
    return true;
  });
}

}  // namespace vorsandt::app::query
