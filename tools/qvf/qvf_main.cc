// qvf: a command-line tool for QVF files.
//
//   qvf info FILE    header fields, regions, log state, page counts by class
//   qvf check FILE   walks every page; exit 0 when sound, 1 with one line per
//                    fault when not, 2 when the file cannot be read
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/env/env.h"
#include "storage/qvf/checker.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: qvf info FILE\n"
               "       qvf check FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
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
  if (command == "check") {
    std::vector<std::string> faults;
    if (!vorsandt::qvf::CheckFile(env, path, &faults)) {
      std::fprintf(stderr, "qvf: %s: %s\n", path.c_str(),
                   faults.empty() ? "cannot be read" : faults.front().c_str());
      return 2;
    }
    for (const std::string& f : faults) std::printf("%s: %s\n", path.c_str(), f.c_str());
    return faults.empty() ? 0 : 1;
  }
  return Usage();
}
