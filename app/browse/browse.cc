#include "app/browse/browse.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/browse/key_spread.h"
#include "runtime/env/invariant.h"
#include "runtime/eval/values.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/format/characters.h"
#include "runtime/views/field_values.h"
#include "runtime/views/view_engine.h"
#include "ui/engine/events.h"

namespace vorsandt::app {
namespace {

int32_t Code() { return files::Errors().Code(); }

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// The key's first text component that the range does not fix, else its first
// free component, else its first.
files::FieldInfo LocatorOf(Table t, const files::KeyDecl* key, const char* range_field) {
  const TableDef& def = Def(t);
  files::FieldInfo first_free;
  bool have_free = false;
  for (int i = 0; key != nullptr && i < key->component_count; ++i) {
    int n = key->components[i];
    if (n < 1 || n > static_cast<int>(def.fields.size())) continue;
    const FieldDef& d = def.fields[static_cast<size_t>(n - 1)];
    if (range_field != nullptr && std::string_view(d.name) == range_field) continue;
    files::FieldInfo f = FieldInfoOf(d);
    if (views::IsTextField(f)) return f;
    if (!have_free) {
      first_free = f;
      have_free = true;
    }
  }
  if (have_free) return first_free;
  if (key != nullptr && key->component_count > 0) {
    return FieldInfoOf(def.fields[static_cast<size_t>(key->components[0] - 1)]);
  }
  return FieldInfoOf(def.fields[0]);
}

}  // namespace

Browse::Browse(Table primary, std::span<const BrowseOrder> orders, BrowseList* list,
               bool quick_scan)
    : primary_(primary),
      table_(File(primary)),
      orders_(orders),
      list_(list),
      quick_scan_(quick_scan) {
  layout_ = views::ViewLayoutBuilder().LevelAllFields({}).Finish();
  file_list_ = std::make_unique<views::ViewFileList>(views::ViewFileList{table_, nullptr, 0});
  view_ = std::make_unique<views::ViewRecord>(layout_.data(), layout_.size(), file_list_.get());
  spreads_.resize(orders_.size());
  for (const BrowseOrder& o : orders_) {
    const RelationDef* link = o.of_parent ? LinkByChildKey(o.key) : nullptr;
    links_.push_back(link);
    locators_.push_back(
        LocatorOf(primary_, KeyNamed(o.key), link != nullptr ? link->child_field : nullptr));
  }
  state_.order = 0;
}

Browse::~Browse() { CloseView(); }

void Browse::JoinLevels(std::vector<uint8_t> layout, std::vector<const files::KeyDecl*> keys) {
  CloseView();
  layout_ = std::move(layout);
  join_keys_ = std::move(keys);
  file_list_ = std::make_unique<views::ViewFileList>(
      views::ViewFileList{table_, join_keys_.data(), static_cast<int>(join_keys_.size())});
  view_ = std::make_unique<views::ViewRecord>(layout_.data(), layout_.size(), file_list_.get());
}

void Browse::SelectOrder(int order) {
  state_.order = std::clamp(order, 1, std::max(order_count(), 1));
}

const BrowseOrder& Browse::order() const {
  return orders_[static_cast<size_t>(std::max(state_.order, 1) - 1)];
}

const files::KeyDecl* Browse::Key() const { return KeyNamed(order().key); }

const RelationDef* Browse::link() const {
  if (links_.empty()) return nullptr;
  return links_[static_cast<size_t>(std::max(state_.order, 1) - 1)];
}

const files::FieldInfo* Browse::LocatorField() const {
  if (locators_.empty()) return nullptr;
  return &locators_[static_cast<size_t>(std::max(state_.order, 1) - 1)];
}

std::string Browse::ParentValue() const {
  if (!ranged()) return {};
  files::FileRecord* parent = nullptr;
  files::FieldInfo field;
  if (!FindTableField(link()->parent_field, &parent, &field)) return {};
  return TrimRight(views::FieldText(field, files::RecordBuffer(parent)));
}

void Browse::StoreRangeValue() {
  if (!ranged()) return;
  files::FileRecord* parent = nullptr;
  files::FileRecord* child = nullptr;
  files::FieldInfo from, to;
  if (!FindTableField(link()->parent_field, &parent, &from) ||
      !FindTableField(link()->child_field, &child, &to)) {
    return;
  }
  views::CopyField(from, files::RecordBuffer(parent), to, files::RecordBuffer(child));
  state_.saved_range_value = TrimRight(views::FieldText(to, files::RecordBuffer(child)));
}

void Browse::CloseView() {
  view_on_.clear();
  if (!view_open_) return;
  files::Errors().Push();
  files::Close(view_.get());
  files::Errors().Pop();
  view_open_ = false;
}

void Browse::OpenView(bool from_key_value) {
  const char* filter =
      ranged() ? LinkFilter(*link()) : (order().filter != nullptr ? order().filter : "");
  // A view already open with this filter only needs the new sequence: it
  // keeps its levels, joins and compiled filter instead of being closed and
  // built again at every relocation, locator and tab change.
  const bool reuse = view_open_ && view_->installed == nullptr && view_filter_ == filter;
  if (!reuse) CloseView();
  StoreRangeValue();
  const files::KeyDecl* key = Key();
  from_key_value ? files::SetKeyValue(table_, key) : files::SetKey(table_, key);
  if (reuse) {
    view_on_.clear();
    if (views::Restart(view_.get())) return;
    CloseView();
  }
  files::SetFilter(view_.get(), ui::prop::kFilter, filter);
  files::Open(view_.get(), files::kModeViewDefault);
  if (Code() != files::kNoError) {
    failed_ = true;
    list_->ReadFailed(Def(primary_).label);
    return;
  }
  view_open_ = true;
  view_filter_ = filter;
}

void Browse::OpenOrder() {
  if (state_.order == 0) SelectOrder(1);
  OpenView(/*from_key_value=*/false);
}

void Browse::QuickScan(bool on) {
  if (!quick_scan_ || on == state_.quick_scan_on) return;
  files::Errors().Push();
  files::Send(table_, on ? "QUICKSCAN=on" : "QUICKSCAN=off");
  files::Errors().Pop();
  state_.quick_scan_on = on;
}

void Browse::Relocate(int from) {
  // Placing the view and loading its page are one run of reads: on a
  // network folder the file's lock is taken once for both.
  files::ReadRun run;
  state_.relocate_mode = from;
  if (state_.relocate_mode == kRelocateCurrent && view_open_) {
    std::string here = files::Position(view_.get());
    if (Code() == files::kNoError && !here.empty()) {
      files::Reset(view_.get(), here);
      view_on_.clear();
    } else {
      files::Errors().Clear();
      OpenView(false);
    }
  } else {
    OpenView(state_.relocate_mode == kRelocateKeyValue);
  }
  if (failed_) return;
  rows_.Clear();
  state_.row_count = 0;
  state_.to_load = 1;
  state_.load_direction = kLoadForward;
  state_.add_rows = false;
  LoadRows();  // one record read, not added: is there one at or after the start?
  state_.add_rows = true;
  if (failed_) return;
  if (state_.to_load == 1) {
    // Nothing at or after the starting point: the records nearest to it are
    // the last ones of the order.
    JumpToEnd(ui::event::kScrollBottom);
  } else {
    state_.reload_mode = kReloadCurrent;
    ReloadPage();
  }
}

void Browse::LoadRows() {
  if (failed_) return;
  // A page's reads are one run: the file's lock is taken once for them.
  files::ReadRun run;
  const bool forward = state_.load_direction == kLoadForward;
  files::Errors().Clear();
  if (state_.to_load > 1) QuickScan(true);
  if (state_.row_count != 0) {
    // The view continues from the edge row: it stands there already when the
    // last read delivered that row, else it is reset to it (which costs the
    // view one re-read of the row).
    const BrowseRow& edge = forward ? rows_.at(state_.row_count) : rows_.at(1);
    if (view_on_ != edge.position) {
      files::Reset(view_.get(), edge.position);
      view_on_.clear();
    }
  }
  while (state_.to_load != 0 && Code() == files::kNoError) {
    forward ? files::Next(view_.get()) : files::Previous(view_.get());
    if (Code() != files::kNoError) {
      view_on_.clear();  // past the end, or failed: on no row
      break;
    }
    files::Position(view_.get(), &view_on_);
    if (state_.add_rows) {
      // A row pushed out at the other end lends its storage to the new one.
      const int items = std::max(list_->ItemCount(), 1);
      BrowseRow row;
      while (state_.row_count >= items && state_.row_count > 0) {
        row = forward ? rows_.TakeFirst() : rows_.TakeLast();
        --state_.row_count;
      }
      rows_.FillFromRecords(&row, view_on_);
      forward ? rows_.Append(std::move(row)) : rows_.Prepend(std::move(row));
      ++state_.row_count;
    }
    --state_.to_load;
  }
  if (Code() != files::kNoError && Code() != files::kRecordNotAvailable) {
    failed_ = true;
    QuickScan(false);
    list_->ReadFailed(Def(primary_).label);
    return;
  }
  files::Errors().Clear();
  QuickScan(false);
  state_.add_rows = true;
}

void Browse::LoadFromAnchor(const std::string& anchor, bool anchor_in_buffers) {
  rows_.Clear();
  state_.row_count = 0;
  if (anchor_in_buffers) {
    rows_.Append(rows_.FromRecords(anchor));
    state_.row_count = 1;
  } else {
    // The first row is read again: another user may have changed it.
    files::Reget(view_.get(), anchor);
    view_on_.clear();
    if (Code() == files::kNoError) {
      rows_.Append(rows_.FromRecords(anchor));
      state_.row_count = 1;
    } else {
      files::Errors().Clear();
      files::Reset(view_.get(), anchor);
      view_on_.clear();
      if (Code() != files::kNoError) {
        files::Errors().Clear();
        OpenOrder();
        if (failed_) return;
      }
    }
  }
  state_.to_load = std::max(list_->ItemCount(), 1) - state_.row_count;
  state_.load_direction = kLoadForward;
  LoadRows();
  if (failed_) return;
  if (!state_.saved_position.empty() && state_.to_load != 0) {
    // The order ended before the page was full: top it up from above.
    if (rows_.empty()) OpenOrder();
    state_.load_direction = kLoadBackward;
    LoadRows();
  }
}

void Browse::ReloadPage() {
  list_->WaitCursor(true);
  if (state_.reload_mode == kReloadCurrent) {
    // Where the view stands is known when its last read delivered the row.
    if (!view_on_.empty()) {
      state_.saved_position = view_on_;
    } else {
      state_.saved_position = view_open_ ? files::Position(view_.get()) : std::string();
      if (Code() != files::kNoError) {
        files::Errors().Clear();
        state_.saved_position.clear();
      }
    }
    state_.reload_mode = kReloadFirstRow;
    if (!state_.saved_position.empty()) {
      LoadFromAnchor(state_.saved_position, /*anchor_in_buffers=*/true);
    } else {
      rows_.Clear();
      state_.row_count = 0;
      OpenOrder();
      state_.to_load = std::max(list_->ItemCount(), 1);
      state_.load_direction = kLoadForward;
      LoadRows();
    }
  } else if (!rows_.empty()) {
    int sel = state_.selected_row;
    if (sel < 1 || sel > rows_.size()) sel = rows_.size();
    state_.saved_position = rows_.at(sel).position;
    std::string first = rows_.at(1).position;
    state_.reload_mode = kReloadFirstRow;
    LoadFromAnchor(first, /*anchor_in_buffers=*/false);
  } else {
    state_.saved_position.clear();
    OpenOrder();
    rows_.Clear();
    state_.row_count = 0;
    state_.to_load = std::max(list_->ItemCount(), 1);
    state_.load_direction = state_.reload_mode == kReloadFirstRow ? kLoadForward : kLoadBackward;
    LoadRows();
  }
  if (!failed_) {
    int sel = 0;
    if (!rows_.empty()) {
      sel = state_.saved_position.empty() ? 1 : rows_.Find(state_.saved_position);
      // The remembered record is no longer among the rows (it fails the
      // filter now, or was deleted): the first row is selected.
      if (sel == 0) sel = 1;
    }
    state_.selected_row = sel;
    Selected();
  }
  list_->WaitCursor(false);
}

void Browse::Selected() {
  if (rows_.empty()) {
    state_.selected_row = 0;
    ClearPrimary();
    list_->Show(rows_, 0);
    list_->RowsPresent(false);
    CheckInvariants();
    return;
  }
  state_.selected_row = std::clamp(state_.selected_row, 1, rows_.size());
  list_->Show(rows_, state_.selected_row);
  RowToRecord(state_.selected_row);
  list_->RowsPresent(true);
  CheckInvariants();
}

bool Browse::ServeScroll(int event) {
  switch (event) {
    case ui::event::kScrollUp:
    case ui::event::kScrollDown:
    case ui::event::kPageUp:
    case ui::event::kPageDown:
    case ui::event::kScrollTop:
    case ui::event::kScrollBottom:
      break;
    default:
      return false;
  }
  if (rows_.empty() || failed_) return true;
  files::ReadRun run;  // as in Relocate
  state_.scroll_event = event;
  switch (event) {
    case ui::event::kScrollUp:
    case ui::event::kScrollDown:
      StepOneRow();
      break;
    case ui::event::kPageUp:
    case ui::event::kPageDown:
      StepPage();
      break;
    default:  // top and bottom
      JumpToEnd(event);
      return true;
  }
  if (!failed_) Selected();
  return true;
}

int Browse::DragThumb(int64_t pos) {
  if (pos <= 1) return ui::event::kScrollTop;
  if (pos >= 100) return ui::event::kScrollBottom;
  RelocateToSpread(static_cast<int>(pos));
  return 0;
}

void Browse::SelectRow(int choice) {
  if (state_.row_count == 0) return;
  state_.selected_row = std::clamp(choice, 1, state_.row_count);
  RowToRecord(state_.selected_row);
  CheckInvariants();
}

void Browse::RemoveSelectedRow() {
  if (rows_.empty()) return;
  rows_.Remove(state_.selected_row);
  state_.row_count = rows_.size();
  // The reload after the delete anchors on the row that took the removed
  // one's place, the last row when it was the last.
  state_.selected_row = std::min(state_.selected_row, state_.row_count);
  CheckInvariants();
}

void Browse::ReloadFrom(int anchor) {
  state_.reload_mode = anchor;
  ReloadPage();
}

void Browse::ChooseOrder(int order) {
  state_.last_order = state_.order;
  state_.range_changed = false;
  SelectOrder(order);
  if (state_.order == state_.last_order && ranged() && ParentValue() != state_.saved_range_value) {
    state_.range_changed = true;
  }
}

void Browse::CheckInvariants() const {
  if (failed_) return;  // the browse is closing
  env::CheckInvariant(state_.row_count == rows_.size(), "browse", "row_count is the buffer's size");
  env::CheckInvariant(rows_.empty()
                          ? state_.selected_row == 0
                          : state_.selected_row >= 1 && state_.selected_row <= rows_.size(),
                      "browse", "selected_row is 0 exactly for an empty buffer, else a row");
}

void Browse::StepOneRow() {
  const bool up = state_.scroll_event == ui::event::kScrollUp;
  if (up && state_.selected_row > 1) {
    --state_.selected_row;
  } else if (!up && state_.selected_row < state_.row_count) {
    ++state_.selected_row;
  } else {
    state_.to_load = 1;
    state_.load_direction = up ? kLoadBackward : kLoadForward;
    LoadRows();
  }
}

void Browse::StepPage() {
  const bool up = state_.scroll_event == ui::event::kPageUp;
  state_.to_load = std::max(list_->ItemCount(), 1);
  state_.load_direction = up ? kLoadBackward : kLoadForward;
  LoadRows();
  if (failed_ || state_.to_load == 0) return;
  if (up) {
    state_.selected_row = std::max(state_.selected_row - state_.to_load, 1);
  } else {
    state_.selected_row = std::min(state_.selected_row + state_.to_load, state_.row_count);
  }
}

void Browse::JumpToEnd(int event) {
  state_.scroll_event = event;
  const bool top = state_.scroll_event != ui::event::kScrollBottom;
  rows_.Clear();
  state_.row_count = 0;
  OpenOrder();
  if (failed_) return;
  state_.to_load = std::max(list_->ItemCount(), 1);
  state_.load_direction = top ? kLoadForward : kLoadBackward;
  LoadRows();
  if (failed_) return;
  state_.selected_row = top ? 1 : state_.row_count;
  Selected();
}

void Browse::BuildKeySpread() {
  if (failed_ || locators_.empty()) return;
  // The reads below pass through the record buffer; what the browse shows
  // there is put back afterwards.
  const size_t length = files::InstanceOf(table_)->record_length;
  std::vector<uint8_t> saved(files::RecordBuffer(table_), files::RecordBuffer(table_) + length);
  QuickScan(true);
  const files::FieldInfo& locator = *LocatorField();
  uint8_t* record = files::RecordBuffer(table_);
  std::string high, low;
  double high_number = 0, low_number = 0;
  OpenOrder();
  if (!failed_) {
    files::Previous(view_.get());
    high = views::FieldText(locator, record);
    high_number = views::FieldNumber(locator, record);
    OpenOrder();
  }
  if (!failed_) {
    files::Next(view_.get());
    low = views::FieldText(locator, record);
    low_number = views::FieldNumber(locator, record);
  }
  files::Errors().Clear();
  std::vector<std::string>& spread = spreads_[static_cast<size_t>(state_.order - 1)];
  if (views::IsTextField(locator)) {
    spread = BuildSpread(high, low, static_cast<int>(locator.size), spread::kUpper);
  } else {
    // Numbers are spread as numbers: letters say nothing about them.
    spread.clear();
    for (int i = 0; i < kSpreadValues; ++i) {
      double v = low_number + (high_number - low_number) * i / (kSpreadValues - 1);
      spread.push_back(eval::RealToText(std::floor(v)));
    }
  }
  QuickScan(false);
  std::memcpy(files::RecordBuffer(table_), saved.data(), length);
}

const std::vector<std::string>& Browse::spread() const {
  return spreads_[static_cast<size_t>(std::max(state_.order, 1) - 1)];
}

int Browse::ComputeThumb() const {
  const std::vector<std::string>& values = spread();
  const files::FieldInfo* locator = LocatorField();
  if (values.empty() || locator == nullptr) return 0;
  const uint8_t* record = files::RecordBuffer(table_);
  int found = 0;
  if (views::IsTextField(*locator)) {
    std::string here = TrimRight(format::ToUpperText(views::FieldText(*locator, record)));
    for (size_t i = 0; i < values.size() && found == 0; ++i) {
      if (TrimRight(values[i]) >= here) found = static_cast<int>(i) + 1;
    }
  } else {
    double here = views::FieldNumber(*locator, record);
    for (size_t i = 0; i < values.size() && found == 0; ++i) {
      if (eval::TextToReal(values[i]) >= here) found = static_cast<int>(i) + 1;
    }
  }
  if (found == 0) return 100;
  return found == 1 ? 0 : found;
}

void Browse::StoreLocator(const std::string& value, bool lowest_after) {
  const files::FieldInfo* locator = LocatorField();
  if (locator == nullptr) return;
  uint8_t* record = files::RecordBuffer(table_);
  if (views::IsTextField(*locator)) {
    views::StoreText(*locator, record, value);
  } else {
    views::StoreNumber(*locator, record, std::trunc(eval::TextToReal(value)));
  }
  if (!lowest_after) return;
  const files::KeyDecl* key = Key();
  const TableDef& def = Def(primary_);
  bool after = false;
  for (int i = 0; key != nullptr && i < key->component_count; ++i) {
    const FieldDef& d = def.fields[static_cast<size_t>(key->components[i] - 1)];
    if (after) {
      views::StoreExtreme(FieldInfoOf(d), record, /*highest=*/false,
                          (key->flags & files::kKeyNoCase) != 0);
    }
    if (std::string_view(d.name) == locator->name) after = true;
  }
}

void Browse::RelocateToSpread(int pos) {
  const std::vector<std::string>& values = spread();
  if (values.empty()) return;
  StoreLocator(values[static_cast<size_t>(std::clamp(pos, 1, kSpreadValues) - 1)]);
  Relocate(kRelocateKeyValue);
}

bool Browse::FetchSelected() {
  if (state_.row_count == 0 || rows_.empty()) return false;
  int sel = list_->Choice();
  if (sel < 1 || sel > rows_.size()) sel = std::clamp(state_.selected_row, 1, rows_.size());
  state_.selected_row = sel;
  if (view_open_) {
    view_on_.clear();
    files::Reget(view_.get(), rows_.at(sel).position);
    if (Code() == files::kNoError) return true;
    files::Errors().Clear();
  }
  RowToRecord(sel);
  return true;
}

void Browse::RowToRecord(int row) const {
  if (row < 1 || row > rows_.size()) return;
  rows_.ToRecords(rows_.at(row));
}

void Browse::ClearPrimary() {
  files::FileRecord* f = files::InstanceOf(table_);
  std::vector<files::FieldInfo> fields;
  files::ParseLayout({f->layout, f->layout_size}, &fields);
  views::ClearRecord(fields, f->buffer, f->record_length);
  files::ClearMemos(f);
}

}  // namespace vorsandt::app
