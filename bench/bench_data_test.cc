#include "bench/bench_data.h"

#include <gtest/gtest.h>

#include <set>

#include "app/dictionary/dictionary.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::bench {
namespace {

class BenchDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { app::InitDictionary(&qvf::QvfEntry); }
};

TEST_F(BenchDataTest, SmallTablesNumberCodesFromOneAndKeepTheAddsFree) {
  EXPECT_EQ(CodeAt(0, 1000), 1);
  EXPECT_EQ(CodeAt(999, 1000), 1000);
  EXPECT_EQ(CodedRows(1000), 1000);
  EXPECT_EQ(CodeAt(1000 + kReservedCodes - 1, 1000), 1000 + kReservedCodes);
}

TEST_F(BenchDataTest, LargeTablesUseTheWholeSixteenBitRangeWithoutZero) {
  const int rows = 100000;
  EXPECT_EQ(CodedRows(rows), kCodeValues - kReservedCodes);
  std::set<int> seen;
  int previous = -40000;
  for (int k = 0; k < kCodeValues; ++k) {
    const int code = CodeAt(k, rows);
    ASSERT_NE(code, 0) << k;
    ASSERT_GT(code, previous) << k;  // in key order, so the ordered load is ordered
    previous = code;
    seen.insert(code);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kCodeValues));
  EXPECT_EQ(*seen.begin(), -32768);
  EXPECT_EQ(*seen.rbegin(), 32767);
}

TEST_F(BenchDataTest, RowsBeyondTheCodesHaveABlankCodeAndTheSameSeedGivesTheSameRows) {
  const Dataset a = MakeDataset(64000, 7);
  EXPECT_EQ(a.coded, kCodeValues - kReservedCodes);
  EXPECT_NE(a.items[a.coded - 1].code, 0);
  EXPECT_EQ(a.items[a.coded].code, 0);
  const Dataset b = MakeDataset(64000, 7);
  EXPECT_EQ(a.items[12345].image, b.items[12345].image);
  EXPECT_EQ(a.shuffled, b.shuffled);
}

TEST_F(BenchDataTest, RecordImageAndColumnTextsAgree) {
  Row row = MakeRow(42, 3);
  ASSERT_EQ(row.image.size(), 406u);
  SetText(&row, kLocation, "Attic  ");
  EXPECT_EQ(row.Text(kLocation), "Attic");
  const files::FieldInfo& f = ItemFields()[kLocation - 1];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(row.image.data()) + f.offset, f.size),
            "Attic" + std::string(f.size - 5, ' '));
  SetText(&row, kLocation, std::string(50, 'x'));  // cut to the field
  EXPECT_EQ(row.Text(kLocation).size(), f.size);
}

}  // namespace
}  // namespace vorsandt::bench
