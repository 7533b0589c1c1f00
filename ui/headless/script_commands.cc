// The commands of the UI test script language as one table: each has its
// name ("click", "expect text"), how many words it takes, what must hold
// before it runs (the program idle, a target window, a control of that
// window) and its handler. ScriptRunner::Execute looks a line up here, makes
// those preparations once for every command, then calls the handler. A new
// command is a row and a function.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "runtime/format/charset.h"
#include "ui/headless/picture_summary.h"
#include "ui/headless/script.h"
#include "ui/headless/script_words.h"

namespace vorsandt::ui::headless {

using words::Lower;
using words::Number;
using words::TextMatches;
using words::Trim;

namespace {

const MenuState* FindMenuText(const std::vector<MenuState>& menus, const std::string& text) {
  for (const MenuState& m : menus) {
    if (!m.separator && TextMatches(m.text, text)) return &m;
    if (const MenuState* found = FindMenuText(m.items, text)) return found;
  }
  return nullptr;
}

// A cell with its marked runs in brackets ("red [wine]"), as a script
// expects them.
std::string MarkedCell(const ListRow& row, size_t cell) {
  std::string text = row.cells[cell];
  std::vector<CellMark> marks;
  for (const CellMark& m : row.marks) {
    if (m.cell == static_cast<int>(cell)) marks.push_back(m);
  }
  // From the last run back, so that earlier offsets stay where they were.
  std::sort(marks.begin(), marks.end(),
            [](const CellMark& a, const CellMark& b) { return a.start > b.start; });
  for (const CellMark& m : marks) {
    const size_t start = std::min<size_t>(m.start, text.size());
    const size_t end = std::min<size_t>(start + m.length, text.size());
    text.insert(end, "]");
    text.insert(start, "[");
  }
  return text;
}

std::string RowText(const ListRow& row) {
  std::string out;
  for (size_t i = 0; i < row.cells.size(); ++i) {
    if (i) out += " | ";
    out += Trim(MarkedCell(row, i));
  }
  // Scripts are written in UTF-8; the window's texts are in the records' set.
  return format::AnsiToUtf8(out);
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

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

Input Make(Input::Type type, int field = 0, int value = 0) {
  return Input{.type = type, .field = field, .value = value};
}

}  // namespace

// The handlers; a friend of ScriptRunner. `a` holds the words after the
// command's name; for control commands a[0] named `c.control`.
struct ScriptCommands {
  using Runner = ScriptRunner;
  using Call = ScriptRunner::Call;
  using Command = ScriptRunner::Command;
  using Stage = ScriptRunner::Stage;

  // --- Answers and waits: queued or done without waiting for idle.

  static bool Answer(Runner& r, const Call& c) {
    auto b = ButtonFlag(c.a[0]);
    if (!b) return r.Fail("unknown button \"" + c.a[0] + "\"");
    r.platform_.QueueMessageAnswer(*b);
    return true;
  }
  static bool AnswerButton(Runner& r, const Call& c) {
    r.platform_.QueueMessageAnswer(c.a[0]);
    return true;
  }
  static bool AnswerPopup(Runner& r, const Call& c) {
    auto n = Number(c.a[0]);
    if (!n || *n < 0) return r.Fail("answer-popup needs an item number");
    r.platform_.QueuePopupAnswer(*n);
    return true;
  }
  static bool AnswerFile(Runner& r, const Call& c) {
    r.platform_.QueueFileAnswer(
        c.a[0] == "cancel" && c.a.size() == 1 ? std::nullopt : std::optional<std::string>(c.a[0]));
    return true;
  }
  static bool AnswerPrinter(Runner& r, const Call& c) {
    if (Lower(c.a[0]) != "pdf") {
      r.platform_.QueuePrinterAnswer(Lower(c.a[0]) == "ok");
      return true;
    }
    // Print to a file: named as a print dialog names it, in full.
    if (c.a.size() < 2 || c.a[1].empty()) return r.Fail("answer-printer pdf needs a file name");
    std::error_code ec;
    std::filesystem::path file = std::filesystem::absolute(c.a[1], ec);
    r.platform_.QueuePrinterAnswer(true, ec ? c.a[1] : file.lexically_normal().string());
    return true;
  }
  static bool Wait(Runner& r, const Call& c) {
    if (c.a[0] == "idle") return r.WaitIdle();
    if (c.a[0] != "exit") return r.Fail("wait idle or wait exit");
    int want = 0;
    if (c.a.size() > 1) {
      auto n = Number(c.a[1]);
      if (!n) return r.Fail("wait exit needs an exit code");
      want = *n;
    }
    auto deadline = std::chrono::steady_clock::now() + r.timeout_;
    while (!r.engine_.Ended()) {
      if (std::chrono::steady_clock::now() > deadline) return r.Fail("the program did not end");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A program that ends without a halt ends with 0; a halt's code is
    // checked by the halt rule (HaltCode), which ends the process itself.
    const int got = 0;
    if (got != want)
      return r.Fail("exit code " + std::to_string(got) + ", expected " + std::to_string(want));
    return true;
  }

  // --- Signals between programs: two program instances on one data folder
  // take turns by marker files in the folder VORSANDT_SCRIPT_SIGNALS names.
  // A marker is only ever created, never removed, so a signal given before
  // the other side waits for it is not lost.

  static std::optional<std::filesystem::path> SignalPath(Runner& r, const std::string& name) {
    const char* dir = std::getenv("VORSANDT_SCRIPT_SIGNALS");
    if (dir == nullptr || *dir == '\0') {
      r.Fail("signals need VORSANDT_SCRIPT_SIGNALS to name a folder");
      return std::nullopt;
    }
    // A plain name, so that a script cannot reach outside the folder.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\") != std::string::npos) {
      r.Fail("signal name " + Quoted(name) + " is not a plain name");
      return std::nullopt;
    }
    return std::filesystem::path(dir) / name;
  }
  static bool Signal(Runner& r, const Call& c) {
    auto path = SignalPath(r, c.a[0]);
    if (!path) return false;
    std::error_code ec;
    std::filesystem::create_directories(path->parent_path(), ec);
    std::ofstream marker(*path, std::ios::app);
    if (!marker || !(marker << "set\n") || !(marker.flush()))
      return r.Fail("cannot create the signal file " + path->string());
    return true;
  }
  static bool WaitSignal(Runner& r, const Call& c) {
    auto path = SignalPath(r, c.a[0]);
    if (!path) return false;
    std::chrono::milliseconds bound = r.timeout_;
    if (c.a.size() > 1) {
      auto seconds = Number(c.a[1]);
      if (!seconds || *seconds < 1) return r.Fail("wait-signal needs a number of seconds from 1");
      bound = std::chrono::seconds(*seconds);
    }
    auto deadline = std::chrono::steady_clock::now() + bound;
    std::error_code ec;
    while (!std::filesystem::exists(*path, ec)) {
      if (std::chrono::steady_clock::now() > deadline)
        return r.Fail("signal " + Quoted(c.a[0]) + " did not come within " +
                      std::to_string(bound.count() / 1000) + " seconds");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  // --- Windows.

  static bool Window(Runner& r, const Call& c) {
    r.target_ = c.a[0];
    auto t = r.Target();
    if (!t || (t->label != r.target_ && t->caption != r.target_))
      return r.Fail("no open window \"" + c.a[0] + "\"");
    if (t->id == r.active_) return true;
    // Choosing another window is the user's click on it.
    r.active_ = t->id;
    r.engine_.Input(t->id, Make(Input::Type::kGainFocus));
    return r.WaitIdle();
  }
  static bool Dump(Runner& r, const Call& c) {
    r.out_ << DumpWindow(*c.window);
    r.out_.flush();
    return true;
  }
  static bool Close(Runner& r, const Call& c) {
    return r.Send(*c.window, Make(Input::Type::kClose));
  }
  static bool GainFocus(Runner& r, const Call& c) {
    return r.Send(*c.window, Make(Input::Type::kGainFocus));
  }
  static bool Menu(Runner& r, const Call& c) {
    // The target window's menu, else the frame's.
    const std::string& text = c.a[0];
    std::optional<MenuState> item;
    WindowId owner = 0;
    if (const MenuState* m = FindMenuText(c.window->menus, text)) {
      item = *m;
      owner = c.window->id;
    }
    for (const WindowState& other : r.platform_.Windows()) {
      if (item || !other.frame) continue;
      if (const MenuState* m = FindMenuText(other.menus, text)) {
        item = *m;
        owner = other.id;
      }
    }
    if (!item || item->number == 0 || !item->items.empty())
      return r.Fail("no menu item \"" + text + "\"");
    if (item->disabled) return r.Fail("menu item \"" + text + "\" is disabled");
    r.engine_.Input(owner, Make(Input::Type::kAccept, item->number));
    return true;
  }
  static bool Press(Runner& r, const Call& c) {
    std::string typed;
    auto code = KeyCode(c.a[0], &typed);
    if (!code) return r.Fail("unknown key \"" + c.a[0] + "\"");
    Input in = Make(Input::Type::kKey, 0, *code);
    in.text = typed;
    in.has_text = !typed.empty();
    if (c.a.size() > 1) {
      auto f = r.Field(*c.window, c.a[1]);
      if (!f) return r.Fail("no control \"" + c.a[1] + "\"");
      in.field = *f;
    }
    return r.Send(*c.window, in);
  }

  // --- Controls.

  static bool Click(Runner& r, const Call& c) {
    if (c.control->disabled || c.control->hidden)
      return r.Fail("control " + c.a[0] + " cannot be clicked: disabled or hidden");
    return r.Send(*c.window, Make(Input::Type::kAccept, c.field));
  }
  static bool Type(Runner& r, const Call& c) {
    if (c.control->disabled || c.control->hidden)
      return r.Fail("control " + c.a[0] + " cannot take text: disabled or hidden");
    Input in = Make(Input::Type::kAccept, c.field);
    // What a script types is UTF-8, as a keyboard's text reaches the window.
    in.text = format::ToAnsi(c.a[1], "UTF-8");
    in.has_text = true;
    return r.Send(*c.window, in);
  }
  static bool Focus(Runner& r, const Call& c) {
    return r.Send(*c.window, Make(Input::Type::kFocus, c.field));
  }
  static bool DropList(Runner& r, const Call& c) {
    if (c.control->kind != Kind::kList || c.control->drop == 0)
      return r.Fail("control " + c.a[0] + " is not a drop list");
    if (c.control->disabled || c.control->hidden)
      return r.Fail("control " + c.a[0] + " cannot drop down: disabled or hidden");
    return true;
  }
  static bool Drop(Runner& r, const Call& c) {
    return DropList(r, c) && r.Send(*c.window, Make(Input::Type::kDropDown, c.field));
  }
  // choose FIELD TEXT: the entry whose first cell reads TEXT (or, failing
  // that, the entry with that number), as a user picks it from the list.
  static bool Choose(Runner& r, const Call& c) {
    if (!DropList(r, c)) return false;
    const std::vector<ListRow>& rows = c.control->rows;
    int row = 0;
    for (size_t i = 0; i < rows.size() && row == 0; ++i) {
      if (!rows[i].cells.empty() && Trim(rows[i].cells[0]) == Trim(c.a[1]))
        row = static_cast<int>(i) + 1;
    }
    if (row == 0) {
      auto n = Number(c.a[1]);
      if (!n || *n < 1 || *n > static_cast<int>(rows.size()))
        return r.Fail("drop list " + c.a[0] + " has no entry \"" + c.a[1] + "\"");
      row = *n;
    }
    return r.Send(*c.window, Make(Input::Type::kSelectRow, c.field, row));
  }
  template <Input::Type kType>
  static bool Numbered(Runner& r, const Call& c) {
    auto n = Number(c.a[1]);
    if (!n) return r.Fail("\"" + std::string(c.name) + "\" needs a number");
    return r.Send(*c.window, Make(kType, c.field, *n));
  }
  static bool Scroll(Runner& r, const Call& c) {
    static const std::map<std::string, int> kScroll = {
        {"up", event::kScrollUp},   {"down", event::kScrollDown},
        {"pageup", event::kPageUp}, {"pagedown", event::kPageDown},
        {"top", event::kScrollTop}, {"bottom", event::kScrollBottom},
    };
    // Several actions go out together, before the procedure hears the first:
    // the moves a user makes within one turn of its loop.
    std::vector<Input> inputs;
    for (size_t i = 1; i < c.a.size(); ++i) {
      auto it = kScroll.find(Lower(c.a[i]));
      if (it == kScroll.end()) return r.Fail("scroll up, down, pageup, pagedown, top or bottom");
      inputs.push_back(Make(Input::Type::kScroll, c.field, it->second));
    }
    r.engine_.Input(c.window->id, inputs);
    return true;
  }

  // --- Expectations about the program.

  static bool ExpectWindow(Runner& r, const Call& c) {
    bool open = false;
    for (const WindowState& s : r.platform_.Windows())
      open = open || s.label == c.a[0] || s.caption == c.a[0];
    bool want_open = c.name == std::string_view("expect window");
    if (want_open && !open) return r.Fail("no open window " + Quoted(c.a[0]));
    if (!want_open && open) return r.Fail("window " + Quoted(c.a[0]) + " is still open");
    return true;
  }
  static bool ExpectMessage(Runner& r, const Call& c) {
    auto messages = r.platform_.Messages();
    if (messages.empty()) return r.Fail("no message box was shown");
    const MessageRequest& m = messages.back();
    if (m.text != c.a[0])
      return r.Fail("message " + Quoted(m.text) + ", expected " + Quoted(c.a[0]));
    if (c.a.size() > 1 && m.caption != c.a[1])
      return r.Fail("message caption " + Quoted(m.caption) + ", expected " + Quoted(c.a[1]));
    return true;
  }
  static bool ExpectNotice(Runner& r, const Call& c) {
    auto notices = r.platform_.Notices();
    if (notices.empty()) return r.Fail("no notice was shown");
    if (notices.back() != c.a[0])
      return r.Fail("notice " + Quoted(notices.back()) + ", expected " + Quoted(c.a[0]));
    return true;
  }
  static bool ExpectHelp(Runner& r, const Call& c) {
    auto helps = r.platform_.Helps();
    if (helps.empty()) return r.Fail("the manual was not opened");
    if (helps.back() != c.a[0])
      return r.Fail("help opened at " + Quoted(helps.back()) + ", expected " + Quoted(c.a[0]));
    return true;
  }
  static bool ExpectOpened(Runner& r, const Call& c) {
    auto opened = r.platform_.Opened();
    if (opened.empty()) return r.Fail("no document was opened");
    if (opened.back() != c.a[0])
      return r.Fail("opened " + Quoted(opened.back()) + ", expected " + Quoted(c.a[0]));
    return true;
  }
  static bool ExpectPopup(Runner& r, const Call& c) {
    auto popups = r.platform_.Popups();
    if (popups.empty()) return r.Fail("no popup menu was shown");
    if (popups.back() != c.a[0])
      return r.Fail("popup " + Quoted(popups.back()) + ", expected " + Quoted(c.a[0]));
    return true;
  }
  static bool ExpectPending(Runner& r, const Call& c) {
    std::string pending = r.platform_.Pending();
    if (pending != c.a[0])
      return r.Fail("pending " + Quoted(pending) + ", expected " + Quoted(c.a[0]));
    return true;
  }
  static bool ExpectAction(Runner& r, const Call& c) {
    auto n = Number(c.a[0]);
    auto actions = r.platform_.Actions();
    if (!n) return r.Fail("expect action needs a number");
    if (actions.empty() || actions.back().second != *n)
      return r.Fail("standard action " + std::to_string(*n) + " was not the last one carried out");
    return true;
  }

  // --- Expectations about the target window.

  static bool ExpectCaption(Runner& r, const Call& c) {
    if (c.window->caption != c.a[0])
      return r.Fail("caption " + Quoted(c.window->caption) + ", expected " + Quoted(c.a[0]));
    return true;
  }
  static bool ExpectMenu(Runner& r, const Call& c) {
    const MenuState* m = nullptr;
    for (const MenuState& top : c.window->menus) {
      if (top.text == c.a[0]) m = &top;
      for (const MenuState& item : top.items) {
        if (item.text == c.a[0] && !item.separator) m = &item;
      }
    }
    if (m == nullptr) return r.Fail("no menu text " + Quoted(c.a[0]) + " in " + c.window->label);
    if (c.a.size() > 1 && m->message != c.a[1]) {
      return r.Fail("menu " + Quoted(c.a[0]) + " message " + Quoted(m->message) + ", expected " +
                    Quoted(c.a[1]));
    }
    return true;
  }
  static bool ExpectItem(Runner& r, const Call& c) {
    auto n = Number(c.a[0]);
    if (!n) return r.Fail("expect item needs a number");
    const MenuState* m = c.window->MenuItem(*n);
    if (m == nullptr) return r.Fail("no menu item " + c.a[0]);
    if (m->text != c.a[1])
      return r.Fail("menu item " + c.a[0] + " is " + Quoted(m->text) + ", expected " +
                    Quoted(c.a[1]));
    return true;
  }
  static bool ExpectStatus(Runner& r, const Call& c) {
    auto zone = Number(c.a[0]);
    auto it = zone ? c.window->status.find(*zone) : c.window->status.end();
    std::string have = it == c.window->status.end() ? std::string() : it->second;
    if (have != c.a[1])
      return r.Fail("status " + c.a[0] + " " + Quoted(have) + ", expected " + Quoted(c.a[1]));
    return true;
  }

  // --- Expectations about one control.

  static bool ExpectText(Runner& r, const Call& c) {
    if (Trim(format::AnsiToUtf8(c.control->text)) != Trim(c.a[1]))
      return r.Fail("text of " + c.a[0] + " " + Quoted(c.control->text) + ", expected " +
                    Quoted(c.a[1]));
    return true;
  }
  // expect image FIELD 40x30 BMP | expect image FIELD The picture file ...
  static bool ExpectImage(Runner& r, const Call& c) {
    if (c.control->kind != Kind::kImage) return r.Fail("control " + c.a[0] + " is not an image");
    std::string want;
    for (size_t i = 1; i < c.a.size(); ++i) want += (i > 1 ? " " : "") + c.a[i];
    const std::string have = PictureSummary(*c.control);
    if (have != want)
      return r.Fail("image " + c.a[0] + " shows " + Quoted(have) + ", expected " + Quoted(want));
    return true;
  }
  static bool ExpectFocus(Runner& r, const Call& c) {
    if (c.window->focus != c.control->field)
      return r.Fail("the focus is on " + std::to_string(c.window->focus) + ", not on " + c.a[0] +
                    " (" + std::to_string(c.control->field) + ")");
    return true;
  }
  static bool ExpectDropped(Runner& r, const Call& c) {
    if (c.control->drop == 0) return r.Fail("control " + c.a[0] + " is not a drop list");
    bool want = c.name == std::string_view("expect dropped");
    if (c.control->dropped != want)
      return r.Fail("drop list " + c.a[0] + " is " +
                    (c.control->dropped ? "dropped" : "closed up"));
    return true;
  }
  static bool ExpectAlert(Runner& r, const Call& c) {
    std::string typed;
    auto code = KeyCode(c.a[1], &typed);
    if (!code) return r.Fail("unknown key \"" + c.a[1] + "\"");
    const std::vector<int>& keys = c.control->alert_keys;
    if (std::find(keys.begin(), keys.end(), *code) == keys.end())
      return r.Fail("key " + c.a[1] + " is not alerted on " + c.a[0]);
    return true;
  }
  static bool ExpectEnabled(Runner& r, const Call& c) {
    bool want_disabled = c.name == std::string_view("expect disabled");
    if (c.control->disabled != want_disabled)
      return r.Fail("control " + c.a[0] + " is " + (c.control->disabled ? "disabled" : "enabled"));
    return true;
  }
  static bool ExpectShown(Runner& r, const Call& c) {
    bool want_hidden = c.name == std::string_view("expect hidden");
    if (c.control->hidden != want_hidden)
      return r.Fail("control " + c.a[0] + " is " + (c.control->hidden ? "hidden" : "shown"));
    return true;
  }
  static bool ExpectScrollbar(Runner& r, const Call& c) {
    if (c.a[1] != "on" && c.a[1] != "off") return r.Fail("expect scrollbar needs on or off");
    if (c.control->vscroll != (c.a[1] == "on"))
      return r.Fail("scroll bar of " + c.a[0] + " is " + (c.control->vscroll ? "on" : "off"));
    return true;
  }
  // expect rows|selected|value|thumb|items FIELD N
  template <int ControlState::*kMember>
  static bool ExpectCount(Runner& r, const Call& c) {
    return ExpectNumber(r, c, c.control->*kMember);
  }
  static bool ExpectRows(Runner& r, const Call& c) {
    return ExpectNumber(r, c, static_cast<int>(c.control->rows.size()));
  }
  static bool ExpectNumber(Runner& r, const Call& c, int have) {
    const std::string what(c.name.substr(c.name.find(' ') + 1));
    auto n = Number(c.a[1]);
    if (!n) return r.Fail("expect " + what + " needs a number");
    if (have != *n)
      return r.Fail(what + " of " + c.a[0] + " is " + std::to_string(have) + ", expected " +
                    c.a[1]);
    return true;
  }
  static bool ExpectRow(Runner& r, const Call& c) {
    auto n = Number(c.a[1]);
    if (!n || *n < 1) return r.Fail("expect row needs a row number from 1");
    const std::vector<ListRow>& rows = c.control->rows;
    if (*n > static_cast<int>(rows.size()))
      return r.Fail("list " + c.a[0] + " has only " + std::to_string(rows.size()) + " rows");
    std::string have = RowText(rows[*n - 1]);
    if (have != c.a[2])
      return r.Fail("row " + c.a[1] + " of " + c.a[0] + " is " + Quoted(have) + ", expected " +
                    Quoted(c.a[2]));
    return true;
  }
  // expect bar FIELD N "LABEL | VALUE": a chart's bar N as the dump shows
  // it, without its mark.
  static bool ExpectBar(Runner& r, const Call& c) {
    auto n = Number(c.a[1]);
    if (!n || *n < 1) return r.Fail("expect bar needs a bar number from 1");
    const std::vector<ChartBar>& bars = c.control->chart.bars;
    if (*n > static_cast<int>(bars.size()))
      return r.Fail("chart " + c.a[0] + " has only " + std::to_string(bars.size()) + " bars");
    const std::string have = bars[*n - 1].label + " | " + bars[*n - 1].value_text;
    if (have != c.a[2])
      return r.Fail("bar " + c.a[1] + " of " + c.a[0] + " is " + Quoted(have) + ", expected " +
                    Quoted(c.a[2]));
    return true;
  }
  static bool ExpectBars(Runner& r, const Call& c) {
    return ExpectNumber(r, c, static_cast<int>(c.control->chart.bars.size()));
  }
  // expect node FIELD ROW leaf|open|closed: how the tree list draws the row.
  static bool ExpectNode(Runner& r, const Call& c) {
    auto n = Number(c.a[1]);
    if (!n || *n < 1) return r.Fail("expect node needs a row number from 1");
    const std::vector<ListRow>& rows = c.control->rows;
    if (*n > static_cast<int>(rows.size()))
      return r.Fail("list " + c.a[0] + " has only " + std::to_string(rows.size()) + " rows");
    static constexpr const char* kNames[] = {"leaf", "open", "closed"};
    const std::string have = kNames[static_cast<int>(TreeRowState(rows, *n - 1))];
    if (have != c.a[2])
      return r.Fail("row " + c.a[1] + " of " + c.a[0] + " is " + have + ", expected " + c.a[2]);
    return true;
  }

  static const Command kTable[];
};

using C = ScriptCommands;

const ScriptCommands::Command ScriptCommands::kTable[] = {
    {"answer", 1, Stage::kQueue, &C::Answer},
    {"answer-popup", 1, Stage::kQueue, &C::AnswerPopup},
    {"answer-button", 1, Stage::kQueue, &C::AnswerButton},
    {"answer-file", 1, Stage::kQueue, &C::AnswerFile},
    {"answer-printer", 1, Stage::kQueue, &C::AnswerPrinter},
    {"wait", 1, Stage::kQueue, &C::Wait},
    {"signal", 1, Stage::kIdle, &C::Signal},
    {"wait-signal", 1, Stage::kIdle, &C::WaitSignal},
    {"window", 1, Stage::kIdle, &C::Window},
    {"dump", 0, Stage::kWindow, &C::Dump},
    {"close", 0, Stage::kWindow, &C::Close},
    {"gain-focus", 0, Stage::kWindow, &C::GainFocus},
    {"menu", 1, Stage::kWindow, &C::Menu},
    {"press", 1, Stage::kWindow, &C::Press},
    {"click", 1, Stage::kControl, &C::Click},
    {"type", 2, Stage::kControl, &C::Type},
    {"focus", 1, Stage::kControl, &C::Focus},
    {"drop", 1, Stage::kControl, &C::Drop},
    {"choose", 2, Stage::kControl, &C::Choose},
    {"select", 2, Stage::kControl, &C::Numbered<Input::Type::kSelectRow>},
    {"tab", 2, Stage::kControl, &C::Numbered<Input::Type::kSelectTab>},
    {"thumb", 2, Stage::kControl, &C::Numbered<Input::Type::kThumb>},
    {"expand", 2, Stage::kControl, &C::Numbered<Input::Type::kExpand>},
    {"contract", 2, Stage::kControl, &C::Numbered<Input::Type::kContract>},
    {"items", 2, Stage::kControl, &C::Numbered<Input::Type::kListItems>},
    {"scroll", 2, Stage::kControl, &C::Scroll},
    {"expect window", 1, Stage::kIdle, &C::ExpectWindow},
    {"expect no-window", 1, Stage::kIdle, &C::ExpectWindow},
    {"expect message", 1, Stage::kIdle, &C::ExpectMessage},
    {"expect popup", 1, Stage::kIdle, &C::ExpectPopup},
    {"expect notice", 1, Stage::kIdle, &C::ExpectNotice},
    {"expect help", 1, Stage::kIdle, &C::ExpectHelp},
    {"expect opened", 1, Stage::kIdle, &C::ExpectOpened},
    {"expect pending", 1, Stage::kIdle, &C::ExpectPending},
    {"expect action", 1, Stage::kIdle, &C::ExpectAction},
    {"expect caption", 1, Stage::kWindow, &C::ExpectCaption},
    {"expect menu", 1, Stage::kWindow, &C::ExpectMenu},
    {"expect item", 2, Stage::kWindow, &C::ExpectItem},
    {"expect status", 2, Stage::kWindow, &C::ExpectStatus},
    {"expect text", 2, Stage::kControl, &C::ExpectText},
    {"expect image", 2, Stage::kControl, &C::ExpectImage},
    {"expect focus", 1, Stage::kControl, &C::ExpectFocus},
    {"expect dropped", 1, Stage::kControl, &C::ExpectDropped},
    {"expect closed-up", 1, Stage::kControl, &C::ExpectDropped},
    {"expect alert", 2, Stage::kControl, &C::ExpectAlert},
    {"expect enabled", 1, Stage::kControl, &C::ExpectEnabled},
    {"expect disabled", 1, Stage::kControl, &C::ExpectEnabled},
    {"expect hidden", 1, Stage::kControl, &C::ExpectShown},
    {"expect shown", 1, Stage::kControl, &C::ExpectShown},
    {"expect scrollbar", 2, Stage::kControl, &C::ExpectScrollbar},
    {"expect rows", 2, Stage::kControl, &C::ExpectRows},
    {"expect selected", 2, Stage::kControl, &C::ExpectCount<&ControlState::selected>},
    {"expect value", 2, Stage::kControl, &C::ExpectCount<&ControlState::value>},
    {"expect thumb", 2, Stage::kControl, &C::ExpectCount<&ControlState::thumb>},
    {"expect items", 2, Stage::kControl, &C::ExpectCount<&ControlState::items>},
    {"expect row", 3, Stage::kControl, &C::ExpectRow},
    {"expect node", 3, Stage::kControl, &C::ExpectNode},
    {"expect bars", 2, Stage::kControl, &C::ExpectBars},
    {"expect bar", 3, Stage::kControl, &C::ExpectBar},
};

const ScriptRunner::Command* ScriptRunner::FindCommand(std::string_view name) {
  for (const Command& c : ScriptCommands::kTable) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

}  // namespace vorsandt::ui::headless
