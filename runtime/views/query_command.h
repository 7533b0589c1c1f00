// The "query" command of the query tool: rows of a table, optionally joined
// with related tables and filtered, as CSV.
//
//   query TABLE [--key KEYNAME] [--filter EXPR] [--join TABLE:KEYNAME]...
//         [--start FIELD=VALUE]...
//
// The tables are opened read-only; every table of the catalog has its fields
// bound, so filters may name fields of tables outside the view (set them with
// --start). A joined level is linked by its key's first component to the
// parent field the catalog's relations name, the parent being the latest
// earlier level that such a relation reaches. The order is the key's (from
// the --start values when given, else from its first entry), or physical
// order without --key. Output: a header line of the projected field names,
// then one line per row; texts without trailing blanks, quoted when they hold
// a comma, a quote, a line break or leading or trailing blanks; numbers in
// decimal, decimals with their declared places. Texts are converted from the
// records' ANSI character set to UTF-8, and arguments the other way.
#ifndef VORSANDT_RUNTIME_VIEWS_QUERY_COMMAND_H_
#define VORSANDT_RUNTIME_VIEWS_QUERY_COMMAND_H_

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/files/file_decl.h"

namespace vorsandt::views {

inline constexpr int kQueryDone = 0;
inline constexpr int kQueryFailed = 1;  // a table, key, field or filter problem; err holds the text
inline constexpr int kQueryUsage = 2;

struct QueryRelation {
  std::string parent_table;  // labels, e.g. "ITEMS"
  std::string parent_field;  // full field names, e.g. "ITE:ITEM_CODE"
  std::string child_table;
  std::string child_field;
};

// What the command knows of the application: its tables (declarations with
// their driver) and the relations between them.
struct QueryCatalog {
  std::vector<files::FileRecord*> tables;
  std::vector<QueryRelation> relations;
};

// Runs the command over its arguments (those after "query"); appends the CSV
// to *out, or an error text or usage line to *err.
int RunQueryCommand(std::span<const std::string_view> args, const QueryCatalog& catalog,
                    std::string* out, std::string* err);

}  // namespace vorsandt::views

#endif  // VORSANDT_RUNTIME_VIEWS_QUERY_COMMAND_H_
