#include "ui/qt/drop_list.h"

#include <QAbstractItemView>

#include "ui/qt/mappings.h"

namespace vorsandt::ui::qt {

QString DropEntryText(const ListRow& row) {
  QString text;
  for (size_t i = 0; i < row.cells.size(); ++i) {
    std::string_view cell = row.cells[i];
    while (!cell.empty() && cell.back() == ' ') cell.remove_suffix(1);
    if (i > 0) text += QStringLiteral("  ");
    text += ToQt(cell);
  }
  return text;
}

DropList::DropList(const ControlState& state, Emit sink, QWidget* parent)
    : QComboBox(parent), field_(state.field), emit_(std::move(sink)) {
  setEditable(false);
  setMaxVisibleItems(std::max(1, state.drop));
  // Only the user's choice is input; the engine's own selection is not.
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (applying_ || index < 0) return;
    chose_ = true;
    Send(Input::Type::kSelectRow, index + 1);
  });
  Apply(state);
}

void DropList::Send(Input::Type type, int value) {
  Input in;
  in.type = type;
  in.field = field_;
  in.value = value;
  if (emit_) emit_(in);
}

void DropList::showPopup() {
  if (!applying_ && !down_) {
    chose_ = false;
    down_ = true;
    Send(Input::Type::kDropDown, 0);
  }
  QComboBox::showPopup();
}

void DropList::hidePopup() {
  QComboBox::hidePopup();
  // Only a list the user dropped closes up (not one hidden with its window).
  if (applying_ || !down_) return;
  down_ = false;
  if (!chose_) Send(Input::Type::kCloseUp, 0);
}

void DropList::Apply(const ControlState& state) {
  applying_ = true;
  setMaxVisibleItems(std::max(1, state.drop));
  bool same = state.rows.size() == rows_.size();
  for (size_t i = 0; same && i < rows_.size(); ++i) same = rows_[i].cells == state.rows[i].cells;
  if (!same) {
    rows_ = state.rows;
    bool open = view()->isVisible();
    clear();
    for (const ListRow& row : rows_) addItem(DropEntryText(row));
    // Entries that arrive while the list is down (supplied on "dropping
    // down") show in a list sized for them.
    if (open) {
      QComboBox::hidePopup();
      QComboBox::showPopup();
    }
  }
  if (state.selected >= 1 && state.selected <= count()) {
    setCurrentIndex(state.selected - 1);
  } else {
    setCurrentIndex(-1);
  }
  setPlaceholderText(ToQt(state.text));
  if (!state.tip.empty()) setToolTip(ToQt(state.tip));
  applying_ = false;
}

}  // namespace vorsandt::ui::qt
