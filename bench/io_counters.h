// What the process asks of the disk: flushes (fsync and fdatasync, counted by
// wrappers in this program that every library's calls reach) and bytes
// handed to write calls (from /proc/self/io).
#ifndef VORSANDT_BENCH_IO_COUNTERS_H_
#define VORSANDT_BENCH_IO_COUNTERS_H_

#include <cstdint>

namespace vorsandt::bench {

struct IoCounters {
  int64_t flushes = 0;
  int64_t bytes_written = 0;
};

IoCounters ReadIoCounters();

// Resident-set peak since the last reset, in bytes (VmHWM), and its reset.
int64_t PeakResidentBytes();
int64_t ResidentBytes();
void ResetPeakResident();

}  // namespace vorsandt::bench

#endif  // VORSANDT_BENCH_IO_COUNTERS_H_
