// The keys a list of records alerts, shared by the list windows and the
// child lists of the update forms: Insert, Delete and Ctrl+Enter stand for
// the Insert, Delete and Change buttons, a double click for Change (or Select
// in a select window).
#ifndef VORSANDT_APP_BROWSE_LIST_KEYS_H_
#define VORSANDT_APP_BROWSE_LIST_KEYS_H_

#include "ui/engine/events.h"
#include "ui/engine/window.h"

namespace vorsandt::app {

// Alert-key slots of the list.
inline constexpr int kInsertSlot = 255;
inline constexpr int kDeleteSlot = 254;
inline constexpr int kCtrlEnterSlot = 253;
inline constexpr int kDoubleClickSlot = 252;
inline constexpr int kCtrlEnter = ui::key::kCtrl + ui::key::kEnter;

// Alerts the keys that stand for the Insert, Delete and Change buttons.
inline void AlertUpdateKeys(ui::Window& window, int list) {
  window.SetProperty(list, ui::prop::kAlertKey, ui::key::kInsert, kInsertSlot);
  window.SetProperty(list, ui::prop::kAlertKey, ui::key::kDelete, kDeleteSlot);
  window.SetProperty(list, ui::prop::kAlertKey, kCtrlEnter, kCtrlEnterSlot);
}

// Alerts the double click.
inline void AlertDoubleClick(ui::Window& window, int list) {
  window.SetProperty(list, ui::prop::kAlertKey, ui::key::kMouseLeft2, kDoubleClickSlot);
}

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_LIST_KEYS_H_
