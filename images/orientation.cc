#include "images/orientation.h"

#include <array>
#include <cstring>
#include <utility>

#include "images/byte_reader.h"

namespace vorsandt::images {
namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;

// Where each shown pixel comes from: with `transpose` the shown (x, y) reads
// the stored (y, x); then the stored column and row are mirrored as flagged.
struct Turn {
  bool transpose;
  bool flip_x;
  bool flip_y;
};
constexpr std::array<Turn, 9> kTurns = {{
    {false, false, false},  // 0: not a valid value
    {false, false, false},  // 1: as stored
    {false, true, false},   // 2: mirrored left to right
    {false, true, true},    // 3: upside down
    {false, false, true},   // 4: mirrored top to bottom
    {true, false, false},   // 5: mirrored along the main diagonal
    {true, false, true},    // 6: turned a quarter to the right
    {true, true, true},     // 7: mirrored along the other diagonal
    {true, true, false},    // 8: turned a quarter to the left
}};

}  // namespace

int ExifOrientation(std::span<const uint8_t> app1) {
  constexpr uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (app1.size() < 14 || std::memcmp(app1.data(), kExif, 6) != 0) return 1;
  const std::span<const uint8_t> tiff = app1.subspan(6);
  ByteReader in(tiff);
  bool big = false;
  if (tiff[0] == 'M' && tiff[1] == 'M') {
    big = true;
  } else if (tiff[0] != 'I' || tiff[1] != 'I') {
    return 1;
  }
  auto u16 = [&](uint64_t at) {
    const uint16_t v = in.U16(at);
    return big ? static_cast<uint16_t>((v >> 8) | (v << 8)) : v;
  };
  auto u32 = [&](uint64_t at) {
    return big ? (uint32_t{u16(at)} << 16) | u16(at + 2) : (uint32_t{u16(at + 2)} << 16) | u16(at);
  };
  const uint64_t ifd = u32(4);
  const uint16_t count = u16(ifd);
  for (uint32_t i = 0; i < count && in.ok(); ++i) {
    const uint64_t entry = ifd + 2 + uint64_t{12} * i;
    if (u16(entry) != kOrientationTag) continue;
    if (u16(entry + 2) != kShortType) return 1;
    const uint16_t value = u16(entry + 8);
    return in.ok() && value >= 1 && value <= 8 ? value : 1;
  }
  return 1;
}

void ApplyOrientation(int orientation, Image* image) {
  if (orientation <= 1 || orientation > 8) return;
  const Turn turn = kTurns[orientation];
  const int w = image->width, h = image->height;
  Image out;
  out.width = turn.transpose ? h : w;
  out.height = turn.transpose ? w : h;
  out.rgba.resize(image->rgba.size());
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      int sx = turn.transpose ? y : x;
      int sy = turn.transpose ? x : y;
      if (turn.flip_x) sx = w - 1 - sx;
      if (turn.flip_y) sy = h - 1 - sy;
      std::memcpy(out.Pixel(x, y), image->Pixel(sx, sy), 4);
    }
  }
  *image = std::move(out);
}

}  // namespace vorsandt::images
