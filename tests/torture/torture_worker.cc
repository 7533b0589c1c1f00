// torture_worker: runs the workload in a folder and journals every save it
// is told finished (see workload.h).
//
//   torture_worker DIR [--steps N] [--seed S]
//       the workload over the real files of DIR; after a step that reports
//       an error it closes and reopens the tables, checks that they still
//       hold exactly the reported saves, and goes on.
//   torture_worker DIR --fault KIND:N [--crash keep|drop|tear:SEED] ...
//       the same over the fault-injecting in-memory environment. KIND is
//       stop-write or stop-sync (the simulated process stops at the Nth write
//       or flush, then crashes as --crash says), or fail-write-eio,
//       fail-write-enospc, fail-sync-eio (that call fails once), or none
//       (to count the calls of a whole run). At the end
//       the environment crashes (default drop: unflushed writes are lost) and
//       the files left are copied into DIR for torture_check. Prints
//       "writes W syncs S".
//   torture_worker DIR --fault lose-sync:N
//       over the real files, the Nth flush fails as on Linux: the writes it
//       should have made durable are dropped from the disk image although a
//       later flush succeeds (forgetful_env.h); after the run the files are
//       replaced by that image, as a crash would leave them.
//   torture_worker DIR --contend ID [--seconds T] [--steps N]
//       one of several processes sharing the tables: its records are the
//       numbers from 1 + 1000*ID; journal DIR/journal-ID.
//   torture_worker DIR --reader [--seconds T]
//       reads every table over and over; each record must be whole.
//   torture_worker DIR --scanner [--seconds T]
//       the same in record order and in the order of every key, and prints
//       what became of its optimistic reads.
//
// Exit status: 0 done, 3 the files disagree with the reported saves (the
// reason on stderr), 2 bad usage.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_state.h"
#include "runtime/files/read_run.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/optimistic_read.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/driver/read_tenure.h"
#include "storage/qvf/internal_error.h"
#include "tests/torture/forgetful_env.h"
#include "tests/torture/workload.h"

namespace vorsandt::torture {
namespace {

struct Options {
  std::string dir;
  int steps = 40;
  uint32_t seed = 1;
  std::string fault_kind;
  int64_t fault_at = 0;
  env::FaultEnv::CrashMode crash = env::FaultEnv::CrashMode::kDropUnsynced;
  uint32_t crash_seed = 0;
  int contend = -1;
  bool reader = false;
  bool scanner = false;
  bool runs = false;  // each scan of a reader is one declared read run
  double seconds = 10;
};

int Usage() {
  std::fprintf(stderr,
               "usage: torture_worker DIR [--steps N] [--seed S] [--fault KIND:N]\n"
               "         [--crash keep|drop|tear:SEED] [--contend ID]\n"
               "         [--reader|--scanner|--reader-runs|--scanner-runs]\n"
               "         [--seconds T]\n");
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* o) {
  if (argc < 2) return false;
  o->dir = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--reader" || a == "--scanner" || a == "--reader-runs" || a == "--scanner-runs") {
      o->reader = true;
      o->scanner = a.rfind("--scanner", 0) == 0;
      o->runs = a.find("-runs") != std::string::npos;
      continue;
    }
    if (v == nullptr) return false;
    ++i;
    if (a == "--steps") {
      o->steps = std::atoi(v);
    } else if (a == "--seed") {
      o->seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (a == "--seconds") {
      o->seconds = std::atof(v);
    } else if (a == "--contend") {
      o->contend = std::atoi(v);
    } else if (a == "--fault") {
      const char* colon = std::strchr(v, ':');
      if (colon == nullptr) return false;
      o->fault_kind.assign(v, colon);
      o->fault_at = std::atoll(colon + 1);
    } else if (a == "--crash") {
      const std::string c = v;
      if (c == "keep") {
        o->crash = env::FaultEnv::CrashMode::kKeepUnsynced;
      } else if (c == "drop") {
        o->crash = env::FaultEnv::CrashMode::kDropUnsynced;
      } else if (c.rfind("tear:", 0) == 0) {
        o->crash = env::FaultEnv::CrashMode::kTearUnsynced;
        o->crash_seed = static_cast<uint32_t>(std::strtoul(c.c_str() + 5, nullptr, 10));
      } else {
        return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

bool ArmFault(env::FaultEnv* fault, const Options& o) {
  if (o.fault_kind == "none") {
    // the fault-injecting environment without a fault: counts the calls
  } else if (o.fault_kind == "stop-write") {
    fault->StopAtWrite(o.fault_at);
  } else if (o.fault_kind == "stop-sync") {
    fault->StopAtSync(o.fault_at);
  } else if (o.fault_kind == "fail-write-eio") {
    fault->FailWriteAt(o.fault_at, EIO);
  } else if (o.fault_kind == "fail-write-enospc") {
    fault->FailWriteAt(o.fault_at, ENOSPC);
  } else if (o.fault_kind == "fail-sync-eio") {
    fault->FailSyncAt(o.fault_at, EIO);
  } else {
    return false;
  }
  return true;
}

// Copies the files the crash left into the real folder.
void DumpFiles(env::FaultEnv* fault) {
  std::vector<std::string> names = TableFileNames();
  names.push_back(kCoordinationFile);
  for (const std::string& name : names) {
    if (!fault->Exists(name)) continue;
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    const std::string data = fault->Contents(name);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
}

// After a reported failure: the tables reopen and hold exactly the reported
// saves (of this process's share when others write too).
bool ReopenAndVerify(const Model& model, int base, int span, std::string* why) {
  if (int32_t code = CloseTables(); code != 0) {
    *why = "closing after a failure failed with " + std::to_string(code);
    return false;
  }
  if (int32_t code = OpenTables(false); code != 0) {
    *why = "reopen after a failure failed with " + std::to_string(code);
    return false;
  }
  return Verify(model, why, base, span);
}

int RunReader(const Options& o) {
  const auto stop = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.seconds);
  if (int32_t code = OpenTables(false); code != 0) {
    std::fprintf(stderr, "reader: open failed with %d\n", code);
    return 3;
  }
  int scans = 0;
  while (std::chrono::steady_clock::now() < stop) {
    std::string why;
    std::optional<files::ReadRun> run;
    if (o.runs) run.emplace();
    if (!(o.scanner ? CheckConsistentInEveryOrder(&why) : CheckConsistent(&why))) {
      std::fprintf(stderr, "reader: %s\n", why.c_str());
      return 3;
    }
    ++scans;
  }
  CloseTables();
  if (o.scanner) {
    const qvf::OptimisticReadCounts c = qvf::OptimisticReadTotals();
    std::printf(
        "scanner scans %d, calls served unlocked %llu, locked at a miss %llu, "
        "made again after a save %llu",
        scans, static_cast<unsigned long long>(c.served), static_cast<unsigned long long>(c.locked),
        static_cast<unsigned long long>(c.retried));
  } else {
    std::printf("reader scans %d", scans);
  }
  if (o.runs) {
    const qvf::ReadTenureCounts t = qvf::ReadTenureTotals();
    std::printf(", in runs: tenures %llu, calls served in one %llu, ended at the bound %llu",
                static_cast<unsigned long long>(t.begun), static_cast<unsigned long long>(t.served),
                static_cast<unsigned long long>(t.expired));
  }
  std::printf("\n");
  return 0;
}

int Run(const Options& o, env::FaultEnv* fault) {
  const bool contending = o.contend >= 0;
  const int base = contending ? 1 + 1000 * o.contend : 1;
  const int span = contending ? 1000 : 0;
  Journal journal(contending ? "journal-" + std::to_string(o.contend) : "journal");
  if (!journal.ok()) {
    std::fprintf(stderr, "cannot write the journal in %s\n", o.dir.c_str());
    return 2;
  }
  auto stopped = [&] { return fault != nullptr && fault->Stopped(); };
  int32_t code = OpenTables(true);
  if (code != 0) {
    if (stopped()) return 0;
    journal.Line("openfail " + std::to_string(code));
    CloseTables();
    code = OpenTables(true);
    if (code != 0) {
      std::fprintf(stderr, "the tables do not open again after a failure: %d\n", code);
      return 3;
    }
  }
  journal.Line("created");
  std::mt19937 random(o.seed + static_cast<uint32_t>(o.contend + 1) * 7919u);
  Model model;
  int next_number = base;
  const auto stop = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.seconds);
  for (int s = 1; s <= o.steps; ++s) {
    if (contending && std::chrono::steady_clock::now() >= stop) break;
    const Step step = NextStep(&random, model, s, base, &next_number, true);
    if (step.ops.empty()) break;
    journal.Line("begin " + FormatStep(step));
    std::string what;
    code = RunStep(step, &what, contending ? 5 : 0);
    if (code == 0) {
      journal.Line("ok " + std::to_string(s));
      Apply(step, &model);
      continue;
    }
    // A stopped simulated process reports nothing more: it is dead.
    if (stopped()) return 0;
    journal.Line("fail " + std::to_string(s) + " " + std::to_string(code));
    std::fprintf(stderr, "step %d: %s failed with %d\n", s, what.c_str(), code);
    std::string why;
    if (!ReopenAndVerify(model, base, span, &why)) {
      std::fprintf(stderr, "after the failure of step %d: %s\n", s, why.c_str());
      return 3;
    }
  }
  std::string why;
  if (!Verify(model, &why, base, span)) {
    if (stopped()) return 0;
    std::fprintf(stderr, "at the end: %s\n", why.c_str());
    return 3;
  }
  CloseTables();
  if (stopped()) return 0;
  journal.Line("end");
  return 0;
}

}  // namespace
}  // namespace vorsandt::torture

int main(int argc, char** argv) {
  using namespace vorsandt;
  torture::Options o;
  if (!torture::ParseOptions(argc, argv, &o)) return torture::Usage();
  if (chdir(o.dir.c_str()) != 0) {
    std::perror(o.dir.c_str());
    return 2;
  }
  static std::unique_ptr<env::FaultEnv> fault;
  // Ends a simulated process: the crash decides what its unflushed writes
  // left, and the files are copied out for the checker.
  static auto finish = [o](int status, bool close) {
    std::printf("writes %lld syncs %lld\n", static_cast<long long>(fault->Writes()),
                static_cast<long long>(fault->Syncs()));
    if (close) torture::CloseTables();
    fault->Crash(o.crash, o.crash_seed);
    torture::DumpFiles(fault.get());
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(status);  // the driver's handles died with the simulated crash
  };
  if (!o.fault_kind.empty() && o.fault_kind != "lose-sync") {
    fault = std::make_unique<env::FaultEnv>();
    if (!torture::ArmFault(fault.get(), o)) return torture::Usage();
    qvf::SetDriverEnvForTesting(fault.get());
    // Once the simulated process has stopped, its reads fail too and the
    // storage stops the program: that is where this process dies. Any other
    // internal error is a fault.
    qvf::SetInternalErrorHandler([](int check) {
      if (fault->Stopped()) finish(0, false);
      std::fprintf(stderr, "%s\n", qvf::InternalErrorText(check).c_str());
      finish(3, false);
    });
  }
  std::unique_ptr<torture::ForgetfulEnv> forgetful;
  if (o.fault_kind == "lose-sync") {
    fault.reset();
    forgetful = std::make_unique<torture::ForgetfulEnv>(env::Env::Default(), o.fault_at);
    qvf::SetDriverEnvForTesting(forgetful.get());
  }
  app::InitDictionary(&qvf::QvfEntry);
  const int status = o.reader ? torture::RunReader(o) : torture::Run(o, fault.get());
  if (fault) finish(status, true);
  if (forgetful) {
    // The machine crashes after the run: the files keep what reached the disk.
    torture::CloseTables();
    std::printf("overlapping writes %lld\n",
                static_cast<long long>(forgetful->OverlappingWrites()));
    std::printf("syncs %lld\n", static_cast<long long>(forgetful->Syncs()));
    for (const auto& [path, data] : forgetful->DurableImages()) {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    std::fflush(stdout);
    _exit(status);
  }
  return status;
}
