#include "app/query/query_window.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browse/browse.h"
#include "app/browse/list_export.h"
#include "app/exchange/whole_file.h"
#include "app/messages/warning_message.h"
#include "app/query/example_grid.h"
#include "app/query/query_export.h"
#include "app/query/query_view.h"
#include "app/query/saved_query.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/format/picture.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/use_variable.h"
#include "ui/engine/window.h"

namespace vorsandt::app::query {
namespace {

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  return s;
}

// A column of the results list for a field: its width in dialog units from
// the picture's width, numbers to the right.
std::string ColumnFormat(const ExampleField& f) {
  int chars = static_cast<int>(f.name.size()) - 4;
  if (std::optional<format::Picture> p = format::CompilePicture(f.picture)) {
    chars = std::max(chars, std::min(p->width, 40));
  }
  const int width = std::clamp(chars * 4 + 4, 24, 164);
  const char justify = f.kind == ValueKind::kText ? 'L' : 'R';
  std::string header = f.name.substr(f.name.find(':') + 1);
  std::string text = std::to_string(width) + justify + "|M~" + header + "~";
  if (!f.picture.empty()) text += f.picture + "@";
  return text;
}

class QueryWindow : public BrowseList {
 public:
  void Run(const std::string& saved);

  // BrowseList.
  int ItemCount() const override {
    return static_cast<int>(std::max<int64_t>(1, window_->GetNumber(results_, ui::prop::kItems)));
  }
  int Choice() const override { return window_->Choice(results_); }
  void Show(const BrowseRows& rows, int selected) override;
  void ReadFailed(const std::string& table) override;

 private:
  void Prepare();
  void OnAccepted(int field);
  void OnResults(int event);
  void ChooseTable(Table table);
  void FillJoins();
  void FillOrders();
  void FillSaved();
  void Rebuild(const std::vector<std::pair<std::string, std::string>>& keep);
  void ToggleJoin();
  void ShowExample();
  void ExampleTyped();
  void Translate();
  void FillGrid();
  bool Ready();
  void RunQuery();
  void CountRows();
  void ExportRows();
  void SaveCurrent();
  bool OpenSaved();
  bool OpenTables(const std::vector<Table>& tables);
  void CloseTables();
  void ClearResults();
  void Status(const std::string& text);

  std::unique_ptr<ui::Window> window_;
  int table_list_ = 0, order_list_ = 0, saved_list_ = 0, joins_ = 0, join_ = 0, save_ = 0;
  int grid_ = 0, example_entry_ = 0, filter_entry_ = 0, run_ = 0, count_ = 0, export_ = 0;
  int records_ = 0, close_ = 0, results_ = 0, status_ = 0;
  // The window's variables.
  std::string table_name_, order_name_, saved_name_, query_name_, example_, filter_;

  Table table_ = Table::kItems;
  std::vector<Table> joins_chosen_;
  std::vector<JoinCandidate> candidates_;
  std::vector<ExampleField> fields_;
  std::vector<std::string> typed_;  // per grid row
  std::vector<Condition> conditions_;
  std::vector<std::string> messages_;  // per grid row: why its condition fails
  std::string generated_;              // the filter the examples make

  std::vector<Table> open_;
  std::vector<BrowseOrder> orders_;
  std::string order_key_, run_filter_;
  std::unique_ptr<Browse> browse_;
  bool scroll_bar_ = false;
};

void QueryWindow::Prepare() {
  table_list_ = window_->FieldOf("tableName");
  order_list_ = window_->FieldOf("orderName");
  saved_list_ = window_->FieldOf("savedName");
  joins_ = window_->FieldOf("?Joins");
  join_ = window_->FieldOf("?Join");
  save_ = window_->FieldOf("?Save");
  grid_ = window_->FieldOf("?Grid");
  example_entry_ = window_->FieldOf("exampleText");
  filter_entry_ = window_->FieldOf("filterText");
  run_ = window_->FieldOf("?Run");
  count_ = window_->FieldOf("?Count");
  export_ = window_->FieldOf("?Export");
  records_ = window_->FieldOf("?Records");
  close_ = window_->FieldOf("?Close");
  results_ = window_->FieldOf("?Results");
  status_ = window_->FieldOf("?Status");
  window_->Bind("tableName", ui::BindText(&table_name_, 30));
  window_->Bind("orderName", ui::BindText(&order_name_, 80));
  window_->Bind("savedName", ui::BindText(&saved_name_, 40));
  window_->Bind("queryName", ui::BindText(&query_name_, 40));
  window_->Bind("exampleText", ui::BindText(&example_, 500));
  window_->Bind("filterText", ui::BindText(&filter_, 4000));
  std::vector<ui::ListRow> tables;
  for (const TableDef& t : Tables()) tables.push_back({{t.label}, 0});
  window_->SetRows(table_list_, std::move(tables));
}

void QueryWindow::Run(const std::string& saved) {
  BindQueryNames();
  window_ = ui::Engine::Current()->CreateWindow(kQueryWindowId, kQueryWindowLabel);
  Prepare();
  window_->Open();
  ChooseTable(Table::kItems);
  FillSaved();
  if (!saved.empty()) {
    saved_name_ = saved;
    // Run as if pressed, once the window is shown and its list knows how
    // many rows it shows.
    if (OpenSaved()) window_->Post(ui::event::kAccepted, run_);
  }
  while (window_->Accept()) {
    const int event = window_->Event();
    const int field = window_->Field();
    if (field != 0 && field == results_) {
      OnResults(event);
    } else if (field != 0 && field == grid_ && event == ui::event::kNewSelection) {
      ShowExample();
    } else if (event == ui::event::kDroppingDown && field == saved_list_) {
      FillSaved();
    } else if (event == ui::event::kSized && browse_ != nullptr && !browse_->failed()) {
      // The list shows another number of rows: the page is read again at
      // its new size.
      browse_->ReloadPage();
      window_->Post(ui::event::kNewSelection, results_);
    } else if (event == ui::event::kAccepted) {
      OnAccepted(field);
    }
  }
  browse_.reset();
  CloseTables();
  window_->Close();
}

void QueryWindow::OnAccepted(int field) {
  if (field == table_list_) {
    Table t;
    if (TableNamed(Trimmed(table_name_), &t) && t != table_) ChooseTable(t);
  } else if (field == order_list_) {
    ClearResults();
  } else if (field == saved_list_) {
    OpenSaved();
  } else if (field == join_) {
    ToggleJoin();
  } else if (field == example_entry_) {
    ExampleTyped();
  } else if (field == filter_entry_) {
    // The rows shown belong to the filter before: Count and Export run anew.
    ClearResults();
    const std::string error = ConditionError(Trimmed(filter_));
    Status(error.empty() ? "" : "The filter cannot be used: " + error);
  } else if (field == run_) {
    RunQuery();
  } else if (field == count_) {
    CountRows();
  } else if (field == export_) {
    ExportRows();
  } else if (field == save_) {
    SaveCurrent();
  } else if (field == close_) {
    window_->Post(ui::event::kCloseWindow);
  }
}

// --- The query being built ---------------------------------------------------

void QueryWindow::ChooseTable(Table table) {
  table_ = table;
  table_name_ = Def(table).label;
  joins_chosen_.clear();
  candidates_ = JoinCandidates(table);
  FillOrders();
  Rebuild({});
}

void QueryWindow::FillOrders() {
  std::vector<ui::ListRow> rows;
  for (const std::string& choice : KeyChoices(table_)) rows.push_back({{choice}, 0});
  order_name_ = rows.empty() ? std::string() : rows[0].cells[0];
  window_->SetRows(order_list_, std::move(rows));
}

void QueryWindow::FillSaved() {
  std::vector<ui::ListRow> rows;
  for (const std::string& name : SavedQueryNames("")) rows.push_back({{name}, 0});
  window_->SetRows(saved_list_, std::move(rows));
}

void QueryWindow::FillJoins() {
  std::vector<ui::ListRow> rows;
  const std::vector<Table> tables = ViewTables(table_, joins_chosen_);
  for (const JoinCandidate& c : candidates_) {
    const bool in = std::find(tables.begin(), tables.end(), c.table) != tables.end();
    rows.push_back({{in ? "yes" : "", Def(c.table).label,
                     std::string(Def(c.through).label) + " by " + c.relation->child_field},
                    0});
  }
  const int selected = window_->Choice(joins_);
  window_->SetRows(joins_, std::move(rows));
  if (selected > 0) window_->Select(joins_, selected);
}

// The grid for the view's tables, keeping what was typed for fields that stay.
void QueryWindow::Rebuild(const std::vector<std::pair<std::string, std::string>>& keep) {
  fields_ = GridFields(ViewTables(table_, joins_chosen_));
  typed_.assign(fields_.size(), std::string());
  for (size_t i = 0; i < fields_.size(); ++i) {
    for (const auto& [name, typed] : keep) {
      if (name == fields_[i].name) typed_[i] = typed;
    }
  }
  FillJoins();
  ClearResults();
  Translate();
  filter_ = generated_;
  window_->Select(grid_, 1);
  ShowExample();
}

void QueryWindow::ToggleJoin() {
  const int row = window_->Choice(joins_);
  if (row < 1 || row > static_cast<int>(candidates_.size())) return;
  const Table t = candidates_[static_cast<size_t>(row - 1)].table;
  std::vector<std::pair<std::string, std::string>> keep;
  for (size_t i = 0; i < fields_.size(); ++i) keep.emplace_back(fields_[i].name, typed_[i]);
  const std::vector<Table> tables = ViewTables(table_, joins_chosen_);
  if (std::find(tables.begin(), tables.end(), t) == tables.end()) {
    joins_chosen_.push_back(t);
  } else {
    // Leaving a table out leaves out the tables joined through it.
    std::vector<Table> kept;
    for (Table j : joins_chosen_) {
      const std::vector<Table> path = ViewTables(table_, {j});
      if (std::find(path.begin(), path.end(), t) == path.end()) kept.push_back(j);
    }
    joins_chosen_ = kept;
  }
  Rebuild(keep);
}

void QueryWindow::ShowExample() {
  const int row = window_->Choice(grid_);
  example_ = row >= 1 && row <= static_cast<int>(typed_.size())
                 ? typed_[static_cast<size_t>(row - 1)]
                 : std::string();
  window_->Display(example_entry_);
}

void QueryWindow::ExampleTyped() {
  const int row = window_->Choice(grid_);
  if (row < 1 || row > static_cast<int>(typed_.size())) return;
  typed_[static_cast<size_t>(row - 1)] = Trimmed(example_);
  Translate();
  // The examples make the filter anew; an edit of the filter is given up.
  filter_ = generated_;
  ClearResults();
}

// Each example to its condition, each condition checked by the evaluator.
void QueryWindow::Translate() {
  conditions_.clear();
  messages_.assign(fields_.size(), std::string());
  std::vector<std::string> texts;
  for (size_t i = 0; i < fields_.size(); ++i) {
    Condition c = ExampleCondition(fields_[i], typed_[i]);
    messages_[i] = c.error;
    if (c.error.empty() && !c.text.empty()) messages_[i] = ConditionError(c.text);
    texts.push_back(c.text);
    conditions_.push_back(std::move(c));
  }
  generated_ = CombineConditions(texts);
  FillGrid();
}

void QueryWindow::FillGrid() {
  std::vector<ui::ListRow> rows;
  for (size_t i = 0; i < fields_.size(); ++i) {
    rows.push_back({{fields_[i].name, typed_[i], messages_[i]}, 0});
  }
  const int selected = window_->Choice(grid_);
  window_->SetRows(grid_, std::move(rows));
  window_->Select(grid_, std::max(selected, 1));
  window_->Display();
}

// True when the examples and the filter can be run; else says why.
bool QueryWindow::Ready() {
  for (size_t i = 0; i < messages_.size(); ++i) {
    if (messages_[i].empty()) continue;
    window_->Select(grid_, static_cast<int>(i) + 1);
    ShowExample();
    Status("The example for " + fields_[i].name + " cannot be used: " + messages_[i]);
    return false;
  }
  const std::string error = ConditionError(Trimmed(filter_));
  if (!error.empty()) {
    Status("The filter cannot be used: " + error);
    return false;
  }
  return true;
}

// --- Running -----------------------------------------------------------------

bool QueryWindow::OpenTables(const std::vector<Table>& tables) {
  CloseTables();
  for (Table t : tables) {
    files::Open(File(t), files::kModeReadOnly);
    if (files::Errors().Code() != files::kNoError) {
      WarningMessage(MessageId::kFileAccessError, Def(t).label);
      Status(std::string("The table ") + Def(t).label + " could not be opened: " +
             Trimmed(files::Errors().MessageText(files::Errors().Code())) + ".");
      CloseTables();
      return false;
    }
    open_.push_back(t);
  }
  return true;
}

void QueryWindow::CloseTables() {
  files::Errors().Push();
  for (Table t : open_) files::Close(File(t));
  files::Errors().Pop();
  open_.clear();
}

void QueryWindow::ClearResults() {
  browse_.reset();
  CloseTables();
  window_->SetRows(results_, {});
  window_->SetProperty(records_, ui::prop::kText, "");
  window_->Display();
}

void QueryWindow::RunQuery() {
  ClearResults();
  if (!Ready()) return;
  const std::vector<Table> tables = ViewTables(table_, joins_chosen_);
  if (!OpenTables(tables)) return;
  order_key_ = KeyOfChoice(Trimmed(order_name_));
  run_filter_ = Trimmed(filter_);
  orders_.assign(1, BrowseOrder{.key = order_key_.c_str(), .filter = run_filter_.c_str()});
  browse_ = std::make_unique<Browse>(table_, orders_, this);
  ViewShape shape = ShapeOf(table_, joins_chosen_);
  browse_->JoinLevels(std::move(shape.layout), std::move(shape.keys));
  std::string format;
  std::vector<std::pair<std::string, std::string>> columns;
  for (const ExampleField& f : fields_) {
    format += ColumnFormat(f);
    columns.emplace_back(f.name, f.picture);
  }
  window_->SetProperty(results_, ui::prop::kFormat, format);
  browse_->SetColumns(columns);
  browse_->SelectOrder(1);
  browse_->Relocate(kRelocateStart);
  if (browse_->failed()) return;
  browse_->BuildKeySpread();
  Status(browse_->state().row_count == 0 ? "No record matches the query." : "");
  window_->Select(results_, browse_->state().selected_row);
  window_->Post(ui::event::kNewSelection, results_);
}

void QueryWindow::OnResults(int event) {
  if (browse_ == nullptr || browse_->failed()) return;
  const Browse::State& s = browse_->state();
  if (browse_->ServeScroll(event)) {
    window_->Post(ui::event::kNewSelection, results_);
    return;
  }
  switch (event) {
    case ui::event::kScrollDrag: {
      const int end = browse_->DragThumb(window_->GetNumber(results_, ui::prop::kThumb));
      window_->Post(end != 0 ? end : ui::event::kNewSelection, results_);
      return;
    }
    case ui::event::kNewSelection:
      break;
    default:
      return;
  }
  if (s.row_count == 0) return;
  if (s.row_count > ItemCount()) {
    // The list shows fewer rows than were read for it.
    browse_->ReloadPage();
    if (s.row_count == 0) return;
  }
  browse_->SelectRow(window_->Choice(results_));
  const bool full = s.row_count == ItemCount();
  if (full != scroll_bar_) {
    window_->SetProperty(results_, ui::prop::kVScroll, full ? 1 : 0);
    scroll_bar_ = full;
  }
  if (full) window_->SetProperty(results_, ui::prop::kThumb, browse_->ComputeThumb());
  window_->Display();
}

void QueryWindow::Show(const BrowseRows& rows, int selected) {
  std::vector<ui::ListRow> shown;
  for (int i = 1; i <= rows.size(); ++i) shown.push_back(ui::ListRow(rows.Cells(rows.at(i))));
  window_->SetRows(results_, std::move(shown));
  window_->SetProperty(results_, ui::prop::kSelStart, selected);
}

void QueryWindow::ReadFailed(const std::string& table) {
  WarningMessage(MessageId::kRecordRetrievalError, table);
  Status("Reading the table " + table +
         " failed: " + Trimmed(files::Errors().MessageText(files::Errors().Code())) + ".");
}

void QueryWindow::CountRows() {
  if (browse_ == nullptr) RunQuery();
  if (browse_ == nullptr || browse_->failed()) return;
  browse_->FetchSelected();
  int count = 0;
  if (!CountQuery(*browse_, &count)) {
    ReadFailed(Def(table_).label);
    return;
  }
  window_->SetProperty(records_, ui::prop::kText,
                       std::to_string(count) + (count == 1 ? " record" : " records"));
  window_->Display();
}

void QueryWindow::ExportRows() {
  if (browse_ == nullptr) RunQuery();
  if (browse_ == nullptr || browse_->failed()) return;
  ui::FileRequest request;
  request.title = "Export to CSV";
  request.mask = "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*";
  request.file_name = std::string(Def(table_).label) + ".csv";
  request.save = true;
  request.owner = window_->id();
  std::optional<std::string> chosen = ui::Engine::Current()->ChooseFile(request);
  if (!chosen || chosen->empty()) return;
  std::string csv;
  int records = 0;
  browse_->FetchSelected();
  if (!QueryToCsv(*browse_, ViewTables(table_, joins_chosen_), &csv, &records)) {
    ReadFailed(Def(table_).label);
    return;
  }
  SaveExportedList(*chosen, csv, records);
}

// --- Saved queries -------------------------------------------------------------

void QueryWindow::SaveCurrent() {
  SavedQuery q;
  q.table = table_;
  q.joins = joins_chosen_;
  q.order = KeyOfChoice(Trimmed(order_name_));
  for (size_t i = 0; i < fields_.size(); ++i) q.examples.emplace_back(fields_[i].name, typed_[i]);
  q.filter = Trimmed(filter_);
  const std::string name = Trimmed(query_name_);
  std::string error;
  if (!SaveQuery(env::Env::Default(), "", name, q, &error)) {
    Status("The query could not be saved: " + error + ".");
    return;
  }
  Status("Saved as " + QueryFile("", name) + ".");
  FillSaved();
}

bool QueryWindow::OpenSaved() {
  const std::string name = Trimmed(saved_name_);
  SavedQuery q;
  std::string error;
  if (!LoadQuery(env::Env::Default(), "", name, &q, &error)) {
    Status("The query " + name + " could not be opened: " + error + ".");
    return false;
  }
  ChooseTable(q.table);
  joins_chosen_ = q.joins;
  Rebuild(q.examples);
  for (const std::string& choice : KeyChoices(table_)) {
    if (KeyOfChoice(choice) == q.order) order_name_ = choice;
  }
  // The filter as it was run, the user's own edits included.
  if (!q.filter.empty()) filter_ = q.filter;
  query_name_ = name;
  Status("Opened " + QueryFile("", name) + ".");
  return true;
}

void QueryWindow::Status(const std::string& text) {
  window_->SetProperty(status_, ui::prop::kText, text);
  window_->Display();
}

}  // namespace

void RunQueryByExample(const std::string& saved) {
  QueryWindow window;
  window.Run(saved);
}

}  // namespace vorsandt::app::query
