#include "storage/qvf/format.h"

#include <cstring>

namespace vorsandt::qvf {

std::string BigEndian32(uint32_t v) {
  uint8_t b[4];
  PutU32Big(b, v);
  return std::string(reinterpret_cast<const char*>(b), 4);
}

uint64_t FileHeader::EndOfData() const {
  for (int c = kMaxClass; c >= 1; --c) {
    if (end[c] != start[c]) return HomeAddress(end[c]);
  }
  return kHeaderSize;
}

int FileHeader::ClassOf(uint32_t unit) const {
  for (int c = 1; c <= kMaxClass; ++c) {
    if (start[c] <= unit && unit < end[c]) return c;
  }
  return 0;
}

void EncodeHeader(const FileHeader& h, uint8_t* out) {
  std::memset(out, 0, kHeaderSize);
  PutU32(out + kHdrOwnAddress, 0);
  PutU16(out + kHdrSize, kHeaderSize);
  PutU32(out + kHdrLogStart, h.log_start);
  PutU32(out + kHdrLogEnd, h.log_end);
  std::memcpy(out + kHdrMagic, kMagic, 4);
  std::memcpy(out + kHdrIdCounter, h.id_counter.data(), 4);
  PutU32(out + kHdrChangeCounter, h.change_counter);
  PutU32(out + kHdrRoot, h.root);
  for (int c = 0; c < kRegionCount; ++c) {
    PutU32(out + kHdrRegionStart + 4 * c, h.start[c]);
    PutU32(out + kHdrRegionEnd + 4 * c, h.end[c]);
  }
}

int DecodeHeader(const uint8_t* in, FileHeader* h, std::string* why) {
  auto fail = [why](int code, const char* text) {
    if (why != nullptr) *why = text;
    return code;
  };
  if (std::memcmp(in + kHdrMagic, kMagic, 4) != 0) return fail(1, "magic is not vElO");
  if (GetU32(in + kHdrOwnAddress) != 0 || GetU16(in + kHdrSize) != kHeaderSize) {
    return fail(2, "header own address or size field is wrong");
  }
  FileHeader r;
  r.log_start = GetU32(in + kHdrLogStart);
  r.log_end = GetU32(in + kHdrLogEnd);
  std::memcpy(r.id_counter.data(), in + kHdrIdCounter, 4);
  r.change_counter = GetU32(in + kHdrChangeCounter);
  r.root = GetU32(in + kHdrRoot);
  for (int c = 0; c < kRegionCount; ++c) {
    r.start[c] = GetU32(in + kHdrRegionStart + 4 * c);
    r.end[c] = GetU32(in + kHdrRegionEnd + 4 * c);
  }
  if (r.start[0] != 0 || r.end[0] != 0) return fail(3, "region 0 is not empty");
  // Unit numbers must keep every home address inside 32 bits.
  constexpr uint32_t kMaxUnit = (0xFFFFFFFFu - kHeaderSize) / kUnitSize;
  for (int c = 1; c <= kMaxClass; ++c) {
    if (r.start[c] < r.end[c - 1] || r.end[c] < r.start[c]) {
      return fail(4, "regions overlap or are out of order");
    }
    if ((r.end[c] - r.start[c]) % c != 0) return fail(5, "region length is not a multiple of its class");
    if (r.end[c] > kMaxUnit) return fail(6, "region lies beyond the addressable range");
  }
  if (r.root != kNoRoot) {
    int c = r.ClassOf(r.root);
    if (c == 0 || (r.root - r.start[c]) % c != 0) return fail(7, "root is not a page of any region");
  }
  if (r.log_start > r.log_end || r.log_start < r.EndOfData()) {
    return fail(8, "log pointers are not beyond the end of data");
  }
  *h = r;
  return 0;
}

}  // namespace vorsandt::qvf
