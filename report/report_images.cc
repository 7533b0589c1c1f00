#include "report/report_images.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>

#include "images/metafile_file.h"
#include "runtime/env/env.h"

namespace vorsandt::ui {
namespace {

constexpr char kPrefix[] = "ZOR";
constexpr char kExtension[] = ".wmf";
constexpr int kAttempts = 100;

env::Env* Or(env::Env* e) { return e != nullptr ? e : env::Env::Default(); }

// Six characters from letters and digits, as the system's temporary names
// use; random so that a name another process has just taken is unlikely,
// and the exclusive create settles the rest.
std::string UniqueSuffix() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mutex mu;
  static std::mt19937_64 random{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mu);
  std::string suffix;
  for (int i = 0; i < 6; ++i) suffix.push_back(kChars[random() % (sizeof kChars - 1)]);
  return suffix;
}

}  // namespace

std::string PageImageDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

std::optional<std::string> WritePageImage(const std::vector<uint8_t>& bytes, env::Env* e) {
  e = Or(e);
  const std::string folder = PageImageDirectory();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string path = folder + "/" + kPrefix + UniqueSuffix() + kExtension;
    std::unique_ptr<env::File> file;
    int rc = e->Open(path, env::kOpenCreate | env::kOpenExclusive | env::kOpenPrivate, &file);
    if (rc == EEXIST) continue;
    if (rc != 0) return std::nullopt;
    // The page is kept only once all of it is there: a preview or a printer
    // must never meet half a page.
    if (file->WriteAt(0, bytes.data(), bytes.size()) != 0 || file->Sync() != 0) {
      file.reset();
      e->Delete(path);
      return std::nullopt;
    }
    return path;
  }
  return std::nullopt;
}

bool RemovePageImage(const std::string& path, env::Env* e) { return Or(e)->Delete(path) == 0; }

std::optional<std::vector<uint8_t>> ReadPageImage(const std::string& path, env::Env* e) {
  return images::ReadMetafileFile(path, e);
}

}  // namespace vorsandt::ui
