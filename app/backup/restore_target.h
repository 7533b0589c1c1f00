// Where a restore may write: only below the data folder, and never through
// a symbolic link (a link already in the folder could point anywhere: a
// restore must not overwrite what it names, nor put files into the folder
// it names). Files themselves are made under fresh names with kOpenNoFollow
// and renamed into place (restore_swap.h); these checks cover the folders on
// the way and what the name holds now.
#ifndef VORSANDT_APP_BACKUP_RESTORE_TARGET_H_
#define VORSANDT_APP_BACKUP_RESTORE_TARGET_H_

#include <cstdint>
#include <string>

namespace vorsandt::backup {

// Checks the file `relative` below `folder` (a path without "." or ".."
// parts): every folder on the way is a real folder, not a link, or does not
// exist yet (made, when `make_folders`), and the file is missing or a
// regular file, not a link. False with `*error` naming the part that is not.
bool CheckTarget(const std::string& folder, const std::string& relative, bool make_folders,
                 std::string* error);

// The bytes free for this user in the file system of `path` (or of the
// nearest folder above it that exists); UINT64_MAX when it cannot be told.
uint64_t FreeBytes(const std::string& path);

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_RESTORE_TARGET_H_
