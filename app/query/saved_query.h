// Queries kept by name: one small text file per query in the data folder,
// NAME.qry, one setting per line:
//
//   table ITEMS
//   join LOCATIONS
//   order ITE:LOC
//   example ITE:PRICE_PAID >100
//   filter UPPER(LOC:LOCATION) = 'KITCHEN' AND ITE:PRICE_PAID > 100
//
// The filter line is the expression as it was run, the user's own edits
// included; the example lines give the grid back. Lines the reader does not
// know are refused, so a damaged file is reported rather than half read.
#ifndef VORSANDT_APP_QUERY_SAVED_QUERY_H_
#define VORSANDT_APP_QUERY_SAVED_QUERY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/env/env.h"

namespace vorsandt::app::query {

struct SavedQuery {
  Table table = Table::kItems;
  std::vector<Table> joins;
  std::string order;                                          // key name, e.g. "ITE:LOC"
  std::vector<std::pair<std::string, std::string>> examples;  // field, typed text
  std::string filter;
};

inline constexpr char kQueryExtension[] = ".qry";

// A name a query may be saved under: 1 to 40 letters, digits, blanks, "_"
// and "-", not starting with a blank.
bool ValidQueryName(std::string_view name);

std::string QueryToText(const SavedQuery& query);
// False with `error` (naming the line) when the text is no query.
bool QueryFromText(std::string_view text, SavedQuery* query, std::string* error);

// The file of a query in `folder` ("" is the working directory).
std::string QueryFile(const std::string& folder, std::string_view name);

// Largest saved query file read.
inline constexpr uint64_t kMaxQueryFileBytes = 1u << 20;
bool SaveQuery(env::Env* env, const std::string& folder, std::string_view name,
               const SavedQuery& query, std::string* error);
bool LoadQuery(env::Env* env, const std::string& folder, std::string_view name, SavedQuery* query,
               std::string* error);
// The names of the queries saved in `folder`, sorted.
std::vector<std::string> SavedQueryNames(const std::string& folder);

}  // namespace vorsandt::app::query

#endif  // VORSANDT_APP_QUERY_SAVED_QUERY_H_
