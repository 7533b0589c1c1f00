#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/env/env.h"

namespace vorsandt::env {
namespace {

mode_t CurrentUmask() {
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

class PosixEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorsandt_env_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/T.QVF";
  }
  void TearDown() override {
    Env::Default()->Delete(path_);
    Env::Default()->Delete(dir_ + "/U.QVF");
    rmdir(dir_.c_str());
  }
  std::unique_ptr<File> OpenOrDie(uint32_t flags = kOpenCreate) {
    std::unique_ptr<File> f;
    EXPECT_EQ(Env::Default()->Open(path_, flags, &f), 0);
    return f;
  }
  // Runs `probe` in a child process and returns its exit status.
  static int InChild(const std::function<int()>& probe) {
    pid_t pid = fork();
    if (pid == 0) _exit(probe());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // In a child process: opens the file and tries the lock; exit 0 granted,
  // 1 refused.
  int ChildTryLock(uint64_t offset, uint64_t length, bool exclusive) {
    std::string path = path_;
    return InChild([=] {
      std::unique_ptr<File> f;
      if (Env::Default()->Open(path, kOpenReadWrite, &f) != 0) return 9;
      int e = f->TryLock(offset, length, exclusive);
      return e == 0 ? 0 : (e == EAGAIN ? 1 : 8);
    });
  }
  std::string dir_;
  std::string path_;
};

TEST_F(PosixEnvTest, OpenMissingWithoutCreateIsEnoent) {
  std::unique_ptr<File> f;
  EXPECT_EQ(Env::Default()->Open(path_, kOpenReadWrite, &f), ENOENT);
  EXPECT_FALSE(Env::Default()->Exists(path_));
}

TEST_F(PosixEnvTest, CreateExclusiveRefusesExistingFile) {
  auto f = OpenOrDie(kOpenCreate | kOpenExclusive);
  ASSERT_TRUE(f);
  std::unique_ptr<File> g;
  EXPECT_EQ(Env::Default()->Open(path_, kOpenCreate | kOpenExclusive, &g), EEXIST);
  EXPECT_TRUE(Env::Default()->Exists(path_));
}

TEST_F(PosixEnvTest, NoFollowRefusesALinkAndCreateNewKeepsAtMostTheModeAsked) {
  const std::string victim = dir_ + "/U.QVF";
  const std::string link = dir_ + "/link";
  {
    std::unique_ptr<File> f;
    ASSERT_EQ(Env::Default()->CreateNew(victim, kOpenReadWrite, 0640, &f), 0);
    ASSERT_EQ(f->WriteAt(0, "kept", 4), 0);
  }
  struct stat st {};
  ASSERT_EQ(stat(victim.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u & ~CurrentUmask());
  ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
  std::unique_ptr<File> f;
  EXPECT_EQ(Env::Default()->Open(link, kOpenReadWrite | kOpenNoFollow, &f), ELOOP);
  EXPECT_EQ(Env::Default()->Open(link, kOpenReadOnly | kOpenNoFollow, &f), ELOOP);
  EXPECT_EQ(Env::Default()->CreateNew(link, kOpenReadWrite | kOpenNoFollow, 0600, &f), EEXIST);
  // An existing name is never made again, whatever its mode.
  EXPECT_EQ(Env::Default()->CreateNew(victim, kOpenReadWrite, 0600, &f), EEXIST);
  // Execute bits and wider-than-asked bits never appear.
  const std::string wide = dir_ + "/wide";
  ASSERT_EQ(Env::Default()->CreateNew(wide, kOpenReadWrite | kOpenPrivate, 0777, &f), 0);
  ASSERT_EQ(stat(wide.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u & ~CurrentUmask());
  f.reset();
  unlink(wide.c_str());
  unlink(link.c_str());
}

TEST_F(PosixEnvTest, WriteReadAtOffsetsAndShortReadAtEnd) {
  auto f = OpenOrDie();
  ASSERT_EQ(f->WriteAt(100, "abc", 3), 0);
  uint64_t size = 0;
  ASSERT_EQ(f->Size(&size), 0);
  EXPECT_EQ(size, 103u);
  char buf[10] = {};
  size_t got = 99;
  ASSERT_EQ(f->ReadAt(101, buf, 10, &got), 0);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(std::string(buf, 2), "bc");
  ASSERT_EQ(f->ReadAt(0, buf, 1, &got), 0);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(buf[0], '\0');  // the hole reads as zeros
  ASSERT_EQ(f->ReadAt(500, buf, 4, &got), 0);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(f->Sync(), 0);
  ASSERT_EQ(f->Truncate(50), 0);
  ASSERT_EQ(f->Size(&size), 0);
  EXPECT_EQ(size, 50u);
}

// A read that asks for the block around it reads the same bytes as ReadAt,
// from the system's cache or, after the cache was dropped, from the disk,
// and stops at the end of the file as ReadAt does.
TEST_F(PosixEnvTest, ReadAroundReadsTheSameBytesColdWarmAndAtTheEnd) {
  auto f = OpenOrDie();
  std::string data(300 << 10, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4096);
  ASSERT_EQ(f->WriteAt(0, data.data(), data.size()), 0);
  ASSERT_EQ(f->Sync(), 0);
  const int fd = ::open(path_.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
  ::close(fd);
  for (const uint64_t offset : {uint64_t{140000}, uint64_t{140000 + 4096}, uint64_t{512}}) {
    std::string got_bytes(3000, 'x');
    size_t got = 0;
    ASSERT_EQ(f->ReadAtAround(offset, got_bytes.data(), got_bytes.size(), &got, 128 << 10), 0);
    ASSERT_EQ(got, got_bytes.size());
    EXPECT_EQ(got_bytes, data.substr(offset, got_bytes.size())) << offset;
  }
  std::string tail(1000, 'x');
  size_t got = 0;
  ASSERT_EQ(f->ReadAtAround(data.size() - 100, tail.data(), tail.size(), &got, 128 << 10), 0);
  EXPECT_EQ(got, 100u);
  EXPECT_EQ(tail.substr(0, 100), data.substr(data.size() - 100));
}

TEST_F(PosixEnvTest, ReadOnlyHandleRefusesWritesButMayLockExclusive) {
  OpenOrDie()->WriteAt(0, "x", 1);
  auto f = OpenOrDie(kOpenReadOnly);
  size_t written = 7;
  EXPECT_EQ(f->WriteAt(0, "y", 1, &written), EBADF);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(f->Truncate(0), EBADF);
  EXPECT_EQ(f->TryLock(0x80000000ull, 1, true), 0);
}

TEST_F(PosixEnvTest, RenameAndDelete) {
  OpenOrDie();
  std::string other = dir_ + "/U.QVF";
  EXPECT_EQ(Env::Default()->Rename(path_, other), 0);
  EXPECT_FALSE(Env::Default()->Exists(path_));
  EXPECT_TRUE(Env::Default()->Exists(other));
  EXPECT_EQ(Env::Default()->Delete(other), 0);
  EXPECT_EQ(Env::Default()->Delete(other), ENOENT);
}

TEST_F(PosixEnvTest, RenameNoReplaceNeverReplacesAnExistingName) {
  OpenOrDie();
  std::string other = dir_ + "/U.QVF";
  std::unique_ptr<File> f;
  ASSERT_EQ(Env::Default()->Open(other, kOpenCreate, &f), 0);
  ASSERT_EQ(f->WriteAt(0, "theirs", 6), 0);
  f.reset();
  EXPECT_EQ(Env::Default()->RenameNoReplace(path_, other), EEXIST);
  EXPECT_TRUE(Env::Default()->Exists(path_));
  char buf[6];
  size_t got = 0;
  ASSERT_EQ(Env::Default()->Open(other, kOpenReadOnly, &f), 0);
  ASSERT_EQ(f->ReadAt(0, buf, 6, &got), 0);
  EXPECT_EQ(std::string(buf, got), "theirs");
  f.reset();
  ASSERT_EQ(Env::Default()->Delete(other), 0);
  EXPECT_EQ(Env::Default()->RenameNoReplace(path_, other), 0);
  EXPECT_FALSE(Env::Default()->Exists(path_));
  EXPECT_TRUE(Env::Default()->Exists(other));
}

// A crash must not lose a new length or a new, deleted or renamed name: the
// inode is flushed when the length changed, the folder when a name changed.
TEST_F(PosixEnvTest, FlushesTheInodeAfterALengthChangeAndTheFolderAfterANameChange) {
  Env* env = Env::Default();
  PosixFlushCounts before = CountPosixFlushes();
  auto f = OpenOrDie(kOpenCreate);
  PosixFlushCounts now = CountPosixFlushes();
  EXPECT_EQ(now.folders - before.folders, 1);  // the new name

  ASSERT_EQ(f->WriteAt(0, "abcd", 4), 0);  // grows: data and length
  ASSERT_EQ(f->Sync(), 0);
  ASSERT_EQ(f->WriteAt(1, "x", 1), 0);  // inside the old length: data only
  ASSERT_EQ(f->Sync(), 0);
  ASSERT_EQ(f->Truncate(2), 0);  // shrinks: length again
  ASSERT_EQ(f->Sync(), 0);
  PosixFlushCounts after = CountPosixFlushes();
  EXPECT_EQ(after.full - now.full, 2);
  EXPECT_EQ(after.data_only - now.data_only, 1);

  auto again = OpenOrDie(kOpenCreate);  // exists already: no folder flush
  EXPECT_EQ(CountPosixFlushes().folders, after.folders);

  std::string other = dir_ + "/R.QVF";
  ASSERT_EQ(env->Rename(path_, other), 0);
  ASSERT_EQ(env->Delete(other), 0);
  EXPECT_EQ(env->Delete(other), ENOENT);  // nothing removed, nothing flushed
  EXPECT_EQ(CountPosixFlushes().folders - after.folders, 2);
}

TEST_F(PosixEnvTest, ExclusiveLockExcludesOtherHandlesAndTheSameHandle) {
  auto a = OpenOrDie();
  auto b = OpenOrDie();
  const uint64_t kWriter = 0x80000000ull;
  ASSERT_EQ(a->TryLock(kWriter, 1023, true), 0);
  EXPECT_EQ(a->TryLock(kWriter + 5, 1, false), EAGAIN);  // same handle
  EXPECT_EQ(b->TryLock(kWriter + 5, 1, false), EAGAIN);  // other handle
  EXPECT_EQ(b->TryLock(kWriter + 1023, 1, true), 0);     // just past the range
  EXPECT_EQ(a->Unlock(kWriter, 1023), 0);
  EXPECT_EQ(b->TryLock(kWriter + 5, 1, false), 0);
  EXPECT_EQ(a->Unlock(kWriter, 1023), ENOLCK);
}

TEST_F(PosixEnvTest, SharedLocksCoexistAndBlockExclusive) {
  auto a = OpenOrDie();
  auto b = OpenOrDie();
  ASSERT_EQ(a->TryLock(10, 1, false), 0);
  ASSERT_EQ(b->TryLock(10, 1, false), 0);
  EXPECT_EQ(b->TryLock(0, 100, true), EAGAIN);
  EXPECT_EQ(a->Unlock(10, 1), 0);
  EXPECT_EQ(b->TryLock(0, 100, true), EAGAIN);  // b's own shared claim
  EXPECT_EQ(b->Unlock(10, 1), 0);
  EXPECT_EQ(b->TryLock(0, 100, true), 0);
}

TEST_F(PosixEnvTest, ThreadsSharingAHandleExcludeEachOther) {
  auto a = OpenOrDie();
  ASSERT_EQ(a->TryLock(0x80000400ull + 7, 1, true), 0);
  int other = -1;
  std::thread t([&] { other = a->TryLock(0x80000400ull + 7, 1, true); });
  t.join();
  EXPECT_EQ(other, EAGAIN);
}

TEST_F(PosixEnvTest, RacingThreadsGetTheExclusiveByteOnce) {
  auto shared_handle = OpenOrDie();
  std::vector<std::unique_ptr<File>> own;
  for (int i = 0; i < 4; ++i) own.push_back(OpenOrDie());
  std::atomic<int> granted{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    File* f = i < 4 ? shared_handle.get() : own[i - 4].get();
    threads.emplace_back([f, &granted] {
      if (f->TryLock(0x80000000ull, 1023, true) == 0) granted++;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(granted.load(), 1);
}

TEST_F(PosixEnvTest, LocksExcludeOtherProcesses) {
  auto a = OpenOrDie();
  ASSERT_EQ(a->TryLock(0x80000000ull, 1023, true), 0);
  EXPECT_EQ(ChildTryLock(0x80000000ull + 3, 1, false), 1);
  EXPECT_EQ(ChildTryLock(0x80000000ull + 1023, 1, true), 0);
  ASSERT_EQ(a->Unlock(0x80000000ull, 1023), 0);
  EXPECT_EQ(ChildTryLock(0x80000000ull + 3, 1, true), 0);
}

TEST_F(PosixEnvTest, ReleasingOneOfTwoOverlappingSharedClaimsKeepsTheOther) {
  auto a = OpenOrDie();
  ASSERT_EQ(a->TryLock(100, 10, false), 0);
  ASSERT_EQ(a->TryLock(105, 10, false), 0);
  ASSERT_EQ(a->Unlock(100, 10), 0);
  EXPECT_EQ(ChildTryLock(107, 1, true), 1);  // still held by the second claim
  EXPECT_EQ(ChildTryLock(101, 1, true), 0);  // released part
  ASSERT_EQ(a->Unlock(105, 10), 0);
  EXPECT_EQ(ChildTryLock(107, 1, true), 0);
}

TEST_F(PosixEnvTest, ClosingAHandleReleasesItsLocks) {
  auto a = OpenOrDie();
  auto b = OpenOrDie();
  ASSERT_EQ(a->TryLock(0, 1, true), 0);
  a.reset();
  EXPECT_EQ(b->TryLock(0, 1, true), 0);
}

TEST_F(PosixEnvTest, EmptyOrOverflowingRangeIsInvalid) {
  auto a = OpenOrDie();
  EXPECT_EQ(a->TryLock(0, 0, true), EINVAL);
  EXPECT_EQ(a->TryLock(UINT64_MAX - 1, 5, true), EINVAL);
}

// The view is how a reader learns of another process's save without a
// system call: it must show writes made through any other descriptor, from
// this process or another, as soon as the write returns.
TEST_F(PosixEnvTest, ViewFollowsWritesOfOtherHandlesAndProcesses) {
  auto a = OpenOrDie();
  ASSERT_EQ(a->WriteAt(0, std::string(512, 'a').data(), 512), 0);
  std::unique_ptr<FileView> view;
  ASSERT_EQ(a->Map(512, &view), 0);
  char got[4] = {};
  ASSERT_EQ(view->Read(20, got, 4), 0);
  EXPECT_EQ(std::string(got, 4), "aaaa");

  auto b = OpenOrDie(kOpenReadWrite);
  ASSERT_EQ(b->WriteAt(20, "bbbb", 4), 0);
  ASSERT_EQ(view->Read(20, got, 4), 0);
  EXPECT_EQ(std::string(got, 4), "bbbb");

  std::string path = path_;
  ASSERT_EQ(InChild([=] {
              std::unique_ptr<File> f;
              if (Env::Default()->Open(path, kOpenReadWrite, &f) != 0) return 9;
              return f->WriteAt(20, "cccc", 4) == 0 ? 0 : 8;
            }),
            0);
  ASSERT_EQ(view->Read(20, got, 4), 0);
  EXPECT_EQ(std::string(got, 4), "cccc");
  a.reset();  // the view outlives its handle
  ASSERT_EQ(view->Read(20, got, 4), 0);
  EXPECT_EQ(std::string(got, 4), "cccc");
}

TEST_F(PosixEnvTest, ViewRefusesAShortFileAndReadsOutsideItsLength) {
  auto a = OpenOrDie();
  ASSERT_EQ(a->WriteAt(0, "abc", 3), 0);
  std::unique_ptr<FileView> view;
  EXPECT_EQ(a->Map(512, &view), EINVAL);  // a page beyond the end would fault
  EXPECT_EQ(view, nullptr);
  EXPECT_EQ(a->Map(8192, &view), EINVAL);
  ASSERT_EQ(a->Map(3, &view), 0);
  char got[4];
  EXPECT_EQ(view->Read(1, got, 3), EINVAL);
  EXPECT_EQ(view->Read(0, got, 3), 0);
  EXPECT_EQ(std::string(got, 3), "abc");
}

// Someone else cuts the file to nothing under a mapped header (a user's
// truncate, a restore gone wrong): the page behind the view is gone and a
// plain copy from it would end the process with SIGBUS.
TEST_F(PosixEnvTest, AViewOfAFileCutToNothingFailsItsReadsInsteadOfFaulting) {
  auto a = OpenOrDie();
  ASSERT_EQ(a->WriteAt(0, std::string(8192, 'a').data(), 8192), 0);
  std::unique_ptr<FileView> view;
  ASSERT_EQ(a->Map(512, &view), 0);
  ASSERT_EQ(truncate(path_.c_str(), 0), 0);
  char got[512];
  EXPECT_EQ(view->Read(0, got, sizeof got), EIO);
  EXPECT_EQ(view->Read(100, got, 4), EIO);  // again: the recovery is not used up
  // Cut inside the page: the bytes beyond the end read as zero, as before.
  ASSERT_EQ(a->WriteAt(0, "abc", 3), 0);
  ASSERT_EQ(view->Read(0, got, 8), 0);
  EXPECT_EQ(std::string(got, 8), std::string("abc") + std::string(5, '\0'));
  // A file grown again is read again.
  ASSERT_EQ(a->WriteAt(0, std::string(4096, 'b').data(), 4096), 0);
  ASSERT_EQ(view->Read(0, got, 4), 0);
  EXPECT_EQ(std::string(got, 4), "bbbb");
}

// The guard is for copies out of views only: a bus error anywhere else
// still ends the process as it always did.
TEST_F(PosixEnvTest, ABusErrorOutsideAViewStillEndsTheProcess) {
  auto a = OpenOrDie();
  ASSERT_EQ(a->WriteAt(0, std::string(512, 'a').data(), 512), 0);
  std::unique_ptr<FileView> view;
  ASSERT_EQ(a->Map(512, &view), 0);  // the guard is in place from here on
  EXPECT_EXIT(raise(SIGBUS), ::testing::KilledBySignal(SIGBUS), "");
  const std::string path = path_;
  EXPECT_EXIT(
      {
        // A mapping of its own, not a view: touching it past the end faults.
        int fd = open(path.c_str(), O_RDWR);
        void* p = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
        if (ftruncate(fd, 0) != 0 || p == MAP_FAILED) _exit(9);
        volatile char c = *static_cast<volatile char*>(p);
        (void)c;
        _exit(0);
      },
      ::testing::KilledBySignal(SIGBUS), "");
}

TEST_F(PosixEnvTest, NamedByTellsWhetherTheNameStillLeadsToTheOpenFile) {
  auto a = OpenOrDie();
  EXPECT_EQ(a->NamedBy(path_), 0);
  // Another file renamed over the name.
  const std::string other = dir_ + "/U.QVF";
  std::unique_ptr<File> u;
  ASSERT_EQ(Env::Default()->Open(other, kOpenCreate, &u), 0);
  ASSERT_EQ(Env::Default()->Rename(other, path_), 0);
  EXPECT_EQ(a->NamedBy(path_), ESTALE);
  EXPECT_EQ(u->NamedBy(path_), 0);
  // The name gone altogether.
  ASSERT_EQ(Env::Default()->Delete(path_), 0);
  EXPECT_EQ(u->NamedBy(path_), ENOENT);
  // A hard link is the same file under another name.
  auto b = OpenOrDie();
  ASSERT_EQ(link(path_.c_str(), other.c_str()), 0);
  EXPECT_EQ(b->NamedBy(other), 0);
}

TEST(PosixEnvClock, ClockNeverGoesBackwards) {
  Env* env = Env::Default();
  int64_t first = env->NowHundredths();
  env->SleepMs(20);
  EXPECT_GE(env->NowHundredths(), first);
}

}  // namespace
}  // namespace vorsandt::env
