// A box that tells the user why something was refused, owned by the form's
// window so that the focus comes back to it when the box is answered.
#ifndef VORSANDT_APP_FORM_EXCLAMATION_H_
#define VORSANDT_APP_FORM_EXCLAMATION_H_

#include <string>

#include "ui/engine/engine.h"
#include "ui/engine/window.h"

namespace vorsandt::app {

inline void Exclaim(const ui::Window& window, const std::string& text, const std::string& caption) {
  ui::MessageRequest request;
  request.text = text;
  request.caption = caption;
  request.icon = ui::Icon::kExclamation;
  request.owner = window.id();
  ui::Engine::Current()->Message(request);
}

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_FORM_EXCLAMATION_H_
