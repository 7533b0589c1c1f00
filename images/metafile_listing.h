// A canvas that writes what a metafile draws as text, one line per call, so
// that tests and the headless platform can read a page image:
//   window 0,0 2550x3300
//   line 300,600 2250,600 pen 0 3 0x000000
//   rectangle 300,600 330,630 pen 0 3 0x000000 brush 1 0x000000
//   ellipse ... / polygon 3 ... / polyline 2 ...
//   text 318,309 "MASTER INVENTORY" font "Arial" -42 700 colour 0x000000
//   bitmap 300,900 1200,1575 160x120
// Texts are quoted with \" \\ and \xHH for control bytes.
#ifndef VORSANDT_IMAGES_METAFILE_LISTING_H_
#define VORSANDT_IMAGES_METAFILE_LISTING_H_

#include <cstdint>
#include <string>
#include <vector>

#include "images/metafile_player.h"

namespace vorsandt::images {

class MetafileListing : public MetafileCanvas {
 public:
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
  void Bitmap(MetaPoint top_left, MetaPoint bottom_right, const MetaBitmap& bitmap) override;

  const std::string& text() const { return text_; }
  // The texts drawn, in order.
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  std::string text_;
  std::vector<std::string> texts_;
};

// The listing of a whole file; a play that stopped ends with "error: why".
std::string ListMetafile(const std::vector<uint8_t>& bytes);

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_METAFILE_LISTING_H_
