#include "storage/qvf/driver/lock_area.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "runtime/files/driver.h"
#include "runtime/files/error_codes.h"

namespace vorsandt::qvf {
namespace {

uint32_t StoredBytesLittleEndian(uint32_t identifier) {
  // The identifier is stored big-endian; reading those bytes little-endian
  // swaps them.
  return ((identifier & 0xFFu) << 24) | ((identifier & 0xFF00u) << 8) |
         ((identifier >> 8) & 0xFF00u) | (identifier >> 24);
}

constexpr int64_t kDefaultWaitLimit = 1000;  // 10 seconds

int64_t LimitFromEnvironment() {
  const char* text = std::getenv("VORSANDT_LOCK_WAIT");
  if (text == nullptr || *text == '\0') return kDefaultWaitLimit;
  char* end = nullptr;
  const double seconds = std::strtod(text, &end);
  if (*end != '\0' || !(seconds >= 0) || seconds > 86400.0) return kDefaultWaitLimit;
  return static_cast<int64_t>(seconds * 100);
}

std::atomic<int64_t>& WaitLimit() {
  static std::atomic<int64_t> limit{LimitFromEnvironment()};
  return limit;
}

}  // namespace

int64_t FileLockWaitLimit() { return WaitLimit().load(std::memory_order_relaxed); }

void SetFileLockWaitLimit(int64_t hundredths) {
  WaitLimit().store(hundredths, std::memory_order_relaxed);
}

uint64_t ItemLockOffset(uint32_t identifier) {
  uint32_t v = StoredBytesLittleEndian(identifier);
  return static_cast<uint32_t>(static_cast<uint32_t>(kItemLockBase) + v + 1u);
}

uint64_t ReaderLockOffset(uint32_t slot) { return kLockBase + slot % kReaderSlots; }

FileLocks::FileLocks(env::Env* env, env::File* file)
    : env_(env),
      file_(file),
      slot_(static_cast<uint32_t>(env->NowHundredths() & 0x3FF) % kReaderSlots) {}

FileLocks::~FileLocks() { Unpin(); }

void FileLocks::Wait() {
  if (before_wait_) before_wait_();
  if (wait_hook_) {
    wait_hook_();
  } else {
    files::RunLockWaitHook();
    env_->SleepMs(1);
  }
}

int FileLocks::LockReader() {
  if (reader_held_ || writer_held_) return 0;
  const int64_t start = env_->NowHundredths();
  for (;;) {
    uint64_t offset = ReaderLockOffset(slot_);
    int rc = file_->TryLock(offset, 1, /*exclusive=*/false);
    if (rc == 0) {
      reader_held_ = true;
      reader_offset_ = offset;
      return 0;
    }
    if (files::MapLockErrno(rc) != 33) return files::kSystemErrorBase + files::MapErrno(rc);
    slot_ = (slot_ + 1) % kReaderSlots;
    if (env_->NowHundredths() - start >= FileLockWaitLimit()) return files::kFileAlreadyLocked;
    Wait();
  }
}

int TryClaimWriterRange(env::File* file) {
  return file->TryLock(kLockBase, kWriterLockLength, /*exclusive=*/true);
}

int FileLocks::LockWriter() {
  if (writer_held_) return 0;
  // A reader claim of our own would exclude us: give it up first.
  if (reader_held_) UnlockFile();
  const int64_t start = env_->NowHundredths();
  for (;;) {
    int rc = file_->TryLock(kLockBase, kWriterLockLength, /*exclusive=*/true);
    if (rc == 0) {
      writer_held_ = true;
      return 0;
    }
    if (files::MapLockErrno(rc) != 33) return files::kSystemErrorBase + files::MapErrno(rc);
    if (env_->NowHundredths() - start >= FileLockWaitLimit()) return files::kFileAlreadyLocked;
    Wait();
  }
}

void FileLocks::UnlockFile() {
  if (reader_held_) {
    file_->Unlock(reader_offset_, 1);
    reader_held_ = false;
  }
  if (writer_held_ && !pinned_) {
    file_->Unlock(kLockBase, kWriterLockLength);
    writer_held_ = false;
    others_checked_ = false;
  }
}

int FileLocks::PinWriter() {
  if (int rc = LockWriter(); rc != 0) return rc;
  pinned_ = true;
  return 0;
}

void FileLocks::Unpin() {
  pinned_ = false;
  UnlockFile();
}

int FileLocks::TryLockTable(uint32_t table_id) {
  int rc = file_->TryLock(ItemLockOffset(table_id), 1, /*exclusive=*/true);
  if (rc == 0) return 0;
  if (files::MapLockErrno(rc) == 33) return files::kFileAlreadyLocked;
  return files::kSystemErrorBase + files::MapErrno(rc);
}

void FileLocks::UnlockTable(uint32_t table_id) { file_->Unlock(ItemLockOffset(table_id), 1); }

bool FileLocks::TryLockRecord(uint32_t record) {
  return file_->TryLock(ItemLockOffset(record), 1, /*exclusive=*/true) == 0;
}

void FileLocks::UnlockRecord(uint32_t record) { file_->Unlock(ItemLockOffset(record), 1); }

bool FileLocks::RecordFree(uint32_t record) {
  const uint64_t offset = ItemLockOffset(record);
  if (OthersHoldNoItemLocks()) return file_->TestLockInProcess(offset, 1, /*exclusive=*/true) == 0;
  return file_->TestLock(offset, 1, /*exclusive=*/true) == 0;
}

// Every record lock is taken inside a call that holds the reader byte (a
// read that holds its record) or the writer range (a rewrite, a delete), so
// while this handle holds the writer range no other handle can take a new
// one: what the others held when the range was taken is all they hold until
// it is released, less what they let go. One look over the whole lock space
// then answers for every record of a transaction's rewrites. Claims of this
// process's own handles can still appear meanwhile (another thread); they
// are seen without a system call. (A process that opened the file denying
// others write access takes no file lock in its calls at all: its reads
// already rely on nobody else writing while it has the file open, and so
// does this.)
bool FileLocks::OthersHoldNoItemLocks() {
  if (!writer_held_) return false;
  if (!others_checked_) {
    others_checked_ = true;
    others_quiet_ = file_->TestLockOfOthers(0, kLockSpace, /*exclusive=*/true) == 0;
  }
  return others_quiet_;
}

}  // namespace vorsandt::qvf
