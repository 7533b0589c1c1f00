// The names of the manual's sections that the program opens help at.
//
// Every window has a section whose anchor is made from its definition's
// name: lowercased, each run of characters other than a-z and 0-9 turned
// into one "-", with none left at either end ("BROWSECLA:ITEM_REF$QUICKWINDOW"
// is "browsecla-item-ref-quickwindow"). The manual's writers name their
// anchors by the same rule, so a window and its section cannot drift apart
// without the manual's coverage test noticing.
#ifndef VORSANDT_UI_ENGINE_HELP_TOPIC_H_
#define VORSANDT_UI_ENGINE_HELP_TOPIC_H_

#include <string>
#include <string_view>

namespace vorsandt::ui {

// The manual's contents and its chapter on the help window itself.
inline constexpr char kHelpContentsTopic[] = "contents";
inline constexpr char kHelpOnHelpTopic[] = "using-help";

// The anchor of the section about the window defined as `window_label`.
std::string HelpTopicOf(std::string_view window_label);

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_HELP_TOPIC_H_
