#include "app/report/report_procedure.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/frame/main_frame.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "app/report/coverage_check.h"
#include "app/report/report_preview.h"
#include "report/report.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/format/format.h"
#include "runtime/views/view_decl.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/field_variable.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/use_variable.h"

namespace vorsandt::app {
namespace {

// The outcome of the last read, and the run's answer.
constexpr int32_t kGoOn = 1;  // a record was read (or the report completed)
constexpr int32_t kEnd = 2;   // the end was reached (or the run was cancelled)

class ReportRun {
 public:
  explicit ReportRun(const ReportDef& def) : def_(def) {}
  ReportRun(const ReportDef& def, std::vector<ReportRow> rows)
      : def_(def), preset_(std::move(rows)) {}
  void Run();
  bool RunWithoutWindow(const std::function<bool(const std::vector<std::string>&)>& deliver,
                        std::string* error);

 private:
  void Prepare();
  void PrepareReport();
  bool OpenForReading(bool* nothing_to_print, std::string* error);
  void CloseTables();
  void BuildView();
  void BindFields(ui::Report& report, Table table);
  bool OpenRows(std::string* error);
  void CloseRows();
  bool ReadNextRow();  // false: the end (or an error) was reached
  void PrintBatch();
  void ShowPercent();
  void PrintPreviewed();

  const ReportDef& def_;
  std::vector<uint8_t> layout_;
  std::vector<const files::KeyDecl*> keys_;
  std::unique_ptr<views::ViewFileList> file_list_;
  std::unique_ptr<views::ViewRecord> view_;
  std::unique_ptr<ui::Window> progress_;
  std::unique_ptr<ui::Report> report_;
  ui::PreviewQueue page_list_;
  // With a hook: the rows worked out, the next one to print, and the
  // variables the report shows them through.
  std::vector<ReportRow> rows_;
  std::optional<std::vector<ReportRow>> preset_;  // given instead of gathered
  size_t next_row_ = 0;
  std::vector<std::string> row_values_;
  int band_ = 0;  // the detail band of the current row

  // The tables this run opened (and closes again).
  std::vector<Table> opened_;

  int32_t record_total_ = 0;
  int32_t records_read_ = 0;
  int32_t batch_count_ = 0;
  int32_t percent_done_ = 0;
  int32_t bar_value_ = 0;
  std::string user_string_;
  int32_t exit_response_ = 0;
  int bar_ = 0;
  int percent_ = 0;
};

std::vector<Table> TablesOf(const ReportDef& def) {
  std::vector<Table> tables{def.primary};
  for (const ReportLevel& level : def.children) {
    tables.push_back(LinkByChildKey(level.link)->child);
  }
  if (def.hook != nullptr) {
    for (Table t : def.hook->tables) tables.push_back(t);
  }
  return tables;
}

void ReportRun::BuildView() {
  views::ViewLayoutBuilder builder;
  builder.LevelAllFields({});
  for (const ReportLevel& level : def_.children) {
    // The child key's leading component equals the link's parent field.
    const RelationDef& link = *LinkByChildKey(level.link);
    builder.Child().LevelAllFields({FieldNumber(link.parent, link.parent_field)});
    keys_.push_back(KeyNamed(link.child_key));
  }
  layout_ = builder.Finish();
  file_list_ = std::make_unique<views::ViewFileList>(
      views::ViewFileList{File(def_.primary), keys_.data(), static_cast<int>(keys_.size())});
  view_ = std::make_unique<views::ViewRecord>(layout_.data(), layout_.size(), file_list_.get());
}

// Every field of the table is offered; the report keeps those its controls
// and breaks show.
void ReportRun::BindFields(ui::Report& report, Table table) {
  for (const FieldDef& field : Def(table).fields) {
    report.Bind(field.name, ui::BindField(File(table), field.name));
  }
}

// Positions the view at its start, or works out the hook's rows (then the
// percentage counts rows). False, with `error` set, when that fails.
bool ReportRun::OpenRows(std::string* error) {
  if (def_.hook != nullptr) {
    rows_.clear();
    next_row_ = 0;
    if (preset_) {
      rows_ = *preset_;
    } else if (!def_.hook->gather(&rows_, error)) {
      return false;
    }
    record_total_ = static_cast<int32_t>(rows_.size());
    return true;
  }
  band_ = def_.detail_band;
  files::SetKey(File(def_.primary), KeyNamed(def_.start_key));
  files::Open(view_.get(), files::kModeViewDefault);
  if (files::Errors().Code() == files::kNoError) return true;
  *error = "the report's view cannot be opened: " + files::Errors().Text();
  return false;
}

void ReportRun::CloseRows() {
  if (view_) files::Close(view_.get());
  rows_.clear();
}

bool ReportRun::ReadNextRow() {
  if (def_.hook != nullptr) {
    if (next_row_ >= rows_.size()) {
      exit_response_ = kEnd;
      return false;
    }
    const ReportRow& row = rows_[next_row_++];
    band_ = row.band;
    for (size_t i = 0; i < row_values_.size(); ++i) {
      row_values_[i] = i < row.values.size() ? row.values[i] : std::string();
    }
  } else {
    files::Next(view_.get());
    const int code = files::Errors().Code();
    if (code == files::kRecordNotAvailable) {
      exit_response_ = kEnd;
      return false;
    }
    if (code != files::kNoError) {
      WarningMessage(MessageId::kRecordRetrievalError, def_.read_error_name);
      exit_response_ = kEnd;
      return false;
    }
  }
  exit_response_ = kGoOn;
  ++records_read_;
  ++batch_count_;
  if (percent_done_ < 100) percent_done_ = ReportPercent(records_read_, record_total_);
  if (percent_done_ != bar_value_ && progress_) ShowPercent();
  return true;
}

void ReportRun::ShowPercent() {
  bar_value_ = percent_done_;
  progress_->SetProperty(percent_, ui::prop::kText,
                         format::Format(static_cast<double>(percent_done_), "@N3") + "% Completed");
  progress_->Display(bar_);
  progress_->Display(percent_);
}

// One timer event: the current record and up to 24 more are printed; the
// record read last waits for the next event.
void ReportRun::PrintBatch() {
  // One run per batch: between batches the window's loop waits for its timer.
  files::ReadRun run;
  bool at_end = false;
  for (batch_count_ = 0; batch_count_ < kReportBatchSize && !at_end;) {
    report_->Print(band_);
    if (!ReadNextRow()) at_end = true;
  }
  if (at_end) {
    exit_response_ = kGoOn;  // completed
    progress_->Post(ui::event::kCloseWindow);
  } else {
    exit_response_ = kEnd;
  }
}

void ReportRun::Prepare() {
  for (Table t : TablesOf(def_)) {
    OpenTable(t);
    opened_.push_back(t);
  }
  PrepareReport();
}

void ReportRun::PrepareReport() {
  report_ = ui::Report::Create(*ui::Engine::Current(), kReportWindowId, def_.report_label);
  if (def_.hook != nullptr) {
    row_values_.resize(def_.hook->variables.size());
    for (size_t i = 0; i < row_values_.size(); ++i) {
      report_->Bind(def_.hook->variables[i], ui::BindText(&row_values_[i]));
    }
    return;
  }
  BuildView();
  for (Table t : TablesOf(def_)) BindFields(*report_, t);
}

// The tables opened for reading only: nothing is created or repaired, and a
// folder the user may only read serves. A missing primary table, or any
// missing table while the primary one holds nothing, leaves nothing to print;
// a table missing beside records that need it, or one that cannot be read,
// is an error naming it.
bool ReportRun::OpenForReading(bool* nothing_to_print, std::string* error) {
  *nothing_to_print = false;
  std::string missing;
  for (Table t : TablesOf(def_)) {
    if (std::find(opened_.begin(), opened_.end(), t) != opened_.end()) continue;
    switch (OpenTableForReading(t, error)) {
      case ReadOpening::kOpened:
        opened_.push_back(t);
        break;
      case ReadOpening::kMissing:
        if (missing.empty()) missing = Def(t).label;
        if (t == def_.primary) *nothing_to_print = true;
        break;
      case ReadOpening::kFailed:
        return false;
    }
  }
  if (missing.empty() || *nothing_to_print) return true;
  if (files::Records(File(def_.primary)) <= 0) {
    files::Errors().Clear();
    *nothing_to_print = true;
    return true;
  }
  *error = missing + ": the table " + missing + ".QVF is not in the data folder";
  return false;
}

void ReportRun::CloseTables() {
  for (Table t : opened_) CloseTable(t);
  opened_.clear();
}

bool ReportRun::RunWithoutWindow(
    const std::function<bool(const std::vector<std::string>&)>& deliver, std::string* error) {
  bool nothing_to_print = false;
  if (!OpenForReading(&nothing_to_print, error)) {
    CloseTables();
    return false;
  }
  if (nothing_to_print) {
    CloseTables();
    const bool ok = deliver(page_list_);
    if (!ok && error->empty()) *error = "the pages cannot be written";
    return ok;
  }
  PrepareReport();
  record_total_ = files::Records(File(def_.primary));
  files::Send(File(def_.primary), "QUICKSCAN=on");
  bool ok = OpenRows(error);
  if (ok) {
    files::ReadRun run;
    if (ReadNextRow()) {
      report_->Open();
      report_->SetPreview(&page_list_);
      do {
        report_->Print(band_);
      } while (ReadNextRow());
      report_->EndPage();
    }
    CloseRows();
    ok = deliver(page_list_);
    if (!ok && error->empty()) *error = "the pages cannot be written";
  }
  files::Errors().Clear();
  files::Send(File(def_.primary), "QUICKSCAN=off");
  files::Errors().Clear();
  report_->Close();
  CloseTables();
  return ok;
}

// Print! in the preview. With no printer to go to yet (none chosen and none
// installed, or the last job failed) the printer setup comes first, where
// the user picks a printer or a PDF file; cancelling it prints nothing.
void ReportRun::PrintPreviewed() {
  ui::Engine& engine = *ui::Engine::Current();
  if (!engine.platform().PrinterReady() && !engine.PrinterSetup(0)) return;
  report_->SetProperty(ui::kPropFlushPreview, 1);
  // A printer that failed: the runtime's printer error, and the program
  // goes on; the next Print! offers the setup again.
  if (files::Errors().Code() != files::kNoError) {
    engine.Message(files::Errors().Text(), "Print", ui::Icon::kExclamation);
    files::Errors().Clear();
    return;
  }
  const ui::PrintResult& printed = report_->LastPrint();
  if (!printed.file.empty()) {
    engine.platform().ShowNotice(WrittenNotice(printed.file, page_list_.size()));
  }
}

void ReportRun::Run() {
  // A report takes no request; it answers through the response only.
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;
  Prepare();
  ui::Engine& engine = *ui::Engine::Current();
  progress_ = engine.CreateWindow(kReportWindowId, def_.progress_label);
  progress_->Bind("barValue", ui::BindLong(&bar_value_));
  progress_->Bind("userString", ui::BindText(&user_string_, 80));
  bar_ = progress_->FieldOf("barValue");
  percent_ = progress_->FieldOf("?PercentDone");
  const int cancel = progress_->FieldOf("?Cancel");

  record_total_ = files::Records(File(def_.primary));
  files::Errors().Clear();
  records_read_ = 0;
  percent_done_ = 0;
  progress_->Open();
  bar_value_ = 0;
  progress_->SetProperty(percent_, ui::prop::kText, "0% Completed");
  progress_->SetProperty(0, ui::prop::kText, "Generating Report");
  user_string_.clear();
  files::Send(File(def_.primary), "QUICKSCAN=on");
  files::Errors().Clear();

  bool view_open = false;
  while (progress_->Accept()) {
    switch (progress_->Event()) {
      case ui::event::kOpenWindow: {
        std::string error;
        view_open = OpenRows(&error);
        if (!view_open) {
          // A hook names the table that failed first in its error.
          WarningMessage(MessageId::kRecordRetrievalError,
                         def_.hook != nullptr && !error.empty()
                             ? std::string_view(error).substr(0, error.find(' '))
                             : std::string_view(def_.read_error_name));
          exit_response_ = kEnd;
        } else if (!ReadNextRow()) {
          exit_response_ = kEnd;  // an empty report
        } else {
          report_->Open();
          report_->SetPreview(&page_list_);
          break;
        }
        progress_->Post(ui::event::kCloseWindow);
        break;
      }
      case ui::event::kTimer:
        if (report_->state() == ui::Report::State::kOpen) PrintBatch();
        break;
      case ui::event::kAccepted:
        if (progress_->Field() == cancel) {
          exit_response_ = kEnd;
          progress_->Post(ui::event::kCloseWindow);
        }
        break;
      default:
        break;
    }
  }
  progress_->Close();
  if (view_open) CloseRows();
  files::Errors().Clear();
  files::Send(File(def_.primary), "QUICKSCAN=off");
  files::Errors().Clear();

  if (exit_response_ == kGoOn && report_->state() == ui::Report::State::kOpen) {
    report_->EndPage();
    ReportPreview(page_list_, std::string(def_.name) + ".pdf");
    if (ui::ResponseCode() == ui::response::kCompleted) PrintPreviewed();
  }
  report_->Close();
  page_list_.clear();
  CloseTables();
  ui::ResponseCode() = exit_response_ != 0 ? exit_response_ : ui::response::kCancelled;
}

// The instances.
constexpr ReportLevel kInventoryLevels[] = {{"ITE:LOC"}};
constexpr ReportLevel kInsuranceLevels[] = {{"POL:COMPANY"}, {"ITE:POLICY"}};
constexpr ReportDef kReports[] = {
    {"inventory", "MasterInventoryPrint", "MASTERINVENTORYPRINT$REPORT",
     "MASTERINVENTORYPRINT$PROGRESSWINDOW", Table::kLocations, "LOC:LOC", kInventoryLevels, 2,
     "LOCATIONS"},
    {"insurance", "MasterInsuranceReport", "MASTERINSURANCEREPORT$REPORT",
     "MASTERINSURANCEREPORT$PROGRESSWINDOW", Table::kInsuranceCompany, "INS:NAME", kInsuranceLevels,
     3, "POLICY"},
    {"coverage",
     "CoverageCheck",
     "COVERAGECHECK$REPORT",
     "COVERAGECHECK$PROGRESSWINDOW",
     Table::kItems,
     "ITE:CODE",
     {},
     kCovPolicyBand,
     "ITEMS",
     &kCoverageHook},
};

void MasterInventoryPrint() { RunReport(kReports[0]); }
void MasterInsuranceReport() { RunReport(kReports[1]); }
void CoverageCheck() { RunReport(kReports[2]); }

}  // namespace

VORSANDT_PROCEDURE(MasterInventoryPrint);
VORSANDT_PROCEDURE(MasterInsuranceReport);
VORSANDT_PROCEDURE(CoverageCheck);

void RunReport(const ReportDef& def) { ReportRun(def).Run(); }

std::span<const ReportDef> ReportDefs() { return kReports; }

const ReportDef* ReportNamed(std::string_view name) {
  for (const ReportDef& def : kReports) {
    if (name == def.name) return &def;
  }
  return nullptr;
}

bool RenderReport(const ReportDef& def,
                  const std::function<bool(const std::vector<std::string>&)>& deliver,
                  std::string* error) {
  return ReportRun(def).RunWithoutWindow(deliver, error);
}

bool RenderReportRows(const ReportDef& def, std::vector<ReportRow> rows,
                      const std::function<bool(const std::vector<std::string>&)>& deliver,
                      std::string* error) {
  return ReportRun(def, std::move(rows)).RunWithoutWindow(deliver, error);
}

std::string WrittenNotice(const std::string& file, size_t pages) {
  return "Written to " + file + ", " + std::to_string(pages) + (pages == 1 ? " page." : " pages.");
}

int ReportPercent(int32_t read, int32_t total) {
  if (total <= 0) return read > 0 ? 100 : 0;
  int64_t percent = int64_t{read} * 100 / total;
  return static_cast<int>(std::clamp<int64_t>(percent, 0, 100));
}

}  // namespace vorsandt::app
