// Icons (and cursors, which share the layout): a directory of pictures of
// several sizes, of which the largest is shown, the deepest colour breaking a
// tie. An entry is either a bitmap with a transparency mask or a whole PNG
// file.
#include <algorithm>
#include <cstdint>
#include <string>

#include "images/byte_reader.h"
#include "images/decoders.h"

namespace vorsandt::images {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct Entry {
  uint64_t area = 0;
  int bits = 0;
  uint32_t size = 0;
  uint32_t offset = 0;
};

}  // namespace

DecodeResult DecodeIco(Bytes bytes, const DecodeOptions& options) {
  ByteReader in(bytes);
  const uint16_t reserved = in.U16(0), type = in.U16(2), count = in.U16(4);
  if (!in.ok()) return Failure(ImageFormat::kIco, ImageError::kTruncated, "no header");
  if (reserved != 0 || (type != 1 && type != 2) || count == 0)
    return Failure(ImageFormat::kIco, ImageError::kCorrupt, "not an icon directory");
  if (!in.Has(6, uint64_t{count} * 16))
    return Failure(ImageFormat::kIco, ImageError::kTruncated, "directory past the end");

  Entry best;
  for (int i = 0; i < count; ++i) {
    const uint64_t at = 6 + uint64_t{16} * i;
    const uint64_t w = in.U8(at) == 0 ? 256 : in.U8(at);
    const uint64_t h = in.U8(at + 1) == 0 ? 256 : in.U8(at + 1);
    Entry e{w * h, in.U16(at + 6), in.U32(at + 8), in.U32(at + 12)};
    if (i == 0 || e.area > best.area || (e.area == best.area && e.bits > best.bits)) best = e;
  }
  if (!in.Has(best.offset, best.size))
    return Failure(ImageFormat::kIco, ImageError::kTruncated,
                   "picture of " + std::to_string(best.size) + " bytes past the end");
  const Bytes entry = bytes.subspan(best.offset, best.size);
  DecodeResult result;
  if (entry.size() >= 8 && std::equal(entry.begin(), entry.begin() + 8, kPngSignature)) {
    result = DecodePng(entry, options);
  } else {
    result = DecodeDib(entry, 0, true);
  }
  result.format = ImageFormat::kIco;
  return result;
}

}  // namespace vorsandt::images
