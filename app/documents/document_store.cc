#include "app/documents/document_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace vorsandt::app {
namespace {

constexpr size_t kCopyChunk = 1 << 20;
// Numbered names tried before giving up ("receipt-2.pdf" ... ).
constexpr int kNameAttempts = 1000;
constexpr int kTemporaryAttempts = 100;

std::string Reason(int errnum) { return std::strerror(errnum); }

// Makes `folder` when it is missing. The in-memory environments of the tests
// keep no folders: there is nothing to make.
int MakeFolder(env::Env* env, const char* folder) {
  if (env != env::Env::Default()) return 0;
  if (::mkdir(folder, 0777) == 0 || errno == EEXIST) return 0;
  return errno;
}

// "receipt.pdf" numbered `n` (from 2): "receipt-2.pdf", cut to `max_length`
// in its stem so that the number and the extension stay.
std::string Numbered(const std::string& name, int n, size_t max_length) {
  if (n < 2) return name;
  const size_t dot = name.find_last_of('.');
  const bool has_ext = dot != std::string::npos && dot > 0;
  std::string stem = has_ext ? name.substr(0, dot) : name;
  const std::string tail = "-" + std::to_string(n) + (has_ext ? name.substr(dot) : "");
  if (stem.size() + tail.size() > max_length) {
    stem.resize(max_length > tail.size() ? max_length - tail.size() : 0);
  }
  return stem + tail;
}

// Gives the complete file `from` the first free numbered name of `base` in
// `folder`, never replacing a file. 0 with `*taken` the name, or an errno.
int RenameToFreeName(env::Env* env, const std::string& from, const std::string& folder,
                     const std::string& base, size_t max_length, std::string* taken) {
  for (int n = 1; n <= kNameAttempts; ++n) {
    const std::string name = Numbered(base, n, max_length);
    const int e = env->RenameNoReplace(from, folder + "/" + name);
    if (e == 0) {
      *taken = name;
      return 0;
    }
    if (e != EEXIST) return e;
  }
  return EEXIST;
}

// Copies everything `in` holds into `out`; 0 or an errno.
int CopyAll(env::File* in, env::File* out) {
  std::vector<char> chunk(kCopyChunk);
  for (uint64_t offset = 0;;) {
    size_t got = 0;
    if (int e = in->ReadAt(offset, chunk.data(), chunk.size(), &got); e != 0) return -e;
    if (got == 0) return 0;
    if (int e = out->WriteAt(offset, chunk.data(), got); e != 0) return e;
    offset += got;
    if (got < chunk.size()) return 0;
  }
}

}  // namespace

bool IsStoredName(const std::string& name) {
  return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos;
}

std::string StoredPath(const std::string& name) {
  return std::string(kDocumentsFolder) + "/" + name;
}

std::string StoredNameFor(const std::string& source, size_t max_length) {
  const size_t slash = source.find_last_of('/');
  std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool kept = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                      std::strchr(".-_+() ", c) != nullptr;
    if (!kept) c = '_';
  }
  // A name starting with a dot would be hidden, and ".deleted" is ours.
  if (name.empty() || name.front() == '.') name.insert(0, "document");
  if (name.size() > max_length) {
    const size_t dot = name.find_last_of('.');
    const std::string ext =
        dot != std::string::npos && name.size() - dot <= 10 ? name.substr(dot) : "";
    name = name.substr(0, max_length - ext.size()) + ext;
  }
  return name;
}

bool StoreDocument(env::Env* env, const std::string& source, size_t max_length, std::string* stored,
                   std::string* error) {
  const std::string cannot_read = "The file " + source + " cannot be read: ";
  struct stat st {};
  if (::stat(source.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    *error = cannot_read + (S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file");
    return false;
  }
  std::unique_ptr<env::File> in;
  if (int e = env->Open(source, env::kOpenReadOnly, &in); e != 0) {
    *error = cannot_read + Reason(e);
    return false;
  }
  const std::string cannot_copy =
      "The file " + source + " could not be copied into the " + kDocumentsFolder + " folder: ";
  if (int e = MakeFolder(env, kDocumentsFolder); e != 0) {
    *error = cannot_copy + Reason(e);
    return false;
  }
  // The copy is made under a hidden temporary name, so that neither a
  // program sharing the folder nor a listing of it ever meets a part.
  std::string temporary;
  std::unique_ptr<env::File> out;
  int e = EEXIST;
  for (int attempt = 0; attempt < kTemporaryAttempts && e == EEXIST; ++attempt) {
    temporary = StoredPath(".copy" + std::to_string(getpid()) + "-" + std::to_string(attempt));
    e = env->CreateNew(temporary, 0, 0644, &out);
  }
  if (e != 0) {
    *error = cannot_copy + Reason(e);
    return false;
  }
  e = CopyAll(in.get(), out.get());
  if (e < 0) {
    *error = cannot_read + Reason(-e);
  } else if (e == 0) {
    e = out->Sync();
  }
  out.reset();
  std::string name;
  if (e == 0) {
    e = RenameToFreeName(env, temporary, kDocumentsFolder, StoredNameFor(source, max_length),
                         max_length, &name);
  }
  if (e != 0) {
    env->Delete(temporary);
    if (e > 0) *error = cannot_copy + Reason(e);
    return false;
  }
  *stored = name;
  return true;
}

bool PutAside(env::Env* env, const std::string& name, std::string* error) {
  if (name.empty()) return true;
  if (!IsStoredName(name)) {
    *error = "\"" + name + "\" is not the name of a file in the " + kDocumentsFolder + " folder";
    return false;
  }
  if (!env->Exists(StoredPath(name))) return true;
  if (int e = MakeFolder(env, kDocumentsFolder); e != 0) {
    *error = "The folder " + std::string(kDocumentsFolder) + " cannot be made: " + Reason(e);
    return false;
  }
  if (int e = MakeFolder(env, kPutAsideFolder); e != 0) {
    *error = "The folder " + std::string(kPutAsideFolder) + " cannot be made: " + Reason(e);
    return false;
  }
  std::string taken;
  if (int e =
          RenameToFreeName(env, StoredPath(name), kPutAsideFolder, name, name.size() + 8, &taken);
      e != 0) {
    *error = "The file " + StoredPath(name) + " could not be moved into " + kPutAsideFolder + ": " +
             Reason(e);
    return false;
  }
  return true;
}

void RemoveUnsaved(env::Env* env, const std::string& name) {
  if (IsStoredName(name)) env->Delete(StoredPath(name));
}

}  // namespace vorsandt::app
