#include "app/reminders/due_soon.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <utility>

#include "app/browse/browse_rows.h"
#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/format/dates.h"
#include "runtime/format/format.h"
#include "runtime/format/locale.h"
#include "runtime/views/field_values.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {
namespace {

// Off until the program turns it on: test hosts that run MAIN over armed
// tables count every read, and a reminder's reads would shift them.
std::atomic<bool> g_enabled{false};

constexpr int kDoubleClickSlot = 252;
constexpr char kDatePicture[] = "@D10";

// A field of the current record of its table, read through the dictionary.
struct FieldReader {
  files::FileRecord* table = nullptr;
  files::FieldInfo field;
  explicit FieldReader(const char* name) { FindTableField(name, &table, &field); }
  int32_t Number() const {
    return table ? static_cast<int32_t>(views::FieldNumber(field, files::RecordBuffer(table))) : 0;
  }
  std::string Text() const {
    if (!table) return {};
    std::string s = views::FieldText(field, files::RecordBuffer(table));
    size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
  }
};

// Calls `each` for every record of `t` in file order. False when the read
// failed (the user has been told).
template <typename Each>
bool ForEachRecord(Table t, Each each) {
  files::FileRecord* file = File(t);
  files::SetFile(file);
  for (;;) {
    files::Next(file);
    const int code = files::Errors().Code();
    if (code == 33) return true;
    if (code != 0) {
      WarningMessage(MessageId::kRecordRetrievalError, Def(t).label);
      return false;
    }
    each(files::Pointer(file));
  }
}

// The name of item `code`, when the items table is open and holds it; else
// its number.
std::string ItemName(int32_t code, bool items_open) {
  if (items_open) {
    const FieldReader name("ITE:ITEM");
    files::FileRecord* table = nullptr;
    files::FieldInfo field;
    if (FindTableField("ITE:ITEM_CODE", &table, &field)) {
      views::StoreNumber(field, files::RecordBuffer(table), code);
      files::GetByKey(table, Key(Table::kItems, 1));
      if (files::Errors().Code() == 0 && !name.Text().empty()) return name.Text();
    }
  }
  return "item " + std::to_string(code);
}

void CollectServices(int32_t today, int32_t days, bool items_open, std::vector<DueEntry>* out) {
  const FieldReader item("SER:ITEM_REFERENCE"), serviced("SER:DATE_OF_SERVICE"),
      reference("SER:SERVICE_REFERENCE"), next("SER:DATE_NEXT_SERVICE"), company("SER:COMPANY");
  std::vector<ServiceFacts> facts;
  std::vector<DueEntry> entries;
  ForEachRecord(Table::kService, [&](int64_t pointer) {
    facts.push_back({item.Number(), serviced.Number(), reference.Number(), next.Number()});
    DueEntry e;
    e.kind = DueKind::kService;
    e.date = next.Number();
    e.reference = reference.Text();
    e.details = company.Text();
    e.pointer = pointer;
    entries.push_back(std::move(e));
  });
  // Named after the reading: a keyed read of the items would disturb the
  // sequence through the services.
  for (size_t i : DueServices(facts, today, days)) {
    DueEntry& e = entries[i];
    const std::string item_name = ItemName(facts[i].item, items_open);
    e.details = e.details.empty() ? item_name : item_name + ", " + e.details;
    out->push_back(std::move(e));
  }
}

void CollectPolicies(int32_t today, int32_t days, std::vector<DueEntry>* out) {
  const FieldReader reference("POL:POLICY_REFERENCE"), expires("POL:POLICY_EXPIRES"),
      insurer("POL:INSURER"), type("POL:POLICY_TYPE");
  ForEachRecord(Table::kPolicy, [&](int64_t pointer) {
    if (!PolicyDue(expires.Number(), today, days)) return;
    DueEntry e;
    e.kind = DueKind::kPolicy;
    e.date = expires.Number();
    e.reference = reference.Text();
    e.details = insurer.Text() + (type.Text().empty() ? "" : ", " + type.Text());
    e.pointer = pointer;
    out->push_back(std::move(e));
  });
}

class DueSoonProcedure {
 public:
  DueSoonProcedure(int32_t today, int32_t days) : today_(today), days_(days) {}
  ~DueSoonProcedure();
  void Run();

 private:
  void Load();
  void Show();
  void OpenSelected();

  const int32_t today_;
  const int32_t days_;
  std::vector<Table> opened_;
  std::vector<DueEntry> entries_;
  std::unique_ptr<ui::Window> window_;
  int list_ = 0, open_ = 0, close_ = 0;
};

DueSoonProcedure::~DueSoonProcedure() {
  for (Table t : opened_) CloseTable(t);
}

void DueSoonProcedure::Load() {
  entries_.clear();
  if (opened_.empty()) {
    for (Table t : {Table::kService, Table::kPolicy, Table::kItems}) {
      if (!TableFileExists(t)) continue;
      OpenTable(t);
      opened_.push_back(t);
    }
  }
  const bool items_open = std::find(opened_.begin(), opened_.end(), Table::kItems) != opened_.end();
  for (Table t : opened_) {
    if (t == Table::kService) CollectServices(today_, days_, items_open, &entries_);
    if (t == Table::kPolicy) CollectPolicies(today_, days_, &entries_);
  }
  // Most urgent first; services before policies on the same day.
  std::stable_sort(entries_.begin(), entries_.end(), [](const DueEntry& a, const DueEntry& b) {
    return a.date != b.date ? a.date < b.date : a.kind < b.kind;
  });
}

void DueSoonProcedure::Show() {
  std::vector<ui::ListRow> rows;
  for (const DueEntry& e : entries_) {
    rows.push_back(ui::ListRow({e.kind == DueKind::kService ? "Service" : "Policy",
                                format::Format(static_cast<double>(e.date), kDatePicture),
                                DueText(e.kind, e.date, today_), e.reference, e.details}));
  }
  const int selected = std::clamp(window_->Choice(list_), 1, std::max<int>(1, rows.size()));
  window_->SetRows(list_, std::move(rows));
  if (!entries_.empty()) window_->Select(list_, selected);
  if (entries_.empty()) {
    window_->Disable(open_);
  } else {
    window_->Enable(open_);
  }
  window_->Display();
}

void DueSoonProcedure::OpenSelected() {
  const int row = window_->Choice(list_);
  if (row < 1 || row > static_cast<int>(entries_.size())) return;
  const DueEntry& e = entries_[row - 1];
  const Table t = e.kind == DueKind::kService ? Table::kService : Table::kPolicy;
  files::GetByPointer(File(t), e.pointer);
  if (files::Errors().Code() != 0) {
    // Deleted by another program since the list was read.
    WarningMessage(MessageId::kRecordRetrievalError, Def(t).label);
  } else if (ui::Procedure form =
                 Procedures().Find(t == Table::kService ? "UpdateService" : "UpdatePolicy")) {
    ui::RequestCode() = ui::request::kChange;
    form();
  }
  // The change may have moved the date, or settled the reminder.
  Load();
  Show();
  window_->Select(list_);
}

void DueSoonProcedure::Run() {
  Load();
  if (entries_.empty()) return;
  window_ = ui::Engine::Current()->CreateWindow(kDueSoonWindowId, kDueSoonLabel);
  list_ = window_->FieldOf("?DueList");
  open_ = window_->FieldOf("?Open");
  close_ = window_->FieldOf("?Close");
  window_->SetProperty(list_, ui::prop::kAlertKey, ui::key::kMouseLeft2, kDoubleClickSlot);
  // A reminder is dismissed with Esc, as its Close button dismisses it.
  window_->SetEscapeButton(close_);
  window_->Open();
  while (window_->Accept()) {
    switch (window_->Event()) {
      case ui::event::kOpenWindow:
        Show();
        window_->Select(list_);
        break;
      case ui::event::kAlertKey:
        if (window_->Field() == list_ && window_->Keycode() == ui::key::kMouseLeft2) OpenSelected();
        break;
      case ui::event::kAccepted:
        if (window_->Field() == open_) OpenSelected();
        if (window_->Field() == close_) window_->Post(ui::event::kCloseWindow);
        break;
      default:
        break;
    }
  }
  window_->Close();
}

std::string Days(int32_t n) { return std::to_string(n) + (n == 1 ? " day" : " days"); }

}  // namespace

std::vector<size_t> DueServices(const std::vector<ServiceFacts>& services, int32_t today,
                                int32_t days) {
  std::map<int32_t, size_t> latest;  // item -> its latest service
  for (size_t i = 0; i < services.size(); ++i) {
    auto [it, fresh] = latest.emplace(services[i].item, i);
    const ServiceFacts& kept = services[it->second];
    if (!fresh && std::pair(services[i].serviced, services[i].reference) >
                      std::pair(kept.serviced, kept.reference)) {
      it->second = i;
    }
  }
  std::vector<size_t> due;
  for (const auto& [item, i] : latest) {
    const int32_t next = services[i].next_service;
    if (next > 0 && next <= today + days) due.push_back(i);
  }
  std::sort(due.begin(), due.end());
  return due;
}

bool PolicyDue(int32_t expires, int32_t today, int32_t days) {
  return expires > 0 && expires >= today && expires <= today + days;
}

std::string DueText(DueKind kind, int32_t date, int32_t today) {
  const int32_t n = date - today;
  if (kind == DueKind::kPolicy) return n == 0 ? "expires today" : "expires in " + Days(n);
  if (n < 0) return "overdue by " + Days(-n);
  return n == 0 ? "due today" : "due in " + Days(n);
}

void SetDueSoonEnabled(bool enabled) { g_enabled = enabled; }

void DueSoon() {
  const int32_t saved_request = ui::RequestCode();
  const int32_t days = format::CurrentLocale().due_soon_days;
  const int32_t today = format::Today();
  if (g_enabled && days > 0 && today > 0) {
    DueSoonProcedure procedure(today, days);
    procedure.Run();
  }
  ui::RequestCode() = saved_request;
  ui::ResponseCode() = ui::response::kCancelled;
}

VORSANDT_PROCEDURE(DueSoon);

}  // namespace vorsandt::app
