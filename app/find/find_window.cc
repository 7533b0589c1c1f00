#include "app/find/find_window.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/browse/browse_rows.h"
#include "app/browse/list_start.h"
#include "app/find/record_search.h"
#include "app/frame/main_frame.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/views/field_values.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {
namespace {

// Records listed per table; the heading says how many more there are.
constexpr size_t kShownPerTable = 200;
constexpr int kCtrlEnter = ui::key::kCtrl + ui::key::kEnter;
constexpr int kCellReference = 0, kCellTitle = 1, kCellFoundIn = 2;
constexpr char kItemsOfLocation[] = "BrowseITE:LOC";
// The stack a browse started from Find asks for, as the frame's browses do.
constexpr size_t kBrowseStack = 50000;

// Where a result of each table is opened: its update form, and the browse
// that shows it (a document is shown in the inventory at its item).
struct Opening {
  Table table;
  const char* form;
  const char* browse;
  Table browsed;
};
constexpr Opening kOpenings[] = {
    {Table::kItems, "UpdateItems", "BrowseItems1", Table::kItems},
    {Table::kClaim, "UpdateClaim", "BrowseClaim", Table::kClaim},
    {Table::kPolicy, "UpdatePolicy", "BrowsePolicy", Table::kPolicy},
    {Table::kInsuranceCompany, "UpdateInsurance_Company", "BrowseInsurance_Company",
     Table::kInsuranceCompany},
    {Table::kCompanies, "UpdateCompanies", "BrowseCompanies", Table::kCompanies},
    {Table::kLocations, "UpdateLocations", "BrowseLocations", Table::kLocations},
    {Table::kDocuments, "UpdateDocuments", "BrowseItems1", Table::kItems},
};

const Opening* OpeningOf(Table t) {
  for (const Opening& o : kOpenings) {
    if (o.table == t) return &o;
  }
  return nullptr;
}

// What a row of the list stands for; headings stand for nothing.
struct Shown {
  const SearchSource* source = nullptr;
  int64_t pointer = 0;
  int32_t item = 0;
};

std::vector<ui::CellMark> Marks(int cell, const std::vector<Run>& runs) {
  std::vector<ui::CellMark> marks;
  for (const Run& r : runs) marks.push_back({cell, r.start, r.length});
  return marks;
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

class FindProcedure {
 public:
  ~FindProcedure() {
    for (Table t : opened_) CloseTable(t);
  }
  void Run();

 private:
  void ReadTables();
  void ReadTable(const SearchSource& source);
  void Search();
  void OnAccepted(int field);
  void OnAlert();
  int ChosenRow() const;
  bool OpenScannedItem();
  void OpenForm(int row);
  void ShowInList(int row);
  void ShowItemsOf(int64_t location);

  std::unique_ptr<ui::Window> window_;
  int text_ = 0, summary_ = 0, list_ = 0, open_ = 0, show_ = 0, close_ = 0;
  RecordSearch search_;
  std::vector<Table> opened_;
  std::vector<Shown> shown_;
  std::string query_;
};

void FindProcedure::ReadTable(const SearchSource& source) {
  if (std::find(opened_.begin(), opened_.end(), source.table) == opened_.end()) {
    // A table never made holds nothing to find; opening it would make it.
    if (!TableFileExists(source.table)) return;
    OpenTable(source.table);
    opened_.push_back(source.table);
  }
  // Read again only what was saved since (or what the driver cannot tell).
  if (search_.Current(source)) return;
  if (search_.Load(source) != 0) {
    WarningMessage(MessageId::kRecordRetrievalError, Def(source.table).label);
  }
}

void FindProcedure::ReadTables() {
  for (const SearchSource& s : SearchSources()) ReadTable(s);
}

void FindProcedure::Search() {
  query_ = window_->GetProperty(text_, ui::prop::kText);
  const std::vector<FoundGroup> groups = search_.Find(query_, kShownPerTable);
  std::vector<ui::ListRow> rows;
  shown_.clear();
  size_t found = 0;
  for (const FoundGroup& g : groups) {
    found += g.total;
    std::string heading = std::string(g.source->group) + " (" + std::to_string(g.total);
    if (g.total > g.records.size()) heading += ", the first " + std::to_string(g.records.size());
    heading += ")";
    ui::ListRow head({heading});
    head.heading = true;
    rows.push_back(std::move(head));
    shown_.push_back({g.source, 0, 0});
    for (const FoundRecord& r : g.records) {
      // A table whose reference is its title (locations, policies) shows it once.
      const bool same = r.reference == r.title;
      ui::ListRow row({same ? "" : r.reference, r.title, r.found_in});
      if (!same) row.marks = Marks(kCellReference, r.reference_runs);
      for (const auto& m : Marks(kCellTitle, r.title_runs)) row.marks.push_back(m);
      for (const auto& m : Marks(kCellFoundIn, r.found_in_runs)) row.marks.push_back(m);
      rows.push_back(std::move(row));
      shown_.push_back({g.source, r.pointer, r.item});
    }
  }
  std::string summary;
  if (QueryWords(query_).empty()) {
    summary = "Type a word, a name, a serial number or a reference.";
  } else if (found == 0) {
    summary = "Nothing found for \"" + query_ + "\".";
  } else {
    summary = Count(found, "record", "records") + " found in " +
              Count(groups.size(), "table", "tables") + ".";
  }
  window_->SetProperty(summary_, ui::prop::kText, summary);
  window_->SetRows(list_, std::move(rows));
  // The first record (below its heading) is what Enter opens; the focus
  // stays where the user is typing.
  window_->SetProperty(list_, ui::prop::kSelStart, shown_.size() > 1 ? 2 : 0);
  // Open stays usable for a scanned label, whose words are found nowhere.
  if (shown_.empty() && !search_.ItemCoded(query_) && !search_.LocationLabelled(query_)) {
    window_->Disable(open_);
  } else {
    window_->Enable(open_);
  }
  if (shown_.empty()) {
    window_->Disable(show_);
  } else {
    window_->Enable(show_);
  }
  window_->Display();
}

int FindProcedure::ChosenRow() const {
  int row = window_->Choice(list_);
  if (row < 1 || row > static_cast<int>(shown_.size())) return 0;
  // A heading opens the first record under it.
  if (shown_[row - 1].pointer == 0) ++row;
  return row <= static_cast<int>(shown_.size()) && shown_[row - 1].pointer != 0 ? row : 0;
}

bool FindProcedure::OpenScannedItem() {
  const std::string typed = window_->GetProperty(text_, ui::prop::kText);
  if (const std::optional<int64_t> location = search_.LocationLabelled(typed)) {
    ShowItemsOf(*location);
  } else if (const std::optional<int64_t> item = search_.ItemCoded(typed)) {
    const SearchSource* items = &SearchSources()[0];
    shown_ = {{items, *item, 0}};
    OpenForm(1);
  } else {
    return false;
  }
  // Ready for the next label.
  window_->SetProperty(text_, ui::prop::kText, "");
  Search();
  window_->Select(text_);
  return true;
}

void FindProcedure::OpenForm(int row) {
  const Shown s = shown_[row - 1];
  const Opening* o = OpeningOf(s.source->table);
  files::GetByPointer(File(s.source->table), s.pointer);
  if (files::Errors().Code() != 0) {
    // Deleted by someone else since the tables were read.
    WarningMessage(MessageId::kRecordRetrievalError, Def(s.source->table).label);
  } else if (ui::Procedure form = o != nullptr ? Procedures().Find(o->form) : ui::Procedure()) {
    const int32_t saved = ui::RequestCode();
    ui::RequestCode() = ui::request::kChange;
    form();
    ui::RequestCode() = saved;
  }
  // The form may have changed or deleted what was found.
  ReadTable(*s.source);
  Search();
  window_->SetProperty(list_, ui::prop::kSelStart, std::min(row, static_cast<int>(shown_.size())));
}

void FindProcedure::ShowInList(int row) {
  const Shown s = shown_[row - 1];
  const Opening* o = OpeningOf(s.source->table);
  ui::Procedure browse = o != nullptr ? Procedures().Find(o->browse) : ui::Procedure();
  if (!browse) return;
  const Table shown_table = s.source->table;
  const Table browsed = o->browsed;
  const int64_t pointer = s.pointer;
  const int32_t item = s.item;
  // The browse runs on a thread of its own, with its own record buffers: the
  // record is read there, and the browse opens at it.
  ui::Engine::Current()->Start(
      [=] {
        OpenTable(browsed);
        if (browsed == shown_table) {
          files::GetByPointer(File(browsed), pointer);
        } else {
          // A document: its item, found by code.
          files::FileRecord* items = nullptr;
          files::FieldInfo code;
          FindTableField("ITE:ITEM_CODE", &items, &code);
          views::StoreNumber(code, files::RecordBuffer(items), item);
          files::GetByKey(items, Key(Table::kItems, 1));
        }
        if (files::Errors().Code() == 0) OpenNextListAtBufferedRecord();
        browse();
        CloseTable(browsed);
      },
      kBrowseStack);
}

// A location's label opens the list of the items kept there, as the
// locations browse's Items button does, on a thread of its own.
void FindProcedure::ShowItemsOf(int64_t location) {
  ui::Procedure browse = Procedures().Find(kItemsOfLocation);
  if (!browse) return;
  ui::Engine::Current()->Start(
      [=] {
        OpenTable(Table::kLocations);
        files::GetByPointer(File(Table::kLocations), location);
        if (files::Errors().Code() == 0) {
          browse();
        } else {
          WarningMessage(MessageId::kRecordRetrievalError, Def(Table::kLocations).label);
        }
        CloseTable(Table::kLocations);
      },
      kBrowseStack);
}

void FindProcedure::OnAccepted(int field) {
  if (field == text_) {
    Search();
  } else if (field == open_) {
    if (OpenScannedItem()) return;
    if (const int row = ChosenRow()) OpenForm(row);
  } else if (field == show_) {
    if (const int row = ChosenRow()) ShowInList(row);
  } else if (field == close_) {
    window_->Post(ui::event::kCloseWindow);
  }
}

void FindProcedure::OnAlert() {
  const int key = window_->Keycode();
  if (window_->Field() == text_ && key == ui::key::kDown) {
    // Down from the entry goes to the results, on the first record.
    if (!shown_.empty()) window_->Select(list_, ChosenRow() > 0 ? ChosenRow() : 1);
  } else if (key == kCtrlEnter) {
    if (window_->Field() == text_) Search();
    if (const int row = ChosenRow()) ShowInList(row);
  } else if (key == ui::key::kMouseLeft2 && window_->Field() == list_) {
    if (const int row = ChosenRow()) OpenForm(row);
  }
}

void FindProcedure::Run() {
  window_ = ui::Engine::Current()->CreateWindow(kFindWindowId, kFindLabel);
  text_ = window_->FieldOf("?FindText");
  summary_ = window_->FieldOf("?FindSummary");
  list_ = window_->FieldOf("?FindList");
  open_ = window_->FieldOf("?Open");
  show_ = window_->FieldOf("?ShowInList");
  close_ = window_->FieldOf("?Close");
  window_->SetEscapeButton(close_);
  window_->Open();
  bool ready = false;
  while (window_->Accept()) {
    switch (window_->Event()) {
      case ui::event::kOpenWindow:
        if (!ready) {
          // Tens of thousands of records take a moment: say so meanwhile.
          window_->SetProperty(summary_, ui::prop::kText, "Reading the tables...");
          window_->Display();
          ReadTables();
          Search();
          ready = true;
        }
        window_->Select(text_);
        break;
      case ui::event::kGainFocus:
        // Back from another window, which may have changed what is found.
        ReadTables();
        Search();
        break;
      case ui::event::kAccepted:
        OnAccepted(window_->Field());
        break;
      case ui::event::kAlertKey:
        OnAlert();
        break;
      default:
        break;
    }
  }
  window_->Close();
}

}  // namespace

void FindRecords() {
  const int32_t saved_request = ui::RequestCode();
  {
    FindProcedure procedure;
    procedure.Run();
  }
  ui::RequestCode() = saved_request;
  ui::ResponseCode() = ui::response::kCancelled;
}

VORSANDT_PROCEDURE(FindRecords);

// Go to is Find under the name a scanner's user looks for: its entry takes a
// scanned label or a typed item code, and Enter opens the record at once.
void GoToRecord() { FindRecords(); }

VORSANDT_PROCEDURE(GoToRecord);

}  // namespace vorsandt::app
