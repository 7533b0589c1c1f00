#include "runtime/files/field_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace vorsandt::files {
namespace {

FieldBytes Field(uint8_t type, std::vector<uint8_t>& bytes, uint8_t places = 0) {
  return {type, bytes.data(), static_cast<uint32_t>(bytes.size()), places};
}

TEST(FieldCodecTest, EveryTypeCodeHasANameAndDefinitionsFindThem) {
  for (uint8_t code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 18, 19, 20, 22}) {
    EXPECT_FALSE(TypeName(code).empty()) << int{code};
  }
  EXPECT_EQ(TypeName(kTypeULong), "ULONG");
  EXPECT_EQ(TypeName(kTypeSReal), "SREAL");
  EXPECT_TRUE(TypeName(12).empty());
  EXPECT_EQ(TypeFromName("ulong"), kTypeULong);
  EXPECT_EQ(TypeFromName("pdecimal"), kTypePDecimal);
  EXPECT_EQ(TypeFromName("string"), kTypeString);
  // The kinds held as another type are not names a definition may use.
  EXPECT_FALSE(TypeFromName("long(4)").has_value());
  EXPECT_FALSE(TypeFromName("dial").has_value());
}

TEST(FieldCodecTest, NumbersRoundTripThroughEveryNumericType) {
  const struct {
    uint8_t type;
    size_t size;
    double value;
  } cases[] = {
      {kTypeByte, 1, 200},          {kTypeShort, 2, -1234},     {kTypeUShort, 2, 65000},
      {kTypeLongKind4, 4, -70000},  {kTypeLong, 4, 2000000000}, {kTypeULong, 4, 4000000000.0},
      {kTypeSReal, 4, 1.5},         {kTypeDouble, 8, -2.25},    {kTypeRealKind14, 8, 1e300},
      {kTypeDecimal, 4, -12345.67}, {kTypePDecimal, 3, 99.99},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes(c.size);
    FieldBytes f = Field(c.type, bytes, 2);
    ASSERT_TRUE(WriteNumber(f, c.value, Overflow::kRefuse)) << int{c.type};
    EXPECT_DOUBLE_EQ(ReadNumber(f).value_or(-1), c.value) << int{c.type};
    EXPECT_FALSE(ReadText(f).has_value()) << int{c.type};
  }
}

TEST(FieldCodecTest, OverflowSaturatesOrRefusesAsAsked) {
  std::vector<uint8_t> bytes(2);
  FieldBytes f = Field(kTypeShort, bytes);
  ASSERT_TRUE(WriteNumber(f, 7, Overflow::kRefuse));
  EXPECT_FALSE(WriteNumber(f, 40000, Overflow::kRefuse));
  EXPECT_EQ(ReadNumber(f), 7);  // a refused value leaves the field alone
  EXPECT_TRUE(WriteNumber(f, 40000, Overflow::kSaturate));
  EXPECT_EQ(ReadNumber(f), 32767);
  EXPECT_TRUE(WriteNumber(f, std::nan(""), Overflow::kSaturate));
  EXPECT_EQ(ReadNumber(f), 0);
  EXPECT_TRUE(WriteNumber(f, -2.5, Overflow::kSaturate));
  EXPECT_EQ(ReadNumber(f), -3);  // half away from zero

  std::vector<uint8_t> packed(2);  // three digits
  FieldBytes d = Field(kTypeDecimal, packed, 1);
  ASSERT_TRUE(WriteNumber(d, 12.3, Overflow::kRefuse));
  EXPECT_FALSE(WriteNumber(d, 123.4, Overflow::kRefuse));
  EXPECT_DOUBLE_EQ(ReadNumber(d).value_or(0), 12.3);
  EXPECT_TRUE(WriteNumber(d, -123.4, Overflow::kSaturate));
  EXPECT_DOUBLE_EQ(ReadNumber(d).value_or(0), -99.9);

  std::vector<uint8_t> real(4);
  FieldBytes s = Field(kTypeSReal, real);
  EXPECT_FALSE(WriteNumber(s, 1e300, Overflow::kRefuse));
  EXPECT_TRUE(WriteNumber(s, 1e300, Overflow::kSaturate));
  EXPECT_TRUE(std::isinf(ReadNumber(s).value_or(0)));
}

TEST(FieldCodecTest, TextsAreCutAndPaddedByTheirKind) {
  std::vector<uint8_t> fixed(5), cstring(5), pstring(5);
  ASSERT_TRUE(WriteText(Field(kTypeString, fixed), "ab"));
  EXPECT_EQ(std::string(fixed.begin(), fixed.end()), "ab   ");
  ASSERT_TRUE(WriteText(Field(kTypeString, fixed), "abcdefg"));
  EXPECT_EQ(ReadText(Field(kTypeString, fixed)), "abcde");

  ASSERT_TRUE(WriteText(Field(kTypeCString, cstring), "abcdefg"));
  EXPECT_EQ(ReadText(Field(kTypeCString, cstring)), "abcd");  // room for the NUL
  EXPECT_EQ(cstring[4], 0);

  ASSERT_TRUE(WriteText(Field(kTypePString, pstring), "xy"));
  EXPECT_EQ(pstring, (std::vector<uint8_t>{2, 'x', 'y', 0, 0}));
  EXPECT_EQ(ReadText(Field(kTypePString, pstring)), "xy");
  pstring[0] = 200;  // a damaged length byte reads no further than the field
  EXPECT_EQ(ReadText(Field(kTypePString, pstring))->size(), 4u);

  std::vector<uint8_t> number(4);
  EXPECT_FALSE(WriteText(Field(kTypeLong, number), "12"));
  EXPECT_FALSE(WriteNumber(Field(kTypeString, fixed), 12, Overflow::kSaturate));
  EXPECT_FALSE(ReadNumber(Field(kTypeGroup, number)).has_value());
}

TEST(FieldCodecTest, PackedDecimalTextIsExact) {
  std::vector<uint8_t> bytes(5);  // nine digits
  EXPECT_EQ(TextToPacked("-1234567.89", 2, bytes), PackedTextError::kNone);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xF1, 0x23, 0x45, 0x67, 0x89}));
  EXPECT_EQ(PackedToText(bytes, 2), "-1234567.89");
  EXPECT_EQ(TextToPacked("0.5", 2, bytes), PackedTextError::kNone);
  EXPECT_EQ(PackedToText(bytes, 2), "0.50");
  EXPECT_EQ(TextToPacked("", 2, bytes), PackedTextError::kNone);
  EXPECT_EQ(PackedToText(bytes, 2), "0.00");

  const std::vector<uint8_t> before = {0x00, 0x00, 0x00, 0x04, 0x20};
  bytes = before;
  EXPECT_EQ(TextToPacked("1.234", 2, bytes), PackedTextError::kTooManyPlaces);
  EXPECT_EQ(TextToPacked("12345678", 2, bytes), PackedTextError::kTooLarge);
  EXPECT_EQ(TextToPacked("1e3", 2, bytes), PackedTextError::kBadNumber);
  EXPECT_EQ(TextToPacked("1.", 2, bytes), PackedTextError::kBadNumber);
  EXPECT_EQ(TextToPacked("-", 2, bytes), PackedTextError::kBadNumber);
  EXPECT_EQ(bytes, before);  // refused text leaves the field as it was
  EXPECT_EQ(PackedToText(bytes, 2), "4.20");
}

}  // namespace
}  // namespace vorsandt::files
