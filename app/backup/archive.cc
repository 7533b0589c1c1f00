#include "app/backup/archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>

#include "app/exchange/whole_file.h"
#include "runtime/env/env.h"

namespace vorsandt::backup {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

// libarchive's reader and writer go through the environment's file handle.
struct FileStream {
  std::unique_ptr<env::File> file;
  uint64_t offset = 0;
  int error = 0;
  std::vector<char> buffer = std::vector<char>(64 * 1024);
};

la_ssize_t WriteCallback(struct archive*, void* data, const void* bytes, size_t length) {
  auto* s = static_cast<FileStream*>(data);
  if (int e = s->file->WriteAt(s->offset, bytes, length); e != 0) {
    s->error = e;
    return -1;
  }
  s->offset += length;
  return static_cast<la_ssize_t>(length);
}

la_ssize_t ReadCallback(struct archive*, void* data, const void** bytes) {
  auto* s = static_cast<FileStream*>(data);
  size_t got = 0;
  if (int e = s->file->ReadAt(s->offset, s->buffer.data(), s->buffer.size(), &got); e != 0) {
    s->error = e;
    return -1;
  }
  s->offset += got;
  *bytes = s->buffer.data();
  return static_cast<la_ssize_t>(got);
}

std::string ArchiveText(struct archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "the archive library gave no reason";
}

}  // namespace

uint32_t Crc32(std::string_view data, uint32_t crc) {
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (unsigned char byte : data) c = kCrcTable[(c ^ byte) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

struct ArchiveWriter::State {
  std::string path;
  std::string temporary;
  FileStream stream;
  struct archive* archive = nullptr;
};

ArchiveWriter::ArchiveWriter() = default;

ArchiveWriter::~ArchiveWriter() { Abandon(); }

bool ArchiveWriter::Begin(const std::string& path, std::string* error) {
  Abandon();
  auto state = std::make_unique<State>();
  state->path = path;
  env::Env* env = env::Env::Default();
  static std::mt19937 rng{std::random_device{}()};
  int e = EEXIST;
  for (int attempt = 0; attempt < 8 && e == EEXIST; ++attempt) {
    char token[16];
    std::snprintf(token, sizeof token, "%08x", static_cast<unsigned>(rng()));
    state->temporary = path + ".~" + token;
    // A backup holds all the data: readable by its owner only.
    e = env->Open(state->temporary, env::kOpenCreate | env::kOpenExclusive | env::kOpenPrivate,
                  &state->stream.file);
  }
  if (e != 0) {
    *error = "cannot write " + path + ": " + exchange::ErrnoText(e);
    return false;
  }
  state->archive = archive_write_new();
  archive_write_add_filter_gzip(state->archive);
  archive_write_set_format_pax_restricted(state->archive);
  state_ = std::move(state);
  if (archive_write_open(state_->archive, &state_->stream, nullptr, &WriteCallback, nullptr) !=
      ARCHIVE_OK) {
    *error = "cannot write " + path + ": " + ArchiveText(state_->archive);
    Abandon();
    return false;
  }
  return true;
}

bool ArchiveWriter::Add(const std::string& name, std::string_view data, std::string* error,
                        uint32_t mode) {
  struct archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, name.c_str());
  archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_perm(entry, static_cast<mode_t>(mode & 0777));
  archive_entry_set_mtime(entry, std::time(nullptr), 0);
  bool ok = archive_write_header(state_->archive, entry) == ARCHIVE_OK;
  if (ok && !data.empty()) {
    ok = archive_write_data(state_->archive, data.data(), data.size()) ==
         static_cast<la_ssize_t>(data.size());
  }
  archive_entry_free(entry);
  if (!ok) {
    *error = "cannot write " + state_->path + ": " +
             (state_->stream.error != 0 ? exchange::ErrnoText(state_->stream.error)
                                        : ArchiveText(state_->archive));
  }
  return ok;
}

bool ArchiveWriter::Finish(std::string* error) {
  bool ok = archive_write_close(state_->archive) == ARCHIVE_OK;
  int e = ok ? 0 : state_->stream.error;
  if (ok) e = state_->stream.file->Sync();
  if (e == 0 && ok) {
    state_->stream.file.reset();
    e = env::Env::Default()->Rename(state_->temporary, state_->path);
  }
  if (!ok || e != 0) {
    *error = "cannot write " + state_->path + ": " +
             (e != 0 ? exchange::ErrnoText(e) : ArchiveText(state_->archive));
    Abandon();
    return false;
  }
  archive_write_free(state_->archive);
  state_.reset();
  return true;
}

void ArchiveWriter::Abandon() {
  if (!state_) return;
  if (state_->archive != nullptr) archive_write_free(state_->archive);
  state_->stream.file.reset();
  env::Env::Default()->Delete(state_->temporary);
  state_.reset();
}

struct ArchiveReader::State {
  FileStream stream;
  struct archive* archive = nullptr;
};

ArchiveReader::ArchiveReader(env::Env* env) : env_(env) {}

ArchiveReader::~ArchiveReader() {
  if (state_ && state_->archive != nullptr) archive_read_free(state_->archive);
}

bool ArchiveReader::Damaged(const std::string& why, std::string* error) {
  *error = "the archive " + path_ + " is damaged or is no backup: " + why;
  return false;
}

bool ArchiveReader::Open(const std::string& path, std::string* error) {
  path_ = path;
  auto state = std::make_unique<State>();
  // Named by the user: a link to an archive elsewhere is followed, but a
  // device or a pipe is no archive (reading one might never end).
  if (int e = env_->Open(path, env::kOpenReadOnly, &state->stream.file); e != 0) {
    *error = "cannot read " + path + ": " + exchange::ErrnoText(e);
    return false;
  }
  state->archive = archive_read_new();
  archive_read_support_filter_gzip(state->archive);
  archive_read_support_format_tar(state->archive);
  state_ = std::move(state);
  if (archive_read_open(state_->archive, &state_->stream, nullptr, &ReadCallback, nullptr) !=
      ARCHIVE_OK) {
    return Damaged(ArchiveText(state_->archive), error);
  }
  return true;
}

bool ArchiveReader::Next(ArchiveEntry* entry, std::string* error) {
  error->clear();
  struct archive_entry* header = nullptr;
  const int r = archive_read_next_header(state_->archive, &header);
  if (r == ARCHIVE_EOF) return false;
  if (r != ARCHIVE_OK) return Damaged(ArchiveText(state_->archive), error);
  const char* name = archive_entry_pathname(header);
  entry->name = name != nullptr ? name : "";
  member_ = entry->name;
  entry->folder = archive_entry_filetype(header) == AE_IFDIR;
  entry->regular = archive_entry_filetype(header) == AE_IFREG;
  const la_int64_t size = archive_entry_size(header);
  if (!archive_entry_size_is_set(header) || size < 0) {
    return Damaged(entry->name + " declares no size", error);
  }
  entry->size = static_cast<uint64_t>(size);
  entry->mode = static_cast<uint32_t>(archive_entry_perm(header)) & 0777;
  return true;
}

bool ArchiveReader::Read(char* buffer, size_t length, size_t* got, std::string* error) {
  const la_ssize_t n = archive_read_data(state_->archive, buffer, length);
  if (n < 0) {
    *got = 0;
    return Damaged(member_ + ": " +
                       (state_->stream.error != 0 ? exchange::ErrnoText(state_->stream.error)
                                                  : ArchiveText(state_->archive)),
                   error);
  }
  *got = static_cast<size_t>(n);
  return true;
}

}  // namespace vorsandt::backup
