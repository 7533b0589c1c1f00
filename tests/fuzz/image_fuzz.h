// What every picture decoder's fuzz target checks, for every input:
//  1. The decoder returns (no crash, no hang, no allocation past the limits).
//  2. A decoded picture has 1..kMaxSide pixels a side, exactly
//     width * height * 4 bytes, at most kMaxDecodedBytes, and the format of
//     the decoder; a refused one has no pixels and a message.
//  3. With a small target box the picture comes out no larger than at full
//     size (a metafile, drawn at the box's size: no larger than the box).
//  4. Decoding through the interface (format from content) agrees with the
//     decoder whenever the content is recognised as that format.
#ifndef VORSANDT_TESTS_FUZZ_IMAGE_FUZZ_H_
#define VORSANDT_TESTS_FUZZ_IMAGE_FUZZ_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "images/decode.h"
#include "images/decoders.h"
#include "images/limits.h"
#include "tests/fuzz/fuzz_support.h"

namespace vorsandt::fuzz {

using ImageDecoder = images::DecodeResult (*)(images::Bytes, const images::DecodeOptions&);

inline void CheckResult(const images::DecodeResult& r, images::ImageFormat format) {
  FUZZ_CHECK(r.format == format);
  if (!r.ok()) {
    FUZZ_CHECK(r.image.rgba.empty());
    FUZZ_CHECK(!r.Message().empty());
    return;
  }
  FUZZ_CHECK(r.image.width >= 1 && r.image.width <= images::kMaxSide);
  FUZZ_CHECK(r.image.height >= 1 && r.image.height <= images::kMaxSide);
  FUZZ_CHECK(r.image.rgba.size() == static_cast<size_t>(r.image.width) * r.image.height * 4);
  FUZZ_CHECK(r.image.rgba.size() <= images::kMaxDecodedBytes);
}

inline int FuzzImageDecoder(ImageDecoder decode, images::ImageFormat format, const uint8_t* data,
                            size_t size) {
  const images::Bytes bytes(data, size);
  const images::DecodeResult full = decode(bytes, {});
  CheckResult(full, format);
  if (full.ok()) {
    const images::DecodeResult small = decode(bytes, {16, 16});
    CheckResult(small, format);
    FUZZ_CHECK(small.ok());
    FUZZ_CHECK(small.image.width <= std::max(full.image.width, 16) &&
               small.image.height <= std::max(full.image.height, 16));
  }
  if (images::DetectFormat(bytes) == format) {
    const images::DecodeResult again = images::DecodeImage(bytes);
    FUZZ_CHECK(again.error == full.error);
    FUZZ_CHECK(again.image.rgba == full.image.rgba);
  }
  return 0;
}

}  // namespace vorsandt::fuzz

#endif  // VORSANDT_TESTS_FUZZ_IMAGE_FUZZ_H_
