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

  // Column widths. Until the user sizes a column it fits its heading and the
  // widest value of the first page that has rows (no wider than
  // kMaxColumnChars average characters, unless its heading is); a double
  // click on a heading's edge fits it again. A width the user dragged stays
  // until then, and is what UserWidths() reports (0: the column fits).
  static constexpr int kMaxColumnChars = 40;
  std::vector<int> UserWidths() const { return user_widths_; }
  // Widths to keep from an earlier run (0 leaves a column fitting).
  void SetUserWidths(const std::vector<int>& widths);
  // The width column `col` fits at: its heading and the widest loaded value.
  int FittingWidth(int col) const;
  // Pixels the fitted columns of a paged list need beyond what it shows
  // (0: they all show). Used once, when its first page fitted them.
  int MissingWidth() const;

 signals:
  // A paged list's first page fitted columns wider than the list: its window
  // may widen by MissingWidth() where it has not been given a size of its own.
  void ColumnsWantRoom();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void SetColumns(const ControlState& state);
  int ColumnWidth(int col, const Column& c) const;
  void SetRows(const ControlState& state);
  // Sets column `col` without taking it for the user's width.
  void SizeColumn(int col, int width);
  void ConnectHeader();
  void FitColumns();
  // A tree's one column is as wide as the list, or as its widest row with
  // that row's indentation where that is wider (then the list scrolls
  // sideways), never the definition's fixed width.
  void FitTreeColumn();
  void Send(Input::Type type, int value, int field_override = 0);
  void ReportItems();
  bool HandleKey(QKeyEvent* event);
  bool HandleMouse(QMouseEvent* event, bool double_click);
  void HandleWheel(QWheelEvent* event);

  int field_;
  bool paged_;
  bool fill_;
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
  std::vector<Column> columns_;   // as last set: a procedure may change them
  std::vector<int> user_widths_;  // per column: dragged width in pixels, 0 none
  bool fitted_ = false;           // the columns were fitted to a page of rows
  bool sizing_ = false;           // a width is being set by the list itself
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_LIST_CONTROL_H_
