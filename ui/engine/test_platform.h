// A platform for the engine's own tests: keeps the last snapshot of every
// window and answers modal calls from queued answers.
#ifndef VORSANDT_UI_ENGINE_TEST_PLATFORM_H_
#define VORSANDT_UI_ENGINE_TEST_PLATFORM_H_

#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "ui/engine/platform.h"

namespace vorsandt::ui {

class TestPlatform : public Platform {
 public:
  void WindowOpened(const WindowState& state) override;
  void WindowChanged(const WindowState& state) override;
  void WindowClosed(WindowId id) override;
  int ShowMessage(const MessageRequest& request) override;
  int ShowPopup(WindowId owner, const std::string& text, int x, int y) override;
  std::optional<std::string> ChooseFile(const FileRequest& request) override;
  bool PrinterSetup(WindowId owner) override;
  void StandardAction(WindowId window, int action) override;
  void ShowHelp(const HelpRequest& request) override;

  std::optional<WindowState> State(WindowId id);
  std::vector<MessageRequest> Messages();
  std::vector<std::pair<WindowId, int>> Actions();
  std::vector<HelpRequest> Helps();
  std::deque<int> answers;  // message box buttons, popup items; set before use

 private:
  std::mutex mu_;
  std::map<WindowId, WindowState> windows_;
  std::vector<MessageRequest> messages_;
  std::vector<std::pair<WindowId, int>> actions_;
  std::vector<HelpRequest> helps_;
};

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_TEST_PLATFORM_H_
