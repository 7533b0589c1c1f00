#include "report/report_images.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace vorsandt::ui {
namespace {

struct Folder {
  std::mutex mu;
  std::optional<std::string> path;
  pid_t owner = 0;

  ~Folder() {
    // Only an empty folder goes: images a report still holds (or one left by
    // a run that ended abruptly) are not deleted behind anyone's back. A
    // forked child that exits leaves its parent's folder alone.
    if (path && owner == ::getpid()) ::rmdir(path->c_str());
  }
};

Folder& TheFolder() {
  static Folder folder;
  return folder;
}

std::atomic<unsigned> next_page{1};

}  // namespace

std::optional<std::string> PageImageFolder() {
  Folder& f = TheFolder();
  std::lock_guard<std::mutex> lock(f.mu);
  if (f.path) {
    // A folder swept away during the run (by a clean-up of the temporary
    // directory) is made again rather than failing every later page.
    struct stat st;
    if (::stat(f.path->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return f.path;
    f.path.reset();
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string base = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  // mkdtemp makes the name unique and the folder private (mode 0700).
  std::string pattern = base + "/vorsandt-pages-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) != nullptr) {
    f.path = std::string(buffer.data());
    f.owner = ::getpid();
  }
  return f.path;
}

std::optional<std::string> NewPageImageStem() {
  std::optional<std::string> folder = PageImageFolder();
  if (!folder) return std::nullopt;
  char name[32];
  std::snprintf(name, sizeof name, "/ZOR%04u", next_page.fetch_add(1));
  return *folder + name;
}

bool RemovePageImage(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace vorsandt::ui
