#include "runtime/views/field_values.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "runtime/eval/bind_table.h"
#include "runtime/eval/nodes.h"
#include "runtime/eval/values.h"
#include "runtime/files/field_codec.h"
#include "runtime/format/characters.h"
#include "runtime/format/collation.h"

namespace vorsandt::views {
namespace {

eval::VariableRef RefOf(const files::FieldInfo& f, const uint8_t* record) {
  eval::VariableRef ref;
  ref.address = const_cast<uint8_t*>(record) + f.offset;
  ref.type = f.type;
  ref.size = f.element_count > 0 ? f.size / f.element_count : f.size;
  ref.places = f.decimals;
  return ref;
}

// The byte that sorts lowest (or highest) among the characters a text key
// component can hold; with `no_case` the upper-case form decides.
char ExtremeChar(bool highest, bool no_case) {
  int best = highest ? 0x20 : 0x00;
  int best_weight = -1;
  for (int c = 0; c < 256; ++c) {
    char ch = static_cast<char>(c);
    if (no_case) ch = format::ToUpper(ch);
    const int w = format::CollationWeight(ch);
    if (best_weight < 0 || (highest ? w > best_weight : w < best_weight)) {
      best_weight = w;
      best = c;
    }
  }
  return static_cast<char>(best);
}

}  // namespace

bool IsTextField(const files::FieldInfo& f) { return files::IsTextType(f.type); }

std::string FieldText(const files::FieldInfo& f, const uint8_t* record) {
  return eval::ReadText(RefOf(f, record), 0);
}

double FieldNumber(const files::FieldInfo& f, const uint8_t* record) {
  return eval::ReadReal(RefOf(f, record), 0);
}

void StoreText(const files::FieldInfo& f, uint8_t* record, const std::string& text) {
  if (!files::WriteText(files::BytesOf(f, record), text))
    StoreNumber(f, record, eval::TextToReal(text));
}

void StoreNumber(const files::FieldInfo& f, uint8_t* record, double value) {
  if (files::WriteNumber(files::BytesOf(f, record), value, files::Overflow::kSaturate)) return;
  if (IsTextField(f)) StoreText(f, record, eval::RealToText(value));
}

void CopyField(const files::FieldInfo& from, const uint8_t* src, const files::FieldInfo& to,
               uint8_t* dst) {
  if (from.type == to.type && from.size == to.size) {
    std::memmove(dst + to.offset, src + from.offset, to.size);
  } else if (IsTextField(to)) {
    StoreText(to, dst, FieldText(from, src));
  } else {
    StoreNumber(to, dst, FieldNumber(from, src));
  }
}

void StoreExtreme(const files::FieldInfo& f, uint8_t* record, bool highest, bool no_case) {
  uint8_t* at = record + f.offset;
  if (IsTextField(f)) {
    const char c = ExtremeChar(highest, no_case);
    if (!highest) {
      // The empty text sorts first whatever its padding.
      StoreText(f, record, std::string());
      if (f.type == files::kTypeString) std::memset(at, static_cast<unsigned char>(c), f.size);
      return;
    }
    StoreText(f, record, std::string(f.size, c));
    return;
  }
  const double inf = std::numeric_limits<double>::infinity();
  // A packed decimal cannot hold infinity: a value too large for the field
  // stores the largest value of that sign instead.
  if (files::IsPackedType(f.type)) {
    StoreNumber(f, record, highest ? 1e300 : -1e300);
    return;
  }
  StoreNumber(f, record, highest ? inf : -inf);
}

int CompareFields(const files::FieldInfo& a, const uint8_t* ra, const files::FieldInfo& b,
                  const uint8_t* rb, bool no_case) {
  if (IsTextField(a) && IsTextField(b)) {
    // In place and folded as compared: views compare a row's key fields for
    // every row they read, and four copies of the texts cost more than the
    // comparison.
    const std::optional<std::string_view> ta =
        files::TextIn(files::BytesOf(a, const_cast<uint8_t*>(ra)));
    const std::optional<std::string_view> tb =
        files::TextIn(files::BytesOf(b, const_cast<uint8_t*>(rb)));
    const int c = format::CompareText(ta.value_or(""), tb.value_or(""), no_case);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  const double x = FieldNumber(a, ra);
  const double y = FieldNumber(b, rb);
  return x < y ? -1 : (x > y ? 1 : 0);
}

void ClearRecord(const std::vector<files::FieldInfo>& fields, uint8_t* record, uint32_t length) {
  std::memset(record, 0, length);
  for (const files::FieldInfo& f : fields) {
    if (f.type == files::kTypeString && f.offset + f.size <= length) {
      std::memset(record + f.offset, ' ', f.size);
    }
  }
}

}  // namespace vorsandt::views
