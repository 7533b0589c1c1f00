#include "app/backup/open_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

namespace vorsandt::backup {
namespace {

bool AllDigits(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (!std::isdigit(static_cast<unsigned char>(*name))) return false;
  }
  return true;
}

template <typename F>
void ForEachEntry(const std::string& folder, F&& f) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    if (AllDigits(entry->d_name)) f(entry->d_name);
  }
  closedir(dir);
}

}  // namespace

std::vector<OpenBy> ProcessesUsing(const std::vector<std::string>& paths) {
  std::vector<std::pair<dev_t, ino_t>> wanted;
  std::vector<std::string> named;
  for (const std::string& path : paths) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    wanted.emplace_back(st.st_dev, st.st_ino);
    named.push_back(path);
  }
  std::vector<OpenBy> found;
  if (wanted.empty()) return found;
  ForEachEntry("/proc", [&](const char* pid) {
    const std::string fds = std::string("/proc/") + pid + "/fd";
    ForEachEntry(fds, [&](const char* fd) {
      struct stat st;
      if (stat((fds + "/" + fd).c_str(), &st) != 0) return;
      for (size_t i = 0; i < wanted.size(); ++i) {
        if (wanted[i].first != st.st_dev || wanted[i].second != st.st_ino) continue;
        const int process = std::atoi(pid);
        bool known = false;
        for (const OpenBy& o : found) known = known || (o.process == process && o.path == named[i]);
        if (!known) found.push_back(OpenBy{named[i], process});
      }
    });
  });
  // In the order the paths were asked about, whatever the order of the
  // process table.
  std::stable_sort(found.begin(), found.end(), [&](const OpenBy& a, const OpenBy& b) {
    return std::find(named.begin(), named.end(), a.path) <
           std::find(named.begin(), named.end(), b.path);
  });
  return found;
}

}  // namespace vorsandt::backup
