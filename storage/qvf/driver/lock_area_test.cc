#include "storage/qvf/driver/lock_area.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "runtime/files/error_codes.h"

namespace vorsandt::qvf {
namespace {

struct OffsetCase {
  uint32_t identifier;
  uint64_t offset;
};

TEST(LockAreaOffsets, ItemLocksReadTheStoredBytesLittleEndian) {
  const OffsetCase cases[] = {
      {0x00000001, 0x81000401},  // stored 00 00 00 01 -> 0x01000000
      {0x00000002, 0x82000401},
      {0x00000100, 0x80010401},
      {0x00000080, 0x00000401},  // wraps modulo 2^32
      {0x12345678, static_cast<uint32_t>(0x80000400u + 0x78563412u + 1u)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ItemLockOffset(c.identifier), c.offset) << std::hex << c.identifier;
  }
}

TEST(LockAreaOffsets, NoIdentifierLockFallsInsideTheWriterRange) {
  // Identifiers never start with 0xFE or 0xFF; walk the ones that end up
  // nearest the range (stored bytes FF FB FF 7F .. FD FF FF 7F would hit it).
  for (uint32_t hi = 0; hi < 0xFE; ++hi) {
    for (uint32_t lo : {0x00u, 0x7Fu, 0xFBu, 0xFFu}) {
      uint32_t id = (hi << 24) | 0x00FF0000u | 0x0000FB00u | lo;
      uint64_t off = ItemLockOffset(id);
      EXPECT_FALSE(off >= kLockBase && off < kLockBase + kWriterLockLength) << id;
    }
  }
}

TEST(LockAreaOffsets, ReaderSlotsStayInsideTheWriterRange) {
  for (uint32_t slot : {0u, 1u, 1022u, 1023u, 5000u}) {
    uint64_t off = ReaderLockOffset(slot);
    EXPECT_GE(off, kLockBase);
    EXPECT_LT(off, kLockBase + kWriterLockLength);
  }
}

class LockAreaFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qvf_locks_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "T.QVF").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::unique_ptr<env::File> Handle() {
    std::unique_ptr<env::File> f;
    EXPECT_EQ(env::Env::Default()->Open(path_, env::kOpenCreate, &f), 0);
    return f;
  }
  std::filesystem::path dir_;
  std::string path_;
};

TEST_F(LockAreaFile, ReadersShareAndAWriterWaitsForThem) {
  auto h1 = Handle(), h2 = Handle(), h3 = Handle();
  FileLocks a(env::Env::Default(), h1.get());
  FileLocks b(env::Env::Default(), h2.get());
  FileLocks w(env::Env::Default(), h3.get());
  ASSERT_EQ(a.LockReader(), 0);
  ASSERT_EQ(b.LockReader(), 0);
  int attempts = 0;
  w.SetWaitHook([&] {
    ++attempts;
    if (attempts == 3) a.UnlockFile();
    if (attempts == 6) b.UnlockFile();
  });
  ASSERT_EQ(w.LockWriter(), 0);
  EXPECT_GE(attempts, 6);
  EXPECT_TRUE(w.writer_held());
  // While the writer holds the range a reader moves its slot and waits.
  int reader_waits = 0;
  uint32_t first_slot = a.reader_slot();
  a.SetWaitHook([&] {
    if (++reader_waits == 4) w.UnlockFile();
  });
  ASSERT_EQ(a.LockReader(), 0);
  EXPECT_EQ(reader_waits, 4);
  EXPECT_EQ(a.reader_slot(), (first_slot + 4) % kReaderSlots);
}

TEST_F(LockAreaFile, TableAndRecordLocksExcludeOtherHandles) {
  auto h1 = Handle(), h2 = Handle();
  FileLocks a(env::Env::Default(), h1.get());
  FileLocks b(env::Env::Default(), h2.get());
  ASSERT_EQ(a.TryLockTable(7), 0);
  EXPECT_EQ(b.TryLockTable(7), files::kFileAlreadyLocked);
  EXPECT_EQ(b.TryLockTable(8), 0);
  EXPECT_TRUE(b.RecordFree(9));
  EXPECT_TRUE(a.TryLockRecord(9));
  EXPECT_FALSE(b.TryLockRecord(9));
  // The test sees the claim of another handle and of its own, claims nothing.
  EXPECT_FALSE(b.RecordFree(9));
  EXPECT_FALSE(a.RecordFree(9));
  EXPECT_TRUE(b.RecordFree(10));
  EXPECT_TRUE(b.TryLockRecord(10));
  // Not re-entrant: the same holder is refused too.
  EXPECT_FALSE(a.TryLockRecord(9));
  a.UnlockRecord(9);
  EXPECT_TRUE(b.RecordFree(9));
  EXPECT_TRUE(b.TryLockRecord(9));
  a.UnlockTable(7);
  EXPECT_EQ(b.TryLockTable(7), 0);
}

TEST_F(LockAreaFile, RecordLockHeldByAnotherProcessIsRefused) {
  int to_child[2], to_parent[2];
  ASSERT_EQ(pipe(to_child), 0);
  ASSERT_EQ(pipe(to_parent), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(20);  // never outlive a broken parent
    std::unique_ptr<env::File> f;
    if (env::Env::Default()->Open(path_, env::kOpenCreate, &f) != 0) _exit(2);
    FileLocks locks(env::Env::Default(), f.get());
    char c = locks.TryLockRecord(42) && locks.LockReader() == 0 ? 'y' : 'n';
    if (write(to_parent[1], &c, 1) != 1) _exit(3);
    if (read(to_child[0], &c, 1) != 1) _exit(4);
    _exit(0);  // exiting drops every lock
  }
  char c = 0;
  ASSERT_EQ(read(to_parent[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  auto h = Handle();
  FileLocks mine(env::Env::Default(), h.get());
  EXPECT_FALSE(mine.RecordFree(42));
  EXPECT_FALSE(mine.TryLockRecord(42));
  EXPECT_TRUE(mine.RecordFree(43));
  EXPECT_TRUE(mine.TryLockRecord(43));
  // The child's reader byte keeps a writer out.
  EXPECT_NE(h->TryLock(kLockBase, kWriterLockLength, true), 0);
  ASSERT_EQ(write(to_child[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(mine.TryLockRecord(42));
  EXPECT_EQ(mine.LockWriter(), 0);
  for (int fd : {to_child[0], to_child[1], to_parent[0], to_parent[1]}) close(fd);
}

}  // namespace
}  // namespace vorsandt::qvf
