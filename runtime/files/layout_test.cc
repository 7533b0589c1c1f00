#include "runtime/files/layout.h"

#include <random>

#include <gtest/gtest.h>

#include "runtime/files/error_codes.h"

namespace vorsandt::files {
namespace {

TEST(LayoutTest, BuiltStreamParsesBackToItsFields) {
  std::vector<uint8_t> s = LayoutBuilder()
                               .Short(0, "T:CODE")
                               .String(2, "T:NAME", 30, "@s30")
                               .Long(32, "T:DATE")
                               .Decimal(36, "T:PRICE", 5, 2)
                               .Finish();
  std::vector<FieldInfo> f;
  ASSERT_EQ(ParseLayout(s, &f), 0);
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[0].name, "T:CODE");
  EXPECT_EQ(f[0].size, 2u);
  EXPECT_EQ(f[1].offset, 2u);
  EXPECT_EQ(f[1].size, 30u);
  EXPECT_EQ(f[1].picture, "@s30");
  EXPECT_EQ(f[2].type, kTypeLong);
  EXPECT_EQ(f[3].size, 5u);
  EXPECT_EQ(f[3].decimals, 2);
  for (const FieldInfo& x : f) EXPECT_FALSE(x.overlay);
}

TEST(LayoutTest, GroupsDimensionsAndOverlays) {
  std::vector<uint8_t> s = LayoutBuilder()
                               .String(0, "T:LINE", 10)
                               .BeginGroup(10, "T:PARTS")
                               .Short(0, "T:A")
                               .Short(2, "T:B")
                               .EndGroup()
                               .Field(14, "T:ARR", 0)
                               .Dimension(3)
                               .Dimension(2)
                               .Byte(kTypeLong)
                               .String(4, "T:OVER", 2)
                               .Finish();
  std::vector<FieldInfo> f;
  ASSERT_EQ(ParseLayout(s, &f), 0);
  ASSERT_EQ(f.size(), 6u);
  EXPECT_EQ(f[1].type, kTypeGroup);
  EXPECT_EQ(f[1].size, 4u);
  EXPECT_EQ(f[3].offset, 12u);  // relative to its group
  EXPECT_EQ(f[3].depth, 1);
  EXPECT_EQ(f[4].element_count, 6u);
  EXPECT_EQ(f[4].size, 24u);
  EXPECT_TRUE(f[5].overlay);
}

TEST(LayoutTest, MalformedStreamsAreRejected) {
  struct Case { const char* what; std::vector<uint8_t> bytes; int32_t code; };
  std::vector<uint8_t> good = LayoutBuilder().Short(0, "T:A").Finish();
  std::vector<uint8_t> truncated(good.begin(), good.end() - 3);
  const Case cases[] = {
      {"empty", {}, kInvalidFieldTypeDescriptor},
      {"no group code", {0x18, 0, 0, 0, 0, 'A', 0, 2, 0}, kInvalidFieldTypeDescriptor},
      {"entry without marker", {0x16, 0x19, 0, 0, 0, 0, 'A', 0, 2, 0}, kInvalidFieldTypeDescriptor},
      {"truncated", truncated, kInvalidFieldTypeDescriptor},
      {"unclosed label", {0x16, 0x18, 0, 0, 0, 0, 'A', 'B'}, kInvalidFieldTypeDescriptor},
      {"unknown type", {0x16, 0x18, 0, 0, 0, 0, 'A', 0, 15, 0}, kUnsupportedDataType},
      {"type zero", {0x16, 0x18, 0, 0, 0, 0, 'A', 0, 0, 0}, kUnsupportedDataType},
      {"unclosed group", {0x16, 0x18, 0, 0, 0, 0, 'G', 0, 22}, kInvalidFieldTypeDescriptor},
  };
  for (const Case& c : cases) {
    std::vector<FieldInfo> f;
    EXPECT_EQ(ParseLayout(c.bytes, &f), c.code) << c.what;
    EXPECT_TRUE(f.empty()) << c.what;
  }
}

TEST(LayoutTest, SizesThatOverflowAreRejected) {
  std::vector<FieldInfo> f;
  // 65536 x 65536 elements would wrap to zero.
  EXPECT_EQ(ParseLayout(LayoutBuilder().Field(0, "T:A", 0).Dimension(65536).Dimension(65536)
                            .Byte(kTypeByte).Finish(), &f),
            kInvalidFieldTypeDescriptor);
  // A 2 GB text twice over would wrap to zero bytes.
  EXPECT_EQ(ParseLayout(LayoutBuilder().Field(0, "T:A", 0).Dimension(2).Byte(kTypeString)
                            .U32(0x80000000u).Text("").Finish(), &f),
            kInvalidFieldTypeDescriptor);
  // A field whose end lies past 4 GB.
  EXPECT_EQ(ParseLayout(LayoutBuilder().String(0xFFFFFFF0u, "T:A", 0x20).Finish(), &f),
            kInvalidFieldTypeDescriptor);
  EXPECT_EQ(ParseLayout(LayoutBuilder().Field(0, "T:A", 0).Dimension(0).Byte(kTypeLong).Finish(),
                        &f),
            kInvalidFieldTypeDescriptor);
}

TEST(LayoutTest, RandomBytesNeverCrashTheParser) {
  std::mt19937 rng(7);
  std::vector<FieldInfo> f;
  for (int i = 0; i < 20000; ++i) {
    std::vector<uint8_t> bytes(rng() % 64);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng() % 32);
    if (!bytes.empty()) bytes[0] = kLayoutGroupCode;
    int32_t r = ParseLayout(bytes, &f);
    EXPECT_TRUE(r == 0 || r == kInvalidFieldTypeDescriptor || r == kUnsupportedDataType);
  }
  // Deep nesting hits the depth cap instead of the stack.
  std::vector<uint8_t> deep = {kLayoutGroupCode};
  for (int i = 0; i < 10000; ++i) {
    for (int b : {0x18, 0, 0, 0, 0, int{'G'}, 0, 22}) deep.push_back(static_cast<uint8_t>(b));
  }
  EXPECT_EQ(ParseLayout(deep, &f), kInvalidFieldTypeDescriptor);
}

}  // namespace
}  // namespace vorsandt::files
