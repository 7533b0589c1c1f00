// The command-line tools' own files: reading a whole input file, writing a
// whole output file (app/exchange/whole_file.h, shared with the program), and
// writing standard output, each with every error reported rather than lost.
#ifndef VORSANDT_TOOLS_COMMON_TOOL_FILES_H_
#define VORSANDT_TOOLS_COMMON_TOOL_FILES_H_

#include <string>
#include <string_view>

#include "app/exchange/whole_file.h"
#include "runtime/env/env.h"

namespace vorsandt::tools {

using exchange::ErrnoText;
using exchange::ReadWholeFile;
using exchange::WriteWholeFile;

// Writes all of `data` to standard output, straight to the descriptor (no
// buffer left behind). Returns true, or false with `*error`.
bool WriteStandardOutput(std::string_view data, std::string* error);

// Closes standard output, reporting a failure the system only tells at close
// (a network file system's delayed write error). Call once, at the end.
bool CloseStandardOutput(std::string* error);

}  // namespace vorsandt::tools

#endif  // VORSANDT_TOOLS_COMMON_TOOL_FILES_H_
