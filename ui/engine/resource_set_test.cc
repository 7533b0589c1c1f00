#include "ui/engine/resource_set.h"

#include <gtest/gtest.h>

namespace vorsandt::ui {
namespace {

const char kFirst[] = R"(resource: ZELTA002_RSC
id: ZELTAR3$zelta002
structures:
  - window: BROWSEPOLICY$QUICKWINDOW
    caption: First module
)";

// Same resource name, another program's id: skipped.
const char kForeign[] = R"(resource: zelta002_rsc
id: OTHER$ZELTA002
structures:
  - window: BROWSEPOLICY$QUICKWINDOW
    caption: Foreign
)";

// Same name and id but another label: searched, then the next module.
const char kSecond[] = R"(resource: ZELTA002_RSC
id: ZELTAR3$ZELTA002
structures:
  - window: UPDATEPOLICY$WINDOW
    caption: Second module
)";

void TwoModules(ResourceSet& set) {
  EXPECT_FALSE(set.AddModule("foreign", {{"foreign.yaml", kForeign}}).has_value());
  EXPECT_FALSE(set.AddModule("first", {{"first.yaml", kFirst}}).has_value());
  EXPECT_FALSE(set.AddModule("second", {{"second.yaml", kSecond}}).has_value());
}

TEST(ResourceSetTest, ResourceNameIsThePartAfterTheFirstDollar) {
  EXPECT_EQ(ResourceNameFor("ZELTAR3$zelta002"), "ZELTA002_RSC");
  EXPECT_EQ(ResourceNameFor("A$B$C"), "B$C_RSC");
  EXPECT_EQ(ResourceNameFor("NODOLLAR"), std::nullopt);
  EXPECT_EQ(ResourceNameFor("TRAILING$"), std::nullopt);
}

TEST(ResourceSetTest, WindowIdWithoutDollarFindsNothing) {
  ResourceSet set;
  TwoModules(set);
  EXPECT_FALSE(set.Find("ZELTA002", "BROWSEPOLICY$QUICKWINDOW").has_value());
  EXPECT_FALSE(set.Find("", "BROWSEPOLICY$QUICKWINDOW").has_value());
}

TEST(ResourceSetTest, NameIgnoresCaseAndForeignIdIsSkipped) {
  ResourceSet set;
  TwoModules(set);
  auto found = set.Find("zeltar3$ZELTA002", "BROWSEPOLICY$QUICKWINDOW");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->structure->text, "First module");
  EXPECT_EQ(found->module->name, "first");
}

TEST(ResourceSetTest, MissingLabelContinuesInTheNextModule) {
  ResourceSet set;
  TwoModules(set);
  auto found = set.Find("ZELTAR3$ZELTA002", "UPDATEPOLICY$WINDOW");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->module->name, "second");
  EXPECT_FALSE(set.Find("ZELTAR3$ZELTA002", "NOSUCH$WINDOW").has_value());
  EXPECT_FALSE(set.Find("ZELTAR3$ZELTA099", "UPDATEPOLICY$WINDOW").has_value());
}

TEST(ResourceSetTest, BrokenModuleTextIsReportedNotLoaded) {
  ResourceSet set;
  auto error =
      set.AddModule("broken", {{"b.yaml", "resource: X_RSC\nid: A$X\nstructures:\n  - dial: Q\n"}});
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->ToString(), "b.yaml:4: X_RSC: unknown control kind \"dial\"");
  EXPECT_TRUE(set.modules().empty());
}

struct MenuRow {
  int number;
  const char* menu;
  const char* text;
  const char* message;
  int action;
};

// The frame's menu, item by item as the application defines it.
const MenuRow kFrameMenu[] = {
    {-41, "&File", "&Back Up Data...", "Write every table and the items' pictures into one archive",
     0},
    {-42, "&File", "&Restore Data...", "Restore the tables and pictures of a backup archive", 0},
    {-43, "&File", "&Import CSV...", "Add the rows of a CSV file to a table", 0},
    {-1, "&File", "&Print Setup ...", "Setup printer", 16},
    {-2, "&File", "E&xit", "Exit this application", 15},
    {-3, "&Edit", "Cu&t", "Remove item to Windows Clipboard", 10},
    {-4, "&Edit", "&Copy", "Copy item to Windows Clipboard", 11},
    {-5, "&Edit", "&Paste", "Paste contents of Windows Clipboard", 12},
    {-50, "&Edit", "&Find...",
     "Find items, claims, policies, companies, locations and documents by any word", 0},
    {-51, "&Edit", "&Go to...", "Open an item or a location by its code or a scanned label", 0},
    {-6, "&Browse Files", "Browse INVENTORY ITEMS", "Browse INVENTORY ITEMS", 0},
    {-7, "&Browse Files", "Browse ITEM LOCATIONS", "Browse ITEM LOCATION", 0},
    {-8, "&Browse Files", "Tree Browse INVENTORY", "", 0},
    {-9, "&Browse Files", "Browse INVENTORY IMAGES", "", 0},
    {-10, "&Browse Files", "Item&46", "", 0},
    {-11, "&Browse Files", "Browse INSURANCE POLICIES", "Browse Insurance Policy", 0},
    {-12, "&Browse Files", "Browse INSURANCE CLAIMS", "Browse INSURANCE CLAIMS", 0},
    {-13, "&Browse Files", "Browse INSURANCE COMPANIES", "Browse INSURANCE COMPANIES", 0},
    {-14, "&Browse Files", "Tree Browse INSURANCE", "", 0},
    {-15, "&Browse Files", "Item&47", "", 0},
    {-16, "&Browse Files", "Browse WARRANTY RECORD", "Browse WARRANTY RECORD", 0},
    {-17, "&Browse Files", "Tree Browse WARRANTY RECORDS", "", 0},
    {-18, "&Browse Files", "Item&51", "", 0},
    {-19, "&Browse Files", "Browse SERVICE RECORD", "Browse SERVICE RECORD", 0},
    {-20, "&Browse Files", "Browse SERVICE COMPANIES", "Browse SERVICE COMPANIES", 0},
    {-21, "&Browse Files", "Tree Browse SERVICE RECORDS", "", 0},
    {-22, "&Browse Files", "Item&31", "", 0},
    {-23, "&Browse Files", "QUERY BY EXAMPLE", "", 0},
    {-45, "&Browse Files", "Inventory Check", "Tick off a location's items as you see them", 0},
    {-25, "&Reports", "Master Inventory", "", 0},
    {-26, "&Reports", "Insurance Report", "", 0},
    {-40, "&Reports", "Coverage Check", "", 0},
    {-46, "&Reports", "Labels", "Print QR code labels for items or locations", 0},
    {-47, "&Reports", "Summary", "Where the value sits, by location, policy and year", 0},
    {-27, "&Window", "T&ile", "Make all open windows visible", 2},
    {-28, "&Window", "&Cascade", "Stack all open windows", 3},
    {-29, "&Window", "&Arrange Icons", "Align all window icons", 4},
    {-30, "&Help", "&Contents", "View the contents of the help file", 5},
    {-31, "&Help", "&Search for Help On...", "Search for help on a subject", 7},
    {-32, "&Help", "&How to Use Help", "How to use Windows Help", 6},
};

TEST(ResourceSetTest, EmbeddedFrameDefinitionHoldsTheWholeMenu) {
  auto found = ProgramResources().Find("ZELTAR3$ZELTA001", "MAIN$APPFRAME");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->resource->name, "ZELTA001_RSC");
  const Node& frame = *found->structure;
  EXPECT_EQ(frame.text, "VORSANDT");
  EXPECT_TRUE(frame.mdi_frame);
  ASSERT_NE(frame.menu_bar, nullptr);
  const auto& menus = frame.menu_bar->children;
  ASSERT_EQ(menus.size(), 6u);
  const char* names[] = {"&File", "&Edit", "&Browse Files", "&Reports", "&Window", "&Help"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(menus[i].text, names[i]);
  EXPECT_EQ(menus[3].number, -24);
  EXPECT_EQ(menus[3].message, "Report data");
  EXPECT_EQ(menus[4].message, "Create and Arrange windows");
  EXPECT_EQ(menus[4].standard_action, 1);
  EXPECT_EQ(menus[5].message, "Windows Help");

  // Walk the items in order; the unnumbered separators of File and Edit
  // are skipped.
  size_t row = 0;
  for (const Node& menu : menus) {
    for (const Node& item : menu.children) {
      if (item.number == 0) {
        EXPECT_TRUE(item.separator);
        EXPECT_TRUE(menu.text == "&File" || menu.text == "&Edit") << menu.text;
        continue;
      }
      ASSERT_LT(row, std::size(kFrameMenu));
      const MenuRow& want = kFrameMenu[row++];
      EXPECT_EQ(item.number, want.number);
      EXPECT_EQ(menu.text, want.menu) << want.number;
      EXPECT_EQ(item.text, want.text) << want.number;
      EXPECT_EQ(item.message, want.message) << want.number;
      EXPECT_EQ(item.standard_action, want.action) << want.number;
      EXPECT_EQ(item.separator, std::string(want.text).rfind("Item&", 0) == 0) << want.number;
    }
  }
  EXPECT_EQ(row, std::size(kFrameMenu));
}

TEST(ResourceSetTest, SplashWindowsShareTheirResource) {
  auto splash = ProgramResources().Find("ZELTAR3$ZELTA_SF", "SPLASH$WINDOW");
  auto progress = ProgramResources().Find("ZELTAR3$ZELTA_SF", "SPLASH$PROGRESSWINDOW");
  ASSERT_TRUE(splash.has_value());
  ASSERT_TRUE(progress.has_value());
  EXPECT_EQ(splash->resource, progress->resource);
  int count = 0;
  ForEachControl(*splash->structure, [&](const Node& n) {
    ++count;
    if (n.number == 4) {
      EXPECT_EQ(n.kind, Kind::kList);
    }
    if (n.number == 5) {
      EXPECT_EQ(n.text, "Continue");
    }
  });
  EXPECT_EQ(count, 5);
  EXPECT_GT(progress->structure->timer, 0);
}

}  // namespace
}  // namespace vorsandt::ui
