#include "storage/qvf/driver/table_open.h"

#include <cerrno>
#include <cstdio>
#include <random>

#include "runtime/files/error_codes.h"
#include "runtime/files/operations.h"
#include "storage/qvf/driver/coordination.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/table_name.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {
namespace {

// A creation that found the file there after all.
constexpr int kLostRace = -1;
// A file that vanished between two looks (removed by another process) is
// looked for again, but not for ever.
constexpr int kCreateAttempts = 3;

Container* ContainerOf(EntryStore& store) {
  auto* tree_store = dynamic_cast<TreeEntryStore*>(&store);
  return tree_store != nullptr ? &tree_store->container() : nullptr;
}

[[nodiscard]] int SystemError(int e, bool writing) {
  return files::kSystemErrorBase + files::MapErrno(e, writing);
}

// A private name beside `path`, made (empty) with exclusive create so that
// no other creator can share it.
[[nodiscard]] int MakePrivateCopyName(env::Env* env, const std::string& path, std::string* out) {
  static thread_local std::mt19937 rng{std::random_device{}()};
  for (int attempt = 0;; ++attempt) {
    char token[16];
    std::snprintf(token, sizeof token, "%08x", static_cast<unsigned>(rng()));
    std::string name = path + ".~" + token;
    std::unique_ptr<env::File> file;
    int e = env->Open(name, env::kOpenCreate | env::kOpenExclusive, &file);
    if (e == 0) {
      *out = std::move(name);
      return 0;
    }
    if (e != EEXIST || attempt == 8) return SystemError(e, true);
  }
}

// Builds the file `split.file` holding the new table under a private name
// and renames it into place. 0 when this process's file is now in place,
// kLostRace when another one was there first, or the failure (the private
// copy is gone either way).
[[nodiscard]] int BuildNewFile(env::Env* env, const TableName& split, const TableDefinition& def,
                 TableOptions options) {
  std::string copy;
  if (int rc = MakePrivateCopyName(env, split.file, &copy); rc != 0) return rc;
  int rc = 0;
  // Nothing is built in a folder whose locks do not work: the file would
  // appear under its real name and every later call would fail on it.
  {
    std::unique_ptr<env::File> handle;
    int e = env->Open(copy, env::kOpenReadWrite, &handle);
    rc = e != 0 ? SystemError(e, true) : TheDriverFiles().CheckLocks(copy, handle.get());
  }
  if (rc != 0) {
    env->Delete(copy);
    return rc;
  }
  {
    FileRegistry registry(TreeStoreOpener(env), EnvFileRemover(env));
    std::unique_ptr<Table> table;
    options.keep_existing = false;
    rc = Table::Open(&registry, copy + kTableSeparator + split.table, def, /*create=*/true, options,
                     &table);
    // Closing the last user saves the file (both phases, flushed).
    int closed = table ? table->Close() : 0;
    if (rc == 0) rc = closed;
  }
  if (rc == 0) {
    int e = env->RenameNoReplace(copy, split.file);
    if (e == EEXIST)
      rc = kLostRace;
    else if (e != 0)
      rc = SystemError(e, true);
  }
  if (rc != 0) env->Delete(copy);
  return rc;
}

}  // namespace

int OpenTable(const files::FileRecord& file, const std::string& name, int32_t mode, bool create,
              bool keep_existing, LockFile** lock_out, std::unique_ptr<Table>* out) {
  DriverFiles& files = TheDriverFiles();
  const bool exclusive = SharingOf(mode) == Sharing::kExclusive;
  const bool writing = mode % 4 != 0 || exclusive;
  TableName split;
  if (int rc = SplitTableName(name, &split); rc != 0) return rc;
  TableDefinition def;
  if (int rc = DefinitionFromDeclaration(file, &def); rc != 0) return rc;
  LockFile* lock = nullptr;
  if (int rc = files.AcquireLock(split.file, /*create=*/false, &lock, exclusive); rc != 0) {
    return rc;
  }
  if (writing && lock->write_refusal() != 0) {
    int refusal = lock->write_refusal();
    files.ReleaseLock(lock);
    return refusal;
  }
  auto fail = [&](int rc) {
    lock->locks().UnlockFile();
    files.ReleaseLock(lock);
    return rc;
  };
  FileLocks& locks = lock->locks();
  if (int rc = exclusive ? locks.PinWriter()
               : writing ? locks.LockWriter()
                         : locks.LockReader();
      rc != 0) {
    files.ReleaseLock(lock);
    return rc;
  }
  // An empty file that is opened (not one a creator made for itself under
  // a private name) is never one this driver made in place (a new table
  // file is built aside and renamed into place whole): it is a table file
  // whose contents were lost, and is refused as damaged, never taken for a
  // table to make afresh over it.
  SharedFile* open = files.registry()->Find(split.file);
  uint64_t size = 0;
  if (!create && open == nullptr && lock->handle()->Size(&size) == 0 && size == 0) {
    return fail(files::kInvalidQvfFile);
  }
  // A file whose first save was cut short (its creator killed, by a program
  // that still made files in place) holds nothing that was ever saved: it
  // starts again empty instead of failing as not a QVF file for ever.
  if (writing && open == nullptr && NeverSaved(lock->handle())) {
    if (int e = lock->handle()->Truncate(0); e != 0) return fail(SystemError(e, true));
  }
  // A file this process already has open may have been changed by others.
  if (open != nullptr) {
    if (Container* c = ContainerOf(open->store())) {
      if (writing && c->read_only()) return fail(files::kSystemErrorBase + files::kAccessDenied);
      c->SetWriterMode(writing);
      if (int rc = c->Refresh(); rc != 0) return fail(rc);
    }
  }
  TableOptions options;
  options.oem = (file.attributes & files::kAttrOemText) != 0;
  options.keep_existing = keep_existing;
  int rc = Table::Open(files.registry(), name, def, create, options, out);
  Container* container = *out ? ContainerOf((*out)->store()) : nullptr;
  if (rc == 0 && container == nullptr) rc = files::kInvalidDataFile;
  if (rc == 0 && writing && container->read_only()) {
    rc = files::kSystemErrorBase + files::kAccessDenied;
  }
  // Keys built under other case or collation rules would be corrupted by the
  // first change made under these: such a table is opened for writing only
  // to be rebuilt (denied to others), and every change is refused until it
  // is. Readers may look; their key order is the one the file was built in.
  if (rc == 0 && writing && !exclusive && (*out)->keys_foreign()) {
    rc = files::kKeyFileMustBeRebuilt;
  }
  if (rc == 0) {
    if (writing) rc = container->Save();
  } else if (*out) {
    if (Container* c = ContainerOf((*out)->store())) c->DiscardAfterFailure();
  }
  if (container != nullptr) container->SetWriterMode(exclusive);
  if (rc != 0) locks.Unpin();
  locks.UnlockFile();  // a pinned writer range stays until the table is closed
  if (rc != 0) {
    if (*out) (void)(*out)->Close();  // its changes were discarded: the failure is rc
    out->reset();
    files.ReleaseLock(lock);
    return rc;
  }
  *lock_out = lock;
  return 0;
}

int CreateTable(const files::FileRecord& file, const std::string& name, bool keep_existing) {
  DriverFiles& files = TheDriverFiles();
  TableName split;
  if (int rc = SplitTableName(name, &split); rc != 0) return rc;
  TableDefinition def;
  if (int rc = DefinitionFromDeclaration(file, &def); rc != 0) return rc;
  TableOptions options;
  options.oem = (file.attributes & files::kAttrOemText) != 0;
  int rc = files::kFileNotFound;
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    if (!files.env()->Exists(split.file)) {
      rc = BuildNewFile(files.env(), split, def, options);
      if (rc != kLostRace) return rc;
      // The file appeared since this process looked: whatever is in it was
      // made meanwhile and is never replaced.
      keep_existing = true;
    }
    LockFile* lock = nullptr;
    std::unique_ptr<Table> table;
    rc =
        OpenTable(file, name, files::kModeReadWrite, /*create=*/true, keep_existing, &lock, &table);
    if (rc == files::kFileNotFound && !files.env()->Exists(split.file)) continue;
    if (rc != 0) return rc;
    rc = table->Close();
    files.ReleaseLock(lock);
    return rc;
  }
  return rc;
}

}  // namespace vorsandt::qvf
