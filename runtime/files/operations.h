// The one-line routines the application calls. Each fills the argument
// array, pushes its text arguments, sends the operation to the object's
// driver and pops a text result. Success is read from Errors().Code().
#ifndef VORSANDT_RUNTIME_FILES_OPERATIONS_H_
#define VORSANDT_RUNTIME_FILES_OPERATIONS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/files/file_decl.h"

namespace vorsandt::files {

// Open modes: access code in the low two bits, sharing code in the high nibble.
inline constexpr int32_t kModeReadOnly = 0x40;
inline constexpr int32_t kModeReadWrite = 0x42;      // tables: read and write, others unrestricted
inline constexpr int32_t kModeReadWriteExclusive = 0x12;  // read and write, others kept out
inline constexpr int32_t kModeViewDefault = 0x22;

void Open(AccessObject* f, int32_t mode = kModeReadWrite);
void Create(AccessObject* f);
// Create's argument: 0 replaces an existing table (Create's own rule);
// kCreateKeepingExisting leaves a table that exists by now alone, so that of
// two programs that found a table missing at the same moment, the second
// opens what the first made instead of wiping it.
inline constexpr int32_t kCreateKeepingExisting = 1;
// Creates the table unless it exists by now (then it is left as it is).
void CreateIfMissing(AccessObject* f);
void Close(AccessObject* f);
void Remove(AccessObject* f);
void Copy(AccessObject* f, std::string_view to);
void Rename(AccessObject* f, std::string_view to);
void BuildKeys(AccessObject* f);
void Empty(AccessObject* f);
void Pack(AccessObject* f);

void Add(AccessObject* f);
void Append(AccessObject* f);
void Put(AccessObject* f);
void Delete(AccessObject* f);

void SetFile(AccessObject* f);
void SetFilePointer(AccessObject* f, int64_t pointer);
void SetKey(AccessObject* f, const KeyDecl* key);
void SetKeyValue(AccessObject* f, const KeyDecl* key);
void Next(AccessObject* f);
void Previous(AccessObject* f);
void Skip(AccessObject* f, int32_t count);
bool Eof(AccessObject* f);
bool Bof(AccessObject* f);

void GetByKey(AccessObject* f, const KeyDecl* key);
void GetByPointer(AccessObject* f, int64_t pointer);
int64_t Pointer(AccessObject* f);

std::string Position(AccessObject* f);
// The same into `out`, reusing its storage (for callers that ask per record).
void Position(AccessObject* f, std::string* out);
std::string PositionKey(AccessObject* f, const KeyDecl* key);
void PositionKey(AccessObject* f, const KeyDecl* key, std::string* out);
void Reset(AccessObject* f, std::string_view position);
void ResetKey(AccessObject* f, const KeyDecl* key, std::string_view position);
void Reget(AccessObject* f, std::string_view position);
void RegetKey(AccessObject* f, const KeyDecl* key, std::string_view position);

int32_t Records(AccessObject* f);
int32_t KeyRecords(AccessObject* f, const KeyDecl* key);
int32_t Bytes(AccessObject* f);
bool Duplicate(AccessObject* f, const KeyDecl* key);

void Lock(AccessObject* f);
void LockTimeout(AccessObject* f, int32_t seconds);
void Unlock(AccessObject* f);
void Release(AccessObject* f);

std::string Name(AccessObject* f);
std::string Send(AccessObject* f, std::string_view command);
// Views: filter text for property `property` (0 for the view's own filter).
void SetFilter(AccessObject* view, int32_t property, std::string_view filter);

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_OPERATIONS_H_
