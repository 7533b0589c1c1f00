#include "runtime/files/operations.h"

#include "runtime/files/op_codes.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::files {
namespace {

intptr_t K(const KeyDecl* key) { return reinterpret_cast<intptr_t>(key); }

std::string PopText() { return Texts().Pop().value_or(std::string()); }

}  // namespace

void Open(AccessObject* f, int32_t mode) { f->Send(kOpOpen, Args{mode}); }
void Create(AccessObject* f) { f->Send(kOpCreate); }
void CreateIfMissing(AccessObject* f) { f->Send(kOpCreate, Args{kCreateKeepingExisting}); }
void Close(AccessObject* f) { f->Send(kOpClose); }
void Remove(AccessObject* f) { f->Send(kOpRemove); }
void Copy(AccessObject* f, std::string_view to) { Texts().Push(to); f->Send(kOpCopy); }
void Rename(AccessObject* f, std::string_view to) { Texts().Push(to); f->Send(kOpRename); }
void BuildKeys(AccessObject* f) { f->Send(kOpBuildKeys); }
void Empty(AccessObject* f) { f->Send(kOpEmpty); }
void Pack(AccessObject* f) { f->Send(kOpPack); }

void Add(AccessObject* f) { f->Send(kOpAdd); }
void Append(AccessObject* f) { f->Send(kOpAppend); }
void Put(AccessObject* f) { f->Send(kOpPut); }
void Delete(AccessObject* f) { f->Send(kOpDelete); }

void SetFile(AccessObject* f) { f->Send(kOpSetFile); }
void SetFilePointer(AccessObject* f, int64_t pointer) { f->Send(kOpSetFilePointer, Args{pointer}); }
void SetKey(AccessObject* f, const KeyDecl* key) { f->Send(kOpSetKey, Args{K(key)}); }
void SetKeyValue(AccessObject* f, const KeyDecl* key) { f->Send(kOpSetKeyValue, Args{K(key)}); }
void Next(AccessObject* f) { f->Send(kOpNext); }
void Previous(AccessObject* f) { f->Send(kOpPrevious); }
void Skip(AccessObject* f, int32_t count) { f->Send(kOpSkip, Args{count}); }
bool Eof(AccessObject* f) { return f->Send(kOpEof) != 0; }
bool Bof(AccessObject* f) { return f->Send(kOpBof) != 0; }

void GetByKey(AccessObject* f, const KeyDecl* key) { f->Send(kOpGetByKey, Args{K(key)}); }
void GetByPointer(AccessObject* f, int64_t pointer) { f->Send(kOpGetByPointer, Args{pointer}); }
int64_t Pointer(AccessObject* f) { return f->Send(kOpPointer); }

std::string Position(AccessObject* f) {
  f->Send(kOpPosition);
  return PopText();
}

void Position(AccessObject* f, std::string* out) {
  f->Send(kOpPosition);
  Texts().PopInto(out);
}

std::string PositionKey(AccessObject* f, const KeyDecl* key) {
  f->Send(kOpPositionKey, Args{K(key)});
  return PopText();
}

void PositionKey(AccessObject* f, const KeyDecl* key, std::string* out) {
  f->Send(kOpPositionKey, Args{K(key)});
  Texts().PopInto(out);
}

void Reset(AccessObject* f, std::string_view position) {
  Texts().Push(position);
  f->Send(kOpReset);
}

void ResetKey(AccessObject* f, const KeyDecl* key, std::string_view position) {
  Texts().Push(position);
  f->Send(kOpResetKey, Args{K(key)});
}

void Reget(AccessObject* f, std::string_view position) {
  Texts().Push(position);
  f->Send(kOpReget);
}

void RegetKey(AccessObject* f, const KeyDecl* key, std::string_view position) {
  Texts().Push(position);
  f->Send(kOpRegetKey, Args{K(key)});
}

int32_t Records(AccessObject* f) { return f->Send(kOpRecords); }
int32_t KeyRecords(AccessObject* f, const KeyDecl* key) {
  return f->Send(kOpKeyRecords, Args{K(key)});
}
int32_t Bytes(AccessObject* f) { return f->Send(kOpBytes); }
bool Duplicate(AccessObject* f, const KeyDecl* key) {
  return f->Send(kOpDuplicate, Args{K(key)}) != 0;
}

void Lock(AccessObject* f) { f->Send(kOpLock); }
void LockTimeout(AccessObject* f, int32_t seconds) { f->Send(kOpLockTimeout, Args{seconds}); }
void Unlock(AccessObject* f) { f->Send(kOpUnlock); }
void Release(AccessObject* f) { f->Send(kOpRelease); }

std::string Name(AccessObject* f) {
  f->Send(kOpName);
  return PopText();
}

std::string Send(AccessObject* f, std::string_view command) {
  Texts().Push(command);
  f->Send(kOpSend);
  return PopText();
}

void SetFilter(AccessObject* view, int32_t property, std::string_view filter) {
  // Two texts: the property number, then the filter.
  Texts().PushNumber(property);
  Texts().Push(filter);
  view->Send(kOpSetFilter, Args{0});
}

}  // namespace vorsandt::files
