// Opening a table of a shared file, and creating one so that no other
// process ever meets a half-made file or loses a table it just made.
//
// A new file is built completely under a name nobody else uses (the file's
// name followed by ".~" and a random token, made with exclusive create),
// saved and flushed, and only then given its real name by a rename that
// refuses to replace: either this process's complete file appears, or the
// file another process made meanwhile stays and this one's copy is deleted.
// A creation that fails deletes its private copy, so no empty or
// half-written file is left under the real name; a creator killed on the
// way leaves at most its private copy, which blocks nobody.
//
// A creation that finds the file there (or loses the race for it) creates
// the table inside under the file's writer lock; asked to keep an existing
// table (and always after a lost race), it opens what is there instead of
// replacing it.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_TABLE_OPEN_H_
#define VORSANDT_STORAGE_QVF_DRIVER_TABLE_OPEN_H_

#include <memory>
#include <string>

#include "runtime/files/file_decl.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/table/table.h"

namespace vorsandt::qvf {

// Opens table `name` of the declaration with open mode `mode`. Opens with
// write access need the file writable (305 otherwise) and take the writer
// lock while opening; read-only opens take the reader lock only, so files the
// user may only read open too. An open that denies others the file (deny
// read, deny all) gets a lock handle of its own and holds the writer range
// on it until the table is closed: other processes, and other opens in this
// one, wait for it (32 after the wait limit). With `create` the table is
// created (replacing one that exists, unless `keep_existing`); the file must
// exist already.
[[nodiscard]] int OpenTable(const files::FileRecord& file, const std::string& name, int32_t mode, bool create,
              bool keep_existing, LockFile** lock_out, std::unique_ptr<Table>* out);

// Creates table `name` as described above (the Create operation).
[[nodiscard]] int CreateTable(const files::FileRecord& file, const std::string& name, bool keep_existing);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_TABLE_OPEN_H_
