// The tools' file reading and writing: every failure reported, no part of an
// output file left under its name.
#include "tools/common/tool_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "runtime/env/fault_env.h"

namespace vorsandt::tools {
namespace {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end.
class Folder {
 public:
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "toolfiles_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~Folder() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(path_), {}));
  }

 private:
  fs::path path_;
};

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An environment whose files fail every read after the first `good_reads`.
class FailingReads final : public env::Env {
 public:
  explicit FailingReads(int good_reads) : good_reads_(good_reads) {}
  int Open(const std::string& path, uint32_t flags, std::unique_ptr<env::File>* file) override {
    std::unique_ptr<env::File> inner;
    if (int e = env::Env::Default()->Open(path, flags, &inner); e != 0) return e;
    *file = std::make_unique<Reader>(std::move(inner), &good_reads_);
    return 0;
  }
  int Delete(const std::string& p) override { return env::Env::Default()->Delete(p); }
  int Rename(const std::string& a, const std::string& b) override {
    return env::Env::Default()->Rename(a, b);
  }
  bool Exists(const std::string& p) override { return env::Env::Default()->Exists(p); }
  int64_t NowHundredths() override { return 0; }
  void SleepMs(int) override {}

 private:
  class Reader final : public env::File {
   public:
    Reader(std::unique_ptr<env::File> inner, int* left) : inner_(std::move(inner)), left_(left) {}
    int ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override {
      *got = 0;
      if ((*left_)-- <= 0) return EIO;
      return inner_->ReadAt(offset, buffer, length, got);
    }
    int WriteAt(uint64_t o, const void* b, size_t l, size_t* w) override {
      return inner_->WriteAt(o, b, l, w);
    }
    int Sync() override { return inner_->Sync(); }
    int Truncate(uint64_t l) override { return inner_->Truncate(l); }
    int Size(uint64_t* l) override { return inner_->Size(l); }
    int TryLock(uint64_t o, uint64_t l, bool x) override { return inner_->TryLock(o, l, x); }
    int Unlock(uint64_t o, uint64_t l) override { return inner_->Unlock(o, l); }

   private:
    std::unique_ptr<env::File> inner_;
    int* left_;
  };
  int good_reads_;
};

TEST(ToolFilesRead, ReadsAnyLengthAndNamesTheFileOnEveryFailure) {
  Folder folder;
  // Longer than one read, so that the reading loop goes round.
  std::string big(3 * 1024 * 1024 + 17, 'x');
  big[12345] = '\0';
  std::ofstream(folder / "big.csv", std::ios::binary) << big;
  std::string data, error;
  ASSERT_TRUE(ReadWholeFile(env::Env::Default(), folder / "big.csv", &data, &error)) << error;
  EXPECT_EQ(data, big);

  fs::create_directory(folder / "sub");
  EXPECT_FALSE(ReadWholeFile(env::Env::Default(), folder / "sub", &data, &error));
  EXPECT_EQ(error, "cannot read " + (folder / "sub") + ": Is a directory");
  EXPECT_FALSE(ReadWholeFile(env::Env::Default(), folder / "missing.csv", &data, &error));
  EXPECT_EQ(error, "cannot read " + (folder / "missing.csv") + ": No such file or directory");

  // A read error part-way keeps nothing of what was read before it.
  FailingReads failing(2);
  EXPECT_FALSE(ReadWholeFile(&failing, folder / "big.csv", &data, &error));
  EXPECT_EQ(error, "cannot read " + (folder / "big.csv") + ": Input/output error");
  EXPECT_TRUE(data.empty());
}

TEST(ToolFilesRead, ReadsAPipeToItsEnd) {
  Folder folder;
  const std::string fifo = folder / "rows.csv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // More than a pipe's buffer, so the writer blocks until the reader drains it.
  const std::string text(200 * 1024, 'r');
  pid_t writer = fork();
  if (writer == 0) {
    std::ofstream(fifo, std::ios::binary) << text;
    _exit(0);
  }
  std::string data, error;
  exchange::WholeFileLimits pipes;
  pipes.pipes = true;
  EXPECT_TRUE(ReadWholeFile(env::Env::Default(), fifo, &data, &error, pipes)) << error;
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_EQ(data.size(), text.size());
  EXPECT_EQ(data, text);
}

// Inputs that never end, never start or are far too large are refused by
// name at once, before anything is read or allocated.
TEST(ToolFilesRead, DevicesFifosAndOversizedFilesAreRefusedByName) {
  Folder folder;
  const std::string fifo = folder / "query.qry";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string zero_link = folder / "zero.qry";
  fs::create_symlink("/dev/zero", zero_link);
  std::string data = "left over", error;
  // A FIFO nobody writes to: refused without waiting for a writer.
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadWholeFile(env::Env::Default(), fifo, &data, &error));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(error, "cannot read " + fifo + ": not a regular file");
  EXPECT_TRUE(data.empty());
  for (const std::string& endless : {std::string("/dev/zero"), zero_link}) {
    EXPECT_FALSE(ReadWholeFile(env::Env::Default(), endless, &data, &error)) << endless;
    EXPECT_EQ(error, "cannot read " + endless + ": not a regular file");
    // Even where pipes are welcome, a device is not one.
    exchange::WholeFileLimits pipes;
    pipes.pipes = true;
    EXPECT_FALSE(ReadWholeFile(env::Env::Default(), endless, &data, &error, pipes)) << endless;
  }

  exchange::WholeFileLimits small;
  small.max_bytes = 1000;
  std::ofstream(folder / "fits.csv", std::ios::binary) << std::string(1000, 'f');
  std::ofstream(folder / "big.csv", std::ios::binary) << std::string(1001, 'b');
  EXPECT_TRUE(ReadWholeFile(env::Env::Default(), folder / "fits.csv", &data, &error, small));
  EXPECT_EQ(data.size(), 1000u);
  EXPECT_FALSE(ReadWholeFile(env::Env::Default(), folder / "big.csv", &data, &error, small));
  EXPECT_EQ(error, "cannot read " + (folder / "big.csv") +
                       ": larger than 1000 bytes, the most read at once");
  EXPECT_TRUE(data.empty());
  // The default bound, on a file that holds nothing but claims to be larger.
  const std::string sparse = folder / "sparse.csv";
  { std::ofstream(sparse, std::ios::binary) << ""; }
  fs::resize_file(sparse, exchange::kMaxWholeFileBytes + 1);
  EXPECT_FALSE(ReadWholeFile(env::Env::Default(), sparse, &data, &error));
  EXPECT_EQ(error, "cannot read " + sparse + ": larger than 256 MB, the most read at once");

  // A pipe allowed by the caller is bounded too.
  pid_t writer = fork();
  if (writer == 0) {
    std::ofstream(fifo, std::ios::binary) << std::string(5000, 'p');
    _exit(0);
  }
  small.pipes = true;
  EXPECT_FALSE(ReadWholeFile(env::Env::Default(), fifo, &data, &error, small));
  EXPECT_EQ(error, "cannot read " + fifo + ": larger than 1000 bytes, the most read at once");
  kill(writer, SIGKILL);
  int status = 0;
  waitpid(writer, &status, 0);
}

TEST(ToolFilesWrite, AFailedWriteOrFlushLeavesTheOldFileOrNone) {
  struct Fault {
    const char* what;
    int write_errno;
    size_t short_bytes;
    int sync_errno;
    const char* reason;
  };
  const Fault faults[] = {
      {"disk full part-way", ENOSPC, 4096, 0, "No space left on device"},
      {"disk full at once", ENOSPC, 0, 0, "No space left on device"},
      {"flush fails", 0, 0, EIO, "Input/output error"},
  };
  const std::string text(100000, 'r');
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.what);
    for (const bool existed : {false, true}) {
      env::FaultEnv env;
      const std::string path = "/nowhere-on-disk/out.csv";
      if (existed) env.SetContents(path, "old contents\r\n");
      if (f.write_errno != 0) env.FailWriteAt(1, f.write_errno, f.short_bytes);
      if (f.sync_errno != 0) env.FailSyncAt(1, f.sync_errno);
      std::string error;
      EXPECT_FALSE(WriteWholeFile(&env, path, text, &error));
      EXPECT_EQ(error, std::string("cannot write ") + path + ": " + f.reason);
      EXPECT_EQ(env.Exists(path), existed);
      if (existed) EXPECT_EQ(env.Contents(path), "old contents\r\n");
      // The temporary file went with the failure.
      EXPECT_FALSE(env.Exists(path + ".tmp" + std::to_string(getpid()) + "-0"));
      // Without the fault the same call replaces the file.
      env.ClearFaults();
      ASSERT_TRUE(WriteWholeFile(&env, path, text, &error)) << error;
      EXPECT_EQ(env.Contents(path), text);
    }
  }
}

TEST(ToolFilesWrite, ReplacesRegularFilesOnlyKeepingPermissionsAndLinks) {
  Folder folder;
  std::string error;
  const std::string out = folder / "out.csv";
  std::ofstream(out) << "old";
  ASSERT_EQ(chmod(out.c_str(), 0600), 0);
  ASSERT_TRUE(WriteWholeFile(env::Env::Default(), out, "new", &error)) << error;
  EXPECT_EQ(Contents(out), "new");
  EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  // A link stays a link; the file it names gets the text.
  fs::create_symlink(out, folder / "link.csv");
  ASSERT_TRUE(WriteWholeFile(env::Env::Default(), folder / "link.csv", "linked", &error));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "link.csv")));
  EXPECT_EQ(Contents(out), "linked");
  EXPECT_EQ(folder.Entries(), 2u);  // no temporary file left behind
  // Devices and folders are not replaced.
  EXPECT_FALSE(WriteWholeFile(env::Env::Default(), "/dev/full", "x", &error));
  EXPECT_EQ(error, "cannot write /dev/full: not a regular file");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  fs::create_directory(folder / "sub");
  EXPECT_FALSE(WriteWholeFile(env::Env::Default(), folder / "sub", "x", &error));
  EXPECT_FALSE(WriteWholeFile(env::Env::Default(), folder / "no/such/folder.csv", "x", &error));
  EXPECT_EQ(error,
            "cannot write " + (folder / "no/such/folder.csv") + ": No such file or directory");
}

// Standard output pointed at `path` for the life of the object.
class StandardOutputTo {
 public:
  explicit StandardOutputTo(const char* path) : saved_(dup(STDOUT_FILENO)) {
    int fd = open(path, O_WRONLY);
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
  ~StandardOutputTo() {
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

TEST(ToolFilesWrite, StandardOutputOnAFullDeviceIsAnError) {
  std::string error;
  {
    StandardOutputTo full("/dev/full");
    EXPECT_FALSE(WriteStandardOutput("some text\n", &error));
  }
  EXPECT_EQ(error, "cannot write standard output: No space left on device");
  {
    StandardOutputTo null("/dev/null");
    EXPECT_TRUE(WriteStandardOutput(std::string(1 << 20, 'x'), &error));
    EXPECT_TRUE(CloseStandardOutput(&error)) << error;
    // Closed: a further write fails and says so; closing again is no fault.
    EXPECT_FALSE(WriteStandardOutput("late", &error));
    EXPECT_EQ(error, "cannot write standard output: Bad file descriptor");
    EXPECT_TRUE(CloseStandardOutput(&error));
  }
}

}  // namespace
}  // namespace vorsandt::tools
