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

#include <string>
#include <string_view>

#include "runtime/env/env.h"

namespace vorsandt::exchange {

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

}  // namespace vorsandt::exchange

#endif  // VORSANDT_APP_EXCHANGE_WHOLE_FILE_H_
