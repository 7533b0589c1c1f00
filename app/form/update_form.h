// The update form procedure, written once for the eight forms of
// form_defs.cc.
//
// Invariants:
// - the form's record buffer is the record being edited; every procedure the
//   form calls (a select for a lookup, a child's form from a child list) may
//   read the form's tables on this thread, so the form keeps its record, its
//   memos and its current record in the file across such calls (CallOut);
// - a change is saved only over the record as it was read under a watch: a
//   record another program changed meanwhile is never overwritten silently;
// - an auto-numbered insert owns the record it added, and holds it (a record
//   lock) while the form is open, until OK rewrites it; on every other way
//   out that record is deleted again, but only while it is still as the
//   numbering added it. A procedure the form calls may read the table on
//   this thread and so let go of the hold; the form takes it again when the
//   call returns and checks the record: one that another program changed
//   meanwhile is no longer the form's (OK then saves under a fresh number,
//   Cancel leaves it);
// - leaving an insert or change by the close box or a closing key after
//   something was changed asks first; an insert in which nothing was
//   changed saves nothing (OK acts as Cancel).
#ifndef VORSANDT_APP_FORM_UPDATE_FORM_H_
#define VORSANDT_APP_FORM_UPDATE_FORM_H_

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/form/child_list.h"
#include "app/form/form_def.h"
#include "app/form/numbered_records.h"
#include "app/form/stored_file.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/window.h"

namespace vorsandt::app {

class UpdateForm {
 public:
  explicit UpdateForm(const FormDef& def);
  ~UpdateForm();
  void Run();

 private:
  bool Start();
  void Prepare();
  void EventLoop();
  void Closing();
  void ServeDelete();
  bool AutoNumber();
  // The number after the highest in the table; false after message 35.
  bool NextNumber(double* next);
  // Writes `number` into the record's numbered key field.
  void WriteNumber(double number);
  // Takes (or keeps) the hold on the numbered record and checks that it is
  // still as the numbering added it; false when it is not the form's any
  // more. Leaves the form's record and memos as they were.
  bool ClaimNumbered();
  // Whether the record or its memos differ from how the form started.
  bool Changed() const;
  // The user asked to leave without OK: true when the form may close (not
  // changed, or Discard); Save starts OK's path and Cancel stays (false).
  bool ConfirmLeave();
  // Ends the form with response 2 through the close-window event.
  void Leave();
  void OnCompleted();
  void SaveInsert();
  void SaveChange();
  bool PrimaryKeyTaken();
  void OnAccepted(int field);
  void OnRejected(int field);
  bool ReportRejected(int field = 0);
  void OnLookup(const FormLookup& lookup);
  void OnLookupButton(const FormLookup& lookup);
  void ChoosePicture();
  void Refresh();
  void SelectFirstEntry();
  int Optional(const char* equate) const;
  // Runs `call` (a procedure that may use the form's tables) and restores the
  // form's record, memos and current record afterwards.
  void CallOut(const std::function<void()>& call);
  // Makes the stored record current again (under a watch for a change).
  void Reposition();
  void RemoveNumberedRecord();

  const FormDef& def_;
  std::unique_ptr<ui::Window> window_;
  std::vector<std::unique_ptr<ChildList>> children_;
  std::unique_ptr<StoredFile> stored_file_;  // the record's file (UpdateDocuments)
  int32_t current_request_ = 0;
  int32_t initial_request_ = 0;
  int32_t exit_response_ = ui::response::kCancelled;
  bool window_open_ = false;
  bool window_ready_ = false;
  bool refresh_pending_ = false;
  std::vector<uint8_t> saved_;      // the saved copy of the record
  std::vector<uint8_t> read_copy_;  // the record as read for the change
  std::string position_;            // of the stored record in the primary key
  bool numbered_ = false;           // an auto-numbered insert added its record
  bool renumber_ = false;           // the numbered record was taken: OK numbers again
  bool leaving_ = false;            // the form posted its own close-window
  RecordImage added_;               // the numbered record as added
  RecordImage start_;               // the record and memos as the form started
  bool changed_elsewhere_ = false;  // the stored record changed during a call
  int sheet_ = 0, ok_ = 0, cancel_ = 0, help_ = 0, first_entry_ = 0;
  int picture_button_ = 0, picture_image_ = 0;
  std::vector<int> lookup_fields_, lookup_buttons_, copy_fields_, action_buttons_;
  std::string picture_name_;  // the chooser's last file name
  std::set<int> rejected_;    // entries showing text their field refused
};

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FORM_UPDATE_FORM_H_
