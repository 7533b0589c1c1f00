// qvf: a command-line tool for QVF files.
//
//   qvf info FILE    header fields, regions, log state, page counts by class,
//                    and the read path the file gets when shared (lock-free
//                    on a local file system, under the lock on a network one)
//                    and whether a mount option keeps locks on this computer
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
//   qvf --counts COMMAND ...
//                    any command, followed on standard error by the lock
//                    calls and reads it made, per file and in total
//
// The settings file VORSANDT.ENV beside the tool is read as the program
// reads it, so that ZORNETFS chooses the read path here too.
//
// Whatever a command writes to standard output is checked to the last byte:
// output that cannot be written (a full disk, say) is reported on
// standard error and the exit status is 1, whatever the command found.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "runtime/env/allocator.h"
#include "runtime/env/env.h"
#include "runtime/env/file_system.h"
#include "runtime/format/locale.h"
#include "runtime/format/settings_file.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/driver/read_tenure.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "tools/common/tool_files.h"
#include "tools/qvf/exchange.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: qvf [--counts] COMMAND ...\n"
               "       qvf info FILE\n"
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

// The read path the file gets when shared with other processes, and why.
std::string ReadPathLines(vorsandt::env::Env* env, const std::string& path) {
  std::unique_ptr<vorsandt::env::File> file;
  if (env->Open(path, vorsandt::env::kOpenReadOnly, &file) != 0) return {};
  const vorsandt::env::ReadPath p = vorsandt::env::ChooseReadPath(file.get());
  std::string options;
  std::string locks;
  if (int e = file->MountOptions(&options); e != 0) {
    locks = std::string("mount options not known: ") + std::strerror(e);
  } else if (const std::string option = vorsandt::env::LocalOnlyLockOption(options);
             !option.empty()) {
    locks = "kept on this computer only (mounted with " + option +
            "): other computers sharing the folder do not see them";
  } else {
    locks = "no mount option keeps them on this computer";
  }
  const std::string bound = std::to_string(vorsandt::qvf::kTenureBoundUs / 1000) + " ms";
  const std::string quiet = " (up to " +
                            std::to_string(vorsandt::qvf::kTenureLongestBoundUs / 1000) +
                            " ms while nobody saves)";
  return std::string("shared reads: ") +
         (p.lock_free ? "lock-free while the header is unchanged (mapped header)"
                      : "every read under the reader lock, header read through the file") +
         "\nread runs: " +
         (p.lock_free ? "from a page missing from the cache on, the reader lock is kept across a "
                        "run's reads for " +
                            bound + " at a time" + quiet
                      : "the reader lock is taken and the header read once per " + bound + quiet +
                            " of a run's reads") +
         " (a list's page, its totals, a report, a tree, an export)" +
         "\nread path because: " + p.reason + "\nlocks: " + locks + "\n";
}

// "FILE: N lock calls, M reads" for every file the command touched.
std::string CountLines() {
  std::string text;
  for (const auto& [path, c] : vorsandt::env::AllIoCounts()) {
    if (c.lock_calls == 0 && c.reads == 0) continue;
    text += "counts: " + path + ": " + std::to_string(c.lock_calls) + " lock calls, " +
            std::to_string(c.reads) + " reads\n";
  }
  const vorsandt::env::IoCounts t = vorsandt::env::TotalIoCounts();
  text += "counts: total: " + std::to_string(t.lock_calls) + " lock calls, " +
          std::to_string(t.reads) + " reads\n";
  return text;
}

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
    *out = std::move(text) + ReadPathLines(env, path);
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
    const std::string self = argc > 0 ? argv[0] : "qvf";
    const size_t slash = self.find_last_of('/');
    // Only the settings that reach the storage matter here: the locale the
    // file is read into is thrown away.
    const std::string settings = vorsandt::format::SettingsFilePath(
        (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "VORSANDT");
    if (vorsandt::env::Env::Default()->Exists(settings)) {
      vorsandt::format::Locale scratch;
      vorsandt::format::LoadSettingsFile(settings, &scratch);
    }
    const bool counts = argc >= 2 && std::strcmp(argv[1], "--counts") == 0;
    if (counts) {
      argv[1] = argv[0];
      ++argv;
      --argc;
    }
    vorsandt::env::ResetIoCounts();
    const int status = Run(argc, argv, &out, &err);
    if (counts) err += CountLines();
    return Finish(status, out, err);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvf: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "qvf: unexpected failure\n");
  }
  return kOutputFailed;
}
