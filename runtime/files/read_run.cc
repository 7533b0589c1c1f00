#include "runtime/files/read_run.h"

#include <array>
#include <atomic>

namespace vorsandt::files {
namespace {

thread_local int run_depth = 0;

constexpr int kMaxDrivers = 4;
std::array<std::atomic<ReadRunEnd>, kMaxDrivers> ends{};

}  // namespace

ReadRun::ReadRun() { ++run_depth; }

ReadRun::~ReadRun() {
  if (--run_depth == 0) EndReadRunTenures();
}

bool InReadRun() { return run_depth > 0; }

void EndReadRunTenures() {
  for (const auto& end : ends) {
    if (ReadRunEnd f = end.load(std::memory_order_acquire)) f();
  }
}

void RegisterReadRunEnd(ReadRunEnd end) {
  for (auto& slot : ends) {
    ReadRunEnd current = slot.load(std::memory_order_acquire);
    if (current == end) return;
    if (current == nullptr) {
      ReadRunEnd expected = nullptr;
      if (slot.compare_exchange_strong(expected, end)) return;
      if (expected == end) return;
    }
  }
}

}  // namespace vorsandt::files
