// The form instances against the dictionary: each child list and each
// lookup names one of its links, from the form's table and to it, over
// tables the form opens.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/dictionary/dictionary.h"
#include "app/form/form_def.h"

namespace vorsandt::app {
namespace {

bool Opens(const FormDef& form, Table t) {
  return std::find(form.tables.begin(), form.tables.end(), t) != form.tables.end();
}

TEST(FormDefsTest, ChildListsAndLookupsNameTheLinksOfTheirForm) {
  int children = 0;
  int lookups = 0;
  for (const FormDef& form : FormDefs()) {
    SCOPED_TRACE(form.procedure);
    for (const FormChild& child : form.children) {
      ++children;
      ASSERT_TRUE(child.order.of_parent) << child.order.tab;
      const RelationDef* link = LinkByChildKey(child.order.key);
      ASSERT_NE(link, nullptr) << child.order.key;
      EXPECT_EQ(&LinkOf(child), link);
      EXPECT_EQ(link->parent, form.table) << child.order.key;
      EXPECT_EQ(ChildTable(child), link->child);
      EXPECT_TRUE(Opens(form, link->child)) << child.order.key;
    }
    for (const FormLookup& lookup : form.lookups) {
      ++lookups;
      const RelationDef* link = LinkByChildField(lookup.field);
      ASSERT_NE(link, nullptr) << lookup.field;
      EXPECT_EQ(&LinkOf(lookup), link);
      EXPECT_EQ(link->child, form.table) << lookup.field;
      // The looked-up table is opened for the lookup and its select.
      EXPECT_TRUE(Opens(form, link->parent)) << lookup.field;
    }
  }
  EXPECT_EQ(children, 7);
  EXPECT_EQ(lookups, 8);
}

}  // namespace
}  // namespace vorsandt::app
