// Read tenures: the reader lock of a shared file kept from one read call to
// the next while the calling thread is inside a declared read run
// (runtime/files/read_run.h), for a bounded time.
//
// Outside a run every read call of a file shared with other processes takes
// the reader byte and reads the header (or, on the lock-free path, trusts
// the mapped header and takes the byte only at a page missing from the
// cache), and gives the byte back at its end (driver_files.h). Inside a run,
// the first read call that takes the byte keeps it at its end: a tenure
// begins. The calls that follow are served under that byte without another
// lock call and without reading the header, until the tenure ends:
//
//  - at the first read call made when its hold has reached its bound
//    (kTenureBoundUs, longer for a quiet scan: below);
//  - when the run ends (the outermost ReadRun of the thread), or the thread
//    is about to wait (a modal call, the run permission given up);
//  - before any call of the thread that is not a plain read (a change, a
//    hold or watch request, a table lock, a transaction, Open, Close, SEND,
//    a blob transfer), and before a read that would need a hold or a watch
//    or finds the table holding a record: those then run exactly as
//    without a run;
//  - before any call on the file from another thread, and before the
//    thread waits for a lock of another file (so that a tenure never sits
//    in a cycle of waits with another station's transaction);
//  - when the table is closed.
// The bound is kTenureBoundUs, four times the last one for each new hold
// that finds the header as the last hold left it (nobody saved since), up
// to kTenureLongestBoundUs, and back to kTenureBoundUs at the first hold
// that finds a save. A long scan of a file nobody changes thus gives the
// byte back a few times a second instead of fifty (each time a round trip
// on a network folder), and so do the long passes of actions one after
// another, while a save that comes waits one longest bound at most, and the
// saves that follow it again one short bound.
//
// The bound is on the byte's hold, not on one tenure: a tenure that ended
// early (its run over, another call) and is followed by the next within
// kTenurePauseUs continues the first one's time (a list's page load and
// its totals are two runs), and is over at the same moment. Once that time
// is up, no new tenure begins on that file for kTenurePauseUs:
// the calls in between take the per-call path, giving the byte back at
// each call's end, so a writer waiting for the byte (by attempts 1 ms
// apart) finds it free. On the lock-free path most of those calls take no
// lock at all. On the locked path (a network file system) every call takes
// the byte, and a writer's attempt would seldom fall between two calls: a
// read of a run that meets the pause there spends it without the byte (the
// call waits it out, then goes on and may begin the next tenure at once). A
// writer therefore waits about one tenure at most.
//
// Why skipping the lock and the header is sound: a save (both phases) and
// a recovery's copy home run only under the writer range, which covers
// every reader slot. While the byte is held, the header at offset 0 and
// every page at home stay as the tenure's first call saw them (a deny-write
// opener commits a log without the range, but its log lies beyond the end
// of data and its copy home needs the range: what the tenure reads is still
// whole at home). So a call inside a tenure reads the committed state its
// first call found; another station's save becomes visible at the next
// tenure's first call, at most one bound later, and never half.
//
// Invariant of a call served inside a tenure (checked under
// VORSANDT_CHECKS; a violation is internal error 303):
//   a. the file's reader byte is held through its lock handle, for a tenure
//      of the calling thread;
//   b. the hold it continues is younger than the bound;
//   c. nothing of the file is dirty, the file is in no transaction, the
//      writer range is not held;
//   d. no hold or watch is pending and the table holds no record;
//   e. the container's header is the one the tenure's first call had.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_READ_TENURE_H_
#define VORSANDT_STORAGE_QVF_DRIVER_READ_TENURE_H_

#include <cstdint>
#include <thread>

#include "storage/qvf/format.h"

namespace vorsandt::qvf {

inline constexpr int64_t kTenureBoundUs = 20000;
inline constexpr int64_t kTenureLongestBoundUs = 160000;
inline constexpr int64_t kTenurePauseUs = 2000;

class FileLocks;

// The tenure state of one lock handle (one physical file in the process).
class ReadTenure {
 public:
  bool held() const { return owner_ != std::thread::id(); }
  bool OwnedByThisThread() const { return held() && owner_ == std::this_thread::get_id(); }
  // No tenure now and the pause after the last one is over.
  bool MayBegin(int64_t now_us) const { return !held() && now_us >= pause_until_us_; }
  // The hold this tenure continues has reached its bound.
  bool Expired(int64_t now_us) const { return now_us - hold_began_us_ >= bound_us_; }
  // The calling thread keeps the reader byte it holds through `locks`: a
  // new hold, or the last one's continued when it ended less than a pause
  // ago.
  void Begin(int64_t now_us, const FileHeader& header);
  // Gives the byte back through `locks`; nothing when no tenure is held.
  // The pause begins when the hold has reached its bound.
  void End(FileLocks& locks, int64_t now_us);
  // The pause is over already (it was spent without the byte).
  void EndPause() { pause_until_us_ = 0; }
  int64_t pause_until_us() const { return pause_until_us_; }
  // The header the tenure's first call had (invariant e).
  const FileHeader& header() const { return header_; }

 private:
  std::thread::id owner_;
  int64_t hold_began_us_ = 0;
  int64_t released_us_ = INT64_MIN / 2;  // when the last tenure gave the byte back
  int64_t bound_us_ = kTenureBoundUs;
  int64_t pause_until_us_ = 0;
  FileHeader header_;
};

// On by default; tests and benchmarks switch it off to compare, and a
// station that must see every save at once may too.
void SetReadTenures(bool on);
bool ReadTenures();

// What became of this process's tenures: begun, read calls served inside
// one, ended at their bound, ended for any reason (the bound, the run's end,
// another call, a close).
struct ReadTenureCounts {
  uint64_t begun = 0;
  uint64_t served = 0;
  uint64_t expired = 0;
  uint64_t ended = 0;
};
ReadTenureCounts ReadTenureTotals();

// True when both headers say the same (invariant e).
bool SameHeader(const FileHeader& a, const FileHeader& b);

// The driver's side (its calls hold the run permission, so these need no
// lock of their own).
class QvfBlock;
class LockFile;
// Before the driver performs `op` on `b`: ends the tenures the rules above
// end for that call.
void PrepareTenures(int32_t op, QvfBlock& b);
// For a read call on `b`: true when the calling thread's tenure on its file
// serves it (invariant checked); false when there is none, or when it just
// ended (its bound reached, or the call needs what a tenure excludes).
bool ServeInTenure(const QvfBlock& b);
// True when a read call on `b` that takes the reader byte may keep it.
bool TenureMayBegin(const QvfBlock& b);
// The calling thread keeps the reader byte it holds on `b`'s file.
void BeginTenure(QvfBlock& b);
// Ends the tenure on `lock`, whoever holds it (a table closed).
void EndTenure(LockFile* lock);
// Before the calling thread waits for a lock of `waiting`'s file: its
// tenures on every other file end.
void BeforeLockWait(const LockFile* waiting);
// Before a call served from the cache without the byte (the lock-free
// path) takes it at a page missing there, inside a run: a pause still
// running is waited out first, so that the call may begin a tenure, and
// the byte stays free for the whole pause, as on the locked path.
void BeforeMissInRun(LockFile& lock);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_READ_TENURE_H_
