// Metafiles (.WMF pictures, and the .TMP page images of report previews),
// placeable or plain, drawn by the metafile player onto a raster canvas.
//
// Size: a placeable file states its bounds and units per inch, drawn at
// 96 pixels an inch; a plain one only its window, taken as pixels. A
// metafile is a drawing, so it is drawn straight at the size a caller's box
// asks for; without a box, one larger than 2048 pixels a side is drawn
// smaller rather than refused.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "images/decoders.h"
#include "images/metafile_player.h"
#include "images/metafile_raster.h"

namespace vorsandt::images {
namespace {

constexpr ImageFormat kWmf = ImageFormat::kWmf;
constexpr double kScreenDpi = 96;
constexpr double kLargestUnboxed = 2048;
constexpr uint16_t kDefaultInch = 1440;

// Learns the window a plain metafile sets before it draws.
class WindowProbe : public MetafileCanvas {
 public:
  void SetWindow(MetaPoint, MetaPoint extent) override {
    if (!drawn_) extent_ = extent;
  }
  void Line(MetaPoint, MetaPoint, const MetaPen&) override { drawn_ = true; }
  void Rectangle(MetaPoint, MetaPoint, const MetaPen&, const MetaBrush&) override { drawn_ = true; }
  void Ellipse(MetaPoint, MetaPoint, const MetaPen&, const MetaBrush&) override { drawn_ = true; }
  void Polygon(const std::vector<MetaPoint>&, const MetaPen&, const MetaBrush&, bool) override {
    drawn_ = true;
  }
  void Text(MetaPoint, std::string_view, const MetaFont&, uint32_t, uint16_t) override {
    drawn_ = true;
  }
  MetaPoint extent() const { return extent_; }

 private:
  MetaPoint extent_;
  bool drawn_ = false;
};

}  // namespace

DecodeResult DecodeWmf(Bytes bytes, const DecodeOptions& options) {
  std::string error;
  const std::optional<MetafileInfo> info = ReadMetafileInfo(bytes.data(), bytes.size(), &error);
  if (!info) return Failure(kWmf, ImageError::kCorrupt, error);
  double width, height;
  if (info->placeable) {
    const PlaceableHeader& h = info->header;
    const double inch = h.inch != 0 ? h.inch : kDefaultInch;
    width = std::abs(static_cast<double>(h.right) - h.left) * kScreenDpi / inch;
    height = std::abs(static_cast<double>(h.bottom) - h.top) * kScreenDpi / inch;
  } else {
    WindowProbe probe;
    PlayMetafile(bytes.data(), bytes.size(), probe);
    width = std::abs(static_cast<double>(probe.extent().x));
    height = std::abs(static_cast<double>(probe.extent().y));
  }
  if (width < 0.5 || height < 0.5)
    return Failure(kWmf, ImageError::kCorrupt, "the picture has no area");

  double scale = std::min(1.0, kLargestUnboxed / std::max(width, height));
  if (options.target_width > 0 && options.target_height > 0)
    scale = std::min(options.target_width / width, options.target_height / height);
  DecodeResult result;
  result.format = kWmf;
  result.full_width = static_cast<int>(std::min(std::lround(width), long{INT32_MAX}));
  result.full_height = static_cast<int>(std::min(std::lround(height), long{INT32_MAX}));
  if (!AllocatePixels(std::max(1l, std::lround(width * scale)),
                      std::max(1l, std::lround(height * scale)), &result))
    return result;
  std::fill(result.image.rgba.begin(), result.image.rgba.end(), 0xFF);  // white paper
  RasterCanvas canvas(&result.image);
  const PlayResult played = PlayMetafile(bytes.data(), bytes.size(), canvas);
  if (!played.ok) return Failure(kWmf, ImageError::kCorrupt, played.error);
  if (canvas.over_budget())
    return Failure(kWmf, ImageError::kTooLarge, "too much drawing for one picture");
  return result;
}

}  // namespace vorsandt::images
