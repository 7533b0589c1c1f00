// Little-endian reads at offsets into a picture file's bytes, bounds-checked:
// a read past the end gives 0 and marks the reader, so a decoder can read a
// whole header and test `ok()` once.
#ifndef VORSANDT_IMAGES_BYTE_READER_H_
#define VORSANDT_IMAGES_BYTE_READER_H_

#include <cstdint>
#include <span>

namespace vorsandt::images {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint8_t U8(uint64_t at) {
    if (at >= bytes_.size()) {
      ok_ = false;
      return 0;
    }
    return bytes_[at];
  }
  uint16_t U16(uint64_t at) { return static_cast<uint16_t>(U8(at) | (U8(at + 1) << 8)); }
  uint32_t U32(uint64_t at) { return U16(at) | (static_cast<uint32_t>(U16(at + 2)) << 16); }
  int32_t S32(uint64_t at) { return static_cast<int32_t>(U32(at)); }
  bool Has(uint64_t at, uint64_t length) const {
    return at <= bytes_.size() && length <= bytes_.size() - at;
  }
  bool ok() const { return ok_; }
  uint64_t size() const { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
  bool ok_ = true;
};

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_BYTE_READER_H_
