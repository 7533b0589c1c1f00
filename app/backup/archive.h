// One archive file in the common compressed tar format (gzip over POSIX
// tar), written and read through libarchive, so that any archive tool opens
// a backup. The writer takes members whole; the reader streams them, so
// that what a member declares never decides how much memory is taken.
//
// Invariant for ArchiveWriter: the archive under its own name is either what
// it was before or complete and flushed; members go into a temporary file
// beside it, which Finish renames into place and Abandon removes.
#ifndef VORSANDT_APP_BACKUP_ARCHIVE_H_
#define VORSANDT_APP_BACKUP_ARCHIVE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/env/env.h"

namespace vorsandt::backup {

// The CRC-32 of `data` (the zlib/gzip polynomial), kept in the backup's
// list of members so that a damaged member is told by name. `crc` is the
// value of the bytes before `data`, for a member read in pieces.
uint32_t Crc32(std::string_view data, uint32_t crc = 0);

class ArchiveWriter {
 public:
  ArchiveWriter();
  ~ArchiveWriter();  // abandons an archive that was not finished
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Starts the archive that Finish will name `path`. False with `error`.
  bool Begin(const std::string& path, std::string* error);
  // Adds a member named `name` ("tables/ITEMS.QVF") with the permission
  // bits `mode`, which a restore gives the file at most.
  bool Add(const std::string& name, std::string_view data, std::string* error,
           uint32_t mode = 0600);
  // Completes the archive, flushes it and renames it into place.
  bool Finish(std::string* error);
  // Removes the temporary file; the archive's name is left as it was.
  void Abandon();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A member held whole: what a backup writes.
struct ArchiveMember {
  std::string name;
  std::string data;
};

// One member's header as the archive declares it.
struct ArchiveEntry {
  std::string name;
  bool folder = false;
  bool regular = false;  // a plain file (anything else is neither)
  uint64_t size = 0;     // declared: the data may still be cut short
  uint32_t mode = 0;     // permission bits
};

// Reads an archive member by member, the data of each in pieces.
class ArchiveReader {
 public:
  explicit ArchiveReader(env::Env* env);
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  bool Open(const std::string& path, std::string* error);
  // The next member's header. False at the end of the archive (`*error`
  // empty) or when the archive is damaged (`*error` names it). The data of
  // a member not read is passed over.
  bool Next(ArchiveEntry* entry, std::string* error);
  // Up to `length` bytes of the current member's data; `*got` is 0 at its
  // end. False with `*error` when the archive is damaged or cut short.
  bool Read(char* buffer, size_t length, size_t* got, std::string* error);

 private:
  struct State;
  bool Damaged(const std::string& why, std::string* error);

  env::Env* env_;
  std::string path_;
  std::string member_;  // the current member's name
  std::unique_ptr<State> state_;
};

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_ARCHIVE_H_
