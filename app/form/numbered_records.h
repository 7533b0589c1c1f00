// The records an auto-numbered insert adds before the user has typed
// anything: how to tell one that was left behind from one someone saved.
//
// An insert form adds its numbered record at once and holds it (a record
// lock, which the system drops when the process ends) until it saves or
// removes it. A record that is still blank as such a form adds it (every
// field blank or zero except its number and the fields that link it to a
// parent, every memo blank), that nobody holds and that no record depends on
// was left by a program that ended with its insert form open: it holds
// nothing a user typed. Saving a blank insert is refused by the form (it
// counts as Cancel), so such a record is never one a user meant to keep.
#ifndef VORSANDT_APP_FORM_NUMBERED_RECORDS_H_
#define VORSANDT_APP_FORM_NUMBERED_RECORDS_H_

#include <cstdint>
#include <vector>

#include "app/dictionary/dictionary.h"

namespace vorsandt::app {

// The record buffer and memo buffers of a table's instance on this thread.
struct RecordImage {
  std::vector<uint8_t> record;
  std::vector<std::vector<char>> memos;
  bool operator==(const RecordImage&) const = default;
};
RecordImage TakeImage(Table t);
void PutImage(Table t, const RecordImage& image);

// Blanks every memo of `t`'s instance on this thread (text memos to spaces,
// binary ones to zero bytes, as a read of an empty memo leaves them).
void ClearMemos(Table t);

// Whether `t`'s record buffer (and memos) is blank as a numbered insert adds
// it: every field blank or zero except the numbered key field and the fields
// a caller primes to link the record to its parent.
bool BlankAsNumbered(Table t);

// Whether any record of another table refers to the record in `t`'s buffer
// (by the relations, and by the child lists of the forms). The child tables
// must be open. Leaves their buffers as they were.
bool HasDependants(Table t);

// Once per process for each table, the first time a form numbers a record
// in it: deletes the records left blank as numbered that nobody holds and
// nothing depends on. Leaves `t`'s buffer and memos as they were.
void RemoveAbandonedNumbers(Table t);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FORM_NUMBERED_RECORDS_H_
