// The tree loader over real LOCATIONS and ITEMS tables, without a window:
// which rows a load makes, how expand and contract change them, and how many
// records each reads.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/browse/browse_rows.h"
#include "app/tree/tree.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::app {
namespace {

int64_t g_reads = 0;

// Counts every record read the driver serves: sequential reads and re-reads
// by position.
int32_t CountingEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  if (op == files::kOpNext || op == files::kOpPrevious || op == files::kOpReget ||
      op == files::kOpRegetKey) {
    ++g_reads;
  }
  return qvf::QvfEntry(op, object, args);
}

files::FieldInfo Field(const char* name) {
  files::FileRecord* t = nullptr;
  files::FieldInfo f;
  EXPECT_TRUE(FindTableField(name, &t, &f)) << name;
  return f;
}

constexpr TreeTextPart kLocationText[] = {{.field = "LOC:LOCATION", .trim = true}};
constexpr TreeTextPart kItemText[] = {{.literal = "ITEM:-  ", .field = "ITE:ITEM", .trim = true}};
constexpr TreeLevel kLevels[] = {
    {.table = Table::kLocations, .text = kLocationText},
    {.table = Table::kItems,
     .link = "ITE:LOC",
     .text = kItemText},
};
constexpr TreeDef kTree = {.root_text = "LOCATION", .levels = kLevels};

std::string LocationName(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "ROOM %04d", i);
  return text;
}

class TreeLoadingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitDictionary(&CountingEntry); }

  void SetUp() override {
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "tree_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    files::Close(File(Table::kItems));
    files::Close(File(Table::kLocations));
    files::Errors().Clear();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(folder_);
  }

  // Writes `count` records of `table` through a declaration of its own, saved
  // once at its close, then opens the table for the test.
  static void Fill(Table table, int count, const std::function<void(int, uint8_t*)>& make) {
    files::FileRecord* decl = File(table);
    std::vector<uint8_t> buffer(decl->record_length);
    files::FileRecord loader(&CountingEntry, decl->name, decl->name_length,
                             files::kAttrCreate | files::kAttrDriverFlag02, decl->record_length,
                             decl->layout, decl->layout_size, decl->keys, decl->key_count,
                             decl->memos, decl->memo_count, buffer.data());
    std::vector<files::FieldInfo> fields;
    files::ParseLayout({decl->layout, decl->layout_size}, &fields);
    files::Create(&loader);
    files::Open(&loader);
    ASSERT_EQ(files::Errors().Code(), 0);
    for (int i = 0; i < count; ++i) {
      views::ClearRecord(fields, buffer.data(), decl->record_length);
      make(i, buffer.data());
      files::Add(&loader);
      ASSERT_EQ(files::Errors().Code(), 0) << i;
    }
    files::Close(&loader);
    files::Open(decl);
    ASSERT_EQ(files::Errors().Code(), 0);
  }

  // `locations` locations, written in reverse name order (file order is not
  // key order), and `items` items spread over the first `with_items` of them.
  static void FillTables(int locations, int items, int with_items) {
    Fill(Table::kLocations, locations, [&](int i, uint8_t* record) {
      views::StoreText(Field("LOC:LOCATION"), record, LocationName(locations - 1 - i));
    });
    Fill(Table::kItems, items, [&](int i, uint8_t* record) {
      // Item codes are SHORT: past their range the optional key leaves them out.
      views::StoreNumber(Field("ITE:ITEM_CODE"), record, i < 32767 ? i + 1 : 0);
      views::StoreText(Field("ITE:ITEM"), record, "THING " + std::to_string(100000 + i));
      views::StoreText(Field("ITE:LOCATION"), record, LocationName(i % with_items));
    });
  }

  static int RowOf(const TreeRows& rows, const std::string& text) {
    for (size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].text == text) return static_cast<int>(i);
    }
    return -1;
  }

  std::filesystem::path old_;
  std::filesystem::path folder_;
};

TEST_F(TreeLoadingTest, LoadReadsAllParentsOneProbeEachAndChildrenOfOpenNodesOnly) {
  constexpr int kLocations = 2000, kItems = 50000, kWithItems = 1600;
  FillTables(kLocations, kItems, kWithItems);
  TreeLoader loader(kTree);
  TreeRows rows;

  // Nothing open: every location once, one probe each (and the read that
  // finds the end of the file).
  g_reads = 0;
  ASSERT_TRUE(loader.LoadTree(&rows));
  EXPECT_EQ(g_reads, (kLocations + 1) + kLocations);
  EXPECT_EQ(loader.reads(), g_reads);
  ASSERT_EQ(rows.size(), 1u + kLocations);
  EXPECT_EQ(rows[0].text, "LOCATION");
  EXPECT_EQ(rows[0].level, 0);
  // File order, and the sign: locations past the first 1,600 hold no item,
  // the last one in key order included.
  EXPECT_EQ(rows[1].text, LocationName(kLocations - 1));
  EXPECT_EQ(rows[1].level, 1);
  EXPECT_EQ(rows[kLocations].text, LocationName(0));
  EXPECT_EQ(rows[kLocations].level, -1);
  EXPECT_EQ(rows[RowOf(rows, LocationName(kWithItems - 1))].level, -1);
  EXPECT_EQ(rows[RowOf(rows, LocationName(kWithItems))].level, 1);

  // Three nodes opened (the last location with items among them: its
  // children end at the end of the key).
  const int per_location = kItems / kWithItems;  // 31 or 32
  int expected_children = 0;
  for (int n : {5, 700, kWithItems - 1}) {
    const int row = RowOf(rows, LocationName(n));
    ASSERT_GT(row, 0);
    ASSERT_TRUE(loader.Expand(&rows, static_cast<size_t>(row)));
    const int children = kItems / kWithItems + (n < kItems % kWithItems ? 1 : 0);
    EXPECT_GE(children, per_location);
    expected_children += children;
  }
  EXPECT_EQ(loader.open_nodes().size(), 3u);
  ASSERT_EQ(rows.size(), 1u + kLocations + expected_children);

  // A reload: 2,000 parents, a probe for each closed one, and the children
  // of the three open nodes (each list ended by one read), no more.
  g_reads = 0;
  ASSERT_TRUE(loader.LoadTree(&rows));
  EXPECT_EQ(g_reads, (kLocations + 1) + (kLocations - 3) + (expected_children + 3));
  ASSERT_EQ(rows.size(), 1u + kLocations + expected_children);
  const int open = RowOf(rows, LocationName(700));
  EXPECT_TRUE(rows[open].expanded);
  EXPECT_EQ(rows[open].level, -1);
  EXPECT_EQ(rows[open + 1].depth(), 2);
  EXPECT_EQ(rows[open + 1].text.rfind("ITEM:-  THING ", 0), 0u);
}

TEST_F(TreeLoadingTest, ContractRemovesExactlyTheDescendantsAndIsRemembered) {
  FillTables(5, 12, 3);  // ROOM 0000..0002 hold 4 items each
  TreeLoader loader(kTree);
  TreeRows rows;
  ASSERT_TRUE(loader.LoadTree(&rows));
  const int a = RowOf(rows, LocationName(1));
  ASSERT_TRUE(loader.Expand(&rows, static_cast<size_t>(a)));
  const int b = RowOf(rows, LocationName(0));
  ASSERT_TRUE(loader.Expand(&rows, static_cast<size_t>(b)));
  ASSERT_EQ(rows.size(), 1u + 5 + 8);
  // Expanding an open node changes nothing and reads nothing.
  g_reads = 0;
  ASSERT_TRUE(loader.Expand(&rows, static_cast<size_t>(a)));
  EXPECT_EQ(g_reads, 0);
  EXPECT_EQ(rows.size(), 1u + 5 + 8);

  const std::string after = rows[static_cast<size_t>(a) + 5].text;  // the sibling after a's items
  ASSERT_TRUE(loader.Contract(&rows, static_cast<size_t>(a)));
  EXPECT_EQ(rows.size(), 1u + 5 + 4);
  EXPECT_FALSE(rows[a].expanded);
  EXPECT_EQ(rows[a].level, -1);
  EXPECT_EQ(rows[static_cast<size_t>(a) + 1].text, after);
  // Contracting a closed node is nothing.
  ASSERT_TRUE(loader.Contract(&rows, static_cast<size_t>(a)));
  EXPECT_EQ(rows.size(), 1u + 5 + 4);

  // A reload keeps the one node still open.
  ASSERT_TRUE(loader.LoadTree(&rows));
  EXPECT_EQ(rows.size(), 1u + 5 + 4);
  EXPECT_EQ(loader.open_nodes().size(), 1u);
  EXPECT_TRUE(rows[RowOf(rows, LocationName(0))].expanded);
  EXPECT_FALSE(rows[RowOf(rows, LocationName(1))].expanded);
}

TEST_F(TreeLoadingTest, ReadErrorsStopTheLoadNamingTheTable) {
  FillTables(3, 6, 2);
  TreeLoader loader(kTree);
  TreeRows rows;
  ASSERT_TRUE(loader.LoadTree(&rows));
  ASSERT_TRUE(loader.Expand(&rows, 3));  // ROOM 0000, written last
  ASSERT_EQ(rows[3].text, LocationName(0));

  // Items unreadable: the first probe fails, and so does a reload of the
  // open node; the error is not taken for "no items".
  files::Close(File(Table::kItems));
  EXPECT_FALSE(loader.LoadTree(&rows));
  EXPECT_EQ(loader.failed(), "ITEMS");
  // The locations unreadable as well: their read fails first.
  files::Close(File(Table::kLocations));
  EXPECT_FALSE(loader.LoadTree(&rows));
  EXPECT_EQ(loader.failed(), "LOCATIONS");
  files::Errors().Clear();
}

TEST_F(TreeLoadingTest, AnOpenNodeWhoseChildrenAreGoneIsALeafUntilOneReturns) {
  FillTables(3, 6, 2);
  TreeLoader loader(kTree);
  TreeRows rows;
  ASSERT_TRUE(loader.LoadTree(&rows));
  const int room = RowOf(rows, LocationName(1));
  ASSERT_TRUE(loader.Expand(&rows, static_cast<size_t>(room)));
  ASSERT_EQ(rows.size(), 1u + 3 + 3);

  // Another user deletes the room's items.
  files::FileRecord* items = File(Table::kItems);
  std::vector<std::string> gone;
  files::SetFile(items);
  for (files::Next(items); files::Errors().Code() == 0; files::Next(items)) {
    std::string location = views::FieldText(Field("ITE:LOCATION"), files::RecordBuffer(items));
    if (location.rfind(LocationName(1), 0) == 0) gone.push_back(files::Position(items));
  }
  ASSERT_EQ(gone.size(), 3u);
  for (const std::string& position : gone) {
    files::Reget(items, position);
    files::Delete(items);
    ASSERT_EQ(files::Errors().Code(), 0);
  }

  // Still remembered as open, it is drawn as a leaf, not as a closed node
  // that would open to nothing.
  ASSERT_TRUE(loader.LoadTree(&rows));
  ASSERT_EQ(rows.size(), 1u + 3);
  const int now = RowOf(rows, LocationName(1));
  EXPECT_TRUE(rows[now].expanded);
  EXPECT_EQ(rows[now].level, 1);
  EXPECT_EQ(loader.open_nodes().size(), 1u);
}

TEST(OpenNodesTest, SortedByLevelThenPositionWithoutDuplicates) {
  OpenNodes nodes;
  nodes.Add(2, "B");
  nodes.Add(1, "Z");
  nodes.Add(1, "A");
  nodes.Add(2, "B");
  EXPECT_EQ(nodes.size(), 3u);
  EXPECT_TRUE(nodes.Contains(1, "A"));
  EXPECT_TRUE(nodes.Contains(1, "Z"));
  EXPECT_TRUE(nodes.Contains(2, "B"));
  EXPECT_FALSE(nodes.Contains(1, "B"));  // same position, other level
  EXPECT_FALSE(nodes.Contains(2, "A"));
  nodes.Remove(1, "Z");
  nodes.Remove(3, "A");  // not there: nothing happens
  EXPECT_EQ(nodes.size(), 2u);
  EXPECT_FALSE(nodes.Contains(1, "Z"));
  EXPECT_TRUE(nodes.Contains(1, "A"));
}

// What the configuration keeps: the rows drawn open (positions of any
// bytes, their trailing zero bytes left out of the text), never the root or
// a closed row; what comes back from text edited by hand is what can be read
// of it.
TEST(OpenNodesTest, SavedTextKeepsTheOpenRowsAndComesBackWithoutTheMalformedParts) {
  const std::string kitchen("\x00\x01\x00\x00", 4);
  const std::string policy("\xff\x10", 2);
  TreeRows rows = {{"ROOT", 0, true, ""},
                   {"Kitchen", -1, true, kitchen},
                   {"Kettle", 2, false, "\x7f"},
                   {"Attic", -1, false, "\x02"},
                   {"Policy", -2, true, policy}};
  const std::string saved = OpenNodes::Saved(rows);
  EXPECT_EQ(saved, "1:4:0001;2:2:ff10");
  OpenNodes nodes;
  nodes.Restore(saved + ";x:1:00;1:1:0;3:1:zz;:1:41;0:1:41;2:1:;12;1:1:4142;1:99999:41;1:2");
  EXPECT_EQ(nodes.size(), 3u);
  // Kept short, as the loader keeps a row's position.
  EXPECT_TRUE(nodes.Contains(1, std::string("\x00\x01", 2)));
  EXPECT_FALSE(nodes.Contains(1, kitchen));
  EXPECT_TRUE(nodes.Contains(2, policy));
  EXPECT_TRUE(nodes.Contains(2, std::string(1, '\0')));  // "2:1:" is a position of one zero byte
  OpenNodes none;
  none.Restore("");
  EXPECT_EQ(none.size(), 0u);
  EXPECT_EQ(OpenNodes::Saved({}), "");
}

}  // namespace
}  // namespace vorsandt::app
