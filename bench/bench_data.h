// The records both engines store: ITEMS rows made from fixed seeds, each held
// once as the 406-byte record image and once as the column values a SQL
// table would bind (texts without their blank padding, numbers as integers).
#ifndef VORSANDT_BENCH_BENCH_DATA_H_
#define VORSANDT_BENCH_BENCH_DATA_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/files/layout.h"

namespace vorsandt::bench {

// ITE:ITEM_CODE is a 16-bit field: at most 65535 non-zero codes exist. Rows
// beyond that keep a blank (zero) code and are left out of the optional
// primary key, as the table itself would do. kReservedCodes codes are kept
// free for the per-call adds.
inline constexpr int kCodeValues = 65535;
inline constexpr int kReservedCodes = 2000;
inline constexpr int kLocations = 100;

// Field numbers of ITEMS (from 1, declaration order).
inline constexpr int kFieldCount = 19;
inline constexpr int kCode = 1, kPolicy = 2, kItem = 3, kSerial = 4, kDate = 5, kPrice = 6,
                     kLocation = 14;

// The fields of ITEMS as the record layout describes them, index 0 = field 1.
const std::vector<files::FieldInfo>& ItemFields();

// The k-th code (k from 0) of the order in which codes are handed out for a
// table of `rows` rows: 1, 2, ... while they all fit in 1..32767, else the
// whole 16-bit range from -32768 upwards, skipping 0. Increasing in k.
int16_t CodeAt(int k, int rows);
// How many rows of a table of `rows` rows get a code.
int CodedRows(int rows);

struct Row {
  std::vector<uint8_t> image;  // the 406-byte record
  int16_t code = 0;            // 0: blank
  int32_t date = 0;            // day number
  int64_t price_cents = 0;
  std::array<uint8_t, kFieldCount + 1> text_length{};  // trimmed length per text field
  // A text field of the row without its trailing blanks.
  std::string_view Text(int field) const;
};

// Rows in increasing code order (blank codes last); texts drawn from fixed
// vocabularies with a generator seeded by `seed`.
struct Dataset {
  int rows = 0;
  int coded = 0;
  std::vector<Row> items;
  std::vector<int> shuffled;  // a fixed random permutation of 0..rows-1
};
Dataset MakeDataset(int rows, uint32_t seed);

// A new row for code `code` (the per-call adds), drawn from `seed`.
Row MakeRow(int16_t code, uint32_t seed);

// Sets a text field of a row (image and trimmed length) and the numbers.
void SetText(Row* row, int field, std::string_view text);
void SetPrice(Row* row, int64_t cents);

std::string LocationName(int i);

}  // namespace vorsandt::bench

#endif  // VORSANDT_BENCH_BENCH_DATA_H_
