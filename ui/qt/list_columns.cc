// How a list's columns take their widths: fitted to what they show until the
// user drags one, and the dragged width kept. The rest of the list control is
// in list_control.cc.
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <algorithm>

#include "ui/qt/list_control.h"

namespace vorsandt::ui::qt {

void ListControl::ConnectHeader() {
  QHeaderView* header = table_->header();
  // The tree view fits a column to every loaded value, without a limit, when
  // the edge of its heading is double-clicked; the list fits it its own way.
  QObject::disconnect(header, SIGNAL(sectionHandleDoubleClicked(int)), table_, nullptr);
  connect(header, &QHeaderView::sectionHandleDoubleClicked, this, [this](int col) {
    if (col < static_cast<int>(user_widths_.size())) user_widths_[col] = 0;
    SizeColumn(col, FittingWidth(col));
  });
  connect(header, &QHeaderView::sectionResized, this, [this](int col, int, int width) {
    if (sizing_ || col < 0) return;
    if (col >= static_cast<int>(user_widths_.size())) user_widths_.resize(col + 1, 0);
    user_widths_[col] = width;
  });
}

void ListControl::SizeColumn(int col, int width) {
  sizing_ = true;
  table_->setColumnWidth(col, width);
  sizing_ = false;
}

int ListControl::FittingWidth(int col) const {
  QFontMetrics metrics(table_->font());
  // The room the item view keeps either side of a cell's text.
  const int margin =
      2 * (table_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table_) + 1) + 2;
  int widest = 0;
  for (int r = 0; r < table_->topLevelItemCount(); ++r) {
    widest = std::max(widest, metrics.horizontalAdvance(table_->topLevelItem(r)->text(col)));
  }
  int width = std::min(widest + margin, metrics.averageCharWidth() * kMaxColumnChars);
  const Column* c = col < static_cast<int>(columns_.size()) ? &columns_[col] : nullptr;
  // A heading always shows whole.
  if (c != nullptr && c->has_header && !c->header.empty())
    width = std::max(width, table_->header()->sectionSizeHint(col));
  return std::max(width, metrics.averageCharWidth() * 2);
}

void ListControl::FitColumns() {
  for (int col = 0; col < table_->columnCount(); ++col) {
    if (col < static_cast<int>(user_widths_.size()) && user_widths_[col] > 0) continue;
    SizeColumn(col, FittingWidth(col));
  }
}

int ListControl::MissingWidth() const {
  int total = 0;
  for (int col = 0; col < table_->columnCount(); ++col) {
    if (!table_->isColumnHidden(col)) total += table_->columnWidth(col);
  }
  return std::max(0, total - table_->viewport()->width());
}

void ListControl::SetUserWidths(const std::vector<int>& widths) {
  user_widths_ = widths;
  for (int col = 0; col < table_->columnCount() && col < static_cast<int>(widths.size()); ++col) {
    if (widths[col] > 0) SizeColumn(col, widths[col]);
  }
}

}  // namespace vorsandt::ui::qt
