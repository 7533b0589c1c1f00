#include "ui/qt/pdf_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace vorsandt::ui::qt {
namespace {

namespace fs = std::filesystem;

// Names tried for the temporary before giving up.
constexpr int kTemporaryAttempts = 100;

const char* KindOf(const fs::file_status& status) {
  switch (status.type()) {
    case fs::file_type::directory:
      return "a folder";
    case fs::file_type::character:
    case fs::file_type::block:
      return "a device";
    case fs::file_type::fifo:
      return "a pipe";
    case fs::file_type::socket:
      return "a socket";
    default:
      return "not a regular file";
  }
}

// The file a new document at `path` replaces: `path`, or the file its
// symbolic link names (the link itself stays).
fs::path ReplacedPath(const std::string& path) {
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  return target;
}

std::string Failed(const std::string& path, int errnum) {
  return "cannot write " + path + ": " + std::strerror(errnum);
}

}  // namespace

std::string ReplaceRefusal(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(ReplacedPath(path), ec);
  if (!fs::exists(status) || fs::is_regular_file(status)) return "";
  const char* kind = KindOf(status);
  return "cannot write " + path + ": it is " + std::string(kind) +
         (kind[0] == 'n' ? "" : ", not a file") + " (nothing was written)";
}

bool SaveWholeFile(const QByteArray& bytes, const std::string& path, std::string* error,
                   env::Env* env) {
  std::string refusal = ReplaceRefusal(path);
  if (!refusal.empty()) {
    if (error != nullptr) *error = refusal;
    return false;
  }
  const std::string target = ReplacedPath(path).string();
  std::string temporary;
  std::unique_ptr<env::File> file;
  int e = EEXIST;
  for (int attempt = 0; attempt < kTemporaryAttempts && e == EEXIST; ++attempt) {
    temporary = target + ".part" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    e = env->Open(temporary, env::kOpenCreate | env::kOpenExclusive, &file);
  }
  if (e != 0) {
    if (error != nullptr) *error = Failed(path, e);
    return false;
  }
  e = file->WriteAt(0, bytes.constData(), static_cast<size_t>(bytes.size()));
  // A disk that filled up may say so only at the flush.
  if (e == 0) e = file->Sync();
  file.reset();
  if (e == 0) e = env->Rename(temporary, target);
  if (e != 0) {
    env->Delete(temporary);
    if (error != nullptr) *error = Failed(path, e);
    return false;
  }
  return true;
}

}  // namespace vorsandt::ui::qt
