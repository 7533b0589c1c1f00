// PCX pictures: 1, 2, 4 or 8 bits in one plane through a palette, 1 bit in 2
// to 4 planes (16 colours), and 8 bits in 3 or 4 planes (true colour, the
// fourth plane alpha); run-length encoded or raw. Runs may cross from one
// line into the next, as some writers let them, so lines are decoded from
// one continuous stream.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "images/byte_reader.h"
#include "images/decoders.h"

namespace vorsandt::images {
namespace {

constexpr uint64_t kHeaderSize = 128;
// The 256-colour palette at the end of an 8-bit file: a marker and 768 bytes.
constexpr uint64_t kTailPalette = 769;

// Version 3 files carry no palette of their own; their 16 colours are the
// standard ones of the display they were made on.
constexpr uint8_t kVersionWithoutPalette = 3;
constexpr uint32_t kEgaColours[16] = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};

struct PcxHeader {
  bool rle = true;
  int bpp = 0;
  int planes = 0;
  int64_t width = 0;
  int64_t height = 0;
  uint32_t bytes_per_line = 0;
};

// The run-length stream: a byte with both top bits set repeats the next byte
// (its low six bits) times.
class RunReader {
 public:
  RunReader(Bytes data, bool rle) : data_(data), rle_(rle) {}

  // Fills `line`; false when the data ends first.
  bool Fill(std::vector<uint8_t>& line) {
    for (size_t i = 0; i < line.size();) {
      if (count_ == 0) {
        if (pos_ >= data_.size()) return false;
        const uint8_t b = data_[pos_++];
        if (rle_ && (b & 0xC0) == 0xC0) {
          if (pos_ >= data_.size()) return false;
          count_ = b & 0x3F;
          value_ = data_[pos_++];
        } else {
          count_ = 1;
          value_ = b;
        }
        continue;
      }
      line[i++] = value_;
      --count_;
    }
    return true;
  }

 private:
  Bytes data_;
  bool rle_;
  size_t pos_ = 0;
  int count_ = 0;
  uint8_t value_ = 0;
};

bool Supported(const PcxHeader& h) {
  if (h.planes == 1) return h.bpp == 1 || h.bpp == 2 || h.bpp == 4 || h.bpp == 8;
  if (h.bpp == 1) return h.planes >= 2 && h.planes <= 4;
  return h.bpp == 8 && (h.planes == 3 || h.planes == 4);
}

uint32_t Bits(const uint8_t* plane, int64_t x, int bpp) {
  const int64_t bit = x * bpp;
  return (plane[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
}

}  // namespace

DecodeResult DecodePcx(Bytes bytes, const DecodeOptions&) {
  constexpr ImageFormat kPcx = ImageFormat::kPcx;
  ByteReader in(bytes);
  if (bytes.size() < kHeaderSize) return Failure(kPcx, ImageError::kTruncated, "no header");
  if (in.U8(0) != 0x0A || in.U8(2) > 1) return Failure(kPcx, ImageError::kCorrupt, "no header");
  PcxHeader h;
  h.rle = in.U8(2) == 1;
  h.bpp = in.U8(3);
  h.planes = in.U8(65);
  h.bytes_per_line = in.U16(66);
  const int xmin = in.U16(4), ymin = in.U16(6), xmax = in.U16(8), ymax = in.U16(10);
  if (xmax < xmin || ymax < ymin)
    return Failure(kPcx, ImageError::kCorrupt, "window ends before it starts");
  h.width = xmax - xmin + 1;
  h.height = ymax - ymin + 1;
  if (!Supported(h))
    return Failure(kPcx, ImageError::kUnsupported,
                   std::to_string(h.bpp) + " bits in " + std::to_string(h.planes) + " planes");
  if (uint64_t{h.bytes_per_line} * 8 < static_cast<uint64_t>(h.width) * h.bpp)
    return Failure(kPcx, ImageError::kCorrupt, "lines shorter than the picture is wide");

  std::array<uint32_t, 256> palette{};
  Bytes data = bytes.subspan(kHeaderSize);
  if (h.bpp == 1 && h.planes == 1) {
    palette[0] = 0xFF000000;
    palette[1] = 0xFFFFFFFF;
  } else if (h.bpp == 8 && h.planes == 1) {
    const uint64_t at = bytes.size() - kTailPalette;
    const bool tail = bytes.size() >= kHeaderSize + kTailPalette && bytes[at] == 0x0C;
    for (uint32_t i = 0; i < 256; ++i)
      palette[i] = tail ? 0xFF000000 | (bytes[at + 1 + i * 3] << 16) |
                              (bytes[at + 2 + i * 3] << 8) | bytes[at + 3 + i * 3]
                        : 0xFF000000 | (i << 16) | (i << 8) | i;  // no palette: grey
    if (tail) data = data.first(data.size() - kTailPalette);
  } else if (in.U8(1) == kVersionWithoutPalette) {
    for (uint32_t i = 0; i < 16; ++i) palette[i] = 0xFF000000 | kEgaColours[i];
  } else {
    for (uint32_t i = 0; i < 16; ++i)
      palette[i] =
          0xFF000000 | (in.U8(16 + i * 3) << 16) | (in.U8(17 + i * 3) << 8) | in.U8(18 + i * 3);
  }

  DecodeResult result;
  result.format = kPcx;
  result.full_width = static_cast<int>(h.width);
  result.full_height = static_cast<int>(h.height);
  if (!AllocatePixels(h.width, h.height, &result)) return result;
  std::vector<uint8_t> line(size_t{h.bytes_per_line} * h.planes);
  RunReader runs(data, h.rle);
  for (int64_t y = 0; y < h.height; ++y) {
    if (!runs.Fill(line))
      return Failure(
          kPcx, ImageError::kTruncated,
          "line " + std::to_string(y + 1) + " of " + std::to_string(h.height) + " missing");
    for (int64_t x = 0; x < h.width; ++x) {
      uint8_t* p = result.image.Pixel(static_cast<int>(x), static_cast<int>(y));
      const uint8_t* plane0 = line.data();
      if (h.bpp == 8 && h.planes >= 3) {
        for (int c = 0; c < 3; ++c) p[c] = plane0[c * h.bytes_per_line + x];
        p[3] = h.planes == 4 ? plane0[3 * h.bytes_per_line + x] : 255;
        continue;
      }
      uint32_t index = 0;
      for (int k = 0; k < h.planes; ++k)
        index |= Bits(plane0 + k * h.bytes_per_line, x, h.bpp) << k;
      const uint32_t argb = palette[index];
      p[0] = static_cast<uint8_t>(argb >> 16);
      p[1] = static_cast<uint8_t>(argb >> 8);
      p[2] = static_cast<uint8_t>(argb);
      p[3] = 255;
    }
  }
  return result;
}

}  // namespace vorsandt::images
