// InventoryCheck: a walk through the house, one location at a time. The
// window lists the location's items with the day each was last seen; the
// "seen today" check box (or Space on the list) ticks the selected item,
// which writes today into CHECKS at once, and unticking takes today's check
// away again. The "Not seen" tab lists only the items never seen or not
// seen in the last twelve months, those never seen first.
#ifndef VORSANDT_APP_INVENTORY_INVENTORY_WINDOW_H_
#define VORSANDT_APP_INVENTORY_INVENTORY_WINDOW_H_

namespace vorsandt::app {

inline constexpr char kInventoryWindowId[] = "ZELTAR3$ZELTA_IC";
inline constexpr char kInventoryWindowLabel[] = "INVENTORYCHECK$WINDOW";

void InventoryCheck();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_INVENTORY_INVENTORY_WINDOW_H_
