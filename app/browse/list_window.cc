#include "app/browse/list_window.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "app/browse/list_export.h"
#include "app/browse/list_keys.h"
#include "app/browse/list_labels.h"
#include "app/browse/list_start.h"
#include "app/frame/main_frame.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_state.h"
#include "runtime/views/field_values.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/field_variable.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {

ListProcedure::ListProcedure(const ListDef& def)
    : def_(def),
      browse_(std::make_unique<Browse>(def.primary, def.orders, this, def.quick_scan)),
      hook_(def.hook != nullptr ? def.hook() : nullptr) {}

ListProcedure::~ListProcedure() = default;

int ListProcedure::Optional(const char* equate) const {
  if (equate == nullptr) return 0;
  ui::WindowState state = window_->Snapshot();
  const ui::ControlState* c = state.ControlNamed(equate);
  return c != nullptr ? c->field : 0;
}

void ListProcedure::Prepare() {
  list_ = window_->FieldOf(kListEquate);
  sheet_ = Optional(kSheetEquate);
  insert_ = Optional(kInsertEquate);
  change_ = Optional(kChangeEquate);
  delete_ = Optional(kDeleteEquate);
  select_ = Optional(kSelectEquate);
  close_ = Optional(kCloseEquate);
  help_ = Optional(kHelpEquate);
  export_ = window_->Snapshot().MenuItem(kExportListItem) != nullptr;
  labels_ =
      window_->Snapshot().MenuItem(kPrintLabelsItem) != nullptr && TableHasLabels(def_.primary);
  entry_ = def_.entry_locator != nullptr ? window_->FieldOf(def_.entry_locator) : 0;
  image_ = def_.image != nullptr ? window_->FieldOf(def_.image) : 0;
  for (const ListButton& b : def_.buttons) button_fields_.push_back(window_->FieldOf(b.use));

  // The columns: the instance names their fields, the list format string
  // their pictures.
  std::vector<std::pair<std::string, std::string>> columns;
  ui::WindowState state = window_->Snapshot();
  const ui::ControlState* list = state.Control(list_);
  for (size_t i = 0; i < def_.columns.size(); ++i) {
    std::string picture;
    if (list != nullptr && i < list->columns.size()) picture = list->columns[i].picture;
    columns.emplace_back(def_.columns[i], picture);
  }
  browse_->SetColumns(columns);

  for (Table t : def_.tables) ui::BindRecord(*window_, File(t));
  if (hook_ != nullptr) hook_->Bind(*window_);
  locator_text_.assign(def_.orders.size(), std::string());
  locator_length_.assign(def_.orders.size(), 0);
}

void ListProcedure::Run() {
  at_buffered_record_ = TakeOpenAtBufferedRecord();
  current_request_ = initial_request_ = ui::RequestCode();
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;
  for (Table t : def_.tables) OpenTable(t);
  window_ = ui::Engine::Current()->CreateWindow(def_.window_id, def_.label);
  Prepare();
  window_->Open();
  window_->SetProperty(list_, ui::prop::kVScroll, 0);
  AlertDoubleClick(*window_, list_);
  ShowPicture();
  if (has_select()) ShowSelectButton();
  // A lookup is left with Esc, as with its Close button: nothing chosen.
  if (is_select() || selecting()) window_->SetEscapeButton(close_);
  if (!is_select()) AlertUpdateKeys(*window_, list_);

  while (window_->Accept()) {
    const int event = window_->Event();
    const int field = window_->Field();
    if (event == ui::event::kOpenWindow) {
      if (!window_ready_) {
        RedrawWindow();
        window_ready_ = true;
      }
      window_->Select(list_);
    } else if (event == ui::event::kGainFocus) {
      refresh_pending_ = true;
      window_ready_ = true;
      RedrawWindow();
    } else if (event == ui::event::kSized && window_ready_) {
      // The list now shows a different number of rows: refill the page at
      // its new size around the selected record rather than waiting for the
      // next move, so no row the user can see is left empty or stale.
      refresh_pending_ = true;
      RedrawWindow();
    } else if (field != 0 && field == list_) {
      OnList();
    } else if (field != 0 && field == sheet_) {
      if (event == ui::event::kNewSelection) {
        AdjustInsert();
        window_->Display();
        RedrawWindow();
      } else if (event == ui::event::kAccepted || event == ui::event::kTabChanging ||
                 event == ui::event::kSelected) {
        RedrawWindow();
      }
    } else if (event == ui::event::kAccepted) {
      OnAccepted(field);
    }
  }
  browse_->CloseView();
  for (Table t : def_.tables) CloseTable(t);
  window_->Close();
  ui::ResponseCode() = exit_response_ != 0 ? exit_response_ : ui::response::kCancelled;
}

void ListProcedure::ShowSelectButton() {
  if (select_ == 0) return;
  if (selecting()) {
    window_->Unhide(select_);
    window_->SetProperty(select_, ui::prop::kDefaultButton, 1);
    window_->Enable(select_);
  } else {
    window_->Hide(select_);
    window_->Disable(select_);
  }
}

// The image shows the file the record buffer names; the field's padding
// blanks are no part of the name.
void ListProcedure::ShowPicture() {
  if (image_ == 0) return;
  files::FileRecord* table = nullptr;
  files::FieldInfo field;
  std::string file;
  if (FindTableField(def_.image_field, &table, &field)) {
    file = views::FieldText(field, files::RecordBuffer(table));
    file.erase(file.find_last_not_of(' ') + 1);
  }
  window_->SetProperty(image_, ui::prop::kText, file);
  window_->Display();
}

// The popup of a list with a Select button: "&Select" first, then a
// browse's own items, numbered in that order.
int ListProcedure::SelectPopup(bool rows) {
  std::string text = rows && selecting() ? "&Select" : "~&Select";
  if (!is_select()) text += rows ? def_.popup : def_.popup_empty;
  return Popup(text);
}

// The list's own items, then those of its File menu that it has ("Print
// Labels...", "Export List..."), which post their menu item when chosen.
int ListProcedure::Popup(std::string text) {
  int items = 0;
  for (size_t at = 0; at < text.size();) {
    size_t bar = text.find('|', at);
    if (bar == std::string::npos) bar = text.size();
    if (bar > at) ++items;
    at = bar + 1;
  }
  struct FileItem {
    bool shown;
    const char* text;
    int item;
  };
  const FileItem file_items[] = {{labels_, kPrintLabelsPopupItem, kPrintLabelsItem},
                                 {export_, kExportListPopupItem, kExportListItem}};
  std::vector<int> posted;
  for (const FileItem& f : file_items) {
    if (!f.shown) continue;
    text += f.text;
    posted.push_back(f.item);
  }
  const int chosen = window_->Popup(text);
  if (chosen <= items) return chosen;
  window_->Post(ui::event::kAccepted, posted[chosen - items - 1]);
  return 0;
}

void ListProcedure::ExportRows() {
  browse_->FetchSelected();
  browse_->CloseView();
  ExportList(*browse_, window_->id());
  // The page shown stays; the view is opened again as after a cancelled form.
  browse_->OpenOrder();
  AfterUpdate(false);
}

void ListProcedure::PrintLabelRows() {
  browse_->FetchSelected();
  browse_->CloseView();
  PrintListLabels(*browse_);
  browse_->OpenOrder();
  AfterUpdate(false);
}

// --- BrowseList ------------------------------------------------------------

int ListProcedure::ItemCount() const {
  return static_cast<int>(std::max<int64_t>(1, window_->GetNumber(list_, ui::prop::kItems)));
}

int ListProcedure::Choice() const { return window_->Choice(list_); }

void ListProcedure::Show(const BrowseRows& rows, int selected) {
  std::vector<ui::ListRow> shown;
  shown.reserve(static_cast<size_t>(rows.size()));
  for (int i = 1; i <= rows.size(); ++i) shown.push_back(ui::ListRow(rows.Cells(rows.at(i))));
  window_->SetRows(list_, std::move(shown));
  window_->SetProperty(list_, ui::prop::kSelStart, selected);
}

void ListProcedure::RowsPresent(bool present) {
  for (int field : {change_, delete_}) {
    if (field != 0) window_->SetProperty(field, ui::prop::kDisable, present ? 0 : 1);
  }
}

void ListProcedure::ReadFailed(const std::string& table) {
  WarningMessage(MessageId::kRecordRetrievalError, table);
  CloseAfterFailure();
}

// --- Events ----------------------------------------------------------------

void ListProcedure::OnList() {
  const int event = window_->Event();
  if (browse_->ServeScroll(event)) {
    PostSelection();
    ClearLocator();
    return;
  }
  switch (event) {
    case ui::event::kNewSelection:
      SelectionChanged();
      break;
    case ui::event::kAlertKey:
      HandleAlertKey();
      break;
    case ui::event::kScrollDrag:
      HandleThumbDrag();
      break;
    default:
      break;
  }
}

void ListProcedure::OnAccepted(int field) {
  if (field == 0) return;
  const bool rows = browse_->state().row_count != 0;
  if (field == insert_) {
    browse_->FetchSelected();
    InsertRow();
  } else if (field == change_ && rows) {
    browse_->FetchSelected();
    ChangeRow();
  } else if (field == delete_ && rows) {
    browse_->FetchSelected();
    DeleteRow();
  } else if (field == select_) {
    browse_->FetchSelected();
    exit_response_ = ui::response::kCompleted;
    window_->Post(ui::event::kCloseWindow);
  } else if (field == close_) {
    browse_->FetchSelected();
    exit_response_ = ui::response::kCancelled;
    window_->Post(ui::event::kCloseWindow);
  } else if (field == help_) {
    window_->ShowHelp();
  } else if (field == entry_) {
    EntryLocator();
  } else if (field == kExportListItem && export_) {
    ExportRows();
  } else if (field == kPrintLabelsItem && labels_) {
    PrintLabelRows();
  } else {
    for (size_t i = 0; i < button_fields_.size(); ++i) {
      if (button_fields_[i] == field) CallButton(def_.buttons[i]);
    }
  }
}

void ListProcedure::RedrawWindow() {
  if (window_->GetNumber(0, ui::prop::kAcceptAll) != 0) return;
  CheckOrder();
  window_->SetProperty(list_, ui::prop::kThumb, browse_->state().thumb_pos);
  window_->Display();
  refresh_pending_ = false;
}

int ListProcedure::OrderOfTab() const {
  if (sheet_ == 0) return 1;
  return std::clamp(window_->Choice(sheet_), 1, std::max(browse_->order_count(), 1));
}

void ListProcedure::CheckOrder() {
  const Browse::State& s = browse_->state();
  browse_->ChooseOrder(OrderOfTab());
  if (s.order == s.last_order && !s.range_changed && !refresh_pending_) return;
  browse_->FetchSelected();
  browse_->OpenOrder();
  if (s.last_order == 0) {
    // A list called to select starts at the record its caller left.
    browse_->Relocate(selecting() || at_buffered_record_ ? kRelocateKeyValue : kRelocateStart);
  } else {
    browse_->Relocate(s.range_changed ? kRelocateStart : kRelocateKeyValue);
  }
  if (s.row_count != 0) browse_->RowToRecord(s.selected_row);
  RebuildSpread();
  PostSelection();
}

void ListProcedure::RebuildSpread() {
  if (browse_->failed()) return;
  if (hook_ != nullptr) hook_->BeforeSpread(*this);
  browse_->BuildKeySpread();
}

void ListProcedure::PostSelection() {
  if (selection_posted_) return;
  selection_posted_ = true;
  window_->Post(ui::event::kNewSelection, list_);
}

void ListProcedure::SelectionChanged() {
  selection_posted_ = false;
  const Browse::State& s = browse_->state();
  const bool rows = s.row_count != 0;
  if (window_->Keycode() == ui::key::kMouseRight) {
    if (has_select()) {
      const int chosen = SelectPopup(rows);
      const int targets[] = {select_, insert_, change_, delete_};
      if (chosen >= 1 && chosen <= 4 && targets[chosen - 1] != 0) {
        window_->Post(ui::event::kAccepted, targets[chosen - 1]);
      }
      return;
    }
    int chosen = Popup(rows ? def_.popup : def_.popup_empty);
    const int targets[] = {insert_, change_, delete_};
    if (chosen >= 1 && chosen <= 3 && targets[chosen - 1] != 0) {
      window_->Post(ui::event::kAccepted, targets[chosen - 1]);
    }
    return;
  }
  if (!rows) return;
  browse_->SelectRow(window_->Choice(list_));
  ShowPicture();
  if (s.row_count == ItemCount()) {
    if (!scroll_bar_) {
      window_->SetProperty(list_, ui::prop::kVScroll, 1);
      scroll_bar_ = true;
    }
    browse_->UpdateThumb();
  } else if (scroll_bar_) {
    window_->SetProperty(list_, ui::prop::kVScroll, 0);
    scroll_bar_ = false;
  }
  RedrawWindow();
}

void ListProcedure::HandleAlertKey() {
  const int key = window_->Keycode();
  const bool rows = browse_->state().row_count != 0;
  auto post = [&](int field) {
    // A hidden or disabled button is not pressed by its key either.
    if (field != 0 && window_->GetNumber(field, ui::prop::kDisable) == 0 &&
        window_->GetNumber(field, ui::prop::kHide) == 0) {
      window_->Post(ui::event::kAccepted, field);
    }
  };
  if (is_select()) {
    if (rows) {
      if (key == ui::key::kMouseLeft2) {
        if (selecting()) post(select_);
      } else {
        Locate(key);
      }
    }
  } else if (rows) {
    switch (key) {
      case ui::key::kMouseLeft2:
        post(change_);
        browse_->RowToRecord(browse_->state().selected_row);
        break;
      case ui::key::kInsert:
        post(insert_);
        break;
      case ui::key::kDelete:
        post(delete_);
        break;
      case kCtrlEnter:
        post(change_);
        break;
      default:
        if (def_.incremental_locator) Locate(key);
        break;
    }
  } else if (key == ui::key::kInsert) {
    post(insert_);
  }
  PostSelection();
}

void ListProcedure::HandleThumbDrag() {
  const int end = browse_->DragThumb(window_->GetNumber(list_, ui::prop::kThumb));
  if (end != 0) {
    window_->Post(end, list_);
  } else {
    PostSelection();
  }
}

// The incremental locator: typed characters collect in the current order's
// locator text (cut to the locator field's width, while the length still
// counts them), and the list restarts at the first record at or after it.
void ListProcedure::Locate(int key) {
  if (browse_->state().row_count == 0 || browse_->LocatorField() == nullptr) return;
  const size_t o = static_cast<size_t>(browse_->state().order - 1);
  const size_t width = browse_->LocatorField()->size;
  std::string& text = locator_text_[o];
  int& length = locator_length_[o];
  auto padded = [&](size_t n) {
    std::string t = text;
    t.resize(std::min(n, width), ' ');
    return t;
  };
  if (key == ui::key::kBackspace) {
    if (length == 0) return;
    --length;
    text = padded(static_cast<size_t>(length));
  } else if (key == ui::key::kSpace) {
    text = padded(static_cast<size_t>(length)) + " ";
    ++length;
  } else {
    std::string typed = window_->Keychar();
    if (typed.empty() || typed == " ") return;
    text = padded(static_cast<size_t>(length)) + typed.substr(0, 1);
    ++length;
  }
  if (text.size() > width) text.resize(width);
  browse_->StoreLocator(text);
  browse_->Relocate(kRelocateKeyValue);
  PostSelection();
}

void ListProcedure::ClearLocator() {
  if (!is_select() && !def_.incremental_locator) return;
  const int order = browse_->state().order;
  if (order < 1) return;
  locator_text_[static_cast<size_t>(order - 1)].clear();
  locator_length_[static_cast<size_t>(order - 1)] = 0;
  browse_->StoreLocator("", /*lowest_after=*/false);
}

void ListProcedure::EntryLocator() {
  const Browse::State& s = browse_->state();
  if (refresh_pending_) {
    browse_->ReloadFrom(kReloadAfterDelete);
    return;
  }
  files::FileRecord* table = nullptr;
  files::FieldInfo field;
  if (s.row_count == 0 || !FindTableField(def_.entry_locator, &table, &field) ||
      views::FieldNumber(field, files::RecordBuffer(table)) == 0) {
    return;
  }
  browse_->Relocate(kRelocateKeyValue);
  window_->Select(list_);
  PostSelection();
}

void ListProcedure::AdjustInsert() {
  if (insert_ == 0) return;
  const BrowseOrder& o = def_.orders[static_cast<size_t>(OrderOfTab() - 1)];
  if (o.insert_hidden) {
    window_->Disable(insert_);
    window_->Hide(insert_);
  } else {
    window_->Enable(insert_);
    window_->Unhide(insert_);
  }
}

// --- Update form and buttons ----------------------------------------------

void ListProcedure::RunUpdateForm() {
  browse_->CloseView();
  ui::RequestCode() = current_request_;
  CallProcedure(def_.update_form);
  exit_response_ = ui::ResponseCode();
  browse_->OpenOrder();
}

void ListProcedure::AfterUpdate(bool completed) {
  const Browse::State& s = browse_->state();
  if (!completed && s.row_count != 0) browse_->RowToRecord(s.selected_row);
  window_->Select(list_);
  current_request_ = initial_request_;
  RedrawWindow();
}

void ListProcedure::InsertRow() {
  const Browse::State& s = browse_->state();
  browse_->ClearPrimary();
  if (browse_->ranged()) {
    // The new record belongs to the parent shown.
    files::FileRecord* table = nullptr;
    files::FieldInfo field;
    if (FindTableField(browse_->link()->child_field, &table, &field)) {
      views::StoreText(field, files::RecordBuffer(table), s.saved_range_value);
    }
  }
  UpdateAndRelocate(ui::request::kInsert);
}

void ListProcedure::ChangeRow() { UpdateAndRelocate(ui::request::kChange); }

void ListProcedure::UpdateAndRelocate(int32_t request) {
  // An inserted or changed record may sort anywhere in the order: the page is
  // rebuilt around its key value, which the form left in the record buffer.
  current_request_ = request;
  RunUpdateForm();
  const bool completed = exit_response_ == ui::response::kCompleted;
  if (completed) {
    browse_->Relocate(kRelocateKeyValue);
    RebuildSpread();
    PostSelection();
  }
  AfterUpdate(completed);
}

void ListProcedure::DeleteRow() {
  current_request_ = ui::request::kDelete;
  RunUpdateForm();
  const bool completed = exit_response_ == ui::response::kCompleted;
  if (completed) {
    browse_->RemoveSelectedRow();
    browse_->OpenOrder();
    browse_->ReloadFrom(kReloadAfterDelete);
    RebuildSpread();
    PostSelection();
  }
  AfterUpdate(completed);
}

void ListProcedure::CallButton(const ListButton& button) {
  browse_->FetchSelected();
  if (button.select) ui::RequestCode() = ui::request::kSelect;
  CallProcedure(button.procedure);
  current_request_ = initial_request_;
  RedrawWindow();
}

// --- Entry points ----------------------------------------------------------

void RunListProcedure(const ListDef& def) {
  ListProcedure procedure(def);
  procedure.Run();
}

void RegisterListProcedures(std::span<const ListDef> defs) {
  for (const ListDef& def : defs) {
    Procedures().Register(def.procedure, [&def] { RunListProcedure(def); });
  }
}

}  // namespace vorsandt::app
