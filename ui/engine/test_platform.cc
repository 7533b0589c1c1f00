#include "ui/engine/test_platform.h"

namespace vorsandt::ui {

void TestPlatform::WindowOpened(const WindowState& state) {
  std::lock_guard<std::mutex> lock(mu_);
  windows_[state.id] = state;
}
void TestPlatform::WindowChanged(const WindowState& state) {
  std::lock_guard<std::mutex> lock(mu_);
  windows_[state.id] = state;
}
void TestPlatform::WindowClosed(WindowId id) {
  std::lock_guard<std::mutex> lock(mu_);
  windows_.erase(id);
}
int TestPlatform::ShowMessage(const MessageRequest& request) {
  std::lock_guard<std::mutex> lock(mu_);
  messages_.push_back(request);
  if (answers.empty()) return request.default_button;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}
int TestPlatform::ShowPopup(WindowId, const std::string&, int, int) {
  std::lock_guard<std::mutex> lock(mu_);
  if (answers.empty()) return 0;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}
std::optional<std::string> TestPlatform::ChooseFile(const FileRequest&) { return std::nullopt; }
bool TestPlatform::PrinterSetup(WindowId) { return false; }
void TestPlatform::StandardAction(WindowId window, int action) {
  std::lock_guard<std::mutex> lock(mu_);
  actions_.emplace_back(window, action);
}
void TestPlatform::ShowHelp(const HelpRequest& request) {
  std::lock_guard<std::mutex> lock(mu_);
  helps_.push_back(request);
}
std::vector<HelpRequest> TestPlatform::Helps() {
  std::lock_guard<std::mutex> lock(mu_);
  return helps_;
}
std::optional<WindowState> TestPlatform::State(WindowId id) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = windows_.find(id);
  if (it == windows_.end()) return std::nullopt;
  return it->second;
}
std::vector<MessageRequest> TestPlatform::Messages() {
  std::lock_guard<std::mutex> lock(mu_);
  return messages_;
}
std::vector<std::pair<WindowId, int>> TestPlatform::Actions() {
  std::lock_guard<std::mutex> lock(mu_);
  return actions_;
}

}  // namespace vorsandt::ui
