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
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/env/env.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/table/qvf_table_commands.h"
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

int CheckPages(vorsandt::env::Env* env, const std::string& path) {
  std::vector<std::string> faults;
  if (!vorsandt::qvf::CheckFile(env, path, &faults)) {
    std::fprintf(stderr, "qvf: %s: %s\n", path.c_str(),
                 faults.empty() ? "cannot be read" : faults.front().c_str());
    return 2;
  }
  for (const std::string& f : faults) std::printf("%s: %s\n", path.c_str(), f.c_str());
  return faults.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    std::string out, err;
    int status = vorsandt::tools::RunExchangeCommand(argv[1], {argv + 2, argv + argc}, &out, &err);
    if (status >= 0) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      std::fputs(err.c_str(), stderr);
      return status;
    }
  }
  if (argc == 4 && std::strcmp(argv[1], "check") == 0 && std::strcmp(argv[2], "--pages") == 0) {
    return CheckPages(vorsandt::env::Env::Default(), argv[3]);
  }
  if (argc != 3) return Usage();
  const std::string command = argv[1];
  const std::string path = argv[2];
  vorsandt::env::Env* env = vorsandt::env::Env::Default();
  if (command == "info") {
    std::string text;
    if (!vorsandt::qvf::DescribeFile(env, path, &text)) {
      std::fprintf(stderr, "qvf: %s: %s\n", path.c_str(), text.c_str());
      return 2;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  // check, tables and definition: the table layer's commands, which include
  // the page walk for check.
  std::string out, err;
  int status = vorsandt::qvf::RunTableCommand(env, command, path, &out, &err);
  if (status >= 0) {
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return status;
  }
  return Usage();
}
