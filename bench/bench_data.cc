#include "bench/bench_data.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "app/dictionary/dictionary.h"
#include "runtime/views/field_values.h"

namespace vorsandt::bench {
namespace {

constexpr const char* kWords[] = {
    "Oak",     "Walnut",  "Steel",    "Glass",  "Silver",  "Leather", "Digital",  "Portable",
    "Antique", "Compact", "Cordless", "Large",  "Small",   "Wide",    "Electric", "Vintage",
    "Table",   "Chair",   "Lamp",     "Camera", "Printer", "Monitor", "Radio",    "Clock",
    "Mirror",  "Cabinet", "Bicycle",  "Drill",  "Kettle",  "Piano",   "Ladder",   "Rug"};
constexpr int kWordCount = sizeof kWords / sizeof kWords[0];

constexpr const char* kShops[] = {"Harbour Stores",       "Kettering Supplies", "Marlow & Sons",
                                  "North Street Trading", "The Home Depot Co",  "Vale Furnishers",
                                  "Westgate Electrical",  "Brook Lane Antiques"};
constexpr const char* kMakers[] = {"Aldren",   "Brightline", "Castell", "Dovecote",
                                   "Everhart", "Fairmont",   "Grayson", "Holloway"};
constexpr const char* kPeriods[] = {"1 year", "2 years", "3 years", "6 months", "none"};

std::string Pick(std::mt19937& rng, const char* const* list, int count) {
  return list[rng() % static_cast<unsigned>(count)];
}

std::string Words(std::mt19937& rng, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += kWords[rng() % kWordCount];
  }
  return text;
}

std::string Printf(const char* format, long value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void Fill(Row* row, std::mt19937& rng) {
  const int policies = 40;
  SetText(row, kPolicy, Printf("POL-%05ld", static_cast<long>(rng() % policies)));
  SetText(row, kItem, Words(rng, 3) + Printf(" %06ld", static_cast<long>(rng() % 1000000)));
  SetText(row, kSerial, Printf("SN%010ld", static_cast<long>(rng() % 2000000000)));
  row->date = 70000 + static_cast<int32_t>(rng() % 8000);
  views::StoreNumber(ItemFields()[kDate - 1], row->image.data(), row->date);
  SetPrice(row, static_cast<int64_t>(rng() % 500000));
  SetText(row, 7, Printf("R%08ld", static_cast<long>(rng() % 100000000)));
  SetText(row, 8, rng() % 2 ? "Y" : "N");
  SetText(row, 9, Pick(rng, kShops, 8));
  SetText(row, 10, Pick(rng, kMakers, 8));
  SetText(row, 11, Pick(rng, kPeriods, 5));
  SetText(row, 12, Pick(rng, kPeriods, 5));
  SetText(row, 13, rng() % 4 ? "" : "Extended cover " + Pick(rng, kPeriods, 5));
  SetText(row, kLocation, LocationName(static_cast<int>(rng() % kLocations)));
  SetText(row, 15, rng() % 2 ? "Y" : "N");
  SetText(row, 16, rng() % 2 ? "Y" : "N");
  SetText(row, 17, rng() % 2 ? "Y" : "N");
  const bool photo = rng() % 3 == 0;
  SetText(row, 18, photo ? Printf("PIC%05ld.JPG", static_cast<long>(rng() % 100000)) : "");
  SetText(row, 19, photo ? Words(rng, 2) : "");
}

}  // namespace

const std::vector<files::FieldInfo>& ItemFields() {
  static const std::vector<files::FieldInfo> fields = [] {
    std::vector<files::FieldInfo> out;
    files::ParseLayout(app::Layout(app::Table::kItems), &out);
    return out;
  }();
  return fields;
}

int CodedRows(int rows) { return std::min(rows, kCodeValues - kReservedCodes); }

int16_t CodeAt(int k, int rows) {
  if (rows + kReservedCodes <= 32767) return static_cast<int16_t>(k + 1);
  int v = -32768 + k;
  if (v >= 0) ++v;
  return static_cast<int16_t>(v);
}

std::string_view Row::Text(int field) const {
  const files::FieldInfo& f = ItemFields()[field - 1];
  return {reinterpret_cast<const char*>(image.data()) + f.offset, text_length[field]};
}

void SetText(Row* row, int field, std::string_view text) {
  const files::FieldInfo& f = ItemFields()[field - 1];
  views::StoreText(f, row->image.data(), std::string(text));
  size_t n = std::min<size_t>(text.size(), f.size);
  while (n > 0 && text[n - 1] == ' ') --n;
  row->text_length[field] = static_cast<uint8_t>(n);
}

void SetPrice(Row* row, int64_t cents) {
  row->price_cents = cents;
  views::StoreNumber(ItemFields()[kPrice - 1], row->image.data(),
                     static_cast<double>(cents) / 100.0);
}

std::string LocationName(int i) { return Printf("Location %03ld", i); }

Row MakeRow(int16_t code, uint32_t seed) {
  std::mt19937 rng(seed);
  Row row;
  const auto& fields = ItemFields();
  row.image.assign(app::Def(app::Table::kItems).record_length, 0);
  views::ClearRecord(fields, row.image.data(), static_cast<uint32_t>(row.image.size()));
  row.code = code;
  views::StoreNumber(fields[kCode - 1], row.image.data(), code);
  Fill(&row, rng);
  return row;
}

Dataset MakeDataset(int rows, uint32_t seed) {
  Dataset data;
  data.rows = rows;
  data.coded = CodedRows(rows);
  data.items.reserve(rows);
  std::mt19937 rng(seed);
  for (int i = 0; i < rows; ++i) {
    const int16_t code = i < data.coded ? CodeAt(i, rows) : 0;
    data.items.push_back(MakeRow(code, static_cast<uint32_t>(rng())));
  }
  data.shuffled.resize(rows);
  for (int i = 0; i < rows; ++i) data.shuffled[i] = i;
  std::shuffle(data.shuffled.begin(), data.shuffled.end(), rng);
  return data;
}

}  // namespace vorsandt::bench
