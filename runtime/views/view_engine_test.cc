// The view engine over the application's tables in the native driver.
#include "runtime/views/view_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "runtime/eval/bind_table.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/text_stack.h"
#include "runtime/format/characters.h"
#include "runtime/views/view_test_support.h"

namespace vorsandt::views {
namespace {

using app::Table;
using testing::Code;
using testing::Number;
using testing::ReadCount;
using testing::ResetReads;
using testing::Set;
using testing::TableFile;
using testing::Text;

// A view over a primary table and a chain of joined levels, each linked by
// its key's first component to field 1 of the level above.
struct TestView {
  TestView(Table primary, std::vector<const char*> child_keys, std::vector<int32_t> links = {}) {
    ViewLayoutBuilder b;
    b.LevelAllFields({});
    for (size_t i = 0; i < child_keys.size(); ++i) {
      keys.push_back(app::KeyNamed(child_keys[i]));
      b.Child().LevelAllFields({i < links.size() ? links[i] : 1});
    }
    layout = b.Finish();
    list = {TableFile(primary), keys.data(), static_cast<int>(keys.size())};
    view = std::make_unique<ViewRecord>(layout.data(), layout.size(), &list);
  }
  ~TestView() {
    if (Inspect(view.get()).open) files::Close(view.get());
  }
  files::AccessObject* operator->() { return view.get(); }
  ViewRecord* get() { return view.get(); }

  std::vector<uint8_t> layout;
  std::vector<const files::KeyDecl*> keys;
  ViewFileList list;
  std::unique_ptr<ViewRecord> view;
};

// Rows read with Next (or Previous) until the end, each as the fields'
// values joined by "|".
std::vector<std::string> Rows(ViewRecord* view, std::vector<const char*> fields,
                              bool forward = true) {
  std::vector<std::string> rows;
  for (int guard = 0; guard < 100000; ++guard) {
    forward ? files::Next(view) : files::Previous(view);
    if (Code() != 0) break;
    std::string row;
    for (const char* f : fields) {
      if (!row.empty()) row += "|";
      const files::FieldInfo info = testing::Info(f);
      row += IsTextField(info) ? Text(f) : std::to_string(Number(f));
    }
    rows.push_back(row);
  }
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  return rows;
}

void AddItem(int code, const std::string& location, const std::string& item = "thing",
             const std::string& policy = "") {
  testing::Blank(Table::kItems);
  Set("ITE:ITEM_CODE", code);
  Set("ITE:LOCATION", location);
  Set("ITE:ITEM", item);
  Set("ITE:POLICY_REFERENCE", policy);
  testing::AddRecord(Table::kItems);
}

void AddClaim(int ref, int item, const std::string& status = "OPEN") {
  testing::Blank(Table::kClaim);
  Set("CLA:CLAIM_REFERENCE", ref);
  Set("CLA:ITEM_REFERENCE", item);
  Set("CLA:CLAIM_STATUS", status);
  testing::AddRecord(Table::kClaim);
}

class ViewEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::OpenTables({Table::kItems, Table::kClaim, Table::kLocations}); }
  void TearDown() override {
    testing::CloseTables({Table::kItems, Table::kClaim, Table::kLocations});
  }

  // Items 1..3: item 1 with claims 11, 12, 13, item 2 with none, item 3 with 31.
  void ItemsAndClaims() {
    AddItem(1, "Kitchen");
    AddItem(2, "Loft");
    AddItem(3, "Garage");
    AddClaim(11, 1);
    AddClaim(12, 1, "CLOSED");
    AddClaim(13, 1);
    AddClaim(31, 3);
  }

  // Opens a view of items joined with their claims, in item code order.
  void OpenItemsWithClaims(TestView& v, const char* filter = nullptr) {
    files::SetKey(TableFile(Table::kItems), app::KeyNamed("ITE:CODE"));
    if (filter != nullptr) files::SetFilter(v.get(), 31928, filter);
    files::Open(v.get(), files::kModeViewDefault);
    ASSERT_EQ(Code(), 0);
  }

  testing::ScratchFolder folder_;
};

TEST_F(ViewEngineTest, EmptyPrimaryTableAnswers33) {
  TestView v(Table::kLocations, {});
  files::SetKey(TableFile(Table::kLocations), app::KeyNamed("LOC:LOC"));
  files::Open(v.get(), files::kModeViewDefault);
  ASSERT_EQ(Code(), 0);
  files::Next(v.get());
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  files::Previous(v.get());
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  EXPECT_EQ(Inspect(v.get()).row_state, kRowNone);
}

TEST_F(ViewEngineTest, ParentsWithThreeChildrenAndWithNoneInBothDirections) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v);
  EXPECT_EQ(
      Rows(v.get(), {"ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE", "CLA:CLAIM_STATUS"}),
      (std::vector<std::string>{"1|11|OPEN", "1|12|CLOSED", "1|13|OPEN", "2|0|", "3|31|OPEN"}));
  files::SetKey(TableFile(Table::kItems), app::KeyNamed("ITE:CODE"));
  files::Close(v.get());
  files::Open(v.get(), files::kModeViewDefault);
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE"}, false),
            (std::vector<std::string>{"3|31", "2|0", "1|13", "1|12", "1|11"}));
}

TEST_F(ViewEngineTest, ThreeLevelsDeliverGrandchildrenAndBlankRows) {
  // Locations -> items by location -> claims by item.
  files::FileRecord* loc = TableFile(Table::kLocations);
  for (const char* name : {"Garage", "Kitchen", "Loft"}) {
    testing::Blank(Table::kLocations);
    Set("LOC:LOCATION", name);
    testing::AddRecord(Table::kLocations);
  }
  ItemsAndClaims();
  AddItem(4, "KITCHEN");  // the key ignores case, and so does the link
  TestView v(Table::kLocations, {"ITE:LOC", "CLA:ITEM_REF"});
  files::SetKey(loc, app::KeyNamed("LOC:LOC"));
  files::Open(v.get(), files::kModeViewDefault);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(Rows(v.get(), {"LOC:LOCATION", "ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE"}),
            (std::vector<std::string>{"Garage|3|31", "Kitchen|1|11", "Kitchen|1|12", "Kitchen|1|13",
                                      "Kitchen|4|0", "Loft|2|0"}));
}

TEST_F(ViewEngineTest, FilterOnTheChildLevelDropsParentsWhoseRowsAllFail) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v, "CLA:CLAIM_STATUS = 'OPEN'");
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE"}),
            (std::vector<std::string>{"1|11", "1|13", "3|31"}));
}

TEST_F(ViewEngineTest, FalseAtThePrimaryLevelSkipsWithoutReadingChildren) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  // Undecided at level 0 for item 1 (OR with a child field), false for 2 and
  // 3; "<" fixes no key range, so every item is read.
  OpenItemsWithClaims(v, "ITE:ITEM_CODE < 2 AND (CLA:CLAIM_REFERENCE = 12 OR ITE:ITEM_CODE = 9)");
  ResetReads();
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE"}),
            (std::vector<std::string>{"1|12"}));
  // Items: 3 records + the end; claims of item 1: 3 + the claim of item 3.
  EXPECT_EQ(ReadCount(), 4 + 4);
}

TEST_F(ViewEngineTest, RangeOnClaimsByItemReadsOnlyThatItemsClaims) {
  // 40 items with 5 claims each, added in an interleaved order.
  for (int c = 0; c < 5; ++c) {
    for (int item = 1; item <= 40; ++item) AddClaim(item * 10 + c, item);
  }
  TestView v(Table::kClaim, {});
  files::SetKey(TableFile(Table::kClaim), app::KeyNamed("CLA:ITEM_REF"));
  files::SetFilter(v.get(), 31928, "CLA:ITEM_REFERENCE = ITE:ITEM_CODE");
  Set("ITE:ITEM_CODE", 17);
  files::Open(v.get(), files::kModeViewDefault);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(Inspect(v.get()).range_components, 1);
  ResetReads();
  EXPECT_EQ(Rows(v.get(), {"CLA:CLAIM_REFERENCE"}),
            (std::vector<std::string>{"170", "171", "172", "173", "174"}));
  // Five claims and the first claim of item 18, which ends the sequence.
  EXPECT_EQ(ReadCount(), 6);

  // Backwards from the end of the key: the same five, ended by item 16's.
  files::SetKey(TableFile(Table::kClaim), app::KeyNamed("CLA:ITEM_REF"));
  files::Close(v.get());
  files::SetFilter(v.get(), 31928,
                   "CLA:ITEM_REFERENCE = ITE:ITEM_CODE AND (cla:item_reference = ite:item_code)");
  files::Open(v.get(), files::kModeViewDefault);
  ResetReads();
  EXPECT_EQ(Rows(v.get(), {"CLA:CLAIM_REFERENCE"}, false),
            (std::vector<std::string>{"174", "173", "172", "171", "170"}));
  EXPECT_EQ(ReadCount(), 6);
}

TEST_F(ViewEngineTest, RangeStartedByKeyValueBeforeTheRangeJumpsToIt) {
  for (int item = 1; item <= 30; ++item) AddClaim(item, item);
  TestView v(Table::kClaim, {});
  Set("CLA:ITEM_REFERENCE", 2);
  files::SetKeyValue(TableFile(Table::kClaim), app::KeyNamed("CLA:ITEM_REF"));
  files::SetFilter(v.get(), 31928, "CLA:ITEM_REFERENCE = ITE:ITEM_CODE");
  Set("ITE:ITEM_CODE", 25);
  files::Open(v.get(), files::kModeViewDefault);
  ResetReads();
  EXPECT_EQ(Rows(v.get(), {"CLA:CLAIM_REFERENCE"}), (std::vector<std::string>{"25"}));
  // The record at the start, then the range's one record and its end.
  EXPECT_EQ(ReadCount(), 3);
}

TEST_F(ViewEngineTest, CaseFoldedLocationRangeOnItemsByLocation) {
  const char* places[] = {"attic", "Garage", "kitchen", "KITCHEN", "Kitchen ", "Loft"};
  int code = 1;
  for (int round = 0; round < 4; ++round) {
    for (const char* p : places) {
      AddItem(code, p, "item " + std::to_string(code));
      ++code;
    }
  }
  TestView v(Table::kItems, {});
  files::SetKey(TableFile(Table::kItems), app::KeyNamed("ITE:LOC"));
  files::SetFilter(v.get(), 31928, "UPPER(ITE:LOCATION) = UPPER(LOC:LOCATION)");
  Set("LOC:LOCATION", "Kitchen");
  files::Open(v.get(), files::kModeViewDefault);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(Inspect(v.get()).range_components, 1);
  ResetReads();
  std::vector<std::string> rows = Rows(v.get(), {"ITE:LOCATION"});
  EXPECT_EQ(rows.size(), 12u);
  for (const std::string& r : rows) EXPECT_EQ(format::ToUpperText(r), "KITCHEN");
  EXPECT_EQ(ReadCount(), 13);

  // The plain form does not fix a component of a key that ignores case.
  files::Close(v.get());
  files::SetKey(TableFile(Table::kItems), app::KeyNamed("ITE:LOC"));
  files::SetFilter(v.get(), 31928, "ITE:LOCATION = 'Loft'");
  files::Open(v.get(), files::kModeViewDefault);
  EXPECT_EQ(Inspect(v.get()).range_components, 0);
  EXPECT_EQ(Rows(v.get(), {"ITE:LOCATION"}).size(), 4u);
}

TEST_F(ViewEngineTest, RangeOverTwoComponentsInKeyOrderNotFilterOrder) {
  int code = 1;
  for (const char* place : {"Attic", "Kitchen", "KITCHEN", "Loft", "kitchen", "Kitchen"}) {
    for (const char* item : {"item 3", "ITEM 7", "item 7", "item 9"}) AddItem(code++, place, item);
  }
  TestView v(Table::kItems, {});
  Set("LOC:LOCATION", "kitchen");
  files::SetKey(TableFile(Table::kItems), app::KeyNamed("ITE:LOC"));
  files::SetFilter(v.get(), 31928,
                   "UPPER(ITE:ITEM) = 'ITEM 7' AND UPPER(ITE:LOCATION) = UPPER(LOC:LOCATION)");
  files::Open(v.get(), files::kModeViewDefault);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(Inspect(v.get()).range_components, 2);
  ResetReads();
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE"}).size(), 8u);
  EXPECT_EQ(ReadCount(), 9);

  // Fixing only the second component gives no range: every item is read.
  files::Close(v.get());
  files::SetKey(TableFile(Table::kItems), app::KeyNamed("ITE:LOC"));
  files::SetFilter(v.get(), 31928, "UPPER(ITE:ITEM) = 'ITEM 9'");
  files::Open(v.get(), files::kModeViewDefault);
  EXPECT_EQ(Inspect(v.get()).range_components, 0);
  ResetReads();
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE"}).size(), 6u);
  EXPECT_EQ(ReadCount(), 25);
}

TEST_F(ViewEngineTest, PositionResetNextDeliversTheFollowingRowAndRegetBlocksReading) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  const std::vector<const char*> cols = {"ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE"};
  OpenItemsWithClaims(v);
  std::vector<std::string> all = Rows(v.get(), cols);
  ASSERT_EQ(all.size(), 5u);
  for (size_t at = 0; at < all.size(); ++at) {
    files::Close(v.get());
    OpenItemsWithClaims(v);
    for (size_t i = 0; i <= at; ++i) files::Next(v.get());
    const std::string position = files::Position(v.get());
    ASSERT_EQ(Code(), 0);
    // Wander off, then come back.
    files::Next(v.get());
    files::Reset(v.get(), position);
    ASSERT_EQ(Code(), 0);
    std::vector<std::string> rest = Rows(v.get(), cols);
    EXPECT_EQ(rest, std::vector<std::string>(all.begin() + static_cast<long>(at) + 1, all.end()))
        << "after row " << all[at];

    files::Reget(v.get(), position);
    ASSERT_EQ(Code(), 0);
    std::string row = std::to_string(Number("ITE:ITEM_CODE")) + "|" +
                      std::to_string(Number("CLA:CLAIM_REFERENCE"));
    EXPECT_EQ(row, all[at]);
    files::Next(v.get());
    EXPECT_EQ(Code(), files::kUnknownErrorPosted);
    files::Reset(v.get(), position);
    files::Next(v.get());
    if (at + 1 < all.size()) {
      EXPECT_EQ(Code(), 0);
    } else {
      EXPECT_EQ(Code(), files::kRecordNotAvailable);
    }
  }
}

TEST_F(ViewEngineTest, ResetThenPreviousDeliversTheRowBefore) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  const std::vector<const char*> cols = {"ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE"};
  OpenItemsWithClaims(v);
  std::vector<std::string> positions;
  std::vector<std::string> all;
  while (files::Next(v.get()), Code() == 0) {
    positions.push_back(files::Position(v.get()));
    all.push_back(std::to_string(Number(cols[0])) + "|" + std::to_string(Number(cols[1])));
  }
  ASSERT_EQ(all.size(), 5u);
  for (size_t at = 0; at < all.size(); ++at) {
    files::Reset(v.get(), positions[at]);
    ASSERT_EQ(Code(), 0);
    std::vector<std::string> before = Rows(v.get(), cols, false);
    std::vector<std::string> want(all.begin(), all.begin() + static_cast<long>(at));
    std::reverse(want.begin(), want.end());
    EXPECT_EQ(before, want) << "before row " << all[at];
  }
}

// The record a position names may be deleted (by another user) before the
// position is given back: the read after the Reset delivers the record that
// followed it, or the one before it, and passes over nothing.
TEST_F(ViewEngineTest, ResetToADeletedRecordContinuesWithItsNeighbours) {
  for (int code = 1; code <= 5; ++code) AddItem(code, "Kitchen");
  for (bool forward : {true, false}) {
    SCOPED_TRACE(forward ? "next" : "previous");
    TestView v(Table::kItems, {});
    files::SetKey(TableFile(Table::kItems), app::KeyNamed("ITE:CODE"));
    files::Open(v.get(), files::kModeViewDefault);
    ASSERT_EQ(Code(), 0);
    std::string third;
    for (int i = 0; i < 3; ++i) files::Next(v.get());
    ASSERT_EQ(Number("ITE:ITEM_CODE"), 3);
    third = files::Position(v.get());
    files::Delete(v.get());
    ASSERT_EQ(Code(), 0);
    files::Reset(v.get(), third);
    ASSERT_EQ(Code(), 0);
    EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE"}, forward),
              forward ? (std::vector<std::string>{"4", "5"})
                      : (std::vector<std::string>{"2", "1"}));
    files::Close(v.get());
    AddItem(3, "Kitchen");
  }
}

TEST_F(ViewEngineTest, ErrorsOfTheTablesEndTheReadWithTheirCode) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v);
  files::Next(v.get());
  ASSERT_EQ(Code(), 0);
  files::Close(TableFile(Table::kClaim));
  files::Next(v.get());
  EXPECT_EQ(Code(), files::kFileNotOpen);
  files::Open(TableFile(Table::kClaim));
}

TEST_F(ViewEngineTest, RandomPositionTextsNeverBreakTheView) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v);
  files::Next(v.get());
  const std::string good = files::Position(v.get());
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text = good;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      switch (rng() % 3) {
        case 0:
          if (!text.empty()) text[rng() % text.size()] = static_cast<char>(rng());
          break;
        case 1:
          text.resize(rng() % (text.size() + 1));
          break;
        default:
          text.insert(rng() % (text.size() + 1), 1, static_cast<char>(rng()));
      }
    }
    round % 2 ? files::Reset(v.get(), text) : files::Reget(v.get(), text);
    files::Next(v.get());
    files::Position(v.get());
  }
  EXPECT_EQ(files::Texts().Size(), 0);
  files::Reset(v.get(), good);
  ASSERT_EQ(Code(), 0);
  files::Next(v.get());
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Number("CLA:CLAIM_REFERENCE"), 12);
}

TEST_F(ViewEngineTest, PositionOffARowIsEmptyWith33) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v);
  EXPECT_EQ(files::Position(v.get()), "");
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  files::GetByPointer(v.get(), 0);
  files::Next(v.get());
  EXPECT_EQ(Code(), files::kUnknownErrorPosted);
}

TEST_F(ViewEngineTest, BadPositionTextsAnswer81AndLeaveTheViewUsable) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v);
  files::Next(v.get());
  const std::string good = files::Position(v.get());
  ASSERT_GT(good.size(), 12u);
  auto u32 = [](uint32_t n) { return std::string(reinterpret_cast<const char*>(&n), 4); };
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"empty", ""},
      {"three bytes", std::string("\1\0\0", 3)},
      {"key number above the key count", u32(99)},
      {"length without bytes", u32(1) + u32(50)},
      {"length cut short", u32(1) + std::string("\7\0", 2)},
      {"bytes after the last level", good + u32(0) + "x"},
      {"huge length", u32(1) + u32(0xFFFFFFFFu) + "abc"},
      {"garbage level bytes", u32(1) + u32(3) + "zzz"},
  };
  for (const Case& c : cases) {
    files::Reset(v.get(), c.text);
    const int32_t reset = Code();
    files::Reget(v.get(), c.text);
    const int32_t reget = Code();
    if (std::string(c.what) == "garbage level bytes") {
      // Well formed for the view; the driver refuses the level's bytes.
      EXPECT_NE(reset, 0) << c.what;
      EXPECT_NE(reget, 0) << c.what;
    } else {
      EXPECT_EQ(reset, files::kUnknownErrorPosted) << c.what;
      EXPECT_EQ(reget, files::kUnknownErrorPosted) << c.what;
    }
  }
  EXPECT_EQ(files::Texts().Size(), 0);
  files::Reset(v.get(), good);
  ASSERT_EQ(Code(), 0);
  files::Next(v.get());
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Number("CLA:CLAIM_REFERENCE"), 12);
}

TEST_F(ViewEngineTest, APositionWithoutPlacesStartsTheKeyItNames) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v);
  files::Skip(v.get(), 4);
  ASSERT_EQ(Number("ITE:ITEM_CODE"), 2);
  // Key 1 (ITE:CODE), both levels without a place.
  files::Reset(v.get(), std::string("\1\0\0\0"
                                    "\0\0\0\0"
                                    "\0\0\0\0",
                                    12));
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE"}).front(), "1|11");
}

TEST_F(ViewEngineTest, SkipZeroDoesNothingAndSkipBeyondTheEndStopsQuietly) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v);
  files::Next(v.get());
  files::Skip(v.get(), 0);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Number("CLA:CLAIM_REFERENCE"), 11);
  files::Skip(v.get(), 2);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Number("CLA:CLAIM_REFERENCE"), 13);
  files::Skip(v.get(), -1);
  EXPECT_EQ(Number("CLA:CLAIM_REFERENCE"), 12);
  files::Skip(v.get(), 100);
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Inspect(v.get()).row_state, kRowNone);
  files::Next(v.get());
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
}

TEST_F(ViewEngineTest, FiltersThatDoNotCompileLeaveNoFilter) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  files::SetFilter(v.get(), 31928, "ITE:ITEM_CODE = 2");
  files::SetFilter(v.get(), 31928, "ITE:ITEM_CODE = ");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Inspect(v.get()).filter, "");
  files::SetFilter(v.get(), 31928, "NOSUCH:FIELD = 1");
  EXPECT_EQ(Code(), 801);
  OpenItemsWithClaims(v);
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE"}).size(), 5u);
  files::SetFilter(v.get(), 31928, "ITE:ITEM_CODE = 2");
  files::Close(v.get());
  files::SetFilter(v.get(), 31928, "ITE:ITEM_CODE = 2");
  files::SetFilter(v.get(), 31928, "");
  OpenItemsWithClaims(v);
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE"}).size(), 5u);
}

TEST_F(ViewEngineTest, OpenNeedsOpenTablesAndOtherOperationsAre80) {
  TestView v(Table::kItems, {"SER:ITEM"});  // SERVICE is not open
  files::Open(v.get(), files::kModeViewDefault);
  EXPECT_EQ(Code(), files::kFileNotOpen);
  files::Next(v.get());
  EXPECT_EQ(Code(), files::kFileNotOpen);
  TestView w(Table::kItems, {});
  files::Open(w.get(), files::kModeViewDefault);
  ASSERT_EQ(Code(), 0);
  files::Open(w.get(), files::kModeViewDefault);
  EXPECT_EQ(Code(), files::kFileAlreadyOpen);
  files::Records(w.get());
  EXPECT_EQ(Code(), files::kUnsupportedFunction);
  files::Add(w.get());
  EXPECT_EQ(Code(), files::kUnsupportedFunction);
  files::Close(w.get());
  EXPECT_EQ(Code(), 0);
  files::Close(w.get());
  EXPECT_EQ(Code(), files::kFileNotOpen);
}

// Restart reads an open view from the sequence now set on its primary file,
// whatever state the view was left in, exactly as closing and opening it.
TEST_F(ViewEngineTest, RestartReadsTheNewSequenceWithTheSameJoinsAndFilter) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  const std::vector<const char*> cols = {"ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE"};
  EXPECT_FALSE(Restart(v.get()));  // not open
  OpenItemsWithClaims(v, "CLA:CLAIM_STATUS <> 'CLOSED'");
  files::Next(v.get());
  files::Next(v.get());  // on 1|13, in the middle of item 1's claims
  const std::string position = files::Position(v.get());
  files::Reget(v.get(), position);  // unreadable until reset
  Set("ITE:ITEM_CODE", 2);
  files::SetKeyValue(TableFile(Table::kItems), app::KeyNamed("ITE:CODE"));
  ASSERT_TRUE(Restart(v.get()));
  EXPECT_EQ(Inspect(v.get()).row_state, kRowNone);
  EXPECT_EQ(Rows(v.get(), cols), (std::vector<std::string>{"2|0", "3|31"}));
  // From the end of the key, backwards; the filter still drops claim 12.
  files::SetKey(TableFile(Table::kItems), app::KeyNamed("ITE:CODE"));
  ASSERT_TRUE(Restart(v.get()));
  EXPECT_EQ(Rows(v.get(), cols, false), (std::vector<std::string>{"3|31", "2|0", "1|13", "1|11"}));

  // A range is analysed again for the key now set: claims by item fix one
  // component, physical order none.
  TestView c(Table::kClaim, {});
  files::SetFile(TableFile(Table::kClaim));
  files::SetFilter(c.get(), 31928, "CLA:ITEM_REFERENCE = ITE:ITEM_CODE");
  files::Open(c.get(), files::kModeViewDefault);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(Inspect(c.get()).range_components, 0);
  Set("ITE:ITEM_CODE", 1);
  files::SetKey(TableFile(Table::kClaim), app::KeyNamed("CLA:ITEM_REF"));
  ASSERT_TRUE(Restart(c.get()));
  EXPECT_EQ(Inspect(c.get()).range_components, 1);
  ResetReads();
  EXPECT_EQ(Rows(c.get(), {"CLA:CLAIM_REFERENCE"}), (std::vector<std::string>{"11", "12", "13"}));
  EXPECT_EQ(ReadCount(), 4);  // straight to the range, ended by item 3's claim
}

TEST_F(ViewEngineTest, PutAndDeleteGoToThePrimaryRecord) {
  ItemsAndClaims();
  TestView v(Table::kItems, {"CLA:ITEM_REF"});
  OpenItemsWithClaims(v);
  files::Next(v.get());
  files::Next(v.get());
  files::Next(v.get());
  files::Next(v.get());  // item 2, no claims
  ASSERT_EQ(Number("ITE:ITEM_CODE"), 2);
  Set("ITE:ITEM", "renamed");
  files::Put(v.get());
  ASSERT_EQ(Code(), 0);
  files::Delete(v.get());
  ASSERT_EQ(Code(), 0);
  files::Close(v.get());
  OpenItemsWithClaims(v);
  EXPECT_EQ(Rows(v.get(), {"ITE:ITEM_CODE"}), (std::vector<std::string>{"1", "1", "1", "3"}));
}

TEST(ViewLayout, ParsesLevelsDepthFirstAndRefusesBrokenStreams) {
  std::vector<uint8_t> report = ViewLayoutBuilder()
                                    .Level({}, {2, 3})
                                    .Child()
                                    .Level({1}, {1, 2, 3, 4, 5})
                                    .Child()
                                    .Level({1}, {1, 2, 3, 4, 5, 6, 7, 8})
                                    .Finish();
  std::vector<LevelLayout> levels;
  ASSERT_TRUE(ParseViewLayout(report, &levels));
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[1].parent, 0);
  EXPECT_EQ(levels[2].parent, 1);
  EXPECT_EQ(levels[2].links, std::vector<int32_t>{1});
  EXPECT_EQ(levels[2].projection.size(), 8u);

  std::vector<uint8_t> siblings = ViewLayoutBuilder()
                                      .LevelAllFields({})
                                      .Child()
                                      .LevelAllFields({1})
                                      .End()
                                      .Child()
                                      .LevelAllFields({2, 3})
                                      .Finish();
  ASSERT_TRUE(ParseViewLayout(siblings, &levels));
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[2].parent, 0);
  EXPECT_TRUE(levels[2].all_fields);
  EXPECT_EQ(levels[2].links, (std::vector<int32_t>{2, 3}));

  const std::vector<uint8_t> second = {0, 3, 0, 1, 0, 0xFF, 0xFF, 7, 0, 0};
  ASSERT_TRUE(ParseViewLayout(second, &levels));
  EXPECT_EQ(levels[0].projection, std::vector<int32_t>{1});
  EXPECT_EQ(levels[0].second_projection, std::vector<int32_t>{7});

  const std::vector<std::vector<uint8_t>> broken = {
      {},
      {0},
      {0, 1, 0},
      {1, 1, 0, 0, 0, 0},  // links on the primary level
      {0, 0xFE, 0xFF, 0},  // negative count other than -1
      {0, 0, 0, 1},        // a child that never comes
      {0, 0, 0, 0, 0},     // bytes after the end
  };
  for (const auto& b : broken) EXPECT_FALSE(ParseViewLayout(b, &levels)) << b.size();
  std::vector<uint8_t> deep = ViewLayoutBuilder().LevelAllFields({}).Finish();
  deep.pop_back();
  for (int i = 0; i < 40; ++i) {
    deep.insert(deep.end(), {1, 1, 1, 0, 0xFF, 0xFF});
  }
  deep.insert(deep.end(), 41, 0);
  EXPECT_FALSE(ParseViewLayout(deep, &levels));
}

}  // namespace
}  // namespace vorsandt::views
