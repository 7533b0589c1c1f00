// The files the driver works on, seen from the locking side: one lock handle
// per physical file in the process (its reader/writer, table and record locks
// go through it), the per-call protocol over a file's container, and the
// transaction that collects files between BeginTransaction and CommitFile or
// RollbackFile.
//
// Per-call protocol for a file shared with other processes (deny none):
//  1. A call starts in reader mode: it takes the reader byte (waiting by
//     attempts) and refreshes the header, so a change by another process
//     drops the page cache and a committed log of another process is read
//     through.
//     A read call that its page cache can answer while the header is
//     unchanged skips both (optimistic_read.h); it takes the reader byte
//     when it needs a page from the file. Inside a declared read run, a
//     read call that took the byte keeps it for the calls after it, for a
//     bounded tenure (read_tenure.h).
//  2. A changing call takes the writer range instead (a pending log is then
//     applied home by the refresh).
//  3. At the end of the call the container is saved (both phases) while the
//     writer lock is held, then the file lock is released. Deferred-write
//     tables skip the save, batch tables save from 40 dirty pages; either
//     keeps the writer lock while changes are unsaved, so no other process
//     ever writes under unsaved pages of ours.
//  4. A file in a transaction keeps the writer lock and its changes from
//     BeginTransaction until CommitFile or RollbackFile.
// Deny-write opens take the writer lock only around saves. Deny-read and
// deny-all opens pin the writer range on a lock handle of their own from
// Open to Close (the calls in between take no further lock), so that other
// processes and other opens of this process stay out for the whole time,
// a key rebuild included. Every wait for a file lock ends after the wait
// limit of lock_area.h with 32.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_DRIVER_FILES_H_
#define VORSANDT_STORAGE_QVF_DRIVER_DRIVER_FILES_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "runtime/env/env.h"
#include "storage/qvf/container.h"
#include "storage/qvf/driver/lock_area.h"
#include "storage/qvf/driver/read_tenure.h"
#include "storage/qvf/table/shared_file.h"

namespace vorsandt::qvf {

// How an open shares its file (the open mode's high nibble).
enum class Sharing { kNone, kDenyWrite, kExclusive };
Sharing SharingOf(int32_t open_mode);

// Save policy of a table at the end of a call.
enum class SavePolicy { kEveryCall, kDeferred, kBatch };
inline constexpr size_t kBatchPages = 40;

class LockFile {
 public:
  const std::string& path() const { return path_; }
  FileLocks& locks() { return *locks_; }
  env::File* handle() { return handle_.get(); }
  bool in_transaction() const { return in_transaction_; }
  // 0 when the file could be opened for writing; otherwise the error that
  // refused it (the handle is then read-only and takes shared locks only).
  int write_refusal() const { return write_refusal_; }
  // The read run's tenure on this file (read_tenure.h).
  ReadTenure& tenure() { return tenure_; }

 private:
  friend class DriverFiles;
  std::string path_;
  int write_refusal_ = 0;
  std::unique_ptr<env::File> handle_;
  std::unique_ptr<FileLocks> locks_;
  int users_ = 0;
  bool in_transaction_ = false;
  bool own_handle_ = false;
  ReadTenure tenure_;
};

// One call on one file: Begin takes the lock and refreshes, End saves and
// releases as the protocol says.
class CallScope {
 public:
  CallScope(LockFile* lock, Container* container, Sharing sharing, SavePolicy policy);
  ~CallScope();
  // Takes the lock for reading or writing and refreshes the header.
  [[nodiscard]] int Begin(bool writer);
  // Ends the call; returns the save's status.
  [[nodiscard]] int End();
  // Gives up the file lock for a moment (waiting for a held record) and
  // takes it again.
  [[nodiscard]] int Pause(env::Env* env);
  // A read call inside a read tenure (read_tenure.h): the reader byte is
  // held already and the header is the tenure's; End keeps the byte.
  void ResumeTenure();
  // End keeps the reader byte instead of giving it back when nothing is
  // unsaved and no writer range is held: a tenure begins (kept_reader()).
  void KeepReaderLock() { keep_reader_ = true; }
  bool kept_reader() const { return kept_reader_; }

 private:
  LockFile* lock_;
  Container* container_;
  Sharing sharing_;
  SavePolicy policy_;
  bool begun_ = false;
  bool writer_ = false;
  bool keep_reader_ = false;
  bool kept_reader_ = false;
};

class DriverFiles {
 public:
  explicit DriverFiles(env::Env* env);
  env::Env* env() const { return env_; }
  // The table layer's registry of this process's files, opening containers
  // shared and answering their pending-log question.
  FileRegistry* registry() { return registry_.get(); }
  // The lock handle of file `path` (made on first use; `create` makes the
  // file when missing). Returns 0, 2 when the file does not exist, or a code.
  // With `own_handle` the lock handle is one of its own, shared with no
  // other open: its claims then exclude the rest of this process too (an
  // open that denies others the file).
  [[nodiscard]] int AcquireLock(const std::string& path, bool create, LockFile** out, bool own_handle = false);
  void ReleaseLock(LockFile* lock);
  // Calls `f` with every lock handle of the process.
  template <typename F>
  void ForEachLock(F&& f) {
    for (auto& lock : locks_) f(*lock);
  }
  // Makes sure, once per folder and process, that byte-range locks work
  // where `path` lies (lock_probe.h), through `file`, a handle open on
  // `path`. 0, or the refusal (90 with the reason in the error state's
  // driver texts) before anything is written. AcquireLock checks every file
  // it opens; a creator checks its private copy before building it.
  [[nodiscard]] int CheckLocks(const std::string& path, env::File* file);

  // Transactions: the containers collected since BeginTransaction.
  [[nodiscard]] int JoinTransaction(LockFile* lock, EntryStore* store, Container* container);
  // Commits every member (one changed file: plain save; several: through the
  // coordination file) and ends the transaction.
  [[nodiscard]] int CommitTransaction();
  // Drops the pending changes of every member and ends the transaction.
  [[nodiscard]] int RollbackTransaction();
  // Test hook: called before each step of a commit over several files.
  void SetCommitStepHook(std::function<void(const char* step)> hook) {
    commit_step_hook_ = std::move(hook);
  }

 private:
  struct Member {
    LockFile* lock;
    EntryStore* store;
    Container* container;
  };
  void EndTransaction(bool discard);
  void Step(const char* name) {
    if (commit_step_hook_) commit_step_hook_(name);
  }

  env::Env* env_;
  std::unique_ptr<FileRegistry> registry_;
  std::vector<std::unique_ptr<LockFile>> locks_;
  std::vector<Member> members_;
  // Folders whose locks were found working (env::Env::FolderOf).
  std::set<std::string> locking_folders_;
  std::function<void(const char*)> commit_step_hook_;
};

// The driver's files in this process (the real environment).
DriverFiles& TheDriverFiles();
// Tests: makes the driver work through `env` from now on (nullptr: the real
// one). Only while the driver has no file open.
void SetDriverEnvForTesting(env::Env* env);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_DRIVER_FILES_H_
