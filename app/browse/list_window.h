// The window side of a list procedure: its event loop and the routines that
// concern the window (the order from the sheet, the selection event, alert
// keys, the thumb, the locators, the update form and the buttons). The paging
// itself is Browse's.
#ifndef VORSANDT_APP_BROWSE_LIST_WINDOW_H_
#define VORSANDT_APP_BROWSE_LIST_WINDOW_H_

#include <memory>
#include <string>
#include <vector>

#include "app/browse/browse.h"
#include "app/browse/list_procedure.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/window.h"

namespace vorsandt::app {

class ListProcedure : public BrowseList {
 public:
  explicit ListProcedure(const ListDef& def);
  ~ListProcedure() override;
  void Run();

  // BrowseList.
  int ItemCount() const override;
  int Choice() const override;
  void Show(const BrowseRows& rows, int selected) override;
  void RowsPresent(bool present) override;
  void ReadFailed(const std::string& table) override;

  Browse& browse() { return *browse_; }
  ui::Window& window() { return *window_; }
  const ListDef& def() const { return def_; }
  // Ends the procedure after a failure the user has been told about.
  void CloseAfterFailure() { window_->Post(ui::event::kCloseWindow); }

 private:
  int Optional(const char* equate) const;
  void Prepare();
  void OnList();
  void OnAccepted(int field);
  void RedrawWindow();
  void CheckOrder();
  int OrderOfTab() const;
  void RebuildSpread();
  void PostSelection();
  void SelectionChanged();
  void HandleAlertKey();
  void HandleThumbDrag();
  void Locate(int key);
  void ClearLocator();
  void EntryLocator();
  void AdjustInsert();
  void InsertRow();
  void ChangeRow();
  void UpdateAndRelocate(int32_t request);
  void DeleteRow();
  void RunUpdateForm();
  void AfterUpdate(bool relocate);
  void CallButton(const ListButton& button);
  void ShowSelectButton();
  void ShowPicture();
  int SelectPopup(bool rows);
  bool selecting() const { return current_request_ == ui::request::kSelect; }
  bool is_select() const { return def_.kind == ListKind::kSelect; }
  // A popup with "Export List..." added last when the window offers it.
  int Popup(std::string text);
  void ExportRows();
  void PrintLabelRows();
  bool has_select() const { return is_select() || def_.select_button; }

  const ListDef& def_;
  std::unique_ptr<ui::Window> window_;
  std::unique_ptr<Browse> browse_;
  std::unique_ptr<ListHook> hook_;
  int list_ = 0, sheet_ = 0, insert_ = 0, change_ = 0, delete_ = 0, select_ = 0;
  int close_ = 0, help_ = 0, entry_ = 0, image_ = 0;
  std::vector<int> button_fields_;
  bool export_ = false;  // the window's File menu has "Export List..."
  bool labels_ = false;  // and "Print Labels..." over a table with labels
  int32_t current_request_ = 0;
  int32_t initial_request_ = 0;
  bool at_buffered_record_ = false;  // opens at the record in the buffer
  int32_t exit_response_ = ui::response::kCancelled;
  bool window_ready_ = false;
  bool refresh_pending_ = false;
  bool selection_posted_ = false;
  bool scroll_bar_ = false;
  std::vector<std::string> locator_text_;  // per order
  std::vector<int> locator_length_;
};

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_LIST_WINDOW_H_
