#include "app/exchange/columns.h"

#include <gtest/gtest.h>

namespace vorsandt::exchange {
namespace {

const std::vector<std::string> kColumns = {"T:A", "T:B", "T:C"};

std::vector<CsvRow> Rows(std::vector<std::vector<std::string>> lines) {
  std::vector<CsvRow> rows;
  int line = 1;
  for (auto& fields : lines) rows.push_back({line++, std::move(fields)});
  return rows;
}

TEST(ArrangeColumns, ReorderedAndPartialHeadersFillTheTablesColumns) {
  std::vector<CsvRow> rows = Rows({{"t:c", "T:A"}, {"c1", "a1"}, {"", "a2"}});
  std::string error;
  ASSERT_TRUE(ArrangeColumns(kColumns, &rows, &error)) << error;
  EXPECT_EQ(rows[0].fields, kColumns);
  EXPECT_EQ(rows[1].fields, (std::vector<std::string>{"a1", "", "c1"}));
  EXPECT_EQ(rows[2].fields, (std::vector<std::string>{"a2", "", ""}));
  EXPECT_EQ(rows[2].line, 3);
}

TEST(ArrangeColumns, TheTablesOwnHeaderLeavesRowsAsTheyAre) {
  // A row of the wrong width is then the record's business, reported
  // against the table's columns.
  std::vector<CsvRow> rows = Rows({{"T:A", "T:B", "T:C"}, {"1", "2"}});
  std::string error;
  ASSERT_TRUE(ArrangeColumns(kColumns, &rows, &error));
  EXPECT_EQ(rows[1].fields, (std::vector<std::string>{"1", "2"}));
}

TEST(ArrangeColumns, UnknownTwiceNamedAndShortRowsAreRefusedByName) {
  struct Case {
    std::vector<std::vector<std::string>> lines;
    const char* error;
  } cases[] = {
      {{{"T:B", "T:COLOUR"}, {"b", "red"}},
       "line 1: unknown column \"T:COLOUR\"; the table's columns are T:A,T:B,T:C"},
      {{{"T:B", "t:b"}, {"1", "2"}}, "line 1: the column T:B is named twice"},
      {{{"T:C", "T:A"}, {"1", "2"}, {"3"}}, "line 3: 1 columns where the header has 2"},
      {{}, "line 1: no header row"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    std::vector<CsvRow> rows = Rows(c.lines);
    const std::vector<CsvRow> before = rows;
    std::string error;
    EXPECT_FALSE(ArrangeColumns(kColumns, &rows, &error));
    EXPECT_EQ(error, c.error);
    ASSERT_EQ(rows.size(), before.size());
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].fields, before[i].fields);
  }
}

}  // namespace
}  // namespace vorsandt::exchange
