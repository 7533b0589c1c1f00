#include "app/exchange/whole_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace vorsandt::exchange {
namespace {

namespace fs = std::filesystem;

constexpr size_t kReadChunk = 1 << 20;
// Names tried for the temporary file before giving up.
constexpr int kTemporaryAttempts = 100;

std::string Failed(const char* what, const std::string& path, int errnum) {
  return std::string("cannot ") + what + " " + path + ": " + ErrnoText(errnum);
}

// The file a write to `path` replaces: the path itself, or the file a
// symbolic link names. Empty (with `*error`) when it cannot be replaced.
std::string ReplacedFile(const std::string& path, std::string* error) {
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    target = fs::weakly_canonical(target, ec);
    if (ec) {
      *error = Failed("write", path, ec.value());
      return "";
    }
  }
  const fs::file_status status = fs::status(target, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    *error = "cannot write " + path + ": not a regular file";
    return "";
  }
  return target.string();
}

// Creates a fresh temporary file beside `target`.
int CreateTemporary(env::Env* env, const std::string& target, std::string* name,
                    std::unique_ptr<env::File>* file) {
  int e = EEXIST;
  for (int attempt = 0; attempt < kTemporaryAttempts && e == EEXIST; ++attempt) {
    *name = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    e = env->Open(*name, env::kOpenCreate | env::kOpenExclusive, file);
  }
  return e;
}

// Reads a file that only reads in sequence (a pipe) to its end.
bool ReadStream(const std::string& path, std::string* data, std::string* error) {
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    *error = Failed("read", path, errno);
    return false;
  }
  std::string chunk(kReadChunk, '\0');
  size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) data->append(chunk, 0, got);
  const int failure = std::ferror(stream) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(stream);
  if (failure != 0) {
    *error = Failed("read", path, failure);
    data->clear();
    return false;
  }
  return true;
}

}  // namespace

std::string ErrnoText(int errnum) { return std::strerror(errnum); }

bool ReadWholeFile(env::Env* env, const std::string& path, std::string* data, std::string* error) {
  data->clear();
  // A pipe (`qvf import T /dev/stdin`, a named FIFO) or a terminal cannot be
  // read at offsets, and must not be opened the way tables are (for reading
  // and writing, so locks can be taken): a pipe this process also held open
  // for writing would never come to its end.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
    return ReadStream(path, data, error);
  }
  std::unique_ptr<env::File> file;
  if (int e = env->Open(path, env::kOpenReadOnly, &file); e != 0) {
    *error = Failed("read", path, e);
    return false;
  }
  std::string chunk(kReadChunk, '\0');
  for (uint64_t offset = 0;;) {
    size_t got = 0;
    if (int e = file->ReadAt(offset, chunk.data(), chunk.size(), &got); e != 0) {
      *error = Failed("read", path, e);
      data->clear();
      return false;
    }
    data->append(chunk, 0, got);
    offset += got;
    if (got < chunk.size()) return true;
  }
}

bool WriteWholeFile(env::Env* env, const std::string& path, std::string_view data,
                    std::string* error) {
  const std::string target = ReplacedFile(path, error);
  if (target.empty()) return false;
  std::string temporary;
  std::unique_ptr<env::File> file;
  if (int e = CreateTemporary(env, target, &temporary, &file); e != 0) {
    *error = Failed("write", path, e);
    return false;
  }
  // The replacement keeps the permissions of the file it replaces, set before
  // any text is in it, so an export kept private is never readable by others.
  std::error_code ec;
  const fs::file_status old = fs::status(target, ec);
  if (!ec && fs::exists(old)) fs::permissions(temporary, old.permissions(), ec);
  int e = file->WriteAt(0, data.data(), data.size());
  if (e == 0) e = file->Sync();
  file.reset();
  if (e == 0) e = env->Rename(temporary, target);
  if (e != 0) {
    env->Delete(temporary);
    *error = Failed("write", path, e);
    return false;
  }
  return true;
}
}  // namespace vorsandt::exchange
