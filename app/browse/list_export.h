// "Export List...": every record of a list's current order, within its range
// and filter (not only the page shown), written to a CSV file by the rules of
// the qvf tool's export (app/exchange), so that `qvf import` reads it back.
//
// Invariant: the file chosen is either left as it was or holds the whole
// list; it is replaced through a flushed temporary beside it, and a failure
// is reported with its reason, never taken for success.
#ifndef VORSANDT_APP_BROWSE_LIST_EXPORT_H_
#define VORSANDT_APP_BROWSE_LIST_EXPORT_H_

#include <string>

#include "app/browse/browse.h"
#include "ui/engine/platform.h"

namespace vorsandt::app {

// The list's File menu item and the text of its popup item.
inline constexpr int kExportListItem = -1;
inline constexpr char kExportListPopupItem[] = "|&Export List...";

// Reads the browse's current order from its start to its end as CSV text: a
// header of the table's columns, then one row per record. Leaves the view
// closed (the caller opens it again). False with `error` when a read failed.
bool ListToCsv(Browse& browse, std::string* csv, int* records, std::string* error);

// Writes `csv` (`records` rows) as the whole of `path` and tells the user how
// it went: the count written, or the reason it was not.
void SaveExportedList(const std::string& path, const std::string& csv, int records);

// Asks for a file through the platform's file dialog, writes the list there
// and tells the user how it went. `owner` is the list's window.
void ExportList(Browse& browse, ui::WindowId owner);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_LIST_EXPORT_H_
