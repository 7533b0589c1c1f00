#include "ui/qt/list_control.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <map>

#include "ui/engine/events.h"
#include "ui/qt/mappings.h"

namespace vorsandt::ui::qt {
namespace {

constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kStateRole = Qt::UserRole + 2;
// The highlighted runs of a cell: a list of QPoint(start, length).
constexpr int kMarksRole = Qt::UserRole + 3;
constexpr int kIndent = 16;  // pixels per tree level, and the node box's cell

Qt::Alignment AlignmentOf(char justify) {
  switch (justify) {
    case 'C':
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case 'R':
      return Qt::AlignRight | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

// Every row has the same height, so that the number of rows that fit is known
// before the procedure has supplied any.
class RowDelegate : public QStyledItemDelegate {
 public:
  RowDelegate(int row_height, bool tree, QObject* parent)
      : QStyledItemDelegate(parent), row_height_(row_height), tree_(tree) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return QSize(size.width(), row_height_);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    if (index.data(kMarksRole).isValid()) {
      PaintMarked(painter, option, index);
      return;
    }
    if (!tree_ || index.column() != 0) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    int depth = std::max(1, index.data(kDepthRole).toInt());
    auto state = static_cast<TreeState>(index.data(kStateRole).toInt());
    int box_left = option.rect.left() + (depth - 1) * kIndent;
    QStyleOptionViewItem shifted = option;
    shifted.rect.setLeft(box_left + kIndent);
    QStyledItemDelegate::paint(painter, shifted, index);
    if (state == TreeState::kLeaf) return;
    // The node box: "-" for an open node, "+" for a closed one.
    painter->save();
    painter->setPen(option.palette.color(QPalette::Text));
    int cy = option.rect.center().y();
    QRect box(box_left + (kIndent - 9) / 2, cy - 4, 8, 8);
    painter->drawRect(box);
    painter->drawLine(box.left() + 2, cy, box.right() - 2, cy);
    if (state == TreeState::kClosed)
      painter->drawLine(box.center().x(), box.top() + 2, box.center().x(), box.bottom() - 2);
    painter->restore();
  }

 private:
  // The cell drawn by the style without its text, then the text run by run,
  // the marked runs on a highlight that reads on a selected row too.
  void PaintMarked(QPainter* painter, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    room.adjust(2, 0, -2, 0);
    painter->save();
    painter->setClipRect(room);
    painter->setFont(opt.font);
    const QFontMetrics metrics(opt.font);
    const bool selected = (opt.state & QStyle::State_Selected) != 0;
    const QColor ink = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    int x = room.left();
    int at = 0;
    bool cut = false;
    auto run = [&](int end, bool marked) {
      if (end <= at || cut) return;
      QString part = text.mid(at, end - at);
      int width = metrics.horizontalAdvance(part);
      // What does not fit ends in an ellipsis, as the list's other cells do.
      if (x + width > room.right()) {
        part = metrics.elidedText(part + text.mid(end), Qt::ElideRight, room.right() - x);
        width = metrics.horizontalAdvance(part);
        cut = true;
      }
      if (marked) {
        painter->fillRect(QRect(x, room.top() + 1, width, room.height() - 2), QColor(255, 214, 64));
        painter->setPen(Qt::black);
      } else {
        painter->setPen(ink);
      }
      painter->drawText(QRect(x, room.top(), width + 1, room.height()),
                        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part);
      x += width;
      at = end;
    };
    for (const QVariant& v : index.data(kMarksRole).toList()) {
      const QPoint mark = v.toPoint();
      const int start = std::clamp(mark.x(), at, static_cast<int>(text.size()));
      const int end = std::clamp(mark.x() + mark.y(), start, static_cast<int>(text.size()));
      run(start, false);
      run(end, true);
    }
    run(text.size(), false);
    painter->restore();
  }

  int row_height_;
  bool tree_;
};

}  // namespace

// A cell as the list draws it. A picture pads its text to the field's width;
// the padding after the text would only make the cell wider than its column
// and have it cut with an ellipsis, and the padding before it in a right or
// centred column is alignment the list does itself.
namespace {

void ShowMarks(const ListRow& row, QTreeWidgetItem* item) {
  if (row.heading) {
    QFont bold = item->font(0);
    bold.setBold(true);
    for (int c = 0; c < item->columnCount(); ++c) item->setFont(c, bold);
  }
  // Marks are placed in the cell as written; a left-justified cell keeps
  // its first character where it was (only its trailing blanks go), and one
  // byte of the records' set is one character here.
  std::vector<CellMark> marks = row.marks;
  std::sort(marks.begin(), marks.end(),
            [](const CellMark& a, const CellMark& b) { return a.start < b.start; });
  std::map<int, QVariantList> by_cell;
  for (const CellMark& m : marks) {
    if (m.cell >= 0 && m.cell < item->columnCount() && m.length > 0)
      by_cell[m.cell].push_back(QPoint(m.start, m.length));
  }
  for (auto& [cell, runs] : by_cell) item->setData(cell, kMarksRole, runs);
}

}  // namespace

std::string CellText(std::string_view cell, char justify) {
  size_t end = cell.find_last_not_of(' ');
  if (end == std::string_view::npos) return {};
  size_t begin = justify == 'R' || justify == 'C' ? cell.find_first_not_of(' ') : 0;
  return std::string(cell.substr(begin, end + 1 - begin));
}

namespace {

bool IsNavigation(int key) {
  switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      return true;
    default:
      return false;
  }
}

}  // namespace

ListControl::ListControl(const ControlState& state, const BaseUnits& base, Emit sink,
                         QWidget* parent)
    : QWidget(parent),
      field_(state.field),
      paged_(state.paged),
      fill_(state.fill),
      base_(base),
      emit_(std::move(sink)) {
  for (const Column& c : state.columns) tree_ = tree_ || c.tree || c.icons;
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  table_ = new QTreeWidget(this);
  table_->setRootIsDecorated(false);
  table_->setUniformRowHeights(true);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setAllColumnsShowFocus(true);
  table_->setItemDelegate(new RowDelegate(QFontMetrics(font()).height() + 4, tree_, table_));
  table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  bar_ = new QScrollBar(Qt::Vertical, this);
  bar_->setRange(0, 100);
  bar_->setSingleStep(1);
  bar_->setPageStep(10);
  layout->addWidget(table_);
  layout->addWidget(bar_);
  if (paged_) {
    // The procedure owns the scrolling: the list's own bar never shows.
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  } else {
    bar_->hide();
  }
  SetColumns(state);
  ConnectHeader();

  table_->installEventFilter(this);
  table_->viewport()->installEventFilter(this);
  bar_->installEventFilter(this);
  connect(table_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (applying_ || item == nullptr) return;
    int row = table_->indexOfTopLevelItem(item) + 1;
    if (row == selected_) return;
    selected_ = row;
    Send(Input::Type::kSelectRow, row);
  });
  connect(bar_, &QScrollBar::actionTriggered, this, [this](int action) {
    if (applying_) return;
    // The thumb shows where the procedure says the page lies; a click on the
    // bar only asks it to move, so Qt's own step is taken back at once.
    if (paged_ && action != QAbstractSlider::SliderMove) bar_->setSliderPosition(bar_->value());
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub:
        Send(Input::Type::kScroll, event::kScrollUp);
        break;
      case QAbstractSlider::SliderSingleStepAdd:
        Send(Input::Type::kScroll, event::kScrollDown);
        break;
      case QAbstractSlider::SliderPageStepSub:
        Send(Input::Type::kScroll, event::kPageUp);
        break;
      case QAbstractSlider::SliderPageStepAdd:
        Send(Input::Type::kScroll, event::kPageDown);
        break;
      case QAbstractSlider::SliderToMinimum:
        Send(Input::Type::kScroll, event::kScrollTop);
        break;
      case QAbstractSlider::SliderToMaximum:
        Send(Input::Type::kScroll, event::kScrollBottom);
        break;
      default:
        break;  // dragging: the drop tells
    }
  });
  connect(bar_, &QScrollBar::sliderReleased, this,
          [this] { Send(Input::Type::kThumb, bar_->value()); });
  Apply(state);
}

void ListControl::SetColumns(const ControlState& state) {
  sizing_ = true;
  fitted_ = false;
  columns_ = state.columns;
  std::vector<Column> columns = state.columns;
  if (columns.empty()) columns.push_back(Column{});
  table_->setColumnCount(static_cast<int>(columns.size()));
  bool headers = false;
  QStringList labels;
  for (const Column& c : columns) {
    headers = headers || c.has_header;
    labels << ToQt(c.header);
  }
  table_->setHeaderLabels(labels);
  table_->setHeaderHidden(!headers);
  QTreeWidgetItem* header = table_->headerItem();
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    int col = static_cast<int>(i);
    header->setTextAlignment(col,
                             AlignmentOf(c.header_justify != 0 ? c.header_justify : c.justify));
    if (c.width > 0) table_->setColumnWidth(col, ColumnWidth(col, c));
    table_->header()->setSectionResizeMode(
        col, c.resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
  }
  table_->header()->setStretchLastSection(fill_);
  sizing_ = false;
  SetUserWidths(user_widths_);
}

void ListControl::SetBase(const BaseUnits& base) {
  base_ = base;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].width > 0 && !fitted_)
      SizeColumn(static_cast<int>(i), ColumnWidth(static_cast<int>(i), columns_[i]));
  }
  SetUserWidths(user_widths_);
}

int ListControl::ColumnWidth(int col, const Column& c) const {
  // The definition's width, or wider when the heading would not show whole
  // at the list's font: the list scrolls sideways rather than cut it.
  int width = ToPixelsX(c.width, base_);
  if (c.has_header && !c.header.empty())
    width = std::max(width, table_->header()->sectionSizeHint(col));
  return width;
}

void ListControl::SetRows(const ControlState& state) {
  bool same = state.rows.size() == rows_.size();
  for (size_t i = 0; same && i < rows_.size(); ++i) same = rows_[i] == state.rows[i];
  if (same) return;
  rows_ = state.rows;
  table_->clear();
  QList<QTreeWidgetItem*> items;
  int columns = table_->columnCount();
  for (size_t r = 0; r < rows_.size(); ++r) {
    auto* item = new QTreeWidgetItem();
    for (int c = 0; c < columns && c < static_cast<int>(rows_[r].cells.size()); ++c) {
      char justify = c < static_cast<int>(state.columns.size()) ? state.columns[c].justify : 'L';
      item->setText(c, ToQt(CellText(rows_[r].cells[c], justify)));
      item->setTextAlignment(c, AlignmentOf(justify));
    }
    ShowMarks(rows_[r], item);
    if (tree_) {
      item->setData(0, kDepthRole, std::abs(rows_[r].level));
      item->setData(0, kStateRole, static_cast<int>(TreeRowState(rows_, r)));
    }
    items.push_back(item);
  }
  table_->addTopLevelItems(items);
  // A heading reads across the whole row, whatever its first column's width.
  for (size_t r = 0; r < rows_.size(); ++r) {
    if (rows_[r].heading) items[static_cast<int>(r)]->setFirstColumnSpanned(true);
  }
  if (tree_) FitTreeColumn();
  // The first page with rows shows what the columns hold; a tree's one
  // column spans the list as designed.
  if (!fitted_ && !tree_ && !rows_.empty()) {
    FitColumns();
    fitted_ = true;
    // Asked once the events in hand are served: the window is then placed
    // (and connected, when these rows came with its first state).
    if (paged_) {
      QTimer::singleShot(0, this, [this] {
        if (MissingWidth() > 0) emit ColumnsWantRoom();
      });
    }
  }
}

void ListControl::Apply(const ControlState& state) {
  applying_ = true;
  if (state.columns != columns_) {
    // New columns: the rows are laid out again under them.
    SetColumns(state);
    rows_.clear();
    table_->clear();
  }
  SetRows(state);
  selected_ = state.selected;
  if (state.selected >= 1 && state.selected <= table_->topLevelItemCount()) {
    table_->setCurrentItem(table_->topLevelItem(state.selected - 1));
  } else {
    table_->setCurrentItem(nullptr);
    table_->clearSelection();
  }
  if (paged_) {
    bar_->setVisible(state.vscroll);
    if (!bar_->isSliderDown()) bar_->setValue(state.thumb);
  } else {
    table_->setVerticalScrollBarPolicy(state.vscroll ? Qt::ScrollBarAsNeeded
                                                     : Qt::ScrollBarAlwaysOff);
  }
  if (!state.tip.empty()) table_->setToolTip(ToQt(state.tip));
  applying_ = false;
}

int ListControl::VisibleRows() const {
  int row_height = QFontMetrics(font()).height() + 4;
  int height = table_->viewport()->height();
  return std::max(1, height / std::max(1, row_height));
}

void ListControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ReportItems();
}

void ListControl::FitTreeColumn() {
  if (table_->columnCount() == 0) return;
  QFontMetrics metrics(table_->font());
  int widest = 0;
  for (int r = 0; r < table_->topLevelItemCount(); ++r) {
    QTreeWidgetItem* item = table_->topLevelItem(r);
    const int depth = std::max(1, item->data(0, kDepthRole).toInt());
    widest = std::max(widest, depth * kIndent + metrics.horizontalAdvance(item->text(0)));
  }
  // The room the item view keeps after a cell's text, and a little air.
  const int margin = metrics.averageCharWidth() * 2;
  SizeColumn(0, std::max(table_->viewport()->width(), widest + margin));
}

void ListControl::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ReportItems();
}

void ListControl::ReportItems() {
  if (!isVisible()) return;  // a hidden list has no height yet
  int rows = VisibleRows();
  if (rows == reported_items_) return;
  reported_items_ = rows;
  Send(Input::Type::kListItems, rows);
}

void ListControl::Send(Input::Type type, int value, int field_override) {
  Input in;
  in.type = type;
  in.field = field_override != 0 ? field_override : field_;
  in.value = value;
  if (emit_) emit_(in);
}

bool ListControl::HandleKey(QKeyEvent* event) {
  int code = KeyCode(event->key(), event->modifiers());
  if (code == 0) return false;
  // Tree nodes open and close with the arrow keys.
  QTreeWidgetItem* current = table_->currentItem();
  if (tree_ && current != nullptr && event->modifiers() == Qt::NoModifier) {
    int row = table_->indexOfTopLevelItem(current) + 1;
    auto state = static_cast<TreeState>(current->data(0, kStateRole).toInt());
    if (event->key() == Qt::Key_Right && state == TreeState::kClosed) {
      Send(Input::Type::kExpand, row);
      return true;
    }
    if (event->key() == Qt::Key_Left && state == TreeState::kOpen) {
      Send(Input::Type::kContract, row);
      return true;
    }
  }
  if (event->matches(QKeySequence::Copy)) {
    if (QString text = SelectedRowText(); !text.isEmpty()) QApplication::clipboard()->setText(text);
    return true;
  }
  if (paged_ && IsNavigation(event->key())) {
    Send(Input::Type::kKey, code);
    return true;
  }
  bool engine_key = event->key() == Qt::Key_Insert || event->key() == Qt::Key_Delete ||
                    event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                    (event->key() >= Qt::Key_F1 && event->key() <= Qt::Key_F24) ||
                    (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  if (engine_key) {
    Input in;
    in.type = Input::Type::kKey;
    in.field = field_;
    in.value = code;
    in.text = FromQt(event->text());
    if (emit_) emit_(in);
    return true;
  }
  return false;
}

bool ListControl::HandleMouse(QMouseEvent* event, bool double_click) {
  QTreeWidgetItem* item = table_->itemAt(event->position().toPoint());
  if (item == nullptr) return false;
  int row = table_->indexOfTopLevelItem(item) + 1;
  if (tree_ && event->button() == Qt::LeftButton && !double_click) {
    int depth = std::max(1, item->data(0, kDepthRole).toInt());
    QRect first = table_->visualItemRect(item);
    int box_left = first.left() + (depth - 1) * kIndent;
    int x = event->position().toPoint().x();
    auto state = static_cast<TreeState>(item->data(0, kStateRole).toInt());
    if (x >= box_left && x < box_left + kIndent && state != TreeState::kLeaf) {
      Send(state == TreeState::kClosed ? Input::Type::kExpand : Input::Type::kContract, row);
      return true;
    }
  }
  if (row != selected_) {
    selected_ = row;
    Send(Input::Type::kSelectRow, row);
  }
  if (double_click && event->button() == Qt::LeftButton) {
    Send(Input::Type::kKey, key::kMouseLeft2);
    return true;
  }
  if (event->button() == Qt::RightButton) {
    table_->setFocus(Qt::MouseFocusReason);
    Send(Input::Type::kKey, key::kMouseRight);
    return true;
  }
  return false;
}

void ListControl::HandleWheel(QWheelEvent* event) {
  // A wheel notch is 120 eighths of a degree; touchpads send smaller steps,
  // which add up until they make a notch. Each notch moves the desktop's
  // number of lines, one scroll-up or scroll-down event each.
  wheel_rest_ += event->angleDelta().y();
  int notches = wheel_rest_ / 120;
  wheel_rest_ -= notches * 120;
  int lines = std::abs(notches) * std::max(1, QApplication::wheelScrollLines());
  for (int i = 0; i < lines; ++i)
    Send(Input::Type::kScroll, notches > 0 ? event::kScrollUp : event::kScrollDown);
}

bool ListControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_ && event->type() == QEvent::KeyPress) {
    return HandleKey(static_cast<QKeyEvent*>(event));
  }
  if (paged_ && event->type() == QEvent::Wheel &&
      (watched == bar_ || watched == table_->viewport())) {
    HandleWheel(static_cast<QWheelEvent*>(event));
    return true;
  }
  if (watched == table_->viewport()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        return HandleMouse(static_cast<QMouseEvent*>(event), false);
      case QEvent::MouseButtonDblClick:
        return HandleMouse(static_cast<QMouseEvent*>(event), true);
      case QEvent::Resize:
        // A horizontal scroll bar coming or going changes the rows that fit
        // without resizing the list itself; a vertical one coming or going
        // changes the width a tree's column fills.
        if (tree_) FitTreeColumn();
        ReportItems();
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

QString ListControl::SelectedRowText() const {
  QTreeWidgetItem* item = table_->currentItem();
  if (item == nullptr || !item->isSelected()) return QString();
  QStringList cells;
  for (int c = 0; c < table_->columnCount(); ++c) {
    if (!table_->isColumnHidden(c) && table_->columnWidth(c) > 0) cells << item->text(c);
  }
  return cells.join(QLatin1Char('\t'));
}

}  // namespace vorsandt::ui::qt
