// The inventory check's records over real tables: ticks, unticks, the
// "Not seen" order and the last day seen.
#include "app/inventory/inventory_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/messages/table_opening.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::app {
namespace {

void Set(Table t, const char* name, const std::string& text) {
  const FieldDef& f = *FieldNamed(name);
  files::WriteText({f.type, files::RecordBuffer(File(t)) + f.offset, f.size, f.places}, text);
}
void Set(Table t, const char* name, double n) {
  const FieldDef& f = *FieldNamed(name);
  files::WriteNumber({f.type, files::RecordBuffer(File(t)) + f.offset, f.size, f.places}, n,
                     files::Overflow::kRefuse);
}

class InventoryCheckTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitDictionary(&qvf::QvfEntry); }
  void SetUp() override {
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "inventory_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    std::filesystem::current_path(folder_);
    for (Table t : {Table::kLocations, Table::kItems, Table::kChecks}) OpenTable(t);
    // Three items in the hall (one written in another case), one in the study.
    const struct {
      int code;
      const char* location;
      const char* item;
    } items[] = {
        {1, "Hall", "Clock"}, {2, "HALL", "Lamp"}, {3, "Hall", "Rug"}, {4, "Study", "Desk"}};
    for (const auto& i : items) {
      std::memset(files::RecordBuffer(File(Table::kItems)), 0, Def(Table::kItems).record_length);
      Set(Table::kItems, "ITE:ITEM_CODE", i.code);
      Set(Table::kItems, "ITE:LOCATION", i.location);
      Set(Table::kItems, "ITE:ITEM", i.item);
      files::Add(File(Table::kItems));
      ASSERT_EQ(files::Errors().Code(), 0);
    }
  }
  void TearDown() override {
    for (Table t : {Table::kLocations, Table::kItems, Table::kChecks}) CloseTable(t);
    files::Errors().Clear();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(folder_);
  }
  std::filesystem::path old_, folder_;
};

constexpr int32_t kToday = 90000;

TEST_F(InventoryCheckTest, TicksAreOnePerDayAndUntickingTakesOnlyThatDay) {
  std::string error;
  EXPECT_EQ(LastSeen(1), 0);
  ASSERT_TRUE(MarkSeen(1, kToday - 400, &error)) << error;
  ASSERT_TRUE(MarkSeen(1, kToday, &error)) << error;
  ASSERT_TRUE(MarkSeen(1, kToday, &error)) << error;
  ASSERT_TRUE(MarkSeen(2, kToday, &error)) << error;
  EXPECT_EQ(files::Records(File(Table::kChecks)), 3);
  EXPECT_EQ(LastSeen(1), kToday);

  ASSERT_TRUE(UnmarkSeen(1, kToday, &error)) << error;
  EXPECT_EQ(files::Records(File(Table::kChecks)), 2);
  EXPECT_EQ(LastSeen(1), kToday - 400);
  EXPECT_EQ(LastSeen(2), kToday);
  // Nothing to take away is no failure.
  ASSERT_TRUE(UnmarkSeen(3, kToday, &error)) << error;
  EXPECT_EQ(LastSeen(3), 0);
}

TEST_F(InventoryCheckTest, ALocationsItemsComeWithTheirLastDayAndTheNotSeenOrder) {
  std::string error;
  ASSERT_TRUE(MarkSeen(1, kToday - 400, &error));
  ASSERT_TRUE(MarkSeen(2, kToday - 10, &error));
  ASSERT_TRUE(MarkSeen(4, kToday - 500, &error));
  std::vector<SeenItem> hall;
  ASSERT_TRUE(ItemsAt("hall", &hall, &error)) << error;
  ASSERT_EQ(hall.size(), 3u);
  EXPECT_EQ(hall[0].description, "Clock");
  EXPECT_EQ(hall[0].last_seen, kToday - 400);
  EXPECT_EQ(hall[1].description, "Lamp");
  EXPECT_EQ(hall[2].last_seen, 0);

  std::vector<SeenItem> due = NotSeenOrder(hall, kToday);
  ASSERT_EQ(due.size(), 2u);
  EXPECT_EQ(due[0].code, 3);  // never seen
  EXPECT_EQ(due[1].code, 1);  // 400 days ago

  // Exactly a year ago still counts as seen within the year.
  EXPECT_FALSE(NotSeenForAYear(kToday - kNotSeenDays, kToday));
  EXPECT_TRUE(NotSeenForAYear(kToday - kNotSeenDays - 1, kToday));
  EXPECT_TRUE(NotSeenForAYear(0, kToday));

  std::vector<SeenItem> nowhere;
  ASSERT_TRUE(ItemsAt("Cellar", &nowhere, &error));
  EXPECT_TRUE(nowhere.empty());
}

}  // namespace
}  // namespace vorsandt::app
