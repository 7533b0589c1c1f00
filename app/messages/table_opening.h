// Opening tables at first use, and the per-thread open counts.
//
// No table is opened at start. A procedure opens each table it uses with
// OpenTable (in the order it lists them) and closes them with CloseTable at
// its end; each thread counts its own opens, so the file is opened on the
// thread's first use and closed when its last user there is done.
#ifndef VORSANDT_APP_MESSAGES_TABLE_OPENING_H_
#define VORSANDT_APP_MESSAGES_TABLE_OPENING_H_

#include <cstdint>
#include <string>

#include "app/dictionary/dictionary.h"
#include "runtime/files/file_decl.h"

namespace vorsandt::app {

// Opens `table`, creating it when it does not exist (and creation is allowed
// and not refused) and offering to rebuild damaged keys. Returns only when the
// table is open; every failure ends the program after its message (1-5, 30).
// With `use_shared_mode` the table is opened for reading and writing shared
// with others (0x42), else with `access_mode`. An error 52 ("File Already
// Open") counts as open.
void OpenOrCreateTable(files::FileRecord* table, bool create_allowed, bool creation_refused,
                       int32_t access_mode, bool use_shared_mode);

// The opening pattern: on the thread's first use of `table`, OpenOrCreateTable
// (creation allowed, shared) and binding of the table's fields for
// expressions; then one more use. The tables must have been declared with
// their driver (InitDictionary) by the program's wiring.
void OpenTable(Table table);
// The closing pattern: one use less; the table is closed when none is left.
// A close without a matching open is ignored.
void CloseTable(Table table);
// Whether `table`'s file is in the data folder. A table that was never made
// holds nothing to read, and opening it to find that out would make it.
bool TableFileExists(Table table);
// The calling thread's open count of `table`.
int OpenCount(Table table);

// Opening for work that only reads (the reports and the claim pack written
// from the command line): on the thread's first use the table is opened for
// reading, others free to read and write (0x40), so that a folder the user
// may only read (a read-only mount) serves as well as any; it is never
// created, never repaired and never ends the program. A table already open
// on this thread only counts. Close it with CloseTable.
enum class ReadOpening {
  kOpened,   // open; one more use
  kMissing,  // no such table file: nothing was made, nothing counted
  kFailed,   // there but not usable: `error` says why, naming the table
};
ReadOpening OpenTableForReading(Table table, std::string* error);

// What a failure to open `table` means in plain words, from what is at its
// file name: "ITEMS.QVF is a folder, not a table file." or "ITEMS.QVF is
// empty (0 bytes): ..."; "" when the file looks like any other.
std::string WhyTableUnusable(files::FileRecord* table);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_MESSAGES_TABLE_OPENING_H_
