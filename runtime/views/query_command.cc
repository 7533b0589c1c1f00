#include "runtime/views/query_command.h"

#include <cstdio>
#include <memory>

#include "runtime/eval/expression.h"
#include "runtime/eval/record_binding.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/format/characters.h"
#include "runtime/format/charset.h"
#include "runtime/views/field_values.h"
#include "runtime/views/view_decl.h"
#include "runtime/views/view_engine.h"

namespace vorsandt::views {
namespace {

using files::Errors;
using files::FieldInfo;
using files::FileRecord;
using files::KeyDecl;

bool SameName(std::string_view a, std::string_view b) {
  return format::ToUpperText(a) == format::ToUpperText(b);
}

std::string KeyName(const KeyDecl* k) {
  return k->name_length >= 0 ? std::string(k->name, static_cast<size_t>(k->name_length))
                             : std::string(k->name);
}

FileRecord* TableNamed(const QueryCatalog& c, std::string_view name) {
  for (FileRecord* f : c.tables) {
    if (SameName(f->NameText(), name)) return f;
  }
  return nullptr;
}

// A key of `file` by its full name ("ITE:LOC") or by the part after the
// table's prefix ("LOC").
const KeyDecl* KeyNamed(FileRecord* file, std::string_view name) {
  for (int i = 0; i < file->key_count; ++i) {
    const std::string full = KeyName(file->keys[i]);
    const size_t colon = full.find(':');
    if (SameName(full, name) ||
        (colon != std::string::npos && SameName(full.substr(colon + 1), name))) {
      return file->keys[i];
    }
  }
  return nullptr;
}

std::vector<FieldInfo> FieldsOf(FileRecord* f) {
  std::vector<FieldInfo> fields;
  files::ParseLayout({f->layout, f->layout_size}, &fields);
  return fields;
}

// Finds the field by full name among the catalog's tables.
bool FindField(const QueryCatalog& c, std::string_view name, FileRecord** file, FieldInfo* out) {
  for (FileRecord* f : c.tables) {
    for (const FieldInfo& info : FieldsOf(f)) {
      if (SameName(info.name, name)) {
        *file = f;
        *out = info;
        return true;
      }
    }
  }
  return false;
}

std::string CsvValue(const FieldInfo& f, const uint8_t* record) {
  if (!IsTextField(f)) {
    char text[64];
    const double v = FieldNumber(f, record);
    if (f.type == files::kTypeDecimal || f.type == files::kTypePDecimal) {
      std::snprintf(text, sizeof text, "%.*f", static_cast<int>(f.decimals), v);
    } else if (f.type == 8 || f.type == 9 || f.type == 13 || f.type == 14) {
      std::snprintf(text, sizeof text, "%.15g", v);
    } else {
      std::snprintf(text, sizeof text, "%.0f", v);
    }
    return text;
  }
  std::string s = FieldText(f, record);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  s = format::AnsiToUtf8(s);
  const bool quote = s.find_first_of(",\"\r\n") != std::string::npos ||
                     (!s.empty() && (s.front() == ' ' || s.back() == ' '));
  if (!quote) return s;
  std::string q = "\"";
  for (char ch : s) {
    if (ch == '"') q += '"';
    q += ch;
  }
  return q + "\"";
}

struct Level {
  FileRecord* file;
  const KeyDecl* key = nullptr;  // joined levels
  int parent = -1;
  int32_t link_field = 0;  // field number in the parent's record
  std::vector<int> children;
};

void EmitLevel(const std::vector<Level>& levels, int i, bool first, ViewLayoutBuilder* b,
               std::vector<int>* order) {
  if (!first) b->Child();
  const Level& l = levels[static_cast<size_t>(i)];
  b->Level(l.parent < 0 ? std::vector<int32_t>{} : std::vector<int32_t>{l.link_field}, {}, true);
  order->push_back(i);
  for (int c : l.children) EmitLevel(levels, c, false, b, order);
  b->End();
}

std::string ErrorText() { return Errors().MessageText(Errors().Code()); }

class OpenTables {
 public:
  ~OpenTables() {
    for (FileRecord* f : opened_) files::Close(f);
    Errors().Clear();
  }
  bool Open(FileRecord* f) {
    for (FileRecord* o : opened_) {
      if (o == f) return true;
    }
    files::Open(f, files::kModeReadOnly);
    if (Errors().Code() != 0) return false;
    opened_.push_back(f);
    return true;
  }

 private:
  std::vector<FileRecord*> opened_;
};

int Usage(std::string* err) {
  *err +=
      "usage: morvak query TABLE [--key KEYNAME] [--filter EXPR] [--join TABLE:KEYNAME]... "
      "[--start FIELD=VALUE]...\n";
  return kQueryUsage;
}

int Failed(std::string* err, const std::string& text) {
  *err += text + "\n";
  return kQueryFailed;
}

// What the command line asks for.
struct QueryArgs {
  std::string table_name;
  std::string key_name, filter;
  bool has_filter = false;
  std::vector<std::string> joins;
  std::vector<std::pair<std::string, std::string>> starts;
};

// False for a command line that does not read.
bool ParseQueryArgs(std::span<const std::string_view> args, QueryArgs* q) {
  if (args.empty() || args[0].starts_with("--")) return false;
  q->table_name = std::string(args[0]);
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (i + 1 >= args.size()) return false;
    const std::string value(args[++i]);
    if (a == "--key") {
      q->key_name = value;
    } else if (a == "--filter") {
      q->filter = format::ToAnsi(value, "UTF-8");
      q->has_filter = true;
    } else if (a == "--join") {
      q->joins.push_back(value);
    } else if (a == "--start") {
      const size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) return false;
      q->starts.emplace_back(value.substr(0, eq), format::ToAnsi(value.substr(eq + 1), "UTF-8"));
    } else {
      return false;
    }
  }
  return true;
}

// Joins `j` (TABLE:KEYNAME) beneath the latest earlier level a relation
// leads from; what is wrong with it, or "".
std::string AddJoin(const QueryCatalog& catalog, const std::string& j, std::vector<Level>* levels) {
  const size_t colon = j.find(':');
  if (colon == std::string::npos) return "--join wants TABLE:KEYNAME, not " + j;
  FileRecord* child = TableNamed(catalog, j.substr(0, colon));
  if (child == nullptr) return "no table " + j.substr(0, colon);
  const KeyDecl* key = KeyNamed(child, j.substr(colon + 1));
  if (key == nullptr || key->component_count == 0) {
    return "no key " + j.substr(colon + 1) + " in " + j.substr(0, colon);
  }
  const std::vector<FieldInfo> child_fields = FieldsOf(child);
  const int32_t first = key->components[0];
  if (first < 1 || first > static_cast<int32_t>(child_fields.size())) {
    return "key " + KeyName(key) + " has no first field";
  }
  const std::string& link_name = child_fields[static_cast<size_t>(first - 1)].name;
  // The parent: the latest earlier level a relation leads from.
  int parent = -1;
  int32_t parent_field = 0;
  for (int p = static_cast<int>(levels->size()) - 1; p >= 0 && parent < 0; --p) {
    FileRecord* pf = (*levels)[static_cast<size_t>(p)].file;
    const std::vector<FieldInfo> pfields = FieldsOf(pf);
    for (const QueryRelation& r : catalog.relations) {
      if (!SameName(r.child_table, child->NameText()) || !SameName(r.child_field, link_name) ||
          !SameName(r.parent_table, pf->NameText())) {
        continue;
      }
      for (size_t n = 0; n < pfields.size(); ++n) {
        if (SameName(pfields[n].name, r.parent_field)) {
          parent = p;
          parent_field = static_cast<int32_t>(n + 1);
        }
      }
      if (parent >= 0) break;
    }
  }
  if (parent < 0) return "no relation leads to " + j;
  levels->push_back({child, key, parent, parent_field, {}});
  (*levels)[static_cast<size_t>(parent)].children.push_back(static_cast<int>(levels->size()) - 1);
  return "";
}

// Every table's record cleared and bound, then the --start values stored;
// what is wrong, or "".
std::string PrepareRecords(const QueryCatalog& catalog,
                           const std::vector<std::pair<std::string, std::string>>& starts) {
  for (FileRecord* f : catalog.tables) {
    FileRecord* instance = files::InstanceOf(f);
    ClearRecord(FieldsOf(f), instance->buffer, instance->record_length);
    eval::BindRecord(f);
  }
  for (const auto& [name, value] : starts) {
    FileRecord* f = nullptr;
    FieldInfo info;
    if (!FindField(catalog, name, &f, &info)) return "no field " + name;
    StoreText(info, files::InstanceOf(f)->buffer, value);
  }
  return "";
}

// The view's records as CSV lines under a header of the field names, the
// levels in view order.
int ListRows(ViewRecord& view, const std::vector<Level>& levels, const std::vector<int>& dfs,
             std::string* out, std::string* err) {
  std::vector<std::pair<const uint8_t*, FieldInfo>> columns;
  std::string header;
  for (int i : dfs) {
    FileRecord* f = levels[static_cast<size_t>(i)].file;
    const uint8_t* buffer = files::InstanceOf(f)->buffer;
    for (const FieldInfo& info : FieldsOf(f)) {
      if (info.type == files::kTypeGroup) continue;
      if (!header.empty()) header += ",";
      header += info.name;
      columns.emplace_back(buffer, info);
    }
  }
  std::string rows = header + "\n";
  files::ReadRun run;
  for (;;) {
    files::Next(&view);
    if (Errors().Code() != 0) break;
    std::string line;
    for (size_t c = 0; c < columns.size(); ++c) {
      if (c > 0) line += ",";
      line += CsvValue(columns[c].second, columns[c].first);
    }
    rows += line + "\n";
  }
  const int32_t end = Errors().Code();
  std::string end_text = ErrorText();
  files::Close(&view);
  if (end != files::kRecordNotAvailable) return Failed(err, end_text);
  *out += rows;
  return kQueryDone;
}

}  // namespace

int RunQueryCommand(std::span<const std::string_view> args, const QueryCatalog& catalog,
                    std::string* out, std::string* err) {
  QueryArgs q;
  if (!ParseQueryArgs(args, &q)) return Usage(err);
  const std::string& table_name = q.table_name;
  std::vector<Level> levels;
  FileRecord* primary = TableNamed(catalog, table_name);
  if (primary == nullptr) return Failed(err, "no table " + table_name);
  levels.push_back({primary, nullptr, -1, 0, {}});
  const KeyDecl* order = nullptr;
  if (!q.key_name.empty()) {
    order = KeyNamed(primary, q.key_name);
    if (order == nullptr) return Failed(err, "no key " + q.key_name + " in " + table_name);
  }
  for (const std::string& j : q.joins) {
    if (std::string why = AddJoin(catalog, j, &levels); !why.empty()) return Failed(err, why);
  }

  OpenTables open;
  for (const Level& l : levels) {
    if (!open.Open(l.file)) return Failed(err, ErrorText() + " (" + l.file->NameText() + ")");
  }
  if (std::string why = PrepareRecords(catalog, q.starts); !why.empty()) return Failed(err, why);

  // The view: levels depth first, with the keys of the joined ones in order.
  ViewLayoutBuilder builder;
  std::vector<int> dfs;
  EmitLevel(levels, 0, true, &builder, &dfs);
  std::vector<uint8_t> layout = builder.Finish();
  std::vector<const KeyDecl*> keys;
  for (size_t i = 1; i < dfs.size(); ++i) keys.push_back(levels[static_cast<size_t>(dfs[i])].key);
  ViewFileList list{primary, keys.data(), static_cast<int>(keys.size())};
  ViewRecord view(layout.data(), layout.size(), &list);

  if (order == nullptr) {
    files::SetFile(primary);
  } else if (q.starts.empty()) {
    files::SetKey(primary, order);
  } else {
    files::SetKeyValue(primary, order);
  }
  if (Errors().Code() != 0) return Failed(err, ErrorText());
  if (q.has_filter) {
    Errors().Clear();
    eval::Expression check = eval::Expression::Compile(q.filter);
    if (!check.ok()) {
      return Failed(err, Errors().Code() != 0 ? ErrorText() : Errors().MessageText(800));
    }
    files::SetFilter(&view, 31928, q.filter);
  }
  files::Open(&view, files::kModeViewDefault);
  if (Errors().Code() != 0) return Failed(err, ErrorText());
  return ListRows(view, levels, dfs, out, err);
}

}  // namespace vorsandt::views
