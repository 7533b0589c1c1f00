// The transaction frame over several files: Logout begins a transaction on
// every listed file, Commit and Rollback end it on all of them.
#ifndef VORSANDT_RUNTIME_FILES_TRANSACTION_H_
#define VORSANDT_RUNTIME_FILES_TRANSACTION_H_

#include <cstdint>
#include <initializer_list>
#include <span>

namespace vorsandt::files {

struct FileRecord;

// Begins a transaction over `files` (declarations; files never used by this
// thread are skipped). Each file is locked first when its driver asks, waiting
// up to `timeout_seconds`. Fails with 56 while a transaction is active and
// with 48 when any file cannot take part; then everything begun is rolled
// back. Returns the posted code (0 on success).
int32_t Logout(int32_t timeout_seconds, std::span<FileRecord* const> files);
int32_t Logout(int32_t timeout_seconds, std::initializer_list<FileRecord*> files);

// Ends the transaction keeping (Commit) or undoing (Rollback) every change.
void Commit();
void Rollback();

// Is a transaction active in this process?
bool InTransaction();

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_TRANSACTION_H_
