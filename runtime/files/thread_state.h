// The runtime state that belongs to the procedure running now: its error
// state (code, operating-system error, failing object, text, the driver's own
// texts), its text stack, and the parts that layers above the file layer keep
// per procedure (the evaluator's expression bindings, which point into the
// procedure's own record buffers).
//
// The window engine gives every procedure thread a ThreadState of its own and
// installs it whole when the thread takes the run permission, so texts,
// errors and bindings left by one procedure are never seen by another. Before
// any procedure runs (and in programs without a window engine, such as the
// tools) the process's own state is installed.
//
// Invariant: only the thread that holds the run permission (or the program
// before it starts procedures) reads or installs the current state; the
// engine installs under its permission lock, so no further locking is needed.
#ifndef VORSANDT_RUNTIME_FILES_THREAD_STATE_H_
#define VORSANDT_RUNTIME_FILES_THREAD_STATE_H_

#include <cstddef>
#include <memory>
#include <vector>

#include "runtime/files/error_state.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::files {

class ThreadState {
 public:
  ThreadState() = default;
  ThreadState(ThreadState&&) noexcept = default;
  ThreadState& operator=(ThreadState&&) noexcept = default;

  ErrorState errors;
  TextStack texts;

  // The part of type T (default-constructed on first use): how a layer above
  // keeps its own per-procedure state here without this layer knowing it.
  template <typename T>
  T& Part() {
    const size_t id = PartId<T>();
    if (parts_.size() <= id) parts_.resize(id + 1);
    if (!parts_[id]) parts_[id] = std::make_unique<Holder<T>>();
    return static_cast<Holder<T>*>(parts_[id].get())->value;
  }
  // Drops every part (a procedure's bindings die with its record buffers).
  void DropParts() { parts_.clear(); }

 private:
  struct PartBase {
    virtual ~PartBase() = default;
  };
  template <typename T>
  struct Holder final : PartBase {
    T value;
  };
  static size_t NextPartId();
  template <typename T>
  static size_t PartId() {
    static const size_t id = NextPartId();
    return id;
  }

  std::vector<std::unique_ptr<PartBase>> parts_;
};

// The state installed now.
ThreadState& CurrentThreadState();
// The process's own state: installed before procedures run and between them.
ThreadState& ProcessThreadState();
// Installs `state` (null: the process's own) as the current state.
void InstallThreadState(ThreadState* state);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_THREAD_STATE_H_
