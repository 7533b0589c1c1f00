#include <algorithm>
#include <string>

#include "runtime/files/error_state.h"
#include "ui/engine/window.h"
#include "ui/engine/window_internal.h"

namespace vorsandt::ui {

using internal::FindMenu;
using internal::ToNumber;

// ---------------------------------------------------------------------------
// Controls by name.

namespace {

// The number of the menu item under `menu` whose field equate is `name`, or 0.
int MenuItemNamed(const Node& menu, std::string_view name) {
  for (const Node& child : menu.children) {
    if (child.number != 0 && child.equate == name) return child.number;
    if (int number = MenuItemNamed(child, name)) return number;
  }
  return 0;
}

}  // namespace

int Window::FieldOf(std::string_view name) const {
  for (const ControlModel& c : controls_) {
    if (UseName(*c.node) == name) return c.field;
  }
  if (structure_->menu_bar) {
    if (int number = MenuItemNamed(*structure_->menu_bar, name)) return number;
  }
  files::Errors().RuntimeError(0, "No control \"" + std::string(name) + "\" in " + label_);
  return 0;
}

// ---------------------------------------------------------------------------
// Properties.

std::string Window::GetProperty(int field, int property, int index) const {
  if (index < 0 || index > 255) return {};
  if (field == 0) {
    switch (property) {
      case prop::kText:
        return caption_;
      case prop::kTimer:
        return std::to_string(timer_);
      case prop::kAcceptAll:
        return std::to_string(accept_all_);
      case prop::kStatusText: {
        auto it = status_.find(index);
        return it == status_.end() ? std::string() : it->second;
      }
      case prop::kAlertKey: {
        auto it = alert_.find(index);
        return it == alert_.end() ? std::string("0") : std::to_string(it->second);
      }
      default: {
        auto it = other_.find({property, index});
        return it == other_.end() ? std::string() : it->second;
      }
    }
  }
  auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
  if (field < 0) {
    const MenuState* item = FindMenu(const_cast<std::vector<MenuState>&>(menus_), field);
    if (item == nullptr) return {};
    if (property == prop::kText) return item->text;
    if (property == prop::kDisable) return flag(item->disabled);
    return {};
  }
  const ControlModel* c = ControlAt(field);
  if (c == nullptr) return {};
  switch (property) {
    case prop::kText:
      return c->text;
    case prop::kTip:
      return c->tip;
    case prop::kDisable:
      return flag(c->disabled);
    case prop::kHide:
      return flag(c->hidden);
    case prop::kDefaultButton:
      return flag(c->default_button);
    case prop::kVScroll:
      return flag(c->vscroll);
    case prop::kItems:
      return std::to_string(c->items);
    case prop::kSelStart:
      return std::to_string(c->selected);
    case prop::kThumb:
      return std::to_string(c->thumb);
    case prop::kSpinUpper:
      return std::to_string(c->upper);
    case prop::kTreeRow:
      return std::to_string(c->tree_row);
    case prop::kFormat:
      return c->format ? c->format->first : c->node->format;
    case prop::kVisible: {
      bool shown = state_ == State::kOpen && !c->hidden;
      for (int p = c->parent; shown && p != 0;) {
        const ControlModel* parent = ControlAt(p);
        if (parent == nullptr) break;
        if (parent->hidden) shown = false;
        // A control on a tab shows only while its tab is the sheet's choice.
        const ControlModel* sheet = ControlAt(parent->parent);
        if (parent->node->kind == Kind::kTab && sheet != nullptr && TabIndexOf(p) != sheet->value) {
          shown = false;
        }
        p = parent->parent;
      }
      return flag(shown);
    }
    case prop::kAlertKey: {
      auto it = c->alert.find(index);
      return it == c->alert.end() ? std::string("0") : std::to_string(it->second);
    }
    default: {
      auto it = c->other.find({property, index});
      return it == c->other.end() ? std::string() : it->second;
    }
  }
}

int64_t Window::GetNumber(int field, int property, int index) const {
  return ToNumber(GetProperty(field, property, index));
}

void Window::SetProperty(int field, int property, int64_t value, int index) {
  SetProperty(field, property, std::to_string(value), index);
}

void Window::SetProperty(int field, int property, std::string_view value, int index) {
  if (index < 0 || index > 255) return;
  int64_t number = ToNumber(value);
  Changed();
  if (field == 0) {
    switch (property) {
      case prop::kText:
        caption_ = std::string(value);
        return;
      case prop::kTimer:
        timer_ = static_cast<int>(std::max<int64_t>(0, number));
        RestartTimer();
        return;
      case prop::kAcceptAll:
        accept_all_ = number != 0 ? 1 : 0;
        pass_field_ = 0;
        return;
      case prop::kStatusText:
        status_[index] = std::string(value);
        return;
      case prop::kAlertKey:
        if (index < 1) return;
        if (number == 0) {
          alert_.erase(index);
        } else {
          alert_[index] = static_cast<int>(number);
        }
        return;
      default:
        other_[{property, index}] = std::string(value);
        return;
    }
  }
  if (field < 0) {
    MenuState* item = FindMenu(menus_, field);
    if (item == nullptr) return;
    if (property == prop::kText) item->text = std::string(value);
    if (property == prop::kDisable) item->disabled = number != 0;
    return;
  }
  ControlModel* c = ControlAt(field);
  if (c == nullptr) return;
  switch (property) {
    case prop::kText:
      c->text = std::string(value);
      return;
    case prop::kTip:
      c->tip = std::string(value);
      return;
    case prop::kDisable:
      c->disabled = number != 0;
      return;
    case prop::kHide:
      c->hidden = number != 0;
      return;
    case prop::kDefaultButton:
      // One default button per window.
      if (number != 0) {
        for (ControlModel& other : controls_) other.default_button = false;
      }
      c->default_button = number != 0;
      return;
    case prop::kVScroll:
      c->vscroll = number != 0;
      return;
    case prop::kItems:
      c->items = static_cast<int>(std::max<int64_t>(1, number));
      return;
    case prop::kSelStart:
      c->selected = static_cast<int>(std::clamp<int64_t>(number, 0, c->rows.size()));
      return;
    case prop::kThumb:
      c->thumb = static_cast<int>(std::clamp<int64_t>(number, 0, 100));
      return;
    case prop::kSpinUpper:
      c->upper = static_cast<int>(number);
      return;
    case prop::kTreeRow:
      c->tree_row = static_cast<int>(number);
      return;
    case prop::kFormat: {
      // Only a list takes a format, and only one that parses.
      if (c->node->kind != Kind::kList) return;
      ColumnFormatResult parsed = ParseColumnFormat(value);
      if (parsed.ok) c->format.emplace(std::string(value), std::move(parsed.columns));
      return;
    }
    case prop::kAlertKey:
      if (index < 1) return;
      if (number == 0) {
        c->alert.erase(index);
      } else {
        c->alert[index] = static_cast<int>(number);
      }
      return;
    default:
      c->other[{property, index}] = std::string(value);
      return;
  }
}

}  // namespace vorsandt::ui
