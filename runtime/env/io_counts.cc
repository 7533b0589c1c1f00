// Round-trip counters per path (env.h). A slot is made once per path and
// never freed, so a handle keeps a plain pointer to it and counts without
// taking the registry's mutex.
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>

#include "runtime/env/env.h"

namespace vorsandt::env {

struct IoCounterSlot {
  std::atomic<int64_t> lock_calls{0};
  std::atomic<int64_t> reads{0};
};

namespace {

struct Counters {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<IoCounterSlot>> slots;
};

std::atomic<int64_t> g_added_latency{0};

Counters& TheCounters() {
  static Counters* counters = new Counters();  // never destroyed: used at exit
  return *counters;
}

IoCounts Load(const IoCounterSlot& slot) {
  return {slot.lock_calls.load(std::memory_order_relaxed),
          slot.reads.load(std::memory_order_relaxed)};
}

}  // namespace

IoCounterSlot* IoCounterFor(const std::string& path) {
  Counters& c = TheCounters();
  std::lock_guard<std::mutex> guard(c.mutex);
  auto& slot = c.slots[path];
  if (slot == nullptr) slot = std::make_unique<IoCounterSlot>();
  return slot.get();
}

void CountLockCall(IoCounterSlot* slot) {
  if (slot != nullptr) slot->lock_calls.fetch_add(1, std::memory_order_relaxed);
  WaitAddedLatency();
}

void CountRead(IoCounterSlot* slot) {
  if (slot != nullptr) slot->reads.fetch_add(1, std::memory_order_relaxed);
  WaitAddedLatency();
}

void SetAddedLatency(int64_t nanoseconds) {
  g_added_latency.store(nanoseconds < 0 ? 0 : nanoseconds, std::memory_order_relaxed);
}

int64_t AddedLatency() { return g_added_latency.load(std::memory_order_relaxed); }

void WaitAddedLatency() {
  const int64_t wait = AddedLatency();
  if (wait == 0) return;
  // Spun, not slept: a sleep's own overshoot (tens of microseconds) would
  // add a cost no server makes. Both sides of a comparison spin alike.
  const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(wait);
  while (std::chrono::steady_clock::now() < until) {
  }
}

IoCounts IoCountsOf(const std::string& path) {
  Counters& c = TheCounters();
  std::lock_guard<std::mutex> guard(c.mutex);
  auto it = c.slots.find(path);
  return it == c.slots.end() ? IoCounts() : Load(*it->second);
}

std::vector<std::pair<std::string, IoCounts>> AllIoCounts() {
  Counters& c = TheCounters();
  std::lock_guard<std::mutex> guard(c.mutex);
  std::vector<std::pair<std::string, IoCounts>> out;
  for (const auto& [path, slot] : c.slots) out.emplace_back(path, Load(*slot));
  return out;
}

IoCounts TotalIoCounts() {
  IoCounts total;
  for (const auto& [path, counts] : AllIoCounts()) {
    total.lock_calls += counts.lock_calls;
    total.reads += counts.reads;
  }
  return total;
}

void ResetIoCounts() {
  Counters& c = TheCounters();
  std::lock_guard<std::mutex> guard(c.mutex);
  for (auto& [path, slot] : c.slots) {
    slot->lock_calls.store(0, std::memory_order_relaxed);
    slot->reads.store(0, std::memory_order_relaxed);
  }
}

}  // namespace vorsandt::env
