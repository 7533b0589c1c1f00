#include "runtime/files/testing/memory_driver.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "runtime/files/driver.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"

namespace vorsandt::files::testing {
namespace {

using Record = std::vector<uint8_t>;

struct Table {
  std::vector<std::optional<Record>> records;  // index + 1 is the record pointer
  const void* lock_owner = nullptr;
};

std::map<std::string, Table>& Tables() {
  static std::map<std::string, Table> tables;
  return tables;
}

int32_t g_fail_next_commit = 0;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class MemoryBlock : public DriverBlock {
 public:
  ~MemoryBlock() override {
    if (Table* t = table()) {
      if (t->lock_owner == this) t->lock_owner = nullptr;
    }
  }
  Table* table() {
    auto it = Tables().find(Upper(name));
    return it == Tables().end() ? nullptr : &it->second;
  }
  long cursor = -1;  // index of the current record, -1 before the first
  std::optional<std::vector<std::optional<Record>>> snapshot;
};

class MemoryDriver : public Driver {
 public:
  explicit MemoryDriver(bool transactions) {
    reg_.driver_name = "MEMORY";
    reg_.library_name = "MEMORY";
    reg_.notice = "test driver";
    reg_.description = "In-memory test driver";
    reg_.caps = transactions ? Capabilities{true, true, true, true, true}
                             : Capabilities{false, false, false, true, true};
    reg_.types = {kTypeShort, kTypeLong, kTypeDecimal, kTypeString, kTypeGroup};
    reg_.operations = {1,  7,  8,  10, 11, 13, 14, 16, 20, 21, 22, 23, 24, 25,
                       27, 30, 31, 32, 37, 40, 41, 48, 50, 52, 61, 63, 66};
    if (!transactions)
      std::erase_if(reg_.operations, [](int op) { return op == 8 || op == 22 || op == 40; });
    reg_.entry = transactions ? MemoryEntry : MemoryNoTransactionEntry;
  }

  const Registration& registration() const override { return reg_; }

  int32_t NewBlock(FileRecord& file, std::unique_ptr<DriverBlock>* out) override {
    auto block = std::make_unique<MemoryBlock>();
    FillBlock(file, block.get());
    *out = std::move(block);
    return 0;
  }

  int32_t Perform(Call& call) override {
    if (std::optional<int32_t> rc = PerformOnFile(call)) return *rc;
    return PerformOnRecords(call);
  }

 private:
  // The operations on the table as a whole: nothing for another operation.
  std::optional<int32_t> PerformOnFile(Call& call) {
    auto* b = static_cast<MemoryBlock*>(call.block);
    Table* t = b->table();
    const bool transactions = reg_.caps.transactions;
    switch (call.op) {
      case kOpCreate:
        if (call.args.Int(0) == kCreateKeepingExisting && t != nullptr) return 0;
        Tables()[Upper(b->name)] = Table{};
        return 0;
      case kOpOpen:
      case kOpOpen2:
        if (t == nullptr) return kFileNotFound;
        b->cursor = -1;
        return 0;
      case kOpClose:
        if (t != nullptr && t->lock_owner == b) t->lock_owner = nullptr;
        return 0;
      case kOpRemove:
        if (t == nullptr) return kFileNotFound;
        Tables().erase(Upper(b->name));
        return 0;
      case kOpName:
        call.text_result = b->name;
        return 0;
      case kOpLock:
      case kOpLockTimeout:
        if (t->lock_owner != nullptr && t->lock_owner != b) return kFileAlreadyLocked;
        t->lock_owner = b;
        return 0;
      case kOpUnlock:
        if (t->lock_owner == b) t->lock_owner = nullptr;
        return 0;
      case kOpBeginTransaction:
        if (!transactions) return kUnsupportedFunction;
        b->snapshot = t->records;
        return 0;
      case kOpCommitFile:
        if (!transactions) return kUnsupportedFunction;
        if (int32_t fail = std::exchange(g_fail_next_commit, 0); fail != 0) return fail;
        b->snapshot.reset();
        return 0;
      case kOpRollbackFile:
        if (!transactions) return kUnsupportedFunction;
        if (b->snapshot) t->records = std::move(*b->snapshot);
        b->snapshot.reset();
        return 0;
      default:
        return std::nullopt;
    }
  }

  // The operations on records and the sequence.
  int32_t PerformOnRecords(Call& call) {
    auto* b = static_cast<MemoryBlock*>(call.block);
    FileRecord* f = call.file;
    Table* t = b->table();
    switch (call.op) {
      case kOpAdd:
        t->records.emplace_back(Record(f->buffer, f->buffer + f->record_length));
        b->cursor = static_cast<long>(t->records.size()) - 1;
        return 0;
      case kOpPut:
        if (!Live(t, b->cursor)) return kRecordNotAvailable;
        t->records[b->cursor] = Record(f->buffer, f->buffer + f->record_length);
        return 0;
      case kOpDelete:
        if (!Live(t, b->cursor)) return kRecordNotAvailable;
        t->records[b->cursor].reset();
        return 0;
      case kOpEmpty:
        t->records.clear();
        b->cursor = -1;
        return 0;
      case kOpSetFile:
        b->cursor = -1;
        return 0;
      case kOpNext:
      case kOpPrevious: {
        long i = b->cursor;
        const long step = call.op == kOpNext ? 1 : -1;
        if (call.op == kOpPrevious && b->last_sequential == kOpSetFile && i == -1) {
          i = static_cast<long>(t->records.size());
        }
        for (i += step; i >= 0 && i < static_cast<long>(t->records.size()); i += step) {
          if (t->records[i]) return Read(f, b, t, i);
        }
        return kRecordNotAvailable;
      }
      case kOpEof: {
        long i = b->cursor + 1;
        while (i < static_cast<long>(t->records.size()) && !t->records[i]) ++i;
        call.value = i >= static_cast<long>(t->records.size()) ? 1 : 0;
        return 0;
      }
      case kOpGetByPointer: {
        long i = static_cast<long>(call.args.Int(0)) - 1;
        if (!Live(t, i)) return kRecordNotFound;
        return Read(f, b, t, i);
      }
      case kOpPointer:
        call.value = b->cursor + 1;
        return 0;
      case kOpRecords:
        call.value = std::count_if(t->records.begin(), t->records.end(),
                                   [](const auto& r) { return r.has_value(); });
        return 0;
      case kOpBytes:
        call.value = (call.block->state & 0x02) ? f->record_length : 0;
        return 0;
      case kOpPosition:
        call.text_result = "MEM:" + std::to_string(b->cursor + 1);
        return 0;
      case kOpReset:
      case kOpReget: {
        if (call.text1.rfind("MEM:", 0) != 0) return kRecordNotFound;
        long i = std::atol(call.text1.c_str() + 4) - 1;
        if (call.op == kOpReset) {
          b->cursor = i - 1;
          return 0;
        }
        if (!Live(t, i)) return kRecordNotFound;
        return Read(f, b, t, i);
      }
      default:
        return kUnsupportedFunction;
    }
  }

  static bool Live(Table* t, long i) {
    return i >= 0 && i < static_cast<long>(t->records.size()) && t->records[i].has_value();
  }
  static int32_t Read(FileRecord* f, MemoryBlock* b, Table* t, long i) {
    std::memcpy(f->buffer, t->records[i]->data(),
                std::min<size_t>(f->record_length, t->records[i]->size()));
    b->cursor = i;
    return 0;
  }

  Registration reg_;
};

MemoryDriver& Full() {
  static MemoryDriver d(true);
  return d;
}
MemoryDriver& NoTransactions() {
  static MemoryDriver d(false);
  return d;
}

}  // namespace

int32_t MemoryEntry(int32_t op, AccessObject* object, const Args& args) {
  return DriverCall(Full(), op, object, args);
}

int32_t MemoryNoTransactionEntry(int32_t op, AccessObject* object, const Args& args) {
  return DriverCall(NoTransactions(), op, object, args);
}

void ResetMemoryFiles() { Tables().clear(); }

void FailNextCommit(int32_t code) { g_fail_next_commit = code; }

int MemoryFileRecords(const std::string& name) {
  auto it = Tables().find(Upper(name));
  if (it == Tables().end()) return -1;
  return static_cast<int>(std::count_if(it->second.records.begin(), it->second.records.end(),
                                        [](const auto& r) { return r.has_value(); }));
}

}  // namespace vorsandt::files::testing
