#include "storage/qvf/table/key_encoding.h"

#include <algorithm>
#include <array>

#include "runtime/files/field_codec.h"
#include "runtime/format/characters.h"
#include "runtime/format/charset.h"
#include "runtime/format/locale.h"
#include "storage/qvf/table/entry_key.h"

namespace vorsandt::qvf {
namespace {

// The case and collation rules for one string byte. The record holds ANSI
// text; a table kept in the OEM set orders by its OEM bytes through the OEM
// weights, as its stored images carry them.
inline uint8_t TextByte(const format::Locale& locale, uint8_t b, TextRule rule) {
  if (rule.no_case) b = locale.UpperOf(b);
  if (rule.oem) b = format::AnsiToOem(b);
  if (rule.plain) return b;
  return rule.oem ? locale.oem_weights[b] : locale.ansi_weights[b];
}

void ApplyTextRule(char* bytes, size_t size, TextRule rule) {
  // The locale is looked up once per value, not per character.
  const format::Locale& locale = format::CurrentLocale();
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(TextByte(locale, static_cast<uint8_t>(bytes[i]), rule));
  }
}

// Appends the byte mapping `rule` gives under `locale` to `out`.
void AppendTextMapping(const format::Locale& locale, TextRule rule, std::string* out) {
  for (int b = 0; b < 256; ++b) out->push_back(static_cast<char>(TextByte(locale, b, rule)));
}

// The mappings the text components of `keys` go through (case-sensitive
// ones, then case-insensitive ones, each only when some key uses it).
std::string TextMappings(const format::Locale& locale, const std::vector<KeyLayout>& keys,
                         bool oem) {
  bool plain = false;
  bool folded = false;
  for (const KeyLayout& key : keys) {
    if (!key.separate() && KeyEncodesText(key)) (key.no_case() ? folded : plain) = true;
  }
  std::string out;
  if (plain) AppendTextMapping(locale, TextRule{false, oem}, &out);
  if (folded) AppendTextMapping(locale, TextRule{true, oem}, &out);
  return out;
}

}  // namespace

size_t KeyLayout::ValueSize() const {
  size_t n = 0;
  for (const KeyComponentLayout& c : components) n += c.size;
  return n;
}

bool KeyLayouts(const TableDefinition& def, std::vector<KeyLayout>* out) {
  out->clear();
  for (size_t k = 0; k < def.keys.size(); ++k) {
    const StoredKey& sk = def.keys[k];
    KeyLayout layout;
    layout.number = static_cast<uint8_t>(k);
    layout.attributes = sk.attributes;
    for (const StoredComponent& sc : sk.components) {
      if (sc.field >= def.fields.size()) return false;
      const StoredField& f = def.fields[sc.field];
      if (static_cast<uint32_t>(f.offset) + f.size > def.record_length) return false;
      layout.components.push_back(
          {f.type, f.offset, f.size, (sc.flags & kComponentDescending) != 0});
    }
    out->push_back(std::move(layout));
  }
  return true;
}

void EncodeComponent(const KeyComponentLayout& c, const uint8_t* record, TextRule rule,
                     std::string* out) {
  // Encoded in place at the end of `out`: a key entry is made for every key
  // of every record written or checked.
  const uint8_t* p = record + c.offset;
  const size_t at = out->size();
  const bool counted_text = c.type == files::kTypeCString || c.type == files::kTypePString;
  if (counted_text && c.size > 0) {
    // The characters the field holds, padded with zero bytes to its size.
    files::FieldBytes field{c.type, const_cast<uint8_t*>(p), c.size, 0};
    out->append(files::ReadText(field).value_or(std::string()));
    out->resize(at + c.size, '\0');
  } else {
    out->append(reinterpret_cast<const char*>(p), c.size);
  }
  char* v = out->data() + at;
  bool descending = c.descending;
  if (c.size > 0) {
    switch (c.type) {
      case files::kTypeString:
      case files::kTypeCString:
      case files::kTypePString:
        ApplyTextRule(v, c.size, rule);
        break;
      case files::kTypeUShort:
      case files::kTypeULong:
        std::reverse(v, v + c.size);
        break;
      case files::kTypeShort:
      case files::kTypeLong:
        std::reverse(v, v + c.size);
        v[0] = static_cast<char>(v[0] ^ 0x80);
        break;
      case files::kTypeSReal:
      case files::kTypeDouble:
        std::reverse(v, v + c.size);
        // Negative numbers order backwards by magnitude: all bytes inverted.
        if (v[0] & 0x80) {
          descending = !descending;
        } else {
          v[0] = static_cast<char>(v[0] | 0x80);
        }
        break;
      case files::kTypeDecimal:
        // The sign lives in the high nibble of the first byte.
        if (static_cast<uint8_t>(v[0]) & 0xF0) {
          v[0] = static_cast<char>(v[0] & 0x0F);
          descending = !descending;
        }
        v[0] = static_cast<char>(v[0] ^ 0x80);
        break;
      default:
        break;
    }
  }
  if (descending) {
    for (size_t i = 0; i < c.size; ++i) v[i] = static_cast<char>(255 - static_cast<uint8_t>(v[i]));
  }
}

bool KeyEncodesText(const KeyLayout& key) {
  for (const KeyComponentLayout& c : key.components) {
    const bool text = c.type == files::kTypeString || c.type == files::kTypeCString ||
                      c.type == files::kTypePString;
    if (text && c.size > 0) return true;
  }
  return false;
}

uint64_t KeyTextRules(const std::vector<KeyLayout>& keys, bool oem) {
  static const format::Locale kBuiltIn;
  const std::string now = TextMappings(format::CurrentLocale(), keys, oem);
  if (now == TextMappings(kBuiltIn, keys, oem)) return 0;
  // FNV-1a over the mappings; 0 stays reserved for the built-in rules.
  uint64_t hash = 0xcbf29ce484222325ull;
  for (char ch : now) {
    hash ^= static_cast<uint8_t>(ch);
    hash *= 0x100000001b3ull;
  }
  return hash != 0 ? hash : 1;
}

bool ComponentMatches(const KeyComponentLayout& c, const uint8_t* record, TextRule rule,
                      std::string_view encoded) {
  if (encoded.size() != c.size) return false;
  if (c.type != files::kTypeString) {
    std::string v;
    EncodeComponent(c, record, rule, &v);
    return v == encoded;
  }
  // The common case, a fixed string, byte by byte without building the
  // encoding (a read through a key compares one per record, and the rule's
  // choices are made once per component, not per byte).
  const format::Locale& locale = format::CurrentLocale();
  const uint8_t flip = c.descending ? 0xFF : 0x00;  // 255 - b
  const uint8_t* p = record + c.offset;
  const auto* e = reinterpret_cast<const uint8_t*>(encoded.data());
  auto all_match = [&](auto byte_of) {
    for (size_t i = 0; i < c.size; ++i) {
      if ((byte_of(p[i]) ^ flip) != e[i]) return false;
    }
    return true;
  };
  if (rule.oem) {
    return all_match([&](uint8_t b) { return TextByte(locale, b, rule); });
  }
  const std::array<uint8_t, 256>& weights = locale.ansi_weights;
  if (rule.no_case && rule.plain) return all_match([&](uint8_t b) { return locale.UpperOf(b); });
  if (rule.no_case) return all_match([&](uint8_t b) { return weights[locale.UpperOf(b)]; });
  if (rule.plain) return all_match([](uint8_t b) { return b; });
  return all_match([&](uint8_t b) { return weights[b]; });
}

namespace {

void AppendKeyValue(const KeyLayout& key, const uint8_t* record, bool oem, std::string* out) {
  out->reserve(out->size() + key.ValueSize());
  TextRule rule{key.no_case(), oem};
  for (const KeyComponentLayout& c : key.components) {
    EncodeComponent(c, record, files::IsTextType(c.type) ? rule : TextRule{}, out);
  }
}

}  // namespace

std::string EncodeKeyValue(const KeyLayout& key, const uint8_t* record, bool oem) {
  std::string out;
  AppendKeyValue(key, record, oem, &out);
  return out;
}

bool ComponentIsBlank(const KeyComponentLayout& c, const uint8_t* record) {
  const uint8_t* p = record + c.offset;
  if (c.size == 0) return true;
  switch (c.type) {
    case 18:
    case 22:
      return std::all_of(p, p + c.size, [](uint8_t b) { return b == ' '; });
    case 19:
    case 20:
      return p[0] == 0;
    default:
      return std::all_of(p, p + c.size, [](uint8_t b) { return b == 0; });
  }
}

bool RecordIsBlank(const KeyLayout& key, const uint8_t* record) {
  return std::all_of(key.components.begin(), key.components.end(),
                     [&](const KeyComponentLayout& c) { return ComponentIsBlank(c, record); });
}

bool MakeKeyEntry(uint32_t table, const KeyLayout& key, const uint8_t* record, uint32_t number,
                  bool oem, KeyEntry* out) {
  if (key.optional() && RecordIsBlank(key, record)) return false;
  // Assigned and appended in place, so that a reused entry keeps its buffer.
  out->key.assign(KindPrefix(table, key.number));
  AppendKeyValue(key, record, oem, &out->key);
  if (key.duplicates()) {
    out->key += Id4(number);
    out->data.clear();
  } else {
    out->data = Id4(number);
  }
  return true;
}

std::optional<std::string_view> KeyEntryValue(const KeyLayout& key, std::string_view key_part) {
  const size_t prefix = 5;  // table id and key number (KindPrefix)
  const size_t value = key.ValueSize();
  if (key_part.size() != prefix + value + (key.duplicates() ? 4 : 0)) return std::nullopt;
  return key_part.substr(prefix, value);
}

uint32_t KeyEntryRecord(const KeyLayout& key, std::string_view key_part, std::string_view data) {
  if (key.duplicates()) {
    return key_part.size() >= 4 ? ReadId4(key_part.substr(key_part.size() - 4)) : 0;
  }
  return ReadId4(data);
}

}  // namespace vorsandt::qvf
