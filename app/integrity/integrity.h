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

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/messages/warning_message.h"

namespace vorsandt::app {

inline constexpr int kIntegrityDone = 0;
inline constexpr int kIntegrityFailed = 1;

// Deletes the record in `table`'s record buffer (read from the file) and all
// its dependants. kIntegrityDone when committed, kIntegrityFailed when nothing
// changed.
int DeleteRecord(Table table);

// What deleting a record takes with it, counted before anything is deleted.
struct DeleteReach {
  struct Count {
    Table table;
    int64_t records;
  };
  // Every table the delete cascade can reach, in the order it first reaches
  // them, with the records it would delete there (0 included).
  std::vector<Count> deleted;
  // Records naming a record the delete would take through a reference that
  // does not cascade (claims naming an item): per reference, the table that
  // holds them, the table they name and how many would keep naming a
  // record that is gone.
  struct Kept {
    Table table;
    Table names;
    int64_t records;
  };
  std::vector<Kept> kept;

  // True when the delete would take nothing else and leave nothing naming
  // what it took.
  bool Nothing() const;
};

// Counts what DeleteRecord would do to the record in `table`'s buffer, along
// the very relation walk the delete takes, without writing anything. Like the
// delete, it uses this thread's record buffers of the tables it reaches (not
// `table`'s own) and opens and closes their tables. nullopt after a read
// failure, which has been reported (message 35 naming the table).
std::optional<DeleteReach> CountDeleteReach(Table table);

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
