// Runs the same workloads over the ITEMS table in the native table driver
// (A) and in SQLite (B), alternating A B A B in fresh files of one temporary
// folder, and prints for every workload the ratio of the times A/B: median,
// minimum and maximum over the repetitions, then the median ratio of CPU
// times and the median milliseconds of each side. Ratios below 1 mean the
// native driver was faster.
//
//   storage_vs_sqlite [--n ROWS] [--reps R] [--saves S] [--dir PARENT] [--keep]
//                     [--loads-only] [--dirty-pages P] [--clean-cache-mib M]
//                     [--locked-reads]
//
// --locked-reads makes every native read call take the reader lock (no
// optimistic reads), to compare both paths in one binary.
// --loads-only runs only the two bulk loads (for tuning their time and
// memory); --dirty-pages sets how many changed leaves a native file keeps
// decoded before it parks the least recently used ones in encoded form
// (more when its retired pages gave up memory; storage/qvf/page_cache.h); --clean-cache-mib sets the memory the native
// files of the process may keep in decoded clean pages beyond the page
// cache's 100 (its retired tier; 64 MiB unless set).
//
// Defaults: 10,000 rows, 5 repetitions, 2,000 per-call adds and as many
// per-call rewrites (--saves lowers them, for profiling runs), a folder
// under $TMPDIR or /tmp, deleted at the end unless --keep.
// Per-call saves are compared with three SQLite set-ups: rollback journal
// with synchronous=FULL (the one that saves like the native driver: every
// change durable when the call returns) and, for reference only, WAL with
// FULL and with NORMAL. Reference lines end in "_ref" and do not count for
// the last line, "worst RATIO NAME", the highest median ratio.
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "bench/bench_data.h"
#include "bench/engine.h"
#include "bench/io_counters.h"
#include "bench/qvf_engine.h"
#include "bench/sqlite_engine.h"
#include "runtime/env/allocator.h"
#include "storage/qvf/container.h"
#include "storage/qvf/driver/optimistic_read.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::bench {
namespace {

constexpr uint32_t kSeed = 20261208;
constexpr int kSeekRows = 100;

struct Options {
  int rows = 10000;
  int reps = 5;
  int saves = kReservedCodes;
  std::string parent;
  bool keep = false;
  bool loads_only = false;
};

struct Sample {
  double wall = 0;  // seconds
  double cpu = 0;
  IoCounters io;  // during the call
  WorkResult result;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Sample Measure(const std::function<WorkResult()>& work) {
  Sample s;
  const IoCounters io = ReadIoCounters();
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  s.result = work();
  s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  s.cpu = CpuSeconds() - cpu;
  const IoCounters after = ReadIoCounters();
  s.io.flushes = after.flushes - io.flushes;
  s.io.bytes_written = after.bytes_written - io.bytes_written;
  return s;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Line {
  std::string name;
  bool reference = false;
  bool failed = false;
  std::string mismatch;
  std::vector<double> ratio, cpu_ratio, a_ms, b_ms;
};

struct SaveIo {
  int64_t calls = 0, flushes = 0, bytes = 0;
};

class Report {
 public:
  void Add(const std::string& name, bool reference, const Sample& a, const Sample& b) {
    Line& line = LineNamed(name, reference);
    if (!a.result.ok || !b.result.ok) {
      line.failed = true;
      return;
    }
    if (a.result.rows != b.result.rows || a.result.checksum != b.result.checksum) {
      char text[160];
      std::snprintf(text, sizeof text, "rows %lld/%lld checksum %lld/%lld",
                    static_cast<long long>(a.result.rows), static_cast<long long>(b.result.rows),
                    static_cast<long long>(a.result.checksum),
                    static_cast<long long>(b.result.checksum));
      line.mismatch = text;
    }
    line.ratio.push_back(a.wall / std::max(b.wall, 1e-9));
    line.cpu_ratio.push_back(a.cpu / std::max(b.cpu, 1e-6));
    line.a_ms.push_back(a.wall * 1000);
    line.b_ms.push_back(b.wall * 1000);
  }

  void AddIo(const std::string& name, const Sample& s) {
    SaveIo& io = io_[name];
    io.calls += s.result.rows;
    io.flushes += s.io.flushes;
    io.bytes += s.io.bytes_written;
  }

  void Note(const std::string& text) { notes_.push_back(text); }

  // Prints the table; returns false when a workload failed or disagreed.
  bool Print() const {
    bool good = true;
    const Line* worst = nullptr;
    for (const Line& line : lines_) {
      if (line.failed || line.ratio.empty()) {
        std::printf("%s FAILED\n", line.name.c_str());
        good = false;
        continue;
      }
      const double median = Median(line.ratio);
      std::printf("%s %.3f %.3f %.3f cpu %.3f ms %.2f %.2f%s%s\n", line.name.c_str(), median,
                  *std::min_element(line.ratio.begin(), line.ratio.end()),
                  *std::max_element(line.ratio.begin(), line.ratio.end()), Median(line.cpu_ratio),
                  Median(line.a_ms), Median(line.b_ms), line.mismatch.empty() ? "" : " MISMATCH ",
                  line.mismatch.c_str());
      if (!line.mismatch.empty()) good = false;
      if (!line.reference && (worst == nullptr || median > Median(worst->ratio))) worst = &line;
    }
    for (const auto& [name, io] : io_) {
      const double calls = static_cast<double>(std::max<int64_t>(io.calls, 1));
      std::printf("io %s fsyncs/save %.2f bytes/save %.0f\n", name.c_str(),
                  static_cast<double>(io.flushes) / calls, static_cast<double>(io.bytes) / calls);
    }
    for (const std::string& note : notes_) std::printf("%s\n", note.c_str());
    if (worst != nullptr) {
      std::printf("worst %.3f %s\n", Median(worst->ratio), worst->name.c_str());
    } else {
      std::printf("worst nan none\n");
    }
    return good;
  }

 private:
  Line& LineNamed(const std::string& name, bool reference) {
    for (Line& line : lines_) {
      if (line.name == name) return line;
    }
    lines_.push_back(Line{name, reference, false, {}, {}, {}, {}, {}});
    return lines_.back();
  }

  std::vector<Line> lines_;
  std::map<std::string, SaveIo> io_;
  std::vector<std::string> notes_;
};

// The inputs of the workloads, drawn once from fixed seeds.
struct Inputs {
  std::vector<Row> adds;
  std::vector<int16_t> put_codes;
  std::vector<int64_t> put_cents;
  std::vector<int16_t> lookups;
  std::vector<int16_t> cold_lookups;
  std::vector<std::string> locations;
  std::vector<Seek> seeks;
  std::vector<Seek> cold_seeks;
  std::vector<int16_t> rewrite_codes;
  std::vector<std::string> rewrite_locations;
  std::vector<int16_t> delete_codes;
};

std::vector<int16_t> DistinctCodes(const Dataset& data, int count, std::mt19937& rng) {
  std::vector<int> picks(data.coded);
  for (int i = 0; i < data.coded; ++i) picks[i] = i;
  std::shuffle(picks.begin(), picks.end(), rng);
  std::vector<int16_t> codes;
  for (int i = 0; i < std::min(count, data.coded); ++i) codes.push_back(data.items[picks[i]].code);
  return codes;
}

Inputs MakeInputs(const Dataset& data, int saves) {
  Inputs in;
  std::mt19937 rng(kSeed + 1);
  for (int j = 0; j < saves; ++j) {
    in.adds.push_back(MakeRow(CodeAt(data.coded + j, data.rows), static_cast<uint32_t>(rng())));
  }
  in.put_codes = DistinctCodes(data, saves, rng);
  for (size_t i = 0; i < in.put_codes.size(); ++i) in.put_cents.push_back(rng() % 500000);
  const int lookups = std::min(data.coded, 20000);
  for (int i = 0; i < lookups; ++i) in.lookups.push_back(data.items[rng() % data.coded].code);
  for (int i = 0; i < std::min(lookups, 2000); ++i) {
    in.cold_lookups.push_back(data.items[rng() % data.coded].code);
  }
  for (int i = 0; i < 50; ++i) in.locations.push_back(LocationName(rng() % kLocations));
  const char* const starts[] = {"A", "Cab", "D", "G", "L", "Mi", "P", "R", "S", "T", "W"};
  for (int i = 0; i < 250; ++i) {
    Seek seek{LocationName(rng() % kLocations), starts[rng() % 11]};
    (i < 200 ? in.seeks : in.cold_seeks).push_back(seek);
  }
  in.rewrite_codes = DistinctCodes(data, std::min(5000, data.rows / 2), rng);
  for (size_t i = 0; i < in.rewrite_codes.size(); ++i) {
    in.rewrite_locations.push_back(LocationName(rng() % kLocations));
  }
  in.delete_codes = DistinctCodes(data, data.rows / 10, rng);
  return in;
}

const char* const kKeyNames[] = {"", "code", "loc", "policy", "items", "serials"};

bool Run(const Options& options) {
  app::InitDictionary(&qvf::QvfEntry);
  std::string pattern =
      (std::filesystem::path(options.parent) / "storage_vs_sqlite_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return false;
  }
  const std::filesystem::path folder = pattern;
  std::filesystem::current_path(folder);

  const Dataset data = MakeDataset(options.rows, kSeed);
  const Inputs in = MakeInputs(data, options.saves);
  std::printf("# storage_vs_sqlite: rows %d (%d with a code), reps %d, folder %s\n", data.rows,
              data.coded, options.reps, folder.c_str());
  std::printf("# NAME median min max (time ratio native/SQLite) cpu MEDIAN ms NATIVE SQLITE\n");
  std::fflush(stdout);

  std::unique_ptr<Engine> a = MakeQvfEngine();
  std::unique_ptr<Engine> b = MakeSqliteEngine("items.db", {"DELETE", "FULL"});
  std::unique_ptr<Engine> wal_full = MakeSqliteEngine("items_wal_full.db", {"WAL", "FULL"});
  std::unique_ptr<Engine> wal_normal = MakeSqliteEngine("items_wal_normal.db", {"WAL", "NORMAL"});
  Report report;
  int64_t peak_a = 0, peak_b = 0;
  int64_t size_load_a = 0, size_load_b = 0, size_random_a = 0, size_random_b = 0;
  int64_t size_end_a = 0, size_end_b = 0, size_saves_a = 0, size_saves_b = 0;
  int64_t size_changes_a = 0, size_changes_b = 0;

  auto pair = [&](const std::string& name, const std::function<WorkResult(Engine&)>& work) {
    const Sample sa = Measure([&] { return work(*a); });
    const Sample sb = Measure([&] { return work(*b); });
    report.Add(name, false, sa, sb);
  };

  for (int rep = 0; rep < options.reps; ++rep) {
    a->Remove();
    b->Remove();
    // Loads, with the peak of resident memory each one adds.
    {
      ResetPeakResident();
      int64_t base = ResidentBytes();
      const Sample sa = Measure([&] { return a->Load(data, false); });
      peak_a = std::max(peak_a, PeakResidentBytes() - base);
      size_random_a = FileBytes(a->Paths());
      ResetPeakResident();
      base = ResidentBytes();
      const Sample sb = Measure([&] { return b->Load(data, false); });
      peak_b = std::max(peak_b, PeakResidentBytes() - base);
      size_random_b = FileBytes(b->Paths());
      report.Add("load_random", false, sa, sb);
    }
    a->Remove();
    b->Remove();
    pair("load_ordered", [&](Engine& e) { return e.Load(data, true); });
    size_load_a = FileBytes(a->Paths());
    size_load_b = FileBytes(b->Paths());
    if (options.loads_only) {
      std::fprintf(stderr, "rep %d done\n", rep + 1);
      continue;
    }

    // Per-call saves on the loaded tables; the WAL set-ups on copies.
    for (Engine* e : {wal_full.get(), wal_normal.get()}) e->Remove();
    std::filesystem::copy_file("items.db", "items_wal_full.db");
    std::filesystem::copy_file("items.db", "items_wal_normal.db");
    bool open = a->Open() && b->Open() && wal_full->Open() && wal_normal->Open();
    for (int kind = 0; kind < 2 && open; ++kind) {
      const std::string name = kind == 0 ? "save_add" : "save_put";
      auto work = [&](Engine& e) {
        return kind == 0 ? e.AddEach(in.adds) : e.PutEach(in.put_codes, in.put_cents);
      };
      const Sample sa = Measure([&] { return work(*a); });
      const Sample sb = Measure([&] { return work(*b); });
      const Sample sw = Measure([&] { return work(*wal_full); });
      const Sample sn = Measure([&] { return work(*wal_normal); });
      report.Add(name + "_rollback_full", false, sa, sb);
      report.Add(name + "_wal_full_ref", true, sa, sw);
      report.Add(name + "_wal_normal_ref", true, sa, sn);
      report.AddIo(name + " native", sa);
      report.AddIo(name + " sqlite_rollback_full", sb);
      report.AddIo(name + " sqlite_wal_full", sw);
      report.AddIo(name + " sqlite_wal_normal", sn);
    }
    for (Engine* e : {a.get(), b.get(), wal_full.get(), wal_normal.get()}) e->Close();
    wal_full->Remove();
    wal_normal->Remove();
    size_saves_a = FileBytes(a->Paths());
    size_saves_b = FileBytes(b->Paths());
    if (!open) {
      std::fprintf(stderr, "opening the loaded tables failed\n");
      return false;
    }

    // Reads with warm caches, then changes in one transaction each.
    if (!a->Open() || !b->Open()) return false;
    pair("get_by_key", [&](Engine& e) { return e.GetByCode(in.lookups); });
    pair("loc_range", [&](Engine& e) { return e.LocationRange(in.locations); });
    for (int key = 1; key <= 5; ++key) {
      pair(std::string("scan_") + kKeyNames[key], [&](Engine& e) { return e.ScanKey(key); });
    }
    pair("view_seek100", [&](Engine& e) { return e.SeekRead(in.seeks, kSeekRows); });
    pair("rewrite_loc",
         [&](Engine& e) { return e.RewriteLocation(in.rewrite_codes, in.rewrite_locations); });
    pair("delete_10pct", [&](Engine& e) { return e.DeleteCodes(in.delete_codes); });
    pair("scan_after_delete", [&](Engine& e) { return e.ScanKey(2); });
    a->Close();
    b->Close();
    size_changes_a = FileBytes(a->Paths());
    size_changes_b = FileBytes(b->Paths());

    // Cold caches: the table closed, its file flushed and dropped from the
    // kernel's cache, then opened again before the timed reads.
    auto cold = [&](const std::string& name, const std::function<WorkResult(Engine&)>& work) {
      Sample s[2];
      Engine* engines[2] = {a.get(), b.get()};
      for (int i = 0; i < 2; ++i) {
        DropCache(engines[i]->Paths());
        if (!engines[i]->Open()) {
          s[i].result.ok = false;
          continue;
        }
        s[i] = Measure([&] { return work(*engines[i]); });
        engines[i]->Close();
      }
      report.Add(name, false, s[0], s[1]);
    };
    cold("cold_get_by_key", [&](Engine& e) { return e.GetByCode(in.cold_lookups); });
    cold("cold_scan_loc", [&](Engine& e) { return e.ScanKey(2); });
    cold("cold_view_seek100", [&](Engine& e) { return e.SeekRead(in.cold_seeks, kSeekRows); });
    size_end_a = FileBytes(a->Paths());
    size_end_b = FileBytes(b->Paths());
    std::fprintf(stderr, "rep %d done\n", rep + 1);
  }

  auto size_line = [&](const char* when, int64_t sa, int64_t sb) {
    char text[200];
    std::snprintf(text, sizeof text, "size %s native %lld sqlite %lld ratio %.3f", when,
                  static_cast<long long>(sa), static_cast<long long>(sb),
                  static_cast<double>(sa) / static_cast<double>(std::max<int64_t>(sb, 1)));
    report.Note(text);
  };
  size_line("load_random", size_random_a, size_random_b);
  size_line("load_ordered", size_load_a, size_load_b);
  if (!options.loads_only) {
    size_line("after_saves", size_saves_a, size_saves_b);
    size_line("after_rewrite_delete", size_changes_a, size_changes_b);
    size_line("final", size_end_a, size_end_b);
  }
  char text[200];
  std::snprintf(text, sizeof text, "peak_rss_added_mib load_random native %.1f sqlite %.1f",
                static_cast<double>(peak_a) / 1048576.0, static_cast<double>(peak_b) / 1048576.0);
  report.Note(text);
  const qvf::OptimisticReadCounts reads = qvf::OptimisticReadTotals();
  std::snprintf(text, sizeof text,
                "optimistic_reads served %llu locked_at_a_miss %llu made_again %llu",
                static_cast<unsigned long long>(reads.served),
                static_cast<unsigned long long>(reads.locked),
                static_cast<unsigned long long>(reads.retried));
  report.Note(text);

  const bool good = report.Print();
  a->Remove();
  b->Remove();
  if (!options.keep) std::filesystem::remove_all(folder);
  return good;
}

}  // namespace
}  // namespace vorsandt::bench

int main(int argc, char** argv) {
  // As the program runs: the storage is measured on the allocator settings it has there.
  vorsandt::env::KeepFreedMemoryForReuse();
  vorsandt::bench::Options options;
  const char* tmp = std::getenv("TMPDIR");
  options.parent = tmp != nullptr && *tmp ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--n" && has_value) {
      options.rows = std::atoi(argv[++i]);
    } else if (arg == "--reps" && has_value) {
      options.reps = std::atoi(argv[++i]);
    } else if (arg == "--saves" && has_value) {
      options.saves = std::atoi(argv[++i]);
    } else if (arg == "--dir" && has_value) {
      options.parent = argv[++i];
    } else if (arg == "--keep") {
      options.keep = true;
    } else if (arg == "--loads-only") {
      options.loads_only = true;
    } else if (arg == "--locked-reads") {
      vorsandt::qvf::SetOptimisticReads(false);
    } else if (arg == "--clean-cache-mib" && has_value) {
      vorsandt::qvf::PageCache::SetRetiredBudget(static_cast<size_t>(std::atoll(argv[++i])) << 20);
    } else if (arg == "--dirty-pages" && has_value) {
      vorsandt::qvf::Container::SetDefaultDecodedDirtyLimit(
          static_cast<size_t>(std::atoll(argv[++i])));
    } else {
      std::fprintf(stderr,
                   "usage: %s [--n ROWS] [--reps R] [--saves S] [--dir PARENT] [--keep]"
                   " [--loads-only] [--dirty-pages P] [--clean-cache-mib M] [--locked-reads]\n",
                   argv[0]);
      return 2;
    }
  }
  if (options.rows < 20 || options.reps < 1 || options.saves < 1 ||
      options.saves > vorsandt::bench::kReservedCodes) {
    std::fprintf(stderr, "--n must be at least 20, --reps at least 1, --saves 1 to %d\n",
                 vorsandt::bench::kReservedCodes);
    return 2;
  }
  options.parent = std::filesystem::absolute(options.parent).string();
  return vorsandt::bench::Run(options) ? 0 : 1;
}
