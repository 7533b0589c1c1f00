// The lock area of a table file: advisory byte-range locks far beyond the
// data, through which processes (and threads of one process) coordinate.
//
//   reader (shared)          0x80000000 + slot, 1 byte, slot in 0..1022
//   writer (exclusive)       0x80000000, 1023 bytes (covers every reader slot)
//   table lock (exclusive)   0x80000400 + v + 1, 1 byte, v = the table id's
//                            four stored (big-endian) bytes read little-endian
//   record lock (exclusive)  0x80000400 + v + 1, v from the record number alike
// Sums are taken modulo 2^32 so that every process computes the same bytes.
// Table ids and record numbers come from one counter, so a table lock and a
// record lock never share a byte; identifiers never start with 0xFE or 0xFF,
// so neither ever falls inside the reader/writer range.
//
// The reader byte is a shared claim: readers coexist and only a writer
// excludes them. The slot still moves up when its byte is refused, so that
// readers spread over the range; it wraps inside 0..1022 so the writer's
// range always covers it.
//
// Every lock is taken by non-blocking attempts (the kernel never waits on
// our behalf: these locks have no deadlock detection), so a wait can time
// out. The environment's TryLock excludes other handles and threads of this
// process as well as other processes.
//
// A wait for the file lock is bounded (FileLockWaitLimit): a holder that
// never lets go (a process stopped in the middle of a save, a long
// maintenance run) makes the call fail with 32 ("File Is Already Locked")
// instead of hanging the program.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_LOCK_AREA_H_
#define VORSANDT_STORAGE_QVF_DRIVER_LOCK_AREA_H_

#include <cstdint>
#include <functional>

#include "runtime/env/env.h"
#include "storage/qvf/format.h"

namespace vorsandt::qvf {

// kLockBase, kWriterLockLength and kItemLockBase come with the file format.
inline constexpr uint32_t kReaderSlots = 0x3FF;  // slots 0..1022
// Every lock of the lock area lies below this offset (sums modulo 2^32).
inline constexpr uint64_t kLockSpace = uint64_t{1} << 32;

// How long a file-lock wait lasts before it gives up with 32, in hundredths
// of a second. 10 seconds unless the environment variable
// VORSANDT_LOCK_WAIT gives a number of seconds (0 = give up at once).
int64_t FileLockWaitLimit();
void SetFileLockWaitLimit(int64_t hundredths);

// Byte of the lock of a table id or record number (both drawn from the
// file's id counter).
uint64_t ItemLockOffset(uint32_t identifier);
// Byte of reader slot `slot` (taken modulo kReaderSlots).
uint64_t ReaderLockOffset(uint32_t slot);

// One attempt at the writer range through `file`, which then holds it until
// the handle is closed: the environment's status (EAGAIN while another handle
// holds any lock of the range). For a program that keeps every save out of a
// file it does not open as a table (a restore swapping the file); a table's
// own opening takes its locks through FileLocks.
[[nodiscard]] int TryClaimWriterRange(env::File* file);

// The locks of one open file, claimed through one handle. Not re-entrant:
// each lock is claimed at most once at a time through this object. Status
// values are the runtime's error codes.
class FileLocks {
 public:
  // `file` is the handle the claims go through (not owned). `env` supplies
  // the clock for the first reader slot and the sleep between attempts.
  FileLocks(env::Env* env, env::File* file);
  ~FileLocks();
  FileLocks(const FileLocks&) = delete;
  FileLocks& operator=(const FileLocks&) = delete;

  // Shared file lock for reading; waits (by attempts) until granted, or
  // 32 once the wait limit has passed.
  [[nodiscard]] int LockReader();
  // Exclusive file lock for writing; waits like LockReader.
  [[nodiscard]] int LockWriter();
  // Releases whichever file lock is held (none: nothing happens), except a
  // pinned writer range.
  void UnlockFile();
  // Takes the writer range (waiting like LockWriter) and keeps it until
  // Unpin, whatever UnlockFile is asked meanwhile: an open that denies
  // others the file holds it from its Open to its Close.
  [[nodiscard]] int PinWriter();
  void Unpin();
  bool pinned() const { return pinned_; }
  bool reader_held() const { return reader_held_; }
  bool writer_held() const { return writer_held_; }
  uint32_t reader_slot() const { return slot_; }

  // One attempt at the table lock: 0, 32 when another holder has it.
  [[nodiscard]] int TryLockTable(uint32_t table_id);
  void UnlockTable(uint32_t table_id);
  // One attempt at a record lock: true when granted.
  bool TryLockRecord(uint32_t record);
  void UnlockRecord(uint32_t record);
  // True when nobody else holds the record now (nothing is claimed). While
  // the writer range is held, only the first question makes a system call.
  bool RecordFree(uint32_t record);

  // Called between attempts of a file-lock wait (tests count them; the
  // default sleeps a millisecond).
  void SetWaitHook(std::function<void()> hook) { wait_hook_ = std::move(hook); }
  // Called before every pause of a file-lock wait, whatever the wait hook
  // does (the driver ends the waiting thread's read tenures on other files).
  void SetBeforeWait(std::function<void()> hook) { before_wait_ = std::move(hook); }

 private:
  void Wait();
  // True when, as far as this writer-range tenure has seen, no other handle
  // holds any lock of the lock space; false whenever the range is not held.
  bool OthersHoldNoItemLocks();

  env::Env* env_;
  env::File* file_;
  uint32_t slot_;
  bool reader_held_ = false;
  uint64_t reader_offset_ = 0;
  bool writer_held_ = false;
  bool pinned_ = false;
  // Whether the lock space was looked over since the writer range was taken,
  // and what was found.
  bool others_checked_ = false;
  bool others_quiet_ = false;
  std::function<void()> wait_hook_;
  std::function<void()> before_wait_;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_LOCK_AREA_H_
