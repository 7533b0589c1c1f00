// Where an optimistic read call stands (invariant 10, container_optimistic.cc
// gives the whole argument): begun without the reader lock, gone on under
// it after a cache miss, or aborted with the code that sends the caller to
// the locked path.
//
// Invariants (checked under VORSANDT_CHECKS):
//
//  a. Locked and aborted only inside a call: both end with it, and a call
//     does not begin inside another (a violation is internal error
//     kCheckOptimisticAccess, through the container).
//  b. Inside a call that is neither aborted nor locked nothing is read from
//     the file (ReadForbidden), and inside one that is not aborted nothing
//     changes (ChangeForbidden); the container checks both before every
//     read, write and change.
//  c. The reader lock is asked for at most once per call, through the
//     taker the call began with (the container asks only while unlocked).
#ifndef VORSANDT_STORAGE_QVF_OPTIMISTIC_GATE_H_
#define VORSANDT_STORAGE_QVF_OPTIMISTIC_GATE_H_

namespace vorsandt::qvf {

// The driver's reader byte: `take` answers 0 when granted.
struct ReaderLockTaker {
  int (*take)(void* context) = nullptr;
  void* context = nullptr;
};

class OptimisticGate {
 public:
  bool active() const { return active_; }
  bool locked() const { return locked_; }
  bool aborted() const { return abort_ != 0; }
  bool ChangeForbidden() const { return active_ && abort_ == 0; }
  bool ReadForbidden() const { return active_ && !locked_ && abort_ == 0; }

  // A call begins; 0 or the check (invariant a).
  [[nodiscard]] int Begin(ReaderLockTaker take_reader_lock);
  // The reader lock for a cache miss (invariant c): 0 when granted, and the
  // call goes on locked; otherwise the lock's error.
  [[nodiscard]] int TakeLock();
  void Abort(int code) { abort_ = code; }
  // The call ends: its abort code, 0 when it was not aborted.
  [[nodiscard]] int End();
  // Forgets any call (a new file).
  void Reset() { *this = OptimisticGate(); }

 private:
  bool active_ = false;
  bool locked_ = false;
  int abort_ = 0;
  ReaderLockTaker taker_;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_OPTIMISTIC_GATE_H_
