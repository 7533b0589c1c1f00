// The workloads of the storage comparison, as one interface that each engine
// (the native table driver, SQLite) implements over its own file in the
// current folder. Every workload answers the rows it touched and a checksum
// of their item codes, so that the two engines can be checked to have done
// the same work.
#ifndef VORSANDT_BENCH_ENGINE_H_
#define VORSANDT_BENCH_ENGINE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_data.h"

namespace vorsandt::bench {

struct WorkResult {
  bool ok = true;
  int64_t rows = 0;
  int64_t checksum = 0;  // sum of the item codes read or written
  void Count(int16_t code) {
    ++rows;
    checksum += code;
  }
};

// A place inside one location: the reading starts at the first item of
// `location` whose description is not below `item`.
struct Seek {
  std::string location;
  std::string item;
};

class Engine {
 public:
  virtual ~Engine() = default;
  // Deletes the engine's files (not timed).
  virtual void Remove() = 0;
  // Creates the table and loads every row in one transaction, in code order
  // or in the dataset's shuffled order; the file is closed at the end.
  virtual WorkResult Load(const Dataset& data, bool ordered) = 0;
  // Opens the loaded table for the workloads below (not timed).
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // Adds, each change saved on its own.
  virtual WorkResult AddEach(const std::vector<Row>& rows) = 0;
  // Reads the row of each code and rewrites its price (not a key field), each
  // rewrite saved on its own.
  virtual WorkResult PutEach(const std::vector<int16_t>& codes,
                             const std::vector<int64_t>& cents) = 0;
  // One primary-key lookup per code.
  virtual WorkResult GetByCode(const std::vector<int16_t>& codes) = 0;
  // Every row of each location, in ITE:LOC order.
  virtual WorkResult LocationRange(const std::vector<std::string>& locations) = 0;
  // Every row in the order of key `key` (1..5 as ITEMS declares them).
  virtual WorkResult ScanKey(int key) = 0;
  // Up to `rows` rows from each place, through a filtered view on the native
  // side and the equivalent query on the SQL side.
  virtual WorkResult SeekRead(const std::vector<Seek>& seeks, int rows) = 0;
  // In one transaction: moves each code's row to another location (a key
  // field of ITE:LOC).
  virtual WorkResult RewriteLocation(const std::vector<int16_t>& codes,
                                     const std::vector<std::string>& locations) = 0;
  // In one transaction: deletes the row of each code.
  virtual WorkResult DeleteCodes(const std::vector<int16_t>& codes) = 0;
  // The files that hold the table.
  virtual std::vector<std::string> Paths() const = 0;
};

// Bytes of the files that exist among `paths`.
int64_t FileBytes(const std::vector<std::string>& paths);
// Flushes the files and asks the kernel to drop their cached pages.
void DropCache(const std::vector<std::string>& paths);

}  // namespace vorsandt::bench

#endif  // VORSANDT_BENCH_ENGINE_H_
