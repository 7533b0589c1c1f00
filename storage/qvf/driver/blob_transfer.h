// Blob fields of the record buffer, and the blob transfer operations 75-79.
//
// A blob's contents belong to the record buffer as a memo's do: every read
// fills them from the stored record, Add and Put store them. A blob has a
// length of its own, so its bytes are kept in the driver block; the fixed-size
// memo buffer of the field gets a copy of as many leading bytes as it holds
// (zero-filled), for code that looks at the buffer.
//
// Operations. F is the number of a memo field of the table, from 1 in
// declaration order, and must be a blob; pointers and lengths travel in the
// argument array. None of them reads or writes the file.
//   75 size  Args{F, int32_t* size}: *size = the blob's length in bytes.
//   76 get   Args{F, void* block, capacity, int32_t* size}: copies the blob to
//            the start of the block; *size (when given) = its length. A block
//            smaller than the blob gets nothing, fails with 8 ("Insufficient
//            Memory") and *size still tells the length needed.
//   77 count Args{int32_t* count}: the number of blob fields of the table.
//   78 set   text argument: the blob field's name ("BLB:PICTURE"), or empty
//            to use F; Args{F, const void* block, length}: the blob becomes a
//            copy of the block's first `length` bytes (0 empties it). The next
//            Add or Put stores it.
//   79 text  text argument as for 78; Args{F}: the blob's bytes as the text
//            result.
// Codes: 79 ("Unsupported Data Type In File") when F or the name is no blob
// field of the table (so on every table without blobs), 78 ("Invalid Number
// Of Parameters") for a missing pointer or a negative length, 8 for a block
// too small; 37 when the table is not open (the rules check).
#ifndef VORSANDT_STORAGE_QVF_DRIVER_BLOB_TRANSFER_H_
#define VORSANDT_STORAGE_QVF_DRIVER_BLOB_TRANSFER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/files/driver.h"
#include "storage/qvf/driver/driver_block.h"

namespace vorsandt::qvf {

// The driver block of a table with the blob contents of its record buffer.
class BlobBlock : public QvfBlock {
 public:
  // One per memo field of the declaration; only blob fields use theirs.
  std::vector<std::string> blobs;
};

// Is memo field `i` (from 0) of the file's declaration a blob?
bool IsBlobMemo(const files::FileRecord& file, size_t i);

// Performs operations 75 to 79.
int32_t BlobTransfer(files::Call& call, BlobBlock& b);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_BLOB_TRANSFER_H_
