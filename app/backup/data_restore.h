// Restore Data: a backup archive (data_backup.h) checked whole before
// anything is written, then restored into a data folder.
//
// Read refuses an archive that cannot be read to its end, one without the
// list of members, and one whose members differ from the list (a member
// missing, one too many, a size or a CRC-32 that does not match), naming the
// member. CheckNext runs the storage checker (the check `qvf check` makes)
// on each table in a private folder of its own and refuses a table with a
// fault by its name. Only then may Write put anything into the data folder.
//
// Write restores into a folder that holds none of the tables. Tables already
// there are replaced only when the caller says so (after asking the user),
// and never while a program has one of them open: the files are claimed
// with their writer range first, so no program starts a save meanwhile, and
// are overwritten in place (a program that opened the name just before then
// reads the restored table, not a file that is no longer there).
#ifndef VORSANDT_APP_BACKUP_DATA_RESTORE_H_
#define VORSANDT_APP_BACKUP_DATA_RESTORE_H_

#include <string>
#include <vector>

#include "app/backup/archive.h"

namespace vorsandt::backup {

// Where pictures named by a full path (or a name leading out of the data
// folder) are restored, inside the data folder.
inline constexpr char kRestoredOutsideFolder[] = "restored-pictures";
// The largest archive a restore reads (its members are held in memory).
inline constexpr uint64_t kArchiveLimit = uint64_t{4} << 30;

class RestoreRun {
 public:
  RestoreRun() = default;
  ~RestoreRun();  // removes the checker's private folder
  RestoreRun(const RestoreRun&) = delete;
  RestoreRun& operator=(const RestoreRun&) = delete;

  bool Read(const std::string& archive, std::string* error);
  int tables() const { return static_cast<int>(tables_.size()); }
  int checked() const { return checked_; }
  // Checks the next table; false with `error` naming it.
  bool CheckNext(std::string* error);
  bool all_checked() const { return checked_ >= tables(); }

  // The labels of the tables `folder` already holds (any of the program's).
  static std::vector<std::string> Existing(const std::string& folder);
  // Restores into `folder` (made when missing). With tables there already,
  // `replace` must be true. Every table must have been checked.
  bool Write(const std::string& folder, bool replace, std::string* error);

  // "8 tables and 2 pictures" and where outside pictures went.
  std::string Summary() const;

 private:
  struct Picture {
    std::string member;
    std::string name;
  };
  bool CheckList(const std::string& archive, std::string* error);
  bool WriteTables(const std::string& folder, std::string* error);
  bool WritePictures(const std::string& folder, std::string* error);

  std::vector<ArchiveMember> members_;
  std::vector<const ArchiveMember*> tables_;
  std::vector<Picture> pictures_;
  std::string staging_;
  int checked_ = 0;
  int outside_ = 0;
};

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_DATA_RESTORE_H_
