// The picture browse's instance against its window definition and the
// dictionary: the controls in the field order the procedure relies on, the
// list's two columns and the fields they show, the image's field.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/browse/browse_rows.h"
#include "app/browse/list_procedure.h"
#include "app/dictionary/dictionary.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/definition.h"
#include "ui/engine/resource_set.h"

namespace vorsandt::app {
namespace {

TEST(PictureBrowseDef, MatchesItsWindowAndTheDictionary) {
  InitDictionary(&qvf::QvfEntry);
  ASSERT_EQ(PictureBrowseDefs().size(), 1u);
  const ListDef& def = PictureBrowseDefs()[0];
  EXPECT_STREQ(def.procedure, "BrowseInventoryImages");
  auto found = ui::ProgramResources().Find(def.window_id, def.label);
  ASSERT_TRUE(found.has_value());
  const ui::Node& window = *found->structure;
  EXPECT_EQ(window.text, "Browse Images of Inventory Items");

  std::vector<std::string> uses;
  const ui::Node* list = nullptr;
  ui::ForEachControl(window, [&](const ui::Node& c) {
    uses.push_back(std::string(ui::UseName(c)));
    if (ui::UseName(c) == kListEquate) list = &c;
  });
  const std::vector<std::string> want = {def.image,    kListEquate,   kInsertEquate, kChangeEquate,
                                         kDeleteEquate, kSelectEquate, kCloseEquate};
  EXPECT_EQ(uses, want) << "fields 1 to 7";

  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->paged);
  EXPECT_EQ(list->format, "256L~ITEM~@s60@164L~PICTURE~@s41@");
  ASSERT_EQ(list->columns.size(), def.columns.size());
  files::FileRecord* table = nullptr;
  files::FieldInfo field;
  for (const char* column : def.columns) EXPECT_TRUE(FindTableField(column, &table, &field));
  ASSERT_TRUE(FindTableField(def.image_field, &table, &field));
  EXPECT_EQ(field.size, 41u);
  // Insert, Change and Delete go to the inventory form, as in the inventory browse.
  ASSERT_NE(def.update_form, nullptr);
  EXPECT_STREQ(def.update_form, "UpdateItems");
  EXPECT_TRUE(def.select_button);
}

}  // namespace
}  // namespace vorsandt::app
