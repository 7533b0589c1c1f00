#include "ui/engine/help_topic.h"

namespace vorsandt::ui {

std::string HelpTopicOf(std::string_view window_label) {
  std::string topic;
  bool gap = false;
  for (char ch : window_label) {
    char c = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      if (gap && !topic.empty()) topic.push_back('-');
      gap = false;
      topic.push_back(c);
    } else {
      gap = true;
    }
  }
  return topic;
}

}  // namespace vorsandt::ui
