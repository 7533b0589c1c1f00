#include "storage/qvf/compression.h"

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

}  // namespace

bool Compress(std::string_view in, std::string* out) {
  out->clear();
  bool any_run = false;
  size_t group_start = 0;  // first byte not yet written
  size_t i = 0;
  while (i < in.size()) {
    size_t r = 1;
    while (i + r < in.size() && in[i + r] == in[i]) ++r;
    if (r >= kMinRun) {
      // Literals run up to and including the run's first byte.
      PutCount(out, i + 1 - group_start);
      out->append(in.substr(group_start, i + 1 - group_start));
      PutCount(out, r - 1);
      group_start = i + r;
      any_run = true;
    }
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
