#include "ui/headless/script.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <thread>

namespace vorsandt::ui::headless {
namespace {

std::optional<int> Number(std::string_view s) {
  int v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string WithoutAmpersand(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c != '&') out += c;
  }
  return out;
}

// A menu text or control text matches as written or without its "&".
bool TextMatches(const std::string& have, const std::string& want) {
  return have == want || WithoutAmpersand(have) == want;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

const MenuState* FindMenuText(const std::vector<MenuState>& menus, const std::string& text) {
  for (const MenuState& m : menus) {
    if (!m.separator && TextMatches(m.text, text)) return &m;
    if (const MenuState* found = FindMenuText(m.items, text)) return found;
  }
  return nullptr;
}

std::string RowText(const ListRow& row) {
  std::string out;
  for (size_t i = 0; i < row.cells.size(); ++i) {
    if (i) out += " | ";
    out += Trim(row.cells[i]);
  }
  return out;
}

std::optional<int> ButtonFlag(std::string_view word) {
  static const std::map<std::string, int> kButtons = {
      {"ok", button::kOk},         {"yes", button::kYes},     {"no", button::kNo},
      {"abort", button::kAbort},   {"retry", button::kRetry}, {"ignore", button::kIgnore},
      {"cancel", button::kCancel}, {"help", button::kHelp},
  };
  auto it = kButtons.find(Lower(word));
  if (it != kButtons.end()) return it->second;
  return Number(word);
}

}  // namespace

ScriptParse ParseScript(std::string_view text) {
  ScriptParse result;
  int line_no = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    ++line_no;
    ScriptLine parsed;
    parsed.line = line_no;
    size_t i = 0;
    while (i < line.size()) {
      char c = line[i];
      if (c == ' ' || c == '\t' || c == '\r') {
        ++i;
      } else if (c == '#') {
        break;
      } else if (c == '"') {
        std::string word;
        ++i;
        bool closed = false;
        while (i < line.size()) {
          if (line[i] == '\\' && i + 1 < line.size()) {
            word += line[i + 1];
            i += 2;
          } else if (line[i] == '"') {
            closed = true;
            ++i;
            break;
          } else {
            word += line[i++];
          }
        }
        if (!closed) {
          result.ok = false;
          result.error_line = line_no;
          result.error = "unterminated quoted text";
          return result;
        }
        parsed.words.push_back(std::move(word));
      } else {
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        parsed.words.emplace_back(line.substr(start, i - start));
      }
    }
    if (!parsed.words.empty()) result.lines.push_back(std::move(parsed));
    if (end == text.size()) break;
    pos = end + 1;
  }
  return result;
}

std::optional<int> KeyCode(std::string_view name, std::string* typed) {
  static const std::map<std::string, int> kKeys = {
      {"enter", key::kEnter},
      {"esc", key::kEsc},
      {"escape", key::kEsc},
      {"tab", key::kTab},
      {"space", key::kSpace},
      {"backspace", key::kBackspace},
      {"insert", key::kInsert},
      {"delete", key::kDelete},
      {"up", key::kUp},
      {"down", key::kDown},
      {"left", key::kLeft},
      {"right", key::kRight},
      {"pgup", key::kPgUp},
      {"pageup", key::kPgUp},
      {"pgdn", key::kPgDn},
      {"pagedown", key::kPgDn},
      {"home", key::kHome},
      {"end", key::kEnd},
      {"doubleclick", key::kMouseLeft2},
      {"rightclick", key::kMouseRight},
  };
  int modifiers = 0;
  bool shift = false;
  for (;;) {
    size_t plus = name.find('+');
    if (plus == std::string_view::npos || plus + 1 >= name.size()) break;
    std::string mod = Lower(name.substr(0, plus));
    if (mod == "ctrl") {
      modifiers += key::kCtrl;
    } else if (mod == "shift") {
      modifiers += key::kShift;
      shift = true;
    } else if (mod == "alt") {
      modifiers += key::kAlt;
    } else {
      return std::nullopt;
    }
    name.remove_prefix(plus + 1);
  }
  if (name.empty()) return std::nullopt;
  std::string lower = Lower(name);
  if (auto it = kKeys.find(lower); it != kKeys.end()) {
    if (typed && it->second == key::kSpace) *typed = " ";
    return it->second + modifiers;
  }
  if (lower.size() >= 2 && lower[0] == 'f') {
    auto n = Number(lower.substr(1));
    if (n && *n >= 1 && *n <= 12) return key::kF1 + *n - 1 + modifiers;
  }
  if (name.size() == 1) {
    unsigned char c = static_cast<unsigned char>(name[0]);
    if (std::isalpha(c)) {
      if (typed)
        *typed = std::string(1, static_cast<char>(shift ? std::toupper(c) : std::tolower(c)));
      return std::toupper(c) + modifiers;
    }
    if (std::isdigit(c)) {
      if (typed) *typed = std::string(1, static_cast<char>(c));
      return c + modifiers;
    }
  }
  return std::nullopt;
}

ScriptRunner::ScriptRunner(Engine& engine, HeadlessPlatform& platform, std::string name,
                           std::ostream& out, std::ostream& err)
    : engine_(engine), platform_(platform), name_(std::move(name)), out_(out), err_(err) {}

int ScriptRunner::Run(const std::vector<ScriptLine>& lines) {
  for (const ScriptLine& line : lines) {
    line_ = line.line;
    if (!Execute(line)) return 1;
  }
  return 0;
}

bool ScriptRunner::Fail(const std::string& message) {
  err_ << name_ << ":" << line_ << ": " << message << "\n";
  err_.flush();
  return false;
}

bool ScriptRunner::WaitIdle() {
  do {
    if (!engine_.WaitIdle(timeout_)) return Fail("the program did not become idle");
  } while (Refocus());
  return true;
}

// A desktop gives the focus back to a window when the active one closes;
// the procedures rely on that gain-focus event to redisplay, so the runner
// sends it too. Returns true when it sent one.
bool ScriptRunner::Refocus() {
  std::vector<WindowState> windows = platform_.Windows();
  if (windows.empty()) return false;
  const WindowState& newest = windows.back();
  bool opened_now = known_.count(newest.id) == 0;
  bool active_open = false;
  for (const WindowState& w : windows) {
    known_.insert(w.id);
    active_open = active_open || w.id == active_;
  }
  if (opened_now) {
    active_ = newest.id;  // a new window is active; it hears open-window
    return false;
  }
  if (active_open) return false;
  active_ = newest.id;
  Input in;
  in.type = Input::Type::kGainFocus;
  engine_.Input(newest.id, in);
  return true;
}

std::optional<WindowState> ScriptRunner::Target() {
  std::vector<WindowState> windows = platform_.Windows();
  if (!target_.empty()) {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      if (it->label == target_ || it->caption == target_) return *it;
    }
  }
  if (windows.empty()) return std::nullopt;
  return windows.back();
}

std::optional<int> ScriptRunner::Field(const WindowState& window, const std::string& word) {
  if (auto n = Number(word)) return n;
  for (const ControlState& c : window.controls) {
    if (!c.use.empty() && c.use == word) return c.field;
  }
  for (const ControlState& c : window.controls) {
    if (!c.text.empty() && TextMatches(c.text, word)) return c.field;
  }
  return std::nullopt;
}

bool ScriptRunner::Send(const WindowState& window, Input input) {
  engine_.Input(window.id, input);
  return true;
}

bool ScriptRunner::Execute(const ScriptLine& line) {
  const std::vector<std::string>& w = line.words;
  const std::string& cmd = w[0];
  auto need = [&](size_t n) {
    if (w.size() < n + 1) {
      Fail("\"" + cmd + "\" needs " + std::to_string(n) + " argument" + (n == 1 ? "" : "s"));
      return false;
    }
    return true;
  };

  // Answers are queued without waiting: a modal call may be what blocks.
  if (cmd == "answer") {
    if (!need(1)) return false;
    auto b = ButtonFlag(w[1]);
    if (!b) return Fail("unknown button \"" + w[1] + "\"");
    platform_.QueueMessageAnswer(*b);
    return true;
  }
  if (cmd == "answer-popup") {
    if (!need(1)) return false;
    auto n = Number(w[1]);
    if (!n || *n < 0) return Fail("answer-popup needs an item number");
    platform_.QueuePopupAnswer(*n);
    return true;
  }
  if (cmd == "answer-file") {
    if (!need(1)) return false;
    platform_.QueueFileAnswer(w[1] == "cancel" && w.size() == 2 ? std::nullopt
                                                                : std::optional<std::string>(w[1]));
    return true;
  }
  if (cmd == "answer-printer") {
    if (!need(1)) return false;
    platform_.QueuePrinterAnswer(Lower(w[1]) == "ok");
    return true;
  }
  if (cmd == "wait") {
    if (!need(1)) return false;
    if (w[1] == "idle") return WaitIdle();
    if (w[1] == "exit") {
      int want = 0;
      if (w.size() > 2) {
        auto n = Number(w[2]);
        if (!n) return Fail("wait exit needs an exit code");
        want = *n;
      }
      auto deadline = std::chrono::steady_clock::now() + timeout_;
      while (!engine_.Ended()) {
        if (std::chrono::steady_clock::now() > deadline) return Fail("the program did not end");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      int got = exit_code_ ? exit_code_() : 0;
      if (got != want)
        return Fail("exit code " + std::to_string(got) + ", expected " + std::to_string(want));
      return true;
    }
    return Fail("wait idle or wait exit");
  }

  if (!WaitIdle()) return false;
  if (cmd == "window") {
    if (!need(1)) return false;
    target_ = w[1];
    auto t = Target();
    if (!t || (t->label != target_ && t->caption != target_))
      return Fail("no open window \"" + w[1] + "\"");
    if (t->id != active_) {
      // Choosing another window is the user's click on it.
      active_ = t->id;
      Input in;
      in.type = Input::Type::kGainFocus;
      engine_.Input(t->id, in);
      return WaitIdle();
    }
    return true;
  }
  if (cmd == "expect") return Expect(w);

  std::optional<WindowState> window = Target();
  if (!window) return Fail("no window is open");
  if (cmd == "dump") {
    out_ << DumpWindow(*window);
    out_.flush();
    return true;
  }
  if (cmd == "close" || cmd == "gain-focus") {
    Input in;
    in.type = cmd == "close" ? Input::Type::kClose : Input::Type::kGainFocus;
    return Send(*window, in);
  }
  if (cmd == "menu") {
    if (!need(1)) return false;
    // The target window's menu, else the frame's.
    std::optional<MenuState> item;
    WindowId owner = 0;
    if (const MenuState* m = FindMenuText(window->menus, w[1])) {
      item = *m;
      owner = window->id;
    }
    for (const WindowState& other : platform_.Windows()) {
      if (item || !other.frame) continue;
      if (const MenuState* m = FindMenuText(other.menus, w[1])) {
        item = *m;
        owner = other.id;
      }
    }
    if (!item || item->number == 0 || !item->items.empty())
      return Fail("no menu item \"" + w[1] + "\"");
    if (item->disabled) return Fail("menu item \"" + w[1] + "\" is disabled");
    Input in;
    in.type = Input::Type::kAccept;
    in.field = item->number;
    engine_.Input(owner, in);
    return true;
  }
  if (cmd == "press") {
    if (!need(1)) return false;
    std::string typed;
    auto code = KeyCode(w[1], &typed);
    if (!code) return Fail("unknown key \"" + w[1] + "\"");
    Input in;
    in.type = Input::Type::kKey;
    in.value = *code;
    in.text = typed;
    in.has_text = !typed.empty();
    if (w.size() > 2) {
      auto f = Field(*window, w[2]);
      if (!f) return Fail("no control \"" + w[2] + "\"");
      in.field = *f;
    }
    return Send(*window, in);
  }

  // The remaining commands act on a control.
  static const char* const kControlCommands[] = {"click",  "type",     "focus",  "select",
                                                 "tab",    "thumb",    "expand", "contract",
                                                 "items",  "scroll",   "drop",   "choose"};
  if (std::find(std::begin(kControlCommands), std::end(kControlCommands), cmd) ==
      std::end(kControlCommands)) {
    return Fail("unknown command \"" + cmd + "\"");
  }
  if (!need(1)) return false;
  auto field = Field(*window, w[1]);
  if (!field || window->Control(*field) == nullptr)
    return Fail("no control \"" + w[1] + "\" in " + window->label);
  const ControlState& control = *window->Control(*field);
  Input in;
  in.field = *field;
  if (cmd == "click") {
    if (control.disabled || control.hidden)
      return Fail("control " + w[1] + " cannot be clicked: disabled or hidden");
    in.type = Input::Type::kAccept;
    return Send(*window, in);
  }
  if (cmd == "type") {
    if (!need(2)) return false;
    if (control.disabled || control.hidden)
      return Fail("control " + w[1] + " cannot take text: disabled or hidden");
    in.type = Input::Type::kAccept;
    in.text = w[2];
    in.has_text = true;
    return Send(*window, in);
  }
  if (cmd == "focus") {
    in.type = Input::Type::kFocus;
    return Send(*window, in);
  }
  if (cmd == "drop" || cmd == "choose") {
    if (control.kind != Kind::kList || control.drop == 0)
      return Fail("control " + w[1] + " is not a drop list");
    if (control.disabled || control.hidden)
      return Fail("control " + w[1] + " cannot drop down: disabled or hidden");
    if (cmd == "drop") {
      in.type = Input::Type::kDropDown;
      return Send(*window, in);
    }
    // choose FIELD TEXT: the entry whose first cell reads TEXT (or, failing
    // that, the entry with that number), as a user picks it from the list.
    if (!need(2)) return false;
    in.type = Input::Type::kSelectRow;
    for (size_t i = 0; i < control.rows.size() && in.value == 0; ++i) {
      if (!control.rows[i].cells.empty() && Trim(control.rows[i].cells[0]) == Trim(w[2]))
        in.value = static_cast<int>(i) + 1;
    }
    if (in.value == 0) {
      auto n = Number(w[2]);
      if (!n || *n < 1 || *n > static_cast<int>(control.rows.size()))
        return Fail("drop list " + w[1] + " has no entry \"" + w[2] + "\"");
      in.value = *n;
    }
    return Send(*window, in);
  }
  static const std::map<std::string, Input::Type> kNumbered = {
      {"select", Input::Type::kSelectRow},  {"tab", Input::Type::kSelectTab},
      {"thumb", Input::Type::kThumb},       {"expand", Input::Type::kExpand},
      {"contract", Input::Type::kContract}, {"items", Input::Type::kListItems},
  };
  if (auto it = kNumbered.find(cmd); it != kNumbered.end()) {
    if (!need(2)) return false;
    auto n = Number(w[2]);
    if (!n) return Fail("\"" + cmd + "\" needs a number");
    in.type = it->second;
    in.value = *n;
    return Send(*window, in);
  }
  if (cmd == "scroll") {
    if (!need(2)) return false;
    static const std::map<std::string, int> kScroll = {
        {"up", event::kScrollUp},   {"down", event::kScrollDown},
        {"pageup", event::kPageUp}, {"pagedown", event::kPageDown},
        {"top", event::kScrollTop}, {"bottom", event::kScrollBottom},
    };
    auto it = kScroll.find(Lower(w[2]));
    if (it == kScroll.end()) return Fail("scroll up, down, pageup, pagedown, top or bottom");
    in.type = Input::Type::kScroll;
    in.value = it->second;
    return Send(*window, in);
  }
  return Fail("unknown command \"" + cmd + "\"");
}

bool ScriptRunner::Expect(const std::vector<std::string>& w) {
  if (w.size() < 2) return Fail("expect what?");
  const std::string& what = w[1];
  auto need = [&](size_t n) {
    if (w.size() < n + 2) {
      Fail("\"expect " + what + "\" needs " + std::to_string(n) + " argument" +
           (n == 1 ? "" : "s"));
      return false;
    }
    return true;
  };
  auto quoted = [](const std::string& s) { return "\"" + s + "\""; };

  if (what == "window" || what == "no-window") {
    if (!need(1)) return false;
    bool open = false;
    for (const WindowState& s : platform_.Windows())
      open = open || s.label == w[2] || s.caption == w[2];
    if (what == "window" && !open) return Fail("no open window " + quoted(w[2]));
    if (what == "no-window" && open) return Fail("window " + quoted(w[2]) + " is still open");
    return true;
  }
  if (what == "message") {
    if (!need(1)) return false;
    auto messages = platform_.Messages();
    if (messages.empty()) return Fail("no message box was shown");
    const MessageRequest& m = messages.back();
    if (m.text != w[2]) return Fail("message " + quoted(m.text) + ", expected " + quoted(w[2]));
    if (w.size() > 3 && m.caption != w[3])
      return Fail("message caption " + quoted(m.caption) + ", expected " + quoted(w[3]));
    return true;
  }
  if (what == "popup") {
    if (!need(1)) return false;
    auto popups = platform_.Popups();
    if (popups.empty()) return Fail("no popup menu was shown");
    if (popups.back() != w[2])
      return Fail("popup " + quoted(popups.back()) + ", expected " + quoted(w[2]));
    return true;
  }
  if (what == "pending") {
    if (!need(1)) return false;
    std::string pending = platform_.Pending();
    if (pending != w[2]) return Fail("pending " + quoted(pending) + ", expected " + quoted(w[2]));
    return true;
  }
  if (what == "action") {
    if (!need(1)) return false;
    auto n = Number(w[2]);
    auto actions = platform_.Actions();
    if (!n) return Fail("expect action needs a number");
    if (actions.empty() || actions.back().second != *n) {
      return Fail("standard action " + std::to_string(*n) + " was not the last one carried out");
    }
    return true;
  }

  std::optional<WindowState> window = Target();
  if (!window) return Fail("no window is open");
  if (what == "caption") {
    if (!need(1)) return false;
    if (window->caption != w[2])
      return Fail("caption " + quoted(window->caption) + ", expected " + quoted(w[2]));
    return true;
  }
  if (what == "menu") {
    if (!need(1)) return false;
    const MenuState* m = nullptr;
    for (const MenuState& top : window->menus) {
      if (top.text == w[2]) m = &top;
      for (const MenuState& item : top.items) {
        if (item.text == w[2] && !item.separator) m = &item;
      }
    }
    if (m == nullptr) return Fail("no menu text " + quoted(w[2]) + " in " + window->label);
    if (w.size() > 3 && m->message != w[3]) {
      return Fail("menu " + quoted(w[2]) + " message " + quoted(m->message) + ", expected " +
                  quoted(w[3]));
    }
    return true;
  }
  if (what == "item") {
    if (!need(2)) return false;
    auto n = Number(w[2]);
    if (!n) return Fail("expect item needs a number");
    const MenuState* m = window->MenuItem(*n);
    if (m == nullptr) return Fail("no menu item " + w[2]);
    if (m->text != w[3])
      return Fail("menu item " + w[2] + " is " + quoted(m->text) + ", expected " + quoted(w[3]));
    return true;
  }
  if (what == "status") {
    if (!need(2)) return false;
    auto zone = Number(w[2]);
    auto it = zone ? window->status.find(*zone) : window->status.end();
    std::string have = it == window->status.end() ? std::string() : it->second;
    if (have != w[3])
      return Fail("status " + w[2] + " " + quoted(have) + ", expected " + quoted(w[3]));
    return true;
  }

  // Expectations about one control.
  if (!need(1)) return false;
  auto field = Field(*window, w[2]);
  const ControlState* c = field ? window->Control(*field) : nullptr;
  if (c == nullptr) return Fail("no control \"" + w[2] + "\" in " + window->label);
  if (what == "text") {
    if (!need(2)) return false;
    if (Trim(c->text) != Trim(w[3]))
      return Fail("text of " + w[2] + " " + quoted(c->text) + ", expected " + quoted(w[3]));
    return true;
  }
  if (what == "dropped" || what == "closed-up") {
    if (c->drop == 0) return Fail("control " + w[2] + " is not a drop list");
    if (c->dropped != (what == "dropped"))
      return Fail("drop list " + w[2] + " is " + (c->dropped ? "dropped" : "closed up"));
    return true;
  }
  if (what == "alert") {
    if (!need(2)) return false;
    std::string typed;
    auto code = KeyCode(w[3], &typed);
    if (!code) return Fail("unknown key \"" + w[3] + "\"");
    if (std::find(c->alert_keys.begin(), c->alert_keys.end(), *code) == c->alert_keys.end())
      return Fail("key " + w[3] + " is not alerted on " + w[2]);
    return true;
  }
  if (what == "enabled" || what == "disabled") {
    if (c->disabled != (what == "disabled"))
      return Fail("control " + w[2] + " is " + (c->disabled ? "disabled" : "enabled"));
    return true;
  }
  if (what == "hidden" || what == "shown") {
    if (c->hidden != (what == "hidden"))
      return Fail("control " + w[2] + " is " + (c->hidden ? "hidden" : "shown"));
    return true;
  }
  if (what == "scrollbar") {
    if (!need(2)) return false;
    if (w[3] != "on" && w[3] != "off") return Fail("expect scrollbar needs on or off");
    if (c->vscroll != (w[3] == "on"))
      return Fail("scroll bar of " + w[2] + " is " + (c->vscroll ? "on" : "off"));
    return true;
  }
  if (what == "rows" || what == "selected" || what == "value" || what == "thumb" ||
      what == "items") {
    if (!need(2)) return false;
    auto n = Number(w[3]);
    if (!n) return Fail("expect " + what + " needs a number");
    int have = what == "rows"       ? static_cast<int>(c->rows.size())
               : what == "selected" ? c->selected
               : what == "thumb"    ? c->thumb
               : what == "items"    ? c->items
                                    : c->value;
    if (have != *n)
      return Fail(what + " of " + w[2] + " is " + std::to_string(have) + ", expected " + w[3]);
    return true;
  }
  if (what == "row") {
    if (!need(3)) return false;
    auto n = Number(w[3]);
    if (!n || *n < 1) return Fail("expect row needs a row number from 1");
    if (*n > static_cast<int>(c->rows.size()))
      return Fail("list " + w[2] + " has only " + std::to_string(c->rows.size()) + " rows");
    std::string have = RowText(c->rows[*n - 1]);
    if (have != w[4])
      return Fail("row " + w[3] + " of " + w[2] + " is " + quoted(have) + ", expected " +
                  quoted(w[4]));
    return true;
  }
  return Fail("unknown expectation \"" + what + "\"");
}

}  // namespace vorsandt::ui::headless
