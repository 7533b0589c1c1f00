// An in-memory environment for tests that can fail or "crash" on purpose.
//
// Files live in memory. Every file keeps two images: what reads see now, and
// what a crash would leave on disk (the image as of the last successful
// Sync). Writes and truncations since the last Sync are kept as pending
// operations; Crash() decides their fate — all kept, all dropped, or a random
// in-order subset with the last chosen write possibly cut at a 512-byte
// sector boundary (torn). Creating, deleting and renaming files is durable at
// once.
//
// Faults are armed by count: "the Nth write (or flush) from now" either fails
// with a chosen errno (nothing is written, later calls work again) or stops
// the simulated process: that call and every later I/O call fail with EIO
// until Crash() is called, as if the process had died at that point.
// Counting covers WriteAt and Sync calls of all files of this env.
#ifndef VORSANDT_RUNTIME_ENV_FAULT_ENV_H_
#define VORSANDT_RUNTIME_ENV_FAULT_ENV_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/env/env.h"

namespace vorsandt::env {

class FaultEnv final : public Env {
 public:
  enum class CrashMode {
    kKeepUnsynced,  // every accepted write reached the disk
    kDropUnsynced,  // nothing since the last Sync reached the disk
    kTearUnsynced,  // a random in-order subset reached it, the last one possibly torn
  };

  FaultEnv();
  ~FaultEnv() override;

  // Env. NowHundredths is a manual clock (starts at 0); SleepMs advances it
  // instead of sleeping.
  int Open(const std::string& path, uint32_t flags, std::unique_ptr<File>* file) override;
  int Delete(const std::string& path) override;
  int Rename(const std::string& from, const std::string& to) override;
  int RenameNoReplace(const std::string& from, const std::string& to) override;
  bool Exists(const std::string& path) override;
  int64_t NowHundredths() override;
  void SleepMs(int ms) override;

  // --- Faults. `n` counts from 1 at the next call of that kind. ---
  // The nth WriteAt fails with `errnum`, writing nothing (or, with
  // `short_bytes` > 0, accepting that many bytes and still returning `errnum`).
  void FailWriteAt(int64_t n, int errnum, size_t short_bytes = 0);
  // The nth Sync fails with `errnum`; the pending writes stay pending.
  void FailSyncAt(int64_t n, int errnum);
  // The simulated process stops at the nth WriteAt: `keep_bytes` of that
  // write are accepted (0 = none), then it and all later I/O fail with EIO.
  void StopAtWrite(int64_t n, size_t keep_bytes = 0);
  // The simulated process stops at the nth Sync (the Sync does not happen).
  void StopAtSync(int64_t n);
  // Opening the existing file `path` for writing fails with `errnum`
  // (EACCES: the user may only read it; EROFS: a read-only mount); opening
  // it read-only works, but takes no exclusive lock (EBADF), as on Linux.
  void RefuseWriting(const std::string& path, int errnum);
  // Making a new file in `folder` ("" for bare names) fails with `errnum`
  // (0 allows it again).
  void RefuseNewFiles(const std::string& folder, int errnum);
  // Every read at or beyond `from_offset` fails with `errnum` until called
  // again with 0 (a disk that cannot read part of a file).
  void FailReads(int errnum, uint64_t from_offset = 0);
  // Every file reports the file system with statfs type `magic`
  // (file_system.h; tmpfs until called), so that a test can put its files
  // on a network file system.
  void ReportFileSystem(uint64_t magic);
  // Every file reports these mount options (File::MountOptions; "rw" until
  // called).
  void ReportMountOptions(const std::string& options);
  // Every byte-range lock request and query fails with `errnum` until
  // called again with 0 (a file system that refuses locks: ENOLCK,
  // EOPNOTSUPP).
  void RefuseLocks(int errnum);
  // Every lock request is granted and none is kept, so no other handle ever
  // sees it (a file system that answers lock calls without keeping locks).
  void ForgetLocks(bool on);
  // Views made from now on keep the bytes they showed when made, whatever is
  // written later (a network file system's client, which revalidates its
  // cached pages on a lock or an open, never on a read from a mapping).
  void StaleViews(bool on);
  // Removes armed faults (not a stop that already happened).
  void ClearFaults();

  // True once a stop fault has fired.
  bool Stopped() const;
  // Calls made so far (including failed ones).
  int64_t Writes() const;
  int64_t Syncs() const;

  // Simulates a crash: applies `mode` to the pending operations of every
  // file, makes the resulting image both current and durable, invalidates
  // every open handle (later calls on them return EIO; their locks are gone),
  // clears the stop and every armed fault. `seed` drives kTearUnsynced.
  void Crash(CrashMode mode, uint32_t seed = 0);

  // --- Direct access for tests. ---
  // Names of the files that exist, in order.
  std::vector<std::string> FileNames() const;
  // The current image (what reads see); empty when the file does not exist.
  std::string Contents(const std::string& path) const;
  // Replaces a file's contents (current and durable), creating it.
  void SetContents(const std::string& path, const std::string& data);

 private:
  friend class FaultFile;
  friend class FaultView;
  struct Node;
  struct Fault {
    int64_t at = 0;  // 0 = not armed; otherwise the call number that fires
    int errnum = 0;
    size_t bytes = 0;
    bool stop = false;
  };

  int OpenLocked(const std::string& path, uint32_t flags, std::unique_ptr<File>* file);
  // Counts a call of one kind and reports which fault fires (if any). Called
  // with mutex_ held.
  const Fault* Fire(int64_t* counter, Fault* fault);

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Node>> files_;
  std::map<std::string, int> refused_folders_;
  int read_errno_ = 0;
  uint64_t read_fault_from_ = 0;
  int64_t generation_ = 0;
  int64_t writes_ = 0;
  int64_t syncs_ = 0;
  int64_t clock_ = 0;
  uint64_t file_system_ = 0x01021994;  // tmpfs
  std::string mount_options_ = "rw";
  int lock_errno_ = 0;
  bool forget_locks_ = false;
  bool stale_views_ = false;
  bool stopped_ = false;
  Fault write_fault_;
  Fault sync_fault_;
};

}  // namespace vorsandt::env

#endif  // VORSANDT_RUNTIME_ENV_FAULT_ENV_H_
