// The update forms: one procedure written once (UpdateForm) and the eight
// instances as data. A form shows one record of its table and carries out one
// request on it (insert, change or delete, from the caller's request code),
// answering completed or cancelled in the response code.
#ifndef VORSANDT_APP_FORM_FORM_DEF_H_
#define VORSANDT_APP_FORM_FORM_DEF_H_

#include <span>
#include <string_view>

#include "app/browse/browse.h"
#include "app/dictionary/dictionary.h"

namespace vorsandt::app {

// A field whose typed value must be found in another table: the child field
// of one of the dictionary's links (LinkByChildField), looked up in the
// link's parent by its parent key.
struct FormLookup {
  const char* field;      // the form's field, e.g. "POL:INSURER_CODE"
  const char* select;     // the select procedure offered when not found
  const char* button;     // the "..." button's equate beside the field, or nullptr
  // A blank (or 0) value is looked up too instead of passing.
  bool required = false;
  // Still not found after the select: message 11 and the field keeps the
  // focus, so that OK cannot complete.
  bool must_exist = false;
  // After a value is found or chosen: the found record's field copied into
  // the form's record (the insurer's name beside its code), or nullptr.
  const char* copy_from = nullptr;
  const char* copy_to = nullptr;
};

// A field copied from another table's buffer when a control is accepted.
struct FormCopy {
  const char* on_field;  // accepting this control ...
  const char* from;      // ... copies this field ...
  const char* to;        // ... into this one
};

// A child list on a tab of the form: the child table's records that belong
// to the form's record, with Insert, Change and Delete calling the child's
// own form, and for a table that keeps files (DOCUMENTS) an Open button that
// shows the selected record's file in the desktop's viewer.
struct FormChild {
  // The children of the form's record (OfParent over the child key of the
  // link from the form's table); the child table is the link's.
  BrowseOrder order;
  std::span<const char* const> columns;
  const char* form;  // e.g. "UpdateItems"
  const char* list;  // equates of the list and its buttons
  const char* insert;
  const char* change;
  const char* remove;
  const char* open = nullptr;
};

// A button of the form that calls a procedure with the form's record, as
// shown, in its buffer (the claim form's claim pack).
struct FormAction {
  const char* button;     // the button's equate
  const char* procedure;  // called on the form's thread
};

struct FormDef {
  const char* procedure;  // e.g. "UpdatePolicy"
  const char* window_id;  // e.g. "ZELTAR3$ZELTA037"
  const char* label;      // e.g. "UPDATEPOLICY$QUICKWINDOW"
  Table table;
  bool auto_number;               // the primary key is numbered at insert
  std::span<const Table> tables;  // opened in this order
  std::span<const FormLookup> lookups = {};
  std::span<const FormCopy> copies = {};
  std::span<const FormChild> children = {};
  const char* duplicate_key_name = "";  // shown by message 24
  // Priming at start, for every request (UpdatePolicy: the insurer);
  // `new_record` is true for an insert.
  void (*prime)(bool new_record) = nullptr;
  // The picture chooser's button and the field it fills (UpdateItems).
  const char* picture_button = nullptr;
  const char* picture_field = nullptr;
  const char* picture_image = nullptr;  // the image control that shows it
  // A drop list and the values it offers (UpdateClaim's statuses).
  const char* drop_list = nullptr;
  std::span<const char* const> drop_entries = {};
  std::span<const FormAction> actions = {};
  // The button that chooses the file a record keeps in the documents folder
  // (UpdateDocuments), filling the table's stored file field; the file is
  // copied in when OK saves the record (stored_file.h).
  const char* stored_file_button = nullptr;
};

// The update forms.
std::span<const FormDef> FormDefs();
// The dictionary's link that a child list shows, and the table of its
// records.
const RelationDef& LinkOf(const FormChild& child);
// The link whose child field a lookup's field is.
const RelationDef& LinkOf(const FormLookup& lookup);
Table ChildTable(const FormChild& child);

// Copies the value of field `from` into field `to` (full names, in the
// calling thread's record buffers): texts as texts, numbers by value.
void CopyFieldValue(std::string_view from, std::string_view to);
// Whether two fields hold the same value (texts without trailing blanks,
// numbers by value).
bool SameFieldValue(std::string_view a, std::string_view b);

// Runs `def` on the calling thread with the request in ui::RequestCode().
void RunUpdateForm(const FormDef& def);

// Equates every form window has.
inline constexpr char kFormSheetEquate[] = "?CurrentTab";
inline constexpr char kFormOkEquate[] = "?OK";
inline constexpr char kFormCancelEquate[] = "?Cancel";
inline constexpr char kFormHelpEquate[] = "?Help";

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FORM_FORM_DEF_H_
