// SQLite's system calls counted the way the environment layer counts ours:
// its unix VFS's fcntl calls with a lock command, and its pread, pread64 and
// read calls, replaced in its own system-call table (xSetSystemCall) by
// counting ones. Each waits the environment's added latency as well
// (env::SetAddedLatency), so that both sides of a comparison wait alike.
#ifndef VORSANDT_BENCH_SQLITE_CALLS_H_
#define VORSANDT_BENCH_SQLITE_CALLS_H_

#include <cstdint>

namespace vorsandt::bench {

// Installs the counting calls for every connection of the process; false
// when this SQLite's system-call table cannot be changed.
bool CountSqliteCalls();

struct SqliteCalls {
  int64_t locks = 0;
  int64_t reads = 0;
};
SqliteCalls SqliteCallCounts();
void ResetSqliteCalls();

}  // namespace vorsandt::bench

#endif  // VORSANDT_BENCH_SQLITE_CALLS_H_
