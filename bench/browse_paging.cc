// Paging through ITEMS with the browse pattern, against SQLite serving the
// same pages by keyset pagination, at several table sizes in one run.
//
//   browse_paging [--sizes 1000,10000,100000] [--page ROWS] [--moves N]
//                 [--jumps N] [--reps R] [--quickscan] [--clean-cache-mib M]
//                 [--dir PARENT] [--keep]
//
// For each size the table is built in both engines from the same rows (a
// fixed seed), then each side repeats, alternating A B A B: `moves` page-downs
// from the top (back to the top, untimed, whenever the order ends) and `jumps`
// drops of the scroll thumb at positions 2..99. Each move is timed on its own.
// The browse runs as the inventory's does, without QUICKSCAN; --quickscan
// runs it as the browses marked for QUICKSCAN do. --clean-cache-mib sets the
// memory of decoded pages the native side keeps beyond its page cache's 100
// (64 by default): with enough of it every page of the largest table stays
// decoded, which shows how much of the cost at that size is reading pages and
// how much is reaching rows spread over many of them.
//
// Output, one line per size and move:
//   pagedown ROWS  NATIVE_US SQLITE_US ratio RATIO  reads PER_MOVE
//   thumb    ROWS  ...
// (median over the repetitions of the mean microseconds per move; ratio
// native/SQLite, below 1 the browse was faster; reads: records the browse read
// per move), then for each move the cost at the largest size over the cost at
// the smallest ("scale"), and a MISMATCH note when the two sides showed
// different rows. Nothing is asserted: the numbers are for reading.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "bench/bench_data.h"
#include "bench/browse_pagers.h"
#include "bench/engine.h"
#include "bench/qvf_engine.h"
#include "bench/sqlite_engine.h"
#include "runtime/env/allocator.h"
#include "runtime/files/op_codes.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/page_cache.h"

namespace vorsandt::bench {
namespace {

constexpr uint32_t kSeed = 20261208;

struct Options {
  std::vector<int> sizes = {1000, 10000, 100000};
  int page = 20;
  int moves = 2000;
  int jumps = 300;
  int reps = 5;
  bool quick_scan = false;
  std::string parent = std::filesystem::temp_directory_path().string();
  bool keep = false;
};

// Records read through the driver (Next and Previous), for the reads column.
int64_t g_reads = 0;
int32_t CountingEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  if (op == files::kOpNext || op == files::kOpPrevious) ++g_reads;
  return qvf::QvfEntry(op, object, args);
}

using Clock = std::chrono::steady_clock;

struct Timing {
  double micros = 0;      // mean per move
  int64_t checksum = 0;   // codes of every page shown after a move
  double reads = 0;       // records read per move
};

Timing PageDowns(Pager* p, int moves) {
  Timing t;
  Clock::duration spent{};
  int64_t reads_before = g_reads;
  p->Top();
  int64_t untimed_reads = g_reads - reads_before;
  for (int i = 0; i < moves; ++i) {
    Clock::time_point start = Clock::now();
    bool whole = p->PageDown();
    spent += Clock::now() - start;
    t.checksum += p->PageChecksum();
    if (!whole) {
      int64_t before = g_reads;
      p->Top();
      untimed_reads += g_reads - before;
    }
  }
  t.micros = std::chrono::duration<double, std::micro>(spent).count() / moves;
  t.reads = static_cast<double>(g_reads - reads_before - untimed_reads) / moves;
  return t;
}

Timing Jumps(Pager* p, int jumps) {
  Timing t;
  Clock::duration spent{};
  int64_t reads_before = g_reads;
  for (int i = 0; i < jumps; ++i) {
    int pos = 2 + (i * 37) % 98;  // 2..99, spread over the bar
    Clock::time_point start = Clock::now();
    p->Jump(pos);
    spent += Clock::now() - start;
    t.checksum += p->PageChecksum();
  }
  t.micros = std::chrono::duration<double, std::micro>(spent).count() / jumps;
  t.reads = static_cast<double>(g_reads - reads_before) / jumps;
  return t;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Result {
  double native = 0, sqlite = 0, reads = 0;
  bool mismatch = false;
};

// One size: both tables built, then the repetitions. Results by move name.
bool RunSize(const Options& o, int rows, std::map<std::string, Result>* out) {
  const Dataset data = MakeDataset(rows, kSeed + static_cast<uint32_t>(rows));
  std::unique_ptr<Engine> qvf = MakeQvfEngine();
  std::unique_ptr<Engine> sql = MakeSqliteEngine("items.db", {"DELETE", "FULL"});
  if (!qvf->Load(data, /*ordered=*/false).ok || !sql->Load(data, /*ordered=*/false).ok) {
    std::fprintf(stderr, "loading %d rows failed\n", rows);
    return false;
  }
  std::vector<std::string> spread;
  std::unique_ptr<Pager> native = MakeBrowsePager(o.page, o.quick_scan, &spread);
  if (!native->Open()) {
    std::fprintf(stderr, "the browse could not open ITEMS of %d rows\n", rows);
    return false;
  }
  std::unique_ptr<Pager> peer = MakeSqlPager(sql->Paths().front(), o.page, &spread);
  if (!peer->Open()) {
    std::fprintf(stderr, "SQLite could not open %s\n", sql->Paths().front().c_str());
    return false;
  }
  // Warm both caches with one pass of each move.
  for (Pager* p : {native.get(), peer.get()}) {
    PageDowns(p, std::min(o.moves, rows / o.page + 1));
    Jumps(p, 20);
  }
  std::map<std::string, std::vector<double>> ns, ss, rd;
  std::map<std::string, bool> mismatch;
  for (int rep = 0; rep < o.reps; ++rep) {
    const struct {
      const char* name;
      Timing (*run)(Pager*, int);
      int count;
    } moves[] = {{"pagedown", PageDowns, o.moves}, {"thumb", Jumps, o.jumps}};
    for (const auto& m : moves) {
      // Alternate which side goes first, so that neither always runs warm.
      Timing a, b;
      if (rep % 2 == 0) {
        a = m.run(native.get(), m.count);
        b = m.run(peer.get(), m.count);
      } else {
        b = m.run(peer.get(), m.count);
        a = m.run(native.get(), m.count);
      }
      ns[m.name].push_back(a.micros);
      ss[m.name].push_back(b.micros);
      rd[m.name].push_back(a.reads);
      if (a.checksum != b.checksum) mismatch[m.name] = true;
    }
  }
  for (const auto& [name, v] : ns) {
    Result r;
    r.native = Median(v);
    r.sqlite = Median(ss[name]);
    r.reads = Median(rd[name]);
    r.mismatch = mismatch[name];
    (*out)[name] = r;
  }
  native->Close();
  peer->Close();
  qvf->Remove();
  sql->Remove();
  return true;
}

bool ParseSizes(const char* text, std::vector<int>* sizes) {
  sizes->clear();
  for (const char* p = text; *p != 0;) {
    char* end = nullptr;
    long n = std::strtol(p, &end, 10);
    if (end == p || n < 1 || n > 10000000) return false;
    sizes->push_back(static_cast<int>(n));
    p = *end == ',' ? end + 1 : end;
    if (*end != ',' && *end != 0) return false;
  }
  return !sizes->empty();
}

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool has_value = i + 1 < argc;
    auto number = [&](int* into) {
      if (!has_value) return false;
      *into = std::atoi(argv[++i]);
      return *into > 0;
    };
    if (a == "--sizes" && has_value) {
      if (!ParseSizes(argv[++i], &o->sizes)) return false;
    } else if (a == "--page") {
      if (!number(&o->page)) return false;
    } else if (a == "--moves") {
      if (!number(&o->moves)) return false;
    } else if (a == "--jumps") {
      if (!number(&o->jumps)) return false;
    } else if (a == "--reps") {
      if (!number(&o->reps)) return false;
    } else if (a == "--dir" && has_value) {
      o->parent = argv[++i];
    } else if (a == "--clean-cache-mib") {
      int mib = 0;
      if (!number(&mib)) return false;
      qvf::PageCache::SetRetiredBudget(static_cast<size_t>(mib) << 20);
    } else if (a == "--quickscan") {
      o->quick_scan = true;
    } else if (a == "--keep") {
      o->keep = true;
    } else {
      return false;
    }
  }
  return true;
}

int Main(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: browse_paging [--sizes 1000,10000,100000] [--page ROWS] [--moves N]"
                 " [--jumps N] [--reps R] [--quickscan] [--clean-cache-mib M] [--dir PARENT]"
                 " [--keep]\n");
    return 2;
  }
  app::InitDictionary(&CountingEntry);
  std::string pattern = (std::filesystem::path(o.parent) / "browse_paging_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path folder = pattern;
  std::filesystem::current_path(folder);
  std::printf("# browse_paging: page %d rows, %d page-downs and %d thumb drops per repetition, %d reps%s\n",
              o.page, o.moves, o.jumps, o.reps, o.quick_scan ? ", QUICKSCAN" : "");
  std::printf("# MOVE ROWS native_us sqlite_us ratio RATIO reads PER_MOVE\n");
  std::map<std::string, std::map<int, Result>> all;
  bool ok = true;
  for (int rows : o.sizes) {
    std::map<std::string, Result> results;
    if (!RunSize(o, rows, &results)) {
      ok = false;
      break;
    }
    for (const auto& [name, r] : results) {
      std::printf("%-8s %7d %9.2f %9.2f ratio %5.2f reads %6.1f%s\n", name.c_str(), rows, r.native,
                  r.sqlite, r.sqlite > 0 ? r.native / r.sqlite : 0, r.reads,
                  r.mismatch ? "  MISMATCH (the two sides showed different rows)" : "");
      all[name][rows] = r;
    }
    std::fflush(stdout);
  }
  if (ok && o.sizes.size() > 1) {
    int small = *std::min_element(o.sizes.begin(), o.sizes.end());
    int large = *std::max_element(o.sizes.begin(), o.sizes.end());
    for (const auto& [name, by_size] : all) {
      double scale = by_size.at(small).native > 0 ? by_size.at(large).native / by_size.at(small).native : 0;
      std::printf("scale %-8s %d/%d %.2f (cost per move at %d rows over %d rows)\n", name.c_str(), large,
                  small, scale, large, small);
    }
  }
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  if (!o.keep) std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace vorsandt::bench

int main(int argc, char** argv) {
  // As the program runs: the browse is measured on the allocator settings it has there.
  vorsandt::env::KeepFreedMemoryForReuse();
  return vorsandt::bench::Main(argc, argv);
}
