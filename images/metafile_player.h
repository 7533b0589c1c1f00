// Plays a 16-bit metafile (metafile_format.h) onto a canvas.
//
// The player reads the headers and every record with bounds checks and keeps
// the drawing state (object table, current pen, brush and font, position,
// text colour and alignment); the canvas only draws resolved shapes in
// logical units and maps the window (SetWindow) onto its own device. A file
// without the placeable header is accepted too (pictures); its bounds are
// then the window the file sets.
//
// Hostile input never reads outside the buffer: a record whose size runs
// past the end or is below the record header, a file without the standard
// header, a wrong placeable checksum stop the play with an error naming the
// byte offset. Bitmaps (stretched device-independent bitmaps) are drawn when
// they are uncompressed with 24 or 32 bits a pixel, whole (the source
// rectangle is not cut out), at most 16,384 pixels a side and within their
// record; others are skipped. Records this player does not know are skipped; object handles
// out of range are ignored. Playing stops at end-of-file or the buffer's end.
#ifndef VORSANDT_IMAGES_METAFILE_PLAYER_H_
#define VORSANDT_IMAGES_METAFILE_PLAYER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "images/metafile_format.h"

namespace vorsandt::images {

struct MetaPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const MetaPoint&) const = default;
};

struct MetaPen {
  uint16_t style = kPenSolid;
  int32_t width = 0;  // logical units; 0 draws one device pixel
  uint32_t colour = 0;
};

struct MetaBrush {
  uint16_t style = kBrushSolid;
  uint32_t colour = 0xFFFFFF;
};

struct MetaFont {
  int32_t height = 0;  // logical units; negative: character height
  int weight = 400;
  bool italic = false;
  std::string face;
};

// A bitmap a record draws: 8-bit RGBA rows from the top.
struct MetaBitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;
};

// What a player draws on. Coordinates are logical units of the window.
class MetafileCanvas {
 public:
  virtual ~MetafileCanvas() = default;
  // The window (origin and extent, in logical units) now mapped onto the
  // canvas's whole area. Called before the first drawing and on each change.
  virtual void SetWindow(MetaPoint origin, MetaPoint extent) = 0;
  virtual void Line(MetaPoint from, MetaPoint to, const MetaPen& pen) = 0;
  // The pen draws the outline, the brush fills (null styles: nothing).
  virtual void Rectangle(MetaPoint top_left, MetaPoint bottom_right, const MetaPen& pen,
                         const MetaBrush& brush) = 0;
  virtual void Ellipse(MetaPoint top_left, MetaPoint bottom_right, const MetaPen& pen,
                       const MetaBrush& brush) = 0;
  virtual void Polygon(const std::vector<MetaPoint>& points, const MetaPen& pen,
                       const MetaBrush& brush, bool closed) = 0;
  // `text` in Windows-1252; `align` the text-alignment flags (0: the point
  // is the text's top left corner).
  virtual void Text(MetaPoint at, std::string_view text, const MetaFont& font, uint32_t colour,
                    uint16_t align) = 0;
  // `bitmap` stretched into the rectangle from `top_left` to `bottom_right`.
  // A canvas that cannot show pictures leaves them out.
  virtual void Bitmap(MetaPoint /*top_left*/, MetaPoint /*bottom_right*/,
                      const MetaBitmap& /*bitmap*/) {}
};

struct MetafileInfo {
  bool placeable = false;
  PlaceableHeader header;     // when placeable
  uint16_t object_slots = 0;  // from the standard header
};

struct PlayResult {
  bool ok = false;
  std::string error;  // why the play stopped (when !ok)
  MetafileInfo info;
  int records = 0;  // records played, end-of-file included
  int skipped = 0;  // records of kinds this player does not draw
};

// Reads the headers only; nullopt with `error` set when they are malformed.
std::optional<MetafileInfo> ReadMetafileInfo(const uint8_t* data, size_t size, std::string* error);

// Plays the whole file onto `canvas`.
PlayResult PlayMetafile(const uint8_t* data, size_t size, MetafileCanvas& canvas);
inline PlayResult PlayMetafile(const std::vector<uint8_t>& bytes, MetafileCanvas& canvas) {
  return PlayMetafile(bytes.data(), bytes.size(), canvas);
}

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_METAFILE_PLAYER_H_
