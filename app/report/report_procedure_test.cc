#include "app/report/report_procedure.h"

#include <gtest/gtest.h>

#include <string>

#include "app/dictionary/dictionary.h"

namespace vorsandt::app {
namespace {

TEST(ReportPercentTest, TruncatedAndClippedAtOneHundred) {
  EXPECT_EQ(ReportPercent(0, 3), 0);
  EXPECT_EQ(ReportPercent(1, 3), 33);
  EXPECT_EQ(ReportPercent(2, 3), 66);
  EXPECT_EQ(ReportPercent(3, 3), 100);
  EXPECT_EQ(ReportPercent(90, 3), 100) << "a view yields more rows than its primary table";
  EXPECT_EQ(ReportPercent(5, 0), 100);
  EXPECT_EQ(ReportPercent(0, 0), 0);
  EXPECT_EQ(ReportPercent(INT32_MAX, 1), 100) << "no overflow";
}

// The key named `name` of `table`, or null.
const KeyDef* KeyOf(Table table, const char* name) {
  for (const KeyDef& key : Def(table).keys) {
    if (std::string(key.name) == name) return &key;
  }
  return nullptr;
}

TEST(ReportDefsTest, InstancesNameRealTablesKeysAndLinks) {
  ASSERT_EQ(ReportDefs().size(), 3u);
  for (const ReportDef& def : ReportDefs()) {
    SCOPED_TRACE(def.procedure);
    ASSERT_NE(KeyOf(def.primary, def.start_key), nullptr);
    Table previous = def.primary;
    for (const ReportLevel& level : def.children) {
      ASSERT_NE(KeyOf(level.table, level.key), nullptr) << level.key;
      EXPECT_GE(level.link, 1);
      EXPECT_LE(static_cast<size_t>(level.link), Def(previous).fields.size());
      previous = level.table;
    }
  }
  EXPECT_STREQ(ReportDefs()[0].read_error_name, "LOCATIONS");
  EXPECT_EQ(ReportDefs()[0].detail_band, 2);
  EXPECT_STREQ(ReportDefs()[1].read_error_name, "POLICY");
  EXPECT_EQ(ReportDefs()[1].detail_band, 3);
}

}  // namespace
}  // namespace vorsandt::app
