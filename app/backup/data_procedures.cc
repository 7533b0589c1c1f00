// File -> "Back Up Data..." and "Restore Data...": the archive chosen in the
// platform's file dialog, the work behind a progress window with Cancel,
// the outcome in a message.
#include <cctype>
#include <filesystem>
#include <optional>

#include "app/backup/data_backup.h"
#include "app/backup/data_restore.h"
#include "app/backup/progress_window.h"
#include "app/frame/main_frame.h"
#include "app/messages/warning_message.h"
#include "ui/engine/engine.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {
namespace {

constexpr char kArchiveMask[] = "Backups (*.tar.gz)|*.tar.gz|All Files (*.*)|*.*";
constexpr char kArchiveName[] = "VORSANDT-BACKUP.tar.gz";

std::optional<std::string> ChooseArchive(const char* title, bool save) {
  ui::FileRequest request;
  request.title = title;
  request.mask = kArchiveMask;
  request.file_name = save ? kArchiveName : "";
  request.save = save;
  std::optional<std::string> chosen = ui::Engine::Current()->ChooseFile(request);
  if (chosen && chosen->empty()) chosen.reset();
  return chosen;
}

std::string DataFolder() {
  std::error_code ec;
  return std::filesystem::current_path(ec).string();
}

int Percent(int done, int total) { return total <= 0 ? 100 : done * 100 / total; }

// The reason as a sentence of a message.
std::string Sentence(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text + ".";
}

}  // namespace

void BackUpData() {
  ui::RequestCode() = 0;
  ui::ResponseCode() = ui::response::kCancelled;
  const std::optional<std::string> archive = ChooseArchive("Back Up Data", true);
  if (!archive) return;
  backup::BackupRun run;
  std::string error;
  bool begun = false;
  const backup::RunResult result =
      backup::RunWithProgress("Back Up Data", [&](int* percent, std::string* what) {
        if (!begun) {
          begun = true;
          *what = "Taking the snapshot of the tables";
          return run.Begin(*archive, &error) ? backup::StepResult::kMore
                                             : backup::StepResult::kFailed;
        }
        if (!run.finished()) {
          if (!run.Step(&error)) return backup::StepResult::kFailed;
          *what = "Writing the archive";
          *percent = Percent(run.done(), run.steps());
          return backup::StepResult::kMore;
        }
        return run.Finish(&error) ? backup::StepResult::kDone : backup::StepResult::kFailed;
      });
  if (result != backup::RunResult::kDone) run.Cancel();
  if (result == backup::RunResult::kCancelled) {
    WarningMessage(MessageId::kBackupCancelled);
  } else if (result == backup::RunResult::kFailed) {
    WarningMessage(MessageId::kBackupError, Sentence(error));
  } else {
    WarningMessage(MessageId::kBackedUp, run.Summary(), *archive);
    ui::ResponseCode() = ui::response::kCompleted;
  }
}

void RestoreData() {
  ui::RequestCode() = 0;
  ui::ResponseCode() = ui::response::kCancelled;
  const std::optional<std::string> archive = ChooseArchive("Restore Data", false);
  if (!archive) return;
  backup::RestoreRun run;
  std::string error;
  bool read = false;
  const backup::RunResult result =
      backup::RunWithProgress("Restore Data", [&](int* percent, std::string* what) {
        if (!read) {
          read = true;
          *what = "Reading the archive";
          return run.Read(*archive, &error) ? backup::StepResult::kMore
                                            : backup::StepResult::kFailed;
        }
        if (run.all_checked()) return backup::StepResult::kDone;
        if (!run.CheckNext(&error)) return backup::StepResult::kFailed;
        *what = "Checking the tables";
        *percent = Percent(run.checked(), run.tables());
        return backup::StepResult::kMore;
      });
  if (result == backup::RunResult::kCancelled) {
    WarningMessage(MessageId::kRestoreCancelled);
    return;
  }
  if (result == backup::RunResult::kFailed) {
    WarningMessage(MessageId::kRestoreError, Sentence(error));
    return;
  }
  const std::vector<std::string> existing = backup::RestoreRun::Existing(".");
  std::string names;
  for (const std::string& label : existing) names += (names.empty() ? "" : ", ") + label;
  if (!existing.empty() && WarningMessage(MessageId::kRestoreReplace, DataFolder(), names,
                                          *archive) != ui::button::kYes) {
    WarningMessage(MessageId::kRestoreCancelled);
    return;
  }
  if (!run.Write(".", !existing.empty(), &error)) {
    WarningMessage(MessageId::kRestoreError, Sentence(error));
    return;
  }
  WarningMessage(MessageId::kRestored, run.Summary(), *archive);
  ui::ResponseCode() = ui::response::kCompleted;
}

VORSANDT_PROCEDURE(BackUpData);
VORSANDT_PROCEDURE(RestoreData);

}  // namespace vorsandt::app
