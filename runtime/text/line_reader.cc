#include "runtime/text/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/text/oem_charset.h"
#include "runtime/text/text_options.h"

namespace vorsandt::text {
namespace {

using files::kRecordNotAvailable;

// A moving window on the source for the byte-by-byte path. Only one view is
// held at a time: asking for a byte outside it fetches a new one there.
class Cursor {
 public:
  Cursor(ByteSource& source, size_t chunk) : source_(source), chunk_(chunk) {}

  void Adopt(uint64_t base, std::span<const uint8_t> window) {
    base_ = base;
    window_ = window;
  }

  // The byte at `pos`, or -1 at the end of the data or after a failed read
  // (then error() is set).
  int At(uint64_t pos) {
    if (pos >= base_ && pos - base_ < window_.size()) return window_[pos - base_];
    if (pos >= source_.Size()) return -1;
    window_ = {};
    base_ = pos;
    if (int e = source_.View(pos, chunk_, &window_); e != 0) {
      error_ = e;
      window_ = {};
      return -1;
    }
    return window_.empty() ? -1 : window_[0];
  }

  bool Matches(uint64_t pos, std::string_view sequence) {
    for (size_t k = 0; k < sequence.size(); ++k) {
      if (At(pos + k) != static_cast<unsigned char>(sequence[k])) return false;
    }
    return true;
  }

  int error() const { return error_; }

 private:
  ByteSource& source_;
  size_t chunk_;
  uint64_t base_ = 0;
  std::span<const uint8_t> window_;
  int error_ = 0;
};

// Advances the output column for one tab; the record already holds blanks,
// so writing blanks is moving the column.
size_t AfterTab(size_t column, size_t length, int32_t tab, uint8_t* record) {
  if (tab == 0) return column;
  if (tab == kTabKeep) {
    record[column] = '\t';
    return column + 1;
  }
  const uint64_t next =
      tab < 0 ? column + static_cast<uint64_t>(-static_cast<int64_t>(tab))
              : (column / static_cast<uint64_t>(tab) + 1) * static_cast<uint64_t>(tab);
  return static_cast<size_t>(std::min<uint64_t>(next, length));
}

}  // namespace

int MemorySource::View(uint64_t offset, size_t want, std::span<const uint8_t>* out) {
  if (offset >= data_.size()) {
    *out = {};
    return 0;
  }
  const size_t n = std::min<uint64_t>(want, data_.size() - offset);
  *out = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data_.data()) + offset, n);
  return 0;
}

int32_t SystemError(int errnum, bool writing) {
  const int32_t mapped = files::MapErrno(errnum != 0 ? errnum : EIO, writing);
  files::Errors().SetOsError(mapped);
  return files::kSystemErrorBase + mapped;
}

int32_t ReadLine(ByteSource& source, uint64_t offset, const LineFormat& format,
                 std::span<uint8_t> record, uint64_t* bytes) {
  const size_t length = record.size();
  const std::string_view eor = format.end_of_record;
  std::fill(record.begin(), record.end(), static_cast<uint8_t>(' '));
  *bytes = 0;
  if (offset >= source.Size()) return kRecordNotAvailable;

  const size_t want = length + eor.size();
  std::span<const uint8_t> window;
  if (int e = source.View(offset, want, &window); e != 0) return SystemError(e, false);
  if (window.empty() || window[0] == kCtrlZ) return kRecordNotAvailable;

  // The common case: the whole line and its end-of-record sequence are in
  // view, and nothing in it needs translating.
  const size_t limit = std::min(window.size(), want);
  auto end = std::search(window.begin(), window.begin() + limit, eor.begin(), eor.end());
  if (end != window.begin() + limit) {
    const size_t n = static_cast<size_t>(end - window.begin());
    if (n <= length && std::memchr(window.data(), '\t', n) == nullptr &&
        std::memchr(window.data(), kCtrlZ, n) == nullptr) {
      std::memcpy(record.data(), window.data(), n);
      *bytes = n + eor.size();
      if (format.oem) OemToAnsiInPlace(record.data(), length);
      return 0;
    }
  }

  Cursor cursor(source, std::max<size_t>(want, 512));
  cursor.Adopt(offset, window);
  uint64_t pos = offset;
  size_t column = 0;
  bool ended = false;
  while (column < length) {
    const int c = cursor.At(pos);
    if (c < 0) {
      ended = true;  // end of the data: the last line had no end of record
      break;
    }
    if (c == static_cast<unsigned char>(eor[0]) && cursor.Matches(pos, eor)) {
      pos += eor.size();
      ended = true;
      break;
    }
    if (c == kCtrlZ) {
      ended = true;
      break;
    }
    ++pos;
    if (c == '\t') {
      column = AfterTab(column, length, format.tab, record.data());
    } else {
      record[column++] = static_cast<uint8_t>(c);
    }
  }
  // A full record: the rest of the line belongs to this record's bytes.
  while (!ended) {
    const int c = cursor.At(pos);
    if (c < 0 || c == kCtrlZ) break;
    if (c == static_cast<unsigned char>(eor[0]) && cursor.Matches(pos, eor)) {
      pos += eor.size();
      break;
    }
    ++pos;
  }
  if (cursor.error() != 0) return SystemError(cursor.error(), false);
  *bytes = pos - offset;
  if (format.oem) OemToAnsiInPlace(record.data(), length);
  return 0;
}

}  // namespace vorsandt::text
