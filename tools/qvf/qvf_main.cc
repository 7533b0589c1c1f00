// qvf: a command-line tool for QVF files.
//
//   qvf info FILE    header fields, regions, log state, page counts by class
//   qvf check FILE   walks every page and checks every table; exit 0 when
//                    sound, 1 with one line per fault when not, 2 when the
//                    file cannot be read
//   qvf check --pages FILE
//                    the page walk alone, for containers that hold no tables
//   qvf tables FILE  the tables of a file, in directory order
//   qvf definition FILE[!TABLE]
//                    a table's stored fields, memos and keys
//   qvf export TABLE [--key KEYNAME] [--out FILE.csv]
//   qvf import TABLE FILE.csv
//   qvf rebuild TABLE
//                    the application's tables in the working directory as
//                    CSV, and their keys rebuilt (exchange.h)
//
// Whatever a command writes to standard output is checked to the last byte:
// output that cannot be written (a full disk, say) is reported on
// standard error and the exit status is 1, whatever the command found.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "runtime/env/allocator.h"
#include "runtime/env/env.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "tools/common/tool_files.h"
#include "tools/qvf/exchange.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: qvf info FILE\n"
               "       qvf check [--pages] FILE\n"
               "       qvf tables FILE\n"
               "       qvf definition 'FILE[!TABLE]'\n"
               "       qvf export TABLE [--key KEYNAME] [--out FILE.csv]\n"
               "       qvf import TABLE FILE.csv\n"
               "       qvf rebuild TABLE\n");
  return 2;
}

// Exit status when standard output could not be written.
constexpr int kOutputFailed = 1;

int CheckPages(vorsandt::env::Env* env, const std::string& path, std::string* out,
               std::string* err) {
  std::vector<std::string> faults;
  if (!vorsandt::qvf::CheckFile(env, path, &faults)) {
    *err = "qvf: " + path + ": " + (faults.empty() ? "cannot be read" : faults.front()) + "\n";
    return 2;
  }
  for (const std::string& f : faults) *out += path + ": " + f + "\n";
  return faults.empty() ? 0 : 1;
}

// Runs one command: `out` for standard output, `err` for standard error.
int Run(int argc, char** argv, std::string* out, std::string* err) {
  if (argc >= 2) {
    int status = vorsandt::tools::RunExchangeCommand(argv[1], {argv + 2, argv + argc}, out, err);
    if (status >= 0) return status;
  }
  vorsandt::env::Env* env = vorsandt::env::Env::Default();
  if (argc == 4 && std::strcmp(argv[1], "check") == 0 && std::strcmp(argv[2], "--pages") == 0) {
    return CheckPages(env, argv[3], out, err);
  }
  if (argc != 3) return Usage();
  const std::string command = argv[1];
  const std::string path = argv[2];
  if (command == "info") {
    std::string text;
    if (!vorsandt::qvf::DescribeFile(env, path, &text)) {
      *err = "qvf: " + path + ": " + text + "\n";
      return 2;
    }
    *out = std::move(text);
    return 0;
  }
  // check, tables and definition: the table layer's commands, which include
  // the page walk for check.
  int status = vorsandt::qvf::RunTableCommand(env, command, path, out, err);
  return status >= 0 ? status : Usage();
}

// Writes what a command produced; a failed write of standard output decides
// the exit status.
int Finish(int status, const std::string& out, const std::string& err) {
  std::string error;
  const bool written = vorsandt::tools::WriteStandardOutput(out, &error) &&
                       vorsandt::tools::CloseStandardOutput(&error);
  std::fputs(err.c_str(), stderr);
  if (written) return status;
  std::fprintf(stderr, "qvf: %s\n", error.c_str());
  return kOutputFailed;
}

}  // namespace

int main(int argc, char** argv) {
  vorsandt::env::KeepFreedMemoryForReuse();
  // Nothing below throws by design; a failure to allocate still ends with a
  // message and a status, not an abort.
  try {
    std::string out, err;
    const int status = Run(argc, argv, &out, &err);
    return Finish(status, out, err);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvf: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "qvf: unexpected failure\n");
  }
  return kOutputFailed;
}
