// Round trips per user action: the lock calls and reads that the program's
// storage makes for the inventory's everyday actions, beside SQLite making
// the same reads (the same rows in the same order) in the same run.
//
//   round_trips [--sizes 1000,32000] [--latency-us U] [--dir PARENT] [--keep]
//
// Each size builds ITEMS (and the LOCATIONS the tree hangs them under) in
// both engines from the same rows, then runs every action on the local path
// (the shared mapping may answer reads) and on the network path
// (ZORNETFS=NETWORK: every read call under the reader lock, the header read
// through the file), SQLite beside each in the same run:
//
//   browse_open  the inventory browse opened (the page load) and its totals:
//                a pass over every item in the browse's order summing
//                PRICE_PAID
//   pagedown     one page down
//   thumb        the scroll thumb dropped in the middle (a relocation by key)
//   report       the inventory report's pass: every item in location order
//   tree         the inventory tree loaded with every location open
//   export       qvf export ITEMS (every record in record order, as CSV)
//
// Counted, not timed: our side through the environment layer's counters
// (runtime/env/env.h, every fcntl lock request or query and every pread);
// SQLite's through its own system-call table (the unix VFS's fcntl with a
// lock command, and its pread, pread64 and read), so both count system calls
// the same way. Output per action:
//   ACTION ROWS PATH locks OURS SQLITE ratio R reads OURS SQLITE ratio R
// (ratio ours / SQLite's, SQLite's taken as at least 1), then
//   worst RATIO WHAT ACTION ROWS PATH
// the highest ratio of all, and `MISMATCH` where the two sides read
// different rows. With --latency-us U every lock call and every read of
// both sides waits U microseconds more (our environment layer's added
// latency; the same wait in SQLite's system-call table), and the lines give
// the wall time instead:
//   ACTION ROWS PATH ms OURS SQLITE ratio R calls OURS SQLITE
// (the calls: lock calls and reads together, each of which waited U).
// Nothing is asserted: the numbers are for reading.
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/tree/tree.h"
#include "bench/bench_data.h"
#include "bench/browse_pagers.h"
#include "bench/engine.h"
#include "bench/qvf_engine.h"
#include "bench/sqlite_calls.h"
#include "bench/sqlite_engine.h"
#include "runtime/env/allocator.h"
#include "runtime/env/env.h"
#include "runtime/env/file_system.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "tools/qvf/exchange.h"

namespace vorsandt::bench {
namespace {

constexpr uint32_t kSeed = 20261209;
constexpr int kPage = 20;
constexpr int32_t kNotAvailable = 33;

struct Options {
  std::vector<int> sizes = {1000, 32000};
  int64_t latency_us = 0;
  std::string parent = std::filesystem::temp_directory_path().string();
  bool keep = false;
};

// --- What one side did in one action ---

struct Work {
  bool ok = true;
  int64_t rows = 0;
  int64_t checksum = 0;
};

struct Measured {
  Work work;
  int64_t locks = 0;
  int64_t reads = 0;
  double ms = 0;
};

using Clock = std::chrono::steady_clock;

Measured MeasureOurs(const std::function<Work()>& action) {
  Measured m;
  env::ResetIoCounts();
  const Clock::time_point start = Clock::now();
  m.work = action();
  m.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const env::IoCounts c = env::TotalIoCounts();
  m.locks = c.lock_calls;
  m.reads = c.reads;
  return m;
}

Measured MeasureSqlite(const std::function<Work()>& action) {
  Measured m;
  ResetSqliteCalls();
  const Clock::time_point start = Clock::now();
  m.work = action();
  m.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const SqliteCalls c = SqliteCallCounts();
  m.locks = c.locks;
  m.reads = c.reads;
  return m;
}

bool Failed(const char* what) {
  const int32_t code = files::Errors().Code();
  if (code == 0) return false;
  std::fprintf(stderr, "%s: %d %s\n", what, code, files::Errors().Text().c_str());
  return true;
}

int16_t CodeOf(const uint8_t* record) {
  int16_t code;
  std::memcpy(&code, record, sizeof code);
  return code;
}

// --- The native side ---

constexpr app::TreeTextPart kLocationText[] = {{.field = "LOC:LOCATION", .trim = true}};
constexpr app::TreeTextPart kItemText[] = {
    {.literal = "ITEM:-  ", .field = "ITE:ITEM", .trim = true}};
// The inventory tree's levels: every location in file order, under each its
// items by ITE:LOC.
constexpr app::TreeLevel kTreeLevels[] = {
    {.table = app::Table::kLocations, .text = kLocationText},
    {.table = app::Table::kItems,
     .link = "ITE:LOC",
     .text = kItemText},
};
constexpr app::TreeDef kTree = {.root_text = "LOCATION", .levels = kTreeLevels};

// LOCATIONS with every location of the data set, in name order.
bool LoadLocations() {
  files::FileRecord* f = app::File(app::Table::kLocations);
  files::Create(f);
  if (Failed("create LOCATIONS")) return false;
  files::Open(f);
  if (Failed("open LOCATIONS")) return false;
  std::vector<files::FieldInfo> fields;
  files::ParseLayout({f->layout, f->layout_size}, &fields);
  uint8_t* buffer = files::RecordBuffer(f);
  for (int i = 0; i < kLocations; ++i) {
    views::ClearRecord(fields, buffer, f->record_length);
    views::StoreText(fields[0], buffer, LocationName(i));
    files::Add(f);
    if (Failed("add LOCATIONS")) return false;
  }
  files::Close(f);
  return !Failed("close LOCATIONS");
}

// Every item in the sequence set up on ITEMS, its code counted and its price
// summed (into the checksum's companion, unused beyond the pass itself). One
// declared read run, as the totals and the report's pass make it.
Work ReadSequence(files::FileRecord* items, int64_t* price_total) {
  files::ReadRun run;
  Work w;
  const uint8_t* buffer = files::RecordBuffer(items);
  const files::FieldInfo& price = ItemFields()[kPrice - 1];
  for (;;) {
    files::Next(items);
    if (files::Errors().Code() == kNotAvailable) break;
    if (Failed("next")) return {false};
    ++w.rows;
    w.checksum += CodeOf(buffer);
    if (price_total != nullptr) {
      *price_total += static_cast<int64_t>(views::FieldNumber(price, buffer) * 100 + 0.5);
    }
  }
  files::Errors().Clear();
  return w;
}

Work TreeLoad(app::TreeLoader* loader) {
  app::TreeRows rows;
  if (!loader->LoadTree(&rows)) return {false};
  Work w;
  for (const app::TreeRow& row : rows) {
    if (row.depth() == 2) ++w.rows;
  }
  w.checksum = static_cast<int64_t>(rows.size());
  return w;
}

// --- The SQL side ---

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
      stmt_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

constexpr const char* kColumns =
    "item_code, policy_reference, item, serial_number, date_bought, price_paid,"
    " receipt_reference, copy_of_reciept, supplier, manufacturer, suppliers_warranty,"
    " manufacturers_warranty, extended_warranty, location, uv_marked, etched, photographed,"
    " picture, description_of_picture";

// Every row of `sql`, the first column the item code; `row` sees each.
Work SqlRows(sqlite3* db, const std::string& sql,
             const std::function<void(sqlite3_stmt*)>& row = nullptr) {
  Statement s(db, sql);
  if (s.get() == nullptr) return {false};
  Work w;
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    ++w.rows;
    w.checksum += sqlite3_column_int(s.get(), 0);
    if (row) row(s.get());
  }
  if (rc != SQLITE_DONE) return {false};
  return w;
}

bool SqlExec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
  std::fprintf(stderr, "sqlite: %s\n", error != nullptr ? error : "?");
  sqlite3_free(error);
  return false;
}

bool LoadSqlLocations(const std::string& path) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
            SqlExec(db, "CREATE TABLE locations(location TEXT COLLATE NOCASE); BEGIN;");
  for (int i = 0; ok && i < kLocations; ++i) {
    const std::string insert = "INSERT INTO locations VALUES('" + LocationName(i) + "');";
    ok = SqlExec(db, insert.c_str());
  }
  ok = ok && SqlExec(db, "COMMIT;");
  sqlite3_close(db);
  return ok;
}

// --- The run ---

struct Line {
  std::string action;
  int rows = 0;
  std::string path;
  Measured ours, sql;
};

double Ratio(double ours, double sql) { return ours / std::max(sql, 1.0); }
double TimeRatio(double ours, double sql) { return sql > 0 ? ours / sql : 0; }

bool RunPath(const Options& o, int rows, const char* path_name, const std::string& db_path,
             std::vector<Line>* lines) {
  std::vector<std::string> spread;
  std::unique_ptr<Pager> browse = MakeBrowsePager(kPage, /*quick_scan=*/false, &spread);
  std::unique_ptr<Pager> peer = MakeSqlPager(db_path, kPage, &spread);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "SQLite could not open %s\n", db_path.c_str());
    return false;
  }
  files::FileRecord* items = app::File(app::Table::kItems);
  files::FileRecord* locations = app::File(app::Table::kLocations);
  env::SetAddedLatency(o.latency_us * 1000);
  bool ok = true;
  auto add = [&](const char* action, const std::function<Work()>& ours,
                 const std::function<Work()>& sql) {
    if (!ok) return;
    Line line{action, rows, path_name, MeasureOurs(ours), MeasureSqlite(sql)};
    ok = line.ours.work.ok && line.sql.work.ok;
    lines->push_back(line);
  };

  // Opening the browse: its first page, then its totals as BrowseItems1
  // reads them, every item in the browse's order (DESCRIPTION, ITE:ITEMS)
  // with PRICE_PAID summed. SQLite: the first page, then one statement over
  // every row in the same order.
  add(
      "browse_open",
      [&] {
        if (!browse->Open()) return Work{false};
        int64_t total = 0;
        files::SetKey(items, app::KeyNamed("ITE:ITEMS"));
        if (Failed("setkey")) return Work{false};
        Work w = ReadSequence(items, &total);
        w.checksum += browse->PageChecksum();
        return w;
      },
      [&] {
        if (!peer->Open()) return Work{false};
        int64_t total = 0;
        Work w = SqlRows(db, "SELECT item_code, price_paid FROM items ORDER BY item, rowid",
                         [&](sqlite3_stmt* s) { total += sqlite3_column_int64(s, 1); });
        w.checksum += peer->PageChecksum();
        return w;
      });
  add(
      "pagedown",
      [&] {
        browse->PageDown();
        return Work{true, kPage, browse->PageChecksum()};
      },
      [&] {
        peer->PageDown();
        return Work{true, kPage, peer->PageChecksum()};
      });
  add(
      "thumb",
      [&] {
        browse->Jump(50);
        return Work{true, kPage, browse->PageChecksum()};
      },
      [&] {
        peer->Jump(50);
        return Work{true, kPage, peer->PageChecksum()};
      });
  add(
      "report",
      [&] {
        files::SetKey(items, app::KeyNamed("ITE:LOC"));
        if (Failed("setkey")) return Work{false};
        return ReadSequence(items, nullptr);
      },
      [&] {
        return SqlRows(db,
                       std::string("SELECT ") + kColumns + " FROM items ORDER BY location, item");
      });

  // The tree with every location open: opened once (not counted) to learn
  // the locations' positions, then loaded as the window loads it.
  app::TreeLoader loader(kTree);
  files::Open(locations);
  if (ok && Failed("open LOCATIONS")) ok = false;
  if (ok) {
    app::TreeRows first;
    ok = loader.LoadTree(&first);
    for (size_t i = first.size(); ok && i-- > 1;) {
      if (first[i].depth() == 1) ok = loader.Expand(&first, i);
    }
  }
  add(
      "tree", [&] { return TreeLoad(&loader); },
      [&] {
        // As the tree counts: the item rows, and every row shown (the root,
        // each location, each item).
        Work counted;
        std::string last;
        int64_t shown = 1;
        Work w = SqlRows(db,
                         "SELECT i.item_code, l.rowid, i.item FROM locations l"
                         " LEFT JOIN items i ON i.location = l.location"
                         " ORDER BY l.rowid, i.item, i.rowid",
                         [&](sqlite3_stmt* s) {
                           const std::string at = std::to_string(sqlite3_column_int64(s, 1));
                           if (at != last) ++shown;
                           last = at;
                           if (sqlite3_column_type(s, 2) != SQLITE_NULL) {
                             ++counted.rows;
                             ++shown;
                           }
                         });
        counted.ok = w.ok;
        counted.checksum = shown;
        return counted;
      });

  // The tool runs on its own, with nothing else of the program open.
  env::SetAddedLatency(0);
  browse->Close();
  peer->Close();
  files::Close(locations);
  files::Errors().Clear();
  env::SetAddedLatency(o.latency_us * 1000);
  add(
      "export",
      [&] {
        std::string csv, error;
        if (tools::ExportTable(app::Table::kItems, nullptr, &csv, &error) != 0) {
          std::fprintf(stderr, "export: %s\n", error.c_str());
          return Work{false};
        }
        return Work{true, std::count(csv.begin(), csv.end(), '\n') - 1, 0};
      },
      [&] {
        // A tool of its own: a connection of its own, its cache empty.
        sqlite3* tool = nullptr;
        if (sqlite3_open_v2(db_path.c_str(), &tool, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
          sqlite3_close(tool);
          return Work{false};
        }
        std::string csv = std::string(kColumns) + "\n";
        Work w = SqlRows(tool, std::string("SELECT ") + kColumns + " FROM items ORDER BY rowid",
                         [&](sqlite3_stmt* s) {
                           for (int c = 0; c < 19; ++c) {
                             if (c > 0) csv += ',';
                             const unsigned char* v = sqlite3_column_text(s, c);
                             if (v != nullptr) csv += reinterpret_cast<const char*>(v);
                           }
                           csv += '\n';
                         });
        sqlite3_close(tool);
        return Work{w.ok, std::count(csv.begin(), csv.end(), '\n') - 1, 0};
      });
  env::SetAddedLatency(0);
  sqlite3_close(db);
  return ok;
}

bool RunSize(const Options& o, int rows, std::vector<Line>* lines) {
  const Dataset data = MakeDataset(rows, kSeed + static_cast<uint32_t>(rows));
  std::unique_ptr<Engine> qvf = MakeQvfEngine();
  std::unique_ptr<Engine> sql = MakeSqliteEngine("items.db", {"DELETE", "FULL"});
  if (!qvf->Load(data, /*ordered=*/false).ok || !sql->Load(data, /*ordered=*/false).ok ||
      !LoadLocations() || !LoadSqlLocations(sql->Paths().front())) {
    std::fprintf(stderr, "loading %d rows failed\n", rows);
    return false;
  }
  const struct {
    const char* name;
    env::NetworkFilesSetting setting;
  } paths[] = {{"local", env::NetworkFilesSetting::kLocal},
               {"network", env::NetworkFilesSetting::kNetwork}};
  bool ok = true;
  for (const auto& p : paths) {
    env::SetNetworkFilesSetting(p.setting);
    if (!RunPath(o, rows, p.name, sql->Paths().front(), lines)) {
      std::fprintf(stderr, "the %s path failed at %d rows\n", p.name, rows);
      ok = false;
      break;
    }
  }
  env::SetNetworkFilesSetting(env::NetworkFilesSetting::kAuto);
  // --keep leaves the last size's tables for a look with qvf and sqlite3.
  if (!o.keep) {
    qvf->Remove();
    sql->Remove();
    std::filesystem::remove("LOCATIONS.QVF");
  }
  return ok;
}

struct Worst {
  double ratio = -1;
  std::string what;
  void Consider(double r, const std::string& kind, const Line& l) {
    if (r <= ratio) return;
    ratio = r;
    what = kind + " " + l.action + " " + std::to_string(l.rows) + " " + l.path;
  }
};

void Print(const Options& o, const std::vector<Line>& lines, Worst* worst) {
  for (const Line& l : lines) {
    const bool mismatch =
        l.ours.work.rows != l.sql.work.rows || l.ours.work.checksum != l.sql.work.checksum;
    const char* note = mismatch ? "  MISMATCH (the two sides read different rows)" : "";
    if (o.latency_us > 0) {
      const double r = TimeRatio(l.ours.ms, l.sql.ms);
      std::printf("%-11s %6d %-7s ms %9.1f %9.1f ratio %6.2f  calls %6lld %6lld%s\n",
                  l.action.c_str(), l.rows, l.path.c_str(), l.ours.ms, l.sql.ms, r,
                  static_cast<long long>(l.ours.locks + l.ours.reads),
                  static_cast<long long>(l.sql.locks + l.sql.reads), note);
      worst->Consider(r, "time", l);
    } else {
      const double lr = Ratio(static_cast<double>(l.ours.locks), static_cast<double>(l.sql.locks));
      const double rr = Ratio(static_cast<double>(l.ours.reads), static_cast<double>(l.sql.reads));
      std::printf("%-11s %6d %-7s locks %6lld %6lld ratio %7.2f  reads %6lld %6lld ratio %7.2f%s\n",
                  l.action.c_str(), l.rows, l.path.c_str(), static_cast<long long>(l.ours.locks),
                  static_cast<long long>(l.sql.locks), lr, static_cast<long long>(l.ours.reads),
                  static_cast<long long>(l.sql.reads), rr, note);
      worst->Consider(lr, "locks", l);
      worst->Consider(rr, "reads", l);
    }
  }
  std::fflush(stdout);
}

bool ParseSizes(const char* text, std::vector<int>* sizes) {
  sizes->clear();
  for (const char* p = text; *p != 0;) {
    char* end = nullptr;
    long n = std::strtol(p, &end, 10);
    if (end == p || n < 1 || n > 1000000) return false;
    sizes->push_back(static_cast<int>(n));
    if (*end != ',' && *end != 0) return false;
    p = *end == ',' ? end + 1 : end;
  }
  return !sizes->empty();
}

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--sizes" && has_value) {
      if (!ParseSizes(argv[++i], &o->sizes)) return false;
    } else if (a == "--latency-us" && has_value) {
      o->latency_us = std::atoll(argv[++i]);
      if (o->latency_us < 0) return false;
    } else if (a == "--dir" && has_value) {
      o->parent = argv[++i];
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
    std::fprintf(
        stderr,
        "usage: round_trips [--sizes 1000,32000] [--latency-us U] [--dir PARENT] [--keep]\n");
    return 2;
  }
  if (!CountSqliteCalls()) {
    std::fprintf(stderr, "SQLite's system calls cannot be counted here\n");
    return 1;
  }
  app::InitDictionary(&qvf::QvfEntry);
  std::string pattern = (std::filesystem::path(o.parent) / "round_trips_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path folder = pattern;
  std::filesystem::current_path(folder);
  if (o.latency_us > 0) {
    std::printf("# round_trips: %lld us added to every lock call and read of both sides\n",
                static_cast<long long>(o.latency_us));
    std::printf("# ACTION ROWS PATH ms OURS SQLITE ratio R calls OURS SQLITE\n");
  } else {
    std::printf("# round_trips: system calls per action, ours beside SQLite's\n");
    std::printf("# ACTION ROWS PATH locks OURS SQLITE ratio R reads OURS SQLITE ratio R\n");
  }
  Worst worst;
  bool ok = true;
  for (int rows : o.sizes) {
    std::vector<Line> lines;
    ok = RunSize(o, rows, &lines);
    Print(o, lines, &worst);
    if (!ok) break;
  }
  if (ok && worst.ratio >= 0) std::printf("worst %.2f %s\n", worst.ratio, worst.what.c_str());
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  if (!o.keep) std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace vorsandt::bench

int main(int argc, char** argv) {
  // As the program runs: the storage is measured on the allocator settings it has there.
  vorsandt::env::KeepFreedMemoryForReuse();
  return vorsandt::bench::Main(argc, argv);
}
