#include "storage/qvf/table/table_name.h"

#include <gtest/gtest.h>

#include "runtime/files/error_codes.h"

namespace vorsandt::qvf {
namespace {

struct NameCase {
  const char* input;
  const char* file;
  const char* table;
};

TEST(TableNameTest, SplitsFileAndTableParts) {
  const NameCase cases[] = {
      {"DATA!ITEMS", "DATA.QVF", "ITEMS"},
      {"DATA.QVF!items", "DATA.QVF", "ITEMS"},
      {"ITEMS", "ITEMS.QVF", "UNNAMED"},
      {"items.dat", "items.dat", "UNNAMED"},
      {"dir.x/items!Mixed Case", "dir.x/items.QVF", "MIXED CASE"},
      {"./.hidden!t", "./.hidden.QVF", "T"},
      {"DATA!", "DATA.QVF", "UNNAMED"},
      {"DATA   !ITEMS   ", "DATA.QVF", "ITEMS"},
      {"DATA!A!B", "DATA.QVF", "A!B"},
  };
  for (const NameCase& c : cases) {
    TableName n;
    ASSERT_EQ(SplitTableName(c.input, &n), 0) << c.input;
    EXPECT_EQ(n.file, c.file) << c.input;
    EXPECT_EQ(n.table, c.table) << c.input;
  }
}

TEST(TableNameTest, RejectsNamesWithoutAFilePart) {
  for (const char* bad : {"", "!ITEMS", "   !X", "dir/", "dir/!T"}) {
    TableName n;
    EXPECT_EQ(SplitTableName(bad, &n), files::kInvalidFilename) << bad;
  }
  TableName n;
  EXPECT_EQ(SplitTableName(std::string_view("A\0B", 3), &n), files::kInvalidFilename);
}

TEST(TableNameTest, OneFileWhateverTheCase) {
  TableName a, b;
  ASSERT_EQ(SplitTableName("DATA!ITEMS", &a), 0);
  ASSERT_EQ(SplitTableName("data.qvf!items", &b), 0);
  EXPECT_TRUE(SameFile(a.file, b.file));
  EXPECT_EQ(a.table, b.table);
  EXPECT_FALSE(SameFile("DATA.QVF", "DATA2.QVF"));
}

}  // namespace
}  // namespace vorsandt::qvf
