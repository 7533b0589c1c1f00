// The decoders of the single formats, and what they share. Callers outside
// images/ use decode.h, which picks the decoder from the file's content;
// the fuzz targets and tests call these directly to reach one decoder.
#ifndef VORSANDT_IMAGES_DECODERS_H_
#define VORSANDT_IMAGES_DECODERS_H_

#include <cstdint>
#include <span>
#include <string>

#include "images/image.h"

namespace vorsandt::images {

using Bytes = std::span<const uint8_t>;

DecodeResult DecodeJpeg(Bytes bytes, const DecodeOptions& options);
DecodeResult DecodePng(Bytes bytes, const DecodeOptions& options);
DecodeResult DecodeGif(Bytes bytes, const DecodeOptions& options);
DecodeResult DecodeBmp(Bytes bytes, const DecodeOptions& options);
DecodeResult DecodeIco(Bytes bytes, const DecodeOptions& options);
DecodeResult DecodePcx(Bytes bytes, const DecodeOptions& options);
DecodeResult DecodeWmf(Bytes bytes, const DecodeOptions& options);

// A device-independent bitmap as stored in a BMP file after its 14-byte file
// header, or as an icon entry. `pixels_at` is the offset of the pixel data
// from the start of `dib` (one inside the header: right after the header and
// palette). An icon's
// DIB has twice its height (picture, then a 1-bit transparency mask).
DecodeResult DecodeDib(Bytes dib, uint64_t pixels_at, bool icon);

// A failed result.
DecodeResult Failure(ImageFormat format, ImageError error, std::string detail);

// Checks the size against the limits and allocates the pixels (all zero:
// transparent black). False, with the error set in `result`, when too large.
bool AllocatePixels(int64_t width, int64_t height, DecodeResult* result);

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_DECODERS_H_
