#include "app/form/numbered_records.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "app/form/form_def.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"

namespace vorsandt::app {
namespace {

// The dictionary's relations from `parent`, and the links of the forms'
// child lists from it (a claim refers to its item without a relation:
// deleting the item keeps it).
std::vector<const RelationDef*> ChildLinksOf(Table parent) {
  std::vector<const RelationDef*> links;
  for (const RelationDef& r : Relations()) {
    if (r.parent == parent) links.push_back(&r);
  }
  for (const FormDef& form : FormDefs()) {
    if (form.table != parent) continue;
    for (const FormChild& c : form.children) {
      const RelationDef* link = &LinkOf(c);
      if (std::find(links.begin(), links.end(), link) == links.end()) links.push_back(link);
    }
  }
  return links;
}

// The fields a caller may prime to link a new record to its parent.
bool IsLinkField(Table t, std::string_view name) {
  for (const RelationDef& r : Relations()) {
    if (r.child == t && name == r.child_field) return true;
  }
  for (const FormDef& form : FormDefs()) {
    for (const FormChild& c : form.children) {
      if (ChildTable(c) == t && name == LinkOf(c).child_field) return true;
    }
  }
  return false;
}

bool FieldBlank(const FieldDef& f, const uint8_t* record) {
  files::FieldBytes bytes{f.type, const_cast<uint8_t*>(record) + f.offset, f.size, f.places};
  if (files::IsTextType(f.type)) {
    return TrimRight(files::ReadText(bytes).value_or(std::string())).empty();
  }
  return files::ReadNumber(bytes).value_or(0) == 0;
}

bool MemoBlank(const std::vector<char>& memo) {
  return std::all_of(memo.begin(), memo.end(), [](char c) { return c == ' ' || c == '\0'; });
}

}  // namespace

RecordImage TakeImage(Table t) {
  files::FileRecord* instance = files::InstanceOf(File(t));
  RecordImage image;
  image.record.assign(instance->buffer, instance->buffer + instance->record_length);
  image.memos = instance->memo_buffers;
  return image;
}

void PutImage(Table t, const RecordImage& image) {
  files::FileRecord* instance = files::InstanceOf(File(t));
  std::memcpy(instance->buffer, image.record.data(),
              std::min<size_t>(image.record.size(), instance->record_length));
  instance->memo_buffers = image.memos;
}

void ClearMemos(Table t) { files::ClearMemos(files::InstanceOf(File(t))); }

bool BlankAsNumbered(Table t) {
  const TableDef& def = Def(t);
  files::FileRecord* instance = files::InstanceOf(File(t));
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const FieldDef& f = def.fields[i];
    if (static_cast<int32_t>(i + 1) == def.auto_number_field || IsLinkField(t, f.name)) continue;
    if (!FieldBlank(f, instance->buffer)) return false;
  }
  return std::all_of(instance->memo_buffers.begin(), instance->memo_buffers.end(), MemoBlank);
}

bool HasDependants(Table t) {
  for (const RelationDef* link : ChildLinksOf(t)) {
    const RecordImage before = TakeImage(link->child);
    files::FileRecord* file = File(link->child);
    std::memset(files::RecordBuffer(file), 0, Def(link->child).record_length);
    for (const FieldDef& f : Def(link->child).fields) {
      if (files::IsTextType(f.type)) std::memset(files::RecordBuffer(file) + f.offset, ' ', f.size);
    }
    CopyFieldValue(link->parent_field, link->child_field);
    files::SetKeyValue(file, KeyNamed(link->child_key));
    bool found = files::Errors().Code() == 0;
    if (found) {
      files::Next(file);
      found = files::Errors().Code() == 0 && SameFieldValue(link->child_field, link->parent_field);
    }
    files::Errors().Clear();
    PutImage(link->child, before);
    if (found) return true;
  }
  return false;
}

void RemoveAbandonedNumbers(Table t) {
  // Process-wide; only the holder of the run permission gets here.
  static std::set<Table> done;
  if (!done.insert(t).second) return;
  const RecordImage kept = TakeImage(t);
  files::FileRecord* file = File(t);
  const files::KeyDecl* primary = Key(t, 1);
  std::vector<std::string> candidates;
  files::SetKey(file, primary);
  for (files::Next(file); files::Errors().Code() == 0; files::Next(file)) {
    if (BlankAsNumbered(t)) candidates.push_back(files::PositionKey(file, primary));
  }
  if (!candidates.empty()) {
    std::vector<Table> children;
    for (const RelationDef* link : ChildLinksOf(t)) children.push_back(link->child);
    for (Table c : children) OpenTable(c);
    for (const std::string& position : candidates) {
      // Held at once or left: a form that is open holds its record.
      file->Send(files::kOpHoldNextTimeout, files::Args{0});
      files::RegetKey(file, primary, position);
      if (files::Errors().Code() != 0) continue;
      if (BlankAsNumbered(t) && !HasDependants(t)) files::Delete(file);
      file->Send(files::kOpReleaseHeld);
    }
    for (Table c : children) CloseTable(c);
  }
  files::Errors().Clear();
  PutImage(t, kept);
}

}  // namespace vorsandt::app
