#include "ui/qt/popup_text.h"

#include <gtest/gtest.h>

namespace vorsandt::ui::qt {
namespace {

TEST(PopupTextTest, BrowseTextNumbersItsThreeItemsFromOne) {
  auto items = ParsePopupText("|&Insert|&Change|&Delete");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].number, 1);
  EXPECT_EQ(items[0].text, "&Insert");
  EXPECT_EQ(items[1].number, 2);
  EXPECT_EQ(items[2].number, 3);
  EXPECT_EQ(items[2].text, "&Delete");
}

TEST(PopupTextTest, DisabledItemsKeepTheirNumber) {
  auto items = ParsePopupText("Insert|~Change|Delete");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_FALSE(items[0].disabled);
  EXPECT_TRUE(items[1].disabled);
  EXPECT_EQ(items[1].text, "Change");
  EXPECT_EQ(items[1].number, 2);
  EXPECT_EQ(items[2].number, 3);
}

TEST(PopupTextTest, SeparatorsAreNotNumbered) {
  auto items = ParsePopupText("One|-|Two||Three|");
  ASSERT_EQ(items.size(), 4u);
  EXPECT_TRUE(items[1].separator);
  EXPECT_EQ(items[1].number, 0);
  EXPECT_EQ(items[2].number, 2);
  EXPECT_EQ(items[3].number, 3);
  EXPECT_EQ(items[3].text, "Three");
}

TEST(PopupTextTest, EmptyTextHasNoItems) {
  EXPECT_TRUE(ParsePopupText("").empty());
  EXPECT_TRUE(ParsePopupText("||").empty());
}

}  // namespace
}  // namespace vorsandt::ui::qt
