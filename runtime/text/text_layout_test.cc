// Which record layouts the text driver accepts.
#include "runtime/text/text_layout.h"

#include <gtest/gtest.h>

#include <functional>

#include "runtime/files/error_codes.h"
#include "runtime/files/layout.h"

namespace vorsandt::text {
namespace {

using files::LayoutBuilder;

struct LayoutCase {
  const char* name;
  std::function<std::vector<uint8_t>()> build;
  uint32_t record_length;
  int32_t expected;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class TextLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(TextLayoutTest, AcceptsOrRefuses) {
  const std::vector<uint8_t> stream = GetParam().build();
  std::vector<TextField> fields;
  EXPECT_EQ(CheckTextLayout(stream, GetParam().record_length, &fields), GetParam().expected)
      << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextLayoutTest,
    ::testing::Values(
        LayoutCase{"one line field",
                   [] { return LayoutBuilder().String(0, "R:LINE", 255).Finish(); }, 255, 0},
        LayoutCase{"no layout", [] { return std::vector<uint8_t>(); }, 80, 0},
        LayoutCase{"group of texts",
                   [] {
                     return LayoutBuilder()
                         .BeginGroup(0, "R:G")
                         .String(0, "R:A", 4)
                         .String(4, "R:B", 4)
                         .EndGroup()
                         .Finish();
                   },
                   8, 0},
        LayoutCase{"number as a real field",
                   [] { return LayoutBuilder().Long(0, "R:N").String(4, "R:S", 4).Finish(); }, 8,
                   files::kUnsupportedDataType},
        LayoutCase{"number over a text",
                   [] { return LayoutBuilder().String(0, "R:S", 8).Long(2, "R:N").Finish(); }, 8,
                   0},
        LayoutCase{
            "decimal over a text",
            [] { return LayoutBuilder().String(0, "R:S", 8).Decimal(0, "R:D", 3, 1).Finish(); }, 8,
            0},
        LayoutCase{"number after the texts",
                   [] { return LayoutBuilder().String(0, "R:S", 8).Long(8, "R:N").Finish(); }, 12,
                   files::kUnsupportedDataType},
        LayoutCase{"unknown type code",
                   [] {
                     return LayoutBuilder()
                         .Byte(files::kLayoutFieldMarker)
                         .U32(0)
                         .Text("R:X")
                         .Byte(99)
                         .Finish();
                   },
                   8, files::kUnsupportedDataType},
        LayoutCase{"text field of 65535 bytes",
                   [] { return LayoutBuilder().String(0, "R:S", 65535).Finish(); }, 65535, 0},
        LayoutCase{"text field of 65536 bytes",
                   [] { return LayoutBuilder().String(0, "R:S", 65536).Finish(); }, 100,
                   files::kInvalidRecordDeclaration},
        LayoutCase{"record of 65536 bytes",
                   [] { return LayoutBuilder().String(0, "R:S", 10).Finish(); }, 65536,
                   files::kInvalidRecordDeclaration},
        LayoutCase{"255 elements",
                   [] {
                     return LayoutBuilder()
                         .Field(0, "R:S", 0)
                         .Dimension(255)
                         .Byte(files::kTypeString)
                         .U32(1)
                         .Text("")
                         .Finish();
                   },
                   255, 0},
        LayoutCase{"256 elements",
                   [] {
                     return LayoutBuilder()
                         .Field(0, "R:S", 0)
                         .Dimension(16)
                         .Dimension(16)
                         .Byte(files::kTypeString)
                         .U32(1)
                         .Text("")
                         .Finish();
                   },
                   256, files::kInvalidRecordDeclaration},
        LayoutCase{"dimensions multiplying past 32 bits",
                   [] {
                     return LayoutBuilder()
                         .Field(0, "R:S", 0)
                         .Dimension(65536)
                         .Dimension(65536)
                         .Byte(files::kTypeString)
                         .U32(1)
                         .Text("")
                         .Finish();
                   },
                   10, files::kInvalidFieldTypeDescriptor},
        LayoutCase{"malformed stream",
                   [] {
                     return std::vector<uint8_t>{0x16, 0x18, 0x00};
                   },
                   8, files::kInvalidFieldTypeDescriptor}));

TEST(TextLayoutFieldsTest, KeepsTypeOffsetLabelSizeOverlayAndIndex) {
  const std::vector<uint8_t> stream =
      LayoutBuilder().BeginGroup(2, "R:G").String(0, "R:A", 3).EndGroup().Long(2, "R:N").Finish();
  std::vector<TextField> fields;
  ASSERT_EQ(CheckTextLayout(stream, 8, &fields), 0);
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].type, files::kTypeGroup);
  EXPECT_EQ(fields[1].label, "R:A");
  EXPECT_EQ(fields[1].offset, 2u);
  EXPECT_EQ(fields[1].size, 3u);
  EXPECT_FALSE(fields[1].overlay);
  EXPECT_TRUE(fields[2].overlay);
  EXPECT_EQ(fields[2].index, 3);
}

}  // namespace
}  // namespace vorsandt::text
