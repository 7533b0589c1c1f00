// Invariants (checked with VORSANDT_CHECKS; a violation is an internal
// error with the check number below):
//  1. (301) A container of a shared file is saved only while this process
//     holds the file's writer range (or the file is in a transaction, which
//     holds it from BeginTransaction to its end).
//  2. (302) In a commit over several files, phase 2 of any file runs only
//     after every file's phase 1 succeeded and the transaction's number was
//     removed from the coordination file (the commit point). Order of writes:
//     coordination entry saved; each file's marker and phase 1 (log written,
//     flushed, committed); coordination entry deleted and saved; each file's
//     phase 2.
//  3. Nothing is made or written in a folder before this process found its
//     byte-range locks working there (CheckLocks, lock_probe.h): a table
//     file is reached only through AcquireLock, which checks before it
//     returns a handle (and removes a file it made itself when the check
//     fails), or built as a private copy checked before its first write.
//     Tested, not checked at run time: lock_probe_test.cc.
#include "storage/qvf/driver/driver_files.h"

#include <cerrno>

#include "runtime/files/driver.h"
#include "runtime/files/error_codes.h"
#include "storage/qvf/driver/coordination.h"
#include "storage/qvf/driver/lock_probe.h"
#include "storage/qvf/internal_error.h"
#include "storage/qvf/table/table_name.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {
namespace {

constexpr int kCheckSaveWithoutWriterLock = 301;
// Opening for writing refused: permissions, or a read-only mount.
constexpr int kReadOnlyFile = files::kSystemErrorBase + files::kAccessDenied;
constexpr int kReadOnlyMount = files::kSystemErrorBase + 19;

bool IsWriteRefusal(int e) { return e == EACCES || e == EPERM || e == EROFS; }
constexpr int kCheckPhase2BeforeCommitPoint = 302;

void DriverCheck(bool ok, int check) {
#ifdef VORSANDT_CHECKS
  if (!ok) InternalError(check);
#else
  (void)ok;
  (void)check;
#endif
}

}  // namespace

Sharing SharingOf(int32_t open_mode) {
  switch ((open_mode >> 4) & 0x0F) {
    case 4:
      return Sharing::kNone;
    case 2:
      return Sharing::kDenyWrite;
    default:
      return Sharing::kExclusive;
  }
}

// --- One call ---

CallScope::CallScope(LockFile* lock, Container* container, Sharing sharing, SavePolicy policy)
    : lock_(lock), container_(container), sharing_(sharing), policy_(policy) {}

CallScope::~CallScope() {
  // Only a call that already failed leaves without End: its error is the
  // one reported, and End's own (a save of nothing) has nowhere to go.
  if (begun_) (void)End();
}

int CallScope::Begin(bool writer) {
  begun_ = true;
  writer_ = writer;
  if (lock_->in_transaction()) return container_->Refresh();
  if (sharing_ == Sharing::kNone) {
    int rc = writer ? lock_->locks().LockWriter() : lock_->locks().LockReader();
    if (rc != 0) return rc;
    // Unsaved deferred work keeps the writer range, and with it writer mode.
    container_->SetWriterMode(writer || lock_->locks().writer_held());
  } else {
    container_->SetWriterMode(true);
  }
  return container_->Refresh();
}

int CallScope::End() {
  if (!begun_) return 0;
  begun_ = false;
  if (lock_->in_transaction()) return 0;
  int rc = 0;
  bool unsaved = container_->dirty_pages() > 0;
  if (unsaved) {
    bool save = policy_ == SavePolicy::kEveryCall ||
                (policy_ == SavePolicy::kBatch && container_->dirty_pages() >= kBatchPages);
    if (save) {
      if (sharing_ == Sharing::kDenyWrite) rc = lock_->locks().LockWriter();
      if (rc == 0) {
        DriverCheck(sharing_ == Sharing::kExclusive || lock_->locks().writer_held(),
                    kCheckSaveWithoutWriterLock);
        rc = container_->Save();
      }
      if (rc != 0) container_->DiscardAfterFailure();
      unsaved = false;
    }
  }
  kept_reader_ = keep_reader_ && !unsaved && rc == 0 && !writer_ && lock_->locks().reader_held() &&
                 !lock_->locks().writer_held();
  if (kept_reader_) return 0;
  // Unsaved pages keep the writer lock: nobody else may write under them.
  if (!unsaved) {
    lock_->locks().UnlockFile();
    if (sharing_ == Sharing::kNone) container_->SetWriterMode(false);
  }
  return rc;
}

void CallScope::ResumeTenure() {
  begun_ = true;
  writer_ = false;
  keep_reader_ = true;
}

int CallScope::Pause(env::Env* env) {
  BeforeLockWait(lock_);
  files::RunLockWaitHook();
  if (lock_->in_transaction() || container_->dirty_pages() > 0) {
    env->SleepMs(10);
    return 0;
  }
  lock_->locks().UnlockFile();
  env->SleepMs(10);
  bool writer = writer_;
  begun_ = false;
  return Begin(writer);
}

// --- Files ---

namespace {

StoreOpener SharedStoreOpener(env::Env* env) {
  return [env](const std::string& path, bool create, std::shared_ptr<EntryStore>* out) {
    auto store = std::make_shared<TreeEntryStore>(env);
    // The question must be in place before the first header is read.
    store->container().SetLogQuestion(MakeLogQuestion(env));
    int rc = store->Open(env, path, create, Container::kShared);
    if (rc == kReadOnlyFile || rc == kReadOnlyMount) {
      // Readable only: a read-only container (writing opens refuse it).
      rc = store->Open(env, path, false, Container::kShared | Container::kReadOnly);
    }
    if (rc != 0) return rc;
    *out = std::move(store);
    return 0;
  };
}

}  // namespace

DriverFiles::DriverFiles(env::Env* env)
    : env_(env),
      registry_(std::make_unique<FileRegistry>(SharedStoreOpener(env), EnvFileRemover(env))) {}

int DriverFiles::AcquireLock(const std::string& path, bool create, LockFile** out,
                             bool own_handle) {
  const std::string identity = FileIdentity(path);
  for (auto& lock : locks_) {
    if (!own_handle && !lock->own_handle_ && FileIdentity(lock->path_) == identity) {
      ++lock->users_;
      *out = lock.get();
      return 0;
    }
  }
  auto lock = std::make_unique<LockFile>();
  int e = env_->Open(path, env::kOpenReadWrite, &lock->handle_);
  // A file made here is removed again when its folder refuses locks; the
  // exclusive create tells that it was this call that made it.
  bool made = false;
  if (e == ENOENT && create) {
    e = env_->Open(path, env::kOpenCreate | env::kOpenExclusive, &lock->handle_);
    made = e == 0;
    if (e == EEXIST) e = env_->Open(path, env::kOpenReadWrite, &lock->handle_);
  }
  if (IsWriteRefusal(e)) {
    // A file the user may only read (or on a read-only mount) can still be
    // read: the handle is read-only and takes shared locks only.
    const int refusal = files::kSystemErrorBase + files::MapErrno(e, true);
    e = env_->Open(path, env::kOpenReadOnly, &lock->handle_);
    // Missing and not to be made here: the refusal is the reason.
    if (e == ENOENT && create) return refusal;
    lock->write_refusal_ = refusal;
  }
  if (e == ENOENT) return files::kFileNotFound;
  if (e != 0) return files::kSystemErrorBase + files::MapErrno(e, create);
  if (int rc = CheckLocks(path, lock->handle_.get()); rc != 0) {
    lock->handle_.reset();
    if (made) env_->Delete(path);
    return rc;
  }
  lock->path_ = path;
  lock->own_handle_ = own_handle;
  lock->locks_ = std::make_unique<FileLocks>(env_, lock->handle_.get());
  LockFile* waiting = lock.get();
  lock->locks_->SetBeforeWait([waiting] { BeforeLockWait(waiting); });
  lock->users_ = 1;
  *out = lock.get();
  locks_.push_back(std::move(lock));
  return 0;
}

int DriverFiles::CheckLocks(const std::string& path, env::File* file) {
  const std::string folder = env_->FolderOf(path);
  if (locking_folders_.count(folder) != 0) return 0;
  const int finding = ProbeLocks(env_, path, file);
  // Only a folder found working is remembered: a lock service that did not
  // answer may be back at the next open.
  if (finding == 0) locking_folders_.insert(folder);
  return ReportLockProbe(env_, path, finding);
}

void DriverFiles::ReleaseLock(LockFile* lock) {
  if (lock == nullptr || --lock->users_ > 0) return;
  for (auto it = locks_.begin(); it != locks_.end(); ++it) {
    if (it->get() == lock) {
      locks_.erase(it);
      return;
    }
  }
}

// --- Transactions ---

int DriverFiles::JoinTransaction(LockFile* lock, EntryStore* store, Container* container) {
  for (const Member& m : members_) {
    if (m.container == container) return 0;
  }
  // Save what is pending first, then hold the writer range until the end.
  if (int rc = lock->locks().LockWriter(); rc != 0) return rc;
  container->SetWriterMode(true);
  if (int rc = container->Refresh(); rc != 0) {
    lock->locks().UnlockFile();
    return rc;
  }
  if (int rc = container->Save(); rc != 0) {
    lock->locks().UnlockFile();
    return rc;
  }
  lock->in_transaction_ = true;
  // Nobody else can save the file until the transaction ends: its header
  // need not be read again on every operation.
  container->SetHeaderHeld(true);
  members_.push_back(Member{lock, store, container});
  return 0;
}

int DriverFiles::CommitTransaction() {
  std::vector<Member> changed;
  for (const Member& m : members_) {
    if (m.container->dirty_pages() > 0) changed.push_back(m);
  }
  int result = 0;
  if (changed.size() == 1) {
    result = changed[0].container->Save();
  } else if (changed.size() >= 2) {
    CoordinationFile coordination(env_);
    uint32_t number = 0;
    Step("open");
    result = coordination.Open(CoordinationFileName());
    if (result == 0) {
      Step("begin");
      result = coordination.Begin(TransactionNumberNow(), &number);
    }
    size_t logged = 0;
    bool committed = false;
    if (result == 0) {
      for (const Member& m : changed) {
        Step("phase1");
        result = m.store->Put(kMarkerKey, EncodeMarker(number, coordination.path()));
        if (result == 0) result = m.container->SavePhase1();
        if (result != 0) break;
        ++logged;
      }
      // A log that could not be abandoned is still committed in its file:
      // only the number listed in the coordination file makes its openers
      // abandon it, so a failed transaction is then not finished.
      bool abandoned = true;
      if (result != 0) {
        for (size_t i = 0; i < logged; ++i) {
          if (changed[i].container->AbandonLog() != 0) abandoned = false;
        }
      }
      // The commit point. Should removing the number fail, the transaction
      // is still listed and every log must be abandoned, here and by any
      // later opener, or a crash during phase 2 would leave files half
      // applied.
      Step("finish");
      int finished = abandoned ? coordination.Finish(number) : 0;
      if (result == 0 && finished != 0) {
        // Still listed: a log left behind here is abandoned by its opener.
        for (const Member& m : changed) (void)m.container->AbandonLog();
        result = finished;
      }
      committed = result == 0 && finished == 0 && logged == changed.size();
    }
    // Close saves nothing (every step saved its own change): its status says
    // nothing about the transaction.
    (void)coordination.Close();
    if (result == 0) {
      for (const Member& m : changed) {
        DriverCheck(committed, kCheckPhase2BeforeCommitPoint);
        DriverCheck(m.lock->locks().writer_held(), kCheckSaveWithoutWriterLock);
        Step("phase2");
        if (int rc = m.container->SavePhase2(); rc != 0 && result == 0) result = rc;
      }
    }
    if (result != 0 && result < files::kSystemErrorBase) result = files::kUnableToLogTransaction;
  }
  EndTransaction(result != 0);
  return result;
}

int DriverFiles::RollbackTransaction() {
  EndTransaction(true);
  return 0;
}

void DriverFiles::EndTransaction(bool discard) {
  for (const Member& m : members_) {
    // Whatever is left unsaved belongs to a transaction that has ended.
    m.container->SetHeaderHeld(false);
    if (discard || m.container->dirty_pages() > 0) m.container->DiscardAfterFailure();
    m.lock->in_transaction_ = false;
    m.lock->locks().UnlockFile();
    m.container->SetWriterMode(false);
  }
  members_.clear();
}

namespace {
DriverFiles*& FilesSlot() {
  static DriverFiles* files = new DriverFiles(env::Env::Default());
  return files;
}
}  // namespace

DriverFiles& TheDriverFiles() { return *FilesSlot(); }

void SetDriverEnvForTesting(env::Env* env) {
  // The old set holds no open file; it is left alive rather than torn down
  // under a caller that might still point at it.
  FilesSlot() = new DriverFiles(env != nullptr ? env : env::Env::Default());
}

}  // namespace vorsandt::qvf
