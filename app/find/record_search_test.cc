// The search over real tables: what a long text shows of itself, how many
// records a group lists, and which codes a scanned label names.
#include "app/find/record_search.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/browse/browse_rows.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/format/locale.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::app {
namespace {

files::FieldInfo Field(const char* name) {
  files::FileRecord* t = nullptr;
  files::FieldInfo f;
  EXPECT_TRUE(FindTableField(name, &t, &f)) << name;
  return f;
}

const SearchSource& SourceOf(Table t) {
  for (const SearchSource& s : SearchSources()) {
    if (s.table == t) return s;
  }
  return SearchSources()[0];
}

class RecordSearchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitDictionary(&qvf::QvfEntry); }

  void SetUp() override {
    format::ResetLocale();
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "find_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    for (Table t : {Table::kItems, Table::kClaim}) files::Close(File(t));
    files::Errors().Clear();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(folder_);
  }

  // A table made with the records `fill` writes into the buffer, one by one.
  template <typename Fill>
  void Make(Table t, int count, Fill fill) {
    files::FileRecord* file = File(t);
    files::Create(file);
    files::Open(file);
    ASSERT_EQ(files::Errors().Code(), 0);
    std::vector<files::FieldInfo> fields;
    files::ParseLayout({file->layout, file->layout_size}, &fields);
    for (int i = 1; i <= count; ++i) {
      uint8_t* buffer = files::RecordBuffer(file);
      views::ClearRecord(fields, buffer, file->record_length);
      files::ClearMemos(files::InstanceOf(file));
      fill(i, buffer);
      files::Add(file);
      ASSERT_EQ(files::Errors().Code(), 0) << i;
    }
  }

  std::filesystem::path old_;
  std::filesystem::path folder_;
};

TEST_F(RecordSearchTest, AGroupListsItsFirstRecordsByTitleAndCountsTheRest) {
  // Item 1 "LAMP 30", item 2 "LAMP 29", ... item 30 "LAMP 01"; codes from
  // 32760 on wrap to negative numbers in the 16-bit field.
  Make(Table::kItems, 30, [](int i, uint8_t* b) {
    const int code = i <= 20 ? i : 32760 + i;  // 32781.. are held negative
    views::StoreNumber(Field("ITE:ITEM_CODE"), b, static_cast<int16_t>(code));
    char name[16];
    snprintf(name, sizeof name, "LAMP %02d", 31 - i);
    views::StoreText(Field("ITE:ITEM"), b, name);
  });
  RecordSearch search;
  ASSERT_EQ(search.Load(SourceOf(Table::kItems)), 0);
  EXPECT_EQ(search.records(Table::kItems), 30u);
  const std::vector<FoundGroup> groups = search.Find("  lamp ", 5);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].total, 30u);
  ASSERT_EQ(groups[0].records.size(), 5u);
  EXPECT_EQ(groups[0].records[0].title, "LAMP 01");
  EXPECT_EQ(groups[0].records[4].title, "LAMP 05");
  EXPECT_EQ(groups[0].records[0].title_runs, (std::vector<app::Run>{{0, 4}}));
  EXPECT_TRUE(search.Find(" \t ", 5).empty());

  // A scanned label, a typed code with or without its zeros; a code above
  // 32767 as the label prints it; nothing for what is no item's code.
  int64_t item3 = 0, item25 = 0;
  files::SetFile(File(Table::kItems));
  for (int i = 1; i <= 30; ++i) {
    files::Next(File(Table::kItems));
    if (i == 3) item3 = files::Pointer(File(Table::kItems));
    if (i == 25) item25 = files::Pointer(File(Table::kItems));
  }
  EXPECT_EQ(search.ItemCoded("VORSANDT ITEM 000003"), item3);
  EXPECT_EQ(search.ItemCoded("vorsandt item 3"), item3);
  EXPECT_EQ(search.ItemCoded(" 000003 "), item3);
  EXPECT_EQ(search.ItemCoded("32785"), item25);
  EXPECT_EQ(search.ItemCoded("000021"), std::nullopt);
  EXPECT_EQ(search.ItemCoded("0"), std::nullopt);
  EXPECT_EQ(search.ItemCoded("3a"), std::nullopt);
  EXPECT_EQ(search.ItemCoded("VORSANDT LOC Kitchen"), std::nullopt);
}

TEST_F(RecordSearchTest, LongNotesShowAroundWhatMatchedAndFieldsNeverJoin) {
  const std::string notes =
      "The insurer asked for the original receipt, a photograph of the damage and a "
      "second quote from an approved repairer before the claim could go any further; "
      "the loss adjuster visits on Monday.";
  Make(Table::kClaim, 2, [&](int i, uint8_t* b) {
    views::StoreNumber(Field("CLA:CLAIM_REFERENCE"), b, i);
    // A unit separator typed into a field cannot join it to the next one.
    views::StoreText(Field("CLA:INSURERS_REFERENCE"), b, i == 1 ? "REF\x1F" "A" : "ADJ-2");
    views::StoreText(Field("CLA:CLAIM_STATUS"), b, "OPEN");
    std::vector<char>& memo = files::InstanceOf(File(Table::kClaim))->memo_buffers[0];
    if (i == 1) std::copy(notes.begin(), notes.end(), memo.begin());
  });
  RecordSearch search;
  ASSERT_EQ(search.Load(SourceOf(Table::kClaim)), 0);
  std::vector<FoundGroup> groups = search.Find("ADJUSTER", 10);
  ASSERT_EQ(groups.size(), 1u);
  ASSERT_EQ(groups[0].records.size(), 1u);
  const FoundRecord& r = groups[0].records[0];
  EXPECT_EQ(r.reference, "000001");
  EXPECT_EQ(r.found_in, "notes: ...o any further; the loss adjuster visits on Monday.");
  ASSERT_EQ(r.found_in_runs.size(), 1u);
  EXPECT_EQ(r.found_in.substr(r.found_in_runs[0].start, r.found_in_runs[0].length), "adjuster");

  // "open" is in both; "ref open" only in the first, across two fields.
  EXPECT_EQ(search.Find("open", 10)[0].total, 2u);
  groups = search.Find("ref open", 10);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].total, 1u);
  EXPECT_EQ(groups[0].records[0].title, "REF A");
  EXPECT_EQ(groups[0].records[0].found_in, "status: OPEN");
}

}  // namespace
}  // namespace vorsandt::app
