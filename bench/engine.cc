#include "bench/engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

namespace vorsandt::bench {

int64_t FileBytes(const std::vector<std::string>& paths) {
  int64_t total = 0;
  std::error_code error;
  for (const std::string& p : paths) {
    const auto size = std::filesystem::file_size(p, error);
    if (!error) total += static_cast<int64_t>(size);
  }
  return total;
}

void DropCache(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    // Dirty pages are not dropped: write them out first.
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
}

}  // namespace vorsandt::bench
