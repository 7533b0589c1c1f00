#include "storage/qvf/table/record_check.h"

#include <atomic>

#include "runtime/files/field_codec.h"
#include "runtime/files/layout.h"

namespace vorsandt::qvf {
namespace {

std::atomic<bool> g_thorough{false};

bool SharesBytes(const TableDefinition& def, size_t i) {
  const StoredField& f = def.fields[i];
  for (size_t j = 0; j < def.fields.size(); ++j) {
    const StoredField& g = def.fields[j];
    if (j != i && g.offset < f.offset + f.size && f.offset < g.offset + g.size) return true;
  }
  return false;
}

// The packed decimal at `p` (`size` bytes): every nibble but the sign (the
// high nibble of the first byte) is a digit.
bool DigitsSound(const uint8_t* p, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if ((p[i] & 0x0F) > 9) return false;
    if (i > 0 && (p[i] >> 4) > 9) return false;
  }
  return true;
}

void Encode(const KeyLayout& key, const uint8_t* record, TextRule rule, std::string* out) {
  out->clear();
  for (const KeyComponentLayout& c : key.components) {
    EncodeComponent(c, record, files::IsTextType(c.type) ? rule : TextRule{}, out);
  }
}

}  // namespace

std::vector<PackedSpan> PackedSpansOf(const TableDefinition& def) {
  std::vector<PackedSpan> spans;
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const StoredField& f = def.fields[i];
    if (f.type != files::kTypeDecimal && f.type != files::kTypePDecimal) continue;
    const size_t elements = f.elements == 0 ? 1 : f.elements;
    if (f.size == 0 || f.size % elements != 0 || f.offset + f.size > def.record_length) continue;
    if (SharesBytes(def, i)) continue;
    const auto each = static_cast<uint32_t>(f.size / elements);
    for (size_t e = 0; e < elements; ++e) {
      spans.push_back({static_cast<uint32_t>(f.offset + e * each), each});
    }
  }
  return spans;
}

bool PackedFieldsSound(const std::vector<PackedSpan>& spans, std::string_view image) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(image.data());
  for (const PackedSpan& s : spans) {
    if (s.offset + s.size > image.size() || !DigitsSound(bytes + s.offset, s.size)) return false;
  }
  return true;
}

bool KeyValueAgrees(const KeyLayout& key, std::string_view value, const uint8_t* record, bool oem) {
  if (value.size() != key.ValueSize()) return false;
  size_t at = 0;
  for (const KeyComponentLayout& c : key.components) {
    const std::string_view part = value.substr(at, c.size);
    at += c.size;
    if (!files::IsTextType(c.type)) {
      if (!ComponentMatches(c, record, TextRule{}, part)) return false;
      continue;
    }
    TextRule rule{key.no_case(), oem, false};
    if (ComponentMatches(c, record, rule, part)) continue;
    // A key built while no collation sequence was in force orders its text
    // by the bytes themselves: such a key does not say that the record
    // changed.
    rule.plain = true;
    if (!ComponentMatches(c, record, rule, part)) return false;
  }
  return true;
}

std::string EncodePlainKeyValue(const KeyLayout& key, const uint8_t* record, bool oem) {
  std::string out;
  Encode(key, record, TextRule{key.no_case(), oem, true}, &out);
  return out;
}

void SetThoroughRecordChecks(bool on) { g_thorough.store(on, std::memory_order_relaxed); }
bool ThoroughRecordChecks() { return g_thorough.load(std::memory_order_relaxed); }

}  // namespace vorsandt::qvf
