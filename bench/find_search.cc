// Find's search against SQLite answering the same search with LIKE over the
// same columns, in the same run: ITEMS (the storage comparison's rows) and
// CLAIM with notes. Prints, per query, the time of each side, the rows each
// found (they must agree) and the ratio ours / SQLite; then the time Find
// takes to read both tables when it opens, and the worst ratio.
//
//   find_search [--items N] [--claims N] [--reps N]
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/browse/browse_rows.h"
#include "app/dictionary/dictionary.h"
#include "app/find/record_search.h"
#include "bench/bench_data.h"
#include "bench/qvf_engine.h"
#include "bench/sqlite_engine.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

constexpr const char* kNoteWords[] = {
    "Spilt",    "coffee",   "on",     "the",      "keyboard;", "water",   "damage",  "from",
    "a",        "burst",    "pipe",   "upstairs", "stolen",    "during",  "break-in", "loss",
    "adjuster", "visited",  "receipt", "missing", "repair",    "quote",   "approved", "insurer"};

struct Claim {
  int16_t code;
  int16_t item;
  std::string reference, police, status, notes;
};

std::vector<Claim> MakeClaims(int count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Claim> claims;
  constexpr int kWordCount = sizeof kNoteWords / sizeof kNoteWords[0];
  for (int i = 1; i <= count; ++i) {
    Claim c;
    c.code = static_cast<int16_t>(i);
    c.item = static_cast<int16_t>(1 + rng() % 30000);
    c.reference = "CLM-" + std::to_string(100000 + rng() % 900000);
    c.police = rng() % 4 == 0 ? "CR/" + std::to_string(rng() % 99999) : "";
    c.status = rng() % 3 == 0 ? "SETTLED" : "OPEN";
    const int words = 8 + static_cast<int>(rng() % 30);
    for (int w = 0; w < words; ++w) {
      c.notes += (w ? " " : "") + std::string(kNoteWords[rng() % kWordCount]);
    }
    claims.push_back(std::move(c));
  }
  return claims;
}

files::FieldInfo Field(const char* name) {
  files::FileRecord* t = nullptr;
  files::FieldInfo f;
  app::FindTableField(name, &t, &f);
  return f;
}

bool LoadQvfClaims(const std::vector<Claim>& claims) {
  files::FileRecord* file = app::File(app::Table::kClaim);
  files::Create(file);
  files::Open(file);
  files::Logout(1, {file});
  std::vector<files::FieldInfo> fields;
  files::ParseLayout({file->layout, file->layout_size}, &fields);
  for (const Claim& c : claims) {
    uint8_t* b = files::RecordBuffer(file);
    views::ClearRecord(fields, b, file->record_length);
    files::ClearMemos(files::InstanceOf(file));
    views::StoreNumber(Field("CLA:CLAIM_REFERENCE"), b, c.code);
    views::StoreNumber(Field("CLA:ITEM_REFERENCE"), b, c.item);
    views::StoreText(Field("CLA:INSURERS_REFERENCE"), b, c.reference);
    views::StoreText(Field("CLA:POLICE_CRIME_REFERENCE"), b, c.police);
    views::StoreText(Field("CLA:CLAIM_STATUS"), b, c.status);
    std::vector<char>& memo = files::InstanceOf(file)->memo_buffers[0];
    std::copy(c.notes.begin(), c.notes.begin() + std::min(c.notes.size(), memo.size()),
              memo.begin());
    files::Add(file);
    if (files::Errors().Code() != 0) return false;
  }
  files::Commit();
  files::Close(file);
  return files::Errors().Code() == 0;
}

bool LoadSqliteClaims(sqlite3* db, const std::vector<Claim>& claims) {
  if (sqlite3_exec(db,
                   "CREATE TABLE claim(claim_reference INTEGER, item_reference INTEGER,"
                   " insurers_reference TEXT, police_crime_reference TEXT, claim_status TEXT,"
                   " notes TEXT); BEGIN;",
                   nullptr, nullptr, nullptr) != SQLITE_OK)
    return false;
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO claim VALUES(?,?,?,?,?,?)", -1, &insert, nullptr);
  for (const Claim& c : claims) {
    sqlite3_bind_int(insert, 1, c.code);
    sqlite3_bind_int(insert, 2, c.item);
    sqlite3_bind_text(insert, 3, c.reference.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 4, c.police.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 5, c.status.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 6, c.notes.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(insert) != SQLITE_DONE) return false;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  return sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The same search in SQL: every word in one of the columns (as Find, which
// looks in each record's reference too), every matching row read whole.
int64_t SqliteSearch(sqlite3* db, const std::vector<std::string>& words) {
  struct Target {
    const char* table;
    std::vector<const char*> columns;
  };
  const Target targets[] = {
      {"items",
       {"printf('%06d', item_code)", "item", "serial_number", "supplier", "manufacturer",
        "receipt_reference", "location", "policy_reference"}},
      {"claim",
       {"printf('%06d', claim_reference)", "insurers_reference", "police_crime_reference",
        "claim_status", "notes"}},
  };
  int64_t rows = 0;
  for (const Target& t : targets) {
    std::string sql = "SELECT * FROM " + std::string(t.table) + " WHERE ";
    for (size_t w = 0; w < words.size(); ++w) {
      sql += (w ? " AND (" : "(");
      for (size_t c = 0; c < t.columns.size(); ++c)
        sql += std::string(c ? " OR " : "") + t.columns[c] + " LIKE ?" + std::to_string(w + 1);
      sql += ")";
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return -1;
    for (size_t w = 0; w < words.size(); ++w) {
      const std::string pattern = "%" + words[w] + "%";
      sqlite3_bind_text(st, static_cast<int>(w + 1), pattern.c_str(), -1, SQLITE_TRANSIENT);
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(st); ++c) sqlite3_column_text(st, c);
      ++rows;
    }
    sqlite3_finalize(st);
  }
  return rows;
}

int Run(int item_count, int claim_count, int reps) {
  app::InitDictionary(&qvf::QvfEntry);
  const Dataset data = MakeDataset(item_count, 7);
  const std::vector<Claim> claims = MakeClaims(claim_count, 11);
  auto ours = MakeQvfEngine();
  auto peer = MakeSqliteEngine("find.db", {"WAL", "NORMAL"});
  if (!ours->Load(data, true).ok || !peer->Load(data, true).ok || !LoadQvfClaims(claims)) {
    std::fprintf(stderr, "loading the tables failed\n");
    return 1;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open("find.db", &db) != SQLITE_OK || !LoadSqliteClaims(db, claims)) {
    std::fprintf(stderr, "loading SQLite's claims failed\n");
    return 1;
  }
  for (app::Table t : {app::Table::kItems, app::Table::kClaim}) files::Open(app::File(t));

  // What Find does when it opens: both tables read into memory.
  app::RecordSearch search;
  double load_ms = 1e300;
  for (int r = 0; r < reps; ++r) {
    const auto start = Clock::now();
    for (const app::SearchSource& s : app::SearchSources()) {
      if (s.table == app::Table::kItems || s.table == app::Table::kClaim) search.Load(s);
    }
    load_ms = std::min(load_ms, Ms(start));
  }
  std::printf("find_search items %d claims %d\n", item_count, claim_count);
  std::printf("open reads %zu records in %.1f ms\n",
              search.records(app::Table::kItems) + search.records(app::Table::kClaim), load_ms);

  const char* queries[] = {"camera", "kettering", "walnut lamp", "adjuster", "av", "zzqx"};
  double worst = 0;
  std::string worst_query;
  bool mismatch = false;
  for (const char* q : queries) {
    double ours_ms = 1e300, peer_ms = 1e300;
    size_t found = 0;
    int64_t peer_rows = 0;
    for (int r = 0; r < reps; ++r) {
      auto start = Clock::now();
      const auto groups = search.Find(q, 200);
      ours_ms = std::min(ours_ms, Ms(start));
      found = 0;
      for (const auto& g : groups) found += g.total;
      start = Clock::now();
      peer_rows = SqliteSearch(db, app::QueryWords(q));
      peer_ms = std::min(peer_ms, Ms(start));
    }
    const double ratio = ours_ms / std::max(peer_ms, 1e-6);
    std::printf("search %-12s ours %7.2f ms  sqlite %7.2f ms  ratio %.3f  rows %zu%s\n",
                (std::string("\"") + q + "\"").c_str(), ours_ms, peer_ms, ratio, found,
                static_cast<int64_t>(found) == peer_rows ? "" : "  MISMATCH");
    mismatch = mismatch || static_cast<int64_t>(found) != peer_rows;
    if (ratio > worst) {
      worst = ratio;
      worst_query = q;
    }
  }
  sqlite3_close(db);
  for (app::Table t : {app::Table::kItems, app::Table::kClaim}) files::Close(app::File(t));
  std::printf("worst %.3f %s\n", worst, worst_query.c_str());
  return mismatch ? 1 : 0;
}

}  // namespace
}  // namespace vorsandt::bench

int main(int argc, char** argv) {
  int items = 32000, claims = 10000, reps = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--items") == 0) items = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--claims") == 0) claims = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--reps") == 0) reps = std::atoi(argv[i + 1]);
  }
  const auto old = std::filesystem::current_path();
  std::string pattern = (std::filesystem::temp_directory_path() / "find_bench_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  std::filesystem::current_path(pattern);
  const int rc = vorsandt::bench::Run(items, claims, std::max(reps, 1));
  std::filesystem::current_path(old);
  std::filesystem::remove_all(pattern);
  return rc;
}
