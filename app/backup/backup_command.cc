#include "app/backup/backup_command.h"

#include <cstdio>

#include "app/backup/data_backup.h"
#include "app/backup/data_restore.h"

namespace vorsandt::backup {
namespace {

int Failed(const char* what, const std::string& error) {
  std::fprintf(stderr, "vorsandt: %s: %s\n", what, error.c_str());
  return 1;
}

}  // namespace

int BackupCommand(const std::string& archive) {
  BackupRun run;
  std::string error;
  if (!run.Begin(archive, &error)) return Failed("backup", error);
  while (!run.finished()) {
    if (!run.Step(&error)) return Failed("backup", error);
  }
  if (!run.Finish(&error)) return Failed("backup", error);
  std::printf("vorsandt: %s were backed up to %s\n", run.Summary().c_str(), archive.c_str());
  return 0;
}

int RestoreCommand(const std::string& archive, const std::string& folder, bool replace) {
  RestoreRun run;
  std::string error;
  if (!run.Read(archive, &error)) return Failed("restore", error);
  while (!run.all_checked()) {
    if (!run.CheckNext(&error)) return Failed("restore", error);
  }
  if (!run.Write(folder, replace, &error)) {
    if (!replace && !RestoreRun::Existing(folder).empty()) error += " (--replace)";
    return Failed("restore", error);
  }
  std::printf("vorsandt: %s were restored from %s into %s\n", run.Summary().c_str(),
              archive.c_str(), folder.c_str());
  return 0;
}

}  // namespace vorsandt::backup
