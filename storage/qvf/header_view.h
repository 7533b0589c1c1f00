// The header of a shared file as last seen: the 512 bytes Refresh decoded
// last, what they decoded to, and a read-only mapping of the file's first
// page through which an unchanged header costs no system call.
//
// Invariants (9 of the container's, container_header.cc, says why they
// make the mapping sound):
//
//  a. The mapped bytes are used only as evidence that nothing changed:
//     Unchanged is true only when they equal, byte for byte, the bytes
//     remembered; anything else (a torn copy included) sends the caller to
//     a read call.
//  b. The file is mapped only once a sound header was remembered (checked
//     under VORSANDT_CHECKS: internal error kCheckHeaderView), since only
//     such a file is never shortened below its end of data again.
//  c. Decoding is a pure function of the bytes: the remembered decoding is
//     reused for the same bytes, never for others.
#ifndef VORSANDT_STORAGE_QVF_HEADER_VIEW_H_
#define VORSANDT_STORAGE_QVF_HEADER_VIEW_H_

#include <array>
#include <cstdint>
#include <memory>

#include "runtime/env/env.h"
#include "storage/qvf/format.h"

namespace vorsandt::qvf {

class HeaderView {
 public:
  // Forgets the bytes and the mapping; `refuse`: the file is never mapped
  // (not shared, or on a file system where a mapping is not trusted).
  void Reset(bool refuse);
  // Lets the mapping go (the file is closing).
  void Unmap() { view_.reset(); }
  // Maps the first page of `file` unless mapped or refused (a file that
  // cannot be mapped is refused from then on). 0 or the check (invariant b).
  [[nodiscard]] int Map(env::File* file);
  bool mapped() const { return view_ != nullptr; }
  // Invariant a: the mapped bytes, copied into `buf`, are the ones
  // remembered.
  bool Unchanged(uint8_t* buf) const;
  // `buf` holds the bytes remembered.
  bool Same(const uint8_t* buf) const;
  // The header `buf` decodes to (invariant c), remembered with its bytes;
  // 0, or kInvalidDataFile when it is no sound header.
  [[nodiscard]] int Decode(const uint8_t* buf, FileHeader* h);
  // A sound header was read since the file was opened.
  bool remembered() const { return valid_; }
  const FileHeader& last() const { return decoded_; }

 private:
  std::array<uint8_t, kHeaderSize> raw_{};
  FileHeader decoded_;
  bool valid_ = false;
  std::unique_ptr<env::FileView> view_;
  bool refused_ = false;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_HEADER_VIEW_H_
