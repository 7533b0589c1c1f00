#include "app/backup/progress_window.h"

#include "ui/engine/engine.h"
#include "ui/engine/use_variable.h"

namespace vorsandt::backup {

RunResult RunWithProgress(const std::string& caption, const Step& step) {
  std::unique_ptr<ui::Window> window =
      ui::Engine::Current()->CreateWindow(kProgressWindowId, kProgressLabel);
  int32_t bar_value = 0;
  std::string what;
  window->Bind("barValue", ui::BindLong(&bar_value));
  window->Bind("userString", ui::BindText(&what, 80));
  const int bar = window->FieldOf("barValue");
  const int percent_field = window->FieldOf("?PercentDone");
  const int cancel = window->FieldOf("?Cancel");
  const int text = window->FieldOf("userString");
  window->Open();
  window->SetProperty(0, ui::prop::kText, caption);
  window->SetProperty(percent_field, ui::prop::kText, "0% Completed");

  RunResult result = RunResult::kCancelled;
  bool ended = false;
  while (window->Accept()) {
    switch (window->Event()) {
      case ui::event::kTimer: {
        if (ended) break;
        int percent = bar_value;
        const StepResult r = step(&percent, &what);
        if (r != StepResult::kMore) {
          result = r == StepResult::kDone ? RunResult::kDone : RunResult::kFailed;
          ended = true;
          window->Post(ui::event::kCloseWindow);
          break;
        }
        bar_value = percent;
        window->SetProperty(percent_field, ui::prop::kText,
                            std::to_string(percent) + "% Completed");
        window->Display(bar);
        window->Display(text);
        window->Display(percent_field);
        break;
      }
      case ui::event::kAccepted:
        if (window->Field() == cancel && !ended) {
          ended = true;
          window->Post(ui::event::kCloseWindow);
        }
        break;
      default:
        break;
    }
  }
  window->Close();
  return result;
}

}  // namespace vorsandt::backup
