// The backup and restore from the command line:
//
//   vorsandt [--data DIR] --backup FILE
//       writes the backup archive FILE of the data folder's tables and the
//       pictures the items name; exit 0, or 1 with the reason on standard
//       error (FILE is then left as it was)
//   vorsandt [--data DIR] --restore FILE [--replace]
//       checks the archive FILE whole (every member as listed, every table
//       through the storage check) and restores it into DIR (made when
//       missing). A folder that already holds tables is refused unless
//       --replace is given, and even then while a program has one of them
//       open. Exit 0, or 1 with the reason; a refused archive writes nothing
//       into DIR.
#ifndef VORSANDT_APP_BACKUP_BACKUP_COMMAND_H_
#define VORSANDT_APP_BACKUP_BACKUP_COMMAND_H_

#include <string>

namespace vorsandt::backup {

// In the data folder (the working directory), tables declared already.
int BackupCommand(const std::string& archive);
// Into `folder`, which need not exist yet.
int RestoreCommand(const std::string& archive, const std::string& folder, bool replace);

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_BACKUP_COMMAND_H_
