// Read calls served from the page cache without the reader lock.
//
// A read call of a file shared with other processes normally takes the
// reader byte around its work (driver_files.h). When nothing of this
// process's is unsaved or held and the file's header, seen through its
// shared mapping, is still the one the page cache was filled under, the call
// runs without it (invariant 10 in storage/qvf/container_optimistic.cc):
// the header is compared before and after, a page missing from the cache
// takes the lock and compares again, and when another process saved in the
// meantime the attempt is undone and the call made again on the locked path.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_OPTIMISTIC_READ_H_
#define VORSANDT_STORAGE_QVF_DRIVER_OPTIMISTIC_READ_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/files/driver.h"
#include "storage/qvf/driver/sequence.h"
#include "storage/qvf/table/table.h"

namespace vorsandt::qvf {

class QvfBlock;

// What an optimistic attempt may change, as it was before the attempt. The
// block keeps one between its calls so that the copies reuse their buffers:
// every read call of a list or a scan makes an attempt.
struct AttemptState {
  SequencePosition pos;
  int access_key = -1;
  bool hold_next = false;
  bool watch_next = false;
  bool skip_memos_next = false;
  Table::ReadState table;
  std::string buffer;  // the record buffer; empty when the call reads no record
  std::vector<std::vector<char>> memo_buffers;
  bool memos_saved = false;
  int64_t value = 0;
  std::string text_result;
};

class OptimisticRead {
 public:
  // `saved` is where the state before the attempt is kept (the block's).
  OptimisticRead(files::Call& call, QvfBlock& b, AttemptState& saved)
      : call_(call), b_(b), saved_(saved) {}
  OptimisticRead(const OptimisticRead&) = delete;
  OptimisticRead& operator=(const OptimisticRead&) = delete;

  // True when the call may run now without the lock (what it may change is
  // remembered first).
  bool Begin();
  // After the call's work with status `*rc`: true when the call is done
  // (`*rc` its status, or the lock's error when taking the lock for a
  // missing page failed); false when it must be made again on the locked
  // path, everything the attempt changed being undone. With `keep_lock`, a
  // reader byte taken for a missing page is kept (a read run's tenure
  // begins with it; read_tenure.h): `*kept` says whether it was.
  bool Finish(int32_t* rc, bool keep_lock = false, bool* kept = nullptr);

 private:
  void Undo();

  files::Call& call_;
  QvfBlock& b_;
  AttemptState& saved_;
};

// True for the calls that only read (what an optimistic attempt or a read
// tenure may serve).
bool IsReadCall(int32_t op);

// On by default; tests and benchmarks switch it off to compare both paths.
void SetOptimisticReads(bool on);
bool OptimisticReads();

// What became of this process's optimistic calls: served without a system
// call, continued under the lock after a page missed, made again on the
// locked path because another process saved meanwhile, ended by a lock that
// could not be had.
struct OptimisticReadCounts {
  uint64_t served = 0;
  uint64_t locked = 0;
  uint64_t retried = 0;
  uint64_t lock_failed = 0;
};
OptimisticReadCounts OptimisticReadTotals();

// Tests: called when an optimistic call is about to take the lock for a
// missing page (another process may save there).
void SetOptimisticMissHookForTesting(std::function<void()> hook);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_OPTIMISTIC_READ_H_
