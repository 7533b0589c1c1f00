// FindRecords: the Find window (Edit > Find..., Ctrl+F from any window). One
// entry; as the user types, RecordSearch's results are listed grouped by
// table with what matched highlighted. Enter or a double click opens the
// selected record's update form (Change), Ctrl+Enter the table's browse at
// that record. An item's code followed by Enter, which is what a scanner
// sends for an item's label, opens that item's form at once.
//
// The tables are read when the window opens and again whenever it comes back
// to the front, and a table is read again after a form opened from here.
#ifndef VORSANDT_APP_FIND_FIND_WINDOW_H_
#define VORSANDT_APP_FIND_FIND_WINDOW_H_

namespace vorsandt::app {

inline constexpr char kFindWindowId[] = "ZELTAR3$ZELTA_FD";
inline constexpr char kFindLabel[] = "FIND$WINDOW";

void FindRecords();
// Edit > Go to... (Ctrl+G): the same window, for a scanned label or a code.
void GoToRecord();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FIND_FIND_WINDOW_H_
