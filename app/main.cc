// The vorsandt program.
//
//   vorsandt [--data DIR] [--headless --script FILE]
//
// --data DIR changes into DIR (created when missing) before anything else:
// the tables live in the working directory. --headless runs the program
// without a display, driven by the UI test script FILE (docs/ui-scripts.md);
// the exit code is 0 when every command of the script held and 1 otherwise.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "runtime/format/locale.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/script.h"
#include "ui/qt/run_qt.h"

namespace {

void Usage() {
  std::fprintf(stderr, "usage: vorsandt [--data DIR] [--headless --script FILE] [--screenshot-dir DIR]\n");
}

// Ends the program once the script is done: closes what is still open and
// waits for every procedure to return.
bool EndProgram(vorsandt::ui::Engine& engine, vorsandt::ui::headless::HeadlessPlatform& platform) {
  using namespace std::chrono_literals;
  platform.CancelAll();
  if (engine.Ended()) return true;
  engine.WaitIdle(10s);
  std::vector<vorsandt::ui::WindowId> open = engine.OpenWindows();
  // The frame was opened first; closing it closes every other window.
  if (!open.empty()) {
    vorsandt::ui::Input close;
    close.type = vorsandt::ui::Input::Type::kClose;
    engine.Input(open.front(), close);
  }
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!engine.Ended() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  return engine.Ended();
}

}  // namespace

int main(int argc, char** argv) {
  std::string data;
  std::string script;
  bool headless = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--data" && i + 1 < argc) {
      data = argv[++i];
    } else if (arg == "--script" && i + 1 < argc) {
      script = argv[++i];
    } else if (arg == "--headless") {
      headless = true;
    } else if (arg == "--screenshot-dir" && i + 1 < argc) {
      ++i;  // read by the desktop platform itself
    } else {
      Usage();
      return 2;
    }
  }

  // The script is read before the data folder changes the working directory.
  std::string script_text;
  if (!script.empty()) {
    std::ifstream in(script, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "vorsandt: cannot read the script %s\n", script.c_str());
      return 2;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    script_text = buffer.str();
  }

  // The settings file lies beside the program, so the locale is loaded before
  // the working directory changes. A missing settings file keeps the defaults.
  {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    vorsandt::format::LoadLocale(ec ? std::string(argv[0]) : self.string());
  }
  vorsandt::app::InitDictionary(&vorsandt::qvf::QvfEntry);

  if (!data.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(data, ec);
    if (chdir(data.c_str()) != 0) {
      std::fprintf(stderr, "vorsandt: cannot use the data folder %s: %s\n", data.c_str(),
                   std::strerror(errno));
      return 2;
    }
  }

  if (!headless) return vorsandt::ui::qt::RunQtPlatform(argc, argv, vorsandt::app::Main);
  if (script.empty()) {
    std::fprintf(stderr, "vorsandt: --headless needs --script FILE\n");
    return 2;
  }

  vorsandt::ui::headless::ScriptParse parsed = vorsandt::ui::headless::ParseScript(script_text);
  if (!parsed.ok) {
    std::fprintf(stderr, "%s:%d: %s\n", script.c_str(), parsed.error_line, parsed.error.c_str());
    return 1;
  }

  vorsandt::ui::headless::HeadlessPlatform platform;
  vorsandt::ui::Engine engine(&platform);
  if (!engine.StartMain(vorsandt::app::Main)) {
    std::fprintf(stderr, "vorsandt: cannot start the first procedure\n");
    return 2;
  }
  vorsandt::ui::headless::ScriptRunner runner(engine, platform, script, std::cout, std::cerr);
  int rc = runner.Run(parsed.lines);
  std::cout.flush();
  if (rc != 0) engine.ForceHaltCode(rc);
  if (!EndProgram(engine, platform)) {
    std::fprintf(stderr, "vorsandt: the program did not end after the script\n");
    std::fflush(nullptr);
    std::_Exit(rc != 0 ? rc : 1);
  }
  return rc;
}
