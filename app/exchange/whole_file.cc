#include "app/exchange/whole_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

std::string TooLarge(const std::string& path, uint64_t max_bytes) {
  const bool in_mb = max_bytes >= (1u << 20) && max_bytes % (1u << 20) == 0;
  return "cannot read " + path + ": larger than " +
         (in_mb ? std::to_string(max_bytes >> 20) + " MB" : std::to_string(max_bytes) + " bytes") +
         ", the most read at once";
}

// Reads a file that only reads in sequence (a pipe) to its end, within
// `max_bytes`.
bool ReadStream(const std::string& path, uint64_t max_bytes, std::string* data,
                std::string* error) {
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    *error = Failed("read", path, errno);
    return false;
  }
  // Room for the most it may take, made once: growing by doubling would
  // hold the old and the new copy at once, half again the limit.
  data->reserve(static_cast<size_t>(max_bytes) + kReadChunk);
  std::string chunk(kReadChunk, '\0');
  size_t got;
  bool too_large = false;
  while (!too_large && (got = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) {
    data->append(chunk, 0, got);
    too_large = data->size() > max_bytes;
  }
  const int failure = std::ferror(stream) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(stream);
  if (too_large || failure != 0) {
    *error = too_large ? TooLarge(path, max_bytes) : Failed("read", path, failure);
    data->clear();
    return false;
  }
  return true;
}

// Reads a file through the environment, within `max_bytes` (it may have
// grown since it was looked at).
bool ReadThroughEnv(env::Env* env, const std::string& path, uint64_t max_bytes, uint64_t size_hint,
                    std::string* data, std::string* error) {
  // One allocation for the size the file had when it was looked at.
  data->reserve(static_cast<size_t>(std::min(size_hint, max_bytes)) + 1);
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
    if (data->size() > max_bytes) {
      *error = TooLarge(path, max_bytes);
      data->clear();
      return false;
    }
    if (got < chunk.size()) return true;
  }
}

}  // namespace

std::string ErrnoText(int errnum) { return std::strerror(errnum); }

bool ReadWholeFile(env::Env* env, const std::string& path, std::string* data, std::string* error,
                   const WholeFileLimits& limits) {
  data->clear();
  // Looked at by name, not opened: opening a FIFO waits for a writer, and a
  // writer that met this look as its reader would lose what it wrote.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    // Not a file of this system: the environment (which may keep its files
    // elsewhere) tells.
    return ReadThroughEnv(env, path, limits.max_bytes, 0, data, error);
  }
  // A pipe cannot be read at offsets, and must not be opened the way tables
  // are (for reading and writing, so locks can be taken): a pipe this
  // process also held open for writing would never come to its end.
  if (S_ISFIFO(st.st_mode) && limits.pipes) return ReadStream(path, limits.max_bytes, data, error);
  if (S_ISDIR(st.st_mode)) {
    *error = Failed("read", path, EISDIR);
    return false;
  }
  // A device, a FIFO or a socket may never end (/dev/zero) or never start.
  if (!S_ISREG(st.st_mode)) {
    *error = "cannot read " + path + ": not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > limits.max_bytes) {
    *error = TooLarge(path, limits.max_bytes);
    return false;
  }
  return ReadThroughEnv(env, path, limits.max_bytes, static_cast<uint64_t>(st.st_size), data,
                        error);
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
