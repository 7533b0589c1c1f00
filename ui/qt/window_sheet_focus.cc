// Where the focus goes when the tab it was on stops showing. Qt hands the
// focus of a hidden widget to the next one in its chain, which on a form is
// the OK button under the sheet: a user who pressed Ctrl+PgDn, or clicked a
// tab, would then type into nothing. As on any tabbed dialog, the focus goes
// to the first control of the tab now showing instead.
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {

int WindowView::SheetOf(int field) const {
  for (int guard = 0; field != 0 && guard < 64; ++guard) {
    auto it = controls_.find(field);
    if (it == controls_.end()) return 0;
    if (it->second.state.kind == Kind::kSheet) return field;
    field = it->second.state.parent;
  }
  return 0;
}

int WindowView::FirstFocusOnSheet(int sheet) const {
  // Fields are numbered in declaration order, which is the tab order. A
  // lookup button declared before the entries would take keys that type
  // nothing: a control that takes typing comes first, a button only where
  // the tab has nothing else.
  int button = 0;
  for (const auto& [field, view] : controls_) {
    if (field == sheet || SheetOf(field) != sheet) continue;
    const QWidget* w = KeyWidget(field);
    if (w == nullptr || !Shown(field) || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus)) {
      continue;
    }
    if (view.state.kind != Kind::kButton) return field;
    if (button == 0) button = field;
  }
  return button;
}

int WindowView::FocusAfterHiddenTab(int had) const {
  if (had == 0 || Shown(had)) return 0;
  const int sheet = SheetOf(had);
  return sheet != 0 ? FirstFocusOnSheet(sheet) : 0;
}

}  // namespace vorsandt::ui::qt
