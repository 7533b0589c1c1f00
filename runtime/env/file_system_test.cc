// Which read path a shared file gets, and the round-trip counters.
#include "runtime/env/file_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>

#include "runtime/env/env.h"
#include "runtime/env/fault_env.h"

namespace vorsandt::env {
namespace {

// Restores the automatic choice whatever a test set.
class ReadPaths : public ::testing::Test {
 protected:
  void TearDown() override { SetNetworkFilesSetting(NetworkFilesSetting::kAuto); }
  std::unique_ptr<File> Open(const std::string& name) {
    std::unique_ptr<File> f;
    EXPECT_EQ(env_.Open(name, kOpenCreate, &f), 0);
    return f;
  }
  FaultEnv env_;
};

TEST_F(ReadPaths, OnlyTheListedLocalFileSystemsAreLockFree) {
  for (uint64_t magic : {kExtMagic, kXfsMagic, kBtrfsMagic, kTmpfsMagic, kF2fsMagic, kZfsMagic,
                         kOverlayMagic}) {
    EXPECT_TRUE(ClassifyFileSystem(magic).local) << magic;
  }
  for (uint64_t magic : {kNfsMagic, kSmbMagic, kCifsMagic, kSmb2Magic, kFuseMagic, kV9fsMagic,
                         kCephMagic, uint64_t{0x12345678}}) {
    EXPECT_FALSE(ClassifyFileSystem(magic).local) << magic;
  }
  EXPECT_EQ(ClassifyFileSystem(kNfsMagic).name, "nfs");
  EXPECT_EQ(ClassifyFileSystem(0x12345678).name, "type 0x12345678");
}

TEST_F(ReadPaths, TheFileSystemDecidesUnlessTheSettingForcesEitherWay) {
  auto f = Open("A.QVF");
  ReadPath p = ChooseReadPath(f.get());
  EXPECT_TRUE(p.lock_free);
  EXPECT_EQ(p.reason, "local file system tmpfs");

  env_.ReportFileSystem(kNfsMagic);
  p = ChooseReadPath(f.get());
  EXPECT_FALSE(p.lock_free);
  EXPECT_EQ(p.reason, "network file system nfs");

  SetNetworkFilesSetting(NetworkFilesSetting::kLocal);
  EXPECT_TRUE(ChooseReadPath(f.get()).lock_free);
  env_.ReportFileSystem(kExtMagic);
  SetNetworkFilesSetting(NetworkFilesSetting::kNetwork);
  p = ChooseReadPath(f.get());
  EXPECT_FALSE(p.lock_free);
  EXPECT_EQ(p.reason, "ZORNETFS=NETWORK in the settings file");
}

TEST_F(ReadPaths, SettingValuesOutsideTheThreeWordsChangeNothing) {
  NetworkFilesSetting s = NetworkFilesSetting::kLocal;
  EXPECT_TRUE(ParseNetworkFilesSetting(" network", &s));
  EXPECT_EQ(s, NetworkFilesSetting::kNetwork);
  EXPECT_TRUE(ParseNetworkFilesSetting("Auto", &s));
  EXPECT_EQ(s, NetworkFilesSetting::kAuto);
  EXPECT_FALSE(ParseNetworkFilesSetting("NFS", &s));
  EXPECT_EQ(s, NetworkFilesSetting::kAuto);
}

TEST_F(ReadPaths, AnUnknownFileSystemIsTreatedAsRemote) {
  // The base class cannot tell: the careful path.
  struct Blind : File {
    int ReadAt(uint64_t, void*, size_t, size_t*) override { return 0; }
    int WriteAt(uint64_t, const void*, size_t, size_t*) override { return 0; }
    int Sync() override { return 0; }
    int Truncate(uint64_t) override { return 0; }
    int Size(uint64_t*) override { return 0; }
    int TryLock(uint64_t, uint64_t, bool) override { return 0; }
    int Unlock(uint64_t, uint64_t) override { return 0; }
  } blind;
  EXPECT_FALSE(ChooseReadPath(&blind).lock_free);
}

// Locks that stay on this computer pass any probe made from it; only the
// mount options tell.
TEST_F(ReadPaths, MountOptionsThatKeepLocksOnThisComputerAreNamed) {
  EXPECT_EQ(LocalOnlyLockOption("rw,relatime,vers=4.2,local_lock=none,addr=10.0.0.2"), "");
  EXPECT_EQ(LocalOnlyLockOption("rw,vers=3,nolock,proto=tcp"), "nolock");
  EXPECT_EQ(LocalOnlyLockOption("rw,vers=4.1,local_lock=all"), "local_lock=all");
  EXPECT_EQ(LocalOnlyLockOption("local_lock=posix"), "local_lock=posix");
  EXPECT_EQ(LocalOnlyLockOption("rw,vers=3.1.1,cache=strict,nobrl"), "nobrl");
  EXPECT_EQ(LocalOnlyLockOption("rw,nolockd,brl"), "");
  EXPECT_EQ(LocalOnlyLockOption(""), "");

  auto f = Open("A.QVF");
  env_.ReportMountOptions("rw,vers=4.2,local_lock=all");
  std::string options;
  ASSERT_EQ(f->MountOptions(&options), 0);
  EXPECT_EQ(LocalOnlyLockOption(options), "local_lock=all");

  // The real mount table: the folder of a temporary file is mounted with
  // some options, read or written.
  const std::string path =
      (std::filesystem::temp_directory_path() / ("mount_" + std::to_string(getpid()))).string();
  std::unique_ptr<File> p;
  ASSERT_EQ(Env::Default()->Open(path, kOpenCreate, &p), 0);
  ASSERT_EQ(p->MountOptions(&options), 0);
  EXPECT_TRUE(options.compare(0, 2, "rw") == 0 || options.compare(0, 2, "ro") == 0) << options;
  p.reset();
  std::filesystem::remove(path);
}

TEST(IoCounts, LockCallsAndReadsAreCountedPerPathInBothEnvironments) {
  ResetIoCounts();
  FaultEnv fault;
  std::unique_ptr<File> f;
  ASSERT_EQ(fault.Open("COUNTED.QVF", kOpenCreate, &f), 0);
  char buf[8];
  size_t got = 0;
  f->ReadAt(0, buf, sizeof buf, &got);
  ASSERT_EQ(f->TryLock(100, 1, false), 0);
  ASSERT_EQ(f->Unlock(100, 1), 0);
  f->TestLock(100, 1, true);
  EXPECT_EQ(IoCountsOf("COUNTED.QVF").reads, 1);
  EXPECT_EQ(IoCountsOf("COUNTED.QVF").lock_calls, 3);

  const std::string path =
      (std::filesystem::temp_directory_path() / ("iocounts_" + std::to_string(getpid()))).string();
  std::unique_ptr<File> p;
  ASSERT_EQ(Env::Default()->Open(path, kOpenCreate, &p), 0);
  ASSERT_EQ(p->WriteAt(0, "abcdefgh", 8), 0);
  p->ReadAt(0, buf, sizeof buf, &got);
  p->ReadAt(4, buf, sizeof buf, &got);  // a short read: one more call finds the end
  ASSERT_EQ(p->TryLock(100, 1, true), 0);
  ASSERT_EQ(p->Unlock(100, 1), 0);
  // A claim this process's own lock table refuses never reaches the kernel.
  std::unique_ptr<File> q;
  ASSERT_EQ(Env::Default()->Open(path, 0, &q), 0);
  ASSERT_EQ(p->TryLock(200, 1, true), 0);
  EXPECT_EQ(q->TryLock(200, 1, true), EAGAIN);
  const IoCounts c = IoCountsOf(path);
  EXPECT_EQ(c.reads, 3);
  EXPECT_EQ(c.lock_calls, 3);
  uint64_t magic = 0;
  EXPECT_EQ(p->FileSystemType(&magic), 0);
  EXPECT_NE(magic, 0u);
  ResetIoCounts();
  EXPECT_EQ(IoCountsOf(path).lock_calls, 0);
  p.reset();
  q.reset();
  std::filesystem::remove(path);
}

TEST(IoCounts, AddedLatencyDelaysEveryCountedCallOfBothEnvironments) {
  SetAddedLatency(-5);
  EXPECT_EQ(AddedLatency(), 0);
  constexpr int64_t kWait = 3'000'000;  // 3 ms
  SetAddedLatency(kWait);
  EXPECT_EQ(AddedLatency(), kWait);
  const std::string path =
      (std::filesystem::temp_directory_path() / ("latency_" + std::to_string(getpid()))).string();
  FaultEnv fault;
  std::unique_ptr<File> f, p;
  ASSERT_EQ(fault.Open("DELAYED.QVF", kOpenCreate, &f), 0);
  ASSERT_EQ(Env::Default()->Open(path, kOpenCreate, &p), 0);
  char buf[8];
  size_t got = 0;
  // Three counted calls in each environment: a read, a claim and its
  // release; each waits at least the added latency (a lower bound only).
  for (File* file : {f.get(), p.get()}) {
    const auto start = std::chrono::steady_clock::now();
    file->ReadAt(0, buf, sizeof buf, &got);
    ASSERT_EQ(file->TryLock(100, 1, false), 0);
    ASSERT_EQ(file->Unlock(100, 1), 0);
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count(), 3 * kWait);
  }
  SetAddedLatency(0);
  EXPECT_EQ(AddedLatency(), 0);
  p.reset();
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace vorsandt::env
