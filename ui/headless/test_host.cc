#include "ui/headless/test_host.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "ui/headless/script_session.h"

namespace vorsandt::ui::headless {
namespace {

bool EnterFolder(const std::string& data, bool fresh) {
  if (data.empty()) return true;
  std::error_code ec;
  if (fresh) {
    std::filesystem::remove_all(data, ec);
    std::filesystem::create_directories(data, ec);
  }
  if (chdir(data.c_str()) == 0) return true;
  std::fprintf(stderr, "cannot use %s: %s\n", data.c_str(), std::strerror(errno));
  return false;
}

}  // namespace

int RunTestHost(int argc, char** argv, const TestHost& host) {
  std::string data;
  std::string script;
  // Other words (the program's own `--headless`) are passed over.
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--data") == 0) data = argv[++i];
    else if (std::strcmp(argv[i], "--script") == 0) script = argv[++i];
  }
  std::string text, error;
  if (script.empty() || !ReadScriptFile(script, &text, &error)) {
    std::fprintf(stderr, "usage: %s --data DIR --script FILE\n%s\n", host.name, error.c_str());
    return 2;
  }
  if (!EnterFolder(data, host.fresh_folder)) return 2;
  if (host.prepare && !host.prepare()) return 2;
  HeadlessPlatform platform;
  if (host.platform_ready) host.platform_ready(&platform);
  Engine engine(&platform);
  ScriptSession session;
  session.name = script;
  session.text = text;
  session.out = &std::cout;
  session.err = &std::cerr;
  return RunMainUnderScript(engine, platform, host.main, session);
}

}  // namespace vorsandt::ui::headless
