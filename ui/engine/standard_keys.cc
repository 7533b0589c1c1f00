// The keys every window understands without its procedure doing anything:
// Enter presses the default button, Esc the window's escape button (Cancel,
// or Close where the window has no Cancel), F1 opens the manual at the
// window's section, Ctrl+F4 closes a child window of the frame as its close
// box would, so that a changed form asks first, and Ctrl+PgDn (Ctrl+PgUp)
// chooses the next (previous) tab of the window's sheet as a click on it
// would; so do Ctrl+Tab and Ctrl+Shift+Tab where the desktop leaves them to
// the window (inside the frame they move between its windows). On a paged
// list Ctrl+PgDn and Ctrl+PgUp scroll the list instead. A key alerted on the
// focused control or on the window belongs to the procedure and never gets
// here. The Help menu's standard actions open the manual too. A key that a
// menu item of the frame names as its shortcut chooses that item.
#include <string_view>

#include "ui/engine/engine.h"
#include "ui/engine/help_topic.h"
#include "ui/engine/window.h"

namespace vorsandt::ui {
namespace {

// The buttons that stand for Esc in a dialog, the first the window has.
constexpr std::string_view kEscapeButtons[] = {"?Cancel", "?CancelJump", "?Close"};
constexpr int kCtrlF4 = key::kCtrl + key::kF1 + 3;
constexpr int kCtrlTab = key::kCtrl + key::kTab;
constexpr int kCtrlShiftTab = key::kCtrl + key::kShift + key::kTab;
constexpr int kCtrlPgDn = key::kCtrl + key::kPgDn;
constexpr int kCtrlPgUp = key::kCtrl + key::kPgUp;

}  // namespace

int Window::DialogEscapeButton() const {
  for (std::string_view name : kEscapeButtons) {
    for (const ControlModel& c : controls_) {
      if (c.node->kind == Kind::kButton && UseName(*c.node) == name) return c.field;
    }
  }
  return 0;
}

bool Window::ChooseNextTab(int step) {
  // The sheet holding the focused control, else the window's first sheet
  // that can be used.
  const ControlModel* sheet = nullptr;
  for (const ControlModel* c = ControlAt(focus_); c != nullptr && sheet == nullptr;
       c = c->parent != 0 ? ControlAt(c->parent) : nullptr) {
    if (c->node->kind == Kind::kSheet) sheet = c;
  }
  for (const ControlModel& c : controls_) {
    if (sheet == nullptr && c.node->kind == Kind::kSheet && !c.hidden && !c.disabled) sheet = &c;
  }
  if (sheet == nullptr) return false;
  int tabs = 0;
  while (tabs < kMaxTabs && ControlAt(TabId(sheet->field, tabs + 1)) != nullptr) ++tabs;
  for (int n = 1, at = sheet->value; n < tabs; ++n) {
    at = (at - 1 + step + tabs) % tabs + 1;
    const ControlModel* tab = ControlAt(TabId(sheet->field, at));
    if (tab->hidden || tab->disabled) continue;
    Queued choose;
    choose.is_input = true;
    choose.input.type = Input::Type::kSelectTab;
    choose.input.field = sheet->field;
    choose.input.value = at;
    return Deliver(choose);
  }
  return false;
}

bool Window::CloseByUser() {
  // The frame's close box asks every other window first; the frame hears
  // its close once they have all gone.
  if (structure_->mdi_frame && engine_->CloseOthersFirst(this)) return false;
  close_by_user_ = true;
  event_ = event::kCloseWindow;
  field_ = 0;
  keycode_ = 0;
  return true;
}

bool Window::DeliverStandardKey(int code) {
  auto press = [this](ControlModel& b) {
    if (b.node->standard_action == action::kClose) Post(event::kCloseWindow);
    event_ = event::kAccepted;
    field_ = b.field;
    return true;
  };
  auto usable = [](const ControlModel& b) {
    return b.node->kind == Kind::kButton && !b.disabled && !b.hidden;
  };
  if (code == key::kEnter) {
    for (ControlModel& b : controls_) {
      if (usable(b) && b.default_button) return press(b);
    }
    return false;
  }
  if (code == key::kEsc) {
    ControlModel* b = ControlAt(escape_button_);
    return b != nullptr && usable(*b) && press(*b);
  }
  if (code == kCtrlTab || code == kCtrlPgDn) return ChooseNextTab(1);
  if (code == kCtrlShiftTab || code == kCtrlPgUp) return ChooseNextTab(-1);
  if (code == key::kF1) {
    // Help is read beside the window: the procedure hears nothing.
    ShowHelp();
    return false;
  }
  if (code == kCtrlF4 && structure_->mdi_child && !structure_->modal) {
    const int keycode = keycode_;
    CloseByUser();
    keycode_ = keycode;
    return true;
  }
  // The frame's menu shortcuts work from every window; the window whose key
  // it was hears nothing.
  engine_->ChooseMenuShortcut(code);
  return false;
}

void Window::ShowHelp() {
  HelpRequest request;
  request.topic = HelpTopicOf(label_);
  request.owner = id_;
  engine_->platform().ShowHelp(request);
}

void Window::HelpAction(int action) {
  HelpRequest request;
  request.owner = id_;
  if (action == action::kHelpSearch) {
    request.search = true;
  } else {
    request.topic = action == action::kHelpOnHelp ? kHelpOnHelpTopic : kHelpContentsTopic;
  }
  engine_->platform().ShowHelp(request);
}

}  // namespace vorsandt::ui
