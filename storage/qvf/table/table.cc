#include "storage/qvf/table/table.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "runtime/files/error_codes.h"
#include "runtime/format/charset.h"

namespace vorsandt::qvf {
namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// Converts the text fields of an image between the sets. Only text fields
// are converted: the two sets do not map one to one, so numbers and packed
// decimals would not survive the round trip.
void ConvertText(const TableDefinition& def, std::string* image, bool to_oem) {
  for (const StoredField& f : def.fields) {
    if (f.type != 18 && f.type != 19 && f.type != 20) continue;
    size_t begin = f.offset + (f.type == 20 ? 1 : 0);
    size_t end = std::min<size_t>(static_cast<size_t>(f.offset) + f.size, image->size());
    for (size_t i = begin; i < end; ++i) {
      auto b = static_cast<unsigned char>((*image)[i]);
      if (b < 0x80) continue;  // both sets agree below 128
      (*image)[i] = static_cast<char>(to_oem ? format::AnsiToOem(b) : format::OemToAnsi(b));
    }
  }
}

}  // namespace

Table::Table(FileRegistry* registry, SharedFile* file, TableName name, const TableDefinition& def,
             TableOptions options)
    : registry_(registry), file_(file), name_(std::move(name)), def_(def), options_(options) {}

// Owners close their tables when the status matters (the driver, the tools);
// a table dropped without Close has had its failure reported already.
Table::~Table() { (void)Close(); }

int Table::Close() {
  if (file_ == nullptr) return 0;
  ReleaseHeld();
  SharedFile* file = file_;
  file_ = nullptr;
  return registry_->Release(file);
}

void Table::ReleaseHeld() {
  if (held_ != 0 && locks_.unlock) locks_.unlock(held_);
  held_ = 0;
}

int Table::Open(FileRegistry* registry, std::string_view name, const TableDefinition& def,
                bool create, TableOptions options, std::unique_ptr<Table>* out) {
  out->reset();
  TableName split;
  if (int rc = SplitTableName(name, &split); rc != 0) return rc;
  std::vector<KeyLayout> keys;
  // Memo chunks carry the field index in one byte.
  if (def.keys.size() > kMaxKeys || def.memos.size() > 256 || !KeyLayouts(def, &keys)) {
    return files::kInvalidRecordDeclaration;
  }
  SharedFile* file = nullptr;
  if (int rc = registry->Acquire(split.file, create, &file); rc != 0) return rc;
  std::unique_ptr<Table> table(new Table(registry, file, std::move(split), def, options));
  table->keys_ = std::move(keys);
  table->packed_ = PackedSpansOf(def);
  EntryStore& store = file->store();

  std::optional<StoredEntry> dir;
  std::string dir_key = DirectoryKey(table->name_.table);
  if (int rc = store.Find(Search::kExact, dir_key, &dir); rc != 0) return rc;
  if (dir && (dir->data.size() != 4 || ReadId4(dir->data) == 0)) return files::kInvalidDataFile;
  if (dir && create && !options.keep_existing) {
    // Creating replaces: the old table and everything in it goes.
    table->id_ = ReadId4(dir->data);
    if (int rc = store.Delete(dir_key); rc != 0) return rc;
    if (int rc = table->RemoveAllEntries(); rc != 0) return rc;
    dir.reset();
  }
  if (!dir) {
    if (!create) return files::kFileNotFound;
    if (int rc = table->CreateFresh(); rc != 0) return rc;
  } else {
    table->id_ = ReadId4(dir->data);
    if (int rc = table->VerifyDefinition(); rc != 0) return rc;
    table->keys_foreign_ = table->def_.key_rules != KeyTextRules(table->keys_, table->options_.oem);
  }
  *out = std::move(table);
  return 0;
}

int Table::CreateFresh() {
  EntryStore& store = file_->store();
  if (int rc = store.NextIdentifier(&id_); rc != 0) return rc;
  if (int rc = store.Insert(DirectoryKey(name_.table), Id4(id_)); rc != 0) return rc;
  def_.key_rules = KeyTextRules(keys_, options_.oem);
  if (int rc = WriteDefinition(); rc != 0) return rc;
  return WriteFreshCounters();
}

int Table::WriteDefinition() {
  std::vector<std::string> blocks = DefinitionBlocks(EncodeDefinition(def_));
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (int rc = store().Put(DefinitionKey(id_, static_cast<uint16_t>(i)), blocks[i]); rc != 0) {
      return rc;
    }
  }
  // A stream that became shorter leaves no block of the old one behind.
  for (size_t i = blocks.size(); i <= 0xFFFF; ++i) {
    const std::string key = DefinitionKey(id_, static_cast<uint16_t>(i));
    std::optional<StoredEntry> e;
    if (int rc = store().Find(Search::kExact, key, &e); rc != 0) return rc;
    if (!e) break;
    if (int rc = store().Delete(key); rc != 0) return rc;
  }
  return 0;
}

int Table::RecordKeyRules() {
  def_.key_rules = KeyTextRules(keys_, options_.oem);
  if (int rc = WriteDefinition(); rc != 0) return rc;
  keys_foreign_ = false;
  rebuilt_.clear();
  return 0;
}

int Table::WriteFreshCounters() {
  if (int rc = WriteCounter(kTableCounter, {}); rc != 0) return rc;
  for (size_t k = 0; k < keys_.size(); ++k) {
    if (int rc = WriteCounter(static_cast<uint8_t>(k), {}); rc != 0) return rc;
  }
  return 0;
}

int Table::VerifyDefinition() {
  std::string stream;
  // Block numbers are a word; a definition never needs them all.
  for (uint32_t block = 0; block <= 0xFFFF; ++block) {
    std::optional<StoredEntry> e;
    if (int rc = store().Find(Search::kExact, DefinitionKey(id_, static_cast<uint16_t>(block)), &e);
        rc != 0) {
      return rc;
    }
    if (!e) break;
    stream += e->data;
  }
  if (CompareDefinition(stream, def_) == kDefinitionStructureDiffers) {
    return files::kInvalidRecordDeclaration;
  }
  TableDefinition stored;
  DecodeDefinition(stream, &stored);
  def_.key_rules = stored.key_rules;
  return 0;
}

int Table::RemoveAllEntries() {
  // From the last entry below the next table id backwards, while entries
  // still belong to this table.
  std::string table_prefix = Id4(id_);
  std::string bound = Id4(id_ + 1);
  for (;;) {
    std::optional<StoredEntry> e;
    if (int rc = store().Find(Search::kPreviousBefore, bound, &e); rc != 0) return rc;
    if (!e || !StartsWith(e->key, table_prefix)) return 0;
    if (int rc = store().Delete(e->key); rc != 0) return rc;
    bound = e->key;
  }
}

int Table::ReadCounter(uint8_t which, Counter* out) {
  std::optional<StoredEntry> e;
  if (int rc = store().Find(Search::kExact, CounterKey(id_, which), &e); rc != 0) return rc;
  if (!e || !DecodeCounter(e->data, out)) return files::kAccessDenied;
  return 0;
}

int Table::WriteCounter(uint8_t which, const Counter& c) {
  return store().Put(CounterKey(id_, which), EncodeCounter(c));
}

int Table::AddToCounts(std::vector<std::pair<uint8_t, int>> deltas) {
  if (deltas.empty()) return 0;
  // Counter entries sort by their selector, the table's own count last: in
  // this order the tree changes neighbours without a new search.
  std::sort(deltas.begin(), deltas.end());
  std::vector<std::string> keys;
  keys.reserve(deltas.size());
  for (const auto& [which, delta] : deltas) keys.push_back(CounterKey(id_, which));
  bool found[kMaxKeys + 1];
  bool decoded[kMaxKeys + 1] = {};
  const int rc = store().ChangeEach(
      keys,
      [&](size_t i, std::string* data) {
        Counter c;
        if (!DecodeCounter(*data, &c)) return false;
        decoded[i] = true;
        c.count = static_cast<uint32_t>(static_cast<int64_t>(c.count) + deltas[i].second);
        *data = EncodeCounter(c);
        return true;
      },
      found);
  if (rc != 0) return rc;
  // A key without its counter still works; the table's count is mandatory.
  if (deltas.back().first == kTableCounter &&
      !(found[keys.size() - 1] && decoded[keys.size() - 1])) {
    return files::kAccessDenied;
  }
  return 0;
}

std::string Table::ToStored(const uint8_t* record) const {
  std::string image(reinterpret_cast<const char*>(record), def_.record_length);
  if (options_.oem) ConvertText(def_, &image, true);
  return image;
}

void Table::FromStored(std::string_view stored, uint8_t* record) const {
  if (!options_.oem) {
    std::memcpy(record, stored.data(), stored.size());
    return;
  }
  std::string image(stored);
  ConvertText(def_, &image, false);
  std::memcpy(record, image.data(), image.size());
}

bool Table::KeyEntryFor(int k, const uint8_t* record, uint32_t number, KeyEntry* out) const {
  return MakeKeyEntry(id_, keys_[k], record, number, options_.oem, out);
}

namespace {
bool SameKeyFields(const KeyLayout& key, const uint8_t* a, const uint8_t* b) {
  for (const KeyComponentLayout& c : key.components) {
    if (std::memcmp(a + c.offset, b + c.offset, c.size) != 0) return false;
  }
  return true;
}
}  // namespace

int Table::MaintainKeys(uint32_t number, const uint8_t* old_image, const uint8_t* new_image,
                        bool append, int table_delta) {
  struct Step {
    std::optional<KeyEntry> removed;
    std::optional<KeyEntry> inserted;
  };
  std::vector<Step> done;
  done.reserve(keys_.size());
  std::vector<std::pair<uint8_t, int>> deltas;
  deltas.reserve(keys_.size() + 1);
  if (table_delta != 0) deltas.emplace_back(kTableCounter, table_delta);
  // Restores the keys changed so far, newest first (the counters change only
  // after every key has). Errors while restoring are not reported: the first
  // failure is, and the caller discards.
  auto undo = [&]() {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      if (it->inserted) store().Delete(it->inserted->key);
      if (it->removed) store().Insert(it->removed->key, it->removed->data);
    }
  };
  for (const KeyLayout& key : keys_) {
    if (key.separate()) continue;
    if (key.partial() || append) {
      Counter c;
      if (ReadCounter(key.number, &c) == 0 && c.mark != 0 && number >= c.mark) continue;
    }
    // A key whose fields did not change keeps its entry; comparing the
    // fields is cheaper than encoding both entries to find that out.
    if (old_image != nullptr && new_image != nullptr && SameKeyFields(key, old_image, new_image)) {
      continue;
    }
    Step step;
    KeyEntry entry;
    if (old_image && KeyEntryFor(key.number, old_image, number, &entry)) {
      step.removed = std::move(entry);
    }
    if (new_image && KeyEntryFor(key.number, new_image, number, &entry)) {
      step.inserted = std::move(entry);
    }
    if (step.removed && step.inserted && step.removed->key == step.inserted->key) continue;
    int rc = 0;
    if (step.removed) rc = store().Delete(step.removed->key);
    if (rc == 0 && step.inserted) {
      // One search finds the place and refuses a duplicate: our own old
      // entry with the same key part was handled above, so an entry found
      // there belongs to another record.
      rc = store().InsertUnique(step.inserted->key, step.inserted->data);
      if (rc != 0 && step.removed) store().Insert(step.removed->key, step.removed->data);
    }
    if (rc != 0) {
      undo();
      return rc;
    }
    const int delta = (step.inserted ? 1 : 0) - (step.removed ? 1 : 0);
    if (delta != 0) deltas.emplace_back(key.number, delta);
    done.push_back(std::move(step));
  }
  if (int rc = AddToCounts(std::move(deltas)); rc != 0) {
    undo();
    return rc;
  }
  return 0;
}

int Table::Add(const uint8_t* record, const MemoValues& memos, bool append) {
  if (keys_foreign_) return files::kKeyFileMustBeRebuilt;
  // The count must be there before anything is written, so that a table
  // without its counter is refused whole instead of half added.
  Counter count;
  if (int rc = ReadCounter(kTableCounter, &count); rc != 0) return rc;
  uint32_t number = 0;
  if (int rc = store().NextIdentifier(&number); rc != 0) return rc;
  // The table's count goes up with the keys' counts, in one pass.
  if (int rc = MaintainKeys(number, nullptr, record, append, 1); rc != 0) return rc;
  KeepAsRead(record);
  if (int rc = store().Insert(DataKey(id_, number), ToStored(record)); rc != 0) return rc;
  current_ = number;
  // A copy kept by an earlier watched read belongs to another record.
  watched_.reset();
  memos_not_loaded_ = false;
  return WriteMemos(number, memos);
}

int Table::FetchRecord(Search how, uint32_t number, std::optional<StoredEntry>* out) {
  std::string prefix = KindPrefix(id_, kEntryData);
  if (int rc = store().Find(how, DataKey(id_, number), out); rc != 0) return rc;
  if (*out && (!StartsWith((*out)->key, prefix) || (*out)->key.size() != prefix.size() + 4)) {
    out->reset();
  }
  return 0;
}

int Table::Read(uint32_t number, uint8_t* record, MemoValues* memos, ReadOptions options) {
  // The entry read is kept between reads so that its buffers are reused: a
  // browse reads a record per row it shows.
  std::optional<StoredEntry>& e = fetched_;
  if (number == 0) return files::kRecordNotFound;
  if (int rc = FetchRecord(Search::kExact, number, &e); rc != 0) return rc;
  if (!e) return files::kRecordNotFound;
  if (e->data.size() != def_.record_length) return files::kInvalidDataFile;
  if (int rc = CheckRecord(number, e->data, options.through_key); rc != 0) return rc;
  // Reading another record lets go of the one held before.
  if (held_ != 0 && (held_ != number || !options.hold)) ReleaseHeld();
  if (options.hold && held_ != number) {
    if (locks_.lock && !locks_.lock(number)) return files::kRecordAlreadyHeld;
    held_ = number;
  }
  FromStored(e->data, record);
  if (!options.skip_memos && memos != nullptr) {
    if (int rc = ReadMemos(number, memos); rc != 0) return rc;
  }
  // Memos that were not read must not be overwritten by a later Rewrite.
  memos_not_loaded_ = options.skip_memos || memos == nullptr;
  current_ = number;
  KeepAsRead(record);
  if (options.watch) {
    watched_ = e->data;
  } else {
    watched_.reset();
  }
  return 0;
}

int Table::CheckRecord(uint32_t number, std::string_view stored, std::string_view through_key) {
  if (!PackedFieldsSound(packed_, stored)) return files::kInvalidDataFile;
  const bool thorough = ThoroughRecordChecks();
  if (through_key.empty() && !thorough) return 0;
  const auto* record = reinterpret_cast<const uint8_t*>(stored.data());
  if (options_.oem) {
    check_record_.resize(stored.size());
    FromStored(stored, reinterpret_cast<uint8_t*>(check_record_.data()));
    record = reinterpret_cast<const uint8_t*>(check_record_.data());
  }
  if (through_key.size() > 4 && ReadId4(through_key) == id_ &&
      static_cast<uint8_t>(through_key[4]) < keys_.size()) {
    const KeyLayout& key = keys_[static_cast<uint8_t>(through_key[4])];
    // A partly maintained key may lag behind its records; a key built under
    // other text rules orders by weights this process does not have.
    if (!key.partial() && !key.separate() && !KeyBuiltUnderOtherRules(key)) {
      const std::optional<std::string_view> value = KeyEntryValue(key, through_key);
      if (!value || (key.optional() && RecordIsBlank(key, record)) ||
          !KeyValueAgrees(key, *value, record, options_.oem)) {
        return files::kInvalidDataFile;
      }
    }
  }
  return thorough ? CheckEveryKey(number, record) : 0;
}

bool Table::KeyBuiltUnderOtherRules(const KeyLayout& key) const {
  if (!keys_foreign_ || !KeyEncodesText(key)) return false;
  return key.number >= rebuilt_.size() || !rebuilt_[key.number];
}

int Table::CheckEveryKey(uint32_t number, const uint8_t* record) {
  // The entry and the one found are the table's, so that their buffers
  // serve every key of every record a thorough pass checks.
  KeyEntry& entry = check_entry_;
  std::optional<StoredEntry>& found = check_found_;
  for (const KeyLayout& key : keys_) {
    if (key.partial() || key.separate() || KeyBuiltUnderOtherRules(key)) continue;
    if (!KeyEntryFor(key.number, record, number, &entry)) continue;  // blank, optional
    if (int rc = store().Find(Search::kExact, entry.key, &found); rc != 0) return rc;
    if (!found) {
      // Built before a collation sequence was set: the plain order's entry.
      std::string plain =
          KindPrefix(id_, key.number) + EncodePlainKeyValue(key, record, options_.oem);
      if (key.duplicates()) plain += Id4(number);
      if (plain != entry.key) {
        if (int rc = store().Find(Search::kExact, plain, &found); rc != 0) return rc;
      }
    }
    if (!found || KeyEntryRecord(key, found->key, found->data) != number) {
      // Records from a stopped build's mark on are not in the key. Asked
      // only of a record whose entry is missing: the counter is one more
      // search, and a record found in its key passes either way.
      Counter counter;
      if (ReadCounter(key.number, &counter) == 0 && counter.mark != 0 && number >= counter.mark) {
        continue;
      }
      return files::kInvalidDataFile;
    }
  }
  return 0;
}

void Table::KeepAsRead(const uint8_t* record) {
  saved_.assign(reinterpret_cast<const char*>(record), def_.record_length);
  read_key_ = -1;
}

void Table::NoteReadThroughKey(std::string_view key_part) {
  if (key_part.size() < 5 || ReadId4(key_part) != id_) return;
  const auto k = static_cast<uint8_t>(key_part[4]);
  if (k >= keys_.size()) return;
  if (const auto value = KeyEntryValue(keys_[k], key_part)) {
    read_key_ = k;
    read_key_value_.assign(*value);
  }
}

bool Table::MemosDiffer(uint32_t number, const MemoValues& memos) {
  if (def_.memos.empty()) return false;
  MemoValues stored;
  if (ReadMemos(number, &stored) != 0) return true;
  MemoValues given = memos;
  given.resize(def_.memos.size());
  for (size_t i = 0; i < def_.memos.size(); ++i) {
    if (!(def_.memos[i].flags & kMemoBlob)) given[i].resize(def_.memos[i].size, ' ');
  }
  return stored != given;
}

int Table::Rewrite(const uint8_t* record, const MemoValues& memos) {
  uint32_t number = current_;
  if (number == 0) return files::kRecordNotAvailable;
  if (keys_foreign_) return files::kKeyFileMustBeRebuilt;
  bool locked_here = false;
  if (held_ != number) {
    // Only a holder elsewhere refuses the change. A claim of ours would last
    // only while the change is made in memory, where nobody else can write
    // the file (writer lock, or an open that denies others writing), so
    // whoever claims the record after the test could as well have claimed
    // it after our release: the test is enough, and saves two lock calls.
    if (locks_.free) {
      if (!locks_.free(number)) return files::kAccessDenied;
    } else {
      if (locks_.lock && !locks_.lock(number)) return files::kAccessDenied;
      locked_here = true;
    }
  }
  auto unlock = [&]() {
    if (locked_here && locks_.unlock) locks_.unlock(number);
  };
  std::optional<StoredEntry> e;
  if (int rc = FetchRecord(Search::kExact, number, &e); rc != 0 || !e) {
    unlock();
    return rc != 0 ? rc : files::kRecordNotAvailable;
  }
  if (e->data.size() != def_.record_length) {
    unlock();
    return files::kInvalidDataFile;
  }
  if (watched_ && *watched_ != e->data) {
    unlock();
    return files::kRecordChangedByAnotherStation;
  }
  std::string image = ToStored(record);
  // A memo changed on its own is still a change: it is written even when
  // the fixed record is the same.
  bool memos_changed = !memos_not_loaded_ && MemosDiffer(number, memos);
  if (image == e->data && !memos_changed) {
    unlock();
    return 0;
  }
  if (image != e->data) {
    std::string old_buffer(def_.record_length, '\0');
    FromStored(e->data, reinterpret_cast<uint8_t*>(old_buffer.data()));
    int rc =
        MaintainKeys(number, reinterpret_cast<const uint8_t*>(old_buffer.data()), record, false, 0);
    if (rc == 0) rc = store().Put(e->key, image);
    if (rc != 0) {
      unlock();
      return rc;
    }
  }
  KeepAsRead(record);
  if (watched_) watched_ = image;
  int rc = memos_changed ? WriteMemos(number, memos) : 0;
  unlock();
  if (held_ == number) ReleaseHeld();
  return rc;
}

int Table::Delete() {
  uint32_t number = current_;
  if (number == 0) return files::kRecordNotAvailable;
  if (keys_foreign_) return files::kKeyFileMustBeRebuilt;
  if (held_ != number) {
    if (locks_.lock && !locks_.lock(number)) return files::kRecordNotAvailable;
    // The record stays held until the next read or the close.
    ReleaseHeld();
    held_ = number;
  }
  std::optional<StoredEntry> e;
  if (int rc = FetchRecord(Search::kExact, number, &e); rc != 0) return rc;
  if (!e || e->data.size() != def_.record_length) return files::kRecordNotAvailable;
  std::string old_buffer(def_.record_length, '\0');
  FromStored(e->data, reinterpret_cast<uint8_t*>(old_buffer.data()));
  KeepAsRead(reinterpret_cast<const uint8_t*>(old_buffer.data()));
  if (int rc = store().Delete(e->key); rc != 0) return rc;
  if (int rc = MaintainKeys(number, reinterpret_cast<const uint8_t*>(old_buffer.data()), nullptr,
                            false, -1);
      rc != 0) {
    return rc;
  }
  if (int rc = DeleteMemos(number); rc != 0) return rc;
  current_ = 0;
  watched_.reset();
  return 0;
}

int Table::Empty() {
  ReleaseHeld();
  if (int rc = RemoveAllEntries(); rc != 0) return rc;
  current_ = 0;
  watched_.reset();
  // The definition goes with everything else and is written again: an
  // emptied table must still open. With no key entry left, its keys are
  // those of the rules in force.
  if (int rc = RecordKeyRules(); rc != 0) return rc;
  return WriteFreshCounters();
}

int Table::Remove() {
  ReleaseHeld();
  if (int rc = RemoveAllEntries(); rc != 0) return rc;
  if (int rc = store().Delete(DirectoryKey(name_.table)); rc != 0) return rc;
  current_ = 0;
  std::optional<StoredEntry> next;
  std::string directory(1, static_cast<char>(kEntryDirectory));
  if (int rc = store().Find(Search::kNextAfter, directory, &next); rc != 0) return rc;
  bool tables_left = next && StartsWith(next->key, directory);
  file_->RemoveWhenClosed(!tables_left);
  return 0;
}

int Table::BuildKey(int k, const std::function<void(uint32_t)>& progress) {
  if (k < 0 || k >= static_cast<int>(keys_.size())) return files::kInvalidKeyFile;
  const KeyLayout& key = keys_[k];
  // Entries of such a key live in another container.
  if (key.separate()) return files::kUnsupportedFunction;
  std::string key_prefix = KindPrefix(id_, key.number);
  for (;;) {
    std::optional<StoredEntry> e;
    if (int rc = store().Find(Search::kNextAfter, key_prefix, &e); rc != 0) return rc;
    if (!e || !StartsWith(e->key, key_prefix)) break;
    if (int rc = store().Delete(e->key); rc != 0) return rc;
  }
  Counter counter;
  std::string data_prefix = KindPrefix(id_, kEntryData);
  std::string at = data_prefix;
  std::string buffer(def_.record_length, '\0');
  auto* image = reinterpret_cast<uint8_t*>(buffer.data());
  for (;;) {
    std::optional<StoredEntry> e;
    if (int rc = store().Find(Search::kNextAfter, at, &e); rc != 0) return rc;
    if (!e || !StartsWith(e->key, data_prefix)) break;
    at = e->key;
    if (e->key.size() != data_prefix.size() + 4 || e->data.size() != def_.record_length) {
      return files::kInvalidDataFile;
    }
    uint32_t number = ReadId4(e->key.substr(data_prefix.size()));
    FromStored(e->data, image);
    KeyEntry entry;
    if (KeyEntryFor(k, image, number, &entry)) {
      std::optional<StoredEntry> found;
      if (int rc = store().Find(Search::kExact, entry.key, &found); rc != 0) return rc;
      if (found) {
        // The mark keeps how far the build came: records from here on are
        // not in the key.
        counter.mark = number;
        if (int rc = WriteCounter(key.number, counter); rc != 0) return rc;
        return files::kCreatesDuplicateKey;
      }
      if (int rc = store().Insert(entry.key, entry.data); rc != 0) return rc;
      ++counter.count;
    }
    if (progress) progress(number);
  }
  counter.mark = 0;
  if (int rc = WriteCounter(key.number, counter); rc != 0) return rc;
  if (!keys_foreign_) return 0;
  // Keys built under other text rules: once every key whose entries hold
  // text has been built again under the rules in force, the table is
  // recorded as built under them and may be written to again.
  rebuilt_.resize(keys_.size(), false);
  rebuilt_[k] = true;
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (!rebuilt_[i] && !keys_[i].separate() && KeyEncodesText(keys_[i])) return 0;
  }
  return RecordKeyRules();
}

}  // namespace vorsandt::qvf
