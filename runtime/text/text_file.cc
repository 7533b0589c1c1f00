#include "runtime/text/text_file.h"

#include <algorithm>
#include <cerrno>

namespace vorsandt::text {

TextFile::TextFile(std::unique_ptr<env::File> file, size_t buffer_size)
    : file_(std::move(file)), capacity_(std::max<size_t>(buffer_size, 1)) {}

int TextFile::Attach(std::unique_ptr<env::File> file, size_t buffer_size,
                     std::unique_ptr<TextFile>* out) {
  std::unique_ptr<TextFile> f(new TextFile(std::move(file), buffer_size));
  if (int e = f->RefreshSize(); e != 0) return e;
  *out = std::move(f);
  return 0;
}

int TextFile::View(uint64_t offset, size_t want, std::span<const uint8_t>* out) {
  *out = {};
  if (offset >= size_) return 0;
  want = static_cast<size_t>(std::min<uint64_t>({want, capacity_, size_ - offset}));
  if (offset >= start_ && offset + want <= start_ + filled_) {
    *out = std::span<const uint8_t>(buffer_.data() + (offset - start_), want);
    return 0;
  }
  // The buffer is allocated on first use so that files that are only
  // written never hold one.
  if (buffer_.size() != capacity_) buffer_.assign(capacity_, 0);
  filled_ = 0;
  const size_t fill = static_cast<size_t>(std::min<uint64_t>(capacity_, size_ - offset));
  size_t got = 0;
  if (int e = file_->ReadAt(offset, buffer_.data(), fill, &got); e != 0) return e;
  start_ = offset;
  filled_ = got;
  *out = std::span<const uint8_t>(buffer_.data(), std::min(want, got));
  return 0;
}

int TextFile::RefreshSize() {
  filled_ = 0;
  uint64_t size = 0;
  if (int e = file_->Size(&size); e != 0) return e;
  size_ = size;
  return 0;
}

void TextFile::SetBufferSize(size_t bytes) {
  bytes = std::max<size_t>(bytes, 1);
  if (bytes == capacity_) return;
  capacity_ = bytes;
  buffer_.clear();
  buffer_.shrink_to_fit();
  filled_ = 0;
}

int TextFile::Write(uint64_t offset, std::span<const uint8_t> data) {
  filled_ = 0;
  size_t written = 0;
  const int e = file_->WriteAt(offset, data.data(), data.size(), &written);
  // Whatever reached the file counts for the size, failed or not, so that a
  // caller undoing a failed write knows what to cut back.
  size_ = std::max<uint64_t>(size_, offset + (e == 0 ? data.size() : written));
  return e;
}

int TextFile::Truncate(uint64_t length) {
  filled_ = 0;
  if (int e = file_->Truncate(length); e != 0) return e;
  size_ = length;
  return 0;
}

int TextFile::ReadExact(uint64_t offset, size_t length, uint8_t* into) {
  size_t done = 0;
  while (done < length) {
    size_t got = 0;
    if (int e = file_->ReadAt(offset + done, into + done, length - done, &got); e != 0) return e;
    if (got == 0) return EIO;
    done += got;
  }
  return 0;
}

}  // namespace vorsandt::text
