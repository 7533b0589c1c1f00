#include "app/tree/tree_window.h"

#include "app/frame/main_frame.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {
namespace {

// Alert-key slots of the tree list. The tree has no handler for the alert
// event: alerting these keys only keeps them from the list.
constexpr int kCtrlRightSlot = 255;
constexpr int kCtrlLeftSlot = 254;
constexpr int kDoubleClickSlot = 253;
// The deepest row level Insert acts on.
constexpr int kDeepestInsertRow = 2;

constexpr char kCloseEquate[] = "?Close";
constexpr char kInsertEquate[] = "?Insert";
constexpr char kChangeEquate[] = "?Change";
constexpr char kDeleteEquate[] = "?Delete";

// Calls `name` on this thread; a procedure that is not part of the program
// (or no procedure at all) answers "cancelled".
bool CallForm(const char* name, int32_t request) {
  ui::RequestCode() = request;
  CallProcedure(name);
  return ui::ResponseCode() == ui::response::kCompleted;
}

}  // namespace

int TreeProcedure::Optional(const char* equate) const {
  ui::WindowState state = window_->Snapshot();
  const ui::ControlState* c = state.ControlNamed(equate);
  return c != nullptr ? c->field : 0;
}

void TreeProcedure::Run() {
  const int32_t saved_request = ui::RequestCode();
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;
  for (Table t : def_.tables) OpenTable(t);
  window_ = ui::Engine::Current()->CreateWindow(def_.window_id, def_.label);
  list_ = window_->FieldOf(kTreeEquate);
  close_ = Optional(kCloseEquate);
  insert_ = Optional(kInsertEquate);
  change_ = Optional(kChangeEquate);
  delete_ = Optional(kDeleteEquate);
  // The nodes open when the window last closed open again.
  ui::Platform& platform = ui::Engine::Current()->platform();
  const std::string remembered = std::string("trees/") + def_.label + "/open";
  loader_.open_nodes().Restore(platform.Recall(remembered));
  // The rows are there before the window shows.
  const bool loaded = loader_.LoadTree(&rows_);
  Show();
  window_->Open();
  window_->SetProperty(list_, ui::prop::kSelStart, 1);
  window_->SetProperty(list_, ui::prop::kAlertKey, ui::key::kCtrl + ui::key::kRight,
                       kCtrlRightSlot);
  window_->SetProperty(list_, ui::prop::kAlertKey, ui::key::kCtrl + ui::key::kLeft, kCtrlLeftSlot);
  window_->SetProperty(list_, ui::prop::kAlertKey, ui::key::kMouseLeft2, kDoubleClickSlot);
  if (!loaded) ReadFailed();

  while (window_->Accept()) {
    const int event = window_->Event();
    const int field = window_->Field();
    if (failed_) continue;
    if (event == ui::event::kOpenWindow) {
      if (!window_ready_) {
        Redraw();
        window_ready_ = true;
      }
      window_->Select(list_);
    } else if (event == ui::event::kGainFocus) {
      // Every return rebuilds the tree, reopens the remembered nodes and
      // selects the row the user was on.
      const int row = SelectedRow();
      if (row >= 0) {
        reselect_level_ = rows_[static_cast<size_t>(row)].depth();
        reselect_position_ = rows_[static_cast<size_t>(row)].position;
      }
      ReloadTree();
      refresh_pending_ = true;
      window_ready_ = true;
      Redraw();
    } else if (field != 0 && field == list_) {
      OnList();
    } else if (event == ui::event::kAccepted) {
      OnAccepted(field);
    }
  }
  if (!failed_) platform.Remember(remembered, OpenNodes::Saved(rows_));
  for (Table t : def_.tables) CloseTable(t);
  window_->Close();
  ui::RequestCode() = saved_request;
  ui::ResponseCode() = exit_response_ != 0 ? exit_response_ : ui::response::kCancelled;
}

void TreeProcedure::Show() {
  std::vector<ui::ListRow> shown;
  shown.reserve(rows_.size());
  for (const TreeRow& r : rows_) shown.push_back(ui::ListRow({r.text}, r.level));
  window_->SetRows(list_, std::move(shown));
}

void TreeProcedure::Redraw() {
  if (window_->GetNumber(0, ui::prop::kAcceptAll) != 0) return;
  window_->Display();
  refresh_pending_ = false;
}

void TreeProcedure::ReadFailed() {
  failed_ = true;
  WarningMessage(MessageId::kRecordRetrievalError, loader_.failed());
  window_->Post(ui::event::kCloseWindow);
}

void TreeProcedure::ReloadTree() {
  if (!loader_.LoadTree(&rows_)) {
    Show();
    ReadFailed();
    return;
  }
  Show();
  if (reselect_level_ == 0) return;
  const int row = TreeLoader::Find(rows_, reselect_level_, reselect_position_);
  if (row >= 0) window_->Select(list_, row + 1);
}

int TreeProcedure::SelectedRow() const {
  const int row = window_->Choice(list_);
  return row >= 1 && row <= static_cast<int>(rows_.size()) ? row - 1 : -1;
}

int TreeProcedure::EventRow() const {
  const int64_t row = window_->GetNumber(list_, ui::prop::kTreeRow);
  return row >= 1 && row <= static_cast<int64_t>(rows_.size()) ? static_cast<int>(row - 1) : -1;
}

bool TreeProcedure::Usable(int button) const {
  // A tree without the button acts from its popup alone.
  if (button == 0) return true;
  return window_->GetNumber(button, ui::prop::kHide) == 0 &&
         window_->GetNumber(button, ui::prop::kDisable) == 0;
}

void TreeProcedure::OnList() {
  const int event = window_->Event();
  if (event == ui::event::kNewSelection && window_->Keycode() == ui::key::kMouseRight) {
    Popup();
  } else if (event == ui::event::kExpanded || event == ui::event::kContracted) {
    const int row = EventRow();
    if (row < 0) return;
    const size_t index = static_cast<size_t>(row);
    const bool ok = event == ui::event::kExpanded ? loader_.Expand(&rows_, index)
                                                  : loader_.Contract(&rows_, index);
    Show();
    if (!ok) ReadFailed();
  }
}

void TreeProcedure::Popup() {
  if (def_.popup == nullptr) return;
  const int chosen = window_->Popup(def_.popup);
  if (chosen < 1 || chosen > 3) return;
  // Routed through the button where the window has one, as a click would be.
  const int targets[] = {insert_, change_, delete_};
  const int target = targets[chosen - 1];
  if (target != 0) {
    window_->Post(ui::event::kAccepted, target);
  } else if (chosen == 1) {
    InsertRow();
  } else {
    ChangeRow(chosen == 2 ? ui::request::kChange : ui::request::kDelete);
  }
}

void TreeProcedure::OnAccepted(int field) {
  if (field == 0) return;
  if (field == close_) {
    exit_response_ = ui::response::kCancelled;
    window_->Post(ui::event::kCloseWindow);
  } else if (field == insert_) {
    InsertRow();
  } else if (field == change_) {
    ChangeRow(ui::request::kChange);
  } else if (field == delete_) {
    ChangeRow(ui::request::kDelete);
  }
}

// A new record at the tree's insert level, under the ancestor of the current
// row one level up (an item inserted on an item row goes to that item's
// location).
void TreeProcedure::InsertRow() {
  const int level = def_.insert_level;
  if (level == 0 || !Usable(insert_)) return;
  int row = SelectedRow();
  if (row < 0) return;
  // Insert works from the rows of the first two levels only: the root and
  // the rows deeper down (an insurer's policies' items) insert nothing.
  const int depth = rows_[static_cast<size_t>(row)].depth();
  if (depth < 1 || depth > kDeepestInsertRow) return;
  if (level > 1) {
    if (depth < level - 1) return;
    while (row > 0 && rows_[static_cast<size_t>(row)].depth() != level - 1) --row;
    if (!loader_.Reread(rows_[static_cast<size_t>(row)])) return ReadFailed();
  }
  loader_.PrepareInsert(level);
  if (!CallForm(loader_.level(level).form, ui::request::kInsert)) return;
  reselect_level_ = level;
  reselect_position_ = loader_.PositionOf(level);
  ReloadTree();
}

void TreeProcedure::ChangeRow(int32_t request) {
  if (request == ui::request::kDelete && !Usable(delete_)) return;
  const int row = SelectedRow();
  if (row < 0) return;
  const TreeRow& node = rows_[static_cast<size_t>(row)];
  const int level = node.depth();
  if (level < 1) return;
  if (!loader_.Reread(node)) return ReadFailed();
  if (!CallForm(loader_.level(level).form, request)) return;
  if (request == ui::request::kChange) {
    reselect_level_ = level;
    reselect_position_ = loader_.PositionOf(level);
  } else {
    reselect_level_ = 0;
  }
  ReloadTree();
}

void RunTreeProcedure(const TreeDef& def) {
  TreeProcedure procedure(def);
  procedure.Run();
}

void RegisterTreeProcedures(std::span<const TreeDef> defs) {
  for (const TreeDef& def : defs) {
    Procedures().Register(def.procedure, [&def] { RunTreeProcedure(def); });
  }
}

}  // namespace vorsandt::app
