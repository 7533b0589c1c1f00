// The driver's private state per table (inside the driver only).
#ifndef VORSANDT_STORAGE_QVF_DRIVER_DRIVER_BLOCK_H_
#define VORSANDT_STORAGE_QVF_DRIVER_DRIVER_BLOCK_H_

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/files/driver.h"
#include "storage/qvf/container.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/optimistic_read.h"
#include "storage/qvf/driver/sequence.h"
#include "storage/qvf/table/table.h"

namespace vorsandt::qvf {

class QvfBlock : public files::DriverBlock {
 public:
  ~QvfBlock() override;

  std::unique_ptr<Table> table;
  LockFile* lock = nullptr;
  Container* container = nullptr;

  SequencePosition pos;
  int access_key = -1;  // index into table->keys(), -1: record-number order

  int64_t hold_timeout = -1;  // seconds; -1 waits for ever
  bool hold_next = false;
  bool watch_next = false;
  bool skip_memos_next = false;
  bool table_locked = false;
  // The state before this block's last optimistic attempt (optimistic_read.h).
  AttemptState attempt;

  Sharing sharing() const { return SharingOf(open_mode); }
  // Drops the hold, watch and skip-memos requests.
  void DropRequests() {
    hold_next = false;
    watch_next = false;
    skip_memos_next = false;
  }
  // Releases everything the open holds and closes the table.
  [[nodiscard]] int CloseTable();
};

// The record buffer's memos as values and back.
MemoValues MemosOf(const files::FileRecord& file);
void StoreMemos(const MemoValues& memos, files::FileRecord* file);

// Sequential reads and positioning (driver_reads.cc). Each runs inside a
// call that holds the file lock.
int32_t PerformRead(files::Call& call, QvfBlock& b, CallScope& scope);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_DRIVER_BLOCK_H_
