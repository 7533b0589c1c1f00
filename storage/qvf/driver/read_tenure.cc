// The rules and the invariant of a tenure are at the top of read_tenure.h.
#include "storage/qvf/driver/read_tenure.h"

#include <algorithm>
#include <atomic>

#include "runtime/files/op_codes.h"
#include "runtime/files/read_run.h"
#include "storage/qvf/driver/driver_block.h"
#include "storage/qvf/driver/lock_area.h"
#include "storage/qvf/driver/optimistic_read.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {
namespace {

constexpr int kCheckTenure = 303;

std::atomic<bool> g_tenures{true};
std::atomic<uint64_t> g_begun{0}, g_served{0}, g_expired{0}, g_ended{0};

void Count(std::atomic<uint64_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }

int64_t Now() { return TheDriverFiles().env()->NowMicroseconds(); }

// Calls that touch neither a page nor a lock: they leave a tenure as it is.
bool LeavesTenure(int32_t op) {
  switch (op) {
    case files::kOpName:
    case files::kOpPosition:
    case files::kOpPositionKey:
    case files::kOpPointer:
    case files::kOpPointer2:
    case files::kOpOrderKey:
    case files::kOpSkipMemos:
    case files::kOpHold:
      return true;
    default:
      return false;
  }
}

// Ends the tenure on `lock` whoever holds it.
void EndTenureOn(LockFile& lock, int64_t now_us) {
  if (!lock.tenure().held()) return;
  Count(g_ended);
  lock.tenure().End(lock.locks(), now_us);
}

// Every tenure of the calling thread, except the one on `keep`.
void EndThreadTenuresExcept(const LockFile* keep) {
  const int64_t now = Now();
  TheDriverFiles().ForEachLock([&](LockFile& lock) {
    if (&lock != keep && lock.tenure().OwnedByThisThread()) EndTenureOn(lock, now);
  });
}

void EndThreadTenures() { EndThreadTenuresExcept(nullptr); }

// Every tenure of every thread (one of them may hold the lock handle the
// call is about to use: the handle is not re-entrant).
void EndAllTenures() {
  const int64_t now = Now();
  TheDriverFiles().ForEachLock([&](LockFile& lock) { EndTenureOn(lock, now); });
}

// The conditions a call inside a tenure relies on, but for the lock itself
// (invariant c and d).
bool QuietFor(const QvfBlock& b) {
  return b.sharing() == Sharing::kNone && b.container != nullptr && !b.lock->in_transaction() &&
         !b.lock->locks().writer_held() && b.container->dirty_pages() == 0 && !b.hold_next &&
         !b.watch_next && b.table->held() == 0;
}

// Waits out the rest of `t`'s pause without the byte.
void SpendPause(ReadTenure& t, int64_t now_us) {
  const int64_t left_us = t.pause_until_us() - now_us;
  TheDriverFiles().env()->SleepMs(static_cast<int>((left_us + 999) / 1000));
  t.EndPause();
}

// On the locked path every call takes the byte, so a writer's attempt
// would seldom fall between two calls of the pause: a read of a run that
// could begin a tenure but for the pause waits the pause out without the
// byte instead, and may then begin one at once.
void WaitOutPause(const QvfBlock& b, int64_t now_us) {
  ReadTenure& t = b.lock->tenure();
  if (b.container == nullptr || b.container->read_path().lock_free || t.held() ||
      t.MayBegin(now_us) || !ReadTenures() || !files::InReadRun() || !QuietFor(b)) {
    return;
  }
  SpendPause(t, now_us);
}

void TenureCheck(bool ok) {
#ifdef VORSANDT_CHECKS
  if (!ok) InternalError(kCheckTenure);
#else
  (void)ok;
#endif
}

}  // namespace

void ReadTenure::Begin(int64_t now_us, const FileHeader& header) {
  owner_ = std::this_thread::get_id();
  if (now_us - released_us_ >= kTenurePauseUs) {
    // A new hold: longer when nobody saved the file since the last one,
    // whether it continues a scan or begins the next action's (the long
    // passes of one action after another would otherwise begin at the
    // short bound each time and give the byte back more often than once
    // per longest bound).
    const bool quiet = SameHeader(header, header_);
    bound_us_ = quiet ? std::min(bound_us_ * 4, kTenureLongestBoundUs) : kTenureBoundUs;
    hold_began_us_ = now_us;
  }
  header_ = header;
}

void ReadTenure::End(FileLocks& locks, int64_t now_us) {
  if (!held()) return;
  owner_ = std::thread::id();
  released_us_ = now_us;
  if (Expired(now_us)) {
    pause_until_us_ = now_us + kTenurePauseUs;
    released_us_ = INT64_MIN / 2;  // the next tenure is a hold of its own
  }
  locks.UnlockFile();
}

void SetReadTenures(bool on) { g_tenures.store(on, std::memory_order_relaxed); }
bool ReadTenures() { return g_tenures.load(std::memory_order_relaxed); }

ReadTenureCounts ReadTenureTotals() {
  ReadTenureCounts c;
  c.begun = g_begun.load(std::memory_order_relaxed);
  c.served = g_served.load(std::memory_order_relaxed);
  c.expired = g_expired.load(std::memory_order_relaxed);
  c.ended = g_ended.load(std::memory_order_relaxed);
  return c;
}

bool SameHeader(const FileHeader& a, const FileHeader& b) {
  return a.log_start == b.log_start && a.log_end == b.log_end && a.id_counter == b.id_counter &&
         a.change_counter == b.change_counter && a.root == b.root && a.start == b.start &&
         a.end == b.end;
}

void PrepareTenures(int32_t op, QvfBlock& b) {
  if (LeavesTenure(op)) return;
  if (!IsReadCall(op)) {
    EndAllTenures();
    return;
  }
  // A read: another thread's tenure on this file ends; this thread's stays.
  if (b.lock != nullptr && b.lock->tenure().held() && !b.lock->tenure().OwnedByThisThread()) {
    EndTenureOn(*b.lock, Now());
  }
}

bool ServeInTenure(const QvfBlock& b) {
  ReadTenure& t = b.lock->tenure();
  const int64_t now = Now();
  if (!t.OwnedByThisThread()) {
    WaitOutPause(b, now);
    return false;
  }
  const bool expired = t.Expired(now);
  if (expired || !QuietFor(b)) {
    EndTenureOn(*b.lock, now);
    if (expired) {
      Count(g_expired);
      WaitOutPause(b, now);
    }
    return false;
  }
  TenureCheck(b.lock->locks().reader_held() && files::InReadRun() &&
              SameHeader(b.container->header(), t.header()));
  Count(g_served);
  return true;
}

bool TenureMayBegin(const QvfBlock& b) {
  return ReadTenures() && files::InReadRun() && QuietFor(b) && b.lock->tenure().MayBegin(Now());
}

void BeginTenure(QvfBlock& b) {
  // Registered before the first tenure: the run's end gives every one back.
  static const bool registered = (files::RegisterReadRunEnd(&EndThreadTenures), true);
  (void)registered;
  TenureCheck(b.lock->locks().reader_held() && !b.lock->locks().writer_held());
  Count(g_begun);
  b.lock->tenure().Begin(Now(), b.container->header());
}

void EndTenure(LockFile* lock) {
  if (lock != nullptr) EndTenureOn(*lock, Now());
}

void BeforeLockWait(const LockFile* waiting) { EndThreadTenuresExcept(waiting); }

void BeforeMissInRun(LockFile& lock) {
  ReadTenure& t = lock.tenure();
  const int64_t now = Now();
  if (!ReadTenures() || !files::InReadRun() || t.held() || t.MayBegin(now)) return;
  SpendPause(t, now);
}

}  // namespace vorsandt::qvf
