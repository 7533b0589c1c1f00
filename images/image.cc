#include "images/image.h"

#include <array>

#include "images/decoders.h"
#include "images/limits.h"

namespace vorsandt::images {
namespace {

constexpr std::array<std::string_view, 8> kFormatNames = {
    "unknown", "JPEG", "PNG", "GIF", "BMP", "ICO", "PCX", "WMF",
};

constexpr std::array<std::string_view, 9> kErrorTexts = {
    "",
    "The picture file does not exist.",
    "The picture file could not be read.",
    "The picture file is empty.",
    "The file is not a picture in a format this program reads.",
    "This kind of picture is not supported.",
    "The picture is too large to show.",
    "The picture file is incomplete.",
    "The picture file is damaged.",
};

}  // namespace

std::string_view FormatName(ImageFormat format) {
  const size_t i = static_cast<size_t>(format);
  return i < kFormatNames.size() ? kFormatNames[i] : kFormatNames[0];
}

std::string_view ErrorText(ImageError error) {
  const size_t i = static_cast<size_t>(error);
  return i < kErrorTexts.size() ? kErrorTexts[i] : kErrorTexts[0];
}

std::string DecodeResult::Message() const {
  if (ok()) return "";
  std::string text(ErrorText(error));
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

DecodeResult Failure(ImageFormat format, ImageError error, std::string detail) {
  DecodeResult result;
  result.format = format;
  result.error = error;
  result.detail = std::move(detail);
  return result;
}

bool AllocatePixels(int64_t width, int64_t height, DecodeResult* result) {
  if (width <= 0 || height <= 0) {
    result->error = ImageError::kCorrupt;
    result->detail = "size " + std::to_string(width) + " x " + std::to_string(height);
    return false;
  }
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
  if (width > kMaxSide || height > kMaxSide || bytes > kMaxDecodedBytes) {
    result->error = ImageError::kTooLarge;
    result->detail = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return false;
  }
  result->image.width = static_cast<int>(width);
  result->image.height = static_cast<int>(height);
  result->image.rgba.assign(static_cast<size_t>(bytes), 0);
  return true;
}

}  // namespace vorsandt::images
