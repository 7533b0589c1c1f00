#include "app/query/saved_query.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/query/query_view.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::app::query {
namespace {

std::filesystem::path Folder(const char* name) {
  std::filesystem::path p = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

TEST(SavedQuery, SavedAndOpenedAgainByName) {
  const std::string folder = Folder("vorsandt_saved_query").string();
  SavedQuery q;
  q.table = Table::kItems;
  q.joins = {Table::kLocations};
  q.order = "ITE:LOC";
  q.examples = {
      {"LOC:LOCATION", "Kitchen OR Garage"}, {"ITE:ITEM", ""}, {"ITE:PRICE_PAID", "> 100"}};
  q.filter = "UPPER(LOC:LOCATION) = 'KITCHEN' AND ITE:PRICE_PAID > 100";
  std::string error;
  ASSERT_TRUE(SaveQuery(env::Env::Default(), folder, "Kitchen things", q, &error)) << error;
  ASSERT_TRUE(SaveQuery(env::Env::Default(), folder, "A-first_1", q, &error)) << error;
  EXPECT_EQ(SavedQueryNames(folder), (std::vector<std::string>{"A-first_1", "Kitchen things"}));

  SavedQuery back;
  ASSERT_TRUE(LoadQuery(env::Env::Default(), folder, "Kitchen things", &back, &error)) << error;
  EXPECT_EQ(back.table, Table::kItems);
  EXPECT_EQ(back.joins, q.joins);
  EXPECT_EQ(back.order, "ITE:LOC");
  // Blank examples are not kept.
  EXPECT_EQ(back.examples,
            (std::vector<std::pair<std::string, std::string>>{{"LOC:LOCATION", "Kitchen OR Garage"},
                                                              {"ITE:PRICE_PAID", "> 100"}}));
  EXPECT_EQ(back.filter, q.filter);
}

TEST(SavedQuery, NamesThatCannotBeFilesAreRefused) {
  const std::string folder = Folder("vorsandt_saved_query_names").string();
  std::string error;
  for (const char* name : {"", "../escape", "a/b", " lead", "x.qry", "semi;colon"}) {
    EXPECT_FALSE(SaveQuery(env::Env::Default(), folder, name, SavedQuery(), &error)) << name;
  }
  EXPECT_TRUE(SavedQueryNames(folder).empty());
  EXPECT_FALSE(ValidQueryName(std::string(41, 'a')));
  EXPECT_TRUE(ValidQueryName(std::string(40, 'a')));
}

TEST(SavedQuery, DamagedFilesAreReportedNotHalfRead) {
  const std::string folder = Folder("vorsandt_saved_query_damaged").string();
  struct Damaged {
    const char* text;
    const char* error;
  } cases[] = {
      {"table ITEMS\njoin NOWHERE\n", "line 2: \"join NOWHERE\" is not part of a query"},
      {"order ITE:LOC\n", "the query names no table"},
      {"table ITEMS\ntable POLICY\n", "line 2: \"table POLICY\" is not part of a query"},
      {"\x01\x02garbage", "line 1: \"\x01\x02garbage\" is not part of a query"},
  };
  for (const Damaged& d : cases) {
    std::ofstream(folder + "/bad.qry", std::ios::binary) << d.text;
    SavedQuery q;
    std::string error;
    EXPECT_FALSE(LoadQuery(env::Env::Default(), folder, "bad", &q, &error));
    EXPECT_EQ(error, folder + "/bad.qry, " + d.error);
  }
  SavedQuery q;
  std::string error;
  EXPECT_FALSE(LoadQuery(env::Env::Default(), folder, "missing", &q, &error));
  EXPECT_NE(error.find("missing.qry"), std::string::npos) << error;
}

// `morvak --open NAME` reads NAME.qry: a FIFO there must not hang the
// program, nor a link to an endless device fill its memory.
TEST(SavedQuery, AQueryFileThatIsNoFileOrFarTooLargeIsRefusedByName) {
  const std::string folder = Folder("vorsandt_saved_query_hostile").string();
  ASSERT_EQ(mkfifo((folder + "/fifo.qry").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", folder + "/zero.qry");
  {
    std::ofstream big(folder + "/big.qry", std::ios::binary);
    big << "table ITEMS\n" << std::string(kMaxQueryFileBytes, ' ');
  }
  for (const char* name : {"fifo", "zero", "big"}) {
    SavedQuery q;
    std::string error;
    EXPECT_FALSE(LoadQuery(env::Env::Default(), folder, name, &q, &error)) << name;
    const std::string file = folder + "/" + name + ".qry";
    EXPECT_EQ(error.rfind("cannot read " + file + ": ", 0), 0u) << error;
  }
  std::filesystem::remove_all(folder);
}

TEST(QueryView, ParentsJoinThroughTheirRelations) {
  InitDictionary(&qvf::QvfEntry);
  // An item's parents, and the insurance company through the policy.
  std::vector<Table> reach;
  for (const JoinCandidate& c : JoinCandidates(Table::kItems)) reach.push_back(c.table);
  EXPECT_EQ(reach,
            (std::vector<Table>{Table::kPolicy, Table::kLocations, Table::kInsuranceCompany}));
  // Choosing the grandparent brings the table it joins through.
  EXPECT_EQ(ViewTables(Table::kItems, {Table::kInsuranceCompany}),
            (std::vector<Table>{Table::kItems, Table::kPolicy, Table::kInsuranceCompany}));
  EXPECT_TRUE(JoinCandidates(Table::kLocations).empty());
  EXPECT_EQ(KeyChoices(Table::kItems)[1], "ITE:LOC (LOCATION, ITEM)");
  EXPECT_EQ(KeyOfChoice("ITE:LOC (LOCATION, ITEM)"), "ITE:LOC");
}

}  // namespace
}  // namespace vorsandt::app::query
