#include "app/query/query_view.h"

#include <algorithm>

#include "app/exchange/record_text.h"
#include "runtime/eval/bind_table.h"
#include "runtime/eval/expression.h"
#include "runtime/eval/record_binding.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/files/text_stack.h"
#include "runtime/format/characters.h"
#include "runtime/views/view_decl.h"

namespace vorsandt::app::query {
namespace {

bool Contains(const std::vector<Table>& tables, Table t) {
  return std::find(tables.begin(), tables.end(), t) != tables.end();
}

const JoinCandidate* CandidateFor(const std::vector<JoinCandidate>& all, Table t) {
  for (const JoinCandidate& c : all) {
    if (c.table == t) return &c;
  }
  return nullptr;
}

void EmitLevel(Table table, const std::vector<Table>& tables,
               const std::vector<JoinCandidate>& candidates, views::ViewLayoutBuilder* b,
               ViewShape* shape) {
  for (Table child : tables) {
    const JoinCandidate* c = CandidateFor(candidates, child);
    if (c == nullptr || c->through != table) continue;
    b->Child();
    b->Level({FieldNumber(table, c->relation->child_field)}, {}, true);
    shape->keys.push_back(KeyNamed(ParentKey(*c->relation)));
    EmitLevel(child, tables, candidates, b, shape);
    b->End();
  }
}

}  // namespace

std::vector<JoinCandidate> JoinCandidates(Table primary) {
  std::vector<JoinCandidate> found;
  std::vector<Table> reached = {primary};
  for (size_t next = 0; next < reached.size(); ++next) {
    for (const RelationDef& r : Relations()) {
      if (r.child != reached[next] || Contains(reached, r.parent) || ParentKey(r) == nullptr) {
        continue;
      }
      reached.push_back(r.parent);
      found.push_back({r.parent, r.child, &r});
    }
  }
  return found;
}

std::vector<Table> ViewTables(Table primary, const std::vector<Table>& joins) {
  const std::vector<JoinCandidate> candidates = JoinCandidates(primary);
  std::vector<Table> needed;
  for (Table t : joins) {
    for (const JoinCandidate* c = CandidateFor(candidates, t); c != nullptr;
         c = CandidateFor(candidates, c->through)) {
      if (!Contains(needed, c->table)) needed.push_back(c->table);
    }
  }
  std::vector<Table> tables = {primary};
  for (const JoinCandidate& c : candidates) {
    if (Contains(needed, c.table)) tables.push_back(c.table);
  }
  return tables;
}

ViewShape ShapeOf(Table primary, const std::vector<Table>& joins) {
  const std::vector<Table> tables = ViewTables(primary, joins);
  ViewShape shape;
  views::ViewLayoutBuilder b;
  b.LevelAllFields({});
  EmitLevel(primary, tables, JoinCandidates(primary), &b, &shape);
  shape.layout = b.Finish();
  return shape;
}

std::vector<ExampleField> GridFields(const std::vector<Table>& tables) {
  std::vector<ExampleField> fields;
  for (Table t : tables) {
    for (const FieldDef& f : Def(t).fields) {
      ValueKind kind = f.type == files::kTypeString ? ValueKind::kText : ValueKind::kNumber;
      if (exchange::IsDateField(f)) kind = ValueKind::kDate;
      fields.push_back({f.name, kind, f.picture});
    }
  }
  return fields;
}

std::vector<std::string> KeyChoices(Table table) {
  std::vector<std::string> choices;
  const TableDef& def = Def(table);
  for (const KeyDef& k : def.keys) {
    std::string text = std::string(k.name) + " (";
    for (int i = 0; i < k.component_count; ++i) {
      std::string_view field = def.fields[static_cast<size_t>(k.components[i] - 1)].name;
      field.remove_prefix(field.find(':') + 1);
      text += (i > 0 ? ", " : "") + std::string(field);
    }
    choices.push_back(text + ")");
  }
  return choices;
}

std::string KeyOfChoice(std::string_view choice) {
  return std::string(choice.substr(0, choice.find(' ')));
}

void BindQueryNames() {
  for (const TableDef& t : Tables()) eval::BindRecord(File(t.table));
  // MATCH(text, pattern): 1 when the text matches the wildcard pattern.
  eval::BindProcedure(kMatchFunction, 2, eval::kInteger, [](int count) {
    std::optional<std::string> text = count > 0 ? files::Texts().Pop() : std::nullopt;
    std::optional<std::string> pattern = count > 1 ? files::Texts().Pop() : std::nullopt;
    return MatchesPattern(text.value_or(""), pattern.value_or("")) ? 1.0 : 0.0;
  });
}

std::string ConditionError(std::string_view condition) {
  // An empty filter is none: every row.
  if (condition.find_first_not_of(' ') == std::string_view::npos) return {};
  files::Errors().Clear();
  eval::Expression compiled = eval::Expression::Compile(condition);
  if (compiled.ok()) return {};
  const int32_t code = files::Errors().Code() != 0 ? files::Errors().Code() : 800;
  std::string text = files::Errors().MessageText(code);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  files::Errors().Clear();
  return text;
}

bool TableNamed(std::string_view label, Table* table) {
  for (const TableDef& t : Tables()) {
    if (format::ToUpperText(label) == t.label) {
      *table = t.table;
      return true;
    }
  }
  return false;
}

}  // namespace vorsandt::app::query
