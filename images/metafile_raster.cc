#include "images/metafile_raster.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace vorsandt::images {
namespace {

// Shapes far outside the picture are clipped long before this; the clamp
// only keeps conversions to int defined.
constexpr double kFar = 1e6;
// Ellipses are filled and outlined as polygons of this many corners.
constexpr int kEllipseCorners = 64;
// Text alignment flags of the metafile format.
constexpr uint16_t kAlignRight = 2, kAlignCenter = 6, kAlignBottom = 8, kAlignBaseline = 24;

double Clamp(double v) { return std::clamp(v, -kFar, kFar); }

}  // namespace

void RasterCanvas::SetWindow(MetaPoint origin, MetaPoint extent) {
  origin_ = origin;
  extent_ = {extent.x == 0 ? 1 : extent.x, extent.y == 0 ? 1 : extent.y};
}

RasterCanvas::DevicePoint RasterCanvas::Map(MetaPoint p) const {
  return {Clamp((static_cast<double>(p.x) - origin_.x) * image_->width / extent_.x),
          Clamp((static_cast<double>(p.y) - origin_.y) * image_->height / extent_.y)};
}

double RasterCanvas::PenWidth(const MetaPen& pen) const {
  const double scale = std::abs(static_cast<double>(image_->width) / extent_.x);
  return std::clamp(pen.width * scale, 1.0, 1000.0);
}

bool RasterCanvas::Spend(int64_t pixels) {
  work_ += std::max<int64_t>(pixels, 1);
  return !over_budget();
}

// COLORREF (0x00BBGGRR) onto one row from x0 to x1 (device units, ends
// rounded to pixel centres).
void RasterCanvas::FillSpan(int y, double x0, double x1, uint32_t colour) {
  if (y < 0 || y >= image_->height) return;
  const int from = std::max(0, static_cast<int>(std::ceil(std::min(x0, x1) - 0.5)));
  const int to = std::min(image_->width - 1, static_cast<int>(std::floor(std::max(x0, x1) - 0.5)));
  if (from > to || !Spend(to - from + 1)) return;
  for (int x = from; x <= to; ++x) {
    uint8_t* p = image_->Pixel(x, y);
    p[0] = colour & 0xFF;
    p[1] = (colour >> 8) & 0xFF;
    p[2] = (colour >> 16) & 0xFF;
    p[3] = 255;
  }
}

void RasterCanvas::FillBox(double x0, double y0, double x1, double y1, uint32_t colour) {
  const int top = std::max(0, static_cast<int>(std::ceil(std::min(y0, y1) - 0.5)));
  const int bottom =
      std::min(image_->height - 1, static_cast<int>(std::floor(std::max(y0, y1) - 0.5)));
  for (int y = top; y <= bottom && !over_budget(); ++y) FillSpan(y, x0, x1, colour);
}

// A line as a band as wide as the pen, squared off at its ends.
void RasterCanvas::Stroke(DevicePoint a, DevicePoint b, const MetaPen& pen) {
  if (pen.style == kPenNull) return;
  const double half = PenWidth(pen) / 2;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length = std::hypot(dx, dy);
  if (length < 1e-9) {
    FillBox(a.x - half, a.y - half, a.x + half, a.y + half, pen.colour);
    return;
  }
  // The band's corners, widened by half a pixel so a one-pixel pen along a
  // row or column covers its pixels.
  const double nx = -dy / length * std::max(half, 0.5), ny = dx / length * std::max(half, 0.5);
  const double ex = dx / length * 0.5, ey = dy / length * 0.5;
  FillPolygon({{a.x - ex + nx, a.y - ey + ny},
               {b.x + ex + nx, b.y + ey + ny},
               {b.x + ex - nx, b.y + ey - ny},
               {a.x - ex - nx, a.y - ey - ny}},
              pen.colour);
}

// Even-odd scanline fill, sampled at pixel centres.
void RasterCanvas::FillPolygon(const std::vector<DevicePoint>& points, uint32_t colour) {
  if (points.size() < 3) return;
  double top = points[0].y, bottom = points[0].y;
  for (const DevicePoint& p : points) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  const int first = std::max(0, static_cast<int>(std::floor(top)));
  const int last = std::min(image_->height - 1, static_cast<int>(std::ceil(bottom)));
  std::vector<double> crossings;
  for (int y = first; y <= last; ++y) {
    if (!Spend(static_cast<int64_t>(points.size()))) return;
    const double cy = y + 0.5;
    crossings.clear();
    for (size_t i = 0; i < points.size(); ++i) {
      const DevicePoint& p = points[i];
      const DevicePoint& q = points[(i + 1) % points.size()];
      if ((p.y <= cy) != (q.y <= cy))
        crossings.push_back(p.x + (cy - p.y) * (q.x - p.x) / (q.y - p.y));
    }
    std::sort(crossings.begin(), crossings.end());
    for (size_t i = 0; i + 1 < crossings.size(); i += 2)
      FillSpan(y, crossings[i], crossings[i + 1], colour);
  }
}

void RasterCanvas::Line(MetaPoint from, MetaPoint to, const MetaPen& pen) {
  Stroke(Map(from), Map(to), pen);
}

void RasterCanvas::Rectangle(MetaPoint top_left, MetaPoint bottom_right, const MetaPen& pen,
                             const MetaBrush& brush) {
  const DevicePoint a = Map(top_left), b = Map(bottom_right);
  if (brush.style != kBrushNull) FillBox(a.x, a.y, b.x, b.y, brush.colour);
  if (pen.style == kPenNull) return;
  const MetaPoint tr{bottom_right.x, top_left.y}, bl{top_left.x, bottom_right.y};
  Line(top_left, tr, pen);
  Line(tr, bottom_right, pen);
  Line(bottom_right, bl, pen);
  Line(bl, top_left, pen);
}

void RasterCanvas::Ellipse(MetaPoint top_left, MetaPoint bottom_right, const MetaPen& pen,
                           const MetaBrush& brush) {
  const DevicePoint a = Map(top_left), b = Map(bottom_right);
  const double cx = (a.x + b.x) / 2, cy = (a.y + b.y) / 2;
  const double rx = std::abs(b.x - a.x) / 2, ry = std::abs(b.y - a.y) / 2;
  std::vector<DevicePoint> outline;
  for (int i = 0; i < kEllipseCorners; ++i) {
    const double t = 2 * std::numbers::pi * i / kEllipseCorners;
    outline.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
  }
  if (brush.style != kBrushNull) FillPolygon(outline, brush.colour);
  if (pen.style == kPenNull) return;
  for (size_t i = 0; i < outline.size() && !over_budget(); ++i)
    Stroke(outline[i], outline[(i + 1) % outline.size()], pen);
}

void RasterCanvas::Polygon(const std::vector<MetaPoint>& points, const MetaPen& pen,
                           const MetaBrush& brush, bool closed) {
  std::vector<DevicePoint> device;
  for (const MetaPoint& p : points) device.push_back(Map(p));
  if (closed && brush.style != kBrushNull) FillPolygon(device, brush.colour);
  if (pen.style == kPenNull || device.size() < 2) return;
  const size_t edges = closed ? device.size() : device.size() - 1;
  for (size_t i = 0; i < edges && !over_budget(); ++i)
    Stroke(device[i], device[(i + 1) % device.size()], pen);
}

// A bar where the text stands: half its height, the middle half of the
// line, half an em a character.
void RasterCanvas::Text(MetaPoint at, std::string_view text, const MetaFont& font, uint32_t colour,
                        uint16_t align) {
  if (text.empty()) return;
  const double scale = std::abs(static_cast<double>(image_->height) / extent_.y);
  const double height = std::clamp(std::abs(static_cast<double>(font.height)) * scale, 1.0, 1000.0);
  const double width = height * 0.5 * static_cast<double>(text.size());
  DevicePoint p = Map(at);
  if ((align & kAlignCenter) == kAlignCenter) {
    p.x -= width / 2;
  } else if (align & kAlignRight) {
    p.x -= width;
  }
  if ((align & kAlignBaseline) == kAlignBaseline) {
    p.y -= height * 0.8;
  } else if (align & kAlignBottom) {
    p.y -= height;
  }
  FillBox(p.x, p.y + height * 0.25, p.x + width, p.y + height * 0.75, colour);
}

}  // namespace vorsandt::images
