#include "runtime/files/field_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vorsandt::files {
namespace {

struct Case {
  std::vector<uint8_t> bytes;
  int places;
  double value;
};

TEST(PackedDecimalTest, ReadsAndWritesTheSignNibbleAndDigits) {
  const Case cases[] = {
      {{0x00, 0x12, 0x34}, 2, 12.34},
      {{0xF0, 0x12, 0x34}, 2, -12.34},
      {{0x01, 0x23, 0x45, 0x67}, 2, 12345.67},
      {{0x09, 0x99, 0x99, 0x99, 0x99}, 2, 9999999.99},
      {{0x00, 0x00, 0x00, 0x05}, 2, 0.05},
      {{0x07}, 0, 7},
      {{0xF7}, 0, -7},
      {{0x00, 0x00}, 0, 0},
      {{0x00, 0x42}, 0, 42},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(ReadPackedDecimal(c.bytes, c.places), c.value);
    std::vector<uint8_t> written(c.bytes.size(), 0xAA);
    EXPECT_TRUE(WritePackedDecimal(c.value, c.places, written));
    EXPECT_EQ(written, c.bytes) << c.value;
  }
}

TEST(PackedDecimalTest, AnyNonZeroSignNibbleIsNegative) {
  std::vector<uint8_t> bytes = {0xD0, 0x10};
  EXPECT_DOUBLE_EQ(ReadPackedDecimal(bytes, 1), -1.0);
}

TEST(PackedDecimalTest, RoundsToThePlacesAndRejectsWhatDoesNotFit) {
  std::vector<uint8_t> bytes(4);
  EXPECT_TRUE(WritePackedDecimal(2.675, 2, bytes));
  EXPECT_DOUBLE_EQ(ReadPackedDecimal(bytes, 2), 2.68);
  EXPECT_FALSE(WritePackedDecimal(123456.0, 2, bytes));  // 7 digits fit, 8 needed
  EXPECT_DOUBLE_EQ(ReadPackedDecimal(bytes, 2), 99999.99);
  EXPECT_FALSE(WritePackedDecimal(-1e300, 2, bytes));
  EXPECT_DOUBLE_EQ(ReadPackedDecimal(bytes, 2), -99999.99);
  EXPECT_FALSE(WritePackedDecimal(NAN, 2, bytes));
  EXPECT_DOUBLE_EQ(ReadPackedDecimal(bytes, 2), 0);
  EXPECT_TRUE(WritePackedDecimal(-0.001, 2, bytes));  // rounds to zero: no sign
  EXPECT_EQ(bytes[0], 0x00);
}

TEST(PackedDecimalTest, DamagedNibblesStillReadAsFiniteNumbers) {
  std::vector<uint8_t> bytes = {0x0F, 0xFF};
  EXPECT_DOUBLE_EQ(ReadPackedDecimal(bytes, 0), 999);
  EXPECT_DOUBLE_EQ(ReadPackedDecimal({}, 2), 0);
}

}  // namespace
}  // namespace vorsandt::files
