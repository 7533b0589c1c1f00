// The words an entry's refusal is told in: which entry (its prompt), what was
// typed and what the entry expects instead, with an example the entry's
// picture shows ("DATE BOUGHT: 31/02/26 is not a date. Enter it as
// day/month/year, for example 4/07/96."). Window::RefusalText finds the
// prompt and the reason for a control; this is the sentence itself.
#ifndef VORSANDT_UI_ENGINE_ENTRY_REFUSAL_H_
#define VORSANDT_UI_ENGINE_ENTRY_REFUSAL_H_

#include <string>
#include <string_view>

#include "ui/engine/use_variable.h"

namespace vorsandt::ui {

// `prompt` names the entry as its window shows it ("DATE BOUGHT:", "&Name";
// the access-key mark is dropped and a colon added when it has none);
// `typed` is what the entry shows; `picture` the entry's picture, which
// gives the layout and the example of dates and times and the example of
// numbers.
std::string RefusalMessage(std::string_view prompt, std::string_view typed,
                           std::string_view picture, Refusal why);

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_ENTRY_REFUSAL_H_
