// Draws a metafile into RGBA pixels without a toolkit, for the places that
// need a metafile as a picture (a .WMF item photograph, a thumbnail of a page
// image): lines, rectangles, ellipses and polygons with their pens and
// brushes. Text needs fonts, which only the platform has: a run of text is
// shown as a bar of its colour where the text would stand (as a page shown
// small shows its lines of text), not as letters.
//
// Drawing work is bounded: every shape's cost in pixels touched is counted
// against a budget, so a small file of many huge shapes cannot keep a
// decoder busy for minutes; past the budget the drawing fails.
#ifndef VORSANDT_IMAGES_METAFILE_RASTER_H_
#define VORSANDT_IMAGES_METAFILE_RASTER_H_

#include <cstdint>

#include "images/image.h"
#include "images/metafile_player.h"

namespace vorsandt::images {

// Pixels touched per picture at most (about 25 fillings of a 2048 x 2048
// picture).
inline constexpr int64_t kMaxRasterWork = 100'000'000;

class RasterCanvas : public MetafileCanvas {
 public:
  // Draws onto `image`, whose size is the device the window maps onto.
  explicit RasterCanvas(Image* image) : image_(image) {}

  void SetWindow(MetaPoint origin, MetaPoint extent) override;
  void Line(MetaPoint from, MetaPoint to, const MetaPen& pen) override;
  void Rectangle(MetaPoint top_left, MetaPoint bottom_right, const MetaPen& pen,
                 const MetaBrush& brush) override;
  void Ellipse(MetaPoint top_left, MetaPoint bottom_right, const MetaPen& pen,
               const MetaBrush& brush) override;
  void Polygon(const std::vector<MetaPoint>& points, const MetaPen& pen, const MetaBrush& brush,
               bool closed) override;
  void Text(MetaPoint at, std::string_view text, const MetaFont& font, uint32_t colour,
            uint16_t align) override;

  // True when the work budget ran out (the picture is then incomplete).
  bool over_budget() const { return work_ > kMaxRasterWork; }

 private:
  struct DevicePoint {
    double x, y;
  };
  DevicePoint Map(MetaPoint p) const;
  double PenWidth(const MetaPen& pen) const;
  bool Spend(int64_t pixels);
  void FillSpan(int y, double x0, double x1, uint32_t colour);
  void FillBox(double x0, double y0, double x1, double y1, uint32_t colour);
  void Stroke(DevicePoint a, DevicePoint b, const MetaPen& pen);
  void FillPolygon(const std::vector<DevicePoint>& points, uint32_t colour);

  Image* image_;
  MetaPoint origin_{0, 0};
  MetaPoint extent_{1, 1};
  int64_t work_ = 0;
};

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_METAFILE_RASTER_H_
