// The same workloads over an ITEMS table in SQLite: the same columns, the
// five keys as indexes (letter case ignored where the key ignores it, the
// primary key unique over the rows that have a code), rows read back into a
// 406-byte record buffer as the application would use them.
#ifndef VORSANDT_BENCH_SQLITE_ENGINE_H_
#define VORSANDT_BENCH_SQLITE_ENGINE_H_

#include <memory>
#include <string>

#include "bench/engine.h"

namespace vorsandt::bench {

struct SqliteMode {
  std::string journal;      // "DELETE" (rollback journal) or "WAL"
  std::string synchronous;  // "FULL" or "NORMAL"
};

std::unique_ptr<Engine> MakeSqliteEngine(const std::string& path, const SqliteMode& mode);

}  // namespace vorsandt::bench

#endif  // VORSANDT_BENCH_SQLITE_ENGINE_H_
