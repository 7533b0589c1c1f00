// Optimistic reads: a read call of a shared file served from the page cache
// without the reader byte-range lock.
//
// Invariant of the container (numbered with those of container_save.cc):
//
// 10. A read call may run without the reader lock only while all of these
//     hold, and falls back to the locked path when any does not:
//
//     a. What another process can do to the file before its change counter
//        moves: phase 1 writes only beyond the old end of data (invariant 1),
//        which no page of the cache comes from; the commit then rewrites the
//        header at offset 0 with the old counter but new log pointers; phase
//        2 (or a recovery) overwrites pages at home while offset 0 still
//        shows those pointers; only its last header writes carry the new
//        counter and reset pointers. A failed commit writes the old header
//        back, and the state stays the old one. So while the 512 bytes at
//        offset 0 are, byte for byte, the header this cache was filled
//        under (last_raw_, with no log pending), no save has been committed
//        since and no page at home has been overwritten: the committed state
//        is the one the cache holds. The counter alone would not do: the
//        commit and phase 2 leave it unchanged.
//     b. The cache belongs to that header: the header in memory is the one
//        decoded from last_raw_, nothing is dirty or freed, no save of this
//        object is half done, no log is read through. Own saves change the
//        bytes at offset 0, so they end optimistic reads until the next
//        locked refresh has seen the new header.
//     c. Sequence lock: the mapped header is compared before the call and
//        again after it. A copy torn by a write under way differs from
//        last_raw_ in the counter or the log pointers (every header a save
//        writes differs there), so it is answered by the locked path.
//     d. No file access without the lock: a page missing from the cache
//        makes the call take the reader lock and compare the header again
//        (mapping, then a read call) before reading anything. Unchanged, the
//        pages used so far and the ones read from now on are of one state and
//        the call goes on under the lock, which keeps writers out of phase 2
//        until the call ends. Changed, the call has used pages of a state
//        that phase 2 may already have overwritten: it is aborted (every page
//        access fails with the abort code), the driver undoes its effects on
//        the table's position, current record and buffers, and makes the
//        call again on the locked path.
//     e. Nothing is written and nothing changes inside an optimistic read
//        (checked: CheckNoChangeInOptimisticRead, CheckNoReadOutsideLock;
//        a violation is internal error kCheckOptimisticAccess).
//
//     Only the reader's own lock is given up: writers take the writer range
//     and save exactly as before, and a reader that cannot serve a call from
//     its cache waits for them as before. Calls that hold records, tables
//     in a transaction, unsaved deferred work and files not shared keep the
//     locked path (the driver decides; see optimistic_read.h).
#include <atomic>
#include <cstring>
#include <utility>

#include "runtime/files/error_codes.h"
#include "storage/qvf/container.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

bool Container::CacheBelongsToLastHeader() const {
  const FileHeader& last = seen_.last();
  return header_loaded_ && seen_.remembered() && log_.stage() == Stage::kIdle && !header_dirty_ &&
         !pager_.changed() && relocated_.empty() && !header_.LogPending() && !last.LogPending() &&
         header_.change_counter == last.change_counter && header_.root == last.root &&
         header_.log_start == last.log_start && header_.log_end == last.log_end;
}

bool Container::BeginOptimisticRead(ReaderLockTaker take_reader_lock) {
  if (gate_.active() || !shared_ || header_held_ || writer_ || failed_ || file_ == nullptr ||
      !seen_.mapped() || take_reader_lock.take == nullptr || !CacheBelongsToLastHeader()) {
    return false;
  }
  uint8_t buf[kHeaderSize];
  if (!seen_.Unchanged(buf)) return false;
  // The cache's pages are read only after the header was seen unchanged.
  std::atomic_thread_fence(std::memory_order_acquire);
  if (int check = gate_.Begin(take_reader_lock); check != 0) {
    Fail(check);
    return false;
  }
  return true;
}

int Container::EndOptimisticRead() {
  if (!gate_.active()) return 0;
  const bool locked = gate_.locked();
  if (const int abort = gate_.End(); abort != 0) {
    // The abort borrowed the failed state to stop every page access; the
    // container itself is sound.
    failed_ = false;
    failure_code_ = files::kInvalidDataFile;
    return abort;
  }
  if (failed_) return 0;  // a real fault: the call reports it
  // Checked when the lock was taken; the lock is still held.
  if (locked) return 0;
  // The second look of the sequence lock: the pages used were those of the
  // state the header still shows.
  std::atomic_thread_fence(std::memory_order_acquire);
  uint8_t buf[kHeaderSize];
  if (!seen_.Unchanged(buf)) return kRetryUnderLock;
  return 0;
}

bool Container::LeaveOptimisticForMiss() {
  if (int rc = gate_.TakeLock(); rc != 0) {
    AbortOptimistic(rc);
    return false;
  }
  // Under the reader lock no phase 2 can run; the header must still be the
  // one the pages used so far came from.
  uint8_t buf[kHeaderSize];
  if (seen_.Unchanged(buf)) return true;
  size_t got = 0;
  if (file_->ReadAt(0, buf, kHeaderSize, &got) == 0 && got == kHeaderSize && seen_.Same(buf)) {
    return true;
  }
  AbortOptimistic(kRetryUnderLock);
  return false;
}

void Container::AbortOptimistic(int code) {
  gate_.Abort(code);
  // Every later page access returns nullptr and every caller passes the
  // failure code on, so the call ends at once with the abort code.
  failed_ = true;
  failure_code_ = code;
}

void Container::CheckNoChangeInOptimisticRead() {
#ifdef VORSANDT_CHECKS
  if (gate_.ChangeForbidden()) Fail(kCheckOptimisticAccess);
#endif
}

void Container::CheckNoReadOutsideLock() {
#ifdef VORSANDT_CHECKS
  if (gate_.ReadForbidden()) Fail(kCheckOptimisticAccess);
#endif
}

}  // namespace vorsandt::qvf
