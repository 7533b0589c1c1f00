// The list control: columns from the column format, rows from the engine.
//
// A paged list shows exactly the rows its procedure supplied (one page) and
// never scrolls by itself: its scroll bar and the navigation keys become
// scroll inputs (events 3-8), a dropped thumb becomes a thumb input with its
// position 0-100, and the number of rows that fit is reported whenever the
// list's height changes. A plain list scrolls its rows itself. A tree list
// draws each row from the level rule (open, closed or leaf, indented by the
// depth) and turns clicks on the node box into expand and contract inputs.
#ifndef VORSANDT_UI_QT_LIST_CONTROL_H_
#define VORSANDT_UI_QT_LIST_CONTROL_H_

#include <QScrollBar>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

#include "ui/engine/platform.h"
#include "ui/qt/dialog_units.h"

namespace vorsandt::ui::qt {

// The text a list draws for `cell` of a column justified `justify` ('L', 'C'
// or 'R'): without the blank padding a picture adds.
std::string CellText(std::string_view cell, char justify);

class ListControl : public QWidget {
  Q_OBJECT

 public:
  using Emit = std::function<void(const Input&)>;

  ListControl(const ControlState& state, const BaseUnits& base, Emit sink, QWidget* parent);

  void Apply(const ControlState& state);
  // New dialog units (the window widened them for its texts): the columns
  // take their widths in them.
  void SetBase(const BaseUnits& base);

  QTreeWidget* table() const { return table_; }
  QScrollBar* scrollBar() const { return bar_; }
  bool IsTree() const { return tree_; }
  // Rows that fit in the list's current height (at least 1).
  int VisibleRows() const;
  // The selected row as the list shows it, its visible columns separated by
  // tabs (what Ctrl+C puts on the clipboard); empty when no row is selected.
  QString SelectedRowText() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void SetColumns(const ControlState& state);
  int ColumnWidth(int col, const Column& c) const;
  void SetRows(const ControlState& state);
  void Send(Input::Type type, int value, int field_override = 0);
  void ReportItems();
  bool HandleKey(QKeyEvent* event);
  bool HandleMouse(QMouseEvent* event, bool double_click);
  void HandleWheel(QWheelEvent* event);

  int field_;
  bool paged_;
  bool tree_ = false;
  BaseUnits base_;
  Emit emit_;
  QTreeWidget* table_;
  QScrollBar* bar_;
  bool applying_ = false;
  int reported_items_ = 0;
  int selected_ = 0;
  int wheel_rest_ = 0;  // wheel movement short of a notch
  std::vector<ListRow> rows_;
  std::vector<Column> columns_;  // as last set: a procedure may change them
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_LIST_CONTROL_H_
