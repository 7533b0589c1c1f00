#include "ui/engine/window.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "ui/engine/engine.h"
#include "ui/engine/window_internal.h"

namespace vorsandt::ui {
namespace {

using internal::Editable;
using internal::FindMenu;
using internal::MenuFrom;
using internal::ToNumber;

}  // namespace

TreeState TreeRowState(const std::vector<ListRow>& rows, size_t index) {
  if (index >= rows.size()) return TreeState::kLeaf;
  int level = rows[index].level;
  int depth = level < 0 ? -level : level;
  if (index + 1 < rows.size()) {
    int next = rows[index + 1].level;
    int next_depth = next < 0 ? -next : next;
    if (next_depth > depth) return TreeState::kOpen;
  }
  return level < 0 ? TreeState::kClosed : TreeState::kLeaf;
}

const ControlState* WindowState::Control(int field) const {
  for (const ControlState& c : controls) {
    if (c.field == field) return &c;
  }
  return nullptr;
}

const ControlState* WindowState::ControlNamed(std::string_view use) const {
  for (const ControlState& c : controls) {
    if (c.use == use) return &c;
  }
  return nullptr;
}

const MenuState* WindowState::MenuItem(int number) const {
  auto& mutable_menus = const_cast<std::vector<MenuState>&>(menus);
  return FindMenu(mutable_menus, number);
}

Window::Window(Engine* engine, WindowId id, const Node* structure, int slot)
    : engine_(engine), id_(id), structure_(structure), slot_(slot), label_(structure->label) {
  caption_ = structure->text;
  timer_ = structure->timer;
  int alert_slot = 1;
  for (int code : structure->alert_keys) alert_[alert_slot++] = code;
  AddControls(*structure, 0);
  if (structure->menu_bar) {
    for (const Node& menu : structure->menu_bar->children) menus_.push_back(MenuFrom(menu));
  }
  if (structure->modal) escape_button_ = DialogEscapeButton();
}

Window::~Window() {
  if (state_ == State::kOpen || state_ == State::kClosing) Close();
}

void Window::AddControls(const Node& node, int parent) {
  int tab_index = 0;
  for (const Node& child : node.children) {
    int field = 0;
    if (child.kind == Kind::kTab && node.kind == Kind::kSheet) {
      field = TabId(parent, ++tab_index);
    } else if (IsControlKind(child.kind)) {
      field = child.number;
    } else {
      continue;
    }
    ControlModel c;
    c.node = &child;
    c.field = field;
    c.parent = parent;
    c.text = child.kind == Kind::kList ? std::string() : child.text;
    c.tip = child.tip;
    c.disabled = child.disabled;
    c.hidden = child.hidden;
    c.default_button = child.default_button;
    c.vscroll = child.vscroll;
    c.upper = child.upper;
    if (child.kind == Kind::kSheet && !child.children.empty()) c.value = 1;
    if (child.kind == Kind::kList) {
      // Rows of about 9 dialog units; the platform reports the real count.
      c.items = child.at.h == kNotGiven ? 10 : std::max(1, child.at.h / 9);
    }
    int slot = 1;
    for (int code : child.alert_keys) c.alert[slot++] = code;
    AddModel(std::move(c));
    AddControls(child, field);
  }
}

void Window::AddModel(ControlModel model) {
  if (IsTabId(model.field)) {
    by_tab_[model.field] = controls_.size();
  } else {
    // Field numbers follow declaration order, so each control comes next.
    by_field_.push_back(controls_.size());
  }
  controls_.push_back(std::move(model));
}

Window::ControlModel* Window::ControlAt(int field) {
  return const_cast<ControlModel*>(std::as_const(*this).ControlAt(field));
}

const Window::ControlModel* Window::ControlAt(int field) const {
  if (IsTabId(field)) {
    auto it = by_tab_.find(field);
    return it == by_tab_.end() ? nullptr : &controls_[it->second];
  }
  if (field < 1 || field > static_cast<int>(by_field_.size())) return nullptr;
  return &controls_[by_field_[static_cast<size_t>(field) - 1]];
}

// ---------------------------------------------------------------------------
// Life cycle and the loop.

void Window::Open() {
  if (state_ == State::kOpen || state_ == State::kClosing) {
    files::Errors().RuntimeError(files::kWindowAlreadyOpen, label_);
  }
  if (state_ == State::kClosed) {
    files::Errors().RuntimeError(files::kUnableToOpenWindow,
                                 label_ + " (closed windows are not reopened)");
  }
  state_ = State::kOpen;
  RestartTimer();
  Display();
  dirty_ = false;
  engine_->Opened(this);
  Post(event::kOpenWindow);
}

void Window::RestartTimer() {
  timer_due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(10LL * timer_);
}

void Window::Close() {
  if (state_ != State::kOpen && state_ != State::kClosing) return;
  state_ = State::kClosed;
  engine_->Closed(this);
}

bool Window::Accept() {
  bool delivered = Step();
  if (delivered && engine_->tracing()) {
    std::string_view name = EventName(event_);
    std::fprintf(stderr, "[slot %d] %s %s field %d\n", slot_, label_.c_str(),
                 name.empty() ? std::to_string(event_).c_str() : std::string(name).c_str(), field_);
  }
  return delivered;
}

bool Window::Step() {
  if (state_ == State::kCreated) files::Errors().RuntimeError(files::kWindowNotOpen, label_);
  if (state_ == State::kClosed) return false;
  if (close_delivered_) {
    state_ = State::kClosing;
    return false;
  }
  for (;;) {
    if (accept_all_ != 0) {
      int next = NextPassField(pass_field_);
      if (next != 0) {
        pass_field_ = next;
        event_ = event::kAccepted;
        field_ = next;
        keycode_ = 0;
        return true;
      }
      // Every control accepted: the pass ends with completed.
      accept_all_ = 0;
      pass_field_ = 0;
      Changed();
      Post(event::kCompleted);
    }
    Flush();
    // The timer fires once per period even while other events keep coming.
    if (timer_ > 0 && std::chrono::steady_clock::now() >= timer_due_) {
      RestartTimer();
      event_ = event::kTimer;
      field_ = 0;
      keycode_ = 0;
      engine_->Yield(this);
      return true;
    }
    Queued queued;
    if (!engine_->Take(this, queued)) continue;  // the timer came due first
    if (Deliver(queued)) {
      // Close-window and close-down both end the loop after this turn.
      if (event_ == event::kCloseWindow || event_ == event::kCloseDown) close_delivered_ = true;
      if (event_ == event::kOpenWindow) open_delivered_ = true;
      return true;
    }
  }
}

int Window::NextPassField(int after) const {
  for (int f = after + 1; f <= ControlCount(); ++f) {
    const ControlModel& c = *ControlAt(f);
    if (c.hidden || c.disabled) continue;
    if (Editable(c.node->kind) || (c.node->kind == Kind::kList && c.node->use)) return f;
  }
  return 0;
}

void Window::Post(int event, int field) {
  Queued q;
  q.event = event;
  q.field = event >= event::kFirstWindowEvent ? 0 : field;
  engine_->Enqueue(this, std::move(q));
}

void Window::Flush() {
  if (!dirty_ || state_ != State::kOpen) return;
  dirty_ = false;
  engine_->platform().WindowChanged(Snapshot());
}

bool Window::CloseAskedByUser() const { return event_ == event::kCloseWindow && close_by_user_; }

void Window::KeepOpen() {
  if (event_ == event::kCloseWindow) close_delivered_ = false;
}

std::string_view Window::PictureOf(const ControlModel& c) const {
  if (!c.node->picture.empty() || c.node->kind != Kind::kList || c.node->columns.empty()) {
    return c.node->picture;
  }
  // A drop list shows its value through its first column's picture.
  return c.node->columns[0].picture;
}

void Window::ShowDropValue(ControlModel& c) {
  if (c.variable == nullptr) return;
  c.text = c.variable->Show(PictureOf(c));
  auto trim = [](std::string_view v) {
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
  };
  c.selected = 0;
  for (size_t i = 0; i < c.rows.size(); ++i) {
    if (!c.rows[i].cells.empty() && trim(c.rows[i].cells[0]) == trim(c.text)) {
      c.selected = static_cast<int>(i) + 1;
      break;
    }
  }
}

void Window::MenuChosen(int number) {
  MenuState* item = FindMenu(menus_, number);
  if (item == nullptr) return;
  switch (item->standard_action) {
    case 0:
      break;
    case action::kClose:
      // The frame's Exit asks the other windows first, as its close box does.
      if (!structure_->mdi_frame || !engine_->CloseOthersFirst(this)) Post(event::kCloseWindow);
      break;
    case action::kPrintSetup:
      Flush();
      engine_->PrinterSetup(id_);
      break;
    case action::kHelpContents:
    case action::kHelpOnHelp:
    case action::kHelpSearch:
      HelpAction(item->standard_action);
      break;
    default:
      engine_->platform().StandardAction(id_, item->standard_action);
      break;
  }
}

// ---------------------------------------------------------------------------
// Control operations.

void Window::SetRange(int first, int last, bool ControlModel::*member, bool value) {
  if (last == 0) last = first;
  if (first > last) std::swap(first, last);
  for (ControlModel& c : controls_) {
    if (c.field >= first && c.field <= last) c.*member = value;
  }
  // Menu items (negative fields) can be disabled; they are never hidden.
  for (int f = first; f <= std::min(last, -1); ++f) {
    MenuState* item = FindMenu(menus_, f);
    if (item != nullptr && member == &ControlModel::disabled) item->disabled = value;
  }
  Changed();
}

void Window::Select(int field, int row) {
  if (IsTabId(field)) {
    if (ControlAt(field) != nullptr) Select(SheetOfTab(field), TabIndexOf(field));
    return;
  }
  ControlModel* c = ControlAt(field);
  if (c == nullptr) return;
  focus_ = field;
  // A focus move the user made before the procedure chose this control (the
  // Tab that left an entry which then refused its text) would take the focus
  // away again once heard: the procedure's choice stands.
  engine_->DropQueuedFocus(this);
  if (c->node->kind == Kind::kList && row > 0) {
    c->selected = std::min<int>(row, c->rows.size());
    // A closed drop list shows the entry the procedure chose.
    if (c->node->drop > 0 && c->selected > 0 && !c->rows[c->selected - 1].cells.empty()) {
      c->text = c->rows[c->selected - 1].cells[0];
    }
  }
  if (c->node->kind == Kind::kSheet && row > 0 && ControlAt(TabId(field, row)) != nullptr) {
    c->value = row;
  }
  // Selecting a control ends an accept-all pass early.
  accept_all_ = 0;
  pass_field_ = 0;
  Changed();
}

int Window::Choice(int field) const {
  const ControlModel* c = ControlAt(field);
  if (c == nullptr) return 0;
  if (c->node->kind == Kind::kList || c->node->kind == Kind::kChart) return c->selected;
  if (c->node->kind == Kind::kSheet) return c->value;
  return 0;
}

void Window::Display(int first, int last) {
  if (first == 0) {
    first = 1;
    last = ControlCount();
  } else if (last == 0) {
    last = first;
  }
  if (first > last) std::swap(first, last);
  for (ControlModel& model : controls_) {
    ControlModel* c = &model;
    if (c->field < first || c->field > last || c->variable == nullptr) continue;
    std::string value = c->variable->Get();
    switch (c->node->kind) {
      case Kind::kCheck:
        c->value =
            !value.empty() && value != "0" && value.find_first_not_of(' ') != std::string::npos;
        break;
      case Kind::kProgress:
        c->value = static_cast<int>(ToNumber(value));
        break;
      case Kind::kList:
        if (c->node->drop > 0) ShowDropValue(*c);
        break;
      default:
        c->text = c->variable->Show(c->node->picture);
    }
  }
  Changed();
}

int Window::Popup(const std::string& text, int x, int y) {
  Flush();
  return engine_->Popup(id_, text, x, y);
}

int Window::Bind(std::string_view name, std::unique_ptr<UseVariable> variable) {
  int count = 0;
  for (ControlModel& c : controls_) {
    if (c.node->use && c.node->use->variable == name) {
      c.variable = variable.get();
      ++count;
    }
  }
  if (count > 0) variables_.push_back(std::move(variable));
  return count;
}

void Window::SetRows(int field, std::vector<ListRow> rows) {
  ControlModel* c = ControlAt(field);
  if (c == nullptr || c->node->kind != Kind::kList) return;
  c->rows = std::move(rows);
  if (c->selected > static_cast<int>(c->rows.size()))
    c->selected = static_cast<int>(c->rows.size());
  Changed();
}

void Window::SetChart(int field, Chart chart) {
  ControlModel* c = ControlAt(field);
  if (c == nullptr || c->node->kind != Kind::kChart) return;
  c->chart = std::move(chart);
  if (c->selected > static_cast<int>(c->chart.bars.size())) c->selected = 0;
  Changed();
}

std::vector<std::string> Window::UseNames() const {
  std::vector<std::string> names;
  for (const ControlModel& c : controls_) {
    if (!c.node->use) continue;
    const std::string& name = c.node->use->variable;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

const std::vector<ListRow>& Window::Rows(int field) const {
  static const std::vector<ListRow> kNone;
  const ControlModel* c = ControlAt(field);
  return c == nullptr ? kNone : c->rows;
}

WindowState Window::Snapshot() const {
  WindowState s;
  s.id = id_;
  s.slot = slot_;
  s.label = label_;
  s.caption = caption_;
  s.at = structure_->at;
  s.font = structure_->font;
  s.frame = structure_->mdi_frame;
  s.child = structure_->mdi_child;
  s.modal = structure_->modal;
  s.fill = structure_->fill;
  s.focus = focus_;
  s.timer = timer_;
  s.accept_all = accept_all_ != 0;
  s.menus = menus_;
  s.status = status_;
  for (const auto& [slot, code] : alert_) s.alert_keys.push_back(code);
  for (const ControlModel& c : controls_) {
    ControlState cs;
    cs.field = c.field;
    cs.use = std::string(UseName(*c.node));
    cs.kind = c.node->kind;
    cs.at = c.node->at;
    cs.text = c.text;
    cs.tip = c.tip;
    cs.picture = c.node->picture;
    cs.font = c.node->font;
    cs.disabled = c.disabled;
    cs.hidden = c.hidden;
    cs.default_button = c.default_button;
    cs.parent = c.parent;
    cs.columns = c.format ? c.format->second : c.node->columns;
    cs.rows = c.rows;
    cs.chart = c.chart;
    cs.selected = c.selected;
    cs.items = c.items;
    cs.vscroll = c.vscroll;
    cs.paged = c.node->paged;
    cs.immediate = c.node->immediate;
    cs.fill = c.node->fill;
    cs.thumb = c.thumb;
    cs.value = c.value;
    cs.upper = c.upper;
    cs.image = c.node->image;
    cs.drop = c.node->drop;
    cs.dropped = c.dropped;
    for (const auto& [slot, code] : c.alert) cs.alert_keys.push_back(code);
    cs.colours = {c.node->colours[0], c.node->colours[1]};
    s.controls.push_back(std::move(cs));
  }
  return s;
}

}  // namespace vorsandt::ui
