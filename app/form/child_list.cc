#include "app/form/child_list.h"

#include <algorithm>

#include "app/browse/browse_rows.h"
#include "app/browse/list_keys.h"
#include "app/documents/document_store.h"
#include "app/form/exclamation.h"
#include "app/frame/main_frame.h"
#include "app/messages/warning_message.h"
#include "runtime/env/env.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "runtime/views/field_values.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {

ChildList::ChildList(const FormChild& def, ui::Window& window,
                     std::function<void(const std::function<void()>&)> call_out)
    : def_(def), window_(window), call_out_(std::move(call_out)) {
  browse_ = std::make_unique<Browse>(ChildTable(def), std::span<const BrowseOrder>(&def.order, 1),
                                     this);
  list_ = window_.FieldOf(def.list);
  insert_ = window_.FieldOf(def.insert);
  change_ = window_.FieldOf(def.change);
  remove_ = window_.FieldOf(def.remove);
  if (def.open != nullptr) open_ = window_.FieldOf(def.open);
  std::vector<std::pair<std::string, std::string>> columns;
  ui::WindowState state = window_.Snapshot();
  const ui::ControlState* list = state.Control(list_);
  for (size_t i = 0; i < def.columns.size(); ++i) {
    std::string picture;
    if (list != nullptr && i < list->columns.size()) picture = list->columns[i].picture;
    columns.emplace_back(def.columns[i], picture);
  }
  browse_->SetColumns(columns);
}

ChildList::~ChildList() { browse_->CloseView(); }

void ChildList::SetAlertKeys() {
  AlertUpdateKeys(window_, list_);
  AlertDoubleClick(window_, list_);
}

void ChildList::Refresh(bool force) {
  const Browse::State& s = browse_->state();
  const bool first = s.order == 0;
  browse_->SelectOrder(1);
  const bool range_changed = !first && browse_->ParentValue() != s.saved_range_value;
  if (!first && !range_changed && !force) return;
  browse_->OpenOrder();
  browse_->Relocate(first || range_changed ? kRelocateStart : kRelocateKeyValue);
  if (s.row_count != 0) browse_->RowToRecord(s.selected_row);
}

bool ChildList::Serve(int event, int field) {
  if (field == 0) return false;
  const bool rows = browse_->state().row_count != 0;
  if (field == list_) {
    if (browse_->ServeScroll(event)) return true;
    switch (event) {
      case ui::event::kNewSelection:
        browse_->SelectRow(window_.Choice(list_));
        break;
      case ui::event::kAlertKey: {
        const int key = window_.Keycode();
        if (key == ui::key::kInsert) window_.Post(ui::event::kAccepted, insert_);
        if (rows && key == ui::key::kDelete) window_.Post(ui::event::kAccepted, remove_);
        if (rows && (key == kCtrlEnter || key == ui::key::kMouseLeft2)) {
          window_.Post(ui::event::kAccepted, change_);
        }
        break;
      }
      default:
        break;
    }
    return true;
  }
  if (event != ui::event::kAccepted) return false;
  if (field == insert_) {
    CallForm(ui::request::kInsert);
  } else if (field == change_) {
    if (rows) CallForm(ui::request::kChange);
  } else if (field == remove_) {
    if (rows) CallForm(ui::request::kDelete);
  } else if (open_ != 0 && field == open_) {
    if (rows) OpenSelected();
  } else {
    return false;
  }
  return true;
}

// The child's form runs with the list's view closed; afterwards the list
// finds the record it inserted or changed, or reloads around the one it
// deleted.
void ChildList::CallForm(int32_t request) {
  const Browse::State& s = browse_->state();
  if (request == ui::request::kInsert) {
    // The new record belongs to the form's record.
    const std::string parent = browse_->ParentValue();
    browse_->ClearPrimary();
    files::FileRecord* table = nullptr;
    files::FieldInfo field;
    if (FindTableField(browse_->link()->child_field, &table, &field)) {
      views::StoreText(field, files::RecordBuffer(table), parent);
    }
  } else {
    browse_->FetchSelected();
  }
  browse_->CloseView();
  int32_t response = ui::response::kCancelled;
  call_out_([&] {
    ui::RequestCode() = request;
    CallProcedure(def_.form);
    response = ui::ResponseCode();
  });
  browse_->OpenOrder();
  if (response != ui::response::kCompleted) {
    if (s.row_count != 0) browse_->RowToRecord(s.selected_row);
    window_.Select(list_);
    return;
  }
  if (request == ui::request::kDelete) {
    browse_->RemoveSelectedRow();
    browse_->ReloadFrom(kReloadAfterDelete);
  } else {
    browse_->Relocate(kRelocateKeyValue);
  }
  window_.Select(list_);
}

void ChildList::OpenSelected() {
  const Table table = ChildTable(def_);
  const FieldDef* field = FieldNamed(Def(table).stored_file_field);
  if (field == nullptr || !browse_->FetchSelected()) return;
  const files::FieldBytes bytes{field->type, files::RecordBuffer(File(table)) + field->offset,
                                field->size, 0};
  const std::string text = files::ReadText(bytes).value_or(std::string());
  const std::string name(TrimRight(text));
  std::string why;
  if (name.empty()) {
    why = "This document has no file.";
  } else if (!IsStoredName(name) || !env::Env::Default()->Exists(StoredPath(name))) {
    why = "The file " + StoredPath(name) + " is not in the " + kDocumentsFolder + " folder.";
  } else if (!ui::Engine::Current()->platform().OpenDocument(StoredPath(name))) {
    why = "The file " + StoredPath(name) + " cannot be opened: the desktop has no viewer for it.";
  }
  if (!why.empty()) Exclaim(window_, why, "Open Document");
  window_.Select(list_);
}

int ChildList::ItemCount() const {
  return static_cast<int>(std::max<int64_t>(1, window_.GetNumber(list_, ui::prop::kItems)));
}

int ChildList::Choice() const { return window_.Choice(list_); }

void ChildList::Show(const BrowseRows& rows, int selected) {
  std::vector<ui::ListRow> shown;
  shown.reserve(static_cast<size_t>(rows.size()));
  for (int i = 1; i <= rows.size(); ++i) shown.push_back(ui::ListRow(rows.Cells(rows.at(i))));
  window_.SetRows(list_, std::move(shown));
  window_.SetProperty(list_, ui::prop::kSelStart, selected);
}

void ChildList::RowsPresent(bool present) {
  for (int field : {change_, remove_, open_}) {
    if (field != 0) window_.SetProperty(field, ui::prop::kDisable, present ? 0 : 1);
  }
}

void ChildList::ReadFailed(const std::string& table) {
  WarningMessage(MessageId::kRecordRetrievalError, table);
  window_.Post(ui::event::kCloseWindow);
}

}  // namespace vorsandt::app
