// The environment: the one door through which the runtime and the storage
// reach the operating system for files, flushes, byte-range locks and time.
//
// Everything that touches a file goes through an Env and the File handles it
// opens, so tests can swap in an in-memory environment that fails or "crashes"
// at a chosen write (fault_env.h) and the real program uses Env::Default().
//
// Errors are POSIX errno values: 0 means success, anything else is the errno
// of the failed call (EAGAIN for a lock held by someone else, EIO for a short
// write with no other cause). This layer depends on nothing; callers map the
// numbers to the runtime's error numbering with vorsandt::files::MapErrno (or
// MapLockErrno for locks).
//
// Thread safety: an Env may be used from any thread. A File handle may be
// shared between threads as long as calls on it do not overlap (the runtime's
// single run permission guarantees that); the lock table behind TryLock is
// internally synchronised.
#ifndef VORSANDT_RUNTIME_ENV_ENV_H_
#define VORSANDT_RUNTIME_ENV_ENV_H_

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vorsandt::env {

// Open flags, combined with |.
enum OpenFlag : uint32_t {
  kOpenReadWrite = 0,
  // No writes, truncation or size changes through this handle (EBADF).
  kOpenReadOnly = 1u << 0,
  // Create the file when it does not exist (permissions 0666 & ~umask).
  kOpenCreate = 1u << 1,
  // With kOpenCreate: fail with EEXIST when the file already exists.
  kOpenExclusive = 1u << 2,
  // Set the length to 0 after opening (needs write access).
  kOpenTruncate = 1u << 3,
  // With kOpenCreate: a file this call creates is readable and writable by
  // its user only (0600), for temporary files of private data.
  kOpenPrivate = 1u << 4,
  // Fail with ELOOP when the last part of the path is a symbolic link, so
  // that nothing is ever read or written through one by mistake.
  kOpenNoFollow = 1u << 5,
};

// A read-only view of the first bytes of a file, kept by File::Map. It
// follows every write made to the file by any process and any handle (the
// POSIX version is a shared mapping: Linux keeps it coherent with pwrite), so
// a reader learns of another process's write without a system call. A read
// may tear while a write of the same bytes is under way: callers that can
// race a writer compare or check what they read. Independent of the handle
// it came from (it may outlive it).
class FileView {
 public:
  virtual ~FileView() = default;
  // Copies `length` bytes at `offset` into `buffer`; the range must lie
  // inside the mapped length (EINVAL otherwise). Bytes beyond the file's
  // current end read as zero, or fail the read with EIO where the file no
  // longer reaches the memory page that holds them (it was shortened by
  // someone else): never a fault. Returns 0 or an errno.
  virtual int Read(uint64_t offset, void* buffer, size_t length) = 0;
};

// An open file. Offsets are absolute byte positions; there is no file
// pointer. Closing the handle (destroying it) releases every lock it holds.
class File {
 public:
  virtual ~File() = default;

  // Reads up to `length` bytes at `offset` into `buffer`; `*got` receives the
  // number read, which is less than `length` only at the end of the file.
  // Returns 0 or an errno.
  virtual int ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) = 0;

  // As ReadAt, for a read that others near it are likely to follow (the
  // pages of a file opened again are read all over it, in no order): when
  // the system's cache does not hold the bytes, the system is also asked to
  // read the aligned `block` bytes around them, in one trip to the disk
  // instead of one per later read. The default reads the bytes only.
  virtual int ReadAtAround(uint64_t offset, void* buffer, size_t length, size_t* got,
                           size_t block) {
    (void)block;
    return ReadAt(offset, buffer, length, got);
  }

  // Writes all `length` bytes at `offset`, extending the file when needed.
  // Returns 0 only when every byte was accepted; a write the system cut short
  // without an error returns EIO. `*written` (optional) receives the bytes
  // actually accepted in either case.
  virtual int WriteAt(uint64_t offset, const void* buffer, size_t length,
                      size_t* written = nullptr) = 0;

  // Makes every write accepted so far durable, and the file's length with
  // them (the POSIX version flushes the inode too whenever the length changed
  // since the last flush). Returns 0 or an errno; a failed Sync proves nothing
  // about earlier writes and must not be retried as if they were safe. Until
  // Sync returns 0 a crash may lose or tear any write made since the previous
  // successful Sync.
  virtual int Sync() = 0;

  // Sets the file's length (shortens or extends with zero bytes).
  virtual int Truncate(uint64_t length) = 0;

  // The current length in bytes.
  virtual int Size(uint64_t* length) = 0;

  // Takes a byte-range lock without waiting: shared (`exclusive` false) or
  // exclusive. The range may lie beyond the end of the file. Returns 0, or
  // EAGAIN when an incompatible lock on an overlapping range is held by
  // another process, by another handle of the same file in this process, or
  // through this same handle (locks are claims, not re-entrant: a second
  // exclusive claim on an overlapping range fails even from the same handle,
  // so threads sharing a handle exclude each other). Shared claims on
  // overlapping ranges coexist. `length` must be at least 1.
  virtual int TryLock(uint64_t offset, uint64_t length, bool exclusive) = 0;

  // Releases one claim made by TryLock through this handle with exactly this
  // offset and length. Returns 0, or ENOLCK when there is no such claim.
  virtual int Unlock(uint64_t offset, uint64_t length) = 0;

  // Tells whether TryLock would be granted now, without claiming anything:
  // 0, or EAGAIN (as TryLock). The answer can be overtaken at once; it suits
  // a caller that needs to know that nobody holds the range at this moment,
  // not to keep others out afterwards. The default claims and releases.
  virtual int TestLock(uint64_t offset, uint64_t length, bool exclusive) {
    if (int e = TryLock(offset, length, exclusive); e != 0) return e;
    return Unlock(offset, length);
  }

  // TestLock in two halves, for a caller that knows when claims of other
  // processes cannot appear and wants to skip the system call then.
  // TestLockInProcess sees only claims made through this process's handles
  // (this one included) and makes no system call; TestLockOfOthers sees
  // every claim made through another handle, of this process or another,
  // and none made through this one. Each answers 0 or EAGAIN. An
  // environment that cannot tell the claims apart answers both as
  // TestLock, which may refuse more but never grants what TestLock refuses.
  virtual int TestLockInProcess(uint64_t offset, uint64_t length, bool exclusive) {
    return TestLock(offset, length, exclusive);
  }
  virtual int TestLockOfOthers(uint64_t offset, uint64_t length, bool exclusive) {
    return TestLock(offset, length, exclusive);
  }

  // Maps the first `length` bytes (at most one memory page, 4096) as a
  // FileView. The file must be at least `length` long when mapped. Should
  // it be shortened later (damage from outside), reads of the view fail
  // instead of faulting (see FileView::Read). Returns 0, or an errno
  // (ENOTSUP where the environment has no views: callers then read with
  // ReadAt).
  virtual int Map(uint64_t length, std::unique_ptr<FileView>* view) {
    (void)length;
    view->reset();
    return ENOTSUP;
  }

  // Tells whether `path` still names the file this handle has open (the
  // same device and inode): 0 when it does; ENOENT when nothing has that
  // name any more (the file was deleted or renamed away); ESTALE when the
  // name now leads to another file (one was renamed over it); another errno
  // when the name cannot be looked up. A file that lost its name can still
  // be read and written through the handle, but nothing written reaches
  // anyone who opens the name. The default answers 0 (an environment that
  // cannot tell).
  virtual int NamedBy(const std::string& path) {
    (void)path;
    return 0;
  }

  // The statfs type (magic number) of the file system that holds the file
  // (file_system.h names them). Returns 0 or an errno (ENOTSUP where the
  // environment cannot tell: callers then assume a network file system).
  virtual int FileSystemType(uint64_t* magic) {
    *magic = 0;
    return ENOTSUP;
  }

  // The options the file system holding the file was mounted with, comma
  // separated as the system lists them (the mount's own, then the file
  // system's: "rw,relatime,vers=4.2,local_lock=none,..."), so that a tool
  // can tell whether locks reach the server (file_system.h,
  // LocalOnlyLockOption). Returns 0 or an errno (ENOTSUP where the
  // environment cannot tell).
  virtual int MountOptions(std::string* options) {
    options->clear();
    return ENOTSUP;
  }
};

class Env {
 public:
  virtual ~Env() = default;

  // The real operating system (POSIX files, Linux open-file-description
  // locks plus an in-process lock table). Lives for the whole process.
  static Env* Default();

  // Opens `path` with OpenFlag bits. On success `*file` holds the handle.
  // When the call created the file, the file's name is durable on return (the
  // POSIX version flushes its folder); its contents are not until Sync.
  // Returns 0 or an errno (ENOENT when missing without kOpenCreate, EEXIST
  // for kOpenExclusive on an existing file, EACCES, EISDIR, ...).
  virtual int Open(const std::string& path, uint32_t flags, std::unique_ptr<File>* file) = 0;

  // Open with kOpenCreate | kOpenExclusive added: makes the new file `path`
  // with the permission bits `mode` (0640, ...) as far as the process's
  // file-creation mask allows them, so a file copied back keeps at most the
  // permissions it had. Environments without permissions ignore `mode`.
  virtual int CreateNew(const std::string& path, uint32_t flags, uint32_t mode,
                        std::unique_ptr<File>* file) {
    (void)mode;
    return Open(path, flags | kOpenCreate | kOpenExclusive, file);
  }

  // Removes a file; the removal is durable on return (the folder is
  // flushed). Open handles stay usable until closed. An error after the name
  // was removed (the folder flush failed) is still returned.
  virtual int Delete(const std::string& path) = 0;

  // Renames `from` to `to`, replacing `to` atomically when it exists; durable
  // on return like Delete.
  virtual int Rename(const std::string& from, const std::string& to) = 0;

  // Renames `from` to `to` only when `to` does not exist: EEXIST otherwise,
  // and `from` stays. Lets a file that was built completely under another
  // name appear under its real name at once, without ever replacing one that
  // another process made meanwhile; durable on return like Rename. The
  // default checks and renames in two steps; environments that can do it in
  // one (the POSIX one) override it.
  virtual int RenameNoReplace(const std::string& from, const std::string& to) {
    if (Exists(to)) return EEXIST;
    return Rename(from, to);
  }

  // True when `path` names an existing file or directory.
  virtual bool Exists(const std::string& path) = 0;

  // The folder that holds `path`, for messages that name it: the POSIX
  // version makes a relative path absolute from the working folder; the
  // default answers the part before the last slash ("." for a bare name).
  virtual std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
  }

  // A monotonic clock in hundredths of a second (arbitrary origin, never
  // goes backwards). Used for timeouts and for spreading lock slots.
  virtual int64_t NowHundredths() = 0;

  // The same clock in microseconds, for bounds finer than a hundredth (a
  // read run's tenure). The default follows NowHundredths.
  virtual int64_t NowMicroseconds() { return NowHundredths() * 10000; }

  // Sleeps at least `ms` milliseconds (0 just yields).
  virtual void SleepMs(int ms) = 0;
};

// Flushes made by the POSIX environment in this process so far: file flushes
// that included the inode (the length had changed), data-only flushes, and
// folder flushes. For tests and benchmarks.
struct PosixFlushCounts {
  int64_t full = 0;
  int64_t data_only = 0;
  int64_t folders = 0;
};
PosixFlushCounts CountPosixFlushes();

// Round trips to the file system per file, as the POSIX and fault
// environments make them: lock calls (every fcntl lock request or query the
// POSIX environment makes, every TryLock, Unlock and TestLock of the fault
// one) and read calls (pread and preadv2; ReadAt). Counted per path as given
// to Open, for the whole process, so that a tool or a benchmark can tell
// what an action cost; on a network file system each is a round trip to the
// server. Thread safe.
struct IoCounts {
  int64_t lock_calls = 0;
  int64_t reads = 0;
};
IoCounts IoCountsOf(const std::string& path);
// Every path counted so far, in name order, and the sum over all of them.
std::vector<std::pair<std::string, IoCounts>> AllIoCounts();
IoCounts TotalIoCounts();
void ResetIoCounts();

// The counters of one path, for the environments' handles (stable for the
// life of the process).
struct IoCounterSlot;
IoCounterSlot* IoCounterFor(const std::string& path);
void CountLockCall(IoCounterSlot* slot);
void CountRead(IoCounterSlot* slot);

// A wait added to every counted lock call and read (0, none, by default), so
// that a benchmark can show what an action costs where each of them is a
// round trip to a file server. Process-wide; a benchmark's peer calls
// WaitAddedLatency for its own calls, so that both sides wait alike.
void SetAddedLatency(int64_t nanoseconds);
int64_t AddedLatency();
void WaitAddedLatency();

}  // namespace vorsandt::env

#endif  // VORSANDT_RUNTIME_ENV_ENV_H_
