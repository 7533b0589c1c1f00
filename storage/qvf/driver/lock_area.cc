#include "storage/qvf/driver/lock_area.h"

#include <cerrno>

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

}  // namespace

uint64_t ItemLockOffset(uint32_t identifier) {
  uint32_t v = StoredBytesLittleEndian(identifier);
  return static_cast<uint32_t>(static_cast<uint32_t>(kItemLockBase) + v + 1u);
}

uint64_t ReaderLockOffset(uint32_t slot) { return kLockBase + slot % kReaderSlots; }

FileLocks::FileLocks(env::Env* env, env::File* file)
    : env_(env),
      file_(file),
      slot_(static_cast<uint32_t>(env->NowHundredths() & 0x3FF) % kReaderSlots) {}

FileLocks::~FileLocks() { UnlockFile(); }

void FileLocks::Wait() {
  if (wait_hook_) {
    wait_hook_();
  } else {
    files::RunLockWaitHook();
    env_->SleepMs(1);
  }
}

int FileLocks::LockReader() {
  if (reader_held_ || writer_held_) return 0;
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
    Wait();
  }
}

int FileLocks::LockWriter() {
  if (writer_held_) return 0;
  // A reader claim of our own would exclude us: give it up first.
  if (reader_held_) UnlockFile();
  for (;;) {
    int rc = file_->TryLock(kLockBase, kWriterLockLength, /*exclusive=*/true);
    if (rc == 0) {
      writer_held_ = true;
      return 0;
    }
    if (files::MapLockErrno(rc) != 33) return files::kSystemErrorBase + files::MapErrno(rc);
    Wait();
  }
}

void FileLocks::UnlockFile() {
  if (reader_held_) {
    file_->Unlock(reader_offset_, 1);
    reader_held_ = false;
  }
  if (writer_held_) {
    file_->Unlock(kLockBase, kWriterLockLength);
    writer_held_ = false;
  }
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

}  // namespace vorsandt::qvf
