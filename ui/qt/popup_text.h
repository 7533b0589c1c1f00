// Popup menu texts as procedures write them: items separated by "|", "&"
// before the access letter, "~" before an item shown disabled, and "-" for a
// separator line. Empty items (a text beginning with "|") are skipped, and
// every other item is numbered from 1 in order: the number is what the popup
// returns when the item is chosen.
#ifndef VORSANDT_UI_QT_POPUP_TEXT_H_
#define VORSANDT_UI_QT_POPUP_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::ui::qt {

struct PopupItem {
  int number = 0;          // 0 for a separator
  std::string text;        // with its "&", without "~"
  bool disabled = false;
  bool separator = false;
};

std::vector<PopupItem> ParsePopupText(std::string_view text);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_POPUP_TEXT_H_
