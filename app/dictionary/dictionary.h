// The application's tables: fields, keys, memos and relations, as
// static data, and the file declarations the file access layer works from.
//
// Tables are declared once, process-wide, with the driver that serves them
// (InitDictionary); every procedure thread then gets its own instance of each
// table's record buffer and open state through the file access layer.
#ifndef VORSANDT_APP_DICTIONARY_DICTIONARY_H_
#define VORSANDT_APP_DICTIONARY_DICTIONARY_H_

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/files/file_decl.h"

namespace vorsandt::app {

// In the order of declaration.
enum class Table : int {
  kCompanies,
  kService,
  kWarranty,
  kClaim,
  kLocations,
  kItems,
  kInsuranceCompany,
  kPolicy,
  // Added beside the first eight, whose files and definitions it leaves as
  // they are; its file is made the first time it is opened.
  kDocuments,
  // The days an item was seen where it is kept (the inventory check); also
  // made the first time it is opened, so older data folders open as they are.
  kChecks,
};
inline constexpr int kTableCount = 10;

struct FieldDef {
  const char* name;      // with its table prefix, e.g. "ITE:ITEM_CODE"
  uint32_t offset;
  uint8_t type;          // 2 SHORT, 6 LONG, 10 DECIMAL, 18 STRING
  uint32_t size;         // bytes in the record
  uint8_t digits;        // DECIMAL: declared digits (2n-1 for n bytes)
  uint8_t places;        // DECIMAL: decimal places
  const char* picture;   // display picture; "" for a check box without one
  bool check_box;        // set by a check box on its form
  const char* meaning;   // the form's tip
};

struct KeyDef {
  const char* name;      // e.g. "ITE:LOC"
  uint32_t flags;        // 0x16 primary, 0x07 others
  uint8_t component_count;
  std::array<int32_t, 3> components;  // field numbers from 1
};

struct TableDef {
  Table table;
  const char* label;     // file name and label, e.g. "INSURANCE_COMPANY"
  const char* prefix;    // e.g. "INS"
  uint32_t record_length;
  std::span<const FieldDef> fields;
  std::span<const KeyDef> keys;
  std::span<const files::MemoDecl* const> memos;
  // The primary key field numbered automatically by the insert form, or 0.
  int32_t auto_number_field;
  // A field naming a file the table keeps in the data folder's documents
  // folder (DOC:FILE), or nullptr. Deleting such a record puts its file
  // aside in documents/.deleted rather than removing it.
  const char* stored_file_field = nullptr;
};

// What a change or a delete of the parent does to the records naming it:
// cascade to them, or keep them as they are (they go on naming a record that
// may be gone).
enum class RelationAction { kCascade, kKeep };

struct RelationDef {
  Table parent;
  const char* parent_field;
  Table child;
  const char* child_field;
  const char* child_key;
  RelationAction on_change;
  RelationAction on_delete;
};

// The tables in order of declaration.
std::span<const TableDef> Tables();
const TableDef& Def(Table t);
// The one-to-many relations.
std::span<const RelationDef> Relations();
// Fields that name a record of another table without being one of its
// relations: nothing cascades along them (both actions kKeep). A claim names
// its item and stays when the item is deleted.
std::span<const RelationDef> KeptReferences();
// The relation or kept reference whose child key is `child_key`
// ("POL:COMPANY"), or whose child field is `child_field`
// ("POL:INSURER_CODE"); nullptr when there is none. The windows that show a
// parent's children, and the lookups of a parent from its child, name their
// link this way rather than restating its fields.
const RelationDef* LinkByChildKey(std::string_view child_key);
const RelationDef* LinkByChildField(std::string_view child_field);
// The view filter that keeps the child records of the parent record in the
// parent table's buffer: the child field equal to the parent's field, texts
// without regard to case as the child key orders them, so that the filter
// keeps every record the key's range holds ("UPPER(ITE:LOCATION) =
// UPPER(LOC:LOCATION)", "POL:INSURER_CODE = INS:REFERENCE").
const char* LinkFilter(const RelationDef& link);
// The parent table's key that finds the parent by the link's value: its
// primary key, whose first component is the parent field ("INS:REF").
const char* ParentKey(const RelationDef& link);
// The memo of CLAIM.
const files::MemoDecl& ClaimNotes();

// Declares the tables with `entry` as their driver. Call once at start-up,
// before any table is used; later calls are ignored.
void InitDictionary(files::DriverEntry entry);

// The table's file declaration (per-thread: pass it to the file layer, which
// resolves the calling thread's instance). InitDictionary must have run.
files::FileRecord* File(Table t);
// Key `number` (from 1) of a table, or a key by its name ("ITE:LOC").
const files::KeyDecl* Key(Table t, int number);
const files::KeyDecl* KeyNamed(std::string_view name);
// The record layout descriptor stream of a table.
std::span<const uint8_t> Layout(Table t);
// A field by its full name ("POL:EXCESS"); nullptr when unknown.
const FieldDef* FieldNamed(std::string_view name);
// The number (from 1) of field `name` in table `t`, as keys and view levels
// count fields; 0 when the table has no such field.
int FieldNumber(Table t, std::string_view name);
// The table a field or key name belongs to (by its prefix).
bool TableOfName(std::string_view name, Table* out);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_DICTIONARY_DICTIONARY_H_
