#include "ui/qt/popup_text.h"

namespace vorsandt::ui::qt {

std::vector<PopupItem> ParsePopupText(std::string_view text) {
  std::vector<PopupItem> items;
  int number = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t bar = text.find('|', start);
    if (bar == std::string_view::npos) bar = text.size();
    std::string_view part = text.substr(start, bar - start);
    start = bar + 1;
    if (part.empty()) continue;
    PopupItem item;
    if (part == "-") {
      item.separator = true;
    } else {
      if (part.front() == '~') {
        item.disabled = true;
        part.remove_prefix(1);
      }
      item.number = ++number;
      item.text = std::string(part);
    }
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace vorsandt::ui::qt
