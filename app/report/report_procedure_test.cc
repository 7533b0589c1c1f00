#include "app/report/report_procedure.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

#include "app/dictionary/dictionary.h"
#include "app/report/report_preview.h"
#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"

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
      // Each level hangs under the one above through one of the links.
      const RelationDef* link = LinkByChildKey(level.link);
      ASSERT_NE(link, nullptr) << level.link;
      EXPECT_EQ(link->parent, previous) << level.link;
      ASSERT_NE(KeyOf(link->child, link->child_key), nullptr) << level.link;
      previous = link->child;
    }
  }
  EXPECT_STREQ(ReportDefs()[0].read_error_name, "LOCATIONS");
  EXPECT_EQ(ReportDefs()[0].detail_band, 2);
  EXPECT_STREQ(ReportDefs()[1].read_error_name, "POLICY");
  EXPECT_EQ(ReportDefs()[1].detail_band, 3);
}

TEST(WrittenNoticeTest, SaysWhereAndHowManyPages) {
  EXPECT_EQ(WrittenNotice("/home/ann/inventory.pdf", 9),
            "Written to /home/ann/inventory.pdf, 9 pages.");
  EXPECT_EQ(WrittenNotice("/tmp/one.pdf", 1), "Written to /tmp/one.pdf, 1 page.");
}

// The letter after "&" in `text` (lower case), or 0.
char Mnemonic(const std::string& text) {
  size_t amp = text.find('&');
  if (amp == std::string::npos || amp + 1 >= text.size()) return 0;
  return static_cast<char>(std::tolower(static_cast<unsigned char>(text[amp + 1])));
}

// Alt and a letter must reach Save as PDF whatever the buttons say at the
// time (the zoom and facing buttons change their texts).
TEST(PreviewWindowTest, SaveAsPdfHasALetterNoOtherButtonUses) {
  ui::headless::HeadlessPlatform platform;
  ui::Engine engine(&platform);
  std::optional<ui::FoundStructure> found =
      engine.FindDefinition(kPreviewWindowId, "REPORTPREVIEW$PREVIEWWINDOW");
  ASSERT_TRUE(found.has_value());
  std::map<char, std::vector<std::string>> users;
  std::string save_text;
  for (const ui::Node& control : found->structure->children) {
    if (control.kind != ui::Kind::kButton) continue;
    if (control.equate == "?SavePdf") save_text = control.text;
    users[Mnemonic(control.text)].push_back(control.text);
  }
  for (const char* other : {"&Zoom Out!", "&Single Pages!"})
    users[Mnemonic(other)].push_back(other);
  EXPECT_EQ(save_text, "Save as P&DF...");
  ASSERT_NE(Mnemonic(save_text), 0);
  EXPECT_EQ(users[Mnemonic(save_text)], std::vector<std::string>{save_text});
}

}  // namespace
}  // namespace vorsandt::app
