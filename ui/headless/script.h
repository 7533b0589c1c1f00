// The UI test script language (docs/ui-scripts.md): drives the program
// through the headless platform and checks what its windows show.
//
// A script is a list of lines; each line is a command word followed by
// arguments separated by blanks; an argument with blanks is written in
// double quotes (with \" and \\ inside); "#" starts a comment. Before every
// command the runner waits until every procedure thread is idle. Like a
// desktop, it gives the gain-focus event to the window that becomes active
// again when the active one closes, and to a window chosen with "window".
#ifndef VORSANDT_UI_HEADLESS_SCRIPT_H_
#define VORSANDT_UI_HEADLESS_SCRIPT_H_

#include <chrono>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"

namespace vorsandt::ui::headless {

struct ScriptLine {
  int line = 0;
  std::vector<std::string> words;
};

struct ScriptParse {
  std::vector<ScriptLine> lines;
  bool ok = true;
  int error_line = 0;
  std::string error;
};

// Splits a script into lines of words. An unterminated quote or a NUL byte
// is an error.
ScriptParse ParseScript(std::string_view text);

// The key code of a key name such as "Enter", "Ctrl+Enter", "Shift+Tab",
// "PgDn", "F2", "A", "DoubleClick"; nullopt for an unknown name. `typed`
// receives the character the key types, if any.
std::optional<int> KeyCode(std::string_view name, std::string* typed = nullptr);

class ScriptRunner {
 public:
  // `name` is used in messages ("NAME:LINE: ..."). Dumps go to `out`,
  // failures to `err`.
  ScriptRunner(Engine& engine, HeadlessPlatform& platform, std::string name, std::ostream& out,
               std::ostream& err);

  // How long "idle" and "exit" may take before the script fails.
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

  // Runs the commands in order and stops at the first that fails. Returns 0
  // when every command held, 1 otherwise (the message names the line).
  int Run(const std::vector<ScriptLine>& lines);

  // The exit code of a halt during the run, given the code the halt ends
  // with and its text: a halt is the end the script waits for only when the
  // command begun last, or the one after it, is the script's last and reads
  // "wait exit CODE": then 0 when the codes agree. Any other halt means
  // commands never ran (or the script failed before): the line is named on
  // the error stream and the code is 1. Safe to call from any thread.
  int HaltCode(int code, const std::string& text);

 private:
  friend struct ScriptCommands;  // the handlers of the commands (script_commands.cc)

  // What must hold before a command runs.
  enum class Stage {
    kQueue,    // nothing: answers are queued at once (a modal call may be what blocks)
    kIdle,     // the program is idle
    kWindow,   // idle, and a target window is open
    kControl,  // idle, and the first word names a control of the target window
  };
  // One command as its handler sees it.
  struct Call {
    std::string_view name;                  // "click", "expect text"
    std::vector<std::string> a;             // the words after the name
    std::optional<WindowState> window;      // the target window (kWindow, kControl)
    const ControlState* control = nullptr;  // the control a[0] names (kControl)
    int field = 0;
  };
  struct Command {
    std::string_view name;
    size_t args;  // words the command needs at least
    Stage stage;
    bool (*handler)(ScriptRunner&, const Call&);
  };
  static const Command* FindCommand(std::string_view name);

  bool Execute(const ScriptLine& line);
  bool Prepare(const Command& command, Call& call);
  bool NeedArgs(const Call& call, size_t n);
  bool Fail(const std::string& message);
  bool WaitIdle();
  bool Refocus();
  std::optional<WindowState> Target();
  std::optional<int> Field(const WindowState& window, const std::string& word);
  bool Send(const WindowState& window, Input input);

  Engine& engine_;
  HeadlessPlatform& platform_;
  std::string name_;
  std::ostream& out_;
  std::ostream& err_;
  std::chrono::milliseconds timeout_{30000};
  std::string target_;  // label or caption chosen with "window"; empty: the newest window
  int line_ = 0;
  // What a halt needs to know: the script, and how many of its commands
  // have begun (their handler called), under `halt_mu_`.
  std::mutex halt_mu_;
  const std::vector<ScriptLine>* lines_ = nullptr;
  size_t begun_ = 0;
  bool failed_ = false;
  WindowId active_ = 0;       // the window the user works in
  std::set<WindowId> known_;  // windows seen open so far
};

}  // namespace vorsandt::ui::headless

#endif  // VORSANDT_UI_HEADLESS_SCRIPT_H_
