// Binding a table's record fields for expressions.
//
// A procedure that filters a view binds the fields of every table the filter
// names: each field by its full name ("ITE:ITEM_CODE") to its place in the
// calling thread's record buffer, and each memo ("CLA:NOTES") as a text of its
// maximum size in the thread's memo buffer.
#ifndef VORSANDT_RUNTIME_EVAL_RECORD_BINDING_H_
#define VORSANDT_RUNTIME_EVAL_RECORD_BINDING_H_

#include <cstdint>
#include <span>

#include "runtime/files/file_decl.h"

namespace vorsandt::eval {

// Binds every field of the layout stream to `record` (`record_length` bytes).
// Fields of a type expressions cannot read (groups, and number kinds other
// than those VariableRef lists) and fields that would reach beyond the record
// are left unbound. Returns 0, or the layout's own error (75 malformed stream,
// 79 unknown type code), in which case nothing is bound.
int32_t BindLayout(std::span<const uint8_t> layout, uint8_t* record, uint32_t record_length);

// Binds the fields and memos of the calling thread's instance of `file`.
int32_t BindRecord(files::FileRecord* file);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_RECORD_BINDING_H_
