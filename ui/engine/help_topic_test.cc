#include "ui/engine/help_topic.h"

#include <gtest/gtest.h>

namespace vorsandt::ui {
namespace {

TEST(HelpTopicTest, WindowNamesBecomeLowercaseAnchorsWithSingleDashes) {
  EXPECT_EQ(HelpTopicOf("UPDATEITEMS$QUICKWINDOW"), "updateitems-quickwindow");
  EXPECT_EQ(HelpTopicOf("BROWSECLA:ITEM_REF$QUICKWINDOW"), "browsecla-item-ref-quickwindow");
  EXPECT_EQ(HelpTopicOf("MAIN$APPFRAME"), "main-appframe");
  // Runs of other characters are one dash; none is left at either end.
  EXPECT_EQ(HelpTopicOf("$$Zelta_01::Browse$$"), "zelta-01-browse");
  EXPECT_EQ(HelpTopicOf("SELECTITEMS$QUICKWINDOW"), "selectitems-quickwindow");
  EXPECT_EQ(HelpTopicOf("$:$"), "");
}

}  // namespace
}  // namespace vorsandt::ui
