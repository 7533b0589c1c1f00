// The qvf tool on tables other processes hold, damaged tables, and files
// and folders the user may only read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "runtime/env/env.h"
#include "storage/qvf/driver/lock_area.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "tools/qvf/tool_run_test_support.h"

namespace vorsandt::tools {
namespace {

using qvf::testing::RunQvf;
using qvf::testing::ScratchFolder;
using qvf::testing::ToolRun;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder holding LOCATIONS with four rows.
class LocationsFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile("rows.csv", "LOC:LOCATION\nAttic\nBasement\nCellar\nGarage\n");
    WriteFile("one.csv", "LOC:LOCATION\nDen\n");
    ToolRun made = RunQvf("import LOCATIONS rows.csv");
    ASSERT_EQ(made.exit_code, 0) << made.output;
  }
  int Rows() {
    ToolRun out = RunQvf("export LOCATIONS");
    return out.exit_code != 0
               ? -1
               : static_cast<int>(std::count(out.output.begin(), out.output.end(), '\n')) - 1;
  }
  ScratchFolder folder_;
};

TEST_F(LocationsFolder, ImportIntoADamagedTableIsRefusedWithTheChecksVerdict) {
  // One letter of a record changed behind the storage's back: its key entry
  // no longer matches it.
  std::string bytes = ReadFile("LOCATIONS.QVF");
  const size_t at = bytes.find("Cellar");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'X';
  WriteFile("LOCATIONS.QVF", bytes);
  ToolRun check = RunQvf("check LOCATIONS.QVF");
  ASSERT_EQ(check.exit_code, 1) << check.output;
  const std::string first_fault = check.output.substr(0, check.output.find('\n'));

  ToolRun import = RunQvf("import LOCATIONS one.csv");
  EXPECT_EQ(import.exit_code, 1);
  EXPECT_NE(import.output.find("the table is damaged, nothing was imported: " + first_fault),
            std::string::npos)
      << import.output;
  EXPECT_EQ(ReadFile("LOCATIONS.QVF"), bytes);
}

// The test holds the writer range through a handle of its own, as a writer
// stopped in the middle of a save (kill -STOP) would.
TEST_F(LocationsFolder, AHeldTableMakesExportAndImportGiveUpWith32) {
  std::unique_ptr<env::File> file;
  ASSERT_EQ(env::Env::Default()->Open("LOCATIONS.QVF", env::kOpenReadWrite, &file), 0);
  qvf::FileLocks locks(env::Env::Default(), file.get());
  ASSERT_EQ(locks.LockWriter(), 0);
  for (const char* command :
       {"export LOCATIONS", "import LOCATIONS one.csv", "rebuild LOCATIONS"}) {
    ToolRun run = RunQvf(command, "VORSANDT_LOCK_WAIT=0.3");
    EXPECT_NE(run.exit_code, 0) << command;
    EXPECT_NE(run.output.find("LOCATIONS: File Is Already Locked (32)"), std::string::npos)
        << command << ": " << run.output;
  }
  locks.UnlockFile();
  EXPECT_EQ(Rows(), 4);
}

// Read-only files: as root every file is writable, so the tool runs as an
// unprivileged user there.
std::string AsOrdinaryUser() {
  return geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
}

TEST_F(LocationsFolder, ATableTheUserMayOnlyReadIsExportedAndRefusesImports) {
  if (geteuid() == 0 && system("setpriv --help >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "running as root without setpriv";
  }
  chmod(".", 0755);
  chmod("rows.csv", 0644);
  chmod("one.csv", 0644);
  chmod("LOCATIONS.QVF", 0444);
  ToolRun exported = RunQvf("export LOCATIONS", "", AsOrdinaryUser());
  EXPECT_EQ(exported.exit_code, 0) << exported.output;
  EXPECT_EQ(exported.output, "LOC:LOCATION\r\nAttic\r\nBasement\r\nCellar\r\nGarage\r\n");
  ToolRun imported = RunQvf("import LOCATIONS one.csv", "", AsOrdinaryUser());
  EXPECT_NE(imported.exit_code, 0);
  EXPECT_NE(imported.output.find("LOCATIONS: Access Denied (305)"), std::string::npos)
      << imported.output;

  // A missing table in a folder the user may not write to: the reason.
  std::filesystem::create_directory("closed");
  WriteFile("closed/one.csv", "LOC:LOCATION\nDen\n");
  chmod("closed/one.csv", 0644);
  chmod("closed", 0555);
  ToolRun refused = RunQvf("import LOCATIONS one.csv", "", "cd closed && " + AsOrdinaryUser());
  chmod("closed", 0755);
  EXPECT_NE(refused.exit_code, 0);
  EXPECT_NE(refused.output.find("LOCATIONS: Access Denied (305)"), std::string::npos)
      << refused.output;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("closed"),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace vorsandt::tools
