// How a taken input becomes the window's current event: one handler per
// kind of input (kInputHandlers), each deciding whether the input concerns
// a usable control and what the procedure hears of it.
#include <algorithm>
#include <map>

#include "ui/engine/engine.h"
#include "ui/engine/window.h"
#include "ui/engine/window_internal.h"

namespace vorsandt::ui {
namespace {

using internal::Editable;
using internal::FindMenu;
using internal::ToNumber;

}  // namespace

// In the order of Input::Type, which indexes it.
constexpr Window::InputHandler Window::kInputHandlers[] = {
    {Input::Type::kAccept, &Window::DeliverAcceptInput},
    {Input::Type::kKey, &Window::DeliverKeyInput},
    {Input::Type::kSelectRow, &Window::DeliverSelectRow},
    {Input::Type::kSelectTab, &Window::DeliverSelectTab},
    {Input::Type::kScroll, &Window::DeliverScroll},
    {Input::Type::kThumb, &Window::DeliverThumb},
    {Input::Type::kFocus, &Window::DeliverFocus},
    {Input::Type::kClose, &Window::DeliverClose},
    {Input::Type::kGainFocus, &Window::DeliverGainFocus},
    {Input::Type::kExpand, &Window::DeliverTreeToggle},
    {Input::Type::kContract, &Window::DeliverTreeToggle},
    {Input::Type::kListItems, &Window::DeliverListItems},
    {Input::Type::kDropDown, &Window::DeliverDropDown},
    {Input::Type::kCloseUp, &Window::DeliverCloseUp},
};

bool Window::Deliver(const Queued& queued) {
  close_by_user_ = false;
  if (!queued.is_input) {
    event_ = queued.event;
    field_ = queued.field;
    keycode_ = 0;
    return true;
  }
  const Input& in = queued.input;
  ControlModel* c = ControlAt(in.field);
  // A tab is part of its sheet: the user chooses it through the sheet.
  if (c != nullptr && c->node->kind == Kind::kTab) return false;
  static_assert([] {
    for (size_t i = 0; i < std::size(kInputHandlers); ++i) {
      if (static_cast<size_t>(kInputHandlers[i].type) != i) return false;
    }
    return std::size(kInputHandlers) == static_cast<size_t>(Input::Type::kCloseUp) + 1;
  }());
  const auto type = static_cast<size_t>(in.type);
  if (type >= std::size(kInputHandlers)) return false;
  return (this->*kInputHandlers[type].handler)(in, c);
}

bool Window::ControlEvent(int event, int field) {
  event_ = event;
  field_ = field;
  keycode_ = 0;
  return true;
}

bool Window::DeliverAcceptInput(const Input& in, ControlModel* c) {
  if (in.field < 0) {
    MenuState* item = FindMenu(menus_, in.field);
    if (item == nullptr || item->disabled || item->separator) return false;
    MenuChosen(in.field);
    return ControlEvent(event::kAccepted, in.field);
  }
  if (c == nullptr || c->disabled || c->hidden) return false;
  return DeliverAccept(in, *c);
}

bool Window::DeliverKeyInput(const Input& in, ControlModel* /*c*/) { return DeliverKey(in); }

bool Window::DeliverSelectRow(const Input& in, ControlModel* c) {
  if (c != nullptr && c->node->kind == Kind::kChart && !c->disabled) return DeliverBarClick(in, *c);
  if (c == nullptr || c->node->kind != Kind::kList || c->disabled) return false;
  if (c->node->drop > 0) return DeliverDropChoice(in, *c);
  c->selected = std::clamp(in.value, 0, static_cast<int>(c->rows.size()));
  focus_ = in.field;
  Changed();
  return ControlEvent(event::kNewSelection, in.field);
}

// A click on a bar chooses it, as a button is pressed: the procedure hears
// the chart accepted and reads the bar from Choice. A click beside the bars
// chooses nothing.
bool Window::DeliverBarClick(const Input& in, ControlModel& c) {
  if (in.value < 1 || in.value > static_cast<int>(c.chart.bars.size())) return false;
  c.selected = in.value;
  Changed();
  return ControlEvent(event::kAccepted, in.field);
}

bool Window::DeliverSelectTab(const Input& in, ControlModel* c) {
  if (c == nullptr || c->node->kind != Kind::kSheet) return false;
  const ControlModel* tab = ControlAt(TabId(in.field, in.value));
  if (tab == nullptr || in.value == c->value) return false;
  // A tab shown disabled or hidden cannot be chosen.
  if (tab->disabled || tab->hidden) return false;
  c->value = in.value;
  Changed();
  // The procedure hears "about to change" first, then the new selection.
  Queued next;
  next.event = event::kNewSelection;
  next.field = in.field;
  engine_->Enqueue(this, std::move(next), /*front=*/true);
  return ControlEvent(event::kTabChanging, in.field);
}

bool Window::DeliverScroll(const Input& in, ControlModel* c) {
  if (c == nullptr || c->node->kind != Kind::kList) return false;
  if (in.value < event::kScrollUp || in.value > event::kScrollBottom) return false;
  return ControlEvent(in.value, in.field);
}

bool Window::DeliverThumb(const Input& in, ControlModel* c) {
  if (c == nullptr || c->node->kind != Kind::kList) return false;
  c->thumb = std::clamp(in.value, 0, 100);
  Changed();
  return ControlEvent(event::kScrollDrag, in.field);
}

bool Window::DeliverFocus(const Input& in, ControlModel* c) {
  if (c == nullptr || c->disabled || c->hidden) return false;
  focus_ = in.field;
  Changed();
  return ControlEvent(event::kSelected, in.field);
}

bool Window::DeliverClose(const Input& /*in*/, ControlModel* /*c*/) { return CloseByUser(); }

bool Window::DeliverGainFocus(const Input& /*in*/, ControlModel* /*c*/) {
  return ControlEvent(event::kGainFocus, 0);
}

bool Window::DeliverTreeToggle(const Input& in, ControlModel* c) {
  if (c == nullptr || c->node->kind != Kind::kList) return false;
  c->tree_row = in.value;
  return ControlEvent(in.type == Input::Type::kExpand ? event::kExpanded : event::kContracted,
                      in.field);
}

bool Window::DeliverListItems(const Input& in, ControlModel* c) {
  if (c == nullptr || c->node->kind != Kind::kList || in.value < 1) return false;
  if (c->items == in.value) return false;
  c->items = in.value;
  Changed();
  // The procedure reads the count when it next loads a page. Once the
  // window is up, a paged list that can show more or fewer rows means the
  // window was resized: the window hears "sized", so that a browse can
  // refill its page at the new size now rather than at the next move.
  if (!c->node->paged || !open_delivered_) return false;
  return ControlEvent(event::kSized, 0);
}

bool Window::DeliverDropDown(const Input& in, ControlModel* c) {
  if (c == nullptr || c->node->kind != Kind::kList || c->node->drop == 0) return false;
  if (c->disabled || c->hidden || c->dropped) return false;
  // The procedure hears "about to drop" first and may fill the rows; the
  // platform sees the list dropped, with those rows, after that turn.
  c->dropped = true;
  focus_ = in.field;
  Changed();
  Queued next;
  next.event = event::kDroppedDown;
  next.field = in.field;
  engine_->Enqueue(this, std::move(next), /*front=*/true);
  return ControlEvent(event::kDroppingDown, in.field);
}

bool Window::DeliverCloseUp(const Input& /*in*/, ControlModel* c) {
  if (c == nullptr || !c->dropped) return false;
  c->dropped = false;
  Changed();
  return false;
}

bool Window::DeliverAccept(const Input& in, ControlModel& c) {
  auto accepted = [&](int number) {
    event_ = number;
    field_ = in.field;
    keycode_ = 0;
    return true;
  };
  if (c.node->kind == Kind::kCheck) {
    c.value = in.has_text ? (ToNumber(in.text) != 0) : !c.value;
    if (c.variable) c.variable->Set(c.value ? "1" : "0");
  } else if (Editable(c.node->kind) && in.has_text) {
    // The typed text goes back into the variable on this thread.
    c.text = in.text;
    if (c.variable) {
      Changed();
      // Text the variable cannot take stays on show for the user to correct;
      // the variable keeps its value and the procedure hears "rejected".
      if (!c.variable->Accept(in.text, PictureOf(c))) return accepted(event::kRejected);
      c.text = c.variable->Show(PictureOf(c));
    }
  }
  if (c.node->standard_action == action::kClose) Post(event::kCloseWindow);
  Changed();
  return accepted(event::kAccepted);
}

bool Window::DeliverDropChoice(const Input& in, ControlModel& c) {
  int row = std::clamp(in.value, 0, static_cast<int>(c.rows.size()));
  c.dropped = false;
  Changed();
  if (row == 0) return false;  // nothing to choose: the list only closes
  focus_ = in.field;
  event_ = event::kNewSelection;
  field_ = in.field;
  keycode_ = 0;
  c.selected = row;
  const ListRow& chosen = c.rows[row - 1];
  std::string cell = chosen.cells.empty() ? std::string() : chosen.cells[0];
  c.text = cell;
  if (c.variable) {
    if (!c.variable->Accept(cell, PictureOf(c))) {
      // A row that is not a value of the variable: nothing changes there.
      ShowDropValue(c);
      event_ = event::kRejected;
      return true;
    }
    c.text = c.variable->Show(PictureOf(c));
  }
  // Choosing an entry completes the control as an entry's text does.
  Queued next;
  next.event = event::kAccepted;
  next.field = in.field;
  engine_->Enqueue(this, std::move(next), /*front=*/true);
  return true;
}

bool Window::DeliverKey(const Input& in) {
  int field = in.field != 0 ? in.field : focus_;
  ControlModel* c = ControlAt(field);
  keycode_ = in.value;
  keychar_ = in.text;
  auto fire = [&](int number, int on) {
    event_ = number;
    field_ = on;
    return true;
  };
  bool usable = c != nullptr && !c->disabled && !c->hidden;
  auto alerted = [&](const std::map<int, int>& alerts, int value) {
    for (const auto& [slot, code] : alerts) {
      if (code == value) return true;
    }
    return false;
  };
  // A capital letter typed with Shift is the letter's key where only the
  // letter is alerted (a list's typing locator alerts the plain letters and
  // reads what was typed from the key's text).
  const int letter = in.value - key::kShift;
  const bool shifted_letter = letter >= 'A' && letter <= 'Z';
  for (int value : {in.value, shifted_letter ? letter : 0}) {
    if (value == 0) continue;
    if (usable && alerted(c->alert, value)) {
      keycode_ = value;
      return fire(event::kAlertKey, field);
    }
    // A key alerted on the window is heard whatever has the focus; the event
    // concerns the focused control (0 when none has it).
    if (alerted(alert_, value)) {
      keycode_ = value;
      return fire(event::kAlertKey, c != nullptr ? field : 0);
    }
  }
  if (usable) {
    if (c->node->kind == Kind::kList && c->node->paged) {
      switch (in.value) {
        case key::kUp:
          return fire(event::kScrollUp, field);
        case key::kDown:
          return fire(event::kScrollDown, field);
        case key::kPgUp:
          return fire(event::kPageUp, field);
        case key::kPgDn:
          return fire(event::kPageDown, field);
        case key::kHome:
        case key::kCtrl + key::kHome:
        case key::kCtrl + key::kPgUp:
          return fire(event::kScrollTop, field);
        case key::kEnd:
        case key::kCtrl + key::kEnd:
        case key::kCtrl + key::kPgDn:
          return fire(event::kScrollBottom, field);
        default:
          break;
      }
    }
    // A right click on a list is a selection whose key is the right button:
    // that is how a procedure learns to show its popup menu there.
    if (c->node->kind == Kind::kList && in.value == key::kMouseRight) {
      return fire(event::kNewSelection, field);
    }
  }
  return DeliverStandardKey(in.value);
}

}  // namespace vorsandt::ui
