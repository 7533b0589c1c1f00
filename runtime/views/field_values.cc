#include "runtime/views/field_values.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "runtime/eval/bind_table.h"
#include "runtime/eval/nodes.h"
#include "runtime/eval/packed_decimal.h"
#include "runtime/eval/values.h"
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

template <typename T>
void Put(uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

template <typename T>
T Clamp(double v) {
  if (std::isnan(v)) return 0;
  const double lo = static_cast<double>(std::numeric_limits<T>::lowest());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  return static_cast<T>(std::llround(std::clamp(v, lo, hi)));
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

bool IsTextField(const files::FieldInfo& f) {
  return f.type == files::kTypeString || f.type == files::kTypeCString ||
         f.type == files::kTypePString;
}

std::string FieldText(const files::FieldInfo& f, const uint8_t* record) {
  return eval::ReadText(RefOf(f, record), 0);
}

double FieldNumber(const files::FieldInfo& f, const uint8_t* record) {
  return eval::ReadReal(RefOf(f, record), 0);
}

void StoreText(const files::FieldInfo& f, uint8_t* record, const std::string& text) {
  uint8_t* at = record + f.offset;
  switch (f.type) {
    case files::kTypeString:
      std::memset(at, ' ', f.size);
      std::memcpy(at, text.data(), std::min<size_t>(text.size(), f.size));
      return;
    case files::kTypeCString: {
      if (f.size == 0) return;
      std::memset(at, 0, f.size);
      std::memcpy(at, text.data(), std::min<size_t>(text.size(), f.size - 1));
      return;
    }
    case files::kTypePString: {
      if (f.size == 0) return;
      std::memset(at, 0, f.size);
      const size_t n = std::min<size_t>({text.size(), f.size - 1, 255});
      at[0] = static_cast<uint8_t>(n);
      std::memcpy(at + 1, text.data(), n);
      return;
    }
    default:
      StoreNumber(f, record, eval::TextToReal(text));
  }
}

void StoreNumber(const files::FieldInfo& f, uint8_t* record, double value) {
  uint8_t* at = record + f.offset;
  switch (f.type) {
    case 1:
      *at = Clamp<uint8_t>(value);
      return;
    case 2:
      Put(at, Clamp<int16_t>(value));
      return;
    case 3:
      Put(at, Clamp<uint16_t>(value));
      return;
    case 4:
    case 5:
    case 6:
      Put(at, Clamp<int32_t>(value));
      return;
    case 7:
      Put(at, Clamp<uint32_t>(value));
      return;
    case 8:
    case 13:
      Put(at, static_cast<float>(value));
      return;
    case 9:
    case 14:
      Put(at, value);
      return;
    case 10:
    case 11:
      eval::WritePackedDecimal(value, f.decimals, std::span<uint8_t>(at, f.size));
      return;
    default:
      if (IsTextField(f)) StoreText(f, record, eval::RealToText(value));
      return;
  }
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
  switch (f.type) {
    case 10:
    case 11:
      // Too large for the field: the largest value of that sign is stored.
      eval::WritePackedDecimal(highest ? 1e300 : -1e300, f.decimals,
                               std::span<uint8_t>(at, f.size));
      return;
    default:
      StoreNumber(f, record, highest ? inf : -inf);
  }
}

int CompareFields(const files::FieldInfo& a, const uint8_t* ra, const files::FieldInfo& b,
                  const uint8_t* rb, bool no_case) {
  if (IsTextField(a) && IsTextField(b)) {
    std::string ta = FieldText(a, ra);
    std::string tb = FieldText(b, rb);
    if (no_case) {
      ta = format::ToUpperText(ta);
      tb = format::ToUpperText(tb);
    }
    return eval::CompareTexts(ta, tb);
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
