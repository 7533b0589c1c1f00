// Reading one line of a text file into a fixed-length record.
//
// The reader sees the file through a ByteSource (a window on its bytes), so
// the decoding rules can be exercised on plain memory and on files alike.
// Rules, for a line starting at a byte offset:
//  1. The record is filled with blanks. An offset at or beyond the size of
//     the data, or a first byte Ctrl-Z (26), is the end of the file (33).
//  2. When the end-of-record sequence starts within the record length and
//     the line holds neither a tab nor a Ctrl-Z, the line is copied at once.
//  3. Otherwise bytes are copied one by one until the end-of-record sequence
//     (consumed), a Ctrl-Z (not consumed), the end of the data, or a full
//     record. Tabs follow the TAB option (text_options.h).
//  4. When the record is full before the end of the line, the rest of the
//     line is skipped up to the end-of-record sequence (consumed) or a
//     Ctrl-Z and counted in the line's byte count, so the next line is the
//     one after it.
//  5. With OEM text the record is converted to the ANSI set.
#ifndef VORSANDT_RUNTIME_TEXT_LINE_READER_H_
#define VORSANDT_RUNTIME_TEXT_LINE_READER_H_

#include <cstdint>
#include <span>
#include <string_view>

namespace vorsandt::text {

inline constexpr uint8_t kCtrlZ = 26;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Size of the data in bytes, as far as reading is concerned.
  virtual uint64_t Size() = 0;
  // Sets `*out` to up to `want` bytes at `offset` (fewer near the end of the
  // data or of the source's window, none at the end). The view stays valid
  // until the next call. Returns 0 or an errno.
  virtual int View(uint64_t offset, size_t want, std::span<const uint8_t>* out) = 0;
};

// A source over bytes in memory.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view data) : data_(data) {}
  uint64_t Size() override { return data_.size(); }
  int View(uint64_t offset, size_t want, std::span<const uint8_t>* out) override;

 private:
  std::string_view data_;
};

struct LineFormat {
  int32_t tab = 8;
  std::string_view end_of_record = "\r\n";  // at least one byte
  bool oem = false;
};

// Reads the line at `offset` into `record` (all of it: the record length is
// record.size()). `*bytes` receives the bytes the line takes in the file,
// end-of-record bytes and skipped rest included. Returns 0, 33 at the end of
// the file, or 300 + the operating-system error of a failed read.
int32_t ReadLine(ByteSource& source, uint64_t offset, const LineFormat& format,
                 std::span<uint8_t> record, uint64_t* bytes);

// Records a failed system call in the error state and returns the code to
// post for it: 300 + the mapped error number.
int32_t SystemError(int errnum, bool writing);

}  // namespace vorsandt::text

#endif  // VORSANDT_RUNTIME_TEXT_LINE_READER_H_
