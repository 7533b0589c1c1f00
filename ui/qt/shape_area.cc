#include "ui/qt/shape_area.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/qt/mappings.h"

namespace vorsandt::ui::qt {

ShapeArea::ShapeArea(Kind kind, std::function<void()> clicked, QWidget* parent)
    : QWidget(parent), kind_(kind), clicked_(std::move(clicked)) {
  // What is not drawn shows the image or window beneath.
  setAttribute(Qt::WA_TranslucentBackground);
  if (kind_ == Kind::kRegion) setCursor(Qt::PointingHandCursor);
  // A box is decoration: clicks go through to what lies under it.
  if (kind_ == Kind::kBox) setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeArea::SetColours(const std::array<uint32_t, 2>& colours) {
  std::optional<QColor> frame = ToColour(colours[0]);
  std::optional<QColor> fill = ToColour(colours[1]);
  if (frame == frame_ && fill == fill_) return;
  frame_ = frame;
  fill_ = fill;
  update();
}

std::optional<QColor> ShapeArea::frameColour() const {
  if (frame_) return frame_;
  // A box without a colour is framed as the style frames panels; a region
  // without one stays invisible.
  if (kind_ == Kind::kBox) return palette().color(QPalette::WindowText);
  return std::nullopt;
}

void ShapeArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect area = rect();
  if (fill_) painter.fillRect(area, *fill_);
  if (std::optional<QColor> frame = frameColour()) {
    painter.setPen(QPen(*frame, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
  }
}

void ShapeArea::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && clicked_) {
    clicked_();
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

}  // namespace vorsandt::ui::qt
