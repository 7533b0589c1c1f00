// Helpers shared by the window's sources; not part of the engine's interface.
#ifndef VORSANDT_UI_ENGINE_WINDOW_INTERNAL_H_
#define VORSANDT_UI_ENGINE_WINDOW_INTERNAL_H_

#include <charconv>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ui/engine/definition.h"
#include "ui/engine/platform.h"

namespace vorsandt::ui::internal {

inline int64_t ToNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  int64_t v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

// Controls whose text the user types or toggles into their variable.
inline bool Editable(Kind kind) {
  return kind == Kind::kEntry || kind == Kind::kTextBox || kind == Kind::kSpin ||
         kind == Kind::kCheck;
}

inline MenuState MenuFrom(const Node& node) {
  MenuState m;
  m.number = node.number;
  m.text = node.text;
  m.message = node.message;
  m.separator = node.separator;
  m.disabled = node.disabled;
  m.standard_action = node.standard_action;
  m.shortcut = node.shortcut_text;
  for (const Node& child : node.children) m.items.push_back(MenuFrom(child));
  return m;
}

inline MenuState* FindMenu(std::vector<MenuState>& menus, int number) {
  for (MenuState& m : menus) {
    if (m.number == number && number != 0) return &m;
    if (MenuState* found = FindMenu(m.items, number)) return found;
  }
  return nullptr;
}

}  // namespace vorsandt::ui::internal

#endif  // VORSANDT_UI_ENGINE_WINDOW_INTERNAL_H_
