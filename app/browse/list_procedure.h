// The list procedures: browses and selects, one procedure written once and
// driven by a table of instances.
//
// A browse shows a table page by page (Browse) in a window whose sheet picks
// the order, lets the user insert, change and delete through the table's
// update form, and opens related procedures from its buttons. A select is the
// same window without the update form: its Select button hands the chosen
// record back to the procedure that called it with request 4.
//
// Each instance is data (ListDef): its window, tables, orders, columns,
// buttons and the few switches in which instances differ; what one instance
// adds of its own (BrowseItems1's totals) is its hook (ListHook). A procedure the list calls that
// is not part of the program answers "cancelled" and the list carries on.
#ifndef VORSANDT_APP_BROWSE_LIST_PROCEDURE_H_
#define VORSANDT_APP_BROWSE_LIST_PROCEDURE_H_

#include <memory>
#include <span>

#include "app/browse/browse.h"
#include "app/dictionary/dictionary.h"

namespace vorsandt::ui {
class Window;
}  // namespace vorsandt::ui

namespace vorsandt::app {

class ListProcedure;

// What one instance adds to the generic list, made afresh for each run of
// the procedure and used on its thread: variables of its own bound in the
// window, and work before every rebuild of the key spread.
class ListHook {
 public:
  virtual ~ListHook() = default;
  // Called once, after the tables' records are bound in the window.
  virtual void Bind(ui::Window& window) = 0;
  virtual void BeforeSpread(ListProcedure& list) = 0;
};

// A button that calls another procedure on the list's thread.
struct ListButton {
  const char* use;        // the button's field equate, e.g. "?SelectInsurance_Company"
  const char* procedure;  // e.g. "SelectInsurance_Company"
  bool select = false;    // called with request 4 (select), to choose a parent
};

enum class ListKind { kBrowse, kSelect };

struct ListDef {
  ListKind kind = ListKind::kBrowse;
  const char* procedure = "";  // e.g. "BrowsePolicy"
  const char* window_id = "";  // e.g. "ZELTAR3$ZELTA011"
  const char* label = "";      // e.g. "BROWSEPOLICY$QUICKWINDOW"
  Table primary = Table::kPolicy;
  std::span<const Table> tables = {};         // opened in this order, closed in it too
  std::span<const BrowseOrder> orders = {};   // one per tab of the sheet, in tab order
  std::span<const char* const> columns = {};  // the field shown by each list column
  const char* update_form = nullptr;          // browses: e.g. "UpdatePolicy"
  std::span<const ListButton> buttons = {};
  bool quick_scan = false;
  // Right-click menu with rows and without them (browses; selects build their
  // own from "&Select").
  const char* popup = "|&Insert|&Change|&Delete";
  const char* popup_empty = "|&Insert|~&Change|~&Delete";
  // The entry before the list whose value relocates the list ("INS:REFERENCE").
  const char* entry_locator = nullptr;
  bool incremental_locator = false;
  // Makes the instance's hook (BrowseItems1's totals); none for most.
  std::unique_ptr<ListHook> (*hook)() = nullptr;
  // A browse that also has a select's Select button (the picture browse):
  // shown, default and enabled only when called with request 4, and first in
  // the popup ("&Select" before the browse items).
  bool select_button = false;
  // An image control that shows the file named by a field of the selected
  // record, following the selection ("?Image", "ITE:PICTURE").
  const char* image = nullptr;
  const char* image_field = nullptr;
};

// Runs the list procedure `def` on the calling thread until its window closes.
void RunListProcedure(const ListDef& def);

// Registers every instance of `defs` by its procedure name.
void RegisterListProcedures(std::span<const ListDef> defs);

// The fifteen browses, the five selects (app/select) and the picture browse
// (app/pictures).
std::span<const ListDef> BrowseDefs();
std::span<const ListDef> SelectDefs();
std::span<const ListDef> PictureBrowseDefs();

// Field equates of the controls every list window has.
inline constexpr char kListEquate[] = "?Browse";
inline constexpr char kSheetEquate[] = "?CurrentTab";
inline constexpr char kInsertEquate[] = "?Insert";
inline constexpr char kChangeEquate[] = "?Change";
inline constexpr char kDeleteEquate[] = "?Delete";
inline constexpr char kSelectEquate[] = "?Select";
inline constexpr char kCloseEquate[] = "?Close";
inline constexpr char kHelpEquate[] = "?Help";

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_LIST_PROCEDURE_H_
