// A whole scripted run: the program's first procedure started on the
// headless platform, driven by a UI test script, then ended as a user would
// end it. The program (`vorsandt --headless --script FILE`), the test hosts
// and the tests that run MAIN all go through RunMainUnderScript, so that they
// start and shut down the same way.
#ifndef VORSANDT_UI_HEADLESS_SCRIPT_SESSION_H_
#define VORSANDT_UI_HEADLESS_SCRIPT_SESSION_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"

namespace vorsandt::ui::headless {

// Largest script file read.
inline constexpr uint64_t kMaxScriptBytes = 16u << 20;

// Reads a script file whole. False, with `error` saying why ("the script
// X is a folder", "cannot read the script X: No such file or directory"),
// when it cannot be read: a folder is not an empty script, and neither a
// FIFO, a device nor a file over kMaxScriptBytes is read.
bool ReadScriptFile(const std::string& path, std::string* text, std::string* error);

struct ScriptSession {
  std::string name;  // names the script in messages: "NAME:LINE: ..."
  std::string_view text;
  std::ostream* out;  // dumps
  std::ostream* err;  // failures
  // How long the program may take to become idle or to end for a command.
  std::chrono::milliseconds timeout{30000};
  // How long it may take to end once the script is done.
  std::chrono::milliseconds end_timeout{10000};
};

// Starts `main` as the first procedure of `engine`, runs the script and then
// ends the program as a user would: dialogs still waiting are cancelled, and
// the windows left open are closed, the newest first (the one on top, such
// as the welcome window that MAIN shows before its frame's loop), until every
// procedure has returned. Returns 0 when every command held, 1 when one did
// not or the script does not parse (the message names the line), 2 when
// `main` cannot start. A failed script makes any halt during the shut-down
// end the process with 1 too. A program that does not end within
// `end_timeout` is reported and the process exits at once (with 1 unless the
// script already failed): its threads cannot be left behind.
int RunMainUnderScript(Engine& engine, HeadlessPlatform& platform, Procedure main,
                       const ScriptSession& session);

}  // namespace vorsandt::ui::headless

#endif  // VORSANDT_UI_HEADLESS_SCRIPT_SESSION_H_
