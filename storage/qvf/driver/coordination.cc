#include "storage/qvf/driver/coordination.h"

#include <cerrno>
#include <chrono>
#include <mutex>

#include "runtime/files/error_codes.h"
#include "storage/qvf/btree.h"

namespace vorsandt::qvf {
namespace {

std::mutex& NameMutex() {
  static std::mutex m;
  return m;
}

std::string& NameSlot() {
  static std::string name = kDefaultCoordinationFile;
  return name;
}

std::string Be32(uint32_t v) {
  std::string s(4, '\0');
  s[0] = static_cast<char>(v >> 24);
  s[1] = static_cast<char>(v >> 16);
  s[2] = static_cast<char>(v >> 8);
  s[3] = static_cast<char>(v);
  return s;
}

uint32_t ReadBe32(std::string_view s) {
  auto b = [&s](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(s[i])); };
  return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
}

// Releases the file lock when a step ends, whatever its outcome.
struct Unlocker {
  FileLocks* locks;
  ~Unlocker() { locks->UnlockFile(); }
};

}  // namespace

bool NeverSaved(env::File* file) {
  uint64_t size = 0;
  if (file->Size(&size) != 0) return false;
  if (size == 0) return true;
  char header[512];
  size_t got = 0;
  if (file->ReadAt(0, header, sizeof header, &got) != 0) return false;
  for (size_t i = 0; i < got; ++i) {
    if (header[i] != 0) return false;
  }
  return true;
}

std::string CoordinationFileName() {
  std::lock_guard<std::mutex> lock(NameMutex());
  return NameSlot();
}

void SetCoordinationFileName(std::string_view name) {
  std::lock_guard<std::mutex> lock(NameMutex());
  NameSlot().assign(name);
}

std::string EncodeMarker(uint32_t number, std::string_view coordination_file) {
  std::string data = Be32(number);
  data.append(coordination_file);
  data.push_back('\0');
  return data;
}

bool DecodeMarker(std::string_view data, uint32_t* number, std::string* coordination_file) {
  if (data.size() < 5 || data.back() != '\0') return false;
  *number = ReadBe32(data);
  std::string_view name = data.substr(4, data.size() - 5);
  if (name.find('\0') != std::string_view::npos || name.empty()) return false;
  coordination_file->assign(name);
  return true;
}

uint32_t TransactionNumberNow() {
  // Seconds since 1970 fit 32 bits until 2106; the hundredths spread commits
  // made within one second before the "already listed" step adds one.
  auto now = std::chrono::system_clock::now().time_since_epoch();
  auto hundredths = std::chrono::duration_cast<std::chrono::milliseconds>(now).count() / 10;
  return static_cast<uint32_t>(hundredths);
}

int TransactionListed(env::Env* env, const std::string& path, uint32_t number, bool* listed) {
  *listed = false;
  std::unique_ptr<env::File> lock_file;
  int e = env->Open(path, env::kOpenReadOnly, &lock_file);
  if (e == ENOENT) return 0;
  if (e != 0) return files::kSystemErrorBase + files::MapErrno(e);
  FileLocks locks(env, lock_file.get());
  if (int rc = locks.LockReader(); rc != 0) return rc;
  Unlocker unlock{&locks};
  if (NeverSaved(lock_file.get())) return 0;
  Container container(env);
  if (int rc = container.Open(path, Container::kReadOnly | Container::kShared); rc != 0) {
    return rc;
  }
  if (container.root() == Container::kNoRootUnit) {
    (void)container.Close();  // read-only: nothing to save, so nothing to fail
    return 0;
  }
  Tree tree(&container);
  Entry entry;
  bool found = false;
  int rc = tree.FindExact(Be32(number), &entry, &found);
  (void)container.Close();  // read-only: nothing to save, so nothing to fail
  if (rc != 0) return rc;
  *listed = found;
  return 0;
}

Container::LogQuestion MakeLogQuestion(env::Env* env) {
  return [env](Container& container) -> bool {
    if (container.root() == Container::kNoRootUnit) return false;
    Tree tree(&container);
    Entry entry;
    bool found = false;
    if (tree.FindExact(kMarkerKey, &entry, &found) != 0 || !found) return false;
    std::string_view data = std::string_view(entry.bytes).substr(entry.key_length);
    uint32_t number = 0;
    std::string path;
    if (!DecodeMarker(data, &number, &path)) return false;
    bool listed = false;
    // A coordination file that cannot be read cannot prove the transaction
    // open; the log was committed in full, so it is applied.
    if (TransactionListed(env, path, number, &listed) != 0) return false;
    return listed;
  };
}

CoordinationFile::CoordinationFile(env::Env* env) : env_(env) {}

// Every change was saved by its own step (Close saves nothing), so a
// destructor has nothing left to report.
CoordinationFile::~CoordinationFile() { (void)Close(); }

int CoordinationFile::Open(const std::string& path) {
  (void)Close();  // as in the destructor: nothing unsaved to lose
  if (int e = env_->Open(path, env::kOpenCreate, &lock_file_); e != 0) {
    return files::kSystemErrorBase + files::MapErrno(e, /*writing=*/true);
  }
  locks_ = std::make_unique<FileLocks>(env_, lock_file_.get());
  if (int rc = locks_->LockWriter(); rc != 0) return rc;
  Unlocker unlock{locks_.get()};
  // A creator killed during the first save leaves a file without a header;
  // it lists nothing and starts again empty.
  if (NeverSaved(lock_file_.get())) {
    if (int e = lock_file_->Truncate(0); e != 0) {
      return files::kSystemErrorBase + files::MapErrno(e, true);
    }
  }
  container_ = std::make_unique<Container>(env_);
  if (int rc = container_->Open(path, Container::kCreate | Container::kShared); rc != 0) {
    container_.reset();
    return rc;
  }
  path_ = path;
  return 0;
}

int CoordinationFile::Begin(uint32_t first, uint32_t* number) {
  if (!container_) return files::kFileNotOpen;
  if (int rc = locks_->LockWriter(); rc != 0) return rc;
  Unlocker unlock{locks_.get()};
  if (int rc = container_->Refresh(); rc != 0) return rc;
  Tree tree(container_.get());
  if (int rc = tree.EnsureRoot(); rc != 0) return rc;
  uint32_t n = first;
  for (;;) {
    Entry entry;
    bool found = false;
    if (int rc = tree.FindExact(Be32(n), &entry, &found); rc != 0) return rc;
    if (!found) break;
    ++n;
  }
  std::string key = Be32(n);
  if (int rc = tree.Insert(key, key.size()); rc != 0) {
    container_->DiscardAfterFailure();
    return rc;
  }
  if (int rc = container_->Save(); rc != 0) {
    container_->DiscardAfterFailure();
    return rc;
  }
  *number = n;
  return 0;
}

int CoordinationFile::Finish(uint32_t number) {
  if (!container_) return files::kFileNotOpen;
  if (int rc = locks_->LockWriter(); rc != 0) return rc;
  Unlocker unlock{locks_.get()};
  if (int rc = container_->Refresh(); rc != 0) return rc;
  Tree tree(container_.get());
  bool found = false;
  if (int rc = tree.Delete(Be32(number), &found); rc != 0) {
    container_->DiscardAfterFailure();
    return rc;
  }
  if (int rc = container_->Save(); rc != 0) {
    container_->DiscardAfterFailure();
    return rc;
  }
  return 0;
}

int CoordinationFile::Close() {
  int rc = 0;
  if (container_) {
    // Every change was saved by its own step; nothing is pending here.
    container_->DiscardAfterFailure();
    rc = container_->Close();
    container_.reset();
  }
  locks_.reset();
  lock_file_.reset();
  path_.clear();
  return rc;
}

}  // namespace vorsandt::qvf
