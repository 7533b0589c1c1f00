// Use variables bound straight to the fields of a table's record.
//
// A control whose definition uses "POL:REFERENCE" can show and edit that
// field of the POLICY record without a procedure writing accessors: the
// variable reads the field's bytes by its type (fixed, C and Pascal strings,
// integers, reals, packed decimals), shows them through the control's picture
// (or the field's own picture), and writes accepted text back into the bytes
// with the field's type: strings cut and padded to their length, numbers
// rounded to the field's decimals and kept within its range, dates and times
// through date and time pictures as day numbers and time values.
//
// Text that cannot be a value of the field (no digits for a number, a date
// with day 0, a number too large for the field) is refused and the field keeps
// its bytes. A blank entry stores 0 in a numeric field.
//
// A variable bound to a table (not to a fixed buffer) finds the record of the
// calling thread's instance every time it is used, so a window on a started
// procedure's thread edits that thread's copy of a per-thread table.
#ifndef VORSANDT_UI_ENGINE_FIELD_VARIABLE_H_
#define VORSANDT_UI_ENGINE_FIELD_VARIABLE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/files/file_decl.h"
#include "runtime/files/layout.h"
#include "ui/engine/use_variable.h"

namespace vorsandt::ui {

class Window;

// The fields of `file`'s record layout; empty when the layout does not parse.
std::vector<files::FieldInfo> RecordFields(const files::FileRecord& file);
// The field named `name` (letter case ignored), if the layout has it.
std::optional<files::FieldInfo> FindField(const files::FileRecord& file, std::string_view name);

// The field `name` of `file`; null when the layout has no such field or the
// field's type cannot be shown (groups) or lies outside the record.
std::unique_ptr<UseVariable> BindField(files::FileRecord* file, std::string_view name);
// A field of a record kept in `record` (`record_length` bytes), for records
// that live outside the tables.
std::unique_ptr<UseVariable> BindField(uint8_t* record, uint32_t record_length,
                                       const files::FieldInfo& field);

// Binds every control of `window` whose use variable names a field or a
// text memo of `file` (a text box on "CLA:NOTES" edits that memo, cut to its
// size and blank-padded); returns how many were bound.
int BindRecord(Window& window, files::FileRecord* file);

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_FIELD_VARIABLE_H_
