// PNG pictures through libpng's simplified reading interface: every colour
// type and depth, palettes with transparency and interlacing come out as
// 8-bit RGBA. The interface keeps libpng's error longjmp inside libpng
// itself (it reports failure through its return value and `message`), so no
// C++ frame of ours is ever jumped over.
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

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
  png.format = PNG_FORMAT_RGBA;
  if (!png_image_finish_read(&png, nullptr, result.image.rgba.data(), 0, nullptr))
    return Failure(kPng, ErrorOf(png.message), png.message);
  return result;
}

}  // namespace vorsandt::images
