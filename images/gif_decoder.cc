// GIF pictures through giflib: the first frame on the logical screen, its
// transparent colour honoured. The file is read record by record and
// reading stops at the first picture, so an animation of thousands of frames
// costs no more than its first one (DGifSlurp would keep all of them).
#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "images/decoders.h"

namespace vorsandt::images {
namespace {

constexpr ImageFormat kGif = ImageFormat::kGif;

struct Source {
  Bytes bytes;
  size_t pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
  auto* source = static_cast<Source*>(gif->UserData);
  const size_t n =
      std::min(static_cast<size_t>(std::max(length, 0)), source->bytes.size() - source->pos);
  std::memcpy(buffer, source->bytes.data() + source->pos, n);
  source->pos += n;
  return static_cast<int>(n);
}

struct CloseGif {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, CloseGif>;

DecodeResult GifFailure(int code) {
  const ImageError error = code == D_GIF_ERR_READ_FAILED || code == D_GIF_ERR_EOF_TOO_SOON
                               ? ImageError::kTruncated
                               : ImageError::kCorrupt;
  const char* text = GifErrorString(code);
  return Failure(kGif, error, text != nullptr ? text : "GIF error " + std::to_string(code));
}

// The transparent colour index of a graphic control extension, or -1.
int TransparentIndex(const GifByteType* block) {
  if (block == nullptr || block[0] < 4 || (block[1] & 0x01) == 0) return -1;
  return block[4];
}

// Rows of an interlaced frame arrive in four passes.
constexpr int kPassStart[4] = {0, 4, 2, 1};
constexpr int kPassStep[4] = {8, 8, 4, 2};

}  // namespace

DecodeResult DecodeGif(Bytes bytes, const DecodeOptions&) {
  Source source{bytes};
  int error = 0;
  GifHandle gif(DGifOpen(&source, ReadFromMemory, &error));
  if (!gif) return GifFailure(error);

  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return GifFailure(gif->Error);
    if (type == TERMINATE_RECORD_TYPE)
      return Failure(kGif, ImageError::kCorrupt, "no picture in the file");
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return GifFailure(gif->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE) transparent = TransparentIndex(block);
      while (block != nullptr)
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return GifFailure(gif->Error);
      continue;
    }
    if (type == IMAGE_DESC_RECORD_TYPE) break;
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return GifFailure(gif->Error);

  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* colors = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (colors == nullptr) return Failure(kGif, ImageError::kCorrupt, "no colour table");
  const int64_t left = frame.Left, top = frame.Top;
  const int64_t width = std::max<int64_t>(gif->SWidth, left + frame.Width);
  const int64_t height = std::max<int64_t>(gif->SHeight, top + frame.Height);
  DecodeResult result;
  result.format = kGif;
  result.full_width = static_cast<int>(std::min<int64_t>(width, INT32_MAX));
  result.full_height = static_cast<int>(std::min<int64_t>(height, INT32_MAX));
  if (frame.Width <= 0 || frame.Height <= 0)
    return Failure(kGif, ImageError::kCorrupt, "empty frame");
  if (!AllocatePixels(width, height, &result)) return result;

  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = frame.Interlace ? kPassStart[pass] : 0;
    const int step = frame.Interlace ? kPassStep[pass] : 1;
    for (int row = start; row < frame.Height; row += step) {
      if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR)
        return GifFailure(gif->Error);
      for (int x = 0; x < frame.Width; ++x) {
        if (line[x] == transparent) continue;  // stays transparent
        uint8_t* p = result.image.Pixel(static_cast<int>(left + x), static_cast<int>(top + row));
        if (line[x] < colors->ColorCount) {
          const GifColorType& c = colors->Colors[line[x]];
          p[0] = c.Red;
          p[1] = c.Green;
          p[2] = c.Blue;
        }
        p[3] = 255;  // an index past the colour table shows black
      }
    }
  }
  return result;
}

}  // namespace vorsandt::images
