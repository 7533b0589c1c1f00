// Reads pages of 20 rows of one location's items through a view with the
// location filter, at random places in the range, over ITEMS tables of
// different sizes. Prints the reads and the time per page: the reads stay
// the same whatever the table size, because the filter's key range positions
// the table instead of scanning it.
//
//   vorsandt_view_page_bench [SIZE...]     (default: 1000 200000)
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/eval/record_binding.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/views/field_values.h"
#include "runtime/views/view_decl.h"
#include "runtime/views/view_engine.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace {

using namespace vorsandt;

int64_t g_reads = 0;

int32_t CountingEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  if (op == files::kOpNext || op == files::kOpPrevious) ++g_reads;
  return qvf::QvfEntry(op, object, args);
}

constexpr int kLocations = 50;
constexpr int kPageRows = 20;
constexpr int kPages = 50;

files::FieldInfo Field(const char* name) {
  const app::FieldDef* d = app::FieldNamed(name);
  files::FieldInfo f;
  f.name = d->name;
  f.offset = d->offset;
  f.type = d->type;
  f.size = d->size;
  f.decimals = d->places;
  return f;
}

std::string LocationName(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "Location %02d", i);
  return text;
}

std::string ItemName(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "Item %07d", i);
  return text;
}

// Fills ITEMS with `size` records through a declaration of the same table
// that keeps its changes until Close (one save instead of one per record).
bool Load(int size, std::mt19937& rng) {
  files::FileRecord* items = app::File(app::Table::kItems);
  std::vector<uint8_t> buffer(items->record_length);
  files::FileRecord loader(&CountingEntry, items->name, items->name_length,
                           files::kAttrCreate | files::kAttrDriverFlag02, items->record_length,
                           items->layout, items->layout_size, items->keys, items->key_count,
                           items->memos, items->memo_count, buffer.data());
  std::vector<files::FieldInfo> fields;
  files::ParseLayout({items->layout, items->layout_size}, &fields);
  files::Create(&loader);
  files::Open(&loader);
  if (files::Errors().Code() != 0) return false;
  for (int i = 1; i <= size; ++i) {
    views::ClearRecord(fields, buffer.data(), items->record_length);
    // The item code is 16 bits; codes beyond its range stay 0 (not in the
    // optional primary key).
    views::StoreNumber(Field("ITE:ITEM_CODE"), buffer.data(), i <= 32767 ? i : 0);
    views::StoreText(Field("ITE:LOCATION"), buffer.data(),
                     LocationName(static_cast<int>(rng() % kLocations)));
    views::StoreText(Field("ITE:ITEM"), buffer.data(),
                     ItemName(static_cast<int>(rng() % 10000000)));
    files::Add(&loader);
    if (files::Errors().Code() != 0) {
      std::fprintf(stderr, "add %d: %s\n", i, files::Errors().Text().c_str());
      return false;
    }
  }
  files::Close(&loader);
  return files::Errors().Code() == 0;
}

void Measure(int size) {
  std::string pattern = (std::filesystem::temp_directory_path() / "viewbench_XXXXXX").string();
  const std::filesystem::path folder = mkdtemp(pattern.data());
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::mt19937 rng(static_cast<unsigned>(size));
  const auto load_start = std::chrono::steady_clock::now();
  if (!Load(size, rng)) {
    std::printf("items %d: loading failed\n", size);
  } else {
    const double load_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - load_start).count();
    files::FileRecord* items = app::File(app::Table::kItems);
    files::FileRecord* locations = app::File(app::Table::kLocations);
    files::Open(items, files::kModeReadOnly);
    eval::BindRecord(items);
    eval::BindRecord(locations);
    const files::KeyDecl* by_location = app::KeyNamed("ITE:LOC");
    std::vector<uint8_t> layout = views::ViewLayoutBuilder().Level({}, {1, 3, 14}).Finish();
    views::ViewFileList list{items, nullptr, 0};
    views::ViewRecord view(layout.data(), layout.size(), &list);
    uint8_t* item_buffer = files::RecordBuffer(items);
    uint8_t* location_buffer = files::RecordBuffer(locations);
    int64_t reads = 0;
    int64_t rows = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int page = 0; page < kPages; ++page) {
      const std::string location = LocationName(static_cast<int>(rng() % kLocations));
      views::StoreText(Field("LOC:LOCATION"), location_buffer, location);
      // A random place inside the range: the location and an item name.
      views::StoreText(Field("ITE:LOCATION"), item_buffer, location);
      views::StoreText(Field("ITE:ITEM"), item_buffer, ItemName(static_cast<int>(rng() % 9000000)));
      files::SetKeyValue(items, by_location);
      files::SetFilter(&view, 31928, "UPPER(ITE:LOCATION) = UPPER(LOC:LOCATION)");
      files::Open(&view, files::kModeViewDefault);
      g_reads = 0;
      for (int r = 0; r < kPageRows; ++r) {
        files::Next(&view);
        if (files::Errors().Code() != 0) break;
        ++rows;
      }
      reads += g_reads;
      files::Close(&view);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "items %7d: load %.1f s; %d pages, %.1f rows and %.1f reads per page, %.0f us per page\n",
        size, load_s, kPages, static_cast<double>(rows) / kPages,
        static_cast<double>(reads) / kPages, seconds * 1e6 / kPages);
    files::Close(items);
  }
  std::filesystem::current_path(old);
  std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
  vorsandt::app::InitDictionary(&CountingEntry);
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 200000};
  for (int size : sizes) Measure(size);
  return 0;
}
