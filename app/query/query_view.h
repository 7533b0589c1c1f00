// The view a query reads: a table, the parents joined beneath it through the
// dictionary's relations, one of the table's keys as its order, and a filter.
//
// A parent joins by its relation: the level of the child names the parent's
// record by the relation's field, and the parent's key whose first part is
// the relation's parent field finds it. A child without a parent record is
// still a row, with the parent's fields blank, as the view engine delivers
// it. A grandparent (an item's policy's insurance company) joins through its
// child, which then joins too.
#ifndef VORSANDT_APP_QUERY_QUERY_VIEW_H_
#define VORSANDT_APP_QUERY_QUERY_VIEW_H_

#include <string>
#include <string_view>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/query/example_grid.h"
#include "runtime/files/file_decl.h"

namespace vorsandt::app::query {

// A table that can join beneath a primary table: itself, the table it joins
// through (the primary or another join), and the relation that links them.
struct JoinCandidate {
  Table table;
  Table through;
  const RelationDef* relation;
};

// Every table reachable from `primary` by going from a child to its parent,
// nearest first, each once.
std::vector<JoinCandidate> JoinCandidates(Table primary);

// The tables of a view: the primary, then the joins in candidate order,
// with every table a chosen join needs on its way added.
std::vector<Table> ViewTables(Table primary, const std::vector<Table>& joins);

// A view's layout stream and the key of every joined level in layout order.
struct ViewShape {
  std::vector<uint8_t> layout;
  std::vector<const files::KeyDecl*> keys;
};
ViewShape ShapeOf(Table primary, const std::vector<Table>& joins);

// The grid's rows: every field of the view's tables, the primary's first.
std::vector<ExampleField> GridFields(const std::vector<Table>& tables);

// The keys of a table as a user chooses among them: "ITE:LOC (LOCATION, ITEM)".
std::vector<std::string> KeyChoices(Table table);
// The key name of a choice ("ITE:LOC").
std::string KeyOfChoice(std::string_view choice);

// Binds every table's fields and MATCH for the running procedure's filters.
void BindQueryNames();
// Compiles `condition` as the view will; empty when it compiles (or is
// blank: no filter), else the
// evaluator's message ("No BIND on variable", "Invalid expression for
// EVALUATE"). Names must be bound (BindQueryNames).
std::string ConditionError(std::string_view condition);

// A table by its label ("ITEMS"), without regard to letter case.
bool TableNamed(std::string_view label, Table* table);

}  // namespace vorsandt::app::query

#endif  // VORSANDT_APP_QUERY_QUERY_VIEW_H_
