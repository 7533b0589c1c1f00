#include "ui/headless/script.h"

#include <map>

#include "ui/headless/script_words.h"

namespace vorsandt::ui::headless {

using words::Lower;
using words::Number;
using words::TextMatches;

ScriptParse ParseScript(std::string_view text) {
  ScriptParse result;
  int line_no = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    ++line_no;
    // A NUL is no character a script is written with: most likely the file
    // is not a script at all, and running it as one would hide that.
    if (line.find('\0') != std::string_view::npos) {
      result.ok = false;
      result.error_line = line_no;
      result.error = "a NUL byte in the script";
      return result;
    }
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
  {
    std::lock_guard<std::mutex> lock(halt_mu_);
    lines_ = &lines;
    begun_ = 0;
    failed_ = false;
  }
  for (const ScriptLine& line : lines) {
    line_ = line.line;
    if (!Execute(line)) {
      std::lock_guard<std::mutex> lock(halt_mu_);
      failed_ = true;
      return 1;
    }
  }
  return 0;
}

namespace {

// "wait exit CODE" (CODE 0 when left out); nullopt for any other command.
std::optional<int> WaitedExitCode(const ScriptLine& line) {
  const std::vector<std::string>& w = line.words;
  if (w.size() < 2 || w[0] != "wait" || w[1] != "exit") return std::nullopt;
  if (w.size() == 2) return 0;
  return Number(w[2]);
}

}  // namespace

int ScriptRunner::HaltCode(int code, const std::string& text) {
  std::lock_guard<std::mutex> lock(halt_mu_);
  if (lines_ == nullptr || failed_) return code;
  const std::vector<ScriptLine>& lines = *lines_;
  const std::string halted =
      "the program halted (\"" + text + "\", exit code " + std::to_string(code) + ")";
  // The command begun last may have led to the halt; the one after it may
  // not have begun yet, the halt coming while the runner got to it.
  for (size_t i = begun_ == 0 ? 0 : begun_ - 1; i <= begun_ && i < lines.size(); ++i) {
    std::optional<int> wanted = WaitedExitCode(lines[i]);
    if (!wanted) continue;
    if (i + 1 < lines.size()) {
      err_ << name_ << ":" << lines[i + 1].line << ": " << halted
           << " at \"wait exit\": this command and those after it never ran\n";
      return 1;
    }
    if (*wanted == code) return 0;
    err_ << name_ << ":" << lines[i].line << ": exit code " << code << ", expected " << *wanted
         << " (" << halted << ")\n";
    return 1;
  }
  if (begun_ < lines.size()) {
    err_ << name_ << ":" << lines[begun_].line << ": " << halted << " before this command ran\n";
  } else {
    err_ << name_ << ": " << halted << " after the script's last command\n";
  }
  err_.flush();
  return 1;
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

bool ScriptRunner::NeedArgs(const Call& call, size_t n) {
  if (call.a.size() >= n) return true;
  return Fail("\"" + std::string(call.name) + "\" needs " + std::to_string(n) + " argument" +
              (n == 1 ? "" : "s"));
}

// Everything a command needs before its handler runs, checked in the order a
// user would notice: the program idle, a window open, the words there, the
// control named.
bool ScriptRunner::Prepare(const Command& command, Call& call) {
  if (command.stage == Stage::kQueue) return NeedArgs(call, command.args);
  if (!WaitIdle()) return false;
  if (command.stage == Stage::kIdle) return NeedArgs(call, command.args);
  call.window = Target();
  if (!call.window) return Fail("no window is open");
  if (command.stage == Stage::kWindow) return NeedArgs(call, command.args);
  if (!NeedArgs(call, 1)) return false;
  std::optional<int> field = Field(*call.window, call.a[0]);
  call.control = field ? call.window->Control(*field) : nullptr;
  if (call.control == nullptr)
    return Fail("no control \"" + call.a[0] + "\" in " + call.window->label);
  call.field = *field;
  return NeedArgs(call, command.args);
}

bool ScriptRunner::Execute(const ScriptLine& line) {
  const std::vector<std::string>& w = line.words;
  const bool expect = w[0] == "expect";
  if (expect && w.size() < 2) return WaitIdle() && Fail("expect what?");
  const std::string name = expect ? "expect " + w[1] : w[0];
  Call call;
  call.name = name;
  call.a.assign(w.begin() + (expect ? 2 : 1), w.end());
  if (const Command* command = FindCommand(name)) {
    if (!Prepare(*command, call)) return false;
    {
      std::lock_guard<std::mutex> lock(halt_mu_);
      ++begun_;
    }
    return command->handler(*this, call);
  }
  // An unknown word is reported once the program is idle and, for an
  // expectation, once its control is found: a script fails at its first
  // fault in the order it would meet them.
  static const Command kUnknownCommand{"", 0, Stage::kWindow, nullptr};
  static const Command kUnknownExpectation{"", 1, Stage::kControl, nullptr};
  if (!Prepare(expect ? kUnknownExpectation : kUnknownCommand, call)) return false;
  return Fail(expect ? "unknown expectation \"" + w[1] + "\"" : "unknown command \"" + w[0] + "\"");
}

}  // namespace vorsandt::ui::headless
