#include "runtime/files/transaction.h"

#include <vector>

#include "runtime/files/driver.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/registry.h"

namespace vorsandt::files {
namespace {

bool g_in_transaction = false;

struct Member {
  FileRecord* file;
  Capabilities caps;
};

// Entries marked as taking part, collected first so that driver calls run
// without the registry's lock held.
std::vector<Member> MarkedMembers() {
  std::vector<Member> members;
  OpenFiles().ForEach([&members](RegistryEntry& e) {
    if (e.in_transaction) members.push_back({e.file, e.caps});
  });
  return members;
}

void ClearMark(FileRecord* file) {
  if (RegistryEntry* e = OpenFiles().Find(file)) e->in_transaction = false;
}

// Ends the transaction on every member. A member whose commit fails is
// rolled back. The Unlock that follows a commit
// resets the error state when it succeeds, which would hide a failed commit;
// so the first failure of CommitFile or RollbackFile is posted again at the
// end, against the file that failed.
void EndAll(bool commit) {
  g_in_transaction = false;
  int32_t first_failure = 0;
  FileRecord* failed_file = nullptr;
  for (const Member& m : MarkedMembers()) {
    if ((commit && m.caps.commit) || (!commit && m.caps.rollback)) {
      m.file->Send(commit ? kOpCommitFile : kOpRollbackFile);
      if (Errors().Code() != 0) {
        if (first_failure == 0) {
          first_failure = Errors().Code();
          failed_file = m.file;
        }
        // A file whose commit failed would stay inside the transaction for
        // good (no Close, no Unlock); undoing it returns it to its last
        // committed state and frees it.
        if (commit && m.caps.rollback) m.file->Send(kOpRollbackFile);
      }
    }
    if (m.caps.unlock_after_transaction) m.file->Send(kOpUnlock);
    ClearMark(m.file);
  }
  if (first_failure != 0) {
    Errors().Post(first_failure);
    Errors().SetFailingObject(failed_file);
  }
}

int32_t Fail() {
  EndAll(/*commit=*/false);
  Errors().Post(kUnableToLogTransaction);
  return kUnableToLogTransaction;
}

}  // namespace

bool InTransaction() { return g_in_transaction; }

int32_t Logout(int32_t timeout_seconds, std::initializer_list<FileRecord*> files) {
  return Logout(timeout_seconds, std::span<FileRecord* const>(files.begin(), files.size()));
}

int32_t Logout(int32_t timeout_seconds, std::span<FileRecord* const> files) {
  if (g_in_transaction) {
    Errors().Post(kLogoutAlreadyActive);
    return kLogoutAlreadyActive;
  }
  for (FileRecord* decl : files) {
    if (decl == nullptr) break;  // the list may be ended by a null
    FileRecord* file = FindInstance(decl);
    if (file == nullptr || !file->block) continue;
    RegistryEntry* entry = OpenFiles().Find(file);
    if (entry == nullptr) return Fail();
    const Capabilities caps = entry->caps;
    if (caps.lock_before_transaction) {
      file->Send(kOpLockTimeout, Args{timeout_seconds});
      int32_t code = Errors().Code();
      if (code != 0 && code != kUnsupportedFunction) return Fail();
    }
    if (!caps.transactions) {
      if (caps.unlock_after_transaction) file->Send(kOpUnlock);
      return Fail();
    }
    file->Send(kOpBeginTransaction);
    if (Errors().Code() != 0) {
      if (caps.unlock_after_transaction) file->Send(kOpUnlock);
      return Fail();
    }
    if (RegistryEntry* e = OpenFiles().Find(file)) e->in_transaction = true;
  }
  g_in_transaction = true;
  Errors().Clear();
  return 0;
}

void Commit() { EndAll(/*commit=*/true); }

void Rollback() { EndAll(/*commit=*/false); }

}  // namespace vorsandt::files
