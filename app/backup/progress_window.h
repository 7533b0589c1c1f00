// Long work in steps behind a progress window with Cancel: each timer tick
// of the window runs one step, so the window stays live and Cancel is heard
// between steps.
#ifndef VORSANDT_APP_BACKUP_PROGRESS_WINDOW_H_
#define VORSANDT_APP_BACKUP_PROGRESS_WINDOW_H_

#include <functional>
#include <string>

namespace vorsandt::backup {

inline constexpr char kProgressWindowId[] = "ZELTAR3$ZELTA_BK";
inline constexpr char kProgressLabel[] = "DATAFOLDER$PROGRESSWINDOW";

enum class StepResult { kMore, kDone, kFailed };
enum class RunResult { kDone, kFailed, kCancelled };

// One step: does a piece of the work and says what comes next (`*what`) and
// how far the work has come (`*percent`, 0 to 100).
using Step = std::function<StepResult(int* percent, std::string* what)>;

// Runs `step` until it is done or fails, or the user cancels, in a progress
// window captioned `caption`.
RunResult RunWithProgress(const std::string& caption, const Step& step);

}  // namespace vorsandt::backup

#endif  // VORSANDT_APP_BACKUP_PROGRESS_WINDOW_H_
