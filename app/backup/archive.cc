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

uint32_t Crc32(std::string_view data) {
  uint32_t c = 0xFFFFFFFFu;
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

bool ArchiveWriter::Add(const std::string& name, std::string_view data, std::string* error) {
  struct archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, name.c_str());
  archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_perm(entry, 0600);
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

bool ReadArchive(const std::string& path, uint64_t limit, std::vector<ArchiveMember>* members,
                 std::string* error) {
  members->clear();
  FileStream stream;
  if (int e = env::Env::Default()->Open(path, env::kOpenReadOnly, &stream.file); e != 0) {
    *error = "cannot read " + path + ": " + exchange::ErrnoText(e);
    return false;
  }
  struct archive* a = archive_read_new();
  archive_read_support_filter_gzip(a);
  archive_read_support_format_tar(a);
  auto fail = [&](const std::string& why) {
    *error = "the archive " + path + " is damaged or is no backup: " + why;
    archive_read_free(a);
    members->clear();
    return false;
  };
  if (archive_read_open(a, &stream, nullptr, &ReadCallback, nullptr) != ARCHIVE_OK) {
    return fail(ArchiveText(a));
  }
  uint64_t total = 0;
  for (;;) {
    struct archive_entry* entry = nullptr;
    const int r = archive_read_next_header(a, &entry);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK) return fail(ArchiveText(a));
    ArchiveMember member;
    member.name = archive_entry_pathname(entry) != nullptr ? archive_entry_pathname(entry) : "";
    // Folders come with archives that a tool has packed again: they hold
    // nothing of their own.
    if (archive_entry_filetype(entry) == AE_IFDIR) continue;
    if (archive_entry_filetype(entry) != AE_IFREG) {
      return fail(member.name + " is not a plain file");
    }
    const la_int64_t size = archive_entry_size(entry);
    if (size < 0 || total + static_cast<uint64_t>(size) > limit) {
      return fail(member.name + " is larger than a backup can be");
    }
    total += static_cast<uint64_t>(size);
    member.data.resize(static_cast<size_t>(size));
    size_t got = 0;
    while (got < member.data.size()) {
      const la_ssize_t n = archive_read_data(a, member.data.data() + got, member.data.size() - got);
      if (n < 0) return fail(ArchiveText(a));
      if (n == 0) return fail(member.name + " is cut short");
      got += static_cast<size_t>(n);
    }
    // Reading on to the member's end checks the rest of its block.
    char spare[512];
    if (archive_read_data(a, spare, sizeof spare) < 0) return fail(ArchiveText(a));
    members->push_back(std::move(member));
  }
  archive_read_free(a);
  return true;
}

}  // namespace vorsandt::backup
