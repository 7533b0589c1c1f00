// The key range a filter fixes on the primary file, and repositioning the
// primary file to it.
//
// The range only ever holds leading components of the primary key whose
// values do not depend on any level's record, so repositioning never changes
// the value it positions to.
#include <vector>

#include "runtime/files/driver.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/rules.h"
#include "runtime/views/field_values.h"
#include "runtime/views/view_state.h"

namespace vorsandt::views::internal {

using files::Errors;

bool FileIsOpen(FileRecord* file) {
  FileRecord* instance = files::FindInstance(file);
  return instance != nullptr && instance->block != nullptr &&
         (instance->block->state & files::kStateOpen) != 0;
}

const FieldInfo* FieldNumbered(const std::vector<FieldInfo>& fields, int32_t number) {
  if (number < 1 || number > static_cast<int32_t>(fields.size())) return nullptr;
  return &fields[static_cast<size_t>(number - 1)];
}

namespace {
// True when `node` reads a field of any level's record: such a value cannot
// fix a key component before the row is read.
bool ReadsViewRecords(const ViewState& s, const eval::Node* node) {
  eval::BufferLevels all;
  for (const LevelState& l : s.levels) {
    all.Add(l.Buffer(), files::InstanceOf(l.file)->record_length, 1);
  }
  return node->HasUnknownField(0, &all);
}

// The range value of a component, stored as the field would hold it.
void StoreRangeValue(const RangeComponent& r, uint8_t* record) {
  if (IsTextField(r.field)) {
    StoreText(r.field, record, r.value->Text());
  } else {
    StoreNumber(r.field, record, r.value->Real());
  }
}

}  // namespace

void AnalyseFilter(ViewState& s) {
  s.range.clear();
  s.key_number = 0;
  if (s.levels.empty()) return;
  LevelState& primary = s.levels[0];
  if (!FileIsOpen(primary.file)) return;
  Errors().Push();
  const int32_t key_number = primary.file->Send(files::kOpOrderKey);
  const bool answered = Errors().Code() == 0;
  // The driver is asked what it supports only when a filter could fix a
  // range: a browse opens its view at every relocation, mostly unfiltered.
  const files::Registration* reg =
      answered && s.filter.ok() ? files::QueryRegistration(primary.file) : nullptr;
  Errors().Pop();
  if (!answered || key_number < 1 || key_number > primary.file->key_count) return;
  s.key_number = key_number;
  if (!s.filter.ok() || reg == nullptr || !reg->SupportsOp(files::kOpSetKeyValue)) return;
  const KeyDecl* key = primary.file->keys[key_number - 1];
  const bool no_case = (key->flags & files::kKeyNoCase) != 0;
  const std::vector<eval::FieldEquality> equalities = eval::FieldEqualities(*s.filter.tree());
  const uint8_t* buffer = primary.Buffer();
  for (int c = 0; c < key->component_count; ++c) {
    const FieldInfo* field = FieldNumbered(*primary.fields, key->components[c]);
    if (field == nullptr) break;
    const eval::FieldEquality* found = nullptr;
    for (const eval::FieldEquality& eq : equalities) {
      if (eq.field->address != buffer + field->offset) continue;
      // A case-insensitive text component is fixed only by the folded form,
      // a case-sensitive one only by the plain form; numbers by either.
      if (IsTextField(*field) && eq.case_folded != no_case) continue;
      if (ReadsViewRecords(s, eq.value)) continue;
      found = &eq;
      break;
    }
    if (found == nullptr) break;
    s.range.push_back({*field, no_case, found->value});
  }
}

RangeAnswer CheckRange(const ViewState& s, const uint8_t* record, bool forward) {
  for (const RangeComponent& r : s.range) {
    std::vector<uint8_t>& value = s.range_values;
    if (value.size() < r.field.offset + r.field.size) value.resize(r.field.offset + r.field.size);
    StoreRangeValue(r, value.data());
    const int cmp = CompareFields(r.field, record, r.field, value.data(), r.no_case);
    if (cmp == 0) continue;
    return (forward ? cmp < 0 : cmp > 0) ? RangeAnswer::kBefore : RangeAnswer::kPast;
  }
  return RangeAnswer::kInside;
}

// Puts the primary file at the start (reading forward) or end of the range.
int32_t PositionAtRange(ViewState& s, bool forward) {
  LevelState& p = s.levels[0];
  const KeyDecl* key = p.file->keys[s.key_number - 1];
  uint8_t* buffer = p.Buffer();
  for (int c = 0; c < key->component_count; ++c) {
    const FieldInfo* field = FieldNumbered(*p.fields, key->components[c]);
    if (field == nullptr) continue;
    if (c < static_cast<int>(s.range.size())) {
      StoreRangeValue(s.range[static_cast<size_t>(c)], buffer);
    } else {
      StoreExtreme(*field, buffer, !forward, (key->flags & files::kKeyNoCase) != 0);
    }
  }
  files::SetKeyValue(p.file, key);
  return Errors().Code();
}
}  // namespace vorsandt::views::internal
