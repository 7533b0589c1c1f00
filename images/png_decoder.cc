// PNG pictures through libpng's simplified reading interface: every colour
// type and depth, palettes with transparency and interlacing come out as
// 8-bit RGBA. The interface keeps libpng's error longjmp inside libpng
// itself (it reports failure through its return value and `message`), so no
// C++ frame of ours is ever jumped over.
//
// The header's size is checked before any pixel is decoded; then the image
// data is inflated once up to the bytes that size needs, because libpng
// inflates whatever follows the last row to its end: a few megabytes that
// inflate to gigabytes behind a 1 x 1 header would keep it busy for a
// minute. Data that goes on past what the size needs is refused there.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "images/decoders.h"

namespace vorsandt::images {
namespace {

constexpr ImageFormat kPng = ImageFormat::kPng;

// libpng words its messages; a few say the file ended early.
ImageError ErrorOf(const char* message) {
  for (const char* ended : {"Not enough", "Truncated", "beyond end", "Read Error"})
    if (std::strstr(message, ended) != nullptr) return ImageError::kTruncated;
  return ImageError::kCorrupt;
}

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The filtered rows the image data inflates to, from the header's fields:
// per pass of the interlacing, each row's filter byte and packed pixels. 0
// for fields libpng refuses anyway.
uint64_t ImageDataBytes(uint32_t width, uint32_t height, int depth, int colour, bool interlaced) {
  int channels = 0;
  switch (colour) {
    case 0:
      channels = 1;
      break;  // grey
    case 2:
      channels = 3;
      break;  // RGB
    case 3:
      channels = 1;
      break;  // palette
    case 4:
      channels = 2;
      break;  // grey and alpha
    case 6:
      channels = 4;
      break;  // RGBA
    default:
      return 0;
  }
  const uint64_t bits = static_cast<uint64_t>(depth) * channels;
  auto rows = [&](uint64_t w, uint64_t h) { return w == 0 ? 0 : h * (1 + (w * bits + 7) / 8); };
  if (!interlaced) return rows(width, height);
  // Adam7: first column and row, and steps, of each of the seven passes.
  static constexpr int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  uint64_t total = 0;
  for (const auto& p : kPasses) {
    const uint64_t w = width > uint32_t(p[0]) ? (width - p[0] + p[2] - 1) / p[2] : 0;
    const uint64_t h = height > uint32_t(p[1]) ? (height - p[1] + p[3] - 1) / p[3] : 0;
    if (h > 0) total += rows(w, h);
  }
  return total;
}

// True unless the image data inflates to more than the header's size needs
// (by more than a little slack). Stops inflating at that point. Damage of
// any other kind is left for libpng to name.
bool ImageDataFitsTheHeader(Bytes bytes) {
  constexpr size_t kSignature = 8;
  constexpr uint64_t kSlack = 64 << 10;
  if (bytes.size() < kSignature + 8 + 13) return true;
  const uint8_t* ihdr = bytes.data() + kSignature + 8;
  if (std::memcmp(bytes.data() + kSignature + 4, "IHDR", 4) != 0) return true;
  const uint64_t needed =
      ImageDataBytes(BigEndian32(ihdr), BigEndian32(ihdr + 4), ihdr[8], ihdr[9], ihdr[12] != 0);
  if (needed == 0) return true;
  const uint64_t budget = needed + kSlack;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return true;
  std::vector<uint8_t> out(64 << 10);
  uint64_t produced = 0;
  bool fits = true;
  bool ended = false;
  for (size_t at = kSignature; !ended && fits && at + 12 <= bytes.size();) {
    const uint32_t length = BigEndian32(bytes.data() + at);
    if (length > bytes.size() - at - 12) break;
    const uint8_t* type = bytes.data() + at + 4;
    if (std::memcmp(type, "IDAT", 4) == 0) {
      z.next_in = const_cast<Bytef*>(type + 4);
      z.avail_in = length;
      while (z.avail_in > 0 && !ended && fits) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        produced += out.size() - z.avail_out;
        fits = produced <= budget;
        if (rc == Z_STREAM_END) ended = true;
        if (rc != Z_OK && rc != Z_STREAM_END) ended = true;  // libpng's to report
      }
    }
    at += 12 + static_cast<size_t>(length);
  }
  inflateEnd(&z);
  return fits;
}

}  // namespace

DecodeResult DecodePng(Bytes bytes, const DecodeOptions&) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
    return Failure(kPng, ErrorOf(png.message), png.message);

  DecodeResult result;
  result.format = kPng;
  result.full_width = static_cast<int>(std::min<png_uint_32>(png.width, INT32_MAX));
  result.full_height = static_cast<int>(std::min<png_uint_32>(png.height, INT32_MAX));
  if (!AllocatePixels(png.width, png.height, &result)) {
    png_image_free(&png);
    return result;
  }
  if (!ImageDataFitsTheHeader(bytes)) {
    png_image_free(&png);
    return Failure(kPng, ImageError::kCorrupt,
                   "more image data than " + std::to_string(png.width) + " x " +
                       std::to_string(png.height) + " pixels hold");
  }
  png.format = PNG_FORMAT_RGBA;
  if (!png_image_finish_read(&png, nullptr, result.image.rgba.data(), 0, nullptr))
    return Failure(kPng, ErrorOf(png.message), png.message);
  return result;
}

}  // namespace vorsandt::images
