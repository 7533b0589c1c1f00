#include "storage/qvf/driver/table_copy.h"

#include <algorithm>
#include <memory>

#include "runtime/files/error_codes.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/entry_key.h"
#include "storage/qvf/table/key_encoding.h"
#include "storage/qvf/table/table.h"
#include "storage/qvf/table/table_name.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {
namespace {

Container& ContainerOf(Table& t) { return static_cast<TreeEntryStore&>(t.store()).container(); }

// Holds the writer locks of one or two files, taken in the order of their
// identities so that two copies crossing each other cannot deadlock.
class WriterLocks {
 public:
  ~WriterLocks() {
    for (LockFile* l : held_) l->locks().UnlockFile();
    for (LockFile* l : acquired_) TheDriverFiles().ReleaseLock(l);
  }
  int Acquire(const std::string& path, bool create, LockFile** out) {
    if (int rc = TheDriverFiles().AcquireLock(path, create, out); rc != 0) return rc;
    acquired_.push_back(*out);
    return 0;
  }
  int LockAll() {
    std::vector<LockFile*> order = acquired_;
    std::sort(order.begin(), order.end(), [](LockFile* a, LockFile* b) {
      return FileIdentity(a->path()) < FileIdentity(b->path());
    });
    for (LockFile* l : order) {
      if (l->locks().writer_held()) continue;
      if (int rc = l->locks().LockWriter(); rc != 0) return rc;
      held_.push_back(l);
    }
    return 0;
  }

 private:
  std::vector<LockFile*> acquired_;
  std::vector<LockFile*> held_;
};

[[nodiscard]] int Shift(uint32_t number, uint32_t base, uint32_t* out) {
  uint64_t shifted = static_cast<uint64_t>(number) + base;
  // Identifiers never start with 0xFE or 0xFF.
  if (shifted >= 0xFE000000u) return files::kInvalidDataFile;
  *out = static_cast<uint32_t>(shifted);
  return 0;
}

// The copy of one entry of the source table under the target's id, numbers
// shifted. False for entries that are not copied (the directory entry).
[[nodiscard]] int Translate(const Table& source, uint32_t target_id, uint32_t base, const StoredEntry& in,
              StoredEntry* out, uint32_t* highest, bool* copy) {
  *copy = true;
  EntryKeyInfo info = DecodeEntryKey(in.key);
  out->data = in.data;
  uint32_t n = 0;
  switch (info.kind) {
    case EntryKind::kData:
      if (int rc = Shift(info.record, base, &n); rc != 0) return rc;
      out->key = DataKey(target_id, n);
      *highest = std::max(*highest, n);
      return 0;
    case EntryKind::kChunk:
      if (int rc = Shift(info.record, base, &n); rc != 0) return rc;
      out->key = ChunkKey(target_id, n, info.field, info.block);
      return 0;
    case EntryKind::kDefinition:
      out->key = DefinitionKey(target_id, info.block);
      return 0;
    case EntryKind::kCounter: {
      out->key = CounterKey(target_id, info.which);
      Counter c;
      if (DecodeCounter(in.data, &c) && c.mark != 0) {
        if (int rc = Shift(c.mark, base, &c.mark); rc != 0) return rc;
        out->data = EncodeCounter(c);
      }
      return 0;
    }
    case EntryKind::kKey: {
      const KeyLayout* key = nullptr;
      for (const KeyLayout& k : source.keys()) {
        if (k.number == info.which) key = &k;
      }
      if (key == nullptr) return files::kInvalidKeyFile;
      if (int rc = Shift(KeyEntryRecord(*key, in.key, in.data), base, &n); rc != 0) return rc;
      out->key = Id4(target_id) + in.key.substr(4);
      if (key->duplicates()) {
        if (out->key.size() < 9) return files::kInvalidKeyFile;
        out->key.replace(out->key.size() - 4, 4, Id4(n));
      } else {
        out->data = Id4(n);
      }
      return 0;
    }
    default:
      *copy = false;
      return 0;
  }
}

}  // namespace

int CopyTable(const files::FileRecord& decl, const std::string& source_name,
              const std::string& target_name, bool remove_source) {
  DriverFiles& files = TheDriverFiles();
  TableName source_split, target_split;
  if (int rc = SplitTableName(source_name, &source_split); rc != 0) return rc;
  if (int rc = SplitTableName(target_name, &target_split); rc != 0) return rc;
  if (FileIdentity(source_split.file) == FileIdentity(target_split.file) &&
      source_split.table == target_split.table) {
    return files::kInvalidFilename;
  }
  TableDefinition def;
  if (int rc = DefinitionFromDeclaration(decl, &def); rc != 0) return rc;
  WriterLocks locks;
  LockFile* source_lock = nullptr;
  LockFile* target_lock = nullptr;
  if (int rc = locks.Acquire(source_split.file, false, &source_lock); rc != 0) return rc;
  if (int rc = locks.Acquire(target_split.file, true, &target_lock); rc != 0) return rc;
  if (int rc = locks.LockAll(); rc != 0) return rc;
  // Files this process already has open may have been changed by others.
  for (const std::string& path : {source_split.file, target_split.file}) {
    if (SharedFile* open = files.registry()->Find(path)) {
      if (auto* store = dynamic_cast<TreeEntryStore*>(&open->store())) {
        store->container().SetWriterMode(true);
        if (int rc = store->container().Refresh(); rc != 0) return rc;
      }
    }
  }

  TableOptions options;
  options.oem = (decl.attributes & files::kAttrOemText) != 0;
  std::unique_ptr<Table> source, target;
  int rc = Table::Open(files.registry(), source_name, def, false, options, &source);
  if (rc == 0) rc = Table::Open(files.registry(), target_name, def, true, options, &target);
  Container* source_container = source ? &ContainerOf(*source) : nullptr;
  Container* target_container = target ? &ContainerOf(*target) : nullptr;
  for (Container* c : {source_container, target_container}) {
    if (c != nullptr && rc == 0) {
      c->SetWriterMode(true);
      rc = c->Refresh();
    }
  }
  uint32_t base = 0;
  if (rc == 0) rc = target->store().NextIdentifier(&base);
  uint32_t highest = base;
  if (rc == 0) {
    // Every entry of the source table, in order: they all start with its id.
    const std::string prefix = Id4(source->id());
    std::string from = prefix;
    for (;;) {
      std::optional<StoredEntry> e;
      if ((rc = source->store().Find(Search::kNextAfter, from, &e)) != 0) break;
      if (!e || e->key.compare(0, prefix.size(), prefix) != 0) break;
      from = e->key;
      StoredEntry copy;
      bool wanted = false;
      if ((rc = Translate(*source, target->id(), base, *e, &copy, &highest, &wanted)) != 0) break;
      if (wanted && (rc = target->store().Put(copy.key, copy.data)) != 0) break;
    }
  }
  // The target's id counter stands at the highest number copied.
  for (uint32_t id = base; rc == 0 && id < highest;) rc = target->store().NextIdentifier(&id);
  if (rc == 0 && remove_source) rc = source->Remove();
  for (Container* c : {target_container, source_container}) {
    if (c == nullptr) continue;
    if (rc == 0) rc = c->Save();
  }
  if (rc != 0) {
    for (Container* c : {target_container, source_container}) {
      if (c != nullptr) c->DiscardAfterFailure();
    }
  }
  for (Container* c : {target_container, source_container}) {
    if (c != nullptr) c->SetWriterMode(false);
  }
  for (std::unique_ptr<Table>* table : {&target, &source}) {
    if (*table == nullptr) continue;
    if (int closed = (*table)->Close(); rc == 0) rc = closed;
  }
  return rc;
}

}  // namespace vorsandt::qvf
