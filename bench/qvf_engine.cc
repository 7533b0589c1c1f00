#include "bench/qvf_engine.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/dictionary/dictionary.h"
#include "runtime/eval/record_binding.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "runtime/views/field_values.h"
#include "runtime/views/view_decl.h"

namespace vorsandt::bench {
namespace {

using files::Errors;

constexpr int32_t kNotAvailable = 33;
constexpr int32_t kNoRecord = 35;

bool Failed(const char* what) {
  const int32_t code = Errors().Code();
  if (code == 0) return false;
  std::fprintf(stderr, "qvf %s: %d %s\n", what, code, Errors().Text().c_str());
  return true;
}

int16_t CodeOf(const uint8_t* record) {
  int16_t code;
  std::memcpy(&code, record, sizeof code);
  return code;
}

bool SameText(const uint8_t* record, const files::FieldInfo& f, const std::string& text) {
  std::string_view stored(reinterpret_cast<const char*>(record) + f.offset, f.size);
  while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
  if (stored.size() != text.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(stored[i])) !=
        std::toupper(static_cast<unsigned char>(text[i]))) {
      return false;
    }
  }
  return true;
}

class QvfEngine : public Engine {
 public:
  QvfEngine()
      : items_(app::File(app::Table::kItems)),
        locations_(app::File(app::Table::kLocations)),
        by_code_(app::KeyNamed("ITE:CODE")),
        by_location_(app::KeyNamed("ITE:LOC")),
        layout_(views::ViewLayoutBuilder().LevelAllFields({}).Finish()),
        list_{items_, nullptr, 0},
        view_(layout_.data(), layout_.size(), &list_) {}

  void Remove() override {
    for (const std::string& p : Paths()) std::filesystem::remove(p);
  }

  WorkResult Load(const Dataset& data, bool ordered) override {
    WorkResult r;
    files::Create(items_);
    if (Failed("create")) return {false};
    files::Open(items_);
    if (Failed("open")) return {false};
    files::Logout(1, {items_});
    if (Failed("logout")) return {false};
    uint8_t* buffer = files::RecordBuffer(items_);
    for (int i = 0; i < data.rows; ++i) {
      const Row& row = data.items[ordered ? i : data.shuffled[i]];
      std::memcpy(buffer, row.image.data(), row.image.size());
      files::Add(items_);
      if (Failed("add")) {
        files::Rollback();
        return {false};
      }
      r.Count(row.code);
    }
    files::Commit();
    if (Failed("commit")) return {false};
    files::Close(items_);
    if (Failed("close")) return {false};
    return r;
  }

  bool Open() override {
    files::Open(items_);
    if (Failed("open")) return false;
    if (!bound_) {
      eval::BindRecord(items_);
      eval::BindRecord(locations_);
      bound_ = true;
    }
    return true;
  }

  void Close() override { files::Close(items_); }

  WorkResult AddEach(const std::vector<Row>& rows) override {
    WorkResult r;
    uint8_t* buffer = files::RecordBuffer(items_);
    for (const Row& row : rows) {
      std::memcpy(buffer, row.image.data(), row.image.size());
      files::Add(items_);
      if (Failed("add")) return {false};
      r.Count(row.code);
    }
    return r;
  }

  WorkResult PutEach(const std::vector<int16_t>& codes,
                     const std::vector<int64_t>& cents) override {
    WorkResult r;
    uint8_t* buffer = files::RecordBuffer(items_);
    for (size_t i = 0; i < codes.size(); ++i) {
      if (!Get(codes[i])) return {false};
      views::StoreNumber(ItemFields()[kPrice - 1], buffer, static_cast<double>(cents[i]) / 100);
      files::Put(items_);
      if (Failed("put")) return {false};
      r.Count(codes[i]);
    }
    return r;
  }

  WorkResult GetByCode(const std::vector<int16_t>& codes) override {
    WorkResult r;
    uint8_t* buffer = files::RecordBuffer(items_);
    for (int16_t code : codes) {
      std::memcpy(buffer, &code, sizeof code);
      files::GetByKey(items_, by_code_);
      if (Errors().Code() == kNoRecord) continue;
      if (Failed("get")) return {false};
      r.Count(CodeOf(buffer));
    }
    return r;
  }

  WorkResult LocationRange(const std::vector<std::string>& locations) override {
    WorkResult r;
    uint8_t* buffer = files::RecordBuffer(items_);
    const files::FieldInfo& location = ItemFields()[kLocation - 1];
    for (const std::string& name : locations) {
      views::StoreText(location, buffer, name);
      views::StoreExtreme(ItemFields()[kItem - 1], buffer, false, true);
      files::SetKeyValue(items_, by_location_);
      if (Failed("setkeyvalue")) return {false};
      for (;;) {
        files::Next(items_);
        if (Errors().Code() == kNotAvailable) break;
        if (Failed("next")) return {false};
        if (!SameText(buffer, location, name)) break;
        r.Count(CodeOf(buffer));
      }
    }
    return r;
  }

  WorkResult ScanKey(int key) override {
    WorkResult r;
    uint8_t* buffer = files::RecordBuffer(items_);
    files::SetKey(items_, app::Key(app::Table::kItems, key));
    if (Failed("setkey")) return {false};
    for (;;) {
      files::Next(items_);
      if (Errors().Code() == kNotAvailable) break;
      if (Failed("next")) return {false};
      r.Count(CodeOf(buffer));
    }
    return r;
  }

  WorkResult SeekRead(const std::vector<Seek>& seeks, int rows) override {
    WorkResult r;
    uint8_t* buffer = files::RecordBuffer(items_);
    uint8_t* location_buffer = files::RecordBuffer(locations_);
    const files::FieldInfo& location = ItemFields()[kLocation - 1];
    const files::FieldInfo& item = ItemFields()[kItem - 1];
    files::FieldInfo loc_location = location;
    loc_location.offset = 0;
    for (const Seek& seek : seeks) {
      views::StoreText(loc_location, location_buffer, seek.location);
      views::StoreText(location, buffer, seek.location);
      views::StoreText(item, buffer, seek.item);
      files::SetKeyValue(items_, by_location_);
      files::SetFilter(&view_, 31928, "UPPER(ITE:LOCATION) = UPPER(LOC:LOCATION)");
      files::Open(&view_, files::kModeViewDefault);
      if (Failed("view open")) return {false};
      for (int i = 0; i < rows; ++i) {
        files::Next(&view_);
        if (Errors().Code() == kNotAvailable) break;
        if (Failed("view next")) return {false};
        r.Count(CodeOf(buffer));
      }
      files::Close(&view_);
    }
    return r;
  }

  WorkResult RewriteLocation(const std::vector<int16_t>& codes,
                             const std::vector<std::string>& locations) override {
    WorkResult r;
    uint8_t* buffer = files::RecordBuffer(items_);
    files::Logout(1, {items_});
    if (Failed("logout")) return {false};
    for (size_t i = 0; i < codes.size(); ++i) {
      if (!Get(codes[i])) {
        files::Rollback();
        return {false};
      }
      views::StoreText(ItemFields()[kLocation - 1], buffer, locations[i]);
      files::Put(items_);
      if (Failed("put")) {
        files::Rollback();
        return {false};
      }
      r.Count(codes[i]);
    }
    files::Commit();
    if (Failed("commit")) return {false};
    return r;
  }

  WorkResult DeleteCodes(const std::vector<int16_t>& codes) override {
    WorkResult r;
    files::Logout(1, {items_});
    if (Failed("logout")) return {false};
    for (int16_t code : codes) {
      if (!Get(code)) {
        files::Rollback();
        return {false};
      }
      files::Delete(items_);
      if (Failed("delete")) {
        files::Rollback();
        return {false};
      }
      r.Count(code);
    }
    files::Commit();
    if (Failed("commit")) return {false};
    return r;
  }

  std::vector<std::string> Paths() const override { return {"ITEMS.QVF"}; }

 private:
  bool Get(int16_t code) {
    std::memcpy(files::RecordBuffer(items_), &code, sizeof code);
    files::GetByKey(items_, by_code_);
    return !Failed("get");
  }

  files::FileRecord* items_;
  files::FileRecord* locations_;
  const files::KeyDecl* by_code_;
  const files::KeyDecl* by_location_;
  std::vector<uint8_t> layout_;
  views::ViewFileList list_;
  views::ViewRecord view_;
  bool bound_ = false;
};

}  // namespace

std::unique_ptr<Engine> MakeQvfEngine() { return std::make_unique<QvfEngine>(); }

}  // namespace vorsandt::bench
