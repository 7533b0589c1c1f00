#include "app/exchange/columns.h"

#include "runtime/files/names.h"

namespace vorsandt::exchange {
namespace {

std::string Line(int line, const std::string& text) {
  return "line " + std::to_string(line) + ": " + text;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
  return out;
}

}  // namespace

bool ArrangeColumns(const std::vector<std::string>& columns, std::vector<CsvRow>* rows,
                    std::string* error) {
  if (rows->empty()) {
    *error = Line(1, "no header row");
    return false;
  }
  const CsvRow& header = rows->front();
  // For each column of the header, the table's column it fills.
  std::vector<size_t> target(header.fields.size());
  std::vector<bool> named(columns.size(), false);
  bool identity = header.fields.size() == columns.size();
  for (size_t h = 0; h < header.fields.size(); ++h) {
    const std::string& name = header.fields[h];
    size_t c = 0;
    while (c < columns.size() && !files::SameName(name, columns[c])) ++c;
    if (c == columns.size()) {
      *error = Line(header.line,
                    "unknown column \"" + name + "\"; the table's columns are " + Joined(columns));
      return false;
    }
    if (named[c]) {
      *error = Line(header.line, "the column " + columns[c] + " is named twice");
      return false;
    }
    named[c] = true;
    target[h] = c;
    identity = identity && c == h;
  }
  // The table's own header: rows go through as they are, and a row of the
  // wrong width is reported against the table.
  if (identity) return true;
  for (size_t r = 1; r < rows->size(); ++r) {
    const CsvRow& row = (*rows)[r];
    if (row.fields.size() != header.fields.size()) {
      *error = Line(row.line, std::to_string(row.fields.size()) + " columns where the header has " +
                                  std::to_string(header.fields.size()));
      return false;
    }
  }
  for (size_t r = 1; r < rows->size(); ++r) {
    std::vector<std::string> arranged(columns.size());
    std::vector<std::string>& fields = (*rows)[r].fields;
    for (size_t h = 0; h < fields.size(); ++h) arranged[target[h]] = std::move(fields[h]);
    fields = std::move(arranged);
  }
  rows->front().fields = columns;
  return true;
}

}  // namespace vorsandt::exchange
