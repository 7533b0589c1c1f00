#include "storage/qvf/compression.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace vorsandt::qvf {
namespace {

void PutCount(std::string* out, size_t v) {
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    if (v != 0) b |= 0x80;
    out->push_back(static_cast<char>(b));
  } while (v != 0);
}

// Reads a count; false on a truncated or absurdly long number.
bool GetCount(std::string_view in, size_t* pos, size_t* v) {
  *v = 0;
  for (int shift = 0; shift < 28; shift += 7) {
    if (*pos >= in.size()) return false;
    uint8_t b = static_cast<uint8_t>(in[(*pos)++]);
    *v |= static_cast<size_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

// The first position at or after `i` where kMinRun equal bytes start, or
// `n` when there is none. Looks at eight bytes at a time: byte k of
// x = word(i) ^ word(i + 1) is zero when bytes i+k and i+k+1 are equal, so a
// zero byte k of x | x>>8 | x>>16 marks four equal bytes from i+k (k < 6).
// The position found is the first of its run of equal bytes, as a walk run
// by run would find it: the byte before it, if equal, would start four
// equal bytes itself and have been found first.
size_t NextRunStart(std::string_view in, size_t i) {
  static_assert(kMinRun == 4);
  const size_t n = in.size();
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x0000808080808080ull;  // bytes 0..5
    while (i + 9 <= n) {
      uint64_t a, b;
      std::memcpy(&a, in.data() + i, 8);
      std::memcpy(&b, in.data() + i + 1, 8);
      const uint64_t x = a ^ b;
      const uint64_t z = x | (x >> 8) | (x >> 16);
      // The lowest flagged byte is exact (a borrow only flags bytes above a
      // zero byte).
      const uint64_t zero = (z - kOnes) & ~z & kHighs;
      if (zero != 0) return i + static_cast<size_t>(std::countr_zero(zero)) / 8;
      i += 6;
    }
  }
  for (; i + kMinRun <= n; ++i) {
    if (in[i] == in[i + 1] && in[i] == in[i + 2] && in[i] == in[i + 3]) return i;
  }
  return n;
}

// The length of the run of bytes equal to in[i] that starts at `i`, known
// to be at least kMinRun. Padded text fields make runs of hundreds of
// spaces, and a byte at a time this loop was most of the compressor's time:
// eight bytes at a time, a word XOR the byte repeated is zero while the run
// goes on, and its lowest non-zero byte is where the run ends.
size_t RunLength(std::string_view in, size_t i) {
  const size_t n = in.size();
  size_t r = kMinRun;
  if constexpr (std::endian::native == std::endian::little) {
    const uint64_t repeated = 0x0101010101010101ull * static_cast<uint8_t>(in[i]);
    while (i + r + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, in.data() + i + r, 8);
      const uint64_t x = w ^ repeated;
      if (x != 0) return r + static_cast<size_t>(std::countr_zero(x)) / 8;
      r += 8;
    }
  }
  while (i + r < n && in[i + r] == in[i]) ++r;
  return r;
}

}  // namespace

bool Compress(std::string_view in, std::string* out) {
  out->clear();
  out->reserve(in.size() + 8);
  bool any_run = false;
  size_t group_start = 0;  // first byte not yet written
  for (size_t i = NextRunStart(in, 0); i < in.size(); i = NextRunStart(in, i)) {
    const size_t r = RunLength(in, i);
    // Literals run up to and including the run's first byte.
    PutCount(out, i + 1 - group_start);
    out->append(in.substr(group_start, i + 1 - group_start));
    PutCount(out, r - 1);
    group_start = i + r;
    any_run = true;
    i += r;
  }
  if (!any_run) {
    out->clear();
    return false;
  }
  PutCount(out, in.size() - group_start);
  out->append(in.substr(group_start));
  return true;
}

bool Expand(std::string_view in, size_t expanded_size, std::string* out) {
  out->clear();
  out->reserve(expanded_size);
  size_t pos = 0;
  while (out->size() < expanded_size) {
    size_t literals = 0;
    if (!GetCount(in, &pos, &literals)) return false;
    if (literals > in.size() - pos || literals > expanded_size - out->size()) return false;
    out->append(in.substr(pos, literals));
    pos += literals;
    if (out->size() == expanded_size) break;
    size_t repeat = 0;
    if (!GetCount(in, &pos, &repeat)) return false;
    if (out->empty() || repeat > expanded_size - out->size()) return false;
    if (literals == 0 && repeat == 0) return false;  // a group that makes no progress
    out->append(repeat, out->back());
  }
  // Bytes after the point where the size is reached are not read (a final
  // empty literal group ends a buffer that ends in a run).
  return true;
}

}  // namespace vorsandt::qvf
