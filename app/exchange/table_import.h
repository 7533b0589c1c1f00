// Rows of a CSV file added to a table: what `qvf import` and the program's
// Import CSV do, written once.
//
// The header names the table's columns in any order, any subset of them (a
// column left out is blank; an unknown one is refused by its name, see
// columns.h). Every row is added in one transaction, creating the table file
// when it is missing; the first row that fails stops the import with
// "line N: <error text>" and nothing of the import is kept. A table that
// does not check clean is not written to (the check's first fault is the
// message). A row of a table whose insert form numbers its records that
// comes without its number (blank or 0) is numbered as the form would, one
// above the highest; when the field holds no higher number the import is
// refused at that row. A new table appears whole or not at all: it is built under a
// private name and renamed into place; when another process made the table
// meanwhile, the rows go into that one.
#ifndef VORSANDT_APP_EXCHANGE_TABLE_IMPORT_H_
#define VORSANDT_APP_EXCHANGE_TABLE_IMPORT_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"

namespace vorsandt::exchange {

// The outcome, numbered as the qvf tool's exit codes.
enum ImportStatus : int {
  kImported = 0,
  // A row failed or the CSV could not be read: nothing was changed.
  kImportFailed = 1,
  // The table could not be opened or made.
  kImportUnusable = 2,
};

// The storage check a table file passes before rows go into it: 0 when the
// file at `path` is sound, otherwise its faults (one line each).
using TableCheck = std::function<int(const std::string& path, std::vector<std::string>* faults)>;

// Adds the rows of `csv` to table `t` of the working directory (declared
// with its driver already). `*rows` (optional) receives the number added.
int ImportTable(app::Table t, std::string_view csv, const TableCheck& check, std::string* error,
                int* rows = nullptr);

}  // namespace vorsandt::exchange

#endif  // VORSANDT_APP_EXCHANGE_TABLE_IMPORT_H_
