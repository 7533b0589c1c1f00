// The native table driver: the entry the file access layer calls for every
// table declared with the driver name "VELOCARA".
#ifndef VORSANDT_STORAGE_QVF_DRIVER_QVF_DRIVER_H_
#define VORSANDT_STORAGE_QVF_DRIVER_QVF_DRIVER_H_

#include <cstdint>

#include "runtime/files/driver.h"
#include "runtime/files/file_decl.h"

namespace vorsandt::qvf {

// The driver entry: operation code, the table's file object, the argument
// array. Results as the file layer defines them (values for Records,
// Pointer, Bytes, Duplicate, Eof and Bof; 0 otherwise), the error code
// posted.
int32_t QvfEntry(int32_t op, files::AccessObject* object, const files::Args& args);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_QVF_DRIVER_H_
