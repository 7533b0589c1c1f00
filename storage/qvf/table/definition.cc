#include "storage/qvf/table/definition.h"

#include <cstdlib>

#include "runtime/files/error_codes.h"
#include "runtime/files/file_decl.h"
#include "runtime/files/layout.h"
#include "storage/qvf/table/entry_key.h"

namespace vorsandt::qvf {
namespace {

bool HasDecimalItems(uint8_t type) { return type == 10 || type == 11; }
bool HasStringItems(uint8_t type) { return type == 18 || type == 19 || type == 20; }
// The word that announces the keys' text rules after the keys.
constexpr uint16_t kKeyRulesItem = 1;

class Writer {
 public:
  void Byte(uint8_t b) { out_.push_back(static_cast<char>(b)); }
  void Word(uint16_t w) {
    Byte(static_cast<uint8_t>(w));
    Byte(static_cast<uint8_t>(w >> 8));
  }
  void Text(const OptText& s) {
    if (!s) {
      Byte(0);
      Byte(1);
    } else if (s->empty()) {
      Byte(0);
      Byte(0);
    } else {
      out_ += *s;
      Byte(0);
    }
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// Reads items; past the end every byte is 0, so a truncated stream reads as
// zero counts and empty strings and the loops below always end.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  uint8_t Byte() { return pos_ < in_.size() ? static_cast<uint8_t>(in_[pos_++]) : (pos_++, 0); }
  uint16_t Word() {
    uint16_t lo = Byte();
    return static_cast<uint16_t>(lo | (Byte() << 8));
  }
  OptText Text() {
    std::string s;
    for (uint8_t b = Byte(); b != 0; b = Byte()) s.push_back(static_cast<char>(b));
    if (!s.empty()) return s;
    // An empty text is 00 00 and an absent one 00 01.
    return Byte() == 1 ? OptText() : OptText(std::string());
  }

 private:
  std::string_view in_;
  size_t pos_ = 0;
};

void ReadField(Reader& r, StoredField* f) {
  f->type = r.Byte();
  f->offset = r.Word();
  f->name = r.Text();
  f->elements = r.Word();
  f->size = r.Word();
  f->attribute1 = r.Word();
  f->attribute2 = r.Word();
  if (HasDecimalItems(f->type)) {
    f->digits = r.Byte();
    f->places = r.Byte();
  }
  if (HasStringItems(f->type)) {
    f->string_length = r.Word();
    f->picture = r.Text();
  }
}

}  // namespace

void TableDefinition::SetVersion() {
  version = 1;
  for (const StoredMemo& m : memos) {
    if (m.flags & kMemoBlob) version = 2;
  }
}

int DefinitionFromDeclaration(const files::FileRecord& decl, TableDefinition* out) {
  *out = TableDefinition();
  std::vector<files::FieldInfo> fields;
  if (int rc = files::ParseLayout({decl.layout, decl.layout_size}, &fields); rc != 0) return rc;
  if (decl.record_length > 0xFFFF || fields.size() > 0xFFFF || decl.key_count > kMaxKeys) {
    return files::kInvalidRecordDeclaration;
  }
  out->record_length = static_cast<uint16_t>(decl.record_length);
  for (const files::FieldInfo& fi : fields) {
    if (fi.offset > 0xFFFF || fi.size > 0xFFFF || fi.element_count > 0xFFFF ||
        fi.offset + fi.size > decl.record_length) {
      return files::kInvalidRecordDeclaration;
    }
    StoredField f;
    f.type = fi.type;
    f.offset = static_cast<uint16_t>(fi.offset);
    f.name = fi.name;
    f.elements = static_cast<uint16_t>(fi.element_count);
    f.size = static_cast<uint16_t>(fi.size);
    uint32_t element_size = fi.element_count ? fi.size / fi.element_count : fi.size;
    if (HasDecimalItems(fi.type)) {
      // A packed decimal of n bytes holds 2n-1 digits.
      f.digits = static_cast<uint8_t>(element_size * 2 - 1);
      f.places = fi.decimals;
    }
    if (HasStringItems(fi.type)) {
      f.string_length = static_cast<uint16_t>(element_size);
      f.picture = fi.picture;
    }
    out->fields.push_back(std::move(f));
  }
  for (int i = 0; i < decl.memo_count; ++i) {
    const files::MemoDecl* md = decl.memos[i];
    if (md->max_size > 0xFFFF && !(md->flags & kMemoBlob)) return files::kInvalidRecordDeclaration;
    StoredMemo m;
    m.name = std::string(md->name, md->name_length >= 0 ? md->name_length : 0);
    m.size = static_cast<uint16_t>(md->max_size > 0xFFFF ? 0xFFFF : md->max_size);
    m.flags = static_cast<uint16_t>(md->flags);
    out->memos.push_back(std::move(m));
  }
  for (int i = 0; i < decl.key_count; ++i) {
    const files::KeyDecl* kd = decl.keys[i];
    StoredKey k;
    k.name = std::string(kd->name, kd->name_length >= 0 ? kd->name_length : 0);
    k.attributes = static_cast<uint8_t>(kd->flags);
    for (int c = 0; c < kd->component_count; ++c) {
      int32_t n = kd->components[c];
      int64_t index = std::llabs(static_cast<int64_t>(n)) - 1;
      if (n == 0 || index >= static_cast<int64_t>(out->fields.size())) {
        return files::kInvalidRecordDeclaration;
      }
      k.components.push_back(
          {static_cast<uint16_t>(index), static_cast<uint16_t>(n < 0 ? kComponentDescending : 0)});
    }
    out->keys.push_back(std::move(k));
  }
  out->SetVersion();
  return 0;
}

std::string EncodeDefinition(const TableDefinition& def) {
  Writer w;
  w.Word(def.version);
  w.Word(def.record_length);
  w.Word(static_cast<uint16_t>(def.fields.size()));
  w.Word(static_cast<uint16_t>(def.memos.size()));
  w.Word(static_cast<uint16_t>(def.keys.size()));
  for (const StoredField& f : def.fields) {
    w.Byte(f.type);
    w.Word(f.offset);
    w.Text(f.name);
    w.Word(f.elements);
    w.Word(f.size);
    w.Word(f.attribute1);
    w.Word(f.attribute2);
    if (HasDecimalItems(f.type)) {
      w.Byte(f.digits);
      w.Byte(f.places);
    }
    if (HasStringItems(f.type)) {
      w.Word(f.string_length);
      w.Text(f.picture);
    }
  }
  for (const StoredMemo& m : def.memos) {
    w.Text(m.external_name);
    w.Text(m.name);
    w.Word(m.size);
    w.Word(m.flags);
  }
  for (const StoredKey& k : def.keys) {
    w.Text(k.external_name);
    w.Text(k.name);
    w.Byte(k.attributes);
    w.Word(static_cast<uint16_t>(k.components.size()));
    for (const StoredComponent& c : k.components) {
      w.Word(c.field);
      w.Word(c.flags);
    }
  }
  if (def.key_rules != 0) {
    w.Word(kKeyRulesItem);
    for (int i = 0; i < 4; ++i) w.Word(static_cast<uint16_t>(def.key_rules >> (16 * i)));
  }
  return w.Take();
}

bool DecodeDefinition(std::string_view stream, TableDefinition* out) {
  *out = TableDefinition();
  Reader r(stream);
  out->version = r.Word();
  if (out->version == 0 || out->version > kMaxDefinitionVersion) return false;
  out->record_length = r.Word();
  uint16_t field_count = r.Word();
  uint16_t memo_count = r.Word();
  uint16_t key_count = r.Word();
  out->fields.resize(field_count);
  for (StoredField& f : out->fields) ReadField(r, &f);
  out->memos.resize(memo_count);
  for (StoredMemo& m : out->memos) {
    m.external_name = r.Text();
    m.name = r.Text();
    m.size = r.Word();
    m.flags = r.Word();
  }
  out->keys.resize(key_count);
  for (StoredKey& k : out->keys) {
    k.external_name = r.Text();
    k.name = r.Text();
    k.attributes = r.Byte();
    k.components.resize(r.Word());
    for (StoredComponent& c : k.components) {
      c.field = r.Word();
      c.flags = r.Word();
    }
  }
  if (r.Word() == kKeyRulesItem) {
    for (int i = 0; i < 4; ++i) out->key_rules |= static_cast<uint64_t>(r.Word()) << (16 * i);
  }
  return true;
}

int CompareDefinition(std::string_view stored, const TableDefinition& d) {
  TableDefinition s;
  if (!DecodeDefinition(stored, &s)) return kDefinitionStructureDiffers;
  if (s.version != d.version || s.record_length != d.record_length ||
      s.fields.size() != d.fields.size() || s.memos.size() != d.memos.size() ||
      s.keys.size() != d.keys.size()) {
    return kDefinitionStructureDiffers;
  }
  bool names_differ = false;
  for (size_t i = 0; i < s.fields.size(); ++i) {
    const StoredField& a = s.fields[i];
    const StoredField& b = d.fields[i];
    if (a.type != b.type || a.offset != b.offset || a.elements != b.elements || a.size != b.size ||
        a.attribute1 != b.attribute1 || a.attribute2 != b.attribute2 || a.digits != b.digits ||
        a.places != b.places || a.string_length != b.string_length) {
      return kDefinitionStructureDiffers;
    }
    if (a.name != b.name || a.picture != b.picture) names_differ = true;
  }
  for (size_t i = 0; i < s.memos.size(); ++i) {
    const StoredMemo& a = s.memos[i];
    const StoredMemo& b = d.memos[i];
    if (a.external_name != b.external_name || a.name != b.name || a.size != b.size ||
        a.flags != b.flags) {
      names_differ = true;
    }
  }
  for (size_t i = 0; i < s.keys.size(); ++i) {
    const StoredKey& a = s.keys[i];
    const StoredKey& b = d.keys[i];
    if (a.attributes != b.attributes || a.components.size() != b.components.size()) {
      return kDefinitionStructureDiffers;
    }
    for (size_t c = 0; c < a.components.size(); ++c) {
      if (a.components[c].field != b.components[c].field ||
          a.components[c].flags != b.components[c].flags) {
        return kDefinitionStructureDiffers;
      }
    }
    if (a.external_name != b.external_name || a.name != b.name) names_differ = true;
  }
  return names_differ ? kDefinitionNamesDiffer : kDefinitionSame;
}

std::vector<std::string> DefinitionBlocks(std::string_view stream) {
  std::vector<std::string> blocks;
  for (size_t at = 0; at < stream.size(); at += kDefinitionBlockSize) {
    blocks.emplace_back(stream.substr(at, kDefinitionBlockSize));
  }
  return blocks;
}

}  // namespace vorsandt::qvf
