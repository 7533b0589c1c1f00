#include "storage/qvf/table/qvf_table_commands.h"

#include <cstdio>
#include <map>
#include <set>

#include "runtime/format/charset.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/internal_error.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/directory.h"
#include "storage/qvf/table/entry_key.h"
#include "storage/qvf/table/key_encoding.h"
#include "storage/qvf/table/table_name.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {
namespace {

std::string Format(const char* fmt, auto... args) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

std::string Text(const OptText& t) { return t ? "\"" + *t + "\"" : "(none)"; }

bool StartsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(0, p.size()) == p;
}

[[nodiscard]] int ReadStream(EntryStore* store, uint32_t id, std::string* stream) {
  for (uint32_t b = 0; b <= 0xFFFF; ++b) {
    std::optional<StoredEntry> e;
    if (int rc = store->Find(Search::kExact, DefinitionKey(id, static_cast<uint16_t>(b)), &e);
        rc != 0) {
      return rc;
    }
    if (!e) break;
    *stream += e->data;
  }
  return 0;
}

[[nodiscard]] int OpenReadOnly(env::Env* env, const std::string& path, std::unique_ptr<TreeEntryStore>* out,
                 std::string* why) {
  auto store = std::make_unique<TreeEntryStore>(env);
  int rc = store->Open(env, path, false, Container::kReadOnly);
  if (rc != 0) {
    *why = Format("cannot be opened (error %d)", rc);
    return 2;
  }
  *out = std::move(store);
  return 0;
}

// While a command runs, a broken structure is recorded instead of stopping
// the tool; the failing operation then returns 36.
class RecordInternalErrors {
 public:
  RecordInternalErrors()
      : previous_(SetInternalErrorHandler([this](int check) {
          if (check_ == 0) check_ = check;
        })) {}
  ~RecordInternalErrors() { SetInternalErrorHandler(previous_); }
  int check() const { return check_; }

 private:
  int check_ = 0;
  InternalErrorHandler previous_;
};

}  // namespace

int ListTablesCommand(env::Env* env, const std::string& path, std::string* out) {
  RecordInternalErrors guard;
  std::unique_ptr<TreeEntryStore> store;
  std::string why;
  if (OpenReadOnly(env, path, &store, &why) != 0) {
    *out = path + ": " + why + "\n";
    return 2;
  }
  std::vector<DirectoryItem> dir;
  if (ListTables(store.get(), &dir) != 0) {
    *out = path + ": the table directory cannot be read\n";
    return 2;
  }
  for (const DirectoryItem& d : dir) {
    Counter c;
    std::optional<StoredEntry> e;
    std::string count = "?";
    if (store->Find(Search::kExact, CounterKey(d.id, kTableCounter), &e) == 0 && e &&
        DecodeCounter(e->data, &c)) {
      count = std::to_string(c.count);
    }
    *out += Format("%-32s id %08X  records %s\n", d.name.c_str(), d.id, count.c_str());
  }
  return 0;
}

int CheckStoredTable(env::Env* env, const std::string& path, const std::string& table,
                     const TableDefinition& declared, std::string* why) {
  RecordInternalErrors guard;
  std::unique_ptr<TreeEntryStore> store;
  if (OpenReadOnly(env, path, &store, why) != 0) return 2;
  std::optional<StoredEntry> dir;
  if (store->Find(Search::kExact, DirectoryKey(table), &dir) != 0) {
    *why = "its table directory cannot be read";
    return 2;
  }
  if (!dir || dir->data.size() != 4) {
    *why = "it holds no table " + table;
    return 1;
  }
  std::string stream;
  if (ReadStream(store.get(), ReadId4(dir->data), &stream) != 0 || guard.check() != 0) {
    *why = "its stored definition cannot be read";
    return 2;
  }
  if (CompareDefinition(stream, declared) == kDefinitionStructureDiffers) {
    TableDefinition stored;
    DecodeDefinition(stream, &stored);
    *why = Format(
        "its stored definition is not this table's (%zu fields, records of %u bytes; "
        "%zu fields, records of %u bytes expected)",
        stored.fields.size(), stored.record_length, declared.fields.size(), declared.record_length);
    return 1;
  }
  return 0;
}

int DefinitionCommand(env::Env* env, const std::string& name, std::string* out) {
  RecordInternalErrors guard;
  TableName split;
  if (SplitTableName(name, &split) != 0) {
    *out = name + ": invalid name\n";
    return 2;
  }
  std::unique_ptr<TreeEntryStore> store;
  std::string why;
  if (OpenReadOnly(env, split.file, &store, &why) != 0) {
    *out = split.file + ": " + why + "\n";
    return 2;
  }
  std::optional<StoredEntry> dir;
  if (store->Find(Search::kExact, DirectoryKey(split.table), &dir) != 0 || !dir) {
    *out = split.file + ": no table " + split.table + "\n";
    return 2;
  }
  uint32_t id = ReadId4(dir->data);
  std::string stream;
  TableDefinition def;
  if (ReadStream(store.get(), id, &stream) != 0 || !DecodeDefinition(stream, &def)) {
    *out = split.file + "!" + split.table + ": the stored definition cannot be read\n";
    return 2;
  }
  *out += Format("table %s  id %08X  version %u  record length %u\n", split.table.c_str(), id,
                 def.version, def.record_length);
  *out += Format("fields %zu\n", def.fields.size());
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const StoredField& f = def.fields[i];
    *out += Format("  %3zu %-32s type %2u offset %5u size %5u elements %u", i, Text(f.name).c_str(),
                   f.type, f.offset, f.size, f.elements);
    if (f.type == 10 || f.type == 11) *out += Format(" digits %u places %u", f.digits, f.places);
    if (f.type == 18 || f.type == 19 || f.type == 20) {
      *out += Format(" length %u picture %s", f.string_length, Text(f.picture).c_str());
    }
    if (f.attribute1 || f.attribute2)
      *out += Format(" attributes %u %u", f.attribute1, f.attribute2);
    *out += "\n";
  }
  *out += Format("memos %zu\n", def.memos.size());
  for (const StoredMemo& m : def.memos) {
    *out += Format("  %-32s external %s size %u%s%s\n", Text(m.name).c_str(),
                   Text(m.external_name).c_str(), m.size, (m.flags & kMemoBinary) ? " binary" : "",
                   (m.flags & kMemoBlob) ? " blob" : "");
  }
  *out += Format("keys %zu\n", def.keys.size());
  for (size_t k = 0; k < def.keys.size(); ++k) {
    const StoredKey& key = def.keys[k];
    *out += Format("  %3zu %-32s attributes %02X:", k, Text(key.name).c_str(), key.attributes);
    for (const StoredComponent& c : key.components) {
      std::string field = "#";
      if (c.field < def.fields.size() && def.fields[c.field].name) {
        field = *def.fields[c.field].name;
      } else {
        field += std::to_string(c.field);
      }
      *out += " " + field + ((c.flags & kComponentDescending) ? " (descending)" : "");
    }
    *out += "\n";
  }
  return 0;
}

namespace {

// The faults of one table, each said with the table's name.
struct TableFaults {
  std::vector<std::string>* out;
  const std::string& table;
  void operator()(const std::string& what) const { out->push_back("table " + table + ": " + what); }
};

// What one walk over a table's entries finds, by kind.
struct TableEntries {
  std::map<uint32_t, std::string> records;
  std::vector<std::map<std::string, std::string>> key_entries;
  std::map<uint8_t, Counter> counters;
  std::map<std::pair<uint32_t, uint8_t>, std::vector<uint16_t>> chunks;
};

// One walk over the table's entries.
void WalkTableEntries(EntryStore* store, uint32_t id, const TableDefinition& def, size_t key_count,
                      const TableFaults& fault, TableEntries* out) {
  out->key_entries.resize(key_count);
  std::string prefix = Id4(id);
  std::string at = prefix;
  for (;;) {
    std::optional<StoredEntry> e;
    if (store->Find(Search::kNextAfter, at, &e) != 0) {
      fault("its entries cannot be read");
      break;
    }
    if (!e || !StartsWith(e->key, prefix)) break;
    at = e->key;
    EntryKeyInfo info = DecodeEntryKey(e->key);
    switch (info.kind) {
      case EntryKind::kKey:
        if (info.which >= key_count) {
          fault(Format("entry of key %u, which the definition does not have", info.which));
        } else {
          out->key_entries[info.which][e->key] = e->data;
        }
        break;
      case EntryKind::kData:
        if (e->data.size() != def.record_length) {
          fault(Format("record %u is %zu bytes, not %u", info.record, e->data.size(),
                       def.record_length));
        }
        out->records[info.record] = e->data;
        break;
      case EntryKind::kCounter: {
        Counter c;
        if (!DecodeCounter(e->data, &c)) {
          fault(Format("counter %02X has %zu bytes", info.which, e->data.size()));
        }
        out->counters[info.which] = c;
        break;
      }
      case EntryKind::kDefinition:
        break;
      case EntryKind::kChunk:
        out->chunks[{info.record, info.field}].push_back(info.block);
        break;
      default:
        fault("an entry of unknown kind");
        break;
    }
  }
}

// The record image whose keys are encoded: keys are encoded from the buffer
// form (ANSI) of the text.
std::string KeyedImage(const TableDefinition& def, const std::string& image, bool oem) {
  std::string buffer = image;
  if (!oem) return buffer;
  for (const StoredField& f : def.fields) {
    if (f.type != 18 && f.type != 19 && f.type != 20) continue;
    for (size_t i = f.offset + (f.type == 20); i < size_t{f.offset} + f.size; ++i) {
      auto b = static_cast<unsigned char>(buffer[i]);
      if (b >= 0x80) buffer[i] = static_cast<char>(format::OemToAnsi(b));
    }
  }
  return buffer;
}

// One key: its counter, and its entries against the entries its records
// make.
void CheckKey(uint32_t id, const TableDefinition& def, const std::vector<KeyLayout>& keys,
              const KeyLayout& key, const TableEntries& entries, bool oem,
              const TableFaults& fault) {
  auto counter = entries.counters.find(key.number);
  Counter c = counter == entries.counters.end() ? Counter() : counter->second;
  if (counter == entries.counters.end()) fault(Format("key %u has no counter", key.number));
  if (key.separate()) return;  // kept in another container
  const auto& actual = entries.key_entries[key.number];
  if (counter != entries.counters.end() && c.count != actual.size()) {
    fault(Format("key %u counter says %u, the key holds %zu", key.number, c.count, actual.size()));
  }
  // Text keys built under case or collation rules this program does not
  // have in force cannot be encoded again here to compare.
  if (KeyEncodesText(key) && def.key_rules != KeyTextRules(keys, oem)) return;
  std::set<std::string> expected;
  for (const auto& [number, image] : entries.records) {
    if (image.size() != def.record_length) continue;
    // Records from the mark on may still be missing from a partly built key.
    bool covered = c.mark == 0 || number < c.mark;
    std::string buffer = KeyedImage(def, image, oem);
    KeyEntry entry;
    if (!MakeKeyEntry(id, key, reinterpret_cast<const uint8_t*>(buffer.data()), number, oem,
                      &entry)) {
      continue;
    }
    auto it = actual.find(entry.key);
    if (it == actual.end()) {
      if (covered) fault(Format("key %u has no entry for record %u", key.number, number));
    } else if (it->second != entry.data) {
      fault(Format("key %u entry of record %u names record %u", key.number, number,
                   KeyEntryRecord(key, it->first, it->second)));
    }
    expected.insert(entry.key);
  }
  for (const auto& [k, data] : actual) {
    if (expected.count(k)) continue;
    uint32_t number = KeyEntryRecord(key, k, data);
    if (entries.records.count(number)) {
      fault(Format("key %u entry of record %u does not match the record's values", key.number,
                   number));
    } else {
      fault(Format("key %u entry names record %u, which does not exist", key.number, number));
    }
  }
}

// Memo chunks: of records that exist, of memo fields the definition has,
// numbered without gaps.
void CheckChunks(const TableDefinition& def, const TableEntries& entries,
                 const TableFaults& fault) {
  for (const auto& [where, numbers] : entries.chunks) {
    if (!entries.records.count(where.first)) {
      fault(Format("memo chunks of record %u, which does not exist", where.first));
    }
    if (where.second >= def.memos.size()) {
      fault(Format("memo chunks of field %u, which the definition does not have", where.second));
    }
    for (size_t j = 0; j < numbers.size(); ++j) {
      if (numbers[j] != j) {
        fault(Format("memo %u of record %u lacks chunk %zu", where.second, where.first, j));
        break;
      }
    }
  }
}

// One table's entries against its stored definition.
void CheckTable(EntryStore* store, const DirectoryItem& d, bool oem,
                std::vector<std::string>* faults) {
  const TableFaults fault{faults, d.name};
  std::string stream;
  TableDefinition def;
  std::vector<KeyLayout> keys;
  if (ReadStream(store, d.id, &stream) != 0 || !DecodeDefinition(stream, &def) ||
      !KeyLayouts(def, &keys)) {
    fault("the stored definition cannot be read");
    return;
  }
  TableEntries entries;
  WalkTableEntries(store, d.id, def, keys.size(), fault, &entries);
  auto table_counter = entries.counters.find(kTableCounter);
  if (table_counter == entries.counters.end()) {
    fault("no record counter");
  } else if (table_counter->second.count != entries.records.size()) {
    fault(Format("record counter says %u, the table holds %zu", table_counter->second.count,
                 entries.records.size()));
  }
  for (const KeyLayout& key : keys) CheckKey(d.id, def, keys, key, entries, oem, fault);
  CheckChunks(def, entries, fault);
}

// Entries of tables the directory does not name: one step per table id.
void CheckUnnamedEntries(EntryStore* store, const std::set<uint32_t>& known,
                         std::vector<std::string>* faults) {
  std::string at;
  for (;;) {
    std::optional<StoredEntry> e;
    if (store->Find(Search::kNextAfter, at, &e) != 0 || !e) break;
    if (static_cast<uint8_t>(e->key[0]) >= kEntryDirectory) break;
    // A damaged tree can answer with an entry at or before the last one;
    // stepping on from there would never end.
    if (!at.empty() && e->key <= at) {
      faults->push_back("entries out of order: the walk over table ids stepped backwards");
      break;
    }
    at = e->key;
    if (e->key.size() < 4) {
      faults->push_back("an entry too short to name its table");
      continue;
    }
    uint32_t id = ReadId4(e->key);
    if (!known.count(id)) {
      faults->push_back(Format("entries of table id %08X, which the directory does not name", id));
    }
    // The last entry of this id; ids never reach 0xFE000000, so id + 1 fits.
    std::optional<StoredEntry> last;
    if (store->Find(Search::kPreviousBefore, Id4(id + 1), &last) != 0 || !last) break;
    if (last->key < at) {
      faults->push_back("entries out of order: the walk over table ids stepped backwards");
      break;
    }
    at = last->key;
  }
}

}  // namespace

void CheckTableEntries(EntryStore* store, std::vector<std::string>* faults, bool oem) {
  std::vector<DirectoryItem> dir;
  if (ListTables(store, &dir) != 0) {
    faults->push_back("the table directory cannot be read");
    return;
  }
  std::set<uint32_t> known;
  for (const DirectoryItem& d : dir) {
    if (!known.insert(d.id).second) {
      faults->push_back(Format("table %s: id %08X is used twice", d.name.c_str(), d.id));
    }
  }
  for (const DirectoryItem& d : dir) CheckTable(store, d, oem, faults);
  CheckUnnamedEntries(store, known, faults);
}

int CheckTablesCommand(env::Env* env, const std::string& path, std::vector<std::string>* faults) {
  RecordInternalErrors guard;
  std::unique_ptr<TreeEntryStore> store;
  std::string why;
  if (OpenReadOnly(env, path, &store, &why) != 0) {
    faults->assign(1, why);
    return 2;
  }
  CheckTableEntries(store.get(), faults);
  if (guard.check() != 0) faults->push_back(InternalErrorText(guard.check()));
  return faults->empty() ? 0 : 1;
}

int FullCheckCommand(env::Env* env, const std::string& path, std::vector<std::string>* faults) {
  faults->clear();
  if (!CheckFile(env, path, faults)) {
    if (faults->empty()) faults->push_back("cannot be read");
    faults->resize(1);
    return 2;
  }
  // The tables are read through the tree, which needs sound pages.
  if (!faults->empty()) return 1;
  int rc = CheckTablesCommand(env, path, faults);
  return rc;
}

int RunTableCommand(env::Env* env, std::string_view command, const std::string& arg,
                    std::string* out, std::string* err) {
  if (command == "tables") {
    std::string text;
    int rc = ListTablesCommand(env, arg, &text);
    *(rc == 0 ? out : err) += rc == 0 ? text : "qvf: " + text;
    return rc;
  }
  if (command == "definition") {
    std::string text;
    int rc = DefinitionCommand(env, arg, &text);
    *(rc == 0 ? out : err) += rc == 0 ? text : "qvf: " + text;
    return rc;
  }
  if (command == "check") {
    std::vector<std::string> faults;
    int rc = FullCheckCommand(env, arg, &faults);
    // The tool's own form: faults on stdout, an unreadable file on stderr.
    for (const std::string& f : faults) {
      *(rc == 2 ? err : out) += (rc == 2 ? "qvf: " : "") + arg + ": " + f + "\n";
    }
    return rc;
  }
  return -1;
}

}  // namespace vorsandt::qvf
