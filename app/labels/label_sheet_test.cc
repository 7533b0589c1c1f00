// Label sheets laid out as pages: every label inside its own box, the boxes
// on the paper and apart, the first-label offset, and texts cut to fit.
#include "app/labels/label_sheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/labels/qr_code.h"

namespace vorsandt::app {
namespace {

std::vector<LabelSubject> Items(int n, const std::string& description) {
  std::vector<LabelSubject> out;
  for (int i = 1; i <= n; ++i) {
    out.push_back({ItemScanText(i), ItemScanText(i).substr(14), description});
  }
  return out;
}

// The slot whose box holds the item's top left corner, or -1.
int SlotOf(const LabelTemplate& t, const ui::PageItem& item) {
  for (int s = 0; s < t.per_page(); ++s) {
    ui::PageItem box = LabelBox(t, s);
    if (item.x >= box.x && item.y >= box.y && item.x < box.x + box.w && item.y < box.y + box.h) {
      return s;
    }
  }
  return -1;
}

TEST(LabelSheetTest, TemplatesPutEveryLabelOnThePaperAndNoTwoOverlap) {
  ASSERT_EQ(LabelTemplates().size(), 2u);
  EXPECT_EQ(LabelTemplates()[0].per_page(), 24);
  EXPECT_EQ(LabelTemplates()[1].per_page(), 30);
  for (const LabelTemplate& t : LabelTemplates()) {
    for (int s = 0; s < t.per_page(); ++s) {
      ui::PageItem a = LabelBox(t, s);
      EXPECT_GE(a.x, 0) << t.name;
      EXPECT_LE(a.x + a.w, t.page_width) << t.name << " slot " << s;
      EXPECT_LE(a.y + a.h, t.page_height) << t.name << " slot " << s;
      if (s + 1 < t.per_page()) {
        ui::PageItem b = LabelBox(t, s + 1);
        EXPECT_TRUE(b.x >= a.x + a.w || b.y >= a.y + a.h) << t.name << " slot " << s;
      }
    }
  }
}

TEST(LabelSheetTest, EverythingALabelDrawsStaysInsideItsOwnBox) {
  // The widest letters, longer than any label: the description is cut.
  const std::string wide(60, 'W');
  for (const LabelTemplate& t : LabelTemplates()) {
    std::vector<ui::Page> pages = LabelPages(t, Items(t.per_page(), wide), 0);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].width, t.page_width);
    int cut = 0;
    for (const ui::PageItem& item : pages[0].items) {
      const int slot = SlotOf(t, item);
      ASSERT_GE(slot, 0) << t.name;
      const ui::PageItem box = LabelBox(t, slot);
      const int32_t right = item.type == ui::PageItem::Type::kText
                                ? item.x + LabelTextWidth(item.text, item.font)
                                : item.x + item.w;
      EXPECT_LE(right, box.x + box.w) << t.name << " " << item.text;
      EXPECT_LE(item.y + item.h, box.y + box.h) << t.name << " " << item.text;
      if (item.type == ui::PageItem::Type::kText && item.text.ends_with("...")) ++cut;
    }
    // Each label's last line says its description goes on.
    EXPECT_EQ(cut, t.per_page()) << t.name;
  }
}

TEST(LabelSheetTest, TheOffsetLeavesTheFirstLabelsEmptyAndCountsSheets) {
  const LabelTemplate& a4 = LabelTemplates()[0];
  EXPECT_EQ(SheetsNeeded(a4, 50, 0), 3);
  EXPECT_EQ(SheetsNeeded(a4, 48, 0), 2);
  EXPECT_EQ(SheetsNeeded(a4, 48, 1), 3);
  EXPECT_EQ(SheetsNeeded(a4, 0, 5), 0);
  EXPECT_EQ(SheetsNeeded(a4, 24, 24), 1);  // out of range: none used
  std::vector<ui::Page> pages = LabelPages(a4, Items(2, "Kettle"), 5);
  ASSERT_EQ(pages.size(), 1u);
  std::vector<int> slots;
  for (const ui::PageItem& item : pages[0].items) {
    if (item.type == ui::PageItem::Type::kText && item.font.bold) slots.push_back(SlotOf(a4, item));
  }
  EXPECT_EQ(slots, (std::vector<int>{5, 6}));
  EXPECT_EQ(LabelPages(a4, {}, 3).size(), 0u);
  EXPECT_EQ(LabelPages(a4, Items(20, ""), 23).size(), 2u);
}

TEST(LabelSheetTest, DescriptionsWrapAtBlanksAndTheLastLineIsCut) {
  const ui::PageFont font{"Arial", 8, false};
  const int32_t width = LabelTextWidth("Victorian carriage", font);
  std::vector<std::string> lines =
      WrapToWidth("Victorian carriage clock with brass case and key", font, width, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Victorian carriage");
  EXPECT_LE(LabelTextWidth(lines[1], font), width);
  EXPECT_EQ(lines[1].substr(lines[1].size() - 3), "...");
  EXPECT_EQ(WrapToWidth("Short", font, width, 3), std::vector<std::string>{"Short"});
  // A word longer than a line is broken where the line ends.
  lines = WrapToWidth(std::string(40, 'x') + " end", font, width, 3);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_LE(LabelTextWidth(lines[0], font), width);
  EXPECT_GT(LabelTextWidth("W", {"Arial", 10, true}), LabelTextWidth("W", font));
}

TEST(LabelSheetTest, ScanTextsAndTheirCodes) {
  EXPECT_EQ(ItemScanText(123), "VORSANDT ITEM 000123");
  EXPECT_EQ(ItemScanText(-32768), "VORSANDT ITEM 032768");
  EXPECT_EQ(LocationScanText("Kitchen  "), "VORSANDT LOC Kitchen");
  std::optional<QrCode> small = EncodeQr("VORSANDT ITEM 000123");
  ASSERT_TRUE(small);
  EXPECT_EQ(small->size, 25);  // version 2 at level M
  // The finder pattern's corner module is dark.
  EXPECT_TRUE(small->Dark(0, 0));
  EXPECT_FALSE(small->Dark(7, 0));
  std::optional<QrCode> longer = EncodeQr("VORSANDT LOC " + std::string(30, 'K'));
  ASSERT_TRUE(longer);
  EXPECT_GT(longer->size, small->size);
}

}  // namespace
}  // namespace vorsandt::app
