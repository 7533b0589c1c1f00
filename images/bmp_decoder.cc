// Windows bitmaps: BMP files and the bitmap entries of icons.
//
// Read: the core (12-byte) header and the info headers of 40 bytes and more;
// 1, 4 and 8 bits with a palette, 16 and 32 bits with the default layout or
// bit fields, 24 bits; RLE8 and RLE4; rows bottom-up (positive height) or
// top-down (negative height). Pixels that an RLE bitmap skips stay
// transparent. Palette indexes past the palette show black, as the file
// gives no colour for them.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>

#include "images/byte_reader.h"
#include "images/decoders.h"

namespace vorsandt::images {
namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

struct Masks {
  std::array<uint32_t, 4> mask{};  // red, green, blue, alpha
};

struct DibHeader {
  uint32_t header_size = 0;
  int64_t width = 0;
  int64_t height = 0;  // rows of the picture (an icon's mask excluded)
  bool top_down = false;
  int bpp = 0;
  uint32_t compression = kRgb;
  uint32_t colors = 0;
  int palette_entry = 4;  // bytes per palette entry
  uint64_t palette_at = 0;
  Masks masks;
  bool has_alpha = false;
};

using Palette = std::array<uint32_t, 256>;  // 0xAARRGGBB

void Put(Image& image, int64_t x, int64_t y, uint32_t argb) {
  uint8_t* p = image.Pixel(static_cast<int>(x), static_cast<int>(y));
  p[0] = static_cast<uint8_t>(argb >> 16);
  p[1] = static_cast<uint8_t>(argb >> 8);
  p[2] = static_cast<uint8_t>(argb);
  p[3] = static_cast<uint8_t>(argb >> 24);
}

// One component of a bit-field pixel, scaled to 0-255.
uint32_t Component(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint64_t max = mask >> shift;
  return static_cast<uint32_t>(((pixel & mask) >> shift) * 255 / max);
}

ImageError ReadHeader(ByteReader& in, bool icon, DibHeader* h, std::string* detail) {
  h->header_size = in.U32(0);
  int64_t height;
  if (h->header_size == 12) {
    h->width = in.U16(4);
    height = static_cast<int16_t>(in.U16(6));
    h->bpp = in.U16(10);
    h->palette_entry = 3;
    h->palette_at = 12;
  } else if (h->header_size >= 40 && h->header_size <= 124) {
    h->width = in.S32(4);
    height = in.S32(8);
    h->bpp = in.U16(14);
    h->compression = in.U32(16);
    h->colors = in.U32(32);
    h->palette_at = h->header_size;
    if (h->header_size == 64 && h->compression > kRle4) {
      *detail = "compression " + std::to_string(h->compression) + " of a 64-byte header";
      return ImageError::kUnsupported;
    }
    if (h->compression == kBitFields || h->compression == kAlphaBitFields) {
      const int count = h->compression == kAlphaBitFields ? 4 : 3;
      // Masks sit inside the larger headers, after the 40-byte one otherwise.
      for (int i = 0; i < count; ++i) h->masks.mask[i] = in.U32(40 + 4 * i);
      if (h->header_size >= 56) h->masks.mask[3] = in.U32(52);
      if (h->header_size == 40) h->palette_at = 40 + 4 * count;
    }
  } else {
    *detail = "header of " + std::to_string(h->header_size) + " bytes";
    return ImageError::kUnsupported;
  }
  if (!in.ok()) return ImageError::kTruncated;
  if (height == INT32_MIN) return ImageError::kCorrupt;
  h->top_down = height < 0;
  h->height = height < 0 ? -height : height;
  if (icon) h->height /= 2;

  const bool rle = h->compression == kRle8 || h->compression == kRle4;
  const bool fields = h->compression == kBitFields || h->compression == kAlphaBitFields;
  const bool bpp_ok =
      h->bpp == 1 || h->bpp == 4 || h->bpp == 8 || h->bpp == 16 || h->bpp == 24 || h->bpp == 32;
  if (!bpp_ok || (h->compression == kRle8 && h->bpp != 8) ||
      (h->compression == kRle4 && h->bpp != 4) || (fields && h->bpp != 16 && h->bpp != 32) ||
      (!rle && !fields && h->compression != kRgb)) {
    *detail = std::to_string(h->bpp) + " bits, compression " + std::to_string(h->compression);
    return ImageError::kUnsupported;
  }
  if (rle && h->top_down) {
    *detail = "top-down RLE bitmap";
    return ImageError::kCorrupt;
  }
  if (!fields) {
    if (h->bpp == 16) h->masks.mask = {0x7C00, 0x03E0, 0x001F, 0};
    if (h->bpp == 32) h->masks.mask = {0xFF0000, 0xFF00, 0xFF, icon ? 0xFF000000u : 0};
  }
  h->has_alpha = h->masks.mask[3] != 0;
  if (h->bpp <= 8) {
    const uint32_t all = 1u << h->bpp;
    if (h->colors == 0 || h->colors > all) h->colors = all;
  } else {
    h->colors = 0;
  }
  return ImageError::kNone;
}

// Palette entries past the end of the file are refused; entries the header
// does not declare show black.
bool ReadPalette(ByteReader& in, const DibHeader& h, Palette* palette) {
  palette->fill(0xFF000000);
  for (uint32_t i = 0; i < h.colors; ++i) {
    const uint64_t at = h.palette_at + uint64_t{i} * h.palette_entry;
    (*palette)[i] = 0xFF000000 | (in.U8(at + 2) << 16) | (in.U8(at + 1) << 8) | in.U8(at);
  }
  return in.ok();
}

uint32_t MaskedPixel(uint32_t value, const DibHeader& h) {
  const auto& m = h.masks.mask;
  const uint32_t alpha = h.has_alpha ? Component(value, m[3]) : 255;
  return (alpha << 24) | (Component(value, m[0]) << 16) | (Component(value, m[1]) << 8) |
         Component(value, m[2]);
}

void DecodeRow(const uint8_t* row, const DibHeader& h, const Palette& palette, int64_t y,
               Image& image) {
  for (int64_t x = 0; x < h.width; ++x) {
    uint32_t argb;
    switch (h.bpp) {
      case 1:
      case 4:
      case 8: {
        const int64_t bit = x * h.bpp;
        const int shift = 8 - h.bpp - static_cast<int>(bit % 8);
        argb = palette[(row[bit / 8] >> shift) & ((1u << h.bpp) - 1)];
        break;
      }
      case 16:
        argb = MaskedPixel(row[x * 2] | (row[x * 2 + 1] << 8), h);
        break;
      case 24:
        argb = 0xFF000000 | (row[x * 3 + 2] << 16) | (row[x * 3 + 1] << 8) | row[x * 3];
        break;
      default: {
        const uint8_t* p = row + x * 4;
        argb = MaskedPixel(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24), h);
        break;
      }
    }
    Put(image, x, y, argb);
  }
}

ImageError DecodeUncompressed(Bytes dib, uint64_t at, const DibHeader& h, const Palette& palette,
                              Image& image, std::string* detail) {
  const uint64_t stride = ((static_cast<uint64_t>(h.width) * h.bpp + 31) / 32) * 4;
  for (int64_t r = 0; r < h.height; ++r) {
    const uint64_t row_at = at + static_cast<uint64_t>(r) * stride;
    if (row_at > dib.size() || dib.size() - row_at < stride) {
      *detail = "row " + std::to_string(r + 1) + " of " + std::to_string(h.height) + " missing";
      return ImageError::kTruncated;
    }
    DecodeRow(dib.data() + row_at, h, palette, h.top_down ? r : h.height - 1 - r, image);
  }
  return ImageError::kNone;
}

// RLE8 and RLE4: pairs of (count, value) runs and escapes (0,0 end of line;
// 0,1 end of bitmap; 0,2 move; 0,n n literal pixels padded to a word).
ImageError DecodeRle(Bytes dib, uint64_t at, const DibHeader& h, const Palette& palette,
                     Image& image, std::string* detail) {
  const bool four = h.compression == kRle4;
  int64_t x = 0, y = 0;  // y counts rows from the bottom
  auto put = [&](uint32_t index) {
    if (x < h.width && y < h.height) Put(image, x, h.height - 1 - y, palette[index & 0xFF]);
    ++x;
  };
  uint64_t pos = at;
  while (y < h.height) {
    if (pos > dib.size() || dib.size() - pos < 2) {
      *detail = "RLE data ends at row " + std::to_string(y + 1) + " of " + std::to_string(h.height);
      return ImageError::kTruncated;
    }
    const uint8_t count = dib[pos], value = dib[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < h.width; ++i)
        put(four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return ImageError::kNone;
    } else if (value == 2) {
      if (dib.size() - pos < 2) return ImageError::kTruncated;
      x += dib[pos];
      y += dib[pos + 1];
      pos += 2;
    } else {
      const uint64_t bytes = four ? (value + 1) / 2 : value;
      const uint64_t padded = (bytes + 1) & ~uint64_t{1};
      if (dib.size() - pos < padded) {
        *detail = "literal run past the end";
        return ImageError::kTruncated;
      }
      for (int i = 0; i < value; ++i) {
        const uint8_t b = dib[pos + (four ? i / 2 : i)];
        put(four ? (i % 2 == 0 ? b >> 4 : b & 0x0F) : b);
      }
      pos += padded;
    }
  }
  return ImageError::kNone;
}

// An icon's 1-bit mask after its pixels: a set bit is a transparent pixel.
// A 32-bit icon carries its own alpha; the mask counts only when that alpha
// is zero everywhere (icons made before alpha existed).
void ApplyIconMask(Bytes dib, uint64_t at, const DibHeader& h, Image& image) {
  if (h.bpp == 32) {
    for (size_t i = 3; i < image.rgba.size(); i += 4)
      if (image.rgba[i] != 0) return;
  }
  const uint64_t stride = ((static_cast<uint64_t>(h.width) + 31) / 32) * 4;
  if (at > dib.size() || (dib.size() - at) / stride < static_cast<uint64_t>(h.height)) {
    if (h.bpp == 32)  // no mask either: show the colours opaque
      for (size_t i = 3; i < image.rgba.size(); i += 4) image.rgba[i] = 255;
    return;
  }
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* row = dib.data() + at + r * stride;
    const int64_t y = h.top_down ? r : h.height - 1 - r;
    for (int64_t x = 0; x < h.width; ++x) {
      const bool transparent = (row[x / 8] >> (7 - x % 8)) & 1;
      image.Pixel(static_cast<int>(x), static_cast<int>(y))[3] = transparent ? 0 : 255;
    }
  }
}

}  // namespace

DecodeResult DecodeDib(Bytes dib, uint64_t pixels_at, bool icon) {
  const ImageFormat format = icon ? ImageFormat::kIco : ImageFormat::kBmp;
  ByteReader in(dib);
  DibHeader h;
  std::string detail;
  if (ImageError e = ReadHeader(in, icon, &h, &detail); e != ImageError::kNone)
    return Failure(format, e, detail);
  Palette palette;
  if (!ReadPalette(in, h, &palette))
    return Failure(format, ImageError::kTruncated, "palette past the end");
  if (pixels_at < h.palette_at) pixels_at = h.palette_at + uint64_t{h.colors} * h.palette_entry;

  DecodeResult result;
  result.format = format;
  result.full_width = static_cast<int>(std::min<int64_t>(h.width, INT32_MAX));
  result.full_height = static_cast<int>(std::min<int64_t>(h.height, INT32_MAX));
  if (!AllocatePixels(h.width, h.height, &result)) return result;
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  ImageError e = rle ? DecodeRle(dib, pixels_at, h, palette, result.image, &detail)
                     : DecodeUncompressed(dib, pixels_at, h, palette, result.image, &detail);
  if (e != ImageError::kNone) return Failure(format, e, detail);
  if (icon && !rle) {
    const uint64_t stride = ((static_cast<uint64_t>(h.width) * h.bpp + 31) / 32) * 4;
    ApplyIconMask(dib, pixels_at + stride * h.height, h, result.image);
  }
  return result;
}

DecodeResult DecodeBmp(Bytes bytes, const DecodeOptions&) {
  ByteReader in(bytes);
  if (bytes.size() < 18) return Failure(ImageFormat::kBmp, ImageError::kTruncated, "no header");
  if (in.U8(0) != 'B' || in.U8(1) != 'M')
    return Failure(ImageFormat::kBmp, ImageError::kCorrupt, "no BM signature");
  // A pixel offset inside the headers is wrong; the pixels are then taken to
  // follow the palette, where every writer puts them (DecodeDib).
  const uint32_t offset = in.U32(10);
  const uint64_t pixels_at = offset > 14 ? offset - 14 : 0;
  return DecodeDib(bytes.subspan(14), pixels_at, false);
}

}  // namespace vorsandt::images
