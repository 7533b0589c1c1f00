// The query command over the application's tables.
#include "runtime/views/query_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/views/view_test_support.h"

namespace vorsandt::views {
namespace {

using app::Table;
using testing::Set;

QueryCatalog Catalog() {
  QueryCatalog c;
  for (const app::TableDef& t : app::Tables()) c.tables.push_back(testing::TableFile(t.table));
  for (const app::RelationDef& r : app::Relations()) {
    c.relations.push_back(
        {app::Def(r.parent).label, r.parent_field, app::Def(r.child).label, r.child_field});
  }
  return c;
}

int Query(std::vector<std::string_view> args, std::string* out, std::string* err) {
  return RunQueryCommand(args, Catalog(), out, err);
}

class QueryCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::OpenTables({Table::kLocations, Table::kItems, Table::kService});
    for (const char* l : {"Loft", "Kitchen"}) {
      testing::Blank(Table::kLocations);
      Set("LOC:LOCATION", l);
      testing::AddRecord(Table::kLocations);
    }
    const char* items[][2] = {{"1", "Kitchen"}, {"2", "kitchen"}, {"3", "Loft"}, {"4", "Cellar"}};
    for (auto& i : items) {
      testing::Blank(Table::kItems);
      Set("ITE:ITEM_CODE", std::stod(i[0]));
      Set("ITE:LOCATION", i[1]);
      Set("ITE:ITEM", std::string("Chair, \"oak\" ") + i[0]);
      Set("ITE:PRICE_PAID", 12.5 * std::stod(i[0]));
      testing::AddRecord(Table::kItems);
    }
    testing::Blank(Table::kService);
    Set("SER:SERVICE_REFERENCE", 7);
    Set("SER:COMPANY_CODE", 3);
    Set("SER:COMPANY", "Fixit");
    Set("SER:ITEM_REFERENCE", 2);
    testing::AddRecord(Table::kService);
    // The command opens the tables itself.
    testing::CloseTables({Table::kLocations, Table::kItems, Table::kService});
  }
  testing::ScratchFolder folder_;
};

// The columns of one CSV line, first `n` of them.
std::string Head(const std::string& line, int n) {
  size_t at = 0;
  for (int i = 0; i < n && at != std::string::npos; ++i) {
    at = line.find(',', at + (i == 0 ? 0 : 1));
  }
  return line.substr(0, at);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(text.substr(start, nl - start));
  }
  return lines;
}

TEST_F(QueryCommandTest, JoinFollowsTheRelationAndFiltersByLevel) {
  std::string out, err;
  ASSERT_EQ(
      Query({"LOCATIONS", "--key", "LOC:LOC", "--join", "ITEMS:ITE:LOC", "--join", "SERVICE:ITEM"},
            &out, &err),
      kQueryDone)
      << err;
  std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(Head(lines[0], 3), "LOC:LOCATION,ITE:ITEM_CODE,ITE:POLICY_REFERENCE");
  EXPECT_NE(
      lines[0].find(",SER:SERVICE_REFERENCE,SER:COMPANY_CODE,SER:COMPANY,SER:ITEM_REFERENCE,"),
      std::string::npos);
  EXPECT_EQ(Head(lines[1], 2), "Kitchen,1");
  EXPECT_EQ(Head(lines[2], 2), "Kitchen,2");
  EXPECT_NE(lines[2].find(",\"Chair, \"\"oak\"\" 2\","), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find(",25.00,"), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find(",7,3,Fixit,2,"), std::string::npos) << lines[2];
  EXPECT_EQ(Head(lines[3], 2), "Loft,3");
  EXPECT_NE(lines[3].find(",0,0,,0,"), std::string::npos);

  out.clear();
  ASSERT_EQ(Query({"ITEMS", "--key", "LOC", "--filter", "UPPER(ITE:LOCATION) = UPPER(LOC:LOCATION)",
                   "--start", "LOC:LOCATION=KITCHEN"},
                  &out, &err),
            kQueryDone)
      << err;
  lines = Lines(out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Head(lines[1], 1), "1");
  EXPECT_EQ(Head(lines[2], 1), "2");
}

TEST_F(QueryCommandTest, ProblemsAreReportedWithTheirText) {
  struct Case {
    std::vector<std::string_view> args;
    int status;
    const char* text;
  };
  const Case cases[] = {
      {{}, kQueryUsage, "usage"},
      {{"ITEMS", "--key"}, kQueryUsage, "usage"},
      {{"ITEMS", "--colour", "red"}, kQueryUsage, "usage"},
      {{"NOSUCH"}, kQueryFailed, "no table NOSUCH"},
      {{"ITEMS", "--key", "NOPE"}, kQueryFailed, "no key NOPE"},
      {{"ITEMS", "--join", "LOCATIONS:LOC"}, kQueryFailed, "no relation leads to"},
      {{"ITEMS", "--filter", "ITE:ITEM_CODE = "}, kQueryFailed, "Invalid expression for EVALUATE"},
      {{"ITEMS", "--filter", "ITE:NOTHING = 1"}, kQueryFailed, "No BIND on variable"},
      {{"ITEMS", "--start", "ITE:NOTHING=1"}, kQueryFailed, "no field ITE:NOTHING"},
      {{"WARRANTY"}, kQueryFailed, "File Not Found"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(Query(c.args, &out, &err), c.status) << c.text;
    EXPECT_NE(err.find(c.text), std::string::npos) << err;
    EXPECT_EQ(out, "");
  }
}

}  // namespace
}  // namespace vorsandt::views
