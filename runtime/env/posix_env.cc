// The real environment: POSIX file calls and Linux open-file-description
// locks.
//
// Byte-range locks are taken with F_OFD_SETLK (never waiting). Such a lock
// belongs to the open file description, so separate handles of one file in
// this process exclude each other just as separate processes do, but a handle
// never conflicts with itself. Because the runtime shares one handle between
// the threads that use a table, every claim is also entered in a lock table
// per (device, inode) that refuses incompatible overlapping claims whoever
// makes them. The kernel lock of a handle covers the union of its claims; on
// release only the bytes no other claim of the handle still covers are
// unlocked in the kernel.
//
// Durability of names and lengths: fdatasync alone is enough for data written
// inside the file's old length, but after the length changed the inode must be
// flushed too, so Sync uses fsync whenever the length differs from the length
// at the previous successful flush. A new file, a deleted file and a renamed
// file only survive a crash once their folder is flushed, so a creating Open,
// Delete and Rename flush the folder before they return.
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

#include "runtime/env/env.h"
#include "runtime/env/lock_table.h"

namespace vorsandt::env {
namespace {

struct InodeLocks {
  LockTable table;
  int handles = 0;
};

// The process-wide registry of lock tables, one per open file identity.
struct LockRegistry {
  std::mutex mutex;
  std::map<std::pair<dev_t, ino_t>, InodeLocks> files;
};

std::atomic<int64_t> g_full_syncs{0};
std::atomic<int64_t> g_data_syncs{0};
std::atomic<int64_t> g_folder_syncs{0};

// Retries a flush call interrupted by a signal. A flush that failed for any
// other reason is reported and never retried: after EIO the kernel may have
// dropped the dirty pages, so a later success would prove nothing.
int FlushFd(int fd, bool full) {
  for (;;) {
    int r = full ? fsync(fd) : fdatasync(fd);
    if (r == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

// The folder that holds `path` ("." for a bare name).
std::string FolderPart(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Flushes the folder entry list that holds `path`.
int SyncFolderOf(const std::string& path) {
  int fd;
  do {
    fd = open(FolderPart(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  int e = FlushFd(fd, true);
  close(fd);
  if (e == 0) g_folder_syncs.fetch_add(1, std::memory_order_relaxed);
  return e;
}

// The mount options of the mount whose device is `dev`, from the process's
// mount table: "36 35 98:0 /root /mnt rw,noatime shared:1 - ext4 /dev/sda1
// rw,errors=remount-ro" gives "rw,noatime,rw,errors=remount-ro". Bind
// mounts of one device share the file system's options; the last listed
// wins, as it is the one on top.
int MountOptionsOf(dev_t dev, std::string* options) {
  std::ifstream table("/proc/self/mountinfo");
  if (!table) return ENOTSUP;
  const std::string id = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  bool found = false;
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string mount_id, parent, device, root, point, mount_options, field;
    if (!(fields >> mount_id >> parent >> device >> root >> point >> mount_options)) continue;
    if (device != id) continue;
    while (fields >> field && field != "-") {
    }
    std::string type, source, super_options;
    fields >> type >> source >> super_options;
    *options = mount_options + (super_options.empty() ? "" : "," + super_options);
    found = true;
  }
  return found ? 0 : ENOENT;
}

LockRegistry& Registry() {
  static LockRegistry* registry = new LockRegistry();  // never destroyed: used at exit
  return *registry;
}

// Applies one kernel lock change on [offset, end); type is F_RDLCK, F_WRLCK or
// F_UNLCK. Returns 0 or an errno (EAGAIN when held elsewhere).
int KernelLock(int fd, short type, uint64_t offset, uint64_t end) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(end - offset);
  fl.l_pid = 0;  // required by open-file-description locks
  if (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    int e = errno;
    return (e == EACCES) ? EAGAIN : e;
  }
  return 0;
}

// --- Copies out of a mapping that may lie beyond the end of its file ---
//
// A page of a shared mapping that lies wholly beyond the file's end (the file
// was shortened by someone else, say truncated to 0 by a user) raises SIGBUS
// when touched. Asking the file's size before each copy would cost the system
// call the mapping exists to save, so the copy is guarded instead: while it
// runs, this thread's recovery point is set, and the SIGBUS handler jumps back
// to it. A SIGBUS anywhere else goes to whatever handled it before (by default
// it ends the process, as it always did).
//
// The handler is installed with SA_NODEFER and the jump keeps the signal mask
// as it was (sigsetjmp without saving it, which costs no system call): the
// signal is never left blocked after a recovery.

// Volatile, and fenced below: the compiler must neither drop the store
// before the copy (the copy cannot see it) nor move it past the copy.
thread_local sigjmp_buf* volatile t_copy_recovery = nullptr;
struct sigaction g_bus_before {};

void OnBusError(int sig, siginfo_t* info, void* context) {
  if (sigjmp_buf* const recovery = t_copy_recovery; recovery != nullptr) {
    t_copy_recovery = nullptr;
    siglongjmp(*recovery, 1);
  }
  if ((g_bus_before.sa_flags & SA_SIGINFO) != 0 && g_bus_before.sa_sigaction != nullptr) {
    g_bus_before.sa_sigaction(sig, info, context);
    return;
  }
  if (g_bus_before.sa_handler == SIG_IGN) return;
  if (g_bus_before.sa_handler != SIG_DFL && g_bus_before.sa_handler != nullptr) {
    g_bus_before.sa_handler(sig);
    return;
  }
  // The default action: put it back. A fault happens again when this handler
  // returns and then ends the process; a signal somebody sent is raised again.
  signal(SIGBUS, SIG_DFL);
  if (info == nullptr || info->si_code <= 0) raise(SIGBUS);
}

void InstallBusErrorHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = &OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_bus_before);
  });
}

// Copies `length` bytes from a mapping; false when the bytes lie in a page
// beyond the file's end.
bool GuardedCopy(void* to, const void* from, size_t length) {
  sigjmp_buf recovery;
  if (sigsetjmp(recovery, 0) != 0) return false;  // came back from the handler
  t_copy_recovery = &recovery;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(to, from, length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_copy_recovery = nullptr;
  return true;
}

// A shared read-only mapping of the file's first page. The kernel keeps one
// page cache per file, so bytes another process hands to pwrite are visible
// here as soon as its call returns; no system call per read. A read of a
// page the file no longer reaches answers EIO instead of faulting.
class PosixView final : public FileView {
 public:
  PosixView(void* base, size_t mapped, uint64_t length)
      : base_(base), mapped_(mapped), length_(length) {}
  ~PosixView() override { munmap(base_, mapped_); }

  int Read(uint64_t offset, void* buffer, size_t length) override {
    if (offset > length_ || length > length_ - offset) return EINVAL;
    if (!GuardedCopy(buffer, static_cast<const char*>(base_) + offset, length)) return EIO;
    return 0;
  }

 private:
  void* base_;
  size_t mapped_;
  uint64_t length_;
};

constexpr uint64_t kMaxViewLength = 4096;

class PosixFile final : public File {
 public:
  PosixFile(int fd, bool read_only, dev_t dev, ino_t ino, uint64_t length, IoCounterSlot* counts)
      : fd_(fd),
        read_only_(read_only),
        key_(dev, ino),
        flushed_length_(length),
        counts_(counts) {
    std::lock_guard<std::mutex> guard(Registry().mutex);
    Registry().files[key_].handles++;
  }

  ~PosixFile() override {
    {
      std::lock_guard<std::mutex> guard(Registry().mutex);
      auto it = Registry().files.find(key_);
      it->second.table.RemoveAll(this);
      if (--it->second.handles == 0) Registry().files.erase(it);
      // Close under the registry mutex so that no other handle is granted a
      // claim the kernel would still refuse because of this descriptor.
      close(fd_);
    }
  }

  int ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override {
    *got = 0;
    auto* out = static_cast<char*>(buffer);
    while (*got < length) {
      CountRead(counts_);
      ssize_t n = pread(fd_, out + *got, length - *got, static_cast<off_t>(offset + *got));
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (n == 0) break;  // end of file
      *got += static_cast<size_t>(n);
    }
    return 0;
  }

  int ReadAtAround(uint64_t offset, void* buffer, size_t length, size_t* got,
                   size_t block) override {
    // Bytes the system's cache holds are read at once, without a wait;
    // anything else (not cached, partly cached, a file system without the
    // flag) starts the read of the block around them first.
    iovec part{buffer, length};
    CountRead(counts_);
    const ssize_t n = preadv2(fd_, &part, 1, static_cast<off_t>(offset), RWF_NOWAIT);
    if (n >= 0 && static_cast<size_t>(n) == length) {
      *got = length;
      return 0;
    }
    if (block > 0) {
      const uint64_t start = offset / block * block;
      posix_fadvise(fd_, static_cast<off_t>(start), static_cast<off_t>(block), POSIX_FADV_WILLNEED);
    }
    return ReadAt(offset, buffer, length, got);
  }

  int WriteAt(uint64_t offset, const void* buffer, size_t length, size_t* written) override {
    size_t done = 0;
    int result = 0;
    if (read_only_) {
      result = EBADF;
    } else {
      const auto* in = static_cast<const char*>(buffer);
      while (done < length) {
        ssize_t n = pwrite(fd_, in + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
          if (errno == EINTR) continue;
          result = errno;
          break;
        }
        if (n == 0) {
          result = EIO;
          break;
        }
        done += static_cast<size_t>(n);
      }
    }
    if (written != nullptr) *written = done;
    return result;
  }

  int Sync() override {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return errno;
    const auto length = static_cast<uint64_t>(st.st_size);
    const bool full = length != flushed_length_;
    if (int e = FlushFd(fd_, full); e != 0) return e;
    (full ? g_full_syncs : g_data_syncs).fetch_add(1, std::memory_order_relaxed);
    flushed_length_ = length;
    return 0;
  }

  int Truncate(uint64_t length) override {
    if (read_only_) return EBADF;
    if (length > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return EINVAL;
    while (ftruncate(fd_, static_cast<off_t>(length)) != 0) {
      if (errno != EINTR) return errno;
    }
    return 0;
  }

  int Size(uint64_t* length) override {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return errno;
    *length = static_cast<uint64_t>(st.st_size);
    return 0;
  }

  int TryLock(uint64_t offset, uint64_t length, bool exclusive) override {
    uint64_t end = 0;
    if (!Range(offset, length, &end)) return EINVAL;
    std::lock_guard<std::mutex> guard(Registry().mutex);
    LockTable& table = Registry().files[key_].table;
    if (table.Conflicts(offset, end, exclusive)) return EAGAIN;
    CountLockCall(counts_);
    if (exclusive) {
      // The table guarantees that no claim of this handle overlaps.
      if (int e = KernelLock(fd_, F_WRLCK, offset, end); e != 0) return e;
    } else {
      // Overlapping claims of this handle are all shared: locking the whole
      // range shared again changes nothing for them.
      if (int e = KernelLock(fd_, F_RDLCK, offset, end); e != 0) return e;
    }
    table.Add(this, offset, end, exclusive);
    return 0;
  }

  int TestLock(uint64_t offset, uint64_t length, bool exclusive) override {
    if (int e = TestLockInProcess(offset, length, exclusive); e != 0) return e;
    return TestLockOfOthers(offset, length, exclusive);
  }

  int TestLockInProcess(uint64_t offset, uint64_t length, bool exclusive) override {
    uint64_t end = 0;
    if (!Range(offset, length, &end)) return EINVAL;
    std::lock_guard<std::mutex> guard(Registry().mutex);
    return Registry().files[key_].table.Conflicts(offset, end, exclusive) ? EAGAIN : 0;
  }

  int TestLockOfOthers(uint64_t offset, uint64_t length, bool exclusive) override {
    uint64_t end = 0;
    if (!Range(offset, length, &end)) return EINVAL;
    // One query instead of a claim and its release. Locks of this open file
    // description never conflict with the query, as they would not with a
    // claim; those of every other description do, this process's included.
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(end - offset);
    fl.l_pid = 0;
    CountLockCall(counts_);
    if (fcntl(fd_, F_OFD_GETLK, &fl) != 0) return errno;
    return fl.l_type == F_UNLCK ? 0 : EAGAIN;
  }

  int Unlock(uint64_t offset, uint64_t length) override {
    uint64_t end = 0;
    if (!Range(offset, length, &end)) return EINVAL;
    std::lock_guard<std::mutex> guard(Registry().mutex);
    LockTable& table = Registry().files[key_].table;
    if (!table.Remove(this, offset, end)) return ENOLCK;
    int result = 0;
    for (const LockTable::Range& r : table.Uncovered(this, offset, end)) {
      CountLockCall(counts_);
      if (int e = KernelLock(fd_, F_UNLCK, r.first, r.second); e != 0 && result == 0) result = e;
    }
    return result;
  }

  int NamedBy(const std::string& path) override {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return errno;
    // The identity taken when the handle was opened; an open file keeps it.
    return st.st_dev == key_.first && st.st_ino == key_.second ? 0 : ESTALE;
  }

  int FileSystemType(uint64_t* magic) override {
    struct statfs fs {};
    while (fstatfs(fd_, &fs) != 0) {
      if (errno != EINTR) return errno;
    }
    *magic = static_cast<uint64_t>(static_cast<uint32_t>(fs.f_type));
    return 0;
  }

  int MountOptions(std::string* options) override {
    options->clear();
    struct stat st {};
    if (fstat(fd_, &st) != 0) return errno;
    return MountOptionsOf(st.st_dev, options);
  }

  int Map(uint64_t length, std::unique_ptr<FileView>* view) override {
    view->reset();
    if (length == 0 || length > kMaxViewLength) return EINVAL;
    struct stat st {};
    if (fstat(fd_, &st) != 0) return errno;
    if (static_cast<uint64_t>(st.st_size) < length) return EINVAL;
    const size_t mapped = static_cast<size_t>(kMaxViewLength);
    InstallBusErrorHandler();
    void* base = mmap(nullptr, mapped, PROT_READ, MAP_SHARED, fd_, 0);
    if (base == MAP_FAILED) return errno;
    *view = std::make_unique<PosixView>(base, mapped, length);
    return 0;
  }

 private:
  // Checks that [offset, offset + length) is a non-empty range the kernel can
  // express; `*end` receives its end.
  static bool Range(uint64_t offset, uint64_t length, uint64_t* end) {
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    if (length == 0 || offset > kMax || length > kMax - offset) return false;
    *end = offset + length;
    return true;
  }

  int fd_;
  bool read_only_;
  std::pair<dev_t, ino_t> key_;
  uint64_t flushed_length_;  // the length the last successful flush made durable
  IoCounterSlot* counts_;
};

class PosixEnv final : public Env {
 public:
  int Open(const std::string& path, uint32_t flags, std::unique_ptr<File>* file) override {
    return OpenWithMode(path, flags, (flags & kOpenPrivate) != 0 ? 0600 : 0666, file);
  }

  int CreateNew(const std::string& path, uint32_t flags, uint32_t mode,
                std::unique_ptr<File>* file) override {
    const mode_t allowed = (flags & kOpenPrivate) != 0 ? 0600 : 0666;
    return OpenWithMode(path, flags | kOpenCreate | kOpenExclusive,
                        static_cast<mode_t>(mode) & allowed, file);
  }

  int OpenWithMode(const std::string& path, uint32_t flags, mode_t mode,
                   std::unique_ptr<File>* file) {
    const bool read_only = (flags & kOpenReadOnly) != 0;
    if (read_only && (flags & kOpenTruncate) != 0) return EINVAL;
    int oflags = O_CLOEXEC;
    if ((flags & kOpenCreate) != 0) oflags |= O_CREAT;
    if ((flags & kOpenExclusive) != 0) oflags |= O_EXCL;
    if ((flags & kOpenTruncate) != 0) oflags |= O_TRUNC;
    if ((flags & kOpenNoFollow) != 0) oflags |= O_NOFOLLOW;
    // Whether this call creates the file decides whether its folder must be
    // flushed. Another process creating it at the same moment only costs an
    // extra folder flush.
    const bool creates = (flags & kOpenCreate) != 0 && !Exists(path);
    int fd = -1;
    if (read_only) {
      // Exclusive byte-range locks need a descriptor open for writing, and a
      // reader may still take a record or table lock. Ask for write access
      // when the file permits it; the handle refuses writes either way.
      fd = OpenRetry(path, oflags | O_RDWR, mode);
      if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM || errno == ETXTBSY)) {
        fd = OpenRetry(path, oflags | O_RDONLY, mode);
      }
    } else {
      fd = OpenRetry(path, oflags | O_RDWR, mode);
    }
    if (fd < 0) return errno;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
      int e = errno;
      close(fd);
      return e;
    }
    if (S_ISDIR(st.st_mode)) {
      close(fd);
      return EISDIR;
    }
    if (creates) {
      if (int e = SyncFolderOf(path); e != 0) {
        close(fd);
        return e;
      }
    }
    // A file truncated on open has a length no flush has made durable yet.
    const uint64_t durable_length =
        (flags & kOpenTruncate) != 0 ? UINT64_MAX : static_cast<uint64_t>(st.st_size);
    *file = std::make_unique<PosixFile>(fd, read_only, st.st_dev, st.st_ino, durable_length,
                                        IoCounterFor(path));
    return 0;
  }

  int Delete(const std::string& path) override {
    if (unlink(path.c_str()) != 0) return errno;
    return SyncFolderOf(path);
  }

  int Rename(const std::string& from, const std::string& to) override {
    if (rename(from.c_str(), to.c_str()) != 0) return errno;
    if (int e = SyncFolderOf(to); e != 0) return e;
    return FolderPart(from) == FolderPart(to) ? 0 : SyncFolderOf(from);
  }

  int RenameNoReplace(const std::string& from, const std::string& to) override {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
      // File systems without the flag: a hard link is refused just as well
      // when the name exists; the old name then goes.
      if (errno != EINVAL && errno != ENOSYS) return errno;
      if (link(from.c_str(), to.c_str()) != 0) return errno;
      if (unlink(from.c_str()) != 0) return errno;
    }
    if (int e = SyncFolderOf(to); e != 0) return e;
    return FolderPart(from) == FolderPart(to) ? 0 : SyncFolderOf(from);
  }

  bool Exists(const std::string& path) override {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
  }

  std::string FolderOf(const std::string& path) override {
    if (!path.empty() && path[0] == '/') return FolderPart(path);
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return FolderPart(path);
    std::string rest = path;
    while (rest.compare(0, 2, "./") == 0) rest.erase(0, 2);
    const std::string folder = FolderPart(rest);
    std::string out = cwd;
    if (folder != ".") out += (out == "/" ? "" : "/") + folder;
    return out;
  }

  int64_t NowHundredths() override {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count() / 10;
  }

  int64_t NowMicroseconds() override {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  }

  void SleepMs(int ms) override {
    if (ms <= 0) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
  }

 private:
  static int OpenRetry(const std::string& path, int oflags, mode_t mode) {
    int fd;
    do {
      fd = open(path.c_str(), oflags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
  }
};

}  // namespace

PosixFlushCounts CountPosixFlushes() {
  return {g_full_syncs.load(), g_data_syncs.load(), g_folder_syncs.load()};
}

Env* Env::Default() {
  static PosixEnv* env = new PosixEnv();  // never destroyed: used at exit
  return env;
}

}  // namespace vorsandt::env
