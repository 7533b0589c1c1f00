#include "storage/qvf/table/directory.h"

#include "runtime/format/characters.h"
#include "storage/qvf/table/entry_key.h"

namespace vorsandt::qvf {
namespace {

bool IsDirectoryKey(std::string_view key) {
  return !key.empty() && static_cast<uint8_t>(key[0]) == kEntryDirectory;
}

}  // namespace

int ListTables(EntryStore* store, std::vector<DirectoryItem>* out) {
  out->clear();
  std::string at(1, static_cast<char>(kEntryDirectory));
  for (;;) {
    std::optional<StoredEntry> e;
    if (int rc = store->Find(Search::kNextAfter, at, &e); rc != 0) return rc;
    if (!e || !IsDirectoryKey(e->key)) return 0;
    EntryKeyInfo info = DecodeEntryKey(e->key);
    out->push_back(
        {info.kind == EntryKind::kDirectory ? info.name : std::string("?"), ReadId4(e->data)});
    at = e->key;
  }
}

int NextTableName(EntryStore* store, std::string_view after, std::optional<std::string>* out) {
  out->reset();
  // The bare type byte sorts before every directory entry.
  std::string at = after.empty() ? std::string(1, static_cast<char>(kEntryDirectory))
                                 : DirectoryKey(format::ToUpperText(after));
  std::optional<StoredEntry> e;
  if (int rc = store->Find(Search::kNextAfter, at, &e); rc != 0) return rc;
  if (!e || !IsDirectoryKey(e->key)) return 0;
  EntryKeyInfo info = DecodeEntryKey(e->key);
  if (info.kind == EntryKind::kDirectory) *out = info.name;
  return 0;
}

}  // namespace vorsandt::qvf
