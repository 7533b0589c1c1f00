// The drop list: a list shown closed as its chosen entry, dropped down to
// choose another.
//
// Dropping it down is input for the engine (the procedure hears "dropping
// down" and may supply the entries then, then "dropped down"); the entries
// the next snapshot brings are shown in the open list. Choosing an entry is
// the row-selection input; closing the list without a choice tells the
// engine so. The closed list shows the chosen entry, or the control's text
// when no entry matches it.
#ifndef VORSANDT_UI_QT_DROP_LIST_H_
#define VORSANDT_UI_QT_DROP_LIST_H_

#include <QComboBox>
#include <functional>
#include <vector>

#include "ui/engine/platform.h"

namespace vorsandt::ui::qt {

class DropList : public QComboBox {
  Q_OBJECT

 public:
  using Emit = std::function<void(const Input&)>;

  DropList(const ControlState& state, Emit sink, QWidget* parent);

  void Apply(const ControlState& state);

  void showPopup() override;
  void hidePopup() override;

 private:
  void Send(Input::Type type, int value);

  int field_;
  Emit emit_;
  bool applying_ = false;
  bool down_ = false;   // the user dropped the list and it has not closed
  bool chose_ = false;  // an entry was chosen since the list dropped
  std::vector<ListRow> rows_;
};

// The text a drop list shows for one row: its cells without trailing blanks,
// two blanks apart.
QString DropEntryText(const ListRow& row);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_DROP_LIST_H_
