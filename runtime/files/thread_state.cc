#include "runtime/files/thread_state.h"

#include <atomic>

namespace vorsandt::files {
namespace {

std::atomic<ThreadState*> g_current{nullptr};  // null: the process's own

}  // namespace

size_t ThreadState::NextPartId() {
  static std::atomic<size_t> next{0};
  return next++;
}

ThreadState& ProcessThreadState() {
  static ThreadState state;
  return state;
}

ThreadState& CurrentThreadState() {
  ThreadState* state = g_current.load(std::memory_order_acquire);
  return state != nullptr ? *state : ProcessThreadState();
}

void InstallThreadState(ThreadState* state) { g_current.store(state, std::memory_order_release); }

}  // namespace vorsandt::files
