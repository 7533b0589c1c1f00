#include "bench/browse_pagers.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "app/browse/browse.h"
#include "app/dictionary/dictionary.h"
#include "runtime/eval/record_binding.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "ui/engine/events.h"

namespace vorsandt::bench {
namespace {

// The columns both sides show: those of the inventory's list.
const std::vector<std::pair<std::string, std::string>> kListColumns = {
    {"ITE:ITEM_CODE", "@n06"},        {"ITE:ITEM", "@s60"},
    {"ITE:LOCATION", "@s30"},         {"ITE:POLICY_REFERENCE", "@s30"},
    {"ITE:SERIAL_NUMBER", "@s30"},    {"ITE:DATE_BOUGHT", "@D5"},
    {"ITE:PRICE_PAID", "@n-13.2"}};

const app::BrowseOrder kByDescription[] = {{"DESCRIPTION", "ITE:ITEMS"}};

// A list that shows `page` rows and draws nothing.
class PageList : public app::BrowseList {
 public:
  explicit PageList(int page) : page_(page) {}
  int ItemCount() const override { return page_; }
  int Choice() const override { return selected_; }
  void Show(const app::BrowseRows&, int selected) override { selected_ = selected; }

 private:
  int page_;
  int selected_ = 0;
};

class BrowsePager : public Pager {
 public:
  BrowsePager(int page, bool quick_scan, std::vector<std::string>* spread)
      : list_(page), quick_scan_(quick_scan), spread_(spread) {}

  bool Open() override {
    files::FileRecord* items = app::File(app::Table::kItems);
    files::Open(items);
    if (files::Errors().Code() != 0) return false;
    eval::BindRecord(items);
    browse_ = std::make_unique<app::Browse>(app::Table::kItems, kByDescription, &list_, quick_scan_);
    browse_->SetColumns(kListColumns);
    if (!browse_->rows().bad_columns().empty()) return false;
    browse_->SelectOrder(1);
    browse_->Relocate(app::kRelocateStart);
    browse_->BuildKeySpread();
    *spread_ = browse_->spread();
    return !browse_->failed() && browse_->rows().size() > 0;
  }

  void Close() override {
    browse_.reset();
    files::Close(app::File(app::Table::kItems));
    files::Errors().Clear();
  }

  void Top() override { browse_->ServeScroll(ui::event::kScrollTop); }

  bool PageDown() override {
    browse_->ServeScroll(ui::event::kPageDown);
    return browse_->state().to_load == 0;
  }

  void Jump(int pos) override { browse_->RelocateToSpread(pos); }

  int64_t PageChecksum() const override {
    const app::BrowseRows& rows = browse_->rows();
    uint32_t at = rows.columns().front().row_offset;
    int64_t sum = 0;
    for (int r = 1; r <= rows.size(); ++r) {
      int16_t code;
      std::memcpy(&code, rows.at(r).values.data() + at, sizeof code);
      sum += code;
    }
    return sum;
  }

 private:
  PageList list_;
  bool quick_scan_;
  std::vector<std::string>* spread_;
  std::unique_ptr<app::Browse> browse_;
};

// A shown row of the SQL side: what the list needs, and what finds the next.
struct SqlRow {
  int64_t rowid = 0;
  int64_t code = 0;
  std::string item, location, policy, serial;
  int64_t date = 0;
  int64_t price = 0;
};

constexpr const char* kSelect =
    "SELECT rowid, item_code, item, location, policy_reference, serial_number, date_bought,"
    " price_paid FROM items ";

class SqlPager : public Pager {
 public:
  SqlPager(std::string path, int page, const std::vector<std::string>* spread)
      : path_(std::move(path)), page_(page), spread_(spread) {}
  ~SqlPager() override { Close(); }

  bool Open() override {
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return false;
    const std::string s = kSelect;
    return Prepare(s + "ORDER BY item, rowid LIMIT ?1", &first_) &&
           Prepare(s + "WHERE (item, rowid) > (?1, ?2) ORDER BY item, rowid LIMIT ?3", &after_) &&
           Prepare(s + "WHERE (item, rowid) < (?1, ?2) ORDER BY item DESC, rowid DESC LIMIT ?3", &before_) &&
           Prepare(s + "WHERE item >= ?1 ORDER BY item, rowid LIMIT ?2", &at_or_after_) &&
           (Top(), !rows_.empty());
  }

  void Close() override {
    for (sqlite3_stmt** s : {&first_, &after_, &before_, &at_or_after_}) {
      sqlite3_finalize(*s);
      *s = nullptr;
    }
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
  }

  void Top() override {
    rows_.clear();
    sqlite3_bind_int(first_, 1, page_);
    Read(first_, /*forward=*/true);
  }

  bool PageDown() override {
    if (rows_.empty()) return false;
    const SqlRow& last = rows_.back();
    sqlite3_bind_text(after_, 1, last.item.data(), static_cast<int>(last.item.size()), SQLITE_STATIC);
    sqlite3_bind_int64(after_, 2, last.rowid);
    sqlite3_bind_int(after_, 3, page_);
    // As the browse does, rows read at the end push those at the top out.
    int read = Read(after_, /*forward=*/true);
    return read == page_;
  }

  void Jump(int pos) override {
    const std::string& value = (*spread_)[static_cast<size_t>(std::clamp(pos, 1, 100) - 1)];
    size_t end = value.find_last_not_of(' ');
    std::string key = end == std::string::npos ? std::string() : value.substr(0, end + 1);
    rows_.clear();
    sqlite3_bind_text(at_or_after_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_bind_int(at_or_after_, 2, page_);
    Read(at_or_after_, /*forward=*/true);
    if (rows_.empty()) return Top();
    if (static_cast<int>(rows_.size()) < page_) {
      // The order ended first: the page is topped up from above.
      const SqlRow& first = rows_.front();
      std::string item = first.item;
      sqlite3_bind_text(before_, 1, item.data(), static_cast<int>(item.size()), SQLITE_STATIC);
      sqlite3_bind_int64(before_, 2, first.rowid);
      sqlite3_bind_int(before_, 3, page_ - static_cast<int>(rows_.size()));
      Read(before_, /*forward=*/false);
    }
  }

  int64_t PageChecksum() const override {
    int64_t sum = 0;
    for (const SqlRow& r : rows_) sum += r.code;
    return sum;
  }

 private:
  bool Prepare(const std::string& sql, sqlite3_stmt** stmt) {
    return sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr) == SQLITE_OK;
  }

  static std::string Text(sqlite3_stmt* s, int column) {
    const unsigned char* t = sqlite3_column_text(s, column);
    return t == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(t),
                                                      static_cast<size_t>(sqlite3_column_bytes(s, column)));
  }

  // Runs `stmt` and adds its rows at the end (forward) or the front; the
  // page keeps at most `page_` rows, dropping them at the other end.
  int Read(sqlite3_stmt* stmt, bool forward) {
    int read = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      SqlRow r;
      r.rowid = sqlite3_column_int64(stmt, 0);
      r.code = sqlite3_column_int64(stmt, 1);
      r.item = Text(stmt, 2);
      r.location = Text(stmt, 3);
      r.policy = Text(stmt, 4);
      r.serial = Text(stmt, 5);
      r.date = sqlite3_column_int64(stmt, 6);
      r.price = sqlite3_column_int64(stmt, 7);
      if (static_cast<int>(rows_.size()) == page_) {
        if (forward) {
          rows_.pop_front();
        } else {
          rows_.pop_back();
        }
      }
      if (forward) {
        rows_.push_back(std::move(r));
      } else {
        rows_.push_front(std::move(r));
      }
      ++read;
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return read;
  }

  std::string path_;
  int page_;
  const std::vector<std::string>* spread_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* first_ = nullptr;
  sqlite3_stmt* after_ = nullptr;
  sqlite3_stmt* before_ = nullptr;
  sqlite3_stmt* at_or_after_ = nullptr;
  std::deque<SqlRow> rows_;
};

}  // namespace

std::unique_ptr<Pager> MakeBrowsePager(int page, bool quick_scan, std::vector<std::string>* spread) {
  return std::make_unique<BrowsePager>(page, quick_scan, spread);
}

std::unique_ptr<Pager> MakeSqlPager(const std::string& path, int page,
                                    const std::vector<std::string>* spread) {
  return std::make_unique<SqlPager>(path, page, spread);
}

}  // namespace vorsandt::bench
