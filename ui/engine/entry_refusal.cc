#include "ui/engine/entry_refusal.h"

#include <optional>

#include "runtime/format/picture.h"
#include "runtime/format/picture_hint.h"
#include "ui/engine/window.h"

namespace vorsandt::ui {
namespace {

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The prompt as the user reads it: "&&" is an ampersand, a lone "&" only
// marks the access key.
std::string PromptName(std::string_view prompt) {
  std::string out;
  for (size_t i = 0; i < prompt.size(); ++i) {
    if (prompt[i] == '&' && i + 1 < prompt.size() && prompt[i + 1] == '&') {
      out += '&';
      ++i;
    } else if (prompt[i] != '&') {
      out += prompt[i];
    }
  }
  out = std::string(Trimmed(out));
  if (!out.empty() && out.back() != ':') out += ':';
  return out;
}

// "Enter it as day/month/year, for example 4/07/96." and the like.
std::string WhatToEnter(std::string_view what, const std::optional<format::Picture>& picture) {
  const std::string words = picture ? format::LayoutInWords(*picture) : std::string();
  const std::string example = picture ? format::ExampleOf(*picture) : std::string();
  std::string out = words.empty() ? "Enter " + std::string(what) : "Enter it as " + words;
  if (!example.empty()) out += ", for example " + example;
  return out + ".";
}

}  // namespace

std::string RefusalMessage(std::string_view prompt, std::string_view typed,
                           std::string_view picture, Refusal why) {
  std::optional<format::Picture> compiled;
  if (!picture.empty()) compiled = format::CompilePicture(picture);
  std::string head = PromptName(prompt);
  if (!head.empty()) head += ' ';
  head += Trimmed(typed);
  switch (why) {
    case Refusal::kNotADate:
      return head + " is not a date. " + WhatToEnter("a date", compiled);
    case Refusal::kNotATime:
      return head + " is not a time. " + WhatToEnter("a time", compiled);
    case Refusal::kNotANumber:
      return head + " is not a number. " + WhatToEnter("a number", compiled);
    case Refusal::kTooLarge:
      return head + " is too large for this entry. " + WhatToEnter("a smaller number", compiled);
    case Refusal::kTooSmall:
      return head + " is too small for this entry. " + WhatToEnter("a larger number", compiled);
    case Refusal::kNone:
      break;
  }
  return head + " cannot be stored here.";
}

std::string Window::RefusalText(int field) const {
  const ControlModel* c = ControlAt(field);
  if (c == nullptr) return {};
  const std::string_view picture = PictureOf(*c);
  const Refusal why =
      c->variable != nullptr ? c->variable->WhyRefused(c->text, picture) : Refusal::kNone;
  // An entry's prompt stands before it; a few stand after it ("EXT:").
  std::string prompt;
  for (int near : {field - 1, field + 1}) {
    const ControlModel* p = ControlAt(near);
    if (p != nullptr && p->node->kind == Kind::kPrompt) {
      prompt = p->text.empty() ? p->node->text : p->text;
      break;
    }
  }
  if (prompt.empty()) prompt = UseName(*c->node);
  return RefusalMessage(prompt, c->text, picture, why);
}

}  // namespace vorsandt::ui
