// The browse pattern's core: a list of one table's records shown one page at
// a time, in one of several key orders, read through a view.
//
// A browse never reads the whole table to fill its list. It keeps the rows
// that are visible (BrowseRows) and refills them from the view when the user
// scrolls past their ends, so a move reads at most one page of records
// however large the table is: a one-row move at the edge reads one record, a
// page move one page, and a move inside the page none. Records are found again
// by their view positions, never by record numbers.
//
// Browse holds the state of one running browse and the routines that move
// through it. It needs a window only through BrowseList, so a benchmark or a
// test can page a table without one.
//
// A load from an end of the page continues from the row shown there: when
// the view still stands on that row (the last row it delivered) it just reads
// on, so moves that keep their direction read exactly the records they add;
// otherwise the view is reset to the row's position, after which its next
// read delivers the row after it (or before it), at the cost of one re-read
// of the row inside the view.
//
// Invariants (between routines; the state is the browse's own and changes
// only through the routines and operations below, which keep them):
//   1. rows().size() <= the list's item count at the last load.
//   2. selected_row is 0 exactly when the buffer is empty, else 1..size.
//   3. The record buffers hold the selected row's column values (RowToRecord)
//      after every routine that changes the selection.
//   4. row_count is rows().size().
// 2 and 4 are checked with VORSANDT_CHECKS after every routine that ends
// with a selection (a violation stops the program: runtime/env/invariant.h);
// a browse whose read failed is closing and is not checked.
#ifndef VORSANDT_APP_BROWSE_BROWSE_H_
#define VORSANDT_APP_BROWSE_BROWSE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/browse/browse_rows.h"
#include "app/dictionary/dictionary.h"
#include "runtime/views/view_decl.h"

namespace vorsandt::app {

// One key order of a browse (a tab of its sheet). An order over the child
// key of one of the dictionary's links (LinkByChildKey) may show only the
// children of the parent record in the parent table's buffer (OfParent):
// the link's child field is fixed to the parent's field, and the link's
// filter applies.
struct BrowseOrder {
  const char* tab = "";        // the tab's text
  const char* key = "";        // the key, e.g. "POL:COMPANY"
  bool of_parent = false;      // the parent's children only, through the link of `key`
  bool insert_hidden = false;  // Insert hidden and disabled while the tab is shown
  // A filter of the order's own (the query window's), for an order that is
  // not of a parent; nullptr for none.
  const char* filter = nullptr;
};

// The order `tab` over the children that the link whose child key is
// `child_key` ("POL:COMPANY") gives the parent record in its buffer.
constexpr BrowseOrder OfParent(const char* tab, const char* child_key,
                               bool insert_hidden = false) {
  return {tab, child_key, true, insert_hidden, nullptr};
}

// How loads move.
inline constexpr int kLoadBackward = 1;
inline constexpr int kLoadForward = 2;
// ReloadPage anchors.
inline constexpr int kReloadCurrent = 1;
inline constexpr int kReloadAfterDelete = 2;
inline constexpr int kReloadFirstRow = 3;
// Relocate starting points.
inline constexpr int kRelocateCurrent = 1;
inline constexpr int kRelocateKeyValue = 2;
inline constexpr int kRelocateStart = 3;

// What the browse routines need of the list they fill.
class BrowseList {
 public:
  virtual ~BrowseList() = default;
  // Rows the list can show now (read anew at every load).
  virtual int ItemCount() const = 0;
  // The row the user has selected (1-based), 0 for none.
  virtual int Choice() const { return 0; }
  // The buffer changed or the selection moved.
  virtual void Show(const BrowseRows& /*rows*/, int /*selected*/) {}
  // Change and Delete usable (rows present) or not.
  virtual void RowsPresent(bool /*present*/) {}
  virtual void WaitCursor(bool /*on*/) {}
  // A read failed with an error other than "no more records": tell the user
  // (`table` names the table) and close the browse.
  virtual void ReadFailed(const std::string& /*table*/) {}
};

// The browse state and its routines.
class Browse {
 public:
  // `orders` and `list` outlive the browse. `quick_scan`: loads of more than
  // one record switch the table's QUICKSCAN mode on for their duration.
  Browse(Table primary, std::span<const BrowseOrder> orders, BrowseList* list,
         bool quick_scan = false);
  ~Browse();
  Browse(const Browse&) = delete;
  Browse& operator=(const Browse&) = delete;

  // Columns of the list: full field names and pictures.
  void SetColumns(const std::vector<std::pair<std::string, std::string>>& columns) {
    rows_.SetColumns(columns);
  }

  // The state (the names are those of the pattern's description).
  struct State {
    int row_count = 0;
    int selected_row = 0;
    int to_load = 0;
    int load_direction = kLoadForward;
    bool add_rows = true;
    bool quick_scan_on = false;
    int scroll_event = 0;
    int reload_mode = kReloadCurrent;
    int relocate_mode = kRelocateStart;
    std::string saved_position;
    int order = 0;  // 1-based; 0 before the first selection
    int last_order = 0;
    std::string saved_range_value;
    bool range_changed = false;
    int thumb_pos = 0;
  };
  // Read only: see the operations below.
  const State& state() const { return state_; }
  const BrowseRows& rows() const { return rows_; }

  // The current order; Select keeps it within 1..orders.
  void SelectOrder(int order);
  const BrowseOrder& order() const;
  int order_count() const { return static_cast<int>(orders_.size()); }
  bool ranged() const { return link() != nullptr; }
  // The dictionary's link of the current order when it shows a parent's
  // children, else nullptr.
  const RelationDef* link() const;
  // The parent's current value for the ranged order (as text); "" otherwise.
  std::string ParentValue() const;
  // The order's locator field: the key's first text component that the range
  // does not fix (else its first free component).
  const files::FieldInfo* LocatorField() const;

  // Selects `order` as SelectOrder does, noting the order it leaves
  // (last_order) and whether the parent's value of a ranged order moved
  // since the order's last load (range_changed).
  void ChooseOrder(int order);

  // The routines.
  void OpenOrder();
  // Rebuilds the page from `from`: kRelocateCurrent (where the view
  // stands), kRelocateKeyValue (the key value in the record buffer) or
  // kRelocateStart (the order's first record).
  void Relocate(int from);
  void LoadRows();
  // Rebuilds the page around the anchor the last reload left
  // (kReloadCurrent at first); ReloadFrom names it.
  void ReloadPage();
  // kReloadCurrent, kReloadAfterDelete or kReloadFirstRow.
  void ReloadFrom(int anchor);
  // The one dispatch of a list's scroll events, for every pattern: events 3
  // to 8 are served (ignored with an empty buffer) and answer true; any
  // other event answers false and is the caller's. The caller posts the
  // selection afterwards.
  bool ServeScroll(int event);
  // The page at the order's top (kScrollTop) or bottom (kScrollBottom),
  // with an empty buffer too.
  void JumpToEnd(int event);
  // The thumb dragged to `pos` (0-100): inside, the list relocates to that
  // point of the spread and 0 is returned; at an end, the scroll event the
  // caller posts instead (kScrollTop, kScrollBottom).
  int DragThumb(int64_t pos);

  // The user's choice in the list (1-based, kept within the rows) becomes
  // the selected row, its values in the record buffers; nothing with an
  // empty buffer.
  void SelectRow(int choice);
  // After the selected row's record was deleted: the row leaves the buffer
  // and the selection stays within what is left; ReloadFrom
  // (kReloadAfterDelete) then refills the page around where it stood.
  void RemoveSelectedRow();
  // The thumb position recomputed for the selected row.
  void UpdateThumb() { state_.thumb_pos = ComputeThumb(); }
  void BuildKeySpread();
  // Entry `pos` (1-99) of the order's spread into the locator field and
  // relocate there. Positions at most 1 and exactly 100 are the caller's
  // (scroll to top, bottom).
  void RelocateToSpread(int pos);
  // Thumb position 0-100 of the record in the buffers within the order's
  // spread.
  int ComputeThumb() const;
  // The selected row (as the list has it) re-read with its parents through
  // the view; false with an empty buffer.
  bool FetchSelected();
  void RowToRecord(int row) const;
  // Stores `value` in the order's locator field (text, or a number read from
  // it, truncated). With `lowest_after`, the key components after it take
  // their lowest values, so a relocation starts at the first record at or
  // after the value whatever the buffer held there.
  void StoreLocator(const std::string& value, bool lowest_after = true);
  // The primary record buffer cleared (blanks and zeros).
  void ClearPrimary();
  // Closes the view (around an update form); OpenOrder opens it again.
  void CloseView();
  // Joins tables beneath the primary: `layout` describes the view's levels,
  // the primary's first, and `keys` the key of each joined level in layout
  // order. Rows then carry the joined records too. Call before OpenOrder.
  void JoinLevels(std::vector<uint8_t> layout, std::vector<const files::KeyDecl*> keys);

  // The view and table for callers that read through them.
  views::ViewRecord* view() { return view_.get(); }
  files::FileRecord* table() const { return table_; }
  Table primary() const { return primary_; }
  bool failed() const { return failed_; }
  // Keys spreads per order, for tests.
  const std::vector<std::string>& spread() const;

 private:
  const files::KeyDecl* Key() const;
  void CheckInvariants() const;
  void StepOneRow();
  void StepPage();
  void OpenView(bool from_key_value);
  void StoreRangeValue();
  void QuickScan(bool on);
  // Rebuilds the buffer from `anchor` forward (kept as row 1 when it can be
  // read again), topping the page up from above when the order ends first.
  void LoadFromAnchor(const std::string& anchor, bool anchor_in_buffers);
  void Selected();

  Table primary_;
  files::FileRecord* table_;
  std::span<const BrowseOrder> orders_;
  BrowseList* list_;
  bool quick_scan_;
  std::vector<uint8_t> layout_;
  std::vector<const files::KeyDecl*> join_keys_;
  std::unique_ptr<views::ViewFileList> file_list_;
  std::unique_ptr<views::ViewRecord> view_;
  bool view_open_ = false;
  std::string view_filter_;  // the filter the open view was given
  // Position of the row the view stands on (its last delivered row); empty
  // when it stands on none or where it stands is not known.
  std::string view_on_;
  bool failed_ = false;
  BrowseRows rows_;
  State state_;
  std::vector<files::FieldInfo> locators_;         // per order
  std::vector<const RelationDef*> links_;          // per order, nullptr when not of a parent
  std::vector<std::vector<std::string>> spreads_;  // per order, 100 values
};

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_BROWSE_H_
