#include "app/backup/restore_target.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <filesystem>

#include "app/exchange/whole_file.h"

namespace vorsandt::backup {

bool CheckTarget(const std::string& folder, const std::string& relative, bool make_folders,
                 std::string* error) {
  const std::filesystem::path rest(relative);
  std::string at = folder;
  std::string shown;
  auto part = rest.begin();
  for (auto next = part; part != rest.end(); part = next) {
    ++next;
    const bool last = next == rest.end();
    const std::string name = part->string();
    at.append(1, '/').append(name);
    shown.append(shown.empty() ? 0 : 1, '/').append(name);
    struct stat st {};
    if (lstat(at.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        *error = "cannot restore " + relative + ": " + at + ": " + exchange::ErrnoText(errno);
        return false;
      }
      if (last || !make_folders) return true;  // nothing below a missing folder exists
      if (mkdir(at.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = "cannot make the folder " + at + ": " + exchange::ErrnoText(errno);
        return false;
      }
      if (lstat(at.c_str(), &st) != 0) {
        *error = "cannot make the folder " + at + ": " + exchange::ErrnoText(errno);
        return false;
      }
    }
    if (S_ISLNK(st.st_mode)) {
      *error = "cannot restore " + relative + ": " + shown +
               " in the data folder is a symbolic link, and a restore never writes through one";
      return false;
    }
    if (!last && !S_ISDIR(st.st_mode)) {
      *error = "cannot restore " + relative + ": " + shown + " in the data folder is no folder";
      return false;
    }
    if (last && !S_ISREG(st.st_mode)) {
      *error =
          "cannot restore " + relative + ": " + shown + " in the data folder is not a regular file";
      return false;
    }
  }
  return true;
}

uint64_t FreeBytes(const std::string& path) {
  std::filesystem::path at(path);
  for (int up = 0; up < 64 && !at.empty(); ++up) {
    struct statvfs fs {};
    if (statvfs(at.c_str(), &fs) == 0) return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
    if (errno != ENOENT || at == "." || at == at.parent_path()) break;
    at = at.parent_path().empty() ? std::filesystem::path(".") : at.parent_path();
  }
  return UINT64_MAX;
}

}  // namespace vorsandt::backup
