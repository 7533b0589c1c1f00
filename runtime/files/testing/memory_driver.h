// A small in-memory driver for tests of the file access layer and of the
// layers above it before (and beside) the real drivers. Files live in a
// process-wide map by upper-cased name; records are kept in physical order.
#ifndef VORSANDT_RUNTIME_FILES_TESTING_MEMORY_DRIVER_H_
#define VORSANDT_RUNTIME_FILES_TESTING_MEMORY_DRIVER_H_

#include <cstdint>
#include <string>

#include "runtime/files/file_decl.h"

namespace vorsandt::files::testing {

// Entry of a driver with full transaction support.
int32_t MemoryEntry(int32_t op, AccessObject* object, const Args& args);
// Entry of a driver that can lock but has no transactions, like a text file.
int32_t MemoryNoTransactionEntry(int32_t op, AccessObject* object, const Args& args);

// The next CommitFile of any in-memory file fails with `code`.
void FailNextCommit(int32_t code);

// Forgets every in-memory file.
void ResetMemoryFiles();
// Number of records stored under `name` (-1 when there is no such file).
int MemoryFileRecords(const std::string& name);

}  // namespace vorsandt::files::testing

#endif  // VORSANDT_RUNTIME_FILES_TESTING_MEMORY_DRIVER_H_
