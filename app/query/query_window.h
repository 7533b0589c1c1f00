// The query program's window: query by example over the tables of the
// working directory.
//
// The user chooses a table and the parents to join, types examples into the
// grid (one row per field of the view's tables), and runs the query: the
// examples become the view's filter (shown, and editable before a run), the
// chosen key gives the order, and the rows found are shown a page at a time
// by the browse routines, as the browses show theirs. Count reads to the end
// and says how many rows there are; Export to CSV writes them all by the CSV
// rules of the qvf tool's export. Queries are saved by name in the data folder
// (saved_query.h).
//
// Tables are opened read-only and nothing is written to them. A table that
// cannot be opened or read is reported by the message catalogue and named on
// the status line; an example that cannot be read, or a condition the
// evaluator refuses, is shown in the grid's message column beside its field,
// and the query does not run until it is corrected.
#ifndef VORSANDT_APP_QUERY_QUERY_WINDOW_H_
#define VORSANDT_APP_QUERY_QUERY_WINDOW_H_

#include <string>

namespace vorsandt::app::query {

inline constexpr char kQueryWindowId[] = "ZELTAR3$ZELTA_QB";
inline constexpr char kQueryWindowLabel[] = "QUERYBYEXAMPLE$WINDOW";

// Runs the window on the calling procedure thread until it closes. With
// `saved`, the query saved under that name is opened and run at once.
void RunQueryByExample(const std::string& saved = "");

}  // namespace vorsandt::app::query

#endif  // VORSANDT_APP_QUERY_QUERY_WINDOW_H_
