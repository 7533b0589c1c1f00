// InventorySummary (Reports > Summary): where the inventory's value sits, as
// charts (value_summary.h). A click on a location's bar lists the items kept
// there, on a policy's bar the items it covers, each list on a thread of its
// own as the frame's lists are. Coming back to the window reads the tables
// again, so what a list changed shows.
#ifndef VORSANDT_APP_SUMMARY_SUMMARY_WINDOW_H_
#define VORSANDT_APP_SUMMARY_SUMMARY_WINDOW_H_

namespace vorsandt::app {

inline constexpr char kSummaryWindowId[] = "ZELTAR3$ZELTA_SM";
inline constexpr char kSummaryWindowLabel[] = "INVENTORYSUMMARY$WINDOW";

void InventorySummary();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_SUMMARY_SUMMARY_WINDOW_H_
