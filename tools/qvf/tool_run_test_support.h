// Runs the built qvf binary (QVF_BINARY, set by the build) for the tool tests.
#ifndef VORSANDT_TOOLS_QVF_TOOL_RUN_TEST_SUPPORT_H_
#define VORSANDT_TOOLS_QVF_TOOL_RUN_TEST_SUPPORT_H_

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace vorsandt::qvf::testing {

struct ToolRun {
  int exit_code = -1;
  std::string output;  // standard output and standard error together
};

// Runs `qvf ARGS` through the shell in the working directory, with the
// environment settings `env` ("NAME=VALUE ...") and after the shell words
// `prefix` (another folder, another user).
inline ToolRun RunQvf(const std::string& args, const std::string& env = "",
                      const std::string& prefix = "") {
  ToolRun run;
  const std::string command =
      prefix + (env.empty() ? "" : "env " + env + " ") + QVF_BINARY + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) run.output += buf;
  int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace vorsandt::qvf::testing

#endif  // VORSANDT_TOOLS_QVF_TOOL_RUN_TEST_SUPPORT_H_
