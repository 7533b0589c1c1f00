#include "bench/io_counters.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::atomic<int64_t> g_flushes{0};

}  // namespace

// The program's own fsync and fdatasync take the place of the C library's for
// every caller in the process, the SQLite library included, so that each
// flush is counted; they make the system call directly.
extern "C" int fsync(int fd) {
  g_flushes.fetch_add(1, std::memory_order_relaxed);
  return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd) {
  g_flushes.fetch_add(1, std::memory_order_relaxed);
  return static_cast<int>(syscall(SYS_fdatasync, fd));
}

namespace vorsandt::bench {
namespace {

int64_t StatusValue(const char* file, const char* name) {
  std::ifstream in(file);
  std::string line;
  const size_t length = std::strlen(name);
  while (std::getline(in, line)) {
    if (line.compare(0, length, name) == 0) return std::atoll(line.c_str() + length);
  }
  return -1;
}

}  // namespace

IoCounters ReadIoCounters() {
  IoCounters c;
  c.flushes = g_flushes.load(std::memory_order_relaxed);
  c.bytes_written = StatusValue("/proc/self/io", "wchar:");
  return c;
}

int64_t PeakResidentBytes() { return StatusValue("/proc/self/status", "VmHWM:") * 1024; }
int64_t ResidentBytes() { return StatusValue("/proc/self/status", "VmRSS:") * 1024; }

void ResetPeakResident() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f == nullptr) return;
  std::fputs("5", f);
  std::fclose(f);
}

}  // namespace vorsandt::bench
