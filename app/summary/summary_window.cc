#include "app/summary/summary_window.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/frame/main_frame.h"
#include "app/messages/record_reading.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "app/summary/value_summary.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/file_decl.h"
#include "runtime/files/operations.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/use_variable.h"
#include "ui/engine/window.h"

namespace vorsandt::app {
namespace {

constexpr Table kTables[] = {Table::kLocations, Table::kPolicy, Table::kItems};
constexpr size_t kBrowseStack = 50000;
constexpr size_t kLineSize = 120;

// What a bar opens: the list of a parent record's items, with the parent's
// name in its buffer.
struct Opening {
  Table parent;
  const char* field;   // the parent's name field
  const char* key;     // the parent's key on that field
  const char* browse;  // the list of its items
};
constexpr Opening kLocationItems{Table::kLocations, "LOC:LOCATION", "LOC:LOC", "BrowseITE:LOC"};
constexpr Opening kPolicyItems{Table::kPolicy, "POL:POLICY_REFERENCE", "POL:REFERENCE",
                               "BrowseITE:POLICY"};

class SummaryWindow {
 public:
  void Run();

 private:
  void Load();
  void Open(const Opening& opening, const std::vector<ValueGroup>& groups, int bar);

  std::unique_ptr<ui::Window> window_;
  int locations_ = 0, policies_ = 0, years_ = 0, close_ = 0, help_ = 0;
  std::string total_line_, cover_line_;
  ValueSummary summary_;
};

void SummaryWindow::Load() {
  std::string error;
  if (!ReadValueSummary(&summary_, &error)) {
    WarningMessage(MessageId::kRecordRetrievalError,
                   std::string_view(error).substr(0, error.find(' ')));
    window_->Post(ui::event::kCloseWindow);
    return;
  }
  const std::vector<std::string> lines = SummaryLines(summary_);
  total_line_ = lines[0];
  cover_line_ = lines[1];
  window_->SetChart(locations_, LocationChart(summary_));
  window_->SetChart(policies_, PolicyChart(summary_));
  window_->SetChart(years_, YearChart(summary_));
  window_->Display();
}

// The list runs on a thread of its own, with its own record buffers: the
// parent is read there, by its name, and a name no record holds (items
// naming a location or policy that is not on file, or none) is left in the
// buffer, so that the list still shows the items naming it.
void SummaryWindow::Open(const Opening& o, const std::vector<ValueGroup>& groups, int bar) {
  if (bar < 1 || bar > static_cast<int>(groups.size())) return;
  ui::Procedure browse = Procedures().Find(o.browse);
  if (!browse) return;
  const std::string name = groups[bar - 1].name;
  ui::Engine::Current()->Start(
      [o, name, browse] {
        OpenTable(o.parent);
        files::FileRecord* file = File(o.parent);
        std::fill_n(files::RecordBuffer(file), Def(o.parent).record_length, 0);
        files::WriteText(BufferField(o.field), name);
        files::GetByKey(file, KeyNamed(o.key));
        if (files::Errors().Code() != 0) {
          std::fill_n(files::RecordBuffer(file), Def(o.parent).record_length, 0);
          files::WriteText(BufferField(o.field), name);
          files::Errors().Clear();
        }
        browse();
        CloseTable(o.parent);
      },
      kBrowseStack);
}

void SummaryWindow::Run() {
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;
  for (Table t : kTables) OpenTable(t);
  window_ = ui::Engine::Current()->CreateWindow(kSummaryWindowId, kSummaryWindowLabel);
  locations_ = window_->FieldOf("?ByLocation");
  policies_ = window_->FieldOf("?ByPolicy");
  years_ = window_->FieldOf("?ByYear");
  close_ = window_->FieldOf("?Close");
  help_ = window_->FieldOf("?Help");
  window_->Bind("totalLine", ui::BindText(&total_line_, kLineSize));
  window_->Bind("coverLine", ui::BindText(&cover_line_, kLineSize));
  window_->SetEscapeButton(close_);
  window_->Open();
  Load();
  while (window_->Accept()) {
    const int event = window_->Event();
    const int field = window_->Field();
    if (event == ui::event::kOpenWindow) {
      window_->Select(locations_);
    } else if (event == ui::event::kGainFocus) {
      // Back from a list, which may have changed, moved or deleted items.
      Load();
    } else if (event != ui::event::kAccepted) {
      continue;
    } else if (field == locations_) {
      Open(kLocationItems, summary_.locations, window_->Choice(locations_));
    } else if (field == policies_) {
      Open(kPolicyItems, summary_.policies, window_->Choice(policies_));
    } else if (field == help_) {
      window_->ShowHelp();
    } else if (field == close_) {
      window_->Post(ui::event::kCloseWindow);
    }
  }
  window_->Close();
  for (Table t : kTables) CloseTable(t);
  ui::ResponseCode() = ui::response::kCompleted;
}

}  // namespace

void InventorySummary() { SummaryWindow().Run(); }

VORSANDT_PROCEDURE(InventorySummary);

}  // namespace vorsandt::app
