// The header of a shared file: seen through a read-only mapping while it is
// unchanged, read and decoded when it changed, and a committed log found
// there taken in (read through in reader mode, copied home in writer mode).
//
// Invariants of the container's save (numbered with those of container_save.cc):
//
//  9. Refresh may take the header at offset 0 from a shared read-only
//     mapping of the file's first page instead of a read call, but only as
//     evidence that nothing changed: the mapped bytes are used only when they
//     equal, byte for byte, the header Refresh decoded last; any difference
//     (another process's save, a log left pending, a copy torn by a write
//     under way) is answered by reading the header with a system call, as
//     before. Refresh runs under the driver's file lock, so no other process
//     is inside a save while it looks; the view adds no state a locked read
//     could not have seen, and a torn copy can only cost the read call. The
//     header is mapped only once a sound one was read: such a file never
//     becomes shorter than its end of data (cuts stop there), so the mapped
//     page always lies inside the file.
//
// 11. No save, cut or recovery leaves a file shorter than the end of data
//     of the header at its offset 0 (nor, while that header shows a
//     committed log, shorter than the log's end): phase 1 writes and flushes
//     everything beyond the old end before the commit, and the cuts of
//     invariants 7 and 8 stop at an end of data. A file found shorter than
//     its header says (or empty after it had a header) was therefore cut
//     from outside: it is damaged, and the container fails with 36 instead
//     of reading what is not there (or stopping with an internal error at a
//     page read cut short). The length is asked for whenever the header is
//     read with a system call, and before every save (container_save.cc).
//
//     The reader byte-range lock is no longer taken by calls served
//     wholly from the cache: invariant 10 (container_optimistic.cc) says when
//     that is sound.
#include "storage/qvf/container.h"

#include <algorithm>
#include <cstring>

#include "runtime/files/error_codes.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

using files::kFileNotOpen;
using files::kInvalidDataFile;

// --- Header ---

int Container::Refresh() {
  CheckNoChangeInOptimisticRead();
  if (failed_) return failure_code_;
  if (file_ == nullptr) return kFileNotOpen;
  if (refreshing_ || log_.stage() != Stage::kIdle) return 0;
  if ((!shared_ || header_held_) && header_loaded_) return 0;
  uint8_t buf[kHeaderSize];
  size_t got = kHeaderSize;
  // The mapped header answers when it shows the very bytes decoded last;
  // anything else is read with a system call.
  const bool seen_in_view = seen_.Unchanged(buf);
  if (!seen_in_view) {
    if (int e = file_->ReadAt(0, buf, kHeaderSize, &got); e != 0) return FailRead(e);
  }
  if (got == 0) {
    // Invariant 11: a file that had a sound header never becomes empty.
    if (seen_.remembered()) return FailDamaged();
    // A new, empty file: a zero header with no root.
    if (!header_loaded_) {
      header_ = FileHeader();
      root_ = kNoRootUnit;
      header_loaded_ = true;
    }
    return 0;
  }
  if (got < kHeaderSize) return kInvalidDataFile;
  // Most refreshes find the very bytes read last time: their decoded form is
  // reused (decoding is a pure function of the bytes).
  FileHeader h;
  if (int r = seen_.Decode(buf, &h); r != 0) return r;
  // A header read from the file (not merely seen unchanged) is checked
  // against the file's length before anything it describes is trusted:
  // one length query per header that changed, none per call.
  if (!seen_in_view) {
    if (int r = CheckLengthFor(h); r != 0) return r;
  }
  // Only a file with a sound header is mapped: such a file is never
  // shortened below its end of data again (see the invariants above), so
  // the view never lies beyond the end.
  if (int check = seen_.Map(file_.get()); check != 0) return Fail(check);
  if (CacheStillValidFor(h)) return 0;
  DropCache();
  relocated_.clear();
  header_ = h;
  root_ = h.root == kNoRoot ? kNoRootUnit : h.root;
  header_loaded_ = true;
  header_dirty_ = false;
  if (h.LogPending()) return LoadLog(h);
  return 0;
}

bool Container::CacheStillValidFor(const FileHeader& h) const {
  // An unchanged counter means the cache is still valid — unless the file
  // carries a committed log this object has not taken in yet, or a log this
  // object reads through has been copied home since (and may be cut off).
  return header_loaded_ && h.change_counter <= header_.change_counter &&
         !(h.LogPending() && relocated_.empty() && !header_.LogPending()) &&
         !(!relocated_.empty() && !h.LogPending());
}

int Container::CheckLengthFor(const FileHeader& h) {
  uint64_t length = 0;
  if (int e = file_->Size(&length); e != 0) return FailRead(e);
  uint64_t needed = h.EndOfData();
  if (h.LogPending()) needed = std::max<uint64_t>(needed, h.log_end);
  return length < needed ? FailDamaged() : 0;
}

int Container::LoadLog(const FileHeader& at_zero) {
  refreshing_ = true;
  struct Guard {
    bool* flag;
    ~Guard() { *flag = false; }
  } guard{&refreshing_};
  // Walk the log: each logged item starts with its own address and stored
  // size, and occupies the stored size rounded up to whole units.
  uint64_t pos = at_zero.log_start;
  std::string unit(kUnitSize, '\0');
  while (pos < at_zero.log_end) {
    if (at_zero.log_end - pos < kUnitSize) return Fail(kCheckLogWalk);
    if (!ReadRaw(pos, unit.data(), kUnitSize)) return failure_code_;
    const auto* p = reinterpret_cast<const uint8_t*>(unit.data());
    const uint32_t own = GetU32(p + kPgOwnAddress);
    const uint32_t size = GetU16(p + kPgStoredSize);
    const uint64_t length = static_cast<uint64_t>(UnitsFor(size)) * kUnitSize;
    const bool header_item = own == 0 && size == kHeaderSize;
    const bool page_item = own >= kHeaderSize && (own - kHeaderSize) % kUnitSize == 0 &&
                           size >= kPageHeaderSize && size <= kMaxPageSize;
    if ((!header_item && !page_item) || length > at_zero.log_end - pos) return Fail(kCheckLogWalk);
    relocated_[own] = pos;
    pos += length;
  }
  auto logged = relocated_.find(0);
  if (logged == relocated_.end()) return Fail(kCheckLogWalk);
  uint8_t buf[kHeaderSize];
  if (!ReadRaw(logged->second, buf, kHeaderSize)) return failure_code_;
  FileHeader h;
  if (DecodeHeader(buf, &h) != 0) {
    relocated_.clear();
    return kInvalidDataFile;
  }
  header_ = h;
  root_ = h.root == kNoRoot ? kNoRootUnit : h.root;
  const bool still_open = question_ ? question_(*this) : false;
  if (failed_) return failure_code_;
  DropCache();
  if (still_open) {
    // The transaction never committed: the state before the log stands.
    relocated_.clear();
    header_ = at_zero;
    root_ = at_zero.root == kNoRoot ? kNoRootUnit : at_zero.root;
    if (writer_ && !read_only_) {
      header_.log_start = header_.log_end = static_cast<uint32_t>(header_.EndOfData());
      log_.set_stage(Stage::kApplying);
      int r = WriteHeaderAtZero(header_);
      log_.set_stage(Stage::kIdle);
      return r;
    }
    return 0;
  }
  if (!writer_ || read_only_) return 0;  // reader: pages are read through the log
  int r = EmptyLogAtHome();
  if (r != 0) {
    // Nothing was lost: the log is still committed and will be applied by
    // the next refresh.
    header_loaded_ = false;
  }
  return r;
}

int Container::EmptyLogAtHome() {
  log_.set_stage(Stage::kApplying);
  int r = CopyLogHome();
  if (r == 0) {
    header_.log_start = header_.log_end = static_cast<uint32_t>(header_.EndOfData());
    r = WriteHeaderAtZero(header_);
  }
  log_.set_stage(Stage::kIdle);
  relocated_.clear();
  return r;
}

int Container::CopyLogHome() {
  std::string image;
  for (const auto& [own, pos] : relocated_) {
    if (own == 0) continue;
    image.assign(kUnitSize, '\0');
    if (!ReadRaw(pos, image.data(), kUnitSize)) return failure_code_;
    const uint32_t size = GetU16(reinterpret_cast<const uint8_t*>(image.data()) + kPgStoredSize);
    const size_t length = static_cast<size_t>(UnitsFor(size)) * kUnitSize;
    if (length > kUnitSize) {
      image.resize(length);
      if (!ReadRaw(pos + kUnitSize, image.data() + kUnitSize, length - kUnitSize)) {
        return failure_code_;
      }
    }
    WriteRaw(own, image);
  }
  if (int r = TakeWriteError(); r != 0) return r;
  return SyncFile();
}

}  // namespace vorsandt::qvf
