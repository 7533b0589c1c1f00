// The placeable 16-bit metafile: the byte layout the recorder writes and the
// player reads. Page images of reports and .WMF pictures share it.
//
// A file is an optional 22-byte placeable header, an 18-byte standard
// header, then records. All numbers are little-endian. Placeable header:
//   u32 magic 0x9AC6CDD7, u16 handle (0), i16 left, top, right, bottom (the
//   bounding box in logical units), u16 units per inch, u32 reserved (0),
//   u16 checksum = XOR of the ten 16-bit words before it.
// Standard header (in 16-bit words): type (1 memory, 2 disk), header size
// (9), version (0x0300), file size in words (u32), the number of object
// slots, the largest record in words (u32), parameters (0).
// A record: u32 size in 16-bit words (the size field and function
// included), u16 function, then size - 3 parameter words. The last record is
// end-of-file (size 3, function 0).
#ifndef VORSANDT_IMAGES_METAFILE_FORMAT_H_
#define VORSANDT_IMAGES_METAFILE_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace vorsandt::images {

inline constexpr uint32_t kPlaceableMagic = 0x9AC6CDD7;
inline constexpr size_t kPlaceableHeaderBytes = 22;
inline constexpr size_t kStandardHeaderBytes = 18;
inline constexpr uint16_t kStandardHeaderWords = 9;
inline constexpr uint16_t kMetafileVersion = 0x0300;
inline constexpr uint32_t kRecordHeaderWords = 3;

// Record functions this program writes or plays.
enum class MetaFunction : uint16_t {
  kEof = 0x0000,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSelectObject = 0x012D,
  kSetTextAlign = 0x012E,
  kDeleteObject = 0x01F0,
  kSetBkColor = 0x0201,
  kSetTextColor = 0x0209,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kEllipse = 0x0418,
  kRectangle = 0x041B,
  kTextOut = 0x0521,
  kExtTextOut = 0x0A32,
  kDibStretchBlt = 0x0B41,
  kStretchDib = 0x0F43,
};

// Pen styles and brush styles used here.
inline constexpr uint16_t kPenSolid = 0;
inline constexpr uint16_t kPenNull = 5;
inline constexpr uint16_t kBrushSolid = 0;
inline constexpr uint16_t kBrushNull = 1;
// Background modes.
inline constexpr uint16_t kBkTransparent = 1;
inline constexpr uint16_t kBkOpaque = 2;
// The raster operation that copies a bitmap as it is (SRCCOPY).
inline constexpr uint32_t kRopSourceCopy = 0x00CC0020;
// A bitmap's header (BITMAPINFOHEADER) is 40 bytes; 0: uncompressed rows.
inline constexpr uint32_t kBitmapHeaderBytes = 40;
inline constexpr uint32_t kBitmapUncompressed = 0;
// A font's face name field is 32 bytes, NUL-terminated.
inline constexpr size_t kFaceNameBytes = 32;

struct PlaceableHeader {
  uint16_t handle = 0;
  int16_t left = 0;
  int16_t top = 0;
  int16_t right = 0;
  int16_t bottom = 0;
  uint16_t inch = 0;
  uint32_t reserved = 0;
  uint16_t checksum = 0;
};

// The checksum of a placeable header: XOR of its first ten 16-bit words
// (`header` holds at least 20 bytes).
uint16_t PlaceableChecksum(const uint8_t* header);

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_METAFILE_FORMAT_H_
