// Positioning and reading: the sequence starts, Next, Previous, Skip, Eof,
// Bof and the direct reads, with holds, watches and skip-memos requests.
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/op_codes.h"
#include "storage/qvf/driver/driver_block.h"
#include "storage/qvf/driver/position_text.h"
#include "storage/qvf/table/entry_key.h"
#include "storage/qvf/table/key_encoding.h"

namespace vorsandt::qvf {
namespace {

using files::Call;

// The table as the sequence search sees it: its data records, and the
// entries of the key that orders the sequence.
class TableSource : public SequenceSource {
 public:
  TableSource(Table& table, int key, bool oem) : table_(table), key_(key), oem_(oem) {}

  int FindRecord(Search how, uint32_t number, std::optional<uint32_t>* out) override {
    out->reset();
    std::optional<StoredEntry> e;
    if (int rc = table_.FetchRecord(how, number, &e); rc != 0) return rc;
    if (e) *out = ReadId4(std::string_view(e->key).substr(5));
    return 0;
  }
  int FindKey(Search how, std::string_view key_part, std::optional<KeyHit>* out) override {
    out->reset();
    if (key_ < 0) return 0;
    std::optional<StoredEntry> e;
    if (int rc = table_.store().Find(how, key_part, &e); rc != 0) return rc;
    if (e) {
      const uint32_t record = KeyEntryRecord(table_.keys()[key_], e->key, e->data);
      *out = KeyHit{std::move(e->key), record};
    }
    return 0;
  }
  int KeyPartOf(uint32_t number, std::optional<std::string>* out) override {
    out->reset();
    if (key_ < 0) return 0;
    std::optional<StoredEntry> e;
    if (int rc = table_.FetchRecord(Search::kExact, number, &e); rc != 0) return rc;
    if (!e || e->data.size() != table_.definition().record_length) return 0;
    std::string record(e->data.size(), '\0');
    table_.FromStored(e->data, reinterpret_cast<uint8_t*>(record.data()));
    KeyEntry entry;
    if (table_.KeyEntryFor(key_, reinterpret_cast<const uint8_t*>(record.data()), number, &entry)) {
      *out = entry.key;
    }
    return 0;
  }

 private:
  Table& table_;
  int key_;
  bool oem_;
};

bool Oem(const Call& call) { return (call.file->attributes & files::kAttrOemText) != 0; }

[[nodiscard]] int KeyArg(const Call& call, const QvfBlock& b, int arg, int* k) {
  const files::KeyDecl* key = call.args.KeyAt(arg);
  if (key == nullptr) {
    *k = -1;
    return 0;
  }
  if (key->number < 1 || key->number > static_cast<int>(b.table->keys().size())) {
    return files::kInvalidKeyFile;
  }
  *k = key->number - 1;
  return 0;
}

// A fresh position in key `k` (or record-number order for -1).
void StartSequence(QvfBlock& b, int k, int mode) {
  b.pos = SequencePosition();
  b.access_key = k;
  if (k >= 0) {
    const KeyLayout& key = b.table->keys()[k];
    b.pos.prefix = KindPrefix(b.table->id(), key.number);
    b.pos.duplicates = key.duplicates();
    b.pos.mode = mode;
  } else {
    b.pos.mode = kModeRecordStart;
  }
}

std::string BufferKeyValue(const Call& call, const QvfBlock& b, int k) {
  return EncodeKeyValue(b.table->keys()[k], call.file->buffer, Oem(call));
}

// Reads the record that `find` names into the record buffer, under the
// pending hold, watch and skip-memos requests. A refused hold is retried,
// with the file lock given up between attempts, until the hold timeout has
// passed (for ever with -1). `missing` is the code when `find` finds none.
[[nodiscard]] int ReadFound(Call& call, QvfBlock& b, CallScope& scope,
              const std::function<int(std::optional<SequenceHit>*)>& find, int missing,
              std::optional<SequenceHit>* read) {
  env::Env* env = TheDriverFiles().env();
  const int64_t start = env->NowHundredths();
  for (;;) {
    std::optional<SequenceHit> hit;
    int rc = find(&hit);
    if (rc == 0 && !hit) rc = missing;
    if (rc == 0) {
      ReadOptions options;
      options.hold = b.hold_next;
      options.watch = b.watch_next;
      options.skip_memos = b.skip_memos_next;
      // A record read through a key entry is checked against it.
      options.through_key = hit->key_part;
      MemoValues memos;
      rc = b.table->Read(hit->record, call.file->buffer, &memos, options);
      if (rc == files::kRecordAlreadyHeld && b.hold_next &&
          (b.hold_timeout < 0 || env->NowHundredths() - start <= b.hold_timeout * 100)) {
        if (int paused = scope.Pause(env); paused != 0) {
          b.DropRequests();
          return paused;
        }
        continue;
      }
      if (rc == files::kRecordNotFound && missing == files::kRecordNotAvailable) rc = missing;
      if (rc == 0) {
        if (!options.skip_memos) StoreMemos(memos, call.file);
        if (!hit->key_part.empty()) b.table->NoteReadThroughKey(hit->key_part);
        *read = std::move(hit);
      }
    }
    b.DropRequests();
    return rc;
  }
}

// After a direct read the sequence continues from the record read.
void PositionAt(QvfBlock& b, uint32_t record, const std::string& key_part, bool oem) {
  if (b.pos.keyed()) {
    std::string part = key_part;
    if (part.empty() || part.compare(0, b.pos.prefix.size(), b.pos.prefix) != 0) {
      std::optional<std::string> mine;
      TableSource source(*b.table, b.access_key, oem);
      if (source.KeyPartOf(record, &mine) != 0 || !mine) return;
      part = *mine;
    }
    b.pos.mode = kModeKey;
    b.pos.entry = part;
    b.pos.record = record;
  } else {
    b.pos.mode = kModeRecord;
    b.pos.record = record;
  }
}

// The five ways of starting a keyed (or record-order) sequence.
int32_t SetKeySequence(Call& call, QvfBlock& b) {
  int k = -1;
  if (int rc = KeyArg(call, b, 0, &k); rc != 0) return rc;
  if (k < 0) {
    StartSequence(b, -1, kModeRecordStart);
    return 0;
  }
  const int64_t n = call.args.Int(1);
  switch (call.op) {
    case files::kOpSetKey:
      StartSequence(b, k, kModeKeyStart);
      break;
    case files::kOpSetKeyValue:
      StartSequence(b, k, kModeKeyAtValue);
      b.pos.value = BufferKeyValue(call, b, k);
      break;
    case files::kOpSetKeyValueRecordOrder:
      StartSequence(b, k, kModeRecordFromKeyValue);
      b.pos.value = BufferKeyValue(call, b, k);
      break;
    case files::kOpSetKeyAtRecord:
      StartSequence(b, k, n > 0 ? kModeKeyAtRecord : kModeKeyStart);
      b.pos.record = static_cast<uint32_t>(n > 0 ? n : 0);
      break;
    default:
      StartSequence(b, k, kModeKeyAtValueAndRecord);
      b.pos.value = BufferKeyValue(call, b, k);
      b.pos.record = static_cast<uint32_t>(n > 0 ? n : 0);
      break;
  }
  // Record-number order from a key value keeps the key only for the
  // first search.
  if (call.op == files::kOpSetKeyValueRecordOrder) b.access_key = -1;
  return 0;
}

// The operations that only place the sequence (nothing is read): true, with
// their status in `*rc`, for one of them.
bool PlaceSequence(Call& call, QvfBlock& b, int32_t* rc) {
  Table& t = *b.table;
  *rc = 0;
  switch (call.op) {
    case files::kOpSetFile:
      StartSequence(b, -1, kModeRecordStart);
      return true;
    case files::kOpSetFilePointer:
      StartSequence(b, -1, kModeRecordStart);
      if (call.args.Int(0) > 0) {
        b.pos.mode = kModeRecordAt;
        b.pos.record = static_cast<uint32_t>(call.args.Int(0));
      }
      return true;
    case files::kOpSetKey:
    case files::kOpSetKeyValue:
    case files::kOpSetKeyValueRecordOrder:
    case files::kOpSetKeyAtRecord:
    case files::kOpSetKeyAtValueAndRecord:
      *rc = SetKeySequence(call, b);
      return true;
    case files::kOpReset: {
      uint32_t n = 0;
      if (!DecodePosition(call.text1, &n)) {
        *rc = files::kRecordNotFound;
        return true;
      }
      StartSequence(b, -1, kModeRecordStart);
      b.pos.mode = kModeRecordAt;
      b.pos.record = n;
      return true;
    }
    case files::kOpResetKey: {
      int k = -1;
      if (*rc = KeyArg(call, b, 0, &k); *rc != 0) return true;
      uint32_t n = 0;
      std::string value;
      size_t size = k >= 0 ? t.keys()[k].ValueSize() : 0;
      if (!DecodePosition(call.text1, &n, size, &value)) {
        *rc = files::kRecordNotFound;
        return true;
      }
      if (k < 0) {
        StartSequence(b, -1, kModeRecordStart);
        b.pos.mode = kModeRecordAt;
      } else {
        StartSequence(b, k, kModeKeyAtValueAndRecord);
        b.pos.value = value;
      }
      b.pos.record = n;
      return true;
    }
    default:
      return false;
  }
}

// GET by key value and REGET by a key's position: the record the key's
// entries lead to, positioned there.
int32_t GetByKey(Call& call, QvfBlock& b, CallScope& scope, bool oem) {
  Table& t = *b.table;
  std::optional<SequenceHit> read;
  int k = -1;
  if (int rc = KeyArg(call, b, 0, &k); rc != 0) return rc;
  if (k < 0) return files::kInvalidKeyFile;
  const KeyLayout& key = t.keys()[k];
  SequencePosition at;
  at.prefix = KindPrefix(t.id(), key.number);
  at.duplicates = key.duplicates();
  uint32_t want = 0;
  std::string value;
  if (call.op == files::kOpRegetKey) {
    if (!DecodePosition(call.text1, &want, key.ValueSize(), &value)) {
      return files::kRecordNotFound;
    }
  } else {
    value = BufferKeyValue(call, b, k);
  }
  TableSource by_key(t, k, oem);
  auto find = [&](std::optional<SequenceHit>* hit) -> int {
    hit->reset();
    std::optional<KeyHit> found;
    int rc = 0;
    if (!key.duplicates()) {
      rc = by_key.FindKey(Search::kExact, KeyPartFor(at, value, 0), &found);
      if (rc == 0 && found && want != 0 && found->record != want) found.reset();
    } else if (want != 0) {
      rc = by_key.FindKey(Search::kExact, KeyPartFor(at, value, want), &found);
    } else {
      // The first record of a duplicated value, in record-number order.
      rc = by_key.FindKey(Search::kNextAfter, KeyPartFor(at, value, 0), &found);
      std::string start = at.prefix + value;
      if (rc == 0 && found && found->key_part.compare(0, start.size(), start) != 0) {
        found.reset();
      }
    }
    if (rc == 0 && found) *hit = SequenceHit{found->record, found->key_part};
    return rc;
  };
  int rc = ReadFound(call, b, scope, find, files::kRecordNotFound, &read);
  if (rc == 0) PositionAt(b, read->record, read->key_part, oem);
  return rc;
}

// The reads that move through the sequence or fetch a record by number.
int32_t ReadInSequence(Call& call, QvfBlock& b, CallScope& scope, bool oem) {
  Table& t = *b.table;
  // The key whose entries the sequence searches (record-number order from a
  // key value searches the key it was given, once).
  int search_key = -1;
  if (b.pos.keyed()) {
    for (size_t i = 0; i < t.keys().size(); ++i) {
      if (KindPrefix(t.id(), t.keys()[i].number) == b.pos.prefix) {
        search_key = static_cast<int>(i);
      }
    }
  }
  TableSource source(t, search_key, oem);
  std::optional<SequenceHit> read;
  switch (call.op) {
    case files::kOpNext:
    case files::kOpPrevious: {
      const bool forward = call.op == files::kOpNext;
      int rc = ReadFound(
          call, b, scope,
          [&](std::optional<SequenceHit>* hit) {
            return FindInSequence(source, b.pos, forward, hit);
          },
          files::kRecordNotAvailable, &read);
      if (rc == 0) MoveTo(&b.pos, *read);
      return rc;
    }
    case files::kOpEof:
    case files::kOpBof: {
      std::optional<SequenceHit> hit;
      int rc = FindInSequence(source, b.pos, call.op == files::kOpEof, &hit);
      call.value = hit ? 0 : 1;
      return rc;
    }
    case files::kOpSkip: {
      return SkipInSequence(source, &b.pos, call.args.Int(0));
    }
    case files::kOpGetByPointer:
    case files::kOpGetByPointer2: {
      const uint32_t n =
          static_cast<uint32_t>(call.args.Int(call.op == files::kOpGetByPointer ? 0 : 1));
      int rc = ReadFound(
          call, b, scope,
          [&](std::optional<SequenceHit>* hit) {
            *hit = SequenceHit{n, {}};
            return 0;
          },
          files::kRecordNotFound, &read);
      if (rc == 0) PositionAt(b, n, {}, oem);
      return rc;
    }
    case files::kOpReget: {
      uint32_t n = 0;
      if (!DecodePosition(call.text1, &n)) return files::kRecordNotFound;
      int rc = ReadFound(
          call, b, scope,
          [&](std::optional<SequenceHit>* hit) {
            *hit = SequenceHit{n, {}};
            return 0;
          },
          files::kRecordNotFound, &read);
      if (rc == 0) PositionAt(b, n, {}, oem);
      return rc;
    }
    default:
      return files::kUnsupportedFunction;
  }
}

}  // namespace

int32_t PerformRead(Call& call, QvfBlock& b, CallScope& scope) {
  int32_t rc = 0;
  if (PlaceSequence(call, b, &rc)) return rc;
  const bool oem = Oem(call);
  if (call.op == files::kOpGetByKey || call.op == files::kOpRegetKey) {
    return GetByKey(call, b, scope, oem);
  }
  return ReadInSequence(call, b, scope, oem);
}

}  // namespace vorsandt::qvf
