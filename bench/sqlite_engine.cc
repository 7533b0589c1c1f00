#include "bench/sqlite_engine.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/dictionary/dictionary.h"
#include "runtime/views/field_values.h"

namespace vorsandt::bench {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE items(item_code INTEGER, policy_reference TEXT COLLATE NOCASE,"
    " item TEXT COLLATE NOCASE, serial_number TEXT COLLATE NOCASE, date_bought INTEGER,"
    " price_paid INTEGER, receipt_reference TEXT, copy_of_reciept TEXT, supplier TEXT,"
    " manufacturer TEXT, suppliers_warranty TEXT, manufacturers_warranty TEXT,"
    " extended_warranty TEXT, location TEXT COLLATE NOCASE, uv_marked TEXT, etched TEXT,"
    " photographed TEXT, picture TEXT, description_of_picture TEXT);"
    "CREATE UNIQUE INDEX ite_code ON items(item_code) WHERE item_code IS NOT NULL;"
    "CREATE INDEX ite_loc ON items(location, item);"
    "CREATE INDEX ite_policy ON items(policy_reference);"
    "CREATE INDEX ite_items ON items(item);"
    "CREATE INDEX ite_serials ON items(serial_number);";

constexpr const char* kColumns =
    "item_code, policy_reference, item, serial_number, date_bought, price_paid,"
    " receipt_reference, copy_of_reciept, supplier, manufacturer, suppliers_warranty,"
    " manufacturers_warranty, extended_warranty, location, uv_marked, etched, photographed,"
    " picture, description_of_picture";

// ORDER BY of each key, 1..5 as ITEMS declares them.
constexpr const char* kKeyOrder[] = {"",
                                     "WHERE item_code IS NOT NULL ORDER BY item_code",
                                     "ORDER BY location, item",
                                     "ORDER BY policy_reference",
                                     "ORDER BY item",
                                     "ORDER BY serial_number"};

class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(stmt_); }
  bool Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) == SQLITE_OK) return true;
    std::fprintf(stderr, "sqlite prepare %s: %s\n", sql.c_str(), sqlite3_errmsg(db));
    return false;
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

class SqliteEngine : public Engine {
 public:
  SqliteEngine(std::string path, SqliteMode mode)
      : path_(std::move(path)), mode_(std::move(mode)), record_(406) {}
  ~SqliteEngine() override { Close(); }

  void Remove() override {
    Close();
    for (const std::string& p : Paths()) std::filesystem::remove(p);
  }

  WorkResult Load(const Dataset& data, bool ordered) override {
    WorkResult r;
    if (!Connect() || !Exec(kSchema) || !Exec("BEGIN")) return {false};
    Statement insert;
    if (!insert.Prepare(db_, InsertSql())) return {false};
    for (int i = 0; i < data.rows; ++i) {
      const Row& row = data.items[ordered ? i : data.shuffled[i]];
      if (!Insert(insert.get(), row)) return {false};
      r.Count(row.code);
    }
    if (!Exec("COMMIT")) return {false};
    Close();
    return r;
  }

  bool Open() override { return Connect(); }

  void Close() override {
    if (db_ == nullptr) return;
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }

  WorkResult AddEach(const std::vector<Row>& rows) override {
    WorkResult r;
    Statement insert;
    if (!insert.Prepare(db_, InsertSql())) return {false};
    for (const Row& row : rows) {
      if (!Insert(insert.get(), row)) return {false};
      r.Count(row.code);
    }
    return r;
  }

  WorkResult PutEach(const std::vector<int16_t>& codes,
                     const std::vector<int64_t>& cents) override {
    // The application reads the row into its buffer before it rewrites it.
    WorkResult r;
    Statement get, put;
    if (!get.Prepare(db_, std::string("SELECT ") + kColumns + " FROM items WHERE item_code = ?1") ||
        !put.Prepare(db_, "UPDATE items SET price_paid = ?1 WHERE item_code = ?2")) {
      return {false};
    }
    for (size_t i = 0; i < codes.size(); ++i) {
      sqlite3_bind_int(get.get(), 1, codes[i]);
      if (sqlite3_step(get.get()) != SQLITE_ROW) return Fail("put read");
      ReadRow(get.get());
      sqlite3_reset(get.get());
      sqlite3_bind_int64(put.get(), 1, cents[i]);
      sqlite3_bind_int(put.get(), 2, codes[i]);
      if (sqlite3_step(put.get()) != SQLITE_DONE) return Fail("put");
      sqlite3_reset(put.get());
      r.Count(codes[i]);
    }
    return r;
  }

  WorkResult GetByCode(const std::vector<int16_t>& codes) override {
    WorkResult r;
    Statement get;
    if (!get.Prepare(db_, std::string("SELECT ") + kColumns + " FROM items WHERE item_code = ?1")) {
      return {false};
    }
    for (int16_t code : codes) {
      sqlite3_bind_int(get.get(), 1, code);
      const int rc = sqlite3_step(get.get());
      if (rc == SQLITE_ROW) {
        r.Count(ReadRow(get.get()));
      } else if (rc != SQLITE_DONE) {
        return Fail("get");
      }
      sqlite3_reset(get.get());
    }
    return r;
  }

  WorkResult LocationRange(const std::vector<std::string>& locations) override {
    WorkResult r;
    Statement query;
    if (!query.Prepare(db_, std::string("SELECT ") + kColumns +
                                " FROM items WHERE location = ?1 ORDER BY location, item")) {
      return {false};
    }
    for (const std::string& name : locations) {
      sqlite3_bind_text(query.get(), 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
      if (!ReadAll(query.get(), -1, &r)) return Fail("range");
      sqlite3_reset(query.get());
    }
    return r;
  }

  WorkResult ScanKey(int key) override {
    WorkResult r;
    Statement query;
    if (!query.Prepare(db_, std::string("SELECT ") + kColumns + " FROM items " + kKeyOrder[key])) {
      return {false};
    }
    if (!ReadAll(query.get(), -1, &r)) return Fail("scan");
    return r;
  }

  WorkResult SeekRead(const std::vector<Seek>& seeks, int rows) override {
    WorkResult r;
    Statement query;
    if (!query.Prepare(db_, std::string("SELECT ") + kColumns +
                                " FROM items WHERE location = ?1 AND item >= ?2"
                                " ORDER BY location, item LIMIT ?3")) {
      return {false};
    }
    for (const Seek& seek : seeks) {
      sqlite3_bind_text(query.get(), 1, seek.location.data(),
                        static_cast<int>(seek.location.size()), SQLITE_STATIC);
      sqlite3_bind_text(query.get(), 2, seek.item.data(), static_cast<int>(seek.item.size()),
                        SQLITE_STATIC);
      sqlite3_bind_int(query.get(), 3, rows);
      if (!ReadAll(query.get(), rows, &r)) return Fail("seek");
      sqlite3_reset(query.get());
    }
    return r;
  }

  WorkResult RewriteLocation(const std::vector<int16_t>& codes,
                             const std::vector<std::string>& locations) override {
    WorkResult r;
    Statement update;
    if (!Exec("BEGIN") ||
        !update.Prepare(db_, "UPDATE items SET location = ?1 WHERE item_code = ?2")) {
      return {false};
    }
    for (size_t i = 0; i < codes.size(); ++i) {
      sqlite3_bind_text(update.get(), 1, locations[i].data(), static_cast<int>(locations[i].size()),
                        SQLITE_STATIC);
      sqlite3_bind_int(update.get(), 2, codes[i]);
      if (sqlite3_step(update.get()) != SQLITE_DONE || sqlite3_changes(db_) != 1) {
        return Fail("rewrite");
      }
      sqlite3_reset(update.get());
      r.Count(codes[i]);
    }
    if (!Exec("COMMIT")) return {false};
    return r;
  }

  WorkResult DeleteCodes(const std::vector<int16_t>& codes) override {
    WorkResult r;
    Statement remove;
    if (!Exec("BEGIN") || !remove.Prepare(db_, "DELETE FROM items WHERE item_code = ?1")) {
      return {false};
    }
    for (int16_t code : codes) {
      sqlite3_bind_int(remove.get(), 1, code);
      if (sqlite3_step(remove.get()) != SQLITE_DONE || sqlite3_changes(db_) != 1) {
        return Fail("delete");
      }
      sqlite3_reset(remove.get());
      r.Count(code);
    }
    if (!Exec("COMMIT")) return {false};
    return r;
  }

  std::vector<std::string> Paths() const override {
    return {path_, path_ + "-journal", path_ + "-wal", path_ + "-shm"};
  }

 private:
  bool Connect() {
    if (db_ != nullptr) return true;
    if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) {
      std::fprintf(stderr, "sqlite open %s: %s\n", path_.c_str(), sqlite3_errmsg(db_));
      return false;
    }
    return Exec("PRAGMA journal_mode=" + mode_.journal) &&
           Exec("PRAGMA synchronous=" + mode_.synchronous);
  }

  bool Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return true;
    std::fprintf(stderr, "sqlite %s: %s\n", sql.c_str(), error ? error : "?");
    sqlite3_free(error);
    return false;
  }

  WorkResult Fail(const char* what) {
    std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db_));
    return {false};
  }

  static std::string InsertSql() {
    return std::string("INSERT INTO items(") + kColumns +
           ") VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,?17,?18,?19)";
  }

  bool Insert(sqlite3_stmt* stmt, const Row& row) {
    if (row.code != 0) {
      sqlite3_bind_int(stmt, kCode, row.code);
    } else {
      sqlite3_bind_null(stmt, kCode);
    }
    sqlite3_bind_int(stmt, kDate, row.date);
    sqlite3_bind_int64(stmt, kPrice, row.price_cents);
    for (int field = 2; field <= kFieldCount; ++field) {
      if (field == kDate || field == kPrice) continue;
      const std::string_view text = row.Text(field);
      sqlite3_bind_text(stmt, field, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
    const bool ok = sqlite3_step(stmt) == SQLITE_DONE;
    if (!ok) std::fprintf(stderr, "sqlite insert: %s\n", sqlite3_errmsg(db_));
    sqlite3_reset(stmt);
    return ok;
  }

  // Moves the current row into the record buffer; returns its code.
  int16_t ReadRow(sqlite3_stmt* stmt) {
    const auto& fields = ItemFields();
    uint8_t* record = record_.data();
    const int16_t code = static_cast<int16_t>(sqlite3_column_int(stmt, kCode - 1));
    std::memcpy(record + fields[kCode - 1].offset, &code, sizeof code);
    const int32_t date = sqlite3_column_int(stmt, kDate - 1);
    std::memcpy(record + fields[kDate - 1].offset, &date, sizeof date);
    views::StoreNumber(fields[kPrice - 1], record,
                       static_cast<double>(sqlite3_column_int64(stmt, kPrice - 1)) / 100);
    for (int field = 2; field <= kFieldCount; ++field) {
      if (field == kDate || field == kPrice) continue;
      const files::FieldInfo& f = fields[field - 1];
      const unsigned char* text = sqlite3_column_text(stmt, field - 1);
      size_t n = static_cast<size_t>(sqlite3_column_bytes(stmt, field - 1));
      if (n > f.size) n = f.size;
      if (n > 0) std::memcpy(record + f.offset, text, n);
      std::memset(record + f.offset + n, ' ', f.size - n);
    }
    return code;
  }

  bool ReadAll(sqlite3_stmt* stmt, int limit, WorkResult* r) {
    int rc = SQLITE_DONE;
    int read = 0;
    while ((limit < 0 || read < limit) && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      r->Count(ReadRow(stmt));
      ++read;
    }
    return limit >= 0 && read == limit ? true : rc == SQLITE_DONE;
  }

  std::string path_;
  SqliteMode mode_;
  sqlite3* db_ = nullptr;
  std::vector<uint8_t> record_;
};

}  // namespace

std::unique_ptr<Engine> MakeSqliteEngine(const std::string& path, const SqliteMode& mode) {
  return std::make_unique<SqliteEngine>(path, mode);
}

}  // namespace vorsandt::bench
