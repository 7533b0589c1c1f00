// Which processes hold a file open, as the system's process table shows
// them. A restore replaces tables only when no program has them open: the
// tables' own locks are held only for the length of each call, so they
// cannot tell a program that merely has a table open.
#ifndef VORSANDT_APP_BACKUP_OPEN_FILES_H_
#define VORSANDT_APP_BACKUP_OPEN_FILES_H_

#include <string>
#include <vector>

namespace vorsandt::backup {

struct OpenBy {
  std::string path;  // one of the paths asked about
  int process;       // its holder's process id (this process's own included)
};

// Every (path, process) where the process has the file open. Processes of
// other users whose open files cannot be read are not seen.
std::vector<OpenBy> ProcessesUsing(const std::vector<std::string>& paths);

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_OPEN_FILES_H_
