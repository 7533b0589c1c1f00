#include "runtime/env/fault_env.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "runtime/env/lock_table.h"

namespace vorsandt::env {

struct FaultEnv::Node {
  struct Pending {
    bool truncate;    // otherwise a write
    uint64_t offset;  // write offset, or the new length
    std::string data;
  };
  std::string current;
  std::string durable;
  std::vector<Pending> pending;
  LockTable locks;
  int write_refused = 0;  // errno for opening it to write (0: allowed)
};

namespace {

// The folder part of `path` ("" for a bare name).
std::string FolderPart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void ApplyWrite(std::string* image, uint64_t offset, const char* data, size_t length) {
  if (image->size() < offset + length) image->resize(offset + length, '\0');
  std::memcpy(image->data() + offset, data, length);
}

}  // namespace

// The in-memory file's first bytes as a view: reads copy the current image,
// so they see every write at once like a shared mapping. Read faults and a
// stopped or crashed process fail them as they fail ReadAt, so that callers'
// fallbacks are exercised too.
class FaultView final : public FileView {
 public:
  // `frozen`: the bytes the view keeps showing (a stale view), or nullptr.
  FaultView(FaultEnv* env, std::shared_ptr<FaultEnv::Node> node, int64_t generation,
            uint64_t length, const std::string* frozen)
      : env_(env),
        node_(std::move(node)),
        generation_(generation),
        length_(length),
        stale_(frozen != nullptr),
        frozen_(frozen != nullptr ? *frozen : std::string()) {}

  int Read(uint64_t offset, void* buffer, size_t length) override;

 private:
  FaultEnv* env_;
  std::shared_ptr<FaultEnv::Node> node_;
  int64_t generation_;
  uint64_t length_;
  bool stale_;
  std::string frozen_;
};

class FaultFile final : public File {
 public:
  FaultFile(FaultEnv* env, std::shared_ptr<FaultEnv::Node> node, int64_t generation, bool read_only,
            IoCounterSlot* counts)
      : env_(env),
        node_(std::move(node)),
        generation_(generation),
        read_only_(read_only),
        counts_(counts) {}

  ~FaultFile() override {
    std::lock_guard<std::mutex> guard(env_->mutex_);
    node_->locks.RemoveAll(this);
  }

  int ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override {
    *got = 0;
    CountRead(counts_);
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    if (env_->read_errno_ != 0 && offset >= env_->read_fault_from_) return env_->read_errno_;
    const std::string& image = node_->current;
    if (offset < image.size()) {
      *got = std::min<uint64_t>(length, image.size() - offset);
      std::memcpy(buffer, image.data() + offset, *got);
    }
    return 0;
  }

  int WriteAt(uint64_t offset, const void* buffer, size_t length, size_t* written) override {
    if (written != nullptr) *written = 0;
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    if (read_only_) return EBADF;
    size_t accept = length;
    int result = 0;
    if (const FaultEnv::Fault* f = env_->Fire(&env_->writes_, &env_->write_fault_)) {
      accept = std::min(length, f->bytes);
      result = f->stop ? EIO : f->errnum;
      if (f->stop) env_->stopped_ = true;
    }
    const char* data = static_cast<const char*>(buffer);
    if (accept > 0) {
      ApplyWrite(&node_->current, offset, data, accept);
      node_->pending.push_back({false, offset, std::string(data, accept)});
    }
    if (written != nullptr) *written = accept;
    return result;
  }

  int Sync() override {
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    if (const FaultEnv::Fault* f = env_->Fire(&env_->syncs_, &env_->sync_fault_)) {
      if (f->stop) {
        env_->stopped_ = true;
        return EIO;
      }
      return f->errnum;
    }
    node_->durable = node_->current;
    node_->pending.clear();
    return 0;
  }

  int Truncate(uint64_t length) override {
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    if (read_only_) return EBADF;
    node_->current.resize(length, '\0');
    node_->pending.push_back({true, length, {}});
    return 0;
  }

  int Size(uint64_t* length) override {
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    *length = node_->current.size();
    return 0;
  }

  int TryLock(uint64_t offset, uint64_t length, bool exclusive) override {
    CountLockCall(counts_);
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    if (length == 0 || length > UINT64_MAX - offset) return EINVAL;
    if (env_->lock_errno_ != 0) return env_->lock_errno_;
    // As on Linux: an exclusive lock needs a descriptor open for writing,
    // which a file that refuses writing never gives.
    if (exclusive && read_only_ && node_->write_refused != 0) return EBADF;
    if (env_->forget_locks_) return 0;
    if (node_->locks.Conflicts(offset, offset + length, exclusive)) return EAGAIN;
    node_->locks.Add(this, offset, offset + length, exclusive);
    return 0;
  }

  int TestLock(uint64_t offset, uint64_t length, bool exclusive) override {
    return Test(offset, length, exclusive, /*skip=*/nullptr);
  }

  // Handles of one env may stand for different processes, so a claim of
  // another handle is never taken for this process's own: TestLockInProcess
  // stays TestLock, and TestLockOfOthers leaves out only this handle.
  int TestLockOfOthers(uint64_t offset, uint64_t length, bool exclusive) override {
    return Test(offset, length, exclusive, /*skip=*/this);
  }

  int Unlock(uint64_t offset, uint64_t length) override {
    CountLockCall(counts_);
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    if (length == 0 || length > UINT64_MAX - offset) return EINVAL;
    if (env_->forget_locks_) return 0;
    return node_->locks.Remove(this, offset, offset + length) ? 0 : ENOLCK;
  }

  int NamedBy(const std::string& path) override {
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    auto it = env_->files_.find(path);
    if (it == env_->files_.end()) return ENOENT;
    return it->second == node_ ? 0 : ESTALE;
  }

  int FileSystemType(uint64_t* magic) override {
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    *magic = env_->file_system_;
    return 0;
  }

  int MountOptions(std::string* options) override {
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    *options = env_->mount_options_;
    return 0;
  }

  int Map(uint64_t length, std::unique_ptr<FileView>* view) override {
    view->reset();
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    if (length == 0 || length > 4096 || node_->current.size() < length) return EINVAL;
    const std::string frozen = node_->current.substr(0, length);
    *view = std::make_unique<FaultView>(env_, node_, generation_, length,
                                        env_->stale_views_ ? &frozen : nullptr);
    return 0;
  }

 private:
  // TestLock without seeing the claims of `skip` (nullptr: every claim).
  int Test(uint64_t offset, uint64_t length, bool exclusive, const void* skip) {
    CountLockCall(counts_);
    std::lock_guard<std::mutex> guard(env_->mutex_);
    if (int e = Alive(); e != 0) return e;
    if (length == 0 || length > UINT64_MAX - offset) return EINVAL;
    if (env_->lock_errno_ != 0) return env_->lock_errno_;
    if (exclusive && read_only_ && node_->write_refused != 0) return EBADF;
    if (env_->forget_locks_) return 0;
    return node_->locks.ConflictsWithOthers(skip, offset, offset + length, exclusive) ? EAGAIN : 0;
  }

  // EIO once the simulated process has stopped or crashed past this handle.
  int Alive() const {
    if (env_->stopped_ || generation_ != env_->generation_) return EIO;
    return 0;
  }

  FaultEnv* env_;
  std::shared_ptr<FaultEnv::Node> node_;
  int64_t generation_;
  bool read_only_;
  IoCounterSlot* counts_;
};

int FaultView::Read(uint64_t offset, void* buffer, size_t length) {
  if (offset > length_ || length > length_ - offset) return EINVAL;
  std::lock_guard<std::mutex> guard(env_->mutex_);
  if (env_->stopped_ || generation_ != env_->generation_) return EIO;
  if (env_->read_errno_ != 0 && offset >= env_->read_fault_from_) return env_->read_errno_;
  const std::string& image = stale_ ? frozen_ : node_->current;
  std::memset(buffer, 0, length);
  if (offset < image.size()) {
    std::memcpy(buffer, image.data() + offset, std::min<uint64_t>(length, image.size() - offset));
  }
  return 0;
}

FaultEnv::FaultEnv() = default;
FaultEnv::~FaultEnv() = default;

int FaultEnv::Open(const std::string& path, uint32_t flags, std::unique_ptr<File>* file) {
  std::unique_ptr<File> opened;
  int result = OpenLocked(path, flags, &opened);
  // Assigned outside the lock: replacing a handle runs its destructor.
  if (result == 0) *file = std::move(opened);
  return result;
}

int FaultEnv::OpenLocked(const std::string& path, uint32_t flags, std::unique_ptr<File>* file) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (stopped_) return EIO;
  const bool read_only = (flags & kOpenReadOnly) != 0;
  if (read_only && (flags & kOpenTruncate) != 0) return EINVAL;
  auto it = files_.find(path);
  if (it != files_.end() && !read_only && it->second->write_refused != 0) {
    return it->second->write_refused;
  }
  if (it == files_.end()) {
    if ((flags & kOpenCreate) == 0) return ENOENT;
    if (auto folder = refused_folders_.find(FolderPart(path)); folder != refused_folders_.end()) {
      return folder->second;
    }
    it = files_.emplace(path, std::make_shared<Node>()).first;
  } else if ((flags & kOpenCreate) != 0 && (flags & kOpenExclusive) != 0) {
    return EEXIST;
  }
  if ((flags & kOpenTruncate) != 0) {
    it->second->current.clear();
    it->second->pending.push_back({true, 0, {}});
  }
  *file = std::make_unique<FaultFile>(this, it->second, generation_, read_only,
                                      IoCounterFor(path));
  return 0;
}

void FaultEnv::FailReads(int errnum, uint64_t from_offset) {
  std::lock_guard<std::mutex> guard(mutex_);
  read_errno_ = errnum;
  read_fault_from_ = from_offset;
}

std::vector<std::string> FaultEnv::FileNames() const {
  std::lock_guard<std::mutex> guard(mutex_);
  std::vector<std::string> names;
  for (const auto& [name, node] : files_) names.push_back(name);
  return names;
}

void FaultEnv::RefuseWriting(const std::string& path, int errnum) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = files_.find(path);
  if (it != files_.end()) it->second->write_refused = errnum;
}

void FaultEnv::RefuseNewFiles(const std::string& folder, int errnum) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (errnum == 0) {
    refused_folders_.erase(folder);
  } else {
    refused_folders_[folder] = errnum;
  }
}

int FaultEnv::Delete(const std::string& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (stopped_) return EIO;
  return files_.erase(path) == 1 ? 0 : ENOENT;
}

int FaultEnv::Rename(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (stopped_) return EIO;
  auto it = files_.find(from);
  if (it == files_.end()) return ENOENT;
  std::shared_ptr<Node> node = it->second;
  files_.erase(it);
  files_[to] = std::move(node);
  return 0;
}

int FaultEnv::RenameNoReplace(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (stopped_) return EIO;
  auto it = files_.find(from);
  if (it == files_.end()) return ENOENT;
  if (files_.count(to) != 0) return EEXIST;
  std::shared_ptr<Node> node = it->second;
  files_.erase(it);
  files_[to] = std::move(node);
  return 0;
}

bool FaultEnv::Exists(const std::string& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  return files_.count(path) != 0;
}

int64_t FaultEnv::NowHundredths() {
  std::lock_guard<std::mutex> guard(mutex_);
  return clock_;
}

void FaultEnv::SleepMs(int ms) {
  std::lock_guard<std::mutex> guard(mutex_);
  clock_ += std::max(ms, 10) / 10;
}

void FaultEnv::FailWriteAt(int64_t n, int errnum, size_t short_bytes) {
  std::lock_guard<std::mutex> guard(mutex_);
  write_fault_ = Fault{writes_ + n, errnum, short_bytes, false};
}

void FaultEnv::FailSyncAt(int64_t n, int errnum) {
  std::lock_guard<std::mutex> guard(mutex_);
  sync_fault_ = Fault{syncs_ + n, errnum, 0, false};
}

void FaultEnv::StopAtWrite(int64_t n, size_t keep_bytes) {
  std::lock_guard<std::mutex> guard(mutex_);
  write_fault_ = Fault{writes_ + n, EIO, keep_bytes, true};
}

void FaultEnv::StopAtSync(int64_t n) {
  std::lock_guard<std::mutex> guard(mutex_);
  sync_fault_ = Fault{syncs_ + n, EIO, 0, true};
}

void FaultEnv::ClearFaults() {
  std::lock_guard<std::mutex> guard(mutex_);
  write_fault_ = Fault{};
  sync_fault_ = Fault{};
}

bool FaultEnv::Stopped() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return stopped_;
}

int64_t FaultEnv::Writes() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return writes_;
}

int64_t FaultEnv::Syncs() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return syncs_;
}

const FaultEnv::Fault* FaultEnv::Fire(int64_t* counter, Fault* fault) {
  ++*counter;
  if (fault->at == 0 || fault->at != *counter) return nullptr;
  fault->at = 0;  // fires once; a stop then blocks everything anyway
  return fault;
}

void FaultEnv::Crash(CrashMode mode, uint32_t seed) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::mt19937 random(seed);
  for (auto& [path, node] : files_) {
    std::string image = node->durable;
    if (mode == CrashMode::kKeepUnsynced) {
      image = node->current;
    } else if (mode == CrashMode::kTearUnsynced && !node->pending.empty()) {
      // Keep an in-order subset; the last kept write may be cut short at a
      // sector boundary, as a disk that lost power mid-transfer would.
      std::vector<size_t> kept;
      for (size_t i = 0; i < node->pending.size(); ++i) {
        if (random() % 2 == 0) kept.push_back(i);
      }
      for (size_t k = 0; k < kept.size(); ++k) {
        const Node::Pending& op = node->pending[kept[k]];
        if (op.truncate) {
          image.resize(op.offset, '\0');
          continue;
        }
        size_t length = op.data.size();
        if (k + 1 == kept.size() && length > 512) {
          length = (random() % (length / 512 + 1)) * 512;
        }
        ApplyWrite(&image, op.offset, op.data.data(), length);
      }
    }
    node->current = image;
    node->durable = image;
    node->pending.clear();
  }
  generation_++;
  stopped_ = false;
  write_fault_ = Fault{};
  sync_fault_ = Fault{};
}

std::string FaultEnv::Contents(const std::string& path) const {
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = files_.find(path);
  return it == files_.end() ? std::string() : it->second->current;
}

void FaultEnv::SetContents(const std::string& path, const std::string& data) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::shared_ptr<Node>& node = files_[path];
  if (!node) node = std::make_shared<Node>();
  node->current = data;
  node->durable = data;
  node->pending.clear();
}

void FaultEnv::ReportFileSystem(uint64_t magic) {
  std::lock_guard<std::mutex> guard(mutex_);
  file_system_ = magic;
}

void FaultEnv::ReportMountOptions(const std::string& options) {
  std::lock_guard<std::mutex> guard(mutex_);
  mount_options_ = options;
}

void FaultEnv::RefuseLocks(int errnum) {
  std::lock_guard<std::mutex> guard(mutex_);
  lock_errno_ = errnum;
}

void FaultEnv::ForgetLocks(bool on) {
  std::lock_guard<std::mutex> guard(mutex_);
  forget_locks_ = on;
}

void FaultEnv::StaleViews(bool on) {
  std::lock_guard<std::mutex> guard(mutex_);
  stale_views_ = on;
}

}  // namespace vorsandt::env
