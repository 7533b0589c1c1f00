#include "storage/qvf/driver/optimistic_read.h"

#include <atomic>
#include <utility>

#include "runtime/files/op_codes.h"
#include "storage/qvf/driver/driver_block.h"
#include "storage/qvf/driver/read_tenure.h"

namespace vorsandt::qvf {
namespace {

std::atomic<bool> g_optimistic{true};
std::atomic<uint64_t> g_served{0}, g_locked{0}, g_retried{0}, g_lock_failed{0};
std::function<void()>& MissHook() {
  static std::function<void()> hook;
  return hook;
}

void Count(std::atomic<uint64_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }

// Calls that only read, and whether they fill the record buffer.
enum class ReadKind { kNone, kNoRecord, kRecord };

ReadKind KindOf(int32_t op) {
  switch (op) {
    case files::kOpNext:
    case files::kOpPrevious:
    case files::kOpGetByKey:
    case files::kOpGetByPointer:
    case files::kOpGetByPointer2:
    case files::kOpReget:
    case files::kOpRegetKey:
      return ReadKind::kRecord;
    case files::kOpSkip:
    case files::kOpEof:
    case files::kOpBof:
    case files::kOpSetFile:
    case files::kOpSetFilePointer:
    case files::kOpSetKey:
    case files::kOpSetKeyValue:
    case files::kOpSetKeyValueRecordOrder:
    case files::kOpSetKeyAtRecord:
    case files::kOpSetKeyAtValueAndRecord:
    case files::kOpReset:
    case files::kOpResetKey:
    case files::kOpRecords:
    case files::kOpKeyRecords:
    case files::kOpBytes:
    case files::kOpDuplicate:
    case files::kOpDuplicateAll:
    case files::kOpPosition:
    case files::kOpPositionKey:
      return ReadKind::kNoRecord;
    default:
      return ReadKind::kNone;
  }
}

// A direct read by number goes on to find the record's key entry after the
// memos were stored in their buffers, so an abort can come after them.
bool MayAbortAfterMemos(int32_t op) {
  return op == files::kOpGetByPointer || op == files::kOpGetByPointer2 || op == files::kOpReget;
}

[[nodiscard]] int TakeReaderLock(void* context) {
  if (MissHook()) MissHook()();
  auto* lock = static_cast<LockFile*>(context);
  BeforeMissInRun(*lock);
  return lock->locks().LockReader();
}

// The block's sequence position and pending requests, into the attempt's
// copy and back (both name them alike).
template <typename From, typename To>
void CopySequenceAndRequests(const From& from, To* to) {
  to->pos = from.pos;
  to->access_key = from.access_key;
  to->hold_next = from.hold_next;
  to->watch_next = from.watch_next;
  to->skip_memos_next = from.skip_memos_next;
}

}  // namespace

bool IsReadCall(int32_t op) { return KindOf(op) != ReadKind::kNone; }

void SetOptimisticReads(bool on) { g_optimistic.store(on, std::memory_order_relaxed); }
bool OptimisticReads() { return g_optimistic.load(std::memory_order_relaxed); }

OptimisticReadCounts OptimisticReadTotals() {
  OptimisticReadCounts c;
  c.served = g_served.load(std::memory_order_relaxed);
  c.locked = g_locked.load(std::memory_order_relaxed);
  c.retried = g_retried.load(std::memory_order_relaxed);
  c.lock_failed = g_lock_failed.load(std::memory_order_relaxed);
  return c;
}

void SetOptimisticMissHookForTesting(std::function<void()> hook) { MissHook() = std::move(hook); }

bool OptimisticRead::Begin() {
  const ReadKind kind = KindOf(call_.op);
  if (kind == ReadKind::kNone || !OptimisticReads()) return false;
  // Holds need the record lock anyway; a transaction, unsaved deferred work
  // or a lock already held keep the file's own protocol.
  if (b_.sharing() != Sharing::kNone || b_.container == nullptr || b_.lock->in_transaction() ||
      b_.lock->locks().reader_held() || b_.lock->locks().writer_held() || b_.hold_next ||
      b_.table->held() != 0 || b_.container->dirty_pages() > 0) {
    return false;
  }
  if (!b_.container->BeginOptimisticRead({&TakeReaderLock, b_.lock})) return false;
  AttemptState& s = saved_;
  CopySequenceAndRequests(b_, &s);
  b_.table->SaveReadState(&s.table);
  s.value = call_.value;
  s.text_result = call_.text_result;
  s.buffer.clear();
  s.memos_saved = false;
  if (kind == ReadKind::kRecord) {
    s.buffer.assign(reinterpret_cast<const char*>(call_.file->buffer), call_.file->record_length);
    s.memos_saved = MayAbortAfterMemos(call_.op) && !call_.file->memo_buffers.empty();
    if (s.memos_saved) s.memo_buffers = call_.file->memo_buffers;
  }
  return true;
}

bool OptimisticRead::Finish(int32_t* rc, bool keep_lock, bool* kept) {
  Container& c = *b_.container;
  const bool locked = c.optimistic_locked();
  const int end = c.EndOptimisticRead();
  // A lock taken for a missing page is held to the end of the call.
  const bool keep = locked && end == 0 && keep_lock;
  if (kept != nullptr) *kept = keep;
  if (locked && !keep) b_.lock->locks().UnlockFile();
  if (end == 0) {
    Count(locked ? g_locked : g_served);
    return true;
  }
  Undo();
  if (end == Container::kRetryUnderLock) {
    Count(g_retried);
    return false;
  }
  Count(g_lock_failed);
  *rc = end;  // the lock could not be had: as the locked path reports it
  return true;
}

void OptimisticRead::Undo() {
  AttemptState& s = saved_;
  CopySequenceAndRequests(s, &b_);
  b_.table->RestoreReadState(&s.table);
  call_.value = s.value;
  call_.text_result = s.text_result;
  if (!s.buffer.empty()) {
    std::copy(s.buffer.begin(), s.buffer.end(), call_.file->buffer);
  }
  if (s.memos_saved) call_.file->memo_buffers = std::move(s.memo_buffers);
}

}  // namespace vorsandt::qvf
