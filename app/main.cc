// The vorsandt program.
//
//   vorsandt [--data DIR] [--headless --script FILE]
//
// --data DIR changes into DIR (created when missing) before anything else:
// the tables live in the working directory. --headless runs the program
// without a display, driven by the UI test script FILE (docs/ui-scripts.md);
// the exit code is 0 when every command of the script held and 1 otherwise.
// Without --headless the program needs a display; when none is named it says
// so and exits with 2 rather than letting the toolkit abort. Options that do
// not go together (--script without --headless) are refused with 2.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "runtime/format/locale.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/engine.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/script_session.h"
#include "ui/qt/run_qt.h"

namespace {

void Usage() {
  std::fprintf(stderr, "usage: vorsandt [--data DIR] [--headless --script FILE] [--screenshot-dir DIR]\n");
}

// True when a desktop session names a display the toolkit can connect to (or
// the toolkit is told which platform to use). Without one the toolkit would
// abort; the user is told what to do instead.
bool DisplayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
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
  if (!script.empty() && !headless) {
    std::fprintf(stderr,
                 "vorsandt: --script runs only without a display: use --headless --script %s\n",
                 script.c_str());
    return 2;
  }
  if (headless && script.empty()) {
    std::fprintf(stderr, "vorsandt: --headless needs --script FILE\n");
    return 2;
  }
  if (!headless && !DisplayNamed()) {
    std::fprintf(stderr,
                 "vorsandt: no display was found (DISPLAY and WAYLAND_DISPLAY are not set)\n"
                 "vorsandt: to run the program without a display, use --headless --script FILE\n");
    return 2;
  }

  // The script is read before the data folder changes the working directory.
  std::string script_text;
  if (headless) {
    std::string error;
    if (!vorsandt::ui::headless::ReadScriptFile(script, &script_text, &error)) {
      std::fprintf(stderr, "vorsandt: %s\n", error.c_str());
      return 2;
    }
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
    if (ec && !std::filesystem::is_directory(data)) {
      // Why the folder could not be made, not the change into it that follows.
      std::fprintf(stderr, "vorsandt: cannot make the data folder %s: %s\n", data.c_str(),
                   ec.message().c_str());
      return 2;
    }
    if (chdir(data.c_str()) != 0) {
      std::fprintf(stderr, "vorsandt: cannot use the data folder %s: %s\n", data.c_str(),
                   std::strerror(errno));
      return 2;
    }
  }

  if (!headless) return vorsandt::ui::qt::RunQtPlatform(argc, argv, vorsandt::app::Main);

  vorsandt::ui::headless::HeadlessPlatform platform;
  vorsandt::ui::Engine engine(&platform);
  vorsandt::ui::headless::ScriptSession session;
  session.name = script;
  session.text = script_text;
  session.out = &std::cout;
  session.err = &std::cerr;
  return vorsandt::ui::headless::RunMainUnderScript(engine, platform, vorsandt::app::Main,
                                                    session);
}
