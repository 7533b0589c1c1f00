// The browse routines over real ITEMS tables, without a window: what a page
// holds after each move, and how many records each move reads.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/browse/browse.h"
#include "app/dictionary/dictionary.h"
#include "runtime/eval/record_binding.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/events.h"

namespace vorsandt::app {
namespace {

int64_t g_reads = 0;
int64_t g_sends = 0;

int32_t CountingEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  if (op == files::kOpNext || op == files::kOpPrevious) ++g_reads;
  if (op == files::kOpSend) ++g_sends;
  return qvf::QvfEntry(op, object, args);
}

files::FieldInfo Field(const char* name) {
  files::FileRecord* t = nullptr;
  files::FieldInfo f;
  EXPECT_TRUE(FindTableField(name, &t, &f)) << name;
  return f;
}

// Names in letters, in the order of `i`: the key spread of the browses
// spreads letters.
std::string ItemName(int i) {
  std::string letters(4, 'A');
  for (int k = 3; k >= 0; --k) {
    letters[static_cast<size_t>(k)] = static_cast<char>('A' + i % 26);
    i /= 26;
  }
  return "ITEM " + letters;
}

// A list of `items` rows that keeps the selection the browse shows.
class FakeList : public BrowseList {
 public:
  explicit FakeList(int items) : items_(items) {}
  int ItemCount() const override { return items_; }
  int Choice() const override { return selected_; }
  void Show(const BrowseRows&, int selected) override { selected_ = selected; }
  void RowsPresent(bool present) override { present_ = present; }
  void ReadFailed(const std::string& table) override { failed_table = table; }
  bool present() const { return present_; }
  std::string failed_table;

 private:
  int items_;
  int selected_ = 0;
  bool present_ = false;
};

const BrowseOrder kByDescription[] = {{"DESCRIPTION", "ITE:ITEMS"}};
const BrowseOrder kByLocation[] = {OfParent("ITEMS BY LOCATION", "ITE:LOC")};

class BrowsePagingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitDictionary(&CountingEntry); }

  void SetUp() override {
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "browse_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    files::Close(File(Table::kItems));
    files::Errors().Clear();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(folder_);
  }

  // ITEMS with `count` records named ITEM 000001... (in location "ROOM n%3"
  // when `rooms`), written through one declaration saved once at its close.
  void Fill(int count) {
    files::FileRecord* items = File(Table::kItems);
    std::vector<uint8_t> buffer(items->record_length);
    files::FileRecord loader(&CountingEntry, items->name, items->name_length,
                             files::kAttrCreate | files::kAttrDriverFlag02, items->record_length,
                             items->layout, items->layout_size, items->keys, items->key_count,
                             items->memos, items->memo_count, buffer.data());
    std::vector<files::FieldInfo> fields;
    files::ParseLayout({items->layout, items->layout_size}, &fields);
    files::Create(&loader);
    files::Open(&loader);
    ASSERT_EQ(files::Errors().Code(), 0);
    for (int i = 1; i <= count; ++i) {
      views::ClearRecord(fields, buffer.data(), items->record_length);
      views::StoreNumber(Field("ITE:ITEM_CODE"), buffer.data(), i <= 32767 ? i : 0);
      views::StoreText(Field("ITE:ITEM"), buffer.data(), ItemName(i));
      views::StoreText(Field("ITE:LOCATION"), buffer.data(), "ROOM " + std::to_string(i % 3));
      files::Add(&loader);
      ASSERT_EQ(files::Errors().Code(), 0) << i;
    }
    files::Close(&loader);
    files::Open(items);
    ASSERT_EQ(files::Errors().Code(), 0);
    eval::BindRecord(items);
    eval::BindRecord(File(Table::kLocations));
  }

  static std::string Item(const Browse& b, int row) {
    b.RowToRecord(row);
    std::string s = views::FieldText(Field("ITE:ITEM"), files::RecordBuffer(File(Table::kItems)));
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
  static std::string Selected(const Browse& b) { return Item(b, b.state().selected_row); }

  std::filesystem::path old_;
  std::filesystem::path folder_;
};

TEST_F(BrowsePagingTest, EmptyTableShowsNoRowsAndIgnoresScrolling) {
  Fill(0);
  FakeList list(10);
  Browse b(Table::kItems, kByDescription, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  b.Relocate(kRelocateStart);
  EXPECT_EQ(b.state().row_count, 0);
  EXPECT_EQ(b.state().selected_row, 0);
  EXPECT_FALSE(list.present());
  b.ServeScroll(ui::event::kPageDown);
  b.ServeScroll(ui::event::kScrollBottom);
  EXPECT_EQ(b.state().row_count, 0);
  b.BuildKeySpread();
  EXPECT_EQ(b.ComputeThumb(), 0);
  EXPECT_FALSE(b.FetchSelected());
  EXPECT_EQ(list.failed_table, "");
}

TEST_F(BrowsePagingTest, MovesAtTheEdgesOfAShortAndALongOrder) {
  Fill(25);
  FakeList list(10);
  Browse b(Table::kItems, kByDescription, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  b.Relocate(kRelocateStart);
  ASSERT_EQ(b.state().row_count, 10);
  EXPECT_EQ(Item(b, 1), ItemName(1));
  EXPECT_EQ(b.state().selected_row, 1);

  // One row down on the last row of a full page drops the first row.
  for (int i = 0; i < 9; ++i) b.ServeScroll(ui::event::kScrollDown);
  EXPECT_EQ(b.state().selected_row, 10);
  b.ServeScroll(ui::event::kScrollDown);
  EXPECT_EQ(Item(b, 1), ItemName(2));
  EXPECT_EQ(b.state().selected_row, 10);
  EXPECT_EQ(Selected(b), ItemName(11));

  // Page up with fewer than a page above: the first records, and the
  // selection moves up by the records that were missing (a whole page).
  b.ServeScroll(ui::event::kScrollDown);
  b.ServeScroll(ui::event::kScrollDown);  // rows 4-13, ITEM 13 selected
  b.ServeScroll(ui::event::kPageUp);
  EXPECT_EQ(Item(b, 1), ItemName(1));
  EXPECT_EQ(b.state().selected_row, 3);
  EXPECT_EQ(Selected(b), ItemName(3));
  b.ServeScroll(ui::event::kPageUp);  // nothing above: row 1
  EXPECT_EQ(b.state().selected_row, 1);

  // Page down keeps the screen line while whole pages are read, and moves to
  // the edge at the end of the order.
  b.ServeScroll(ui::event::kScrollDown);
  b.ServeScroll(ui::event::kPageDown);
  EXPECT_EQ(Item(b, 1), ItemName(11));
  EXPECT_EQ(Selected(b), ItemName(12));
  b.ServeScroll(ui::event::kPageDown);
  EXPECT_EQ(Item(b, 1), ItemName(16));
  EXPECT_EQ(Item(b, 10), ItemName(25));
  EXPECT_EQ(Selected(b), ItemName(22));
  b.ServeScroll(ui::event::kPageDown);
  EXPECT_EQ(b.state().selected_row, 10);

  b.ServeScroll(ui::event::kScrollTop);
  EXPECT_EQ(Selected(b), ItemName(1));
  b.ServeScroll(ui::event::kScrollBottom);
  EXPECT_EQ(Item(b, 1), ItemName(16));
  EXPECT_EQ(Selected(b), ItemName(25));
  EXPECT_EQ(list.failed_table, "");
}

TEST_F(BrowsePagingTest, FewerRecordsThanAPage) {
  Fill(4);
  FakeList list(10);
  Browse b(Table::kItems, kByDescription, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  b.Relocate(kRelocateStart);
  EXPECT_EQ(b.state().row_count, 4);
  b.ServeScroll(ui::event::kPageDown);
  EXPECT_EQ(b.state().selected_row, 4);
  b.ServeScroll(ui::event::kScrollDown);
  EXPECT_EQ(b.state().selected_row, 4);
  b.ServeScroll(ui::event::kPageUp);
  EXPECT_EQ(b.state().selected_row, 1);
}

TEST_F(BrowsePagingTest, DeletingTheLastRecordOnTheLastPageTopsThePageUpFromAbove) {
  Fill(25);
  FakeList list(10);
  Browse b(Table::kItems, kByDescription, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  b.JumpToEnd(ui::event::kScrollBottom);
  ASSERT_EQ(Selected(b), ItemName(25));
  // What the delete form does, then what the browse does after it.
  ASSERT_TRUE(b.FetchSelected());
  b.CloseView();
  files::Delete(File(Table::kItems));
  ASSERT_EQ(files::Errors().Code(), 0);
  b.RemoveSelectedRow();
  b.OpenOrder();
  b.ReloadFrom(kReloadAfterDelete);
  ASSERT_EQ(b.state().row_count, 10);
  EXPECT_EQ(Item(b, 1), ItemName(15));
  EXPECT_EQ(Item(b, 10), ItemName(24));
  EXPECT_EQ(b.state().selected_row, 10);
  EXPECT_EQ(Selected(b), ItemName(24));
}

// The operations a list window changes the browse through: a choice is kept
// within the rows and shown in the record buffer, only scroll events are the
// browse's, a dragged thumb hands its ends back as scroll events, a removed
// last row leaves the selection on the new last row, and a ranged order
// notices its parent's value moving.
TEST_F(BrowsePagingTest, OperationsKeepTheSelectionOnTheBuffer) {
  Fill(30);
  FakeList list(10);
  Browse b(Table::kItems, kByDescription, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  b.Relocate(kRelocateStart);
  b.BuildKeySpread();
  b.SelectRow(99);
  EXPECT_EQ(b.state().selected_row, 10);
  EXPECT_EQ(
      views::FieldText(Field("ITE:ITEM"), files::RecordBuffer(File(Table::kItems))).substr(0, 9),
      ItemName(10));
  b.SelectRow(-3);
  EXPECT_EQ(b.state().selected_row, 1);
  EXPECT_FALSE(b.ServeScroll(ui::event::kNewSelection));
  EXPECT_EQ(b.state().selected_row, 1);
  EXPECT_TRUE(b.ServeScroll(ui::event::kScrollDown));
  EXPECT_EQ(b.state().selected_row, 2);
  EXPECT_EQ(b.DragThumb(0), ui::event::kScrollTop);
  EXPECT_EQ(b.DragThumb(100), ui::event::kScrollBottom);
  EXPECT_EQ(b.DragThumb(50), 0);
  EXPECT_GT(Item(b, 1), ItemName(1));
  b.SelectRow(10);
  b.RemoveSelectedRow();
  EXPECT_EQ(b.state().row_count, 9);
  EXPECT_EQ(b.state().selected_row, 9);
  EXPECT_EQ(b.rows().size(), 9);

  FakeList short_list(4);
  Browse ranged(Table::kItems, kByLocation, &short_list);
  ranged.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  uint8_t* location = files::RecordBuffer(File(Table::kLocations));
  views::StoreText(Field("LOC:LOCATION"), location, "ROOM 1");
  ranged.ChooseOrder(1);
  EXPECT_EQ(ranged.state().last_order, 0);
  ranged.Relocate(kRelocateStart);
  ranged.ChooseOrder(1);
  EXPECT_EQ(ranged.state().last_order, 1);
  EXPECT_FALSE(ranged.state().range_changed);
  views::StoreText(Field("LOC:LOCATION"), location, "ROOM 2");
  ranged.ChooseOrder(1);
  EXPECT_TRUE(ranged.state().range_changed);
}

// Another user deletes the record at the edge of the page: the page still
// moves on from where that record stood.
TEST_F(BrowsePagingTest, ARecordDeletedUnderTheEdgeOfThePageDoesNotStopPaging) {
  Fill(25);
  FakeList list(10);
  Browse b(Table::kItems, kByDescription, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  b.Relocate(kRelocateStart);
  ASSERT_EQ(Item(b, 10), ItemName(10));
  // Up at the top, so that the view no longer stands on the last row.
  b.SelectRow(1);
  b.ServeScroll(ui::event::kScrollUp);
  // Delete ITEM 10 behind the browse's back (as another process would).
  {
    files::FileRecord* items = File(Table::kItems);
    views::StoreText(Field("ITE:ITEM"), files::RecordBuffer(items), ItemName(10));
    files::GetByKey(items, KeyNamed("ITE:ITEMS"));
    ASSERT_EQ(files::Errors().Code(), 0);
    files::Delete(items);
    ASSERT_EQ(files::Errors().Code(), 0);
  }
  b.SelectRow(10);
  b.ServeScroll(ui::event::kScrollDown);
  EXPECT_EQ(list.failed_table, "");
  EXPECT_EQ(Item(b, 1), ItemName(2));
  EXPECT_EQ(Selected(b), ItemName(11));
  b.ServeScroll(ui::event::kPageDown);
  EXPECT_EQ(list.failed_table, "");
  EXPECT_EQ(Item(b, 10), ItemName(21));
}

// Browses marked for it switch the table's QUICKSCAN mode on around loads of
// more than one record (and off again), never around a one-record load.
TEST_F(BrowsePagingTest, QuickScanFramesPageLoadsOnly) {
  Fill(40);
  FakeList list(10);
  for (bool quick : {true, false}) {
    SCOPED_TRACE(quick);
    Browse b(Table::kItems, kByDescription, &list, quick);
    b.SetColumns({{"ITE:ITEM", "@s60"}});
    b.SelectOrder(1);
    b.Relocate(kRelocateStart);
    g_sends = 0;
    b.ServeScroll(ui::event::kPageDown);
    EXPECT_EQ(g_sends, quick ? 2 : 0);
    EXPECT_FALSE(b.state().quick_scan_on);
    b.SelectRow(10);
    g_sends = 0;
    b.ServeScroll(ui::event::kScrollDown);
    EXPECT_EQ(g_sends, 0);
  }
}

TEST_F(BrowsePagingTest, RangedOrderShowsOnlyTheParentsRecordsAndANewParentStartsAtTheTop) {
  Fill(30);
  FakeList list(4);
  Browse b(Table::kItems, kByLocation, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  views::StoreText(Field("LOC:LOCATION"), files::RecordBuffer(File(Table::kLocations)), "room 1");
  b.Relocate(kRelocateStart);
  EXPECT_EQ(b.state().saved_range_value, "room 1");
  EXPECT_EQ(Item(b, 1), ItemName(1));
  EXPECT_EQ(Item(b, 2), ItemName(4));
  b.ServeScroll(ui::event::kScrollBottom);
  EXPECT_EQ(Selected(b), ItemName(28));
  views::StoreText(Field("LOC:LOCATION"), files::RecordBuffer(File(Table::kLocations)), "ROOM 2");
  b.Relocate(kRelocateStart);
  EXPECT_EQ(Item(b, 1), ItemName(2));
  EXPECT_EQ(b.state().row_count, 4);
}

TEST_F(BrowsePagingTest, ThumbSpreadFindsTheKeyAtThatFraction) {
  Fill(100);
  FakeList list(10);
  Browse b(Table::kItems, kByDescription, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  b.Relocate(kRelocateStart);
  b.BuildKeySpread();
  ASSERT_EQ(b.spread().size(), 100u);
  // Every name shares "ITEM AA"; the spread lies between the first and last.
  EXPECT_EQ(b.spread().front(), ItemName(1));
  EXPECT_EQ(b.spread().back(), ItemName(100));
  EXPECT_EQ(b.ComputeThumb(), 0);
  // The spread does not change what the browse shows in the record buffer.
  EXPECT_EQ(Selected(b), ItemName(1));
  b.RelocateToSpread(50);
  EXPECT_GT(Item(b, 1), ItemName(1));
  EXPECT_LT(Item(b, 1), ItemName(100));
  b.RowToRecord(b.state().selected_row);
  int thumb = b.ComputeThumb();
  EXPECT_GT(thumb, 1);
  EXPECT_LT(thumb, 100);
}

// The cost of moving, wherever the page is in a table of 100,000 records: a
// page move reads at most a page of records and a one-row move at the edge of
// the page one record; a move against the direction of the last one re-reads
// the row it starts from once more.
TEST_F(BrowsePagingTest, PageAndRowMovesReadAPageAndARecordAt100000Records) {
  constexpr int kRecords = 100000;
  constexpr int kPage = 12;
  Fill(kRecords);
  FakeList list(kPage);
  Browse b(Table::kItems, kByDescription, &list);
  b.SetColumns({{"ITE:ITEM", "@s60"}, {"ITE:LOCATION", "@s30"}});
  b.SelectOrder(1);
  b.Relocate(kRelocateStart);
  b.BuildKeySpread();
  for (int place : {0, 25, 50, 75, 99}) {
    SCOPED_TRACE(place);
    if (place == 0) {
      b.ServeScroll(ui::event::kScrollTop);
    } else {
      b.RelocateToSpread(place);
    }
    ASSERT_EQ(b.state().row_count, kPage);
    std::string last = Item(b, kPage);

    // Moves that keep their direction read exactly what they add.
    g_reads = 0;
    b.ServeScroll(ui::event::kPageDown);
    EXPECT_LE(g_reads, kPage);
    if (place < 99) {
      EXPECT_GT(Item(b, 1), last);
    }
    b.SelectRow(b.state().row_count);
    g_reads = 0;
    b.ServeScroll(ui::event::kScrollDown);
    EXPECT_LE(g_reads, 1);

    // Turning round costs the view one re-read of the row it restarts from.
    b.SelectRow(1);
    std::string first = Item(b, 1);
    g_reads = 0;
    b.ServeScroll(ui::event::kScrollUp);
    EXPECT_LE(g_reads, 2);
    EXPECT_LT(Item(b, 1), first);
    g_reads = 0;
    b.ServeScroll(ui::event::kScrollUp);
    EXPECT_LE(g_reads, 1);
    g_reads = 0;
    b.ServeScroll(ui::event::kPageUp);
    EXPECT_LE(g_reads, kPage);
    g_reads = 0;
    b.ServeScroll(ui::event::kPageDown);
    EXPECT_LE(g_reads, kPage + 1);

    // Inside the page nothing is read.
    b.SelectRow(5);
    g_reads = 0;
    b.ServeScroll(ui::event::kScrollDown);
    b.ServeScroll(ui::event::kScrollUp);
    EXPECT_EQ(g_reads, 0);
  }
  EXPECT_EQ(list.failed_table, "");
}

}  // namespace
}  // namespace vorsandt::app
