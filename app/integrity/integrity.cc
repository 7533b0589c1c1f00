// The cascade engine behind the delete and change routines (see
// integrity.h for the invariants every routine keeps).
//
// Children are found through the relation's child key: the child's record
// buffer is cleared to zero bytes (so that key components after the linking
// field hold their lowest value), the linking field is set, the key is
// positioned there and read forward while the linking field still holds the
// parent's value. The records found are collected first and then deleted or
// rewritten one by one by record pointer, so that a rewrite that moves a child
// inside the key (a renamed location sorting after the old name) can neither
// make the scan skip a child nor meet the same child twice.
#include "app/integrity/integrity.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/documents/document_store.h"
#include "app/messages/table_opening.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "runtime/format/characters.h"

namespace vorsandt::app {
namespace {

// The transaction waits this long for the framed tables.
constexpr int32_t kFrameTimeoutSeconds = 2;

// The tables each routine opens and frames, in the order they are framed.
struct RoutineTables {
  Table table;
  std::span<const Table> on_delete;
  std::span<const Table> on_change;
};

constexpr Table kPolicyDelete[] = {Table::kPolicy,   Table::kItems,     Table::kService,
                                   Table::kWarranty, Table::kDocuments, Table::kChecks};
constexpr Table kPolicyChange[] = {Table::kPolicy, Table::kItems};
constexpr Table kLocations[] = {Table::kLocations, Table::kItems,     Table::kService,
                                Table::kWarranty,  Table::kDocuments, Table::kChecks};
constexpr Table kItems[] = {Table::kItems, Table::kService, Table::kWarranty, Table::kDocuments,
                            Table::kChecks};
constexpr Table kInsurer[] = {
    Table::kInsuranceCompany, Table::kItems,     Table::kPolicy, Table::kService,
    Table::kWarranty,         Table::kDocuments, Table::kChecks};
constexpr Table kCompanies[] = {Table::kCompanies, Table::kService};
constexpr Table kService[] = {Table::kService};
constexpr Table kWarranty[] = {Table::kWarranty};
constexpr Table kClaim[] = {Table::kClaim};
constexpr Table kDocuments[] = {Table::kDocuments};
constexpr Table kChecks[] = {Table::kChecks};

constexpr RoutineTables kRoutines[] = {
    {Table::kPolicy, kPolicyDelete, kPolicyChange},
    {Table::kLocations, kLocations, kLocations},
    {Table::kItems, kItems, kItems},
    {Table::kInsuranceCompany, kInsurer, kInsurer},
    {Table::kCompanies, kCompanies, kCompanies},
    {Table::kService, kService, kService},
    {Table::kWarranty, kWarranty, kWarranty},
    {Table::kClaim, kClaim, kClaim},
    {Table::kDocuments, kDocuments, kDocuments},
    {Table::kChecks, kChecks, kChecks},
};

const RoutineTables& RoutineOf(Table t) {
  for (const RoutineTables& r : kRoutines) {
    if (r.table == t) return r;
  }
  return kRoutines[0];  // every table has a row; not reached
}

void DefaultReporter(MessageId id, std::string_view t1, std::string_view t2) {
  WarningMessage(id, t1, t2);
}
IntegrityReporter g_reporter = &DefaultReporter;

void Report(MessageId id, std::string_view t1, std::string_view t2 = {}) { g_reporter(id, t1, t2); }

const char* Label(Table t) { return Def(t).label; }

// A field of the calling thread's record buffer of its table.
files::FieldBytes BytesIn(Table t, const FieldDef& f) {
  return {f.type, files::RecordBuffer(File(t)) + f.offset, f.size, f.places};
}

// A field value kept apart from any record: the field's bytes.
using Value = std::string;

Value ReadValue(const files::FieldBytes& f) {
  return Value(reinterpret_cast<const char*>(f.at), f.size);
}

// Writes a value read from a field of the same kind into `to`: texts through
// the text codec (blank padded to the target's length), numbers by value.
void WriteValue(const files::FieldBytes& from_kind, const Value& value,
                const files::FieldBytes& to) {
  files::FieldBytes src = from_kind;
  src.at = reinterpret_cast<uint8_t*>(const_cast<char*>(value.data()));
  if (files::IsTextType(src.type)) {
    files::WriteText(to, files::ReadText(src).value_or(std::string()));
  } else {
    files::WriteNumber(to, files::ReadNumber(src).value_or(0), files::Overflow::kSaturate);
  }
}

std::string TrimmedText(const files::FieldBytes& f) {
  std::string text = files::ReadText(f).value_or(std::string());
  return std::string(TrimRight(text));
}

// Whether two fields hold the same value: texts without trailing blanks
// (upper-cased when `no_case`, as a case-insensitive key compares them),
// numbers by value.
bool SameValue(const files::FieldBytes& a, const files::FieldBytes& b, bool no_case) {
  if (files::IsTextType(a.type) && files::IsTextType(b.type)) {
    std::string x = TrimmedText(a), y = TrimmedText(b);
    if (no_case) return format::ToUpperText(x) == format::ToUpperText(y);
    return x == y;
  }
  return files::ReadNumber(a).value_or(0) == files::ReadNumber(b).value_or(0);
}

// One relation resolved against the dictionary.
struct Link {
  Table parent;
  Table child;
  const FieldDef* parent_field;
  const FieldDef* child_field;
  const files::KeyDecl* child_key;
  bool no_case;  // the child key compares texts case-insensitively
};

Link Resolve(const RelationDef& r) {
  Link link{r.parent,
            r.child,
            FieldNamed(r.parent_field),
            FieldNamed(r.child_field),
            KeyNamed(r.child_key),
            false};
  for (const KeyDef& k : Def(r.child).keys) {
    if (std::string_view(k.name) == r.child_key) link.no_case = (k.flags & 0x04) != 0;
  }
  return link;
}

bool Failed() { return files::Errors().Code() != 0; }

// Collects the records of the link's child whose linking field holds `value`
// (a value of the parent's field). False after a read failure, reported with
// message 35 naming the child.
bool FindChildren(const Link& link, const Value& value, std::vector<int64_t>* found) {
  files::FileRecord* child = File(link.child);
  const files::FieldBytes parent_kind = BytesIn(link.parent, *link.parent_field);
  const files::FieldBytes linking = BytesIn(link.child, *link.child_field);
  // Zero bytes everywhere: the key's later components start at their lowest.
  std::memset(files::RecordBuffer(child), 0, Def(link.child).record_length);
  WriteValue(parent_kind, value, linking);
  // The linking value as the child field holds it, to compare each record with.
  const Value wanted = ReadValue(linking);
  files::FieldBytes wanted_bytes = linking;
  wanted_bytes.at = reinterpret_cast<uint8_t*>(const_cast<char*>(wanted.data()));

  files::SetKeyValue(child, link.child_key);
  if (Failed()) {
    Report(MessageId::kRecordRetrievalError, Label(link.child));
    return false;
  }
  for (;;) {
    files::Next(child);
    const int32_t code = files::Errors().Code();
    if (code == files::kRecordNotAvailable) return true;
    if (code != 0) {
      Report(MessageId::kRecordRetrievalError, Label(link.child));
      return false;
    }
    if (!SameValue(linking, wanted_bytes, link.no_case)) return true;
    found->push_back(files::Pointer(child));
  }
}

bool ReadChild(const Link& link, int64_t pointer) {
  files::GetByPointer(File(link.child), pointer);
  if (!Failed()) return true;
  Report(MessageId::kRecordRetrievalError, Label(link.child));
  return false;
}

// What the delete cascade does with each record it reaches: delete it, or
// only count it (and the records that keep naming it) for the question the
// form asks before a delete.
enum class Walk { kDelete, kCount };

// What a counting walk found: the records it would delete, per table, and
// the records naming one of them, per kept reference.
struct WalkCounts {
  std::array<int64_t, kTableCount> deleted{};
  std::vector<int64_t> kept = std::vector<int64_t>(KeptReferences().size(), 0);
};

bool WalkDependants(Table parent, Walk walk, WalkCounts* counts);

// The stored files of the records this thread's delete has deleted so far:
// put aside once the delete is committed, forgotten when it is undone, so
// that a record and its file never part.
thread_local std::vector<std::string> t_deleted_files;

// Deletes the current record of `t`, noting its stored file.
bool DeleteCurrent(Table t) {
  const char* file_field = Def(t).stored_file_field;
  std::string stored;
  if (file_field != nullptr) stored = TrimmedText(BytesIn(t, *FieldNamed(file_field)));
  files::Delete(File(t));
  if (Failed()) {
    Report(MessageId::kDeleteOperationError, Label(t));
    return false;
  }
  if (!stored.empty()) t_deleted_files.push_back(std::move(stored));
  return true;
}

// After a committed delete: the deleted records' files go to
// documents/.deleted. One that cannot be moved stays where it was, which
// loses nothing.
void PutAsideDeletedFiles() {
  std::string error;
  for (const std::string& name : t_deleted_files) PutAside(env::Env::Default(), name, &error);
  t_deleted_files.clear();
}

// Counts the records that name the record in `target`'s buffer through a
// reference that keeps them.
bool CountKept(Table target, WalkCounts* counts) {
  for (size_t i = 0; i < KeptReferences().size(); ++i) {
    const RelationDef& r = KeptReferences()[i];
    if (r.parent != target) continue;
    const Link link = Resolve(r);
    std::vector<int64_t> holders;
    if (!FindChildren(link, ReadValue(BytesIn(link.parent, *link.parent_field)), &holders)) {
      return false;
    }
    counts->kept[i] += static_cast<int64_t>(holders.size());
  }
  return true;
}

// Deletes (or counts) every child of the parent record in its buffer, each
// after its own dependants.
bool WalkChildren(const Link& link, Walk walk, WalkCounts* counts) {
  const Value value = ReadValue(BytesIn(link.parent, *link.parent_field));
  std::vector<int64_t> children;
  if (!FindChildren(link, value, &children)) return false;
  for (int64_t pointer : children) {
    if (!ReadChild(link, pointer)) return false;
    if (!WalkDependants(link.child, walk, counts)) return false;
    if (walk == Walk::kCount) {
      ++counts->deleted[static_cast<size_t>(link.child)];
      continue;
    }
    if (!DeleteCurrent(link.child)) return false;
  }
  return true;
}

// Runs the delete cascades of the record in `parent`'s buffer, in the order
// of the relation table; a counting walk also counts the records that keep
// naming it.
bool WalkDependants(Table parent, Walk walk, WalkCounts* counts) {
  if (walk == Walk::kCount && !CountKept(parent, counts)) return false;
  for (const RelationDef& r : Relations()) {
    if (r.parent != parent || r.on_delete != RelationAction::kCascade) continue;
    if (!WalkChildren(Resolve(r), walk, counts)) return false;
  }
  return true;
}

bool DeleteDependants(Table parent) { return WalkDependants(parent, Walk::kDelete, nullptr); }

// The tables the delete cascade from `t` can reach, in the order the walk
// first reaches them (`t` itself left out).
void Reachable(Table t, std::vector<Table>* out) {
  for (const RelationDef& r : Relations()) {
    if (r.parent != t || r.on_delete != RelationAction::kCascade) continue;
    if (std::find(out->begin(), out->end(), r.child) == out->end()) out->push_back(r.child);
    Reachable(r.child, out);
  }
}

// Re-links the children holding `old_value` to the parent's new value.
bool ChangeChildren(const Link& link, const Value& old_value) {
  const files::FieldBytes parent_field = BytesIn(link.parent, *link.parent_field);
  std::vector<int64_t> children;
  if (!FindChildren(link, old_value, &children)) return false;
  const Value new_value = ReadValue(parent_field);
  for (int64_t pointer : children) {
    if (!ReadChild(link, pointer)) return false;
    WriteValue(parent_field, new_value, BytesIn(link.child, *link.child_field));
    files::Put(File(link.child));
    if (Failed()) {
      Report(MessageId::kUpdateOperationError, Label(link.child));
      return false;
    }
  }
  return true;
}

// This thread's remembered linking values, one per parent table.
thread_local std::array<std::optional<Value>, kTableCount> t_remembered;

std::optional<Value>& Remembered(Table t) { return t_remembered[static_cast<size_t>(t)]; }

// The parent field of `t` in the relation table, or nullptr.
const FieldDef* ParentField(Table t) {
  for (const RelationDef& r : Relations()) {
    if (r.parent == t) return FieldNamed(r.parent_field);
  }
  return nullptr;
}

// Opens the routine's tables other than `t` (the form has it open) and
// closes them again when the routine ends, on every path.
class OpenedTables {
 public:
  OpenedTables(Table t, std::span<const Table> tables) : table_(t), tables_(tables) {
    for (Table other : tables_) {
      if (other != table_) OpenTable(other);
    }
  }
  ~OpenedTables() {
    for (Table other : tables_) {
      if (other != table_) CloseTable(other);
    }
  }
  OpenedTables(const OpenedTables&) = delete;
  OpenedTables& operator=(const OpenedTables&) = delete;

 private:
  Table table_;
  std::span<const Table> tables_;
};

// Starts the transaction over `tables`; reports message 34 naming the
// transaction `kind` ("Delete", "Update") when it cannot be started.
bool Frame(Table t, std::span<const Table> tables, std::string_view kind) {
  std::vector<files::FileRecord*> files;
  for (Table each : tables) files.push_back(File(each));
  if (files::Logout(kFrameTimeoutSeconds, files) == 0) return true;
  Report(MessageId::kTransactionFramingError, kind, Label(t));
  return false;
}

// This thread's records as the update form read them, one per table: a
// rewrite that finds its record gone says which parent went with it.
thread_local std::array<std::optional<std::vector<uint8_t>>, kTableCount> t_read_records;

std::optional<std::vector<uint8_t>>& ReadRecord(Table t) {
  return t_read_records[static_cast<size_t>(t)];
}

// Whether `parent` holds a record whose linking field equals `value` (a
// field of the child's kind). Needs `parent` open on this thread; its record
// buffer is left as it was.
bool ParentOnFile(const RelationDef& r, const files::FieldBytes& value) {
  const FieldDef* parent_field = FieldNamed(r.parent_field);
  if (parent_field == nullptr || OpenCount(r.parent) == 0) return true;  // cannot tell
  files::FileRecord* parent = File(r.parent);
  const size_t length = Def(r.parent).record_length;
  uint8_t* buffer = files::RecordBuffer(parent);
  const std::vector<uint8_t> kept(buffer, buffer + length);
  std::memset(buffer, 0, length);
  WriteValue(value, ReadValue(value), BytesIn(r.parent, *parent_field));
  files::GetByKey(parent, Key(r.parent, 1));
  const bool found = files::Errors().Code() == 0;
  std::memcpy(buffer, kept.data(), length);
  return found;
}

// Why the rewrite of `t` found no record, in words: another station deleted
// it, and, when a record it belonged to when it was read is gone as well
// (deleting a location deletes its items), which one.
std::string VanishedWhy(Table t) {
  std::string why =
      std::string("This ") + Label(t) + " record is no longer on file: another station deleted it";
  const std::optional<std::vector<uint8_t>>& read = ReadRecord(t);
  if (!read) return why;
  files::Errors().Push();
  for (const RelationDef& r : Relations()) {
    const FieldDef* child_field = FieldNamed(r.child_field);
    if (r.child != t || r.on_delete != RelationAction::kCascade || child_field == nullptr) continue;
    const files::FieldBytes as_read{child_field->type,
                                    const_cast<uint8_t*>(read->data()) + child_field->offset,
                                    child_field->size, child_field->places};
    std::string shown = files::ReadText(as_read).value_or(std::string());
    shown.erase(shown.find_last_not_of(' ') + 1);
    if (shown.empty() || ParentOnFile(r, as_read)) continue;
    why += ", with the " + std::string(Label(r.parent)) + " record \"" + shown +
           "\" it belonged to, which is no longer on file either";
    break;
  }
  files::Errors().Pop();
  return why;
}

int Abandon() {
  if (files::InTransaction()) files::Rollback();
  t_deleted_files.clear();
  return kIntegrityFailed;
}

int Finish(Table t) {
  files::Commit();
  if (Failed()) {
    // The frame has rolled back every file: nothing of the routine stays.
    Report(MessageId::kUpdateOperationError, Label(t));
    return Abandon();
  }
  return kIntegrityDone;
}

}  // namespace

int DeleteRecord(Table t) {
  files::FileRecord* file = File(t);
  const files::KeyDecl* primary = Key(t, 1);
  const std::string position = files::PositionKey(file, primary);
  const RoutineTables& routine = RoutineOf(t);
  OpenedTables opened(t, routine.on_delete);
  if (!Frame(t, routine.on_delete, "Delete")) return Abandon();
  // Inside the frame the record is read again, as it stands now.
  files::RegetKey(file, primary, position);
  if (Failed()) {
    Report(MessageId::kRecordRetrievalError, Label(t));
    return Abandon();
  }
  t_deleted_files.clear();
  if (!DeleteDependants(t)) return Abandon();
  if (!DeleteCurrent(t)) return Abandon();
  const int result = Finish(t);
  if (result == kIntegrityDone) PutAsideDeletedFiles();
  return result;
}

bool DeleteReach::Nothing() const {
  for (const Count& c : deleted) {
    if (c.records != 0) return false;
  }
  for (const Kept& k : kept) {
    if (k.records != 0) return false;
  }
  return true;
}

std::optional<DeleteReach> CountDeleteReach(Table t) {
  std::vector<Table> reached;
  Reachable(t, &reached);
  auto named = [&](const RelationDef& r) {
    return r.parent == t || std::find(reached.begin(), reached.end(), r.parent) != reached.end();
  };
  // The tables a delete would open, and those holding kept references.
  const std::span<const Table> on_delete = RoutineOf(t).on_delete;
  std::vector<Table> tables(on_delete.begin(), on_delete.end());
  for (const RelationDef& r : KeptReferences()) {
    if (named(r) && std::find(tables.begin(), tables.end(), r.child) == tables.end()) {
      tables.push_back(r.child);
    }
  }
  OpenedTables opened(t, tables);
  WalkCounts counts;
  if (!WalkDependants(t, Walk::kCount, &counts)) return std::nullopt;
  DeleteReach reach;
  for (Table r : reached) reach.deleted.push_back({r, counts.deleted[static_cast<size_t>(r)]});
  for (size_t i = 0; i < KeptReferences().size(); ++i) {
    const RelationDef& r = KeptReferences()[i];
    if (named(r)) reach.kept.push_back({r.child, r.parent, counts.kept[i]});
  }
  return reach;
}

int ChangeRecord(Table t) {
  files::FileRecord* file = File(t);
  const RoutineTables& routine = RoutineOf(t);
  OpenedTables opened(t, routine.on_change);
  if (!Frame(t, routine.on_change, "Update")) return Abandon();
  files::Put(file);
  if (const int32_t code = files::Errors().Code(); code != 0) {
    if (code == files::kRecordChangedByAnotherStation) {
      Report(MessageId::kUpdateOperationError, "Record Changed by Another Station");
    } else if (code == files::kRecordNotAvailable || code == files::kRecordNotFound) {
      // The cause the message names stays first; the words after it say it.
      Report(MessageId::kUpdateOperationError, std::string(Label(t)) + ".  " + VanishedWhy(t));
    } else {
      Report(MessageId::kUpdateOperationError, Label(t));
    }
    return Abandon();
  }
  const std::optional<Value>& old_value = Remembered(t);
  for (const RelationDef& r : Relations()) {
    if (r.parent != t || r.on_change != RelationAction::kCascade || !old_value) continue;
    const Link link = Resolve(r);
    files::FieldBytes now = BytesIn(t, *link.parent_field);
    files::FieldBytes before = now;
    before.at = reinterpret_cast<uint8_t*>(const_cast<char*>(old_value->data()));
    if (SameValue(now, before, /*no_case=*/false)) continue;
    if (!ChangeChildren(link, *old_value)) return Abandon();
  }
  const int result = Finish(t);
  // Once committed, the stored value is what a further change starts from.
  if (result == kIntegrityDone && old_value) RememberParentValue(t);
  return result;
}

void RememberParentValue(Table t) {
  const uint8_t* buffer = files::RecordBuffer(File(t));
  ReadRecord(t).emplace(buffer, buffer + Def(t).record_length);
  const FieldDef* field = ParentField(t);
  if (field == nullptr) return;
  Remembered(t) = ReadValue(BytesIn(t, *field));
}

void ForgetParentValue(Table t) {
  Remembered(t).reset();
  ReadRecord(t).reset();
}

void SetIntegrityReporter(IntegrityReporter reporter) {
  g_reporter = reporter != nullptr ? reporter : &DefaultReporter;
}

}  // namespace vorsandt::app
