// The tables of list instances against the window definitions and the
// dictionary: every window, control, column, order, key, field and called
// procedure an instance names exists, so that a definition and its instance
// cannot drift apart unnoticed.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/browse/browse_rows.h"
#include "app/browse/list_procedure.h"
#include "app/dictionary/dictionary.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/definition.h"
#include "ui/engine/resource_set.h"

namespace vorsandt::app {
namespace {

const ui::Node* Control(const ui::Node& window, std::string_view use) {
  const ui::Node* found = nullptr;
  ui::ForEachControl(window, [&](const ui::Node& c) {
    if (found == nullptr && ui::UseName(c) == use) found = &c;
  });
  return found;
}

bool HasField(const char* name) {
  files::FileRecord* table = nullptr;
  files::FieldInfo field;
  return FindTableField(name, &table, &field);
}

void CheckDef(const ListDef& def, const std::set<std::string>& procedures) {
  SCOPED_TRACE(def.procedure);
  auto found = ui::ProgramResources().Find(def.window_id, def.label);
  ASSERT_TRUE(found.has_value()) << def.window_id << " " << def.label;
  const ui::Node& window = *found->structure;

  const ui::Node* list = Control(window, kListEquate);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->paged);
  ASSERT_EQ(list->columns.size(), def.columns.size());
  for (const char* column : def.columns) EXPECT_TRUE(HasField(column)) << column;

  const ui::Node* sheet = Control(window, kSheetEquate);
  ASSERT_NE(sheet, nullptr);
  ASSERT_EQ(sheet->children.size(), def.orders.size());
  for (size_t i = 0; i < def.orders.size(); ++i) {
    const BrowseOrder& o = def.orders[i];
    EXPECT_EQ(sheet->children[i].text, o.tab);
    const files::KeyDecl* key = KeyNamed(o.key);
    ASSERT_NE(key, nullptr) << o.key;
    Table owner;
    ASSERT_TRUE(TableOfName(o.key, &owner));
    EXPECT_EQ(owner, def.primary) << o.key;
    EXPECT_EQ(o.filter, nullptr) << o.tab;
    if (o.of_parent) {
      // The key is a link's child key, and the parent's table is opened by
      // the list, so its fields are bound for the link's filter.
      const RelationDef* link = LinkByChildKey(o.key);
      ASSERT_NE(link, nullptr) << o.key;
      EXPECT_EQ(link->child, def.primary) << o.key;
      bool opened = false;
      for (Table t : def.tables) opened = opened || t == link->parent;
      EXPECT_TRUE(opened) << o.tab;
    }
  }
  EXPECT_EQ(def.tables.front(), def.primary);

  for (const char* equate : {kCloseEquate, kHelpEquate}) {
    EXPECT_NE(Control(window, equate), nullptr) << equate;
  }
  if (def.kind == ListKind::kBrowse) {
    for (const char* equate : {kInsertEquate, kChangeEquate, kDeleteEquate}) {
      EXPECT_NE(Control(window, equate), nullptr) << equate;
    }
    ASSERT_NE(def.update_form, nullptr);
  } else {
    EXPECT_NE(Control(window, kSelectEquate), nullptr);
    EXPECT_EQ(Control(window, kInsertEquate), nullptr);
  }
  if (def.entry_locator != nullptr) {
    EXPECT_NE(Control(window, def.entry_locator), nullptr);
  }
  for (const ListButton& b : def.buttons) {
    EXPECT_NE(Control(window, b.use), nullptr) << b.use;
    EXPECT_TRUE(procedures.count(b.procedure)) << b.procedure;
  }
  // Lists with a locator hear typed keys: letters, digits, Space, Backspace.
  if (def.incremental_locator || def.kind == ListKind::kSelect) {
    std::set<int> alerted(list->alert_keys.begin(), list->alert_keys.end());
    for (int key : {8, 32, int{'0'}, int{'9'}, int{'A'}, int{'Z'}}) {
      EXPECT_TRUE(alerted.count(key)) << key;
    }
  }
}

TEST(ListDefs, EveryInstanceMatchesItsWindowAndTheDictionary) {
  InitDictionary(&qvf::QvfEntry);
  std::set<std::string> procedures;
  for (const ListDef& d : BrowseDefs()) procedures.insert(d.procedure);
  for (const ListDef& d : SelectDefs()) procedures.insert(d.procedure);
  EXPECT_EQ(BrowseDefs().size(), 15u);
  EXPECT_EQ(SelectDefs().size(), 5u);
  EXPECT_EQ(procedures.size(), 20u);
  for (const ListDef& d : BrowseDefs()) CheckDef(d, procedures);
  for (const ListDef& d : SelectDefs()) CheckDef(d, procedures);
}

}  // namespace
}  // namespace vorsandt::app
