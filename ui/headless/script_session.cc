#include "ui/headless/script_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "ui/headless/script.h"

namespace vorsandt::ui::headless {
namespace {

using Clock = std::chrono::steady_clock;

// Closes what the script left open, the newest window first, as a user
// clicks the close box of the window on top until the program has gone. A
// window still open after its close box was used once is left to the frame
// (the oldest window), whose closing closes every other one. True when every
// procedure has returned.
bool EndProgram(Engine& engine, HeadlessPlatform& platform, std::chrono::milliseconds timeout) {
  platform.CancelAll();
  const Clock::time_point deadline = Clock::now() + timeout;
  WindowId closed_before = 0;
  while (!engine.Ended() && Clock::now() < deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    engine.WaitIdle(std::max(left, std::chrono::milliseconds(1)));
    std::vector<WindowId> open = engine.OpenWindows();
    if (engine.Ended()) break;
    if (open.empty()) {
      // The last procedures are returning.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    if (open.back() == closed_before) {
      // The frame's close box would ask that window again; the frame's
      // closing itself closes it, and every other window, without asking.
      engine.Post(open.front(), event::kCloseWindow);
      closed_before = 0;
      continue;
    }
    WindowId target = open.back();
    closed_before = target;
    Input close;
    close.type = Input::Type::kClose;
    engine.Input(target, close);
  }
  return engine.Ended();
}

}  // namespace

bool ReadScriptFile(const std::string& path, std::string* text, std::string* error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    *error = "cannot read the script " + path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = "the script " + path + " is a folder";
    return false;
  }
  // A FIFO would hold the program until something wrote to it, a device
  // could feed it without end.
  if (!S_ISREG(st.st_mode)) {
    *error = "the script " + path + " is not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxScriptBytes) {
    *error =
        "the script " + path + " is larger than " + std::to_string(kMaxScriptBytes >> 20) + " MB";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  if (in) buffer << in.rdbuf();
  if (!in || in.bad()) {
    *error = "cannot read the script " + path;
    return false;
  }
  *text = buffer.str();
  return true;
}

int RunMainUnderScript(Engine& engine, HeadlessPlatform& platform, Procedure main,
                       const ScriptSession& session) {
  ScriptParse parsed = ParseScript(session.text);
  if (!parsed.ok) {
    *session.err << session.name << ":" << parsed.error_line << ": " << parsed.error << "\n";
    session.err->flush();
    return 1;
  }
  ScriptRunner runner(engine, platform, session.name, *session.out, *session.err);
  runner.SetTimeout(session.timeout);
  // A halt ends the process at once: the runner says whether it was the end
  // the script waited for, or commands of the script never ran.
  engine.SetHaltRule(
      [&runner](int code, const std::string& text) { return runner.HaltCode(code, text); });
  if (!engine.StartMain(std::move(main))) {
    engine.SetHaltRule(nullptr);
    *session.err << session.name << ": cannot start the first procedure\n";
    return 2;
  }
  int rc = runner.Run(parsed.lines);
  session.out->flush();
  if (rc != 0) engine.ForceHaltCode(rc);
  if (!EndProgram(engine, platform, session.end_timeout)) {
    *session.err << session.name << ": the program did not end after the script\n";
    session.err->flush();
    std::fflush(nullptr);
    std::_Exit(rc != 0 ? rc : 1);
  }
  engine.WaitForEnd();
  engine.SetHaltRule(nullptr);
  return rc;
}

}  // namespace vorsandt::ui::headless
