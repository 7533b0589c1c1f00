// The swap that ends a restore: every restored file is first written aside
// in the data folder, under its own name with kStagedSuffix, and flushed;
// then all of them are put in place together. Whatever stops the restore
// (a full disk, a failed flush, the process killed), the folder holds every
// file it held before or every file restored, never some of each, once
// RecoverRestore has run (the program runs it at every start and before
// every restore).
//
// Invariants:
//  - The plan (kPlanName) names every file the restore will put in place.
//    It is complete and flushed before the first staged file is made, so a
//    staged file never exists without a plan that names it.
//  - The journal (kJournalName) is the plan renamed once every staged file
//    is complete and flushed. Its appearance is the commit point: with the
//    plan only, recovery removes the staged files and the old files stay;
//    with the journal, recovery renames every staged file still there over
//    its file, which gives the restored set.
//  - Each file is put in place by one rename of its staged copy over it, so
//    no file is ever seen half written. The journal is removed after the
//    last rename, the plan after the last staged file is removed.
#ifndef VORSANDT_APP_BACKUP_RESTORE_SWAP_H_
#define VORSANDT_APP_BACKUP_RESTORE_SWAP_H_

#include <string>
#include <vector>

#include "runtime/env/env.h"

namespace vorsandt::backup {

inline constexpr char kPlanName[] = "VORSANDT-RESTORE.plan";
inline constexpr char kJournalName[] = "VORSANDT-RESTORE.journal";
inline constexpr char kStagedSuffix[] = ".~restore";

class RestoreSwap {
 public:
  RestoreSwap(env::Env* env, std::string folder) : env_(env), folder_(std::move(folder)) {}
  // A swap that was planned and not committed is undone: the staged files
  // and the plan are removed.
  ~RestoreSwap();
  RestoreSwap(const RestoreSwap&) = delete;
  RestoreSwap& operator=(const RestoreSwap&) = delete;

  // Writes and flushes the plan for `files` (paths relative to the folder,
  // without "." or ".." parts, tabs or line ends). No plan or journal may be
  // in the folder (RecoverRestore first).
  bool Plan(const std::vector<std::string>& files, std::string* error);
  // The path a file's restored copy is written to before the swap.
  std::string StagedPath(const std::string& file) const;
  // The commit point: every staged file must be complete and flushed.
  bool Commit(std::string* error);
  // Puts every staged file in place and removes the journal. A failure
  // leaves the journal, so the next start finishes the swap; `*error` says
  // so.
  bool Apply(std::string* error);
  // Undoes a swap not yet committed (also done by the destructor).
  void Abandon();

 private:
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  env::Env* env_;
  std::string folder_;
  std::vector<std::string> files_;
  bool planned_ = false;
  bool committed_ = false;
};

// Finishes or undoes a restore that was interrupted in `folder`. True when
// the folder holds no swap any more; `*what` then says what was done ("" when
// there was nothing to do). False with `*error` when a file could not be
// renamed or removed: the plan or journal stays for the next try.
bool RecoverRestore(env::Env* env, const std::string& folder, std::string* what,
                    std::string* error);

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_RESTORE_SWAP_H_
