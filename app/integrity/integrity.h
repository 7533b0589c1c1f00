// Referential integrity: the delete and change routines every update form
// uses for a write to an existing record.
//
// One cascade engine serves every table. It walks the dictionary's relation
// table: deleting a parent deletes the children that hold its linking value
// (and, depth first, their own children); changing a parent's linking field
// re-links those children to the new value. Each routine runs inside one
// transaction over the tables its cascade can reach, so that a parent and all
// its dependants change together or not at all.
//
// Invariants (crash safety rests on the transaction frame of the file layer):
// - every routine starts at most one transaction and every path out of it
//   ends that transaction with a commit or a rollback before returning;
// - every table a routine opens is closed again on every path;
// - a routine that returns kIntegrityFailed has changed nothing that stays
//   (the rollback undid it), and the user has seen exactly one message.
#ifndef VORSANDT_APP_INTEGRITY_INTEGRITY_H_
#define VORSANDT_APP_INTEGRITY_INTEGRITY_H_

#include <string_view>

#include "app/dictionary/dictionary.h"
#include "app/messages/warning_message.h"

namespace vorsandt::app {

inline constexpr int kIntegrityDone = 0;
inline constexpr int kIntegrityFailed = 1;

// Deletes the record in `table`'s record buffer (read from the file) and all
// its dependants. kIntegrityDone when committed, kIntegrityFailed when nothing
// changed.
int DeleteRecord(Table table);

// Rewrites the edited record in `table`'s record buffer; when its linking
// field differs from the value remembered by RememberParentValue, re-links
// the children to the new value. kIntegrityDone when committed,
// kIntegrityFailed when nothing changed. A rewrite refused because another
// program changed the record since a watched read is reported as such.
int ChangeRecord(Table table);

// Remembers, for this thread, the linking field of `table`'s record buffer
// (the update form does this when it starts). Tables that are no parent keep
// nothing. Without a remembered value a change runs no cascade. The record
// itself is kept too: a rewrite that finds it gone names, besides the table,
// the record it belonged to when it was read if that is gone as well ("with
// the LOCATIONS record "Kitchen" it belonged to").
void RememberParentValue(Table table);
// Forgets this thread's remembered value of `table`.
void ForgetParentValue(Table table);

// Where the routines' messages go: WarningMessage in the program. Tests
// install their own to see which message was shown; nullptr restores the
// default. Process-wide.
using IntegrityReporter = void (*)(MessageId id, std::string_view t1, std::string_view t2);
void SetIntegrityReporter(IntegrityReporter reporter);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_INTEGRITY_INTEGRITY_H_
