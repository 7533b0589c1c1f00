#include "app/tree/tree.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <utility>

#include "app/browse/browse_rows.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/format/format.h"
#include "runtime/views/field_values.h"

namespace vorsandt::app {
namespace {

// The list's picture is s200: a longer text would be cut there anyway.
constexpr size_t kTextWidth = 200;

std::string TrimRight(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// A position without its trailing zero bytes, one byte at least (see
// TreeLoader::PositionOf).
std::string ShortPosition(std::string_view position) {
  // Eight bytes at a time: most of a position is its padding.
  size_t kept = position.size();
  uint64_t word = 0;
  while (kept >= sizeof word &&
         (std::memcpy(&word, position.data() + kept - sizeof word, sizeof word), word == 0)) {
    kept -= sizeof word;
  }
  while (kept > 1 && position[kept - 1] == '\0') --kept;
  return std::string(position.substr(0, std::max<size_t>(kept, 1)));
}

// How a level below the first hangs under the level above it.
const RelationDef& LinkOf(const TreeLevel& level) { return *LinkByChildKey(level.link); }

}  // namespace

// --- OpenNodes ---------------------------------------------------------------

// Positions are raw bytes (a record's place in its file, padded with zero
// bytes to the driver's fixed size): written as "level:size:hex" with the
// trailing zero bytes left out, so that the line stays short and survives
// any settings file.
std::string OpenNodes::Saved(const std::vector<TreeRow>& rows) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const TreeRow& row : rows) {
    if (!row.expanded || row.depth() < 1) continue;
    if (!out.empty()) out += ';';
    out += std::to_string(row.depth()) + ':' + std::to_string(row.position.size()) + ':';
    std::string_view bytes = row.position;
    while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
    for (unsigned char c : bytes) {
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {

// A decimal number that is the whole of `text`; -1 when it is not one.
int WholeNumber(std::string_view text) {
  int n = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  return error == std::errc() && end == text.data() + text.size() && !text.empty() ? n : -1;
}

// "level:size:hex" as OpenNodes::Saved writes it; false when malformed.
bool ParseSavedNode(std::string_view item, int* level, std::string* position) {
  auto nibble = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  const size_t first = item.find(':');
  const size_t second = first == std::string_view::npos ? first : item.find(':', first + 1);
  if (second == std::string_view::npos) return false;
  *level = WholeNumber(item.substr(0, first));
  const int size = WholeNumber(item.substr(first + 1, second - first - 1));
  std::string_view hex = item.substr(second + 1);
  // A position is at most a few kilobytes: a larger size is no position.
  constexpr int kLargestPosition = 4096;
  if (*level < 1 || size < 1 || size > kLargestPosition || hex.size() % 2 != 0 ||
      hex.size() / 2 > static_cast<size_t>(size))
    return false;
  position->assign(static_cast<size_t>(size), '\0');
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    (*position)[i / 2] = static_cast<char>(hi * 16 + lo);
  }
  return true;
}

}  // namespace

void OpenNodes::Restore(std::string_view saved) {
  while (!saved.empty()) {
    const size_t end = std::min(saved.find(';'), saved.size());
    int level = 0;
    std::string position;
    // Lines saved with the driver's full positions match the short ones.
    if (ParseSavedNode(saved.substr(0, end), &level, &position)) {
      Add(level, ShortPosition(position));
    }
    saved.remove_prefix(std::min(end + 1, saved.size()));
  }
}

std::vector<OpenNodes::Node>::const_iterator OpenNodes::LowerBound(
    int level, std::string_view position) const {
  return std::lower_bound(nodes_.begin(), nodes_.end(), std::make_pair(level, position),
                          [](const Node& n, const std::pair<int, std::string_view>& key) {
                            if (n.first != key.first) return n.first < key.first;
                            return std::string_view(n.second) < key.second;
                          });
}

bool OpenNodes::Contains(int level, std::string_view position) const {
  auto it = LowerBound(level, position);
  return it != nodes_.end() && it->first == level && it->second == position;
}

void OpenNodes::Add(int level, std::string_view position) {
  auto it = LowerBound(level, position);
  if (it != nodes_.end() && it->first == level && it->second == position) return;
  nodes_.insert(it, Node(level, std::string(position)));
}

void OpenNodes::Remove(int level, std::string_view position) {
  auto it = LowerBound(level, position);
  if (it != nodes_.end() && it->first == level && it->second == position) nodes_.erase(it);
}

// --- Loading -------------------------------------------------------------------

bool TreeLoader::Failed(int n) {
  failed_ = Def(level(n).table).label;
  return false;
}

bool TreeLoader::ReadNext(int n) {
  ++reads_;
  files::Next(File(level(n).table));
  return files::Errors().Code() == 0;
}

std::string TreeLoader::PositionOf(int n) {
  files::Position(File(level(n).table), &position_);
  FieldsOf(n).position_size = position_.size();
  return ShortPosition(position_);
}

const TreeLoader::NamedField& TreeLoader::FieldOf(const char* name) const {
  auto [it, added] = fields_.try_emplace(name);
  if (added) FindTableField(name, &it->second.table, &it->second.field);
  return it->second;
}

TreeLoader::LevelFields& TreeLoader::FieldsOf(int n) const {
  if (levels_.size() < def_.levels.size()) levels_.resize(def_.levels.size());
  LevelFields& fields = levels_[static_cast<size_t>(n - 1)];
  if (fields.ready) return fields;
  fields.ready = true;
  if (n > 1) {
    const RelationDef& link = LinkOf(level(n));
    fields.child = &FieldOf(link.child_field);
    fields.parent = &FieldOf(link.parent_field);
  }
  for (const TreeTextPart& part : level(n).text) {
    fields.text.push_back(part.field != nullptr ? &FieldOf(part.field) : nullptr);
  }
  return fields;
}

void TreeLoader::ClearBuffer(Table t) const {
  files::FileRecord* f = files::InstanceOf(File(t));
  auto [it, added] = layouts_.try_emplace(f);
  if (added) files::ParseLayout({f->layout, f->layout_size}, &it->second);
  views::ClearRecord(it->second, f->buffer, f->record_length);
  files::ClearMemos(f);
}

void TreeLoader::CopyParentValue(int n) const {
  const LevelFields& fields = FieldsOf(n);
  views::CopyField(fields.parent->field, files::RecordBuffer(File(level(n - 1).table)),
                   fields.child->field, files::RecordBuffer(File(level(n).table)));
}

std::string TreeLoader::TextOf(int n) const {
  std::string text;
  const std::span<const TreeTextPart> parts = level(n).text;
  const LevelFields& fields = FieldsOf(n);
  for (size_t i = 0; i < parts.size(); ++i) {
    const TreeTextPart& part = parts[i];
    text += part.literal;
    if (fields.text[i] == nullptr) continue;
    const auto& [field, table] = *fields.text[i];
    if (table == nullptr) continue;
    const uint8_t* record = files::RecordBuffer(table);
    std::string value;
    if (views::IsTextField(field)) {
      value = views::FieldText(field, record);
      if (part.picture != nullptr) value = format::Format(value, part.picture);
    } else {
      double number = views::FieldNumber(field, record);
      value = part.picture != nullptr ? format::Format(number, part.picture)
                                      : format::NumberText(number);
    }
    text += part.trim ? TrimRight(std::move(value)) : value;
  }
  if (text.size() > kTextWidth) text.resize(kTextWidth);
  return text;
}

bool TreeLoader::StartChildren(int n) {
  const TreeLevel& child = level(n);
  ClearBuffer(child.table);
  CopyParentValue(n);
  files::SetKeyValue(File(child.table), KeyNamed(child.link));
  return files::Errors().Code() == 0 || Failed(n);
}

// Letter case is ignored as the grouping key ignores it: a child the key puts
// under its parent is the parent's, for the probe and the listing alike.
bool TreeLoader::IsChild(int n) const {
  const LevelFields& fields = FieldsOf(n);
  return views::CompareFields(fields.child->field, files::RecordBuffer(File(level(n).table)),
                              fields.parent->field, files::RecordBuffer(File(level(n - 1).table)),
                              /*no_case=*/true) == 0;
}

bool TreeLoader::HasChild(int n, bool* has) {
  *has = false;
  if (n >= depth()) return true;
  if (!StartChildren(n + 1)) return false;
  if (ReadNext(n + 1)) {
    *has = IsChild(n + 1);
    return true;
  }
  return files::Errors().Code() == files::kRecordNotAvailable || Failed(n + 1);
}

bool TreeLoader::LoadLevel(TreeRows* rows, int n) {
  if (n == 1) {
    files::SetFile(File(level(1).table));
    if (files::Errors().Code() != 0) return Failed(1);
  } else if (!StartChildren(n)) {
    return false;
  }
  while (true) {
    if (!ReadNext(n)) {
      if (files::Errors().Code() == files::kRecordNotAvailable) return true;
      return Failed(n);
    }
    if (n > 1 && !IsChild(n)) return true;
    TreeRow row{TextOf(n), n, false, PositionOf(n)};
    const size_t index = rows->size();
    if (n < depth() && open_.Contains(n, row.position)) {
      row.expanded = true;
      rows->push_back(std::move(row));
      if (!LoadLevel(rows, n + 1)) return false;
      // An open node whose children have all gone is a leaf until one returns.
      (*rows)[index].level = rows->size() > index + 1 ? -n : n;
      continue;
    }
    bool has = false;
    if (!HasChild(n, &has)) return false;
    if (has) row.level = -n;
    rows->push_back(std::move(row));
  }
}

bool TreeLoader::LoadTree(TreeRows* rows) {
  files::ReadRun run;
  rows->clear();
  failed_.clear();
  rows->push_back(TreeRow{def_.root_text, 0, false, ""});
  return LoadLevel(rows, 1);
}

bool TreeLoader::LoadChildren(TreeRows* rows, size_t index) {
  const int n = (*rows)[index].depth();
  if (n < 1 || n >= depth()) return true;
  files::ReadRun run;
  // Loaded apart and moved in at once: rows inserted one by one would each
  // move every row below them, and a node of a large tree has thousands.
  TreeRows children;
  const bool ok = LoadLevel(&children, n + 1);
  const bool any = !children.empty();
  rows->insert(rows->begin() + static_cast<ptrdiff_t>(index + 1),
               std::make_move_iterator(children.begin()), std::make_move_iterator(children.end()));
  if (!ok) return false;
  (*rows)[index].level = any ? -n : n;
  return true;
}

void TreeLoader::PrepareInsert(int n) {
  ClearBuffer(level(n).table);
  if (n < 2) return;
  CopyParentValue(n);
}

bool TreeLoader::Reread(const TreeRow& row) {
  const int n = row.depth();
  if (n < 1 || n > depth()) return false;
  ++reads_;
  // Padded back to the size the driver gave (PositionOf keeps it short).
  std::string full = row.position;
  full.resize(std::max(full.size(), FieldsOf(n).position_size), '\0');
  files::Reget(File(level(n).table), full);
  return files::Errors().Code() == 0 || Failed(n);
}

bool TreeLoader::Expand(TreeRows* rows, size_t index) {
  if (index >= rows->size()) return true;
  TreeRow& row = (*rows)[index];
  const int n = row.depth();
  if (row.expanded || n < 1) return true;
  row.expanded = true;
  open_.Add(n, row.position);
  if (!Reread(row)) return false;
  row.text = TextOf(n);
  return LoadChildren(rows, index);
}

bool TreeLoader::Contract(TreeRows* rows, size_t index) {
  if (index >= rows->size()) return true;
  TreeRow& row = (*rows)[index];
  const int n = row.depth();
  if (!row.expanded) return true;
  row.expanded = false;
  open_.Remove(n, row.position);
  if (n >= 1) {
    if (!Reread(row)) return false;
    row.text = TextOf(n);
  }
  auto first = rows->begin() + static_cast<ptrdiff_t>(index) + 1;
  auto last = std::find_if(first, rows->end(), [n](const TreeRow& r) { return r.depth() <= n; });
  rows->erase(first, last);
  return true;
}

int TreeLoader::Find(const TreeRows& rows, int level, std::string_view position) {
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].depth() == level && rows[i].position == position) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vorsandt::app
