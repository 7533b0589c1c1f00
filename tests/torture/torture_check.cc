// torture_check: reopens the tables a worker left in a folder and checks them
// against its journal (see workload.h).
//
//   torture_check DIR [--journals N]
//
// Holds when:
//  1. every save the worker was told finished is present, with every record
//     and memo exactly as written, and nothing else (record order, each key's
//     order and the record counter all agree);
//  2. the one save begun and not reported is wholly present or wholly absent
//     (for a transaction: in both files or in neither);
//  3. a save reported failed is absent;
//  4. a journal that reached its end leaves nothing unreported;
//  5. the full check of every file (pages, regions, tables, keys) is clean,
//     the coordination file included.
// Before the tables were reported created, a file may be missing or hold an
// empty table. With --journals N the journals journal-0 .. journal-(N-1) of
// N contending workers, each with its own records, are merged.
//
// Exit status: 0 holds, 1 it does not (the reason on stderr), 2 bad usage.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/internal_error.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "tests/torture/workload.h"

namespace vorsandt::torture {
namespace {

int Fail(const std::string& why) {
  std::fprintf(stderr, "torture_check: %s\n", why.c_str());
  return 1;
}

int32_t Code() { return files::Errors().Code(); }

// Before "created": each table file is missing or opens as an empty table.
int CheckBeforeCreation() {
  for (app::Table t : kTables) {
    files::FileRecord* f = app::File(t);
    files::Open(f);
    if (Code() == files::kFileNotFound) continue;
    if (Code() != 0) {
      return Fail(std::string(app::Def(t).label) + " exists but does not open: code " +
                  std::to_string(Code()));
    }
    files::Errors().Clear();
    const int32_t records = files::Records(f);
    files::Close(f);
    if (records != 0) return Fail(std::string(app::Def(t).label) + " holds records already");
  }
  return 0;
}

bool NeverSaved(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  char header[512] = {};
  in.read(header, sizeof header);
  for (std::streamsize i = 0; i < in.gcount(); ++i) {
    if (header[i] != 0) return false;
  }
  return true;
}

int CheckFiles(bool created) {
  std::vector<std::string> names = TableFileNames();
  names.push_back(kCoordinationFile);
  for (const std::string& name : names) {
    if (access(name.c_str(), F_OK) != 0) continue;
    // A file whose first save was interrupted has no header yet (empty, or
    // zeros where the header goes): the driver takes it as never saved. The
    // coordination file may be left so at any time; a table file only
    // before the tables were reported created.
    if ((!created || name == kCoordinationFile) && NeverSaved(name)) continue;
    std::vector<std::string> faults;
    int status = 0;
    if (name == kCoordinationFile) {
      // Pages only: its entries are transaction numbers, not tables.
      status = qvf::CheckFile(env::Env::Default(), name, &faults) ? (faults.empty() ? 0 : 1) : 2;
    } else {
      status = qvf::FullCheckCommand(env::Env::Default(), name, &faults);
    }
    if (status == 0) continue;
    std::string text = name + ": check status " + std::to_string(status);
    for (const std::string& f : faults) text += "\n  " + f;
    return Fail(text);
  }
  return 0;
}

}  // namespace

int Main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: torture_check DIR [--journals N]\n");
    return 2;
  }
  int journals = 0;
  if (argc == 4) {
    if (std::string(argv[2]) != "--journals") return 2;
    journals = std::atoi(argv[3]);
  }
  if (chdir(argv[1]) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  app::InitDictionary(&qvf::QvfEntry);
  // A broken structure is a finding to report, not a reason to stop here.
  qvf::SetInternalErrorHandler([](int check) {
    std::fprintf(stderr, "torture_check: %s\n", qvf::InternalErrorText(check).c_str());
  });

  JournalState state;
  std::vector<Step> pending;
  std::string why;
  if (journals == 0) {
    if (!ReadJournal("journal", &state, &why)) return Fail(why);
    if (state.has_pending) pending.push_back(state.pending);
  } else {
    state.created = true;
    state.ended = true;
    for (int i = 0; i < journals; ++i) {
      JournalState one;
      if (!ReadJournal("journal-" + std::to_string(i), &one, &why)) return Fail(why);
      if (!one.created || !one.ended || one.has_pending) {
        return Fail("worker " + std::to_string(i) + " did not finish its journal");
      }
      state.model.insert(one.model.begin(), one.model.end());
      state.reported += one.reported;
    }
  }
  if (state.ended && !pending.empty()) return Fail("a step is unreported in a finished journal");

  if (!state.created) {
    if (int status = CheckBeforeCreation(); status != 0) return status;
    if (int status = CheckFiles(false); status != 0) return status;
    std::printf("ok: tables not yet created\n");
    return 0;
  }
  if (int32_t code = OpenTables(false); code != 0) {
    return Fail("the tables do not reopen: code " + std::to_string(code));
  }
  bool with_pending = false;
  if (!Verify(state.model, &why)) {
    std::string without = why;
    if (pending.empty()) return Fail(why);
    Model after = state.model;
    Apply(pending[0], &after);
    if (!Verify(after, &why)) {
      return Fail("neither before nor after the unreported step " + FormatStep(pending[0]) +
                  ":\n  before: " + without + "\n  after: " + why);
    }
    with_pending = true;
  }
  CloseTables();
  if (int status = CheckFiles(true); status != 0) return status;
  std::printf("ok: %d saves reported, %zu failed, unreported step %s\n", state.reported,
              state.failures.size(),
              pending.empty() ? "none"
              : with_pending  ? "present"
                              : "absent");
  return 0;
}

}  // namespace vorsandt::torture

int main(int argc, char** argv) { return vorsandt::torture::Main(argc, argv); }
