// A text file opened through the environment, with its read buffer and its
// cached size. The buffer is a window on the file that reads are served from;
// any write through this handle drops it, and so does a fresh look at the
// size (RefreshSize), so a file that others change is seen anew.
#ifndef VORSANDT_RUNTIME_TEXT_TEXT_FILE_H_
#define VORSANDT_RUNTIME_TEXT_TEXT_FILE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "runtime/env/env.h"
#include "runtime/text/line_reader.h"

namespace vorsandt::text {

class TextFile final : public ByteSource {
 public:
  // `file` is open; the size is learned at once. Returns 0 or an errno.
  static int Attach(std::unique_ptr<env::File> file, size_t buffer_size,
                    std::unique_ptr<TextFile>* out);

  // ByteSource: the cached size, and views out of the read buffer (at most
  // buffer_size() bytes, never beyond the cached size).
  uint64_t Size() override { return size_; }
  int View(uint64_t offset, size_t want, std::span<const uint8_t>* out) override;

  // Asks the system for the size again and drops the read buffer.
  int RefreshSize();
  void SetBufferSize(size_t bytes);
  size_t buffer_size() const { return capacity_; }

  // Writes all of `data` at `offset` (0 or an errno; EIO for a write the
  // system cut short). The cached size grows to cover what was written.
  int Write(uint64_t offset, std::span<const uint8_t> data);
  // Sets the length of the file.
  int Truncate(uint64_t length);
  // Reads exactly `length` bytes at `offset` past the buffer (EIO when the
  // file ends first).
  int ReadExact(uint64_t offset, size_t length, uint8_t* into);

  env::File& handle() { return *file_; }

 private:
  TextFile(std::unique_ptr<env::File> file, size_t buffer_size);

  std::unique_ptr<env::File> file_;
  std::vector<uint8_t> buffer_;
  size_t capacity_;
  uint64_t start_ = 0;  // file offset of buffer_[0]
  size_t filled_ = 0;   // valid bytes in buffer_
  uint64_t size_ = 0;
};

}  // namespace vorsandt::text

#endif  // VORSANDT_RUNTIME_TEXT_TEXT_FILE_H_
