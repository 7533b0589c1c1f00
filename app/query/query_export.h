// A query's rows read whole, from the first to the last of its order: how
// many there are, and all of them as CSV text.
//
// The CSV follows `qvf export`: a header, then one line per row; the query's
// table gives its columns as `qvf export` writes them (memos included), the
// joined tables their fields after them. With no table joined the text is
// what `qvf export` writes for the rows the query finds.
//
// Both read through the browse's view, which is opened again at the start of
// its order afterwards; the page the list shows stays as it was. False when
// a read failed (the view is then closed).
#ifndef VORSANDT_APP_QUERY_QUERY_EXPORT_H_
#define VORSANDT_APP_QUERY_QUERY_EXPORT_H_

#include <string>
#include <vector>

#include "app/browse/browse.h"
#include "app/dictionary/dictionary.h"

namespace vorsandt::app::query {

bool CountQuery(Browse& browse, int* count);

// `tables` are the view's tables, the query's own first.
bool QueryToCsv(Browse& browse, const std::vector<Table>& tables, std::string* csv, int* records);

}  // namespace vorsandt::app::query

#endif  // VORSANDT_APP_QUERY_QUERY_EXPORT_H_
