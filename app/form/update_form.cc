#include "app/form/update_form.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "app/form/exclamation.h"
#include "app/frame/main_frame.h"
#include "app/integrity/delete_question.h"
#include "app/integrity/integrity.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/field_variable.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {
namespace {

// Silent attempts of the automatic numbering before the user is asked.
constexpr int kNumberingAttempts = 3;
// The highest number a 16-bit key field holds.
constexpr double kHighestNumber = 32767;
// The chooser's file name is cut to the picture field's width.
constexpr size_t kPictureNameLimit = 41;
// Keys that leave a form as its close box does, on window alert slots of
// their own (the child lists' keys use slots from 252 up).
constexpr int kCtrlW = ui::key::kCtrl + 'W';
constexpr int kCtrlF4 = ui::key::kCtrl + ui::key::kF1 + 3;
constexpr int kLeaveKeys[] = {ui::key::kEsc, kCtrlW, kCtrlF4};
constexpr int kFirstLeaveSlot = 240;

// A field of the calling thread's record buffer of the table it belongs to.
files::FieldBytes FieldBytesOf(std::string_view name) {
  Table t;
  const FieldDef* f = FieldNamed(name);
  if (f == nullptr || !TableOfName(name, &t)) return {};
  return {f->type, files::RecordBuffer(File(t)) + f->offset, f->size, f->places};
}

bool IsLeaveKey(int code) {
  return std::find(std::begin(kLeaveKeys), std::end(kLeaveKeys), code) != std::end(kLeaveKeys);
}

}  // namespace

void CopyFieldValue(std::string_view from, std::string_view to) {
  files::FieldBytes src = FieldBytesOf(from), dst = FieldBytesOf(to);
  if (src.at == nullptr || dst.at == nullptr) return;
  if (files::IsTextType(src.type)) {
    files::WriteText(dst, files::ReadText(src).value_or(std::string()));
  } else {
    files::WriteNumber(dst, files::ReadNumber(src).value_or(0), files::Overflow::kSaturate);
  }
}

bool SameFieldValue(std::string_view a, std::string_view b) {
  files::FieldBytes x = FieldBytesOf(a), y = FieldBytesOf(b);
  if (x.at == nullptr || y.at == nullptr) return false;
  if (files::IsTextType(x.type) || files::IsTextType(y.type)) {
    const std::string tx = files::ReadText(x).value_or(std::string());
    const std::string ty = files::ReadText(y).value_or(std::string());
    return TrimRight(tx) == TrimRight(ty);
  }
  return files::ReadNumber(x).value_or(0) == files::ReadNumber(y).value_or(0);
}

namespace {

bool IsBlank(std::string_view name) {
  files::FieldBytes f = FieldBytesOf(name);
  if (f.at == nullptr) return true;
  if (files::IsTextType(f.type)) {
    std::string text = files::ReadText(f).value_or(std::string());
    return TrimRight(text).empty();
  }
  return files::ReadNumber(f).value_or(0) == 0;
}

bool Found(std::string_view key_field, std::string_view key) {
  Table t;
  if (!TableOfName(key_field, &t)) return false;
  files::GetByKey(File(t), KeyNamed(key));
  return files::Errors().Code() == 0;
}

std::vector<uint8_t> BufferCopy(Table t) {
  const uint8_t* b = files::RecordBuffer(File(t));
  return std::vector<uint8_t>(b, b + Def(t).record_length);
}

void Restore(Table t, const std::vector<uint8_t>& copy) {
  std::memcpy(files::RecordBuffer(File(t)), copy.data(), copy.size());
}

}  // namespace

UpdateForm::UpdateForm(const FormDef& def) : def_(def) {}
UpdateForm::~UpdateForm() = default;

int UpdateForm::Optional(const char* equate) const {
  if (equate == nullptr) return 0;
  ui::WindowState state = window_->Snapshot();
  const ui::ControlState* c = state.ControlNamed(equate);
  return c != nullptr ? c->field : 0;
}

void UpdateForm::Run() {
  if (Start()) EventLoop();
  Closing();
}

// Steps 1-6 of the start; false when the form ends without showing itself.
bool UpdateForm::Start() {
  window_ = ui::Engine::Current()->CreateWindow(def_.window_id, def_.label);
  current_request_ = initial_request_ = ui::RequestCode();
  exit_response_ = ui::response::kCancelled;
  refresh_pending_ = false;
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;
  for (Table t : def_.tables) OpenTable(t);
  Prepare();
  // A new record takes no memo from a record read before it: callers prime
  // the fields that link it to a parent, never a memo.
  if (initial_request_ == ui::request::kInsert) ClearMemos(def_.table);

  files::FileRecord* file = File(def_.table);
  const files::KeyDecl* primary = Key(def_.table, 1);
  if (initial_request_ == ui::request::kChange) {
    // Read again under a watch, so that the save notices a change made by
    // another program since.
    position_ = files::PositionKey(file, primary);
    file->Send(files::kOpWatch);
    files::RegetKey(file, primary, position_);
    if (files::Errors().Code() != 0) {
      WarningMessage(MessageId::kRecordRetrievalError, Def(def_.table).label);
      return false;
    }
    read_copy_ = BufferCopy(def_.table);
  }
  if (def_.prime != nullptr) def_.prime(initial_request_ == ui::request::kInsert);
  window_->Display();
  RememberParentValue(def_.table);
  saved_ = BufferCopy(def_.table);

  if (initial_request_ == ui::request::kInsert) {
    Restore(def_.table, saved_);
    if (def_.auto_number && !AutoNumber()) return false;
  }
  start_ = TakeImage(def_.table);
  if (stored_file_ != nullptr) stored_file_->Start();
  if (initial_request_ == ui::request::kDelete) {
    ServeDelete();
    return false;
  }
  window_->Open();
  window_open_ = true;
  for (auto& child : children_) child->SetAlertKeys();
  for (size_t i = 0; i < std::size(kLeaveKeys); ++i) {
    window_->SetProperty(0, ui::prop::kAlertKey, kLeaveKeys[i],
                         kFirstLeaveSlot + static_cast<int>(i));
  }
  const std::string verb = initial_request_ == ui::request::kInsert ? "Adding a " : "Changing a ";
  window_->SetProperty(0, ui::prop::kText, verb + Def(def_.table).label + " Record");
  return true;
}

void UpdateForm::Prepare() {
  for (Table t : def_.tables) ui::BindRecord(*window_, File(t));
  sheet_ = Optional(kFormSheetEquate);
  ok_ = window_->FieldOf(kFormOkEquate);
  cancel_ = window_->FieldOf(kFormCancelEquate);
  help_ = Optional(kFormHelpEquate);
  for (const FieldDef& f : Def(def_.table).fields) {
    if ((first_entry_ = Optional(f.name)) != 0) break;
  }
  for (const FormLookup& l : def_.lookups) {
    lookup_fields_.push_back(window_->FieldOf(l.field));
    lookup_buttons_.push_back(l.button != nullptr ? window_->FieldOf(l.button) : 0);
  }
  for (const FormCopy& c : def_.copies) copy_fields_.push_back(window_->FieldOf(c.on_field));
  for (const FormAction& a : def_.actions) action_buttons_.push_back(window_->FieldOf(a.button));
  picture_button_ = def_.picture_button != nullptr ? window_->FieldOf(def_.picture_button) : 0;
  picture_image_ = def_.picture_image != nullptr ? window_->FieldOf(def_.picture_image) : 0;
  if (def_.drop_list != nullptr) {
    std::vector<ui::ListRow> rows;
    for (const char* entry : def_.drop_entries) rows.push_back(ui::ListRow({entry}));
    window_->SetRows(window_->FieldOf(def_.drop_list), std::move(rows));
  }
  if (def_.stored_file_button != nullptr) {
    stored_file_ = std::make_unique<StoredFile>(def_.table, *window_, def_.stored_file_button);
  }
  for (const FormChild& c : def_.children) {
    children_.push_back(std::make_unique<ChildList>(
        c, *window_, [this](const std::function<void()>& call) { CallOut(call); }));
  }
}

namespace {

// A delete that takes dependants along, or leaves records naming what it
// takes, says so in a second question, counted along the delete's own
// cascade; false when the user keeps the record (or the count could not be
// read, which was reported).
bool DeleteReachConfirmed(Table t) {
  const std::optional<DeleteReach> reach = CountDeleteReach(t);
  if (!reach) return false;
  if (reach->Nothing()) return true;
  return WarningMessage(MessageId::kConfirmDeleteReach, DeleteQuestion(t, *reach)) ==
         ui::button::kOk;
}

}  // namespace

// Delete request: confirm (and confirm again what goes with the record), then
// run the delete routine until it succeeds or the user gives up.
void UpdateForm::ServeDelete() {
  if (WarningMessage(MessageId::kConfirmDelete) != ui::button::kOk) return;
  if (!DeleteReachConfirmed(def_.table)) return;
  for (;;) {
    exit_response_ = ui::response::kCancelled;
    if (DeleteRecord(def_.table) == kIntegrityDone) {
      exit_response_ = ui::response::kCompleted;
      return;
    }
    if (WarningMessage(MessageId::kDeleteRetry) != ui::button::kYes) return;
  }
}

// Gives the new record the number after the highest, adds it at once and
// holds it; false when the form is to close (a read failure or the user's
// Cancel). Records that earlier inserts left blank as numbered (their program
// ended with the form open) are removed first, so their numbers are given
// again.
bool UpdateForm::AutoNumber() {
  files::FileRecord* file = File(def_.table);
  const files::KeyDecl* primary = Key(def_.table, 1);
  RemoveAbandonedNumbers(def_.table);
  int attempts = 0;
  for (;;) {
    Restore(def_.table, saved_);
    double next = 1;
    if (!NextNumber(&next)) return false;
    // The read of the highest record loaded its memos too.
    Restore(def_.table, saved_);
    ClearMemos(def_.table);
    bool added = false;
    if (next > kHighestNumber) {
      // No wrap-around to numbers in use: the user is told at once.
      files::Errors().Post(files::kVariableOutOfRange);
      attempts = kNumberingAttempts;
    } else {
      WriteNumber(next);
      saved_ = BufferCopy(def_.table);
      added_ = TakeImage(def_.table);
      files::Add(file);
      added = files::Errors().Code() == 0;
      if (added) {
        position_ = files::PositionKey(file, primary);
        // Another program may have taken the new record before the hold did
        // (its removal of blank numbered records): then number again.
        added = ClaimNumbered();
        if (!added) files::Errors().Post(files::kRecordAlreadyHeld);
      }
      if (!added) ++attempts;
    }
    if (added) {
      numbered_ = true;
      return true;
    }
    if (attempts < kNumberingAttempts) continue;
    if (WarningMessage(MessageId::kAutoIncrementError) != ui::button::kRetry) {
      exit_response_ = ui::response::kCancelled;
      return false;
    }
    attempts = 0;
  }
}

bool UpdateForm::NextNumber(double* next) {
  files::FileRecord* file = File(def_.table);
  const FieldDef& key_field =
      Def(def_.table).fields[static_cast<size_t>(Def(def_.table).auto_number_field - 1)];
  files::SetKey(file, Key(def_.table, 1));
  files::Previous(file);
  const int32_t code = files::Errors().Code();
  files::FieldBytes key{key_field.type, files::RecordBuffer(file) + key_field.offset,
                        key_field.size, 0};
  *next = 1;
  if (code == 0) {
    *next = files::ReadNumber(key).value_or(0) + 1;
  } else if (code != files::kRecordNotAvailable) {
    WarningMessage(MessageId::kRecordRetrievalError, Def(def_.table).label);
    return false;
  }
  return true;
}

void UpdateForm::WriteNumber(double number) {
  const FieldDef& key_field =
      Def(def_.table).fields[static_cast<size_t>(Def(def_.table).auto_number_field - 1)];
  files::FieldBytes key{key_field.type, files::RecordBuffer(File(def_.table)) + key_field.offset,
                        key_field.size, 0};
  files::WriteNumber(key, number, files::Overflow::kRefuse);
}

bool UpdateForm::ClaimNumbered() {
  files::FileRecord* file = File(def_.table);
  const RecordImage form = TakeImage(def_.table);
  file->Send(files::kOpHoldNextTimeout, files::Args{0});
  files::RegetKey(file, Key(def_.table, 1), position_);
  const bool ours = files::Errors().Code() == 0 && TakeImage(def_.table) == added_;
  // A record that is not the form's any more is not kept from its owner.
  if (!ours) file->Send(files::kOpReleaseHeld);
  files::Errors().Clear();
  PutImage(def_.table, form);
  return ours;
}

bool UpdateForm::Changed() const { return TakeImage(def_.table) != start_; }

bool UpdateForm::ConfirmLeave() {
  if (!Changed()) return true;
  ui::MessageRequest request;
  request.text = "Save changes to this record?";
  request.caption = "Save Changes";
  request.icon = ui::Icon::kQuestion;
  request.buttons = ui::button::kYes | ui::button::kNo | ui::button::kCancel;
  request.default_button = ui::button::kYes;
  request.captions = {{ui::button::kYes, "&Save"}, {ui::button::kNo, "&Discard"}};
  request.owner = window_->id();
  const int answer = ui::Engine::Current()->Message(request);
  if (answer == ui::button::kNo) return true;
  if (answer == ui::button::kYes) OnAccepted(ok_);
  return false;
}

void UpdateForm::Leave() {
  exit_response_ = ui::response::kCancelled;
  leaving_ = true;
  window_->Post(ui::event::kCloseWindow);
}

void UpdateForm::EventLoop() {
  while (window_->Accept()) {
    const int event = window_->Event();
    const int field = window_->Field();
    if (event == ui::event::kCloseWindow || event == ui::event::kCloseDown) {
      if (window_->CloseAskedByUser() && !leaving_ && !ConfirmLeave()) {
        window_->KeepOpen();
        continue;
      }
      RemoveNumberedRecord();
    } else if (event == ui::event::kOpenWindow) {
      if (!window_ready_) {
        Refresh();
        window_ready_ = true;
      }
      SelectFirstEntry();
    } else if (event == ui::event::kGainFocus) {
      refresh_pending_ = true;
      window_ready_ = true;
      Refresh();
    } else if (event == ui::event::kRejected) {
      OnRejected(field);
    } else if (event == ui::event::kAlertKey && IsLeaveKey(window_->Keycode())) {
      if (ConfirmLeave()) Leave();
    } else if (event == ui::event::kCompleted) {
      if (!ReportRejected()) OnCompleted();
    } else if (field != 0 && field == sheet_) {
      if (event == ui::event::kAccepted || event == ui::event::kNewSelection ||
          event == ui::event::kTabChanging) {
        Refresh();
      }
    } else {
      bool served = false;
      for (auto& child : children_) {
        if (child->Serve(event, field)) {
          served = true;
          Refresh();
          break;
        }
      }
      if (!served && event == ui::event::kAccepted) OnAccepted(field);
    }
  }
}

// An entry refused what the user typed: the field keeps its value and the
// entry the text, so the user is told at once and again at OK, which saves
// nothing while such a text is on show.
void UpdateForm::OnRejected(int field) {
  rejected_.insert(field);
  ReportRejected(field);
}

// Tells the user why `field` (by default the first entry still showing
// refused text) refused it, and puts the focus back there.
bool UpdateForm::ReportRejected(int field) {
  if (rejected_.empty()) return false;
  if (field == 0) field = *rejected_.begin();
  Exclaim(*window_, window_->RefusalText(field), "Invalid Entry");
  window_->Select(field);
  return true;
}

void UpdateForm::OnAccepted(int field) {
  if (field == 0) return;
  // Typed text the field took (not the accept-all pass, which types nothing).
  if (window_->GetNumber(0, ui::prop::kAcceptAll) == 0) rejected_.erase(field);
  if (field == ok_) {
    // An insert with nothing typed into it is no record anyone meant.
    if (initial_request_ == ui::request::kInsert && !Changed()) {
      Leave();
      return;
    }
    if (initial_request_ == ui::request::kInsert || initial_request_ == ui::request::kChange) {
      window_->SetProperty(0, ui::prop::kAcceptAll, 1);
    } else {
      window_->Post(ui::event::kCompleted);
    }
    return;
  }
  if (field == cancel_) {
    Leave();
    return;
  }
  if (field == help_) {
    window_->ShowHelp();
    return;
  }
  if (field == picture_button_) {
    ChoosePicture();
    return;
  }
  if (stored_file_ != nullptr && field == stored_file_->button()) {
    stored_file_->Choose();
    Refresh();
    return;
  }
  for (size_t i = 0; i < def_.lookups.size(); ++i) {
    if (field == lookup_fields_[i]) OnLookup(def_.lookups[i]);
    if (field == lookup_buttons_[i]) OnLookupButton(def_.lookups[i]);
  }
  for (size_t i = 0; i < def_.actions.size(); ++i) {
    if (field == action_buttons_[i]) CallOut([&] { CallProcedure(def_.actions[i].procedure); });
  }
  for (size_t i = 0; i < def_.copies.size(); ++i) {
    if (field == copy_fields_[i]) {
      CopyFieldValue(def_.copies[i].from, def_.copies[i].to);
      window_->Display(field);
    }
  }
}

// A lookup field was accepted: its value must be found in the looked-up
// table, or chosen there with the select procedure.
void UpdateForm::OnLookup(const FormLookup& l) {
  if (!l.required && IsBlank(l.field)) return;
  const RelationDef& link = LinkOf(l);
  CopyFieldValue(l.field, link.parent_field);
  if (!Found(link.parent_field, ParentKey(link))) {
    int32_t response = ui::response::kCancelled;
    CallOut([&] {
      ui::RequestCode() = ui::request::kSelect;
      CallProcedure(l.select);
      response = ui::ResponseCode();
    });
    // The select left its choice in the looked-up table's buffer.
    if (response == ui::response::kCompleted) CopyFieldValue(link.parent_field, l.field);
    if (l.must_exist) {
      // Checked against the form's own field, whatever record the select
      // left in the looked-up buffer when it was closed without a choice.
      CopyFieldValue(l.field, link.parent_field);
      if (!Found(link.parent_field, ParentKey(link))) {
        WarningMessage(MessageId::kFieldContentsError, l.field, Def(link.parent).label);
        window_->Select(window_->FieldOf(l.field));
        return;
      }
    } else if (response != ui::response::kCompleted) {
      window_->Select(window_->FieldOf(l.field));
      return;
    }
  }
  if (l.copy_from != nullptr) CopyFieldValue(l.copy_from, l.copy_to);
  current_request_ = initial_request_;
  Refresh();
}

void UpdateForm::OnLookupButton(const FormLookup& l) {
  const RelationDef& link = LinkOf(l);
  CopyFieldValue(l.field, link.parent_field);
  int32_t response = ui::response::kCancelled;
  CallOut([&] {
    ui::RequestCode() = ui::request::kSelect;
    CallProcedure(l.select);
    response = ui::ResponseCode();
  });
  if (response == ui::response::kCompleted) {
    CopyFieldValue(link.parent_field, l.field);
    if (l.copy_from != nullptr) CopyFieldValue(l.copy_from, l.copy_to);
  }
  refresh_pending_ = true;
  current_request_ = initial_request_;
  Refresh();
}

void UpdateForm::ChoosePicture() {
  if (!IsBlank(def_.picture_field)) {
    picture_name_ = std::string(
        TrimRight(files::ReadText(FieldBytesOf(def_.picture_field)).value_or(std::string())));
  }
  ui::FileRequest request;
  request.title = "Choose a File";
  request.mask = "Select A Graphic Image|*.*";
  request.file_name = picture_name_;
  request.owner = window_->id();
  std::optional<std::string> chosen = ui::Engine::Current()->ChooseFile(request);
  if (!chosen) return;
  picture_name_ = *chosen;
  files::WriteText(FieldBytesOf(def_.picture_field), chosen->substr(0, kPictureNameLimit));
  Refresh();
}

void UpdateForm::OnCompleted() {
  // A record's file is stored whole before the record is saved.
  if (stored_file_ != nullptr && !stored_file_->StoreChosen()) return;
  if (initial_request_ == ui::request::kChange) {
    SaveChange();
  } else {
    SaveInsert();
  }
  if (stored_file_ != nullptr) {
    stored_file_->Finish(exit_response_ == ui::response::kCompleted);
    if (exit_response_ != ui::response::kCompleted) window_->Display();
  }
}

void UpdateForm::SaveInsert() {
  files::FileRecord* file = File(def_.table);
  if (numbered_ && !ClaimNumbered()) {
    // Another program changed the record numbered for this insert: it is
    // theirs now, and this one is saved under the next free number.
    numbered_ = false;
    renumber_ = true;
  }
  if (renumber_) {
    const RecordImage form = TakeImage(def_.table);
    double next = 1;
    const bool numbered = NextNumber(&next);
    PutImage(def_.table, form);
    if (!numbered) return;
    WriteNumber(next);
  }
  numbered_ ? files::Put(file) : files::Add(file);
  const int32_t code = files::Errors().Code();
  if (code == 0) {
    exit_response_ = ui::response::kCompleted;
    leaving_ = true;
    window_->Post(ui::event::kCloseWindow);
    return;
  }
  if (code == files::kCreatesDuplicateKey && PrimaryKeyTaken()) {
    WarningMessage(MessageId::kDuplicateKey, def_.duplicate_key_name);
  } else {
    files::Errors().Post(code);
    WarningMessage(MessageId::kRecordInsertError);
  }
  SelectFirstEntry();
}

// Whether another record holds the primary key value of the record being
// inserted. The file layer's duplicate test leaves out the current record,
// which for a typed insert is whatever record was read last.
bool UpdateForm::PrimaryKeyTaken() {
  files::FileRecord* file = File(def_.table);
  const files::KeyDecl* primary = Key(def_.table, 1);
  if (numbered_) return files::Duplicate(file, primary);
  const std::vector<uint8_t> record = BufferCopy(def_.table);
  files::GetByKey(file, primary);
  const bool taken = files::Errors().Code() == 0;
  Restore(def_.table, record);
  return taken;
}

void UpdateForm::SaveChange() {
  for (;;) {
    exit_response_ = ui::response::kCancelled;
    int result = kIntegrityFailed;
    if (changed_elsewhere_) {
      // The stored record changed while a called procedure ran; the watch
      // could not survive that call, so the form says it itself.
      files::Errors().Post(files::kRecordChangedByAnotherStation);
      WarningMessage(MessageId::kUpdateOperationError, "Record Changed by Another Station");
    } else {
      result = ChangeRecord(def_.table);
    }
    if (result == kIntegrityDone) {
      exit_response_ = ui::response::kCompleted;
      window_->Post(ui::event::kCloseWindow);
      return;
    }
    const int answer = WarningMessage(MessageId::kChangeRetry);
    if (answer == ui::button::kYes) continue;
    if (answer == ui::button::kNo) {
      window_->Post(ui::event::kCloseWindow);
    } else {
      window_->Display();
      SelectFirstEntry();
    }
    return;
  }
}

void UpdateForm::Refresh() {
  if (window_->GetNumber(0, ui::prop::kAcceptAll) != 0) return;
  for (auto& child : children_) child->Refresh(refresh_pending_);
  if (picture_image_ != 0) {
    // The photograph tab's image control decodes and draws the file itself.
    std::string name = files::ReadText(FieldBytesOf(def_.picture_field)).value_or(std::string());
    window_->SetProperty(picture_image_, ui::prop::kText, TrimRight(name));
  }
  window_->Display();
  refresh_pending_ = false;
}

void UpdateForm::SelectFirstEntry() {
  if (first_entry_ != 0) window_->Select(first_entry_);
}

void UpdateForm::CallOut(const std::function<void()>& call) {
  const std::vector<uint8_t> record = BufferCopy(def_.table);
  files::FileRecord* instance = files::InstanceOf(File(def_.table));
  const std::vector<std::vector<char>> memos = instance->memo_buffers;
  for (auto& child : children_) child->CloseView();
  call();
  Reposition();
  Restore(def_.table, record);
  instance->memo_buffers = memos;
  refresh_pending_ = true;
}

void UpdateForm::Reposition() {
  if (position_.empty()) return;
  if (numbered_) {
    // The call may have read this table on this thread, which let go of the
    // hold on the numbered record.
    if (!ClaimNumbered()) {
      numbered_ = false;
      renumber_ = true;
    }
    return;
  }
  files::FileRecord* file = File(def_.table);
  const bool change = initial_request_ == ui::request::kChange;
  if (change) file->Send(files::kOpWatch);
  files::RegetKey(file, Key(def_.table, 1), position_);
  if (change && (files::Errors().Code() != 0 || BufferCopy(def_.table) != read_copy_)) {
    changed_elsewhere_ = true;
  }
  files::Errors().Clear();
}

void UpdateForm::RemoveNumberedRecord() {
  if (!numbered_ || initial_request_ != ui::request::kInsert ||
      exit_response_ != ui::response::kCancelled) {
    return;
  }
  // Only the record as the numbering added it goes: one another program
  // changed meanwhile is theirs and stays.
  files::FileRecord* file = File(def_.table);
  if (ClaimNumbered()) {
    files::Delete(file);
    if (files::Errors().Code() != 0) {
      WarningMessage(MessageId::kDeleteOperationError, Def(def_.table).label);
    }
  }
  numbered_ = false;
}

void UpdateForm::Closing() {
  children_.clear();
  for (Table t : def_.tables) CloseTable(t);
  ForgetParentValue(def_.table);
  if (window_open_) window_->Close();
  ui::ResponseCode() = exit_response_ != 0 ? exit_response_ : ui::response::kCancelled;
}

void RunUpdateForm(const FormDef& def) {
  UpdateForm form(def);
  form.Run();
}

}  // namespace vorsandt::app
