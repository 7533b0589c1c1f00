#include "ui/engine/column_format.h"

#include <gtest/gtest.h>

namespace vorsandt::ui {
namespace {

Column Col(int width, char justify) {
  Column c;
  c.width = width;
  c.justify = justify;
  return c;
}

struct GoodCase {
  const char* text;
  std::vector<Column> expected;
};

TEST(ColumnFormatTest, ParsesWellFormedStrings) {
  Column browse = Col(126, 'L');
  browse.separator = true;
  browse.resizable = true;
  browse.has_header = true;
  browse.header = "POLICY REFERENCE";
  browse.picture = "s30";

  Column tree = Col(800, 'L');
  tree.icons = true;
  tree.tree = true;
  tree.picture = "s200";

  Column right_header = Col(40, 'R');
  right_header.has_header = true;
  right_header.header = "Value";
  right_header.header_justify = 'C';
  right_header.picture = "n-10.2";

  Column empty_header = Col(20, 'C');
  empty_header.has_header = true;

  Column second = Col(80, 'L');
  second.separator = true;
  second.resizable = true;
  second.has_header = true;
  second.header = "NAME";
  second.picture = "s20";

  const GoodCase cases[] = {
      {"126L|M~POLICY REFERENCE~@s30@", {browse}},
      {"800L*T@s200@", {tree}},
      {"40R~Value~C@n-10.2@", {right_header}},
      {"20C~~", {empty_header}},
      {"10L", {Col(10, 'L')}},
      {"126L|M~POLICY REFERENCE~@s30@80L|M~NAME~@s20@", {browse, second}},
      {"5L5R", {Col(5, 'L'), Col(5, 'R')}},
  };
  for (const GoodCase& c : cases) {
    ColumnFormatResult r = ParseColumnFormat(c.text);
    ASSERT_TRUE(r.ok) << c.text << ": " << r.error;
    EXPECT_EQ(r.columns, c.expected) << c.text;
  }
}

struct BadCase {
  const char* text;
  size_t offset;
  const char* error;
};

TEST(ColumnFormatTest, RejectsBrokenStringsWithPosition) {
  const BadCase cases[] = {
      {"", 0, "expected a column width"},
      {"L", 0, "expected a column width"},
      {"126", 3, "expected a justification letter L, C or R"},
      {"126X", 3, "expected a justification letter L, C or R"},
      {"126L~HEADER", 4, "expected \"~\" closing the header"},
      {"126L@s30", 4, "expected \"@\" closing the picture"},
      {"126L@@", 4, "expected a picture between the \"@\"s"},
      {"126L@s30@x", 9, "expected the next column's width"},
      {"99999999L", 5, "expected a width of at most 100000"},
  };
  for (const BadCase& c : cases) {
    ColumnFormatResult r = ParseColumnFormat(c.text);
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_TRUE(r.columns.empty()) << c.text;
    EXPECT_EQ(r.error_offset, c.offset) << c.text;
    EXPECT_EQ(r.error, c.error) << c.text;
  }
}

TEST(ColumnFormatTest, TooManyColumnsIsAnErrorNotAnUnboundedList) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "1L";
  ColumnFormatResult r = ParseColumnFormat(text);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "expected at most 255 columns");
}

}  // namespace
}  // namespace vorsandt::ui
