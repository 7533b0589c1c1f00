// The table commands of the qvf tool, as functions that print into a text:
//
//   qvf tables FILE              the tables of a file, in directory order
//   qvf definition FILE[!TABLE]  a table's stored fields, memos and keys
//   qvf check FILE               (beside the page walk) every table: record
//                                count against its counter, each maintained
//                                key holds exactly the entries its records
//                                give, and no entry lacks its record
//
// Each returns the tool's exit status: 0 done (or sound), 1 faults found
// (check), 2 the file or table cannot be read. Files are opened read-only.
#ifndef VORSANDT_STORAGE_QVF_TABLE_QVF_TABLE_COMMANDS_H_
#define VORSANDT_STORAGE_QVF_TABLE_QVF_TABLE_COMMANDS_H_

#include <string>
#include <string_view>
#include <vector>

#include "runtime/env/env.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/entry_store.h"

namespace vorsandt::qvf {

[[nodiscard]] int ListTablesCommand(env::Env* env, const std::string& path, std::string* out);
[[nodiscard]] int DefinitionCommand(env::Env* env, const std::string& name, std::string* out);

// Verifies the tables of an open store; one line per fault. `oem` encodes
// text keys as a table kept in the OEM set would.
void CheckTableEntries(EntryStore* store, std::vector<std::string>* faults, bool oem = false);
// Opens `path` read-only and checks its tables. Returns 0, 1 or 2 as above;
// with 2 the reason is the only line of `*faults`.
[[nodiscard]] int CheckTablesCommand(env::Env* env, const std::string& path, std::vector<std::string>* faults);

// `qvf check FILE` in full: the page walk of the container's checker and,
// when the pages are sound, the table check. Returns 0 sound, 1 with one
// line per fault, 2 when the file cannot be read (the reason is the only
// line). Broken structures met on the way are reported, never fatal.
[[nodiscard]] int FullCheckCommand(env::Env* env, const std::string& path, std::vector<std::string>* faults);

// Whether the file `path` holds the table `table` (upper case, "UNNAMED")
// stored with the structure of `declared`: the test an open of the table
// makes (names and pictures may differ). Returns 0 when it does, 1 when it
// does not, 2 when the file cannot be read; with 1 and 2 `*why` says so in
// words ("it holds no table UNNAMED", "its stored fields differ ...").
[[nodiscard]] int CheckStoredTable(env::Env* env, const std::string& path, const std::string& table,
                     const TableDefinition& declared, std::string* why);

// Runs `qvf COMMAND ARG` for "tables", "definition" and "check", printing
// into `*out` (lines for stdout) and `*err` (for stderr). Returns the exit
// status, or -1 when COMMAND is none of these.
[[nodiscard]] int RunTableCommand(env::Env* env, std::string_view command, const std::string& arg,
                    std::string* out, std::string* err);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_QVF_TABLE_COMMANDS_H_
