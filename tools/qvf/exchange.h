// The qvf tool's data exchange for the application's eight tables, found by
// their names in the working directory: export to CSV, import from CSV,
// rebuild of the keys. Everything goes through the file access layer and the
// native driver, so the files stay exactly as the program itself writes them.
//
//   qvf export TABLE [--key KEYNAME] [--out FILE.csv]
//       a header row of the full field names, then one row per record in the
//       key's order (record order without a key; records a key leaves out,
//       those whose optional key value is blank, follow in record order); to
//       standard output without --out
//   qvf import TABLE FILE.csv
//       the header names the table's columns in any order, any subset of
//       them (a column left out is blank; an unknown one is refused by its
//       name); adds every row in one transaction, creating the table file when it is
//       missing; the first row that fails stops the import with
//       "line N: <error text>" and nothing of the import is kept. A table
//       that does not check clean is not written to (the check's first fault
//       is the message). A new table appears whole or not at all: it is
//       built under a private name and renamed into place; when another
//       process made the table meanwhile, the rows go into that one
//   qvf rebuild TABLE
//       rebuilds every key of the table, holding it for the whole rebuild:
//       other processes wait (and give up with 32 after the lock wait)
// The values of a row are those of record_text.h; the CSV is that of csv.h.
#ifndef VORSANDT_TOOLS_QVF_EXCHANGE_H_
#define VORSANDT_TOOLS_QVF_EXCHANGE_H_

#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/exchange/columns.h"
#include "app/exchange/csv.h"
#include "app/exchange/record_text.h"

namespace vorsandt::tools {

// The record text and CSV rules are shared with the program's list export.
using exchange::AppendCsvLine;
using exchange::ColumnNames;
using exchange::CsvField;
using exchange::CsvLine;
using exchange::CsvRow;
using exchange::FieldToText;
using exchange::IsDateField;
using exchange::MemoToText;
using exchange::ParseCsv;
using exchange::RecordToValues;
using exchange::TextToField;
using exchange::TextToMemo;
using exchange::Utf8ToAnsi;
using exchange::ValuesToRecord;

// Exit codes of the commands.
inline constexpr int kExitOk = 0;
// A row or a record failed (nothing was changed), the CSV could not be read,
// or the output could not be written (nothing of it is left under its name).
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;   // bad arguments, or a file that cannot be read

// The table labelled `name` (case does not matter).
bool FindTable(std::string_view name, app::Table* out);
// Key `name` of table `t`: its full name ("ITE:LOC") or the part after the
// prefix ("LOC"); nullptr when the table has no such key.
const files::KeyDecl* FindKey(app::Table t, std::string_view name);

// The table as CSV text, in the order of `key` (record order when null).
int ExportTable(app::Table t, const files::KeyDecl* key, std::string* csv, std::string* error);
// Adds the rows of `csv` to the table in one transaction.
int ImportTable(app::Table t, std::string_view csv, std::string* error);
// Rebuilds the table's keys; `report` gets one line saying so.
int RebuildTable(app::Table t, std::string* report, std::string* error);

// Runs "export", "import" or "rebuild" with the arguments after the command
// word; `out` is what goes to standard output (unless --out names a file),
// `err` to standard error. Returns the exit code, or -1 when `command` is
// none of the three.
int RunExchangeCommand(std::string_view command, const std::vector<std::string>& args,
                       std::string* out, std::string* err);

}  // namespace vorsandt::tools

#endif  // VORSANDT_TOOLS_QVF_EXCHANGE_H_
