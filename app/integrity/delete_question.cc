#include "app/integrity/delete_question.h"

#include <algorithm>
#include <vector>

namespace vorsandt::app {
namespace {

std::string Records(int64_t count, Table t) {
  return std::to_string(count) + " " + Def(t).label + (count == 1 ? " record" : " records");
}

// "a", "a and b", "a, b and c".
std::string Listed(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += i + 1 == parts.size() ? " and " : ", ";
    out += parts[i];
  }
  return out;
}

}  // namespace

std::string DeleteQuestion(Table table, const DeleteReach& reach) {
  if (reach.Nothing()) return {};
  std::vector<DeleteReach::Count> deleted = reach.deleted;
  // The bulk of what goes first: that is what the user must not miss.
  std::stable_sort(deleted.begin(), deleted.end(),
                   [](const DeleteReach::Count& a, const DeleteReach::Count& b) {
                     return a.records > b.records;
                   });
  std::vector<std::string> parts;
  bool takes_more = false;
  for (const DeleteReach::Count& c : deleted) {
    parts.push_back(Records(c.records, c.table));
    takes_more = takes_more || c.records != 0;
  }
  std::string text;
  if (takes_more) text = "This also deletes " + Listed(parts) + ".";
  for (const DeleteReach::Kept& k : reach.kept) {
    if (k.records == 0) continue;
    if (!text.empty()) text += " ";
    text += Records(k.records, k.table) + (k.records == 1 ? " points" : " point") + " at " +
            (k.names == table ? std::string("it")
                              : "the " + std::string(Def(k.names).label) + " records deleted") +
            " and will keep doing so; " + (k.records == 1 ? "it is" : "they are") + " not deleted.";
  }
  text += takes_more ? " Delete them all?" : " Delete it anyway?";
  return text;
}

}  // namespace vorsandt::app
