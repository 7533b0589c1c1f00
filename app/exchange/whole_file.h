// Whole files through the environment: reading one, and replacing one so that
// a failure never leaves a part of it. Shared by the command-line tools and
// the program's list export.
//
// Invariant for WriteWholeFile: the file under its own name is either what it
// was before the call or the complete new contents, flushed to disk; never a
// part. The text goes to a temporary file beside it, which is flushed and then
// renamed over the name; on any failure the temporary file is removed.
#ifndef VORSANDT_APP_EXCHANGE_WHOLE_FILE_H_
#define VORSANDT_APP_EXCHANGE_WHOLE_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/env/env.h"

namespace vorsandt::exchange {

// "cannot read PATH: <reason>" and the like: the system's text for an errno.
std::string ErrnoText(int errnum);

// Largest file read whole unless the caller allows more.
inline constexpr uint64_t kMaxWholeFileBytes = 256ull << 20;

// What a whole-file read accepts.
struct WholeFileLimits {
  uint64_t max_bytes = kMaxWholeFileBytes;
  // A pipe (`qvf import T /dev/stdin`, a named FIFO) is read as a stream to
  // its end, within max_bytes. Otherwise only regular files are read.
  bool pipes = false;
};

// Reads all of `path` into `*data`. Returns true, or false with `*error`
// saying what went wrong and naming the file ("cannot read x.csv: Is a
// directory"). Anything but a regular file (and a pipe, when allowed) is
// refused without reading a byte or waiting for a writer ("cannot read
// /dev/zero: not a regular file"), and so is a file larger than the limit.
bool ReadWholeFile(env::Env* env, const std::string& path, std::string* data, std::string* error,
                   const WholeFileLimits& limits = {});

// Writes `data` as the whole of `path` (see the invariant above). A symbolic
// link is followed: the file it names is replaced. A path naming something
// other than a regular file (a device, a pipe, a folder) is refused, since it
// cannot be replaced safely. Returns true, or false with `*error`.
bool WriteWholeFile(env::Env* env, const std::string& path, std::string_view data,
                    std::string* error);

}  // namespace vorsandt::exchange

#endif  // VORSANDT_APP_EXCHANGE_WHOLE_FILE_H_
