// Boxes and regions: rectangles drawn in the definition's colours.
//
// A box is a drawn rectangle: its frame in the first colour (the style's
// frame colour by default) and, when a second colour is given, filled with
// it. A region is an area over an image that the user clicks: it draws
// nothing unless the definition colours it (a frame, a fill), and a click on
// it is the region's accepted input.
#ifndef VORSANDT_UI_QT_SHAPE_AREA_H_
#define VORSANDT_UI_QT_SHAPE_AREA_H_

#include <QColor>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "ui/engine/platform.h"

namespace vorsandt::ui::qt {

class ShapeArea : public QWidget {
  Q_OBJECT

 public:
  // `clicked` (regions) is called on a press of the left mouse button.
  ShapeArea(Kind kind, std::function<void()> clicked, QWidget* parent);

  void SetColours(const std::array<uint32_t, 2>& colours);
  // The colours in use; nullopt where nothing is drawn.
  std::optional<QColor> frameColour() const;
  std::optional<QColor> fillColour() const { return fill_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Kind kind_;
  std::function<void()> clicked_;
  std::optional<QColor> frame_;
  std::optional<QColor> fill_;
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_SHAPE_AREA_H_
