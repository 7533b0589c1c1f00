// Runs the qvf tool on real files: a sound file, a damaged one, and one that
// is not a QVF file at all.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "runtime/env/env.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/container.h"
#include "storage/qvf/format.h"

namespace vorsandt::qvf {
namespace {

struct ToolRun {
  int exit_code;
  std::string output;
};

ToolRun RunTool(const std::string& args) {
  std::string command = std::string(QVF_BINARY) + " " + args + " 2>&1";
  ToolRun run{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) run.output += buf;
  int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class QvfToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorsandt_qvftool_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/ITEMS.QVF";
    Container c(env::Env::Default());
    ASSERT_EQ(c.Open(path_, Container::kCreate), 0);
    Tree tree(&c);
    for (uint32_t i = 0; i < 2000; ++i) {
      ASSERT_EQ(tree.Insert(BigEndian32(i) + std::string(i % 7 == 0 ? 3000 : 40, 'x'), 4), 0);
    }
    ASSERT_EQ(c.Close(), 0);
  }
  void TearDown() override {
    std::remove(path_.c_str());
    std::remove((dir_ + "/OTHER.TXT").c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_;
  std::string path_;
};

TEST_F(QvfToolTest, SoundFileChecksCleanAndInfoShowsTheHeader) {
  ToolRun check = RunTool("check --pages " + path_);
  EXPECT_EQ(check.exit_code, 0) << check.output;
  EXPECT_EQ(check.output, "");
  ToolRun info = RunTool("info " + path_);
  EXPECT_EQ(info.exit_code, 0);
  EXPECT_NE(info.output.find("change counter: 1\n"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("log: none"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("regions"), std::string::npos) << info.output;
  // A scratch folder is mounted without any option that keeps locks on
  // this computer.
  EXPECT_NE(info.output.find("\nlocks: no mount option keeps them on this computer\n"),
            std::string::npos)
      << info.output;
  // How a run of reads holds the lock, on the path the file got.
  EXPECT_NE(info.output.find("\nread runs: "), std::string::npos) << info.output;
}

TEST_F(QvfToolTest, DamagedPageIsReportedWithExitOne) {
  std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
  uint8_t header[kHeaderSize];
  f.read(reinterpret_cast<char*>(header), kHeaderSize);
  FileHeader h;
  ASSERT_EQ(DecodeHeader(header, &h), 0);
  // Scribble over the root page behind its header (child list or entries).
  f.seekp(static_cast<std::streamoff>(HomeAddress(h.root) + 100));
  std::string junk(100, '\x11');
  f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  f.close();
  ToolRun check = RunTool("check --pages " + path_);
  EXPECT_EQ(check.exit_code, 1) << check.output;
  EXPECT_NE(check.output.find(path_ + ": unit "), std::string::npos) << check.output;
}

TEST_F(QvfToolTest, NotAQvfFileOrMissingExitsTwo) {
  std::ofstream(dir_ + "/OTHER.TXT") << std::string(2000, 't');
  EXPECT_EQ(RunTool("check " + dir_ + "/OTHER.TXT").exit_code, 2);
  EXPECT_EQ(RunTool("info " + dir_ + "/OTHER.TXT").exit_code, 2);
  EXPECT_EQ(RunTool("check " + dir_ + "/MISSING.QVF").exit_code, 2);
  EXPECT_EQ(RunTool("frobnicate " + path_).exit_code, 2);
}

}  // namespace
}  // namespace vorsandt::qvf
