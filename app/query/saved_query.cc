#include "app/query/saved_query.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/exchange/whole_file.h"
#include "app/query/query_view.h"

namespace vorsandt::app::query {
namespace {

bool NameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
         c == '_' || c == '-';
}

bool TableLine(std::string_view value, Table* table) { return TableNamed(value, table); }

}  // namespace

bool ValidQueryName(std::string_view name) {
  if (name.empty() || name.size() > 40 || name.front() == ' ') return false;
  return std::all_of(name.begin(), name.end(), NameChar);
}

std::string QueryToText(const SavedQuery& q) {
  std::string text = "table " + std::string(Def(q.table).label) + "\n";
  for (Table t : q.joins) text += "join " + std::string(Def(t).label) + "\n";
  if (!q.order.empty()) text += "order " + q.order + "\n";
  for (const auto& [field, typed] : q.examples) {
    if (!typed.empty()) text += "example " + field + " " + typed + "\n";
  }
  if (!q.filter.empty()) text += "filter " + q.filter + "\n";
  return text;
}

bool QueryFromText(std::string_view text, SavedQuery* q, std::string* error) {
  *q = SavedQuery();
  bool have_table = false;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t blank = line.find(' ');
    const std::string_view word = line.substr(0, blank);
    const std::string_view value =
        blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    const std::string where = "line " + std::to_string(number) + ": ";
    Table t;
    if (word == "table" && !have_table && TableLine(value, &t)) {
      q->table = t;
      have_table = true;
    } else if (word == "join" && TableLine(value, &t)) {
      q->joins.push_back(t);
    } else if (word == "order" && !value.empty()) {
      q->order = std::string(value);
    } else if (word == "example" && value.find(' ') != std::string_view::npos) {
      const size_t split = value.find(' ');
      q->examples.emplace_back(std::string(value.substr(0, split)),
                               std::string(value.substr(split + 1)));
    } else if (word == "filter") {
      q->filter = std::string(value);
    } else {
      *error = where + "\"" + std::string(line) + "\" is not part of a query";
      return false;
    }
  }
  if (!have_table) {
    *error = "the query names no table";
    return false;
  }
  return true;
}

std::string QueryFile(const std::string& folder, std::string_view name) {
  std::string file = std::string(name) + kQueryExtension;
  return folder.empty() ? file : folder + "/" + file;
}

bool SaveQuery(env::Env* env, const std::string& folder, std::string_view name,
               const SavedQuery& query, std::string* error) {
  if (!ValidQueryName(name)) {
    *error = "\"" + std::string(name) +
             "\" cannot name a query: use up to 40 letters, digits, blanks, _ and -";
    return false;
  }
  return exchange::WriteWholeFile(env, QueryFile(folder, name), QueryToText(query), error);
}

bool LoadQuery(env::Env* env, const std::string& folder, std::string_view name, SavedQuery* query,
               std::string* error) {
  std::string text;
  // A saved query is a few lines; anything far larger is not one.
  exchange::WholeFileLimits limits;
  limits.max_bytes = kMaxQueryFileBytes;
  if (!exchange::ReadWholeFile(env, QueryFile(folder, name), &text, error, limits)) return false;
  if (!QueryFromText(text, query, error)) {
    *error = QueryFile(folder, name) + ", " + *error;
    return false;
  }
  return true;
}

std::vector<std::string> SavedQueryNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, ec)) {
    const std::string file = entry.path().filename().string();
    if (!file.ends_with(kQueryExtension) || !entry.is_regular_file(ec)) continue;
    const std::string name = file.substr(0, file.size() - std::string_view(kQueryExtension).size());
    if (ValidQueryName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vorsandt::app::query
