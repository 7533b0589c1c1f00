// A child list on an update form: the records of a child table that belong
// to the form's record, paged by the browse core over a ranged order, with
// Insert, Change and Delete calling the child's own form.
#ifndef VORSANDT_APP_FORM_CHILD_LIST_H_
#define VORSANDT_APP_FORM_CHILD_LIST_H_

#include <functional>
#include <memory>
#include <string>

#include "app/browse/browse.h"
#include "app/form/form_def.h"
#include "ui/engine/window.h"

namespace vorsandt::app {

class ChildList : public BrowseList {
 public:
  // `call_out` runs a procedure of the child on the form's behalf (the form
  // keeps its own record safe around it).
  ChildList(const FormChild& def, ui::Window& window,
            std::function<void(const std::function<void()>&)> call_out);
  ~ChildList() override;

  // Rereads the list when its parent's value changed (or `force`).
  void Refresh(bool force);
  // Serves an event on one of the list's controls; false when the event is
  // not the list's.
  bool Serve(int event, int field);
  // Sets the list's alert keys (Insert, Delete, Ctrl+Enter, double click).
  void SetAlertKeys();
  void CloseView() { browse_->CloseView(); }

  // BrowseList.
  int ItemCount() const override;
  int Choice() const override;
  void Show(const BrowseRows& rows, int selected) override;
  void RowsPresent(bool present) override;
  void ReadFailed(const std::string& table) override;

 private:
  void CallForm(int32_t request);
  // Shows the selected record's stored file in the desktop's viewer.
  void OpenSelected();

  const FormChild& def_;
  ui::Window& window_;
  std::function<void(const std::function<void()>&)> call_out_;
  std::unique_ptr<Browse> browse_;
  int list_ = 0, insert_ = 0, change_ = 0, remove_ = 0, open_ = 0;
};

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FORM_CHILD_LIST_H_
