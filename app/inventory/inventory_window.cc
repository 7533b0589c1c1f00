#include "app/inventory/inventory_window.h"

#include <memory>
#include <string>
#include <vector>

#include "app/frame/main_frame.h"
#include "app/inventory/inventory_check.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/format/dates.h"
#include "runtime/format/format.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/use_variable.h"
#include "ui/engine/window.h"

namespace vorsandt::app {
namespace {

constexpr Table kTables[] = {Table::kLocations, Table::kItems, Table::kChecks};
// The sheet's tabs, by place.
constexpr int kAllItemsTab = 1;
constexpr int kNotSeenTab = 2;
// The slot of Space alerted on the list.
constexpr int kSpaceSlot = 250;

class InventoryWindow {
 public:
  void Run();

 private:
  void Prepare();
  void LoadLocation();
  void Fill(int keep_row);
  void ShowSelected();
  void Toggle(bool seen);
  void Failed(const std::string& error);
  int SelectedRow() const;
  const SeenItem* Selected() const;

  std::unique_ptr<ui::Window> window_;
  int location_list_ = 0, sheet_ = 0, items_ = 0, seen_ = 0, status_ = 0;
  int close_ = 0, help_ = 0;
  std::string location_, seen_text_, status_text_;
  int32_t today_ = 0;
  std::vector<SeenItem> all_;    // the location's items
  std::vector<SeenItem> shown_;  // in the order of the tab shown
};

std::string DayText(int32_t day) {
  return day > 0 ? format::Format(static_cast<double>(day), "@D6") : std::string("never");
}

void InventoryWindow::Prepare() {
  location_list_ = window_->FieldOf("locationName");
  sheet_ = window_->FieldOf("?Order");
  items_ = window_->FieldOf("?Items");
  seen_ = window_->FieldOf("seenToday");
  status_ = window_->FieldOf("statusText");
  close_ = window_->FieldOf("?Close");
  help_ = window_->FieldOf("?Help");
  window_->Bind("locationName", ui::BindText(&location_, 30));
  window_->Bind("seenToday", ui::BindText(&seen_text_, 1));
  window_->Bind("statusText", ui::BindText(&status_text_, 80));
  std::vector<std::string> names;
  std::string error;
  if (!LocationNames(&names, &error)) return Failed(error);
  std::vector<ui::ListRow> rows;
  for (const std::string& name : names) rows.push_back({{name}, 0});
  window_->SetRows(location_list_, std::move(rows));
  if (!names.empty()) location_ = names.front();
}

void InventoryWindow::Failed(const std::string& error) {
  WarningMessage(MessageId::kRecordRetrievalError,
                 std::string_view(error).substr(0, error.find(':')));
  window_->Post(ui::event::kCloseWindow);
}

void InventoryWindow::LoadLocation() {
  std::string error;
  if (!ItemsAt(location_, &all_, &error)) return Failed(error);
  Fill(1);
}

// The rows of the tab shown, the selection kept at `keep_row` where the list
// still has it.
void InventoryWindow::Fill(int keep_row) {
  shown_ = window_->Choice(sheet_) == kNotSeenTab ? NotSeenOrder(all_, today_) : all_;
  std::vector<ui::ListRow> rows;
  int seen_today = 0;
  for (const SeenItem& item : all_) seen_today += item.last_seen == today_ ? 1 : 0;
  for (const SeenItem& item : shown_) {
    rows.push_back({{item.last_seen == today_ ? "Yes" : "",
                     format::Format(static_cast<double>(item.code), "@n06"), item.description,
                     DayText(item.last_seen)},
                    0});
  }
  window_->SetRows(items_, std::move(rows));
  const int count = static_cast<int>(shown_.size());
  window_->SetProperty(items_, ui::prop::kSelStart, count == 0 ? 0 : std::min(keep_row, count));
  status_text_ =
      std::to_string(seen_today) + " of " + std::to_string(all_.size()) + " items seen today";
  ShowSelected();
}

int InventoryWindow::SelectedRow() const { return window_->Choice(items_); }

const SeenItem* InventoryWindow::Selected() const {
  const int row = SelectedRow();
  if (row < 1 || row > static_cast<int>(shown_.size())) return nullptr;
  return &shown_[static_cast<size_t>(row - 1)];
}

void InventoryWindow::ShowSelected() {
  const SeenItem* item = Selected();
  seen_text_ = item != nullptr && item->last_seen == today_ ? "1" : "0";
  window_->SetProperty(seen_, ui::prop::kDisable, item == nullptr ? 1 : 0);
  window_->Display();
}

// Ticks (or unticks) the selected item: the check is written (or taken
// away) before the list says so, and the list read again from the tables.
void InventoryWindow::Toggle(bool seen) {
  const SeenItem* item = Selected();
  if (item == nullptr) return;
  const int row = SelectedRow();
  std::string error;
  const bool ok =
      seen ? MarkSeen(item->code, today_, &error) : UnmarkSeen(item->code, today_, &error);
  if (!ok) {
    WarningMessage(MessageId::kRecordRetrievalError,
                   std::string_view(error).substr(0, error.find(':')));
  }
  if (!ItemsAt(location_, &all_, &error)) return Failed(error);
  Fill(row);
}

void InventoryWindow::Run() {
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;
  today_ = format::Today();
  for (Table t : kTables) OpenTable(t);
  window_ = ui::Engine::Current()->CreateWindow(kInventoryWindowId, kInventoryWindowLabel);
  window_->Open();
  Prepare();
  window_->SetProperty(items_, ui::prop::kAlertKey, ui::key::kSpace, kSpaceSlot);
  LoadLocation();
  while (window_->Accept()) {
    const int event = window_->Event();
    const int field = window_->Field();
    // The keys go to the list first: Space ticks, the arrows walk it.
    if (event == ui::event::kOpenWindow) window_->Select(items_);
    if (field == 0) continue;
    if (field == location_list_ && event == ui::event::kAccepted) {
      LoadLocation();
    } else if (field == sheet_ &&
               (event == ui::event::kNewSelection || event == ui::event::kAccepted)) {
      Fill(1);
    } else if (field == items_ && event == ui::event::kNewSelection) {
      ShowSelected();
    } else if (field == items_ && event == ui::event::kAlertKey) {
      const SeenItem* item = Selected();
      if (item != nullptr) Toggle(item->last_seen != today_);
    } else if (field == seen_ && event == ui::event::kAccepted) {
      Toggle(seen_text_ == "1");
    } else if (field == help_ && event == ui::event::kAccepted) {
      window_->ShowHelp();
    } else if (field == close_ && event == ui::event::kAccepted) {
      window_->Post(ui::event::kCloseWindow);
    }
  }
  window_->Close();
  for (Table t : kTables) CloseTable(t);
  ui::ResponseCode() = ui::response::kCompleted;
}

}  // namespace

void InventoryCheck() { InventoryWindow().Run(); }

VORSANDT_PROCEDURE(InventoryCheck);

}  // namespace vorsandt::app
