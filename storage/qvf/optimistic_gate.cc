#include "storage/qvf/optimistic_gate.h"

#include <utility>

#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

int OptimisticGate::Begin(ReaderLockTaker take_reader_lock) {
#ifdef VORSANDT_CHECKS
  if (active_ || locked_ || abort_ != 0) return kCheckOptimisticAccess;  // invariant a
#endif
  active_ = true;
  locked_ = false;
  abort_ = 0;
  taker_ = take_reader_lock;
  return 0;
}

int OptimisticGate::TakeLock() {
  if (int rc = taker_.take(taker_.context); rc != 0) return rc;
  locked_ = true;
  return 0;
}

int OptimisticGate::End() {
  active_ = false;
  locked_ = false;
  taker_ = ReaderLockTaker();
  return std::exchange(abort_, 0);
}

}  // namespace vorsandt::qvf
