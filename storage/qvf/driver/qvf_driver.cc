#include "storage/qvf/driver/qvf_driver.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "runtime/files/error_codes.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/read_run.h"
#include "runtime/files/operations.h"
#include "storage/qvf/driver/blob_transfer.h"
#include "storage/qvf/driver/coordination.h"
#include "storage/qvf/driver/driver_block.h"
#include "storage/qvf/driver/optimistic_read.h"
#include "storage/qvf/driver/position_text.h"
#include "storage/qvf/driver/read_tenure.h"
#include "storage/qvf/driver/registration.h"
#include "storage/qvf/driver/send_command.h"
#include "storage/qvf/driver/table_copy.h"
#include "storage/qvf/driver/table_open.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/entry_key.h"
#include "storage/qvf/table/table_name.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {

using files::Call;
using files::FileRecord;

namespace {

std::string TrimmedName(const std::string& name) {
  size_t end = name.find('\0');
  std::string t = name.substr(0, end);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  size_t start = t.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : t.substr(start);
}

Container* ContainerOf(EntryStore& store) {
  auto* tree_store = dynamic_cast<TreeEntryStore*>(&store);
  return tree_store != nullptr ? &tree_store->container() : nullptr;
}

bool IsChanging(int32_t op) {
  switch (op) {
    case files::kOpAdd:
    case files::kOpAppend:
    case files::kOpPut:
    case files::kOpPutAtPointer:
    case files::kOpDelete:
    case files::kOpEmpty:
    case files::kOpPack:
    case files::kOpBuildKeys:
    case files::kOpBuildKeysText:
    case files::kOpBuildKeysVariant:
    case files::kOpBuildKeysTwoTexts:
    case files::kOpRelease:
      return true;
    default:
      return false;
  }
}

// A read that ends like this may begin a read run's tenure: it found its
// record or the end of its sequence. After any other failure the reader byte
// goes back at once, as outside a run.
bool KeepsTenure(int32_t rc) {
  return rc == 0 || rc == files::kRecordNotAvailable || rc == files::kRecordNotFound;
}

SavePolicy PolicyOf(const FileRecord& file) {
  // The two further declared attributes: 0x02 defers writes until Release
  // or Close, 0x08 batches them.
  if (file.attributes & files::kAttrDriverFlag02) return SavePolicy::kDeferred;
  if (file.attributes & files::kAttrDriverFlag08) return SavePolicy::kBatch;
  return SavePolicy::kEveryCall;
}

}  // namespace

// A blob's value is the block's copy, whose length is the blob's own; a text
// memo's is its buffer.
MemoValues MemosOf(const FileRecord& file) {
  MemoValues memos;
  const auto* blobs = dynamic_cast<const BlobBlock*>(file.block.get());
  for (size_t i = 0; i < file.memo_buffers.size(); ++i) {
    if (IsBlobMemo(file, i)) {
      memos.push_back(blobs != nullptr && i < blobs->blobs.size() ? blobs->blobs[i]
                                                                  : std::string());
    } else {
      memos.emplace_back(file.memo_buffers[i].begin(), file.memo_buffers[i].end());
    }
  }
  return memos;
}

void StoreMemos(const MemoValues& memos, FileRecord* file) {
  auto* blobs = dynamic_cast<BlobBlock*>(file->block.get());
  for (size_t i = 0; i < file->memo_buffers.size() && i < memos.size(); ++i) {
    if (blobs != nullptr && IsBlobMemo(*file, i)) {
      if (blobs->blobs.size() <= i) blobs->blobs.resize(file->memo_buffers.size());
      blobs->blobs[i] = memos[i];
    }
    auto& buffer = file->memo_buffers[i];
    const bool text = file->declaration->memos != nullptr && i < file->declaration->memo_count &&
                      file->declaration->memos[i]->flags == 0;
    std::fill(buffer.begin(), buffer.end(), text ? ' ' : '\0');
    std::memcpy(buffer.data(), memos[i].data(), std::min(buffer.size(), memos[i].size()));
  }
}

// The block goes with its thread or its file declaration; a close's error
// has nobody left to hear it.
QvfBlock::~QvfBlock() { (void)CloseTable(); }

int QvfBlock::CloseTable() {
  if (!table) return 0;
  EndTenure(lock);
  int rc = 0;
  table->ReleaseHeld();
  if (table_locked) {
    lock->locks().UnlockTable(table->id());
    table_locked = false;
  }
  if (container != nullptr && container->dirty_pages() > 0 && !lock->in_transaction()) {
    // Deferred or batched changes are written before the table goes.
    CallScope scope(lock, container, sharing(), SavePolicy::kEveryCall);
    rc = scope.Begin(true);
    int end = scope.End();
    if (rc == 0) rc = end;
  }
  if (int closed = table->Close(); rc == 0) rc = closed;
  table.reset();
  container = nullptr;
  TheDriverFiles().ReleaseLock(lock);
  lock = nullptr;
  return rc;
}

namespace {

class QvfDriver : public files::Driver {
 public:
  QvfDriver() { FillRegistration(&QvfEntry, &reg_); }
  const files::Registration& registration() const override { return reg_; }

  int32_t NewBlock(FileRecord& file, std::unique_ptr<files::DriverBlock>* out) override {
    auto block = std::make_unique<BlobBlock>();
    FillBlock(file, block.get());
    *out = std::move(block);
    return 0;
  }

  int32_t Perform(Call& call) override {
    auto& b = static_cast<QvfBlock&>(*call.block);
    PrepareTenures(call.op, b);
    switch (call.op) {
      case files::kOpSend:
        return Send(call, b);
      case files::kOpName:
        call.text_result = b.name;
        return 0;
      case files::kOpOpen:
      case files::kOpOpen2:
        return Open(call, b);
      case files::kOpCreate:
        return Create(call, b);
      case files::kOpRemove:
        return Remove(call, b);
      case files::kOpClose:
        return b.CloseTable();
      case files::kOpCommitFile:
        return TheDriverFiles().CommitTransaction();
      case files::kOpRollbackFile:
        return TheDriverFiles().RollbackTransaction();
      case files::kOpCopy:
      case files::kOpRename: {
        std::string name = TrimmedName(b.name);
        std::string target = TrimmedName(call.text1);
        if (name.empty() || target.empty()) return files::kInvalidFilename;
        return CopyTable(*call.file, name, target, call.op == files::kOpRename);
      }
      case files::kOpBlob75:
      case files::kOpBlob76:
      case files::kOpBlob77:
      case files::kOpBlob78:
      case files::kOpBlob79:
        return BlobTransfer(call, static_cast<BlobBlock&>(b));
      default:
        break;
    }
    if (!reg_.SupportsOp(call.op) && call.op != files::kOpOrderKey) {
      return files::kUnsupportedFunction;
    }
    if (!b.table) return files::kFileNotOpen;
    return TableOperation(call, b);
  }

 private:
  int32_t Open(Call& call, QvfBlock& b) {
    std::string name = TrimmedName(b.name);
    if (name.empty()) return files::kInvalidFilename;
    b.name = name;
    LockFile* lock = nullptr;
    std::unique_ptr<Table> table;
    const auto mode = static_cast<int32_t>(call.args.Int(0));
    if (int rc = OpenTable(*call.file, name, mode, /*create=*/false, /*keep_existing=*/false, &lock,
                           &table);
        rc != 0) {
      return rc;
    }
    b.table = std::move(table);
    b.lock = lock;
    b.container = ContainerOf(b.table->store());
    b.table->SetLocks(RecordLocks{[lock](uint32_t n) { return lock->locks().TryLockRecord(n); },
                                  [lock](uint32_t n) { lock->locks().UnlockRecord(n); },
                                  [lock](uint32_t n) { return lock->locks().RecordFree(n); }});
    b.pos = SequencePosition();
    b.access_key = -1;
    b.DropRequests();
    return 0;
  }

  int32_t Create(Call& call, QvfBlock& b) {
    if (!(b.driver_flags & 0x02)) return files::kNoCreateAttribute;
    std::string name = TrimmedName(b.name);
    if (name.empty()) return files::kInvalidFilename;
    return CreateTable(*call.file, name, call.args.Int(0) == files::kCreateKeepingExisting);
  }

  int32_t Remove(Call& call, QvfBlock& b) {
    std::string name = TrimmedName(b.name);
    if (name.empty()) return files::kInvalidFilename;
    LockFile* lock = nullptr;
    std::unique_ptr<Table> table;
    if (int rc = OpenTable(*call.file, name, files::kModeReadWrite, /*create=*/false,
                           /*keep_existing=*/false, &lock, &table);
        rc != 0) {
      return rc;
    }
    Container* container = ContainerOf(table->store());
    int rc = lock->locks().LockWriter();
    if (rc == 0) {
      container->SetWriterMode(true);
      rc = container->Refresh();
      if (rc == 0) rc = table->Remove();
      if (rc == 0) {
        rc = container->Save();
      } else {
        container->DiscardAfterFailure();
      }
      container->SetWriterMode(false);
      lock->locks().UnlockFile();
    }
    int closed = table->Close();
    TheDriverFiles().ReleaseLock(lock);
    return rc != 0 ? rc : closed;
  }

  int32_t Send(Call& call, QvfBlock& b) {
    SendCommand command = ParseSend(call.text1);
    switch (command.kind) {
      case SendKind::kCoordinationFile:
        SetCoordinationFileName(command.argument);
        call.text_result.clear();
        return 0;
      case SendKind::kNextTableName:
        return NextTableName(call, b, command.argument);
      case SendKind::kChangeCount:
        return ChangeCount(call, b);
      default:
        call.text_result = kSendNotRecognised;
        return 0;
    }
  }

  // The file's save counter as its header says now: the call's scope reads
  // the header again, as every call does before it reads records.
  int32_t ChangeCount(Call& call, QvfBlock& b) {
    call.text_result.clear();
    if (!b.table) return files::kFileNotOpen;
    CallScope scope(b.lock, b.container, b.sharing(), PolicyOf(*call.file));
    if (int rc = scope.Begin(false); rc != 0) return rc;
    call.text_result = std::to_string(b.container->header().change_counter);
    return scope.End();
  }

  // The table name after `after` in the file's directory (names are stored
  // upper case), with its terminating 0; empty when there is none.
  int32_t NextTableName(Call& call, QvfBlock& b, const std::string& after) {
    call.text_result.clear();
    std::string from = DirectoryKey(after);
    auto search = [&](EntryStore& store) -> int {
      std::optional<StoredEntry> e;
      if (int rc = store.Find(Search::kNextAfter, from, &e); rc != 0) return rc;
      if (e && !e->key.empty() && static_cast<uint8_t>(e->key[0]) == kEntryDirectory) {
        call.text_result = e->key.substr(1);  // the name and its 0
      }
      return 0;
    };
    if (b.table) {
      CallScope scope(b.lock, b.container, b.sharing(), PolicyOf(*call.file));
      if (int rc = scope.Begin(false); rc != 0) return rc;
      int rc = search(b.table->store());
      int end = scope.End();
      return rc != 0 ? rc : end;
    }
    std::string name = TrimmedName(b.name);
    if (name.empty()) return files::kInvalidFilename;
    TableName split;
    if (int rc = SplitTableName(name, &split); rc != 0) return rc;
    DriverFiles& files = TheDriverFiles();
    LockFile* lock = nullptr;
    if (int rc = files.AcquireLock(split.file, false, &lock); rc != 0) return rc;
    SharedFile* shared = nullptr;
    int rc = lock->locks().LockReader();
    if (rc == 0) {
      rc = files.registry()->Acquire(split.file, false, &shared);
      if (rc == 0) {
        if (Container* c = ContainerOf(shared->store())) {
          c->SetWriterMode(false);
          rc = c->Refresh();
        }
        if (rc == 0) rc = search(shared->store());
        if (int released = files.registry()->Release(shared); rc == 0) rc = released;
      }
      lock->locks().UnlockFile();
    }
    files.ReleaseLock(lock);
    return rc;
  }

  int32_t TableOperation(Call& call, QvfBlock& b);
  std::optional<int32_t> PagelessOperation(Call& call, QvfBlock& b);

  files::Registration reg_;
};

// The work of a table operation inside its call (locked or optimistic).
int32_t TableWork(Call& call, QvfBlock& b, CallScope& scope);

[[nodiscard]] int KeyIndex(const Call& call, const QvfBlock& b, int arg, int* k) {
  const files::KeyDecl* key = call.args.KeyAt(arg);
  if (key == nullptr || key->number < 1 || key->number > static_cast<int>(b.table->keys().size())) {
    return files::kInvalidKeyFile;
  }
  *k = key->number - 1;
  return 0;
}

// The requests that touch no page: answered from what the block and the
// table hold in memory, with no lock and no look at the file. Nothing for
// every other request.
std::optional<int32_t> QvfDriver::PagelessOperation(Call& call, QvfBlock& b) {
  Table& t = *b.table;
  FileRecord& file = *call.file;
  switch (call.op) {
    case files::kOpHoldNext:
      b.hold_next = true;
      b.hold_timeout = -1;
      return 0;
    case files::kOpHoldNextTimeout:
      b.hold_next = true;
      b.hold_timeout = call.args.Int(0);
      return 0;
    case files::kOpHold:
      return 0;
    case files::kOpWatch:
      b.watch_next = true;
      return 0;
    case files::kOpSkipMemos:
      b.skip_memos_next = true;
      return 0;
    case files::kOpReleaseHeld:
      t.ReleaseHeld();
      return 0;
    case files::kOpLock:
    case files::kOpLockTimeout: {
      if (b.table_locked) return 0;
      int rc = b.lock->locks().TryLockTable(t.id());
      if (rc == 0) b.table_locked = true;
      return rc;
    }
    case files::kOpUnlock:
      if (b.table_locked) b.lock->locks().UnlockTable(t.id());
      b.table_locked = false;
      return 0;
    case files::kOpPointer:
    case files::kOpPointer2:
      call.value = t.current();
      return 0;
    // A position is made of the current record's number and the key value of
    // the record as last read, both held in memory: a browse asks for one per
    // row it shows, so it costs no lock and no look at the file.
    case files::kOpPosition:
      call.text_result = EncodePosition(t.current());
      return 0;
    case files::kOpPositionKey: {
      int k = 0;
      if (int rc = KeyIndex(call, b, 0, &k); rc != 0) return rc;
      // A record read through this key's entry has its value there already;
      // otherwise it is encoded from the record as last read.
      const std::string* noted = t.KeyValueAsRead(k);
      const std::string& saved = t.saved();
      std::string encoded;
      if (noted == nullptr && saved.size() == file.record_length) {
        const bool oem = (file.attributes & files::kAttrOemText) != 0;
        encoded = EncodeKeyValue(t.keys()[k], reinterpret_cast<const uint8_t*>(saved.data()), oem);
      }
      call.text_result = EncodeKeyPosition(t.current(), noted != nullptr ? *noted : encoded);
      return 0;
    }
    case files::kOpOrderKey:
      call.value = b.access_key + 1;
      return 0;
    case files::kOpBeginTransaction:
      return TheDriverFiles().JoinTransaction(b.lock, &t.store(), b.container);
    default:
      return std::nullopt;
  }
}

int32_t QvfDriver::TableOperation(Call& call, QvfBlock& b) {
  if (std::optional<int32_t> answered = PagelessOperation(call, b)) return *answered;
  FileRecord& file = *call.file;
  const bool writer = IsChanging(call.op);
  if (b.container != nullptr) b.container->SetReadAhead(!writer && files::InReadRun());
  const SavePolicy policy = call.op == files::kOpRelease ? SavePolicy::kEveryCall : PolicyOf(file);
  if (!writer) {
    if (ServeInTenure(b)) {
      CallScope kept(b.lock, b.container, b.sharing(), policy);
      kept.ResumeTenure();
      int32_t rc = TableWork(call, b, kept);
      int end = kept.End();
      return rc != 0 ? rc : end;
    }
    OptimisticRead attempt(call, b, b.attempt);
    if (attempt.Begin()) {
      // Never begun: the calls served here take no hold, so nothing pauses.
      CallScope unlocked(b.lock, b.container, b.sharing(), policy);
      int32_t rc = TableWork(call, b, unlocked);
      bool kept = false;
      if (attempt.Finish(&rc, KeepsTenure(rc) && TenureMayBegin(b), &kept)) {
        if (kept) BeginTenure(b);
        return rc;
      }
    }
  }
  CallScope scope(b.lock, b.container, b.sharing(), policy);
  if (int rc = scope.Begin(writer); rc != 0) return rc;
  int rc = TableWork(call, b, scope);
  if (rc != 0 && writer && !b.lock->in_transaction() && PolicyOf(file) == SavePolicy::kEveryCall) {
    // A failed change may have written part of itself: none of it is kept.
    // (Deferred and batched tables keep earlier unsaved work.)
    b.container->DiscardAfterFailure();
  }
  if (!writer && KeepsTenure(rc) && TenureMayBegin(b)) scope.KeepReaderLock();
  int end = scope.End();
  if (scope.kept_reader()) BeginTenure(b);
  return rc != 0 ? rc : end;
}

// BUILD of the key the first text names ("ITE:LOC").
[[nodiscard]] int BuildNamedKey(Call& call, Table& t) {
  const FileRecord& decl = *call.file->declaration;
  std::string wanted = TrimmedName(call.text1);
  for (int i = 0; i < decl.key_count; ++i) {
    const files::KeyDecl* key = decl.keys[i];
    std::string name =
        key->name_length < 0 ? std::string(key->name) : std::string(key->name, key->name_length);
    if (strcasecmp(name.c_str(), wanted.c_str()) == 0 && key->number >= 1 &&
        key->number <= static_cast<int>(t.keys().size())) {
      return t.BuildKey(key->number - 1);
    }
  }
  return files::kInvalidKeyFile;
}

// RECORDS and BYTES of the table, from its record counter.
[[nodiscard]] int CountRecords(Call& call, Table& t) {
  const FileRecord& file = *call.file;
  Counter c;
  int rc = t.ReadCounter(kTableCounter, &c);
  if (rc == 0) {
    call.value = c.count;
    if (call.op == files::kOpBytes) {
      call.value = (file.attributes & files::kAttrDriverFlag02)
                       ? static_cast<int64_t>(file.record_length)
                       : static_cast<int64_t>(c.count) * file.record_length;
    }
  }
  return rc;
}

// DUPLICATE (one key) and DUPLICATE of every key: 1 when another record has
// the buffer's value of a key that allows no duplicates.
[[nodiscard]] int FindDuplicate(Call& call, QvfBlock& b) {
  Table& t = *b.table;
  const FileRecord& file = *call.file;
  int rc = 0;
  call.value = 0;
  for (size_t k = 0; k < t.keys().size() && rc == 0 && call.value == 0; ++k) {
    if (call.op == files::kOpDuplicate) {
      int wanted = 0;
      rc = KeyIndex(call, b, 0, &wanted);
      if (rc != 0 || static_cast<int>(k) != wanted) continue;
    }
    const KeyLayout& key = t.keys()[k];
    if (key.duplicates()) continue;
    KeyEntry entry;
    if (!t.KeyEntryFor(static_cast<int>(k), file.buffer, t.current(), &entry)) continue;
    std::optional<StoredEntry> found;
    rc = t.store().Find(Search::kExact, entry.key, &found);
    if (rc == 0 && found && KeyEntryRecord(key, found->key, found->data) != t.current()) {
      call.value = 1;
    }
  }
  return rc;
}

int32_t TableWork(Call& call, QvfBlock& b, CallScope& scope) {
  Table& t = *b.table;
  FileRecord& file = *call.file;
  int rc = 0;
  switch (call.op) {
    case files::kOpAdd:
    case files::kOpAppend:
      rc = t.Add(file.buffer, MemosOf(file), call.op == files::kOpAppend);
      break;
    case files::kOpPutAtPointer: {
      std::string scratch(file.record_length, '\0');
      MemoValues stored;
      rc = t.Read(static_cast<uint32_t>(call.args.Int(0)),
                  reinterpret_cast<uint8_t*>(scratch.data()), &stored);
      if (rc == files::kRecordNotFound) rc = files::kRecordNotAvailable;
      if (rc != 0) break;
      [[fallthrough]];
    }
    case files::kOpPut: {
      const bool held = t.held() != 0 && t.held() == t.current();
      rc = t.Rewrite(file.buffer, MemosOf(file));
      if (rc == 0 && held) t.ReleaseHeld();
      break;
    }
    case files::kOpDelete:
      rc = t.Delete();
      break;
    case files::kOpEmpty:
      rc = t.Empty();
      b.pos = SequencePosition();
      break;
    case files::kOpPack:
      rc = b.container->Save();
      if (rc == 0) rc = b.container->Truncate();
      break;
    case files::kOpBuildKeys:
      for (size_t k = 0; k < t.keys().size() && rc == 0; ++k) {
        if (!t.keys()[k].partial()) rc = t.BuildKey(static_cast<int>(k));
      }
      break;
    case files::kOpBuildKeysVariant: {
      int k = 0;
      rc = KeyIndex(call, b, 0, &k);
      if (rc == 0) rc = t.BuildKey(k);
      break;
    }
    case files::kOpBuildKeysText:
    case files::kOpBuildKeysTwoTexts:
      rc = BuildNamedKey(call, t);
      break;
    case files::kOpRelease:
      break;  // the end of the call saves and returns to reader mode
    case files::kOpRecords:
    case files::kOpBytes:
      rc = CountRecords(call, t);
      break;
    case files::kOpKeyRecords: {
      int k = 0;
      rc = KeyIndex(call, b, 0, &k);
      Counter c;
      if (rc == 0) rc = t.ReadCounter(t.keys()[k].number, &c);
      if (rc == 0) call.value = c.count;
      break;
    }
    case files::kOpDuplicate:
    case files::kOpDuplicateAll:
      rc = FindDuplicate(call, b);
      break;
    default:
      rc = PerformRead(call, b, scope);
      break;
  }
  return rc;
}

QvfDriver& TheDriver() {
  static QvfDriver* driver = new QvfDriver();
  return *driver;
}

}  // namespace

int32_t QvfEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  return files::DriverCall(TheDriver(), op, object, args);
}

}  // namespace vorsandt::qvf
