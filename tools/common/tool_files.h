// The command-line tools' own files: reading a whole input file, writing a
// whole output file, and writing standard output, each with every error
// reported rather than lost.
//
// Invariant for WriteWholeFile: the file under its own name is either what it
// was before the call or the complete new contents, flushed to disk; never a
// part. The text goes to a temporary file beside it, which is flushed and then
// renamed over the name; on any failure the temporary file is removed.
#ifndef VORSANDT_TOOLS_COMMON_TOOL_FILES_H_
#define VORSANDT_TOOLS_COMMON_TOOL_FILES_H_

#include <string>
#include <string_view>

#include "runtime/env/env.h"

namespace vorsandt::tools {

// "cannot read PATH: <reason>" and the like: the system's text for an errno.
std::string ErrnoText(int errnum);

// Reads all of `path` into `*data`. Returns true, or false with `*error`
// saying what went wrong and naming the file ("cannot read x.csv: Is a
// directory").
bool ReadWholeFile(env::Env* env, const std::string& path, std::string* data, std::string* error);

// Writes `data` as the whole of `path` (see the invariant above). A symbolic
// link is followed: the file it names is replaced. A path naming something
// other than a regular file (a device, a pipe, a folder) is refused, since it
// cannot be replaced safely. Returns true, or false with `*error`.
bool WriteWholeFile(env::Env* env, const std::string& path, std::string_view data,
                    std::string* error);

// Writes all of `data` to standard output, straight to the descriptor (no
// buffer left behind). Returns true, or false with `*error`.
bool WriteStandardOutput(std::string_view data, std::string* error);

// Closes standard output, reporting a failure the system only tells at close
// (a network file system's delayed write error). Call once, at the end.
bool CloseStandardOutput(std::string* error);

}  // namespace vorsandt::tools

#endif  // VORSANDT_TOOLS_COMMON_TOOL_FILES_H_
