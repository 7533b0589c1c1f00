// One table inside a QVF file: opening and creating it, its records, memos and
// blobs, and the maintenance of its keys.
//
// Invariants (kept by every operation that returns 0; a failing operation
// that already wrote leaves the file's pending changes to be discarded by the
// caller, which never saves them):
//  1. Every data record (table id, 0xF3, n) has exactly one entry in each
//     maintained key whose value is not all blank (optional keys) and whose
//     mark covers n, and every key entry names an existing data record.
//  2. The table counter's count equals the number of data records; a key
//     counter's count equals the number of that key's entries.
//  3. The memo chunks of a record and field are numbered 0..n-1 without gaps.
//  4. A failed Add or Rewrite (40) leaves no key entry changed: the keys
//     already changed are restored before anything else of the record is
//     written.
//  5. The definition blocks describe the table as declared (structurally).
//  6. Key entries are only ever made under the text rules (case table and
//     collation, KeyTextRules) the definition records: a table opened under
//     other rules refuses Add, Rewrite and Delete with 46 until its text
//     keys are built again (BuildKey), which records the rules in force.
// Order of writes: Add writes key entries, then the data record, the count,
// the memos; Rewrite the keys, the data record, the memos; Delete the data
// record, the keys, the count, the memos. The file is saved by the caller
// (the driver, at the end of each call), so a crash loses the whole call.
#ifndef VORSANDT_STORAGE_QVF_TABLE_TABLE_H_
#define VORSANDT_STORAGE_QVF_TABLE_TABLE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/entry_key.h"
#include "storage/qvf/table/entry_store.h"
#include "storage/qvf/table/key_encoding.h"
#include "storage/qvf/table/record_check.h"
#include "storage/qvf/table/shared_file.h"
#include "storage/qvf/table/table_name.h"

namespace vorsandt::qvf {

// Record locks belong to the driver (byte-range locks); the table asks.
struct RecordLocks {
  // Locks record n without waiting; false when another holder has it.
  std::function<bool(uint32_t)> lock;
  std::function<void(uint32_t)> unlock;
  // True when nobody holds record n now; claims nothing. Optional: without
  // it the table claims and releases.
  std::function<bool(uint32_t)> free;
};

// Memo and blob contents, one per memo field in declaration order. A text
// memo is its declared size of characters (shorter values are padded with
// spaces); a blob is its bytes.
using MemoValues = std::vector<std::string>;

struct ReadOptions {
  bool hold = false;        // lock the record (43 when refused)
  bool watch = false;       // keep a copy for the changed-record check
  bool skip_memos = false;  // leave the memo values alone; a Rewrite keeps the stored memos
  // The key part of the entry the read came through (empty: none), checked
  // against the record (record_check.h).
  std::string_view through_key;
};

struct TableOptions {
  bool oem = false;  // text is kept in the OEM set (code page 437)
  // With create: a table that exists already is opened as it is instead of
  // being replaced (another process made it since this one looked).
  bool keep_existing = false;
};

class Table {
 public:
  // Opens (with `create`, creates or replaces) table `name` ("FILE!TABLE")
  // declared as `def`. Codes: 45 bad name, 2 no such file or table, 47 the
  // stored definition differs structurally, or the file's own codes.
  [[nodiscard]] static int Open(FileRegistry* registry, std::string_view name, const TableDefinition& def,
                  bool create, TableOptions options, std::unique_ptr<Table>* out);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Releases the file (saving it when this was its last user).
  [[nodiscard]] int Close();

  // Adds `record` (record_length bytes) as a new record with `memos`;
  // `append` applies the mark rule to every key. 40 on a duplicate of a
  // unique key (nothing of the record is stored), 5 when the table's counter
  // is missing.
  [[nodiscard]] int Add(const uint8_t* record, const MemoValues& memos, bool append = false);
  // Reads record `number` into `record` and `memos`. 35 when missing, 43 when
  // the hold is refused, 36 when the record is damaged (record_check.h; the
  // buffers are then left as they were). Without `memos` (or with
  // skip_memos) the memos are not read, and a Rewrite that follows keeps the
  // stored ones.
  [[nodiscard]] int Read(uint32_t number, uint8_t* record, MemoValues* memos, ReadOptions options = {});
  // After a read of the record a key entry names: keeps the entry's encoded
  // key value, the bytes a position in that key needs, so that it is not
  // encoded again from the record. Any other change of the record as last
  // read forgets it.
  void NoteReadThroughKey(std::string_view key_part);
  // The encoded value of key `k` noted for the record as last read, or
  // nullptr.
  const std::string* KeyValueAsRead(int k) const {
    return read_key_ == k ? &read_key_value_ : nullptr;
  }
  // Rewrites the current record. 33 without one or when it is gone, 5 when
  // its lock is refused, 89 when it changed since a watched read, 40 on a
  // duplicate. An unchanged record with unchanged memos writes nothing.
  [[nodiscard]] int Rewrite(const uint8_t* record, const MemoValues& memos);
  // Deletes the current record. 33 without one or when its lock is refused.
  [[nodiscard]] int Delete();
  // Removes every record, key entry and memo; fresh counters.
  [[nodiscard]] int Empty();
  // Removes the table from its file; the file is deleted when it holds no
  // table any more (once its last user closes it).
  [[nodiscard]] int Remove();
  // Recreates every entry of key `k`; 40 on a duplicate value of a unique
  // key. `progress` is called once per record read. When the keys were
  // built under other text rules, building the last of the keys that hold
  // text records the rules in force and ends the refusal of writes.
  [[nodiscard]] int BuildKey(int k, const std::function<void(uint32_t)>& progress = {});

  // Data records by number: exact, next after or previous before `number`,
  // within this table. `*out` is empty when there is none.
  [[nodiscard]] int FetchRecord(Search how, uint32_t number, std::optional<StoredEntry>* out);
  // Counter of the table (kTableCounter) or of key k.
  [[nodiscard]] int ReadCounter(uint8_t which, Counter* out);
  [[nodiscard]] int WriteCounter(uint8_t which, const Counter& c);

  // Memo chunks of a record.
  [[nodiscard]] int WriteMemos(uint32_t number, const MemoValues& memos);
  [[nodiscard]] int ReadMemos(uint32_t number, MemoValues* memos);
  [[nodiscard]] int DeleteMemos(uint32_t number);

  // The key entry `record` would have in key k (false: none).
  bool KeyEntryFor(int k, const uint8_t* record, uint32_t number, KeyEntry* out) const;

  // True when the keys were built under other text rules than the locale in
  // force gives (invariant 6): writes are refused with 46 until rebuilt.
  bool keys_foreign() const { return keys_foreign_; }

  uint32_t id() const { return id_; }
  const TableName& name() const { return name_; }
  const TableDefinition& definition() const { return def_; }
  const std::vector<KeyLayout>& keys() const { return keys_; }
  EntryStore& store() { return file_->store(); }
  SharedFile* file() { return file_; }
  uint32_t current() const { return current_; }
  void ClearCurrent() { current_ = 0; }
  // The record as last read or written (buffer form).
  const std::string& saved() const { return saved_; }
  uint32_t held() const { return held_; }
  void SetLocks(RecordLocks locks) { locks_ = std::move(locks); }
  // What a read changes in the table, so that a read made again from the
  // start (an optimistic read that had to be aborted) finds it as it was.
  struct ReadState {
    uint32_t current = 0;
    std::string saved;
    std::optional<std::string> watched;
    bool memos_not_loaded = false;
  };
  void SaveReadState(ReadState* state) const {
    state->current = current_;
    state->saved = saved_;
    state->watched = watched_;
    state->memos_not_loaded = memos_not_loaded_;
  }
  void RestoreReadState(ReadState* state) {
    current_ = state->current;
    saved_.swap(state->saved);
    read_key_ = -1;
    watched_.swap(state->watched);
    memos_not_loaded_ = state->memos_not_loaded;
  }
  // Makes `record` the record as last read (and forgets a noted key value).
  void KeepAsRead(const uint8_t* record);
  // Unlocks a held record.
  void ReleaseHeld();

  // The stored image of a record in buffer form and back (OEM conversion of
  // the text fields when the table keeps OEM text).
  std::string ToStored(const uint8_t* record) const;
  void FromStored(std::string_view stored, uint8_t* record) const;

 private:
  Table(FileRegistry* registry, SharedFile* file, TableName name, const TableDefinition& def,
        TableOptions options);

  [[nodiscard]] int CreateFresh();
  [[nodiscard]] int WriteDefinition();
  [[nodiscard]] int WriteFreshCounters();
  // Records the text rules in force as those the keys were built under.
  [[nodiscard]] int RecordKeyRules();
  [[nodiscard]] int VerifyDefinition();
  [[nodiscard]] int RemoveAllEntries();
  // Adds each delta to its counter (a key number or kTableCounter). A
  // missing or unreadable key counter is skipped; a missing table count is
  // 5 (files::kAccessDenied).
  [[nodiscard]] int AddToCounts(std::vector<std::pair<uint8_t, int>> deltas);
  // Key maintenance for record `number` from `old_image` to `new_image`
  // (either may be null), keys in order, then the keys' counters and the
  // table's count (`table_delta`); restores the keys already changed when
  // one fails.
  [[nodiscard]] int MaintainKeys(uint32_t number, const uint8_t* old_image, const uint8_t* new_image, bool append,
                   int table_delta);
  bool MemosDiffer(uint32_t number, const MemoValues& memos);
  // 0 when the stored image of record `number` passes the checks of
  // record_check.h (read through `through_key` when not empty); 36 when it
  // is damaged, or the store's error.
  [[nodiscard]] int CheckRecord(uint32_t number, std::string_view stored, std::string_view through_key);
  // With thorough checks: 0 when every key the record belongs to holds its
  // entry.
  // True while `key`'s entries were built under text rules other than the
  // ones in force (the table opened foreign, that key not yet rebuilt): its
  // entries cannot be compared with a record's value.
  bool KeyBuiltUnderOtherRules(const KeyLayout& key) const;
  [[nodiscard]] int CheckEveryKey(uint32_t number, const uint8_t* record);

  FileRegistry* registry_;
  SharedFile* file_;
  TableName name_;
  TableDefinition def_;
  std::vector<KeyLayout> keys_;
  TableOptions options_;
  uint32_t id_ = 0;
  uint32_t current_ = 0;
  uint32_t held_ = 0;
  std::string saved_;
  std::optional<StoredEntry> fetched_;  // Read's entry, kept for its buffers
  int read_key_ = -1;                   // key whose value read_key_value_ holds for saved_
  std::string read_key_value_;
  std::optional<std::string> watched_;
  bool memos_not_loaded_ = false;
  RecordLocks locks_;
  bool keys_foreign_ = false;
  std::vector<bool> rebuilt_;  // keys built again since the table was opened foreign
  std::vector<PackedSpan> packed_;  // the decimal values a read checks
  std::string check_record_;        // buffer form of an OEM record being checked
  KeyEntry check_entry_;            // the key entry a thorough check looks for
  std::optional<StoredEntry> check_found_;  // and the entry it found
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_TABLE_TABLE_H_
