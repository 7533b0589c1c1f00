#include "runtime/eval/record_binding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/eval/bind_table.h"
#include "runtime/eval/expression.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/layout.h"

namespace vorsandt::eval {
namespace {

class RecordBindingTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearBindings(); }
  void TearDown() override { ClearBindings(); }
};

// The ITEMS-like record: a code, a count, a price, a date, and an array.
std::vector<uint8_t> ItemLayout() {
  files::LayoutBuilder builder;
  builder.String(0, "ITE:ITEM_CODE", 10)
      .Short(10, "ITE:COUNT")
      .Decimal(12, "ITE:PRICE_PAID", 5, 2)
      .Long(17, "ITE:DATE_PURCHASED")
      .Field(21, "ITE:MARKS", 0)
      .Dimension(3)
      .Byte(files::kTypeShort)
      .BeginGroup(27, "ITE:EXTRA")
      .String(0, "ITE:ROOM", 4)
      .EndGroup();
  return builder.Finish();
}

TEST_F(RecordBindingTest, FieldsBindByTheirFullNamesIntoTheRecordBuffer) {
  std::vector<uint8_t> layout = ItemLayout();
  uint8_t record[31];
  std::memset(record, ' ', sizeof record);
  ASSERT_EQ(BindLayout(layout, record, sizeof record), 0);

  std::memcpy(record, "TV-01     ", 10);
  int16_t count = 4;
  std::memcpy(record + 10, &count, 2);
  ASSERT_TRUE(files::WritePackedDecimal(1234.5, 2, std::span<uint8_t>(record + 12, 5)));
  int32_t date = 71000;
  std::memcpy(record + 17, &date, 4);
  int16_t marks[3] = {7, 8, 9};
  std::memcpy(record + 21, marks, sizeof marks);
  std::memcpy(record + 27, "HALL", 4);

  EXPECT_TRUE(Expression::Compile("ite:item_code = 'TV-01'").IsTrue());
  EXPECT_EQ(Expression::Compile("ITE:COUNT * ITE:PRICE_PAID").Text(), "4938");
  EXPECT_EQ(Expression::Compile("ITE:DATE_PURCHASED + 1").Integer(), 71001);
  EXPECT_EQ(Expression::Compile("ITE:MARKS[3]").Integer(), 9);
  EXPECT_EQ(Expression::Compile("ITE:ROOM").Text(), "HALL");
  EXPECT_EQ(Bindings().Lookup("ITE:EXTRA"), nullptr);  // groups are not values
}

TEST_F(RecordBindingTest, FieldsBeyondTheRecordAreLeftUnbound) {
  std::vector<uint8_t> layout = ItemLayout();
  uint8_t record[20] = {};
  ASSERT_EQ(BindLayout(layout, record, sizeof record), 0);
  EXPECT_NE(Bindings().Lookup("ITE:COUNT"), nullptr);
  EXPECT_EQ(Bindings().Lookup("ITE:DATE_PURCHASED"), nullptr);
  EXPECT_EQ(Bindings().Lookup("ITE:MARKS"), nullptr);
}

TEST_F(RecordBindingTest, BrokenLayoutsBindNothing) {
  uint8_t record[16] = {};
  std::vector<uint8_t> no_group = {0x18, 0, 0, 0, 0, 'A', 0, 2, 0};
  EXPECT_EQ(BindLayout(no_group, record, sizeof record), 75);
  std::vector<uint8_t> truncated = ItemLayout();
  truncated.resize(truncated.size() / 2);
  EXPECT_NE(BindLayout(truncated, record, sizeof record), 0);
  EXPECT_EQ(Bindings().Lookup("ITE:ITEM_CODE"), nullptr);
}

TEST_F(RecordBindingTest, BindRecordAddsTheMemoAsAFullLengthText) {
  files::LayoutBuilder builder;
  builder.String(0, "CLA:CLAIM_REFERENCE", 8);
  std::vector<uint8_t> layout = builder.Finish();
  static const files::MemoDecl notes{"CLA:NOTES", 9, 0, 1000};
  static const files::MemoDecl* const memos[] = {&notes};
  uint8_t buffer[8];
  std::memcpy(buffer, "C-7     ", 8);
  files::FileRecord claim(nullptr, "CLAIM", 5, 0, sizeof buffer, layout.data(), layout.size(),
                          nullptr, 0, memos, 1, buffer);
  ASSERT_EQ(BindRecord(&claim), 0);
  EXPECT_TRUE(Expression::Compile("CLA:CLAIM_REFERENCE = 'C-7'").IsTrue());
  EXPECT_EQ(Expression::Compile("LEN(CLA:NOTES)").Integer(), 1000);
  std::memcpy(claim.memo_buffers[0].data(), "scratched", 9);
  EXPECT_EQ(Expression::Compile("SUB(CLA:NOTES, 1, 9)").Text(), "scratched");
}

}  // namespace
}  // namespace vorsandt::eval
