// Back Up Data: one archive holding every table of the data folder (the
// working directory) as it stood at one moment, and the picture files the
// items name.
//
// The moment is one transaction over every table file: joining it takes each
// file's writer range and keeps it until the transaction ends, so no other
// process saves any of them meanwhile and a save another process had begun
// is either complete in every file or in none (its transaction holds its
// files until both phases are done). The tables' bytes and the items'
// picture names are read inside it; the transaction is then rolled back
// (nothing was changed) and the archive is written without holding anyone
// up. Pictures are read after the tables: they belong to no transaction.
//
// The archive (archive.h) holds "tables/LABEL.QVF" for each table file
// present, "pictures/NAME" for each picture found (a name that is not a
// plain relative one goes under "outside-pictures/" by its full path), and
// last the list of members (kListName) with each one's size and CRC-32,
// which a restore checks member by member. A picture that cannot be read is
// named in the list as missing; it does not stop the backup. Only regular
// files (a link is followed to one) of at most kPictureLimit bytes are taken
// as pictures: a name that leads to a device, a pipe or a folder is left out
// and named in the summary, as is every picture taken from outside the data
// folder, so that the user sees what the backup holds. Each member keeps
// the permissions its file had, which a restore gives it at most.
#ifndef VORSANDT_APP_BACKUP_DATA_BACKUP_H_
#define VORSANDT_APP_BACKUP_DATA_BACKUP_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/backup/archive.h"

namespace vorsandt::backup {

inline constexpr char kListName[] = "VORSANDT-BACKUP.txt";
inline constexpr char kListFirstLine[] = "VORSANDT data backup 1";
inline constexpr char kTablesFolder[] = "tables/";
inline constexpr char kPicturesFolder[] = "pictures/";
inline constexpr char kOutsideFolder[] = "outside-pictures/";
// The largest picture a backup takes.
inline constexpr uint64_t kPictureLimit = uint64_t{256} << 20;
// How long each attempt at the snapshot waits for other processes' saves to
// end, and how many attempts it makes.
inline constexpr int32_t kSnapshotWaitSeconds = 5;
inline constexpr int kSnapshotAttempts = 3;

// The data folder's tables at one moment.
struct Snapshot {
  std::vector<ArchiveMember> tables;  // "tables/ITEMS.QVF" and the file's bytes
  std::vector<uint32_t> table_modes;  // each file's permission bits
  std::vector<std::string> pictures;  // the names ITE:PICTURE holds, each once,
                                      // then the files of the documents folder
};

// Whether a picture name of the snapshot is a file of the documents folder
// ("documents/receipt.pdf", "documents/.deleted/old.pdf"): kept and restored
// as the pictures are, counted apart.
bool IsDocumentFile(const std::string& name);

// Takes the snapshot of the working directory's tables (a table file that is
// missing is left out). False with `error` naming the table that failed.
bool TakeSnapshot(Snapshot* snapshot, std::string* error);

// The archive member for a picture name, and whether it restores beside the
// tables (a plain relative name without "..") or under "outside".
std::string PictureMember(const std::string& name, bool* relative);

// True when the archive member `member` ("pictures/ITEMS.QVF") would land on
// one of the table files: such a "picture" is never backed up nor restored,
// so that nothing but a checked table is ever written as one.
bool LandsOnTable(const std::string& member);

// A backup in steps, so that a window can show progress and offer Cancel
// between them: Begin takes the snapshot, each Step adds one member, Finish
// adds the list and puts the archive in place. Cancel (or destroying the
// run before Finish) leaves no archive and no temporary file.
class BackupRun {
 public:
  bool Begin(const std::string& archive, std::string* error);
  int steps() const {
    return static_cast<int>(snapshot_.tables.size() + snapshot_.pictures.size());
  }
  int done() const { return done_; }
  bool finished() const { return done_ >= steps(); }
  bool Step(std::string* error);
  bool Finish(std::string* error);
  void Cancel() { writer_.Abandon(); }

  // "8 tables and 2 pictures" and, when some could not be read, the
  // pictures left out (and why, unless they are simply not there), then the
  // pictures taken from outside the data folder.
  std::string Summary() const;
  int tables() const { return static_cast<int>(snapshot_.tables.size()); }
  int pictures() const { return pictures_written_; }
  int documents() const { return documents_written_; }
  const std::vector<std::string>& missing() const { return missing_; }

 private:
  bool AddMember(const std::string& name, const std::string& data, const std::string& shown,
                 uint32_t mode, std::string* error);

  Snapshot snapshot_;
  ArchiveWriter writer_;
  std::string list_;
  int done_ = 0;
  int pictures_written_ = 0;
  int documents_written_ = 0;
  std::vector<std::string> missing_;
  std::vector<std::string> left_out_;  // the missing, with the reason when there is one
  std::vector<std::string> outside_;   // taken from outside the data folder
};

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_DATA_BACKUP_H_
