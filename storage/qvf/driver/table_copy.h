// Copy and Rename of a closed table into another file (or another table of
// the same file).
//
// The copy is made under a new table id in the target (creating the target
// file when missing; an existing target table of that name is replaced).
// Record numbers, in data records, key entries and memo chunks alike, are
// shifted by a base drawn from the target's id counter, so they never meet
// the target's own numbers; the target's id counter then stands at the
// highest number copied. Counters and definition blocks are copied as they
// are (a counter's mark is a record number and is shifted too).
#ifndef VORSANDT_STORAGE_QVF_DRIVER_TABLE_COPY_H_
#define VORSANDT_STORAGE_QVF_DRIVER_TABLE_COPY_H_

#include <string>

#include "runtime/files/file_decl.h"

namespace vorsandt::qvf {

// Copies table `source` (declared as `decl`) to `target` ("FILE!TABLE").
// `remove_source` makes it a Rename. Returns 0 or an error code.
[[nodiscard]] int CopyTable(const files::FileRecord& decl, const std::string& source, const std::string& target,
              bool remove_source);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_TABLE_COPY_H_
