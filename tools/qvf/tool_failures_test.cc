// The qvf binary when its input cannot be read or its output cannot be
// written, and the CSV corner cases users meet: blank lines, CR line ends,
// NUL bytes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/exchange/csv.h"
#include "app/exchange/record_text.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "tools/qvf/exchange.h"
#include "tools/qvf/tool_run_test_support.h"

namespace vorsandt::tools {

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using qvf::testing::RunQvf;
using qvf::testing::ScratchFolder;
using qvf::testing::ToolRun;

// Runs `script` with bash; standard error (and whatever the script itself
// sends there) comes back as the output.
ToolRun Bash(const std::string& script) {
  ToolRun run;
  const std::string command = "bash -c '" + script + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) run.output += buf;
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// "qvf ARGS" for a script.
std::string Qvf(const std::string& args) { return std::string(QVF_BINARY) + " " + args; }

// A file write limit of 8 KiB for what follows in a script, the signal the
// limit raises ignored so that the write fails with an error instead.
const std::string kSmallDisk = "trap \"\" XFSZ; ulimit -f 8; ";

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ImportLocations(int rows) {
  std::string csv = "LOC:LOCATION\r\n";
  for (int r = 1; r <= rows; ++r) csv += "place number " + std::to_string(r) + "\r\n";
  std::ofstream("many.csv", std::ios::binary) << csv;
  ToolRun run = RunQvf("import LOCATIONS many.csv");
  ASSERT_EQ(run.exit_code, 0) << run.output;
}

// Bytes changed inside a record (a disk, another program): the export
// refuses the record instead of writing its garbage out as data.
TEST(QvfOutput, ARecordChangedFromOutsideStopsTheExportWithExitOne) {
  ScratchFolder folder;
  ImportLocations(5);
  ASSERT_TRUE(qvf::testing::ChangeStoredRecord("LOCATIONS.QVF", 0, "place number 3",
                                               "pl\x02"
                                               "ce n#mber 3"));
  for (const std::string& order : {""s, " --key LOC:LOC"s}) {
    ToolRun run = RunQvf("export LOCATIONS" + order + " --out out.csv");
    EXPECT_EQ(run.exit_code, 1) << order << run.output;
    EXPECT_NE(run.output.find("Invalid Data File (36)"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists("out.csv")) << order;
  }
  // The check names it too.
  ToolRun check = RunQvf("check LOCATIONS.QVF");
  EXPECT_EQ(check.exit_code, 1) << check.output;
}

TEST(QvfOutput, AFullDiskIsAnErrorAndNoPartOfAnOutFileStays) {
  ScratchFolder folder;
  ImportLocations(3000);  // about 50 KB of CSV
  // Standard output on a full device, for every command that writes there.
  for (const std::string& args :
       {std::string("export LOCATIONS"), std::string("tables LOCATIONS.QVF"),
        std::string("info LOCATIONS.QVF")}) {
    ToolRun run = Bash(Qvf(args) + " >/dev/full");
    EXPECT_EQ(run.exit_code, 1) << args;
    EXPECT_EQ(run.output, "qvf: cannot write standard output: No space left on device\n") << args;
  }
  // Standard output into a file on a disk that fills part-way.
  ToolRun run = Bash(kSmallDisk + Qvf("export LOCATIONS") + " >cut.csv");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "qvf: cannot write standard output: File too large\n");

  // --out: a new file is not made, an old one keeps its text, nothing else
  // is left in the folder.
  const auto before = std::distance(fs::directory_iterator("."), {});
  run = Bash(kSmallDisk + Qvf("export LOCATIONS --out new.csv"));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "qvf export: cannot write new.csv: File too large\n");
  EXPECT_FALSE(fs::exists("new.csv"));
  EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), before);
  std::ofstream("old.csv") << "kept\n";
  run = Bash(kSmallDisk + Qvf("export LOCATIONS --out old.csv"));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(Contents("old.csv"), "kept\n");
  // A device is not an export file.
  run = RunQvf("export LOCATIONS --out /dev/full");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "qvf export: cannot write /dev/full: not a regular file\n");
  // Room enough: the whole table.
  run = RunQvf("export LOCATIONS --out old.csv");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Contents("old.csv"), Contents("many.csv"));
}

TEST(QvfInput, ACsvThatCannotBeReadIsAMessageNamingIt) {
  ScratchFolder folder;
  fs::create_directory("some-folder");
  struct Case {
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {"some-folder", "Is a directory"},
      {"missing.csv", "No such file or directory"},
      // Reading this file at its start fails in the kernel: a real read error.
      {"/proc/self/mem", "Input/output error"},
  };
  for (const Case& c : cases) {
    ToolRun run = RunQvf("import LOCATIONS " + c.path);
    EXPECT_EQ(run.exit_code, 1) << c.path;
    EXPECT_EQ(run.output, "qvf import: cannot read " + c.path + ": " + c.reason + "\n");
  }
  EXPECT_FALSE(fs::exists("LOCATIONS.QVF"));
}

TEST(QvfInput, BlankLinesAndCrLineEndsAsAUserWritesThem) {
  ScratchFolder folder;
  const std::string claim_header = CsvLine(ColumnNames(app::Def(app::Table::kClaim)));
  // Blank lines at the end add nothing, in a one-column table and in one of
  // eight columns; lines ending in CR alone are rows.
  std::ofstream("loc.csv", std::ios::binary) << "LOC:LOCATION\r\nHall\r\nAttic\r\n\r\n\r\n";
  std::ofstream("mac.csv", std::ios::binary) << "LOC:LOCATION\rCellar\rGarage\r\r";
  std::ofstream("claim.csv", std::ios::binary) << claim_header << "1,2,R1,,,,open,notes\r\n\n \r\n";
  for (const char* args :
       {"import LOCATIONS loc.csv", "import LOCATIONS mac.csv", "import CLAIM claim.csv"}) {
    ToolRun run = RunQvf(args);
    EXPECT_EQ(run.exit_code, 0) << args << ": " << run.output;
  }
  ToolRun run = RunQvf("export LOCATIONS");
  EXPECT_EQ(run.output, "LOC:LOCATION\r\nHall\r\nAttic\r\nCellar\r\nGarage\r\n");
  // A blank line between rows is named by its line, and nothing is added.
  std::ofstream("gap.csv", std::ios::binary) << "LOC:LOCATION\r\nA\r\n\r\nB\r\n";
  run = RunQvf("import LOCATIONS gap.csv");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "line 3: a blank line before the last row\n");
  EXPECT_EQ(RunQvf("export LOCATIONS").output,
            "LOC:LOCATION\r\nHall\r\nAttic\r\nCellar\r\nGarage\r\n");
}

TEST(QvfInput, NulBytesInAMemoAndATextComeBackWhole) {
  ScratchFolder folder;
  const std::string row = "1,2,R\0one,,,,open,before\0after\r\n"s;
  const std::string csv = CsvLine(ColumnNames(app::Def(app::Table::kClaim))) + row;
  std::ofstream("nul.csv", std::ios::binary) << csv;
  ToolRun run = RunQvf("import CLAIM nul.csv");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  run = RunQvf("export CLAIM --out back.csv");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Contents("back.csv"), csv);
  // A memo ending in NUL is refused by its line, not shortened.
  std::ofstream("end.csv", std::ios::binary)
      << CsvLine(ColumnNames(app::Def(app::Table::kClaim))) << "2,2,R2,,,,open,end\0\r\n"s;
  run = RunQvf("import CLAIM end.csv");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output,
            "line 2: CLA:NOTES: the text ends in a NUL byte, which the memo cannot keep\n");
}

}  // namespace
}  // namespace vorsandt::tools
