#include "bench/sqlite_calls.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>

#include "runtime/env/env.h"

namespace vorsandt::bench {
namespace {

std::atomic<int64_t> g_sql_locks{0}, g_sql_reads{0};
using FcntlCall = int (*)(int, int, ...);
using PreadCall = ssize_t (*)(int, void*, size_t, off_t);
using ReadCall = ssize_t (*)(int, void*, size_t);
FcntlCall g_fcntl = nullptr;
PreadCall g_pread = nullptr, g_pread64 = nullptr;
ReadCall g_read = nullptr;

bool IsLockCommand(int cmd) {
  return cmd == F_SETLK || cmd == F_SETLKW || cmd == F_GETLK || cmd == F_OFD_SETLK ||
         cmd == F_OFD_SETLKW || cmd == F_OFD_GETLK;
}

int CountingFcntl(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  void* arg = va_arg(args, void*);
  va_end(args);
  if (IsLockCommand(cmd)) {
    g_sql_locks.fetch_add(1, std::memory_order_relaxed);
    env::WaitAddedLatency();
  }
  return g_fcntl(fd, cmd, arg);
}

ssize_t CountingPread(int fd, void* buffer, size_t n, off_t at) {
  g_sql_reads.fetch_add(1, std::memory_order_relaxed);
  env::WaitAddedLatency();
  return g_pread(fd, buffer, n, at);
}

ssize_t CountingPread64(int fd, void* buffer, size_t n, off_t at) {
  g_sql_reads.fetch_add(1, std::memory_order_relaxed);
  env::WaitAddedLatency();
  return g_pread64(fd, buffer, n, at);
}

ssize_t CountingRead(int fd, void* buffer, size_t n) {
  g_sql_reads.fetch_add(1, std::memory_order_relaxed);
  env::WaitAddedLatency();
  return g_read(fd, buffer, n);
}

}  // namespace

bool CountSqliteCalls() {
  sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  if (vfs == nullptr || vfs->iVersion < 3 || vfs->xSetSystemCall == nullptr) return false;
  g_fcntl = reinterpret_cast<FcntlCall>(vfs->xGetSystemCall(vfs, "fcntl"));
  g_pread = reinterpret_cast<PreadCall>(vfs->xGetSystemCall(vfs, "pread"));
  g_pread64 = reinterpret_cast<PreadCall>(vfs->xGetSystemCall(vfs, "pread64"));
  g_read = reinterpret_cast<ReadCall>(vfs->xGetSystemCall(vfs, "read"));
  if (g_fcntl == nullptr || g_read == nullptr || (g_pread == nullptr && g_pread64 == nullptr)) {
    return false;
  }
  auto set = [&](const char* name, void* call) {
    return vfs->xSetSystemCall(vfs, name, reinterpret_cast<sqlite3_syscall_ptr>(call)) == SQLITE_OK;
  };
  return set("fcntl", reinterpret_cast<void*>(&CountingFcntl)) &&
         (g_pread == nullptr || set("pread", reinterpret_cast<void*>(&CountingPread))) &&
         (g_pread64 == nullptr || set("pread64", reinterpret_cast<void*>(&CountingPread64))) &&
         set("read", reinterpret_cast<void*>(&CountingRead));
}

SqliteCalls SqliteCallCounts() {
  return {g_sql_locks.load(std::memory_order_relaxed), g_sql_reads.load(std::memory_order_relaxed)};
}

void ResetSqliteCalls() {
  g_sql_locks = 0;
  g_sql_reads = 0;
}

}  // namespace vorsandt::bench
