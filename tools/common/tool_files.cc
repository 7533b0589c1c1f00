#include "tools/common/tool_files.h"

#include <unistd.h>

#include <cerrno>

namespace vorsandt::tools {

bool WriteStandardOutput(std::string_view data, std::string* error) {
  while (!data.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot write standard output: " + ErrnoText(n < 0 ? errno : EIO);
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool CloseStandardOutput(std::string* error) {
  // EBADF: started without a standard output; any write would have failed
  // already, so nothing was lost.
  if (::close(STDOUT_FILENO) != 0 && errno != EINTR && errno != EBADF) {
    *error = "cannot write standard output: " + ErrnoText(errno);
    return false;
  }
  return true;
}

}  // namespace vorsandt::tools
