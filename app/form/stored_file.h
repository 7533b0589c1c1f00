// The file a form's record keeps in the documents folder (DOC:FILE): chosen
// with a button, copied in whole when OK saves the record and never before,
// so that a record never names a file that is not all there and a form left
// with Cancel copies nothing.
//
// Invariants:
// - the record is saved only after its file was stored; a copy that fails
//   saves nothing and the user is told why in words;
// - a copy whose record then could not be saved is removed again (no record
//   names it); a file a change replaced is put aside in documents/.deleted
//   once the change is saved.
#ifndef VORSANDT_APP_FORM_STORED_FILE_H_
#define VORSANDT_APP_FORM_STORED_FILE_H_

#include <string>

#include "app/dictionary/dictionary.h"
#include "ui/engine/window.h"

namespace vorsandt::app {

class StoredFile {
 public:
  // `button` chooses the file for `table`'s stored file field.
  StoredFile(Table table, ui::Window& window, const char* button);

  int button() const { return button_; }
  // Remembers the name the record has as the form starts.
  void Start();
  // The chooser: the chosen file waits for OK; the field shows the name it
  // will be stored under.
  void Choose();
  // Before the record is saved: copies the chosen file in and puts its
  // stored name in the field. False (the user has been told why) when
  // nothing may be saved.
  bool StoreChosen();
  // After the save: `saved` keeps the copy and puts aside a file it
  // replaced; otherwise the copy is removed and the field shows what it
  // showed before.
  void Finish(bool saved);

 private:
  std::string FieldText() const;
  void SetField(const std::string& text);
  void Tell(const std::string& text);

  Table table_;
  ui::Window& window_;
  const FieldDef* field_;
  int button_ = 0;
  std::string source_;   // the chosen original, until it is stored
  std::string started_;  // the stored name as the form started
  std::string stored_;   // the copy made for this save
  std::string shown_;    // the field before the copy's name was put in
};

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FORM_STORED_FILE_H_
