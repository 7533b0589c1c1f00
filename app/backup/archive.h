// One archive file in the common compressed tar format (gzip over POSIX
// tar), written and read through libarchive, so that any archive tool opens
// a backup. Members are regular files held whole in memory.
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

namespace vorsandt::backup {

// The CRC-32 of `data` (the zlib/gzip polynomial), kept in the backup's
// list of members so that a damaged member is told by name.
uint32_t Crc32(std::string_view data);

class ArchiveWriter {
 public:
  ArchiveWriter();
  ~ArchiveWriter();  // abandons an archive that was not finished
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Starts the archive that Finish will name `path`. False with `error`.
  bool Begin(const std::string& path, std::string* error);
  // Adds a member named `name` ("tables/ITEMS.QVF").
  bool Add(const std::string& name, std::string_view data, std::string* error);
  // Completes the archive, flushes it and renames it into place.
  bool Finish(std::string* error);
  // Removes the temporary file; the archive's name is left as it was.
  void Abandon();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct ArchiveMember {
  std::string name;
  std::string data;
};

// Reads every member of the archive `path`. Folders are passed over;
// anything else that is not a regular file, and any damage the reader finds (a cut-off file, a
// broken compressed stream), fails with `error` naming the archive. Members past `limit` bytes in
// total are refused rather than read into memory.
bool ReadArchive(const std::string& path, uint64_t limit, std::vector<ArchiveMember>* members,
                 std::string* error);

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_ARCHIVE_H_
