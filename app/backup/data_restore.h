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
// Members are streamed into that private folder, never held in memory: a
// member's declared size is checked against kMemberLimit and the room left
// before any of it is written. Each table member must hold the table it is
// named for, with the stored definition the program expects of it, and an
// empty member is refused, both by the member's name.
//
// Write restores into a folder that holds none of the tables. Tables already
// there are replaced only when the caller says so (after asking the user),
// and never while a program has one of them open: the files are claimed
// with their writer range first, so no program starts a save meanwhile. All
// restored files (tables and pictures) are written aside, flushed, and put
// in place together (restore_swap.h): a failure or a crash at any point
// leaves the old files or the restored ones, never a mix. Nothing is written
// through a symbolic link or outside the folder (restore_target.h), and a
// restored file gets at most the permissions it had when it was backed up.
#ifndef VORSANDT_APP_BACKUP_DATA_RESTORE_H_
#define VORSANDT_APP_BACKUP_DATA_RESTORE_H_

#include <string>
#include <vector>

#include "app/backup/archive.h"
#include "runtime/env/env.h"

namespace vorsandt::backup {

// Where pictures named by a full path (or a name leading out of the data
// folder) are restored, inside the data folder.
inline constexpr char kRestoredOutsideFolder[] = "restored-pictures";
// The largest archive a restore reads, and the largest member (a table file
// never grows past 2 GB: its locks lie beyond).
inline constexpr uint64_t kArchiveLimit = uint64_t{4} << 30;
inline constexpr uint64_t kMemberLimit = uint64_t{2} << 30;

class RestoreRun {
 public:
  // Every file is read and written through `env`. The members are unpacked
  // into `scratch`, a private folder made in the system's temporary folder
  // when empty, and removed when the run ends.
  explicit RestoreRun(env::Env* env = env::Env::Default(), std::string scratch = "");
  ~RestoreRun();
  RestoreRun(const RestoreRun&) = delete;
  RestoreRun& operator=(const RestoreRun&) = delete;

  bool Read(const std::string& archive, std::string* error);
  int tables() const { return static_cast<int>(tables_.size()); }
  int checked() const { return checked_; }
  // Checks the next table; false with `error` naming it.
  bool CheckNext(std::string* error);
  bool all_checked() const { return checked_ >= tables(); }

  // The labels of the tables `folder` already holds (any of the program's).
  static std::vector<std::string> Existing(const std::string& folder,
                                           env::Env* env = env::Env::Default());
  // Restores into `folder` (made when missing), after finishing or undoing
  // a restore that was interrupted there. With tables there already,
  // `replace` must be true. Every table must have been checked.
  bool Write(const std::string& folder, bool replace, std::string* error);

  // "8 tables and 2 pictures" and where outside pictures went.
  std::string Summary() const;

 private:
  struct Member {
    std::string name;
    std::string copy;  // the unpacked file in the private folder
    uint64_t size = 0;
    uint32_t crc = 0;
    uint32_t mode = 0600;
  };
  struct Picture {
    size_t member;
    std::string target;  // below the data folder
  };
  bool MakeScratch(std::string* error);
  bool Unpack(ArchiveReader* reader, const ArchiveEntry& entry, std::string* error);
  bool CheckList(const std::string& archive, std::string* error);
  bool CheckTargets(const std::string& folder, std::vector<std::string>* targets,
                    std::vector<const Member*>* sources, std::string* error);
  bool Stage(const std::string& from, const std::string& to, uint32_t mode, std::string* error);

  env::Env* env_;
  std::string archive_;
  std::string scratch_;
  bool own_scratch_ = false;
  bool have_list_ = false;
  std::string list_;
  std::vector<Member> members_;
  std::vector<size_t> tables_;
  std::vector<Picture> pictures_;
  int checked_ = 0;
  int outside_ = 0;
};

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_DATA_RESTORE_H_
