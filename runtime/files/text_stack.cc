#include "runtime/files/text_stack.h"

#include <cstring>
#include <utility>

#include "runtime/files/thread_state.h"

namespace vorsandt::files {

TextStack& Texts() { return CurrentThreadState().texts; }

// Entries may point into their own inline buffer, so a move must re-aim them.
TextStack::TextStack(TextStack&& other) noexcept { *this = std::move(other); }

TextStack& TextStack::operator=(TextStack&& other) noexcept {
  if (this == &other) return *this;
  Clear();
  for (int i = 0; i < other.size_; ++i) {
    Entry& from = other.entries_[i];
    Entry& to = entries_[i];
    to.kind = from.kind;
    to.length = from.length;
    to.owned = std::move(from.owned);
    if (from.text == from.inline_buffer) {
      std::memcpy(to.inline_buffer, from.inline_buffer, kInlineSize);
      to.text = to.inline_buffer;
    } else if (from.kind & 1) {
      to.text = to.owned.data();
    } else {
      to.text = from.text;
    }
    from.text = nullptr;
    from.length = 0;
    from.kind = 0;
  }
  size_ = other.size_;
  other.size_ = 0;
  return *this;
}

TextStack::Entry* TextStack::NextSlot() {
  if (size_ >= kCapacity) return nullptr;
  Entry* e = &entries_[size_++];
  e->kind = 0;
  return e;
}

void TextStack::Push(std::string_view text) {
  Entry* e = NextSlot();
  if (e == nullptr) return;
  e->length = text.size();
  if (text.size() <= kInlineSize) {
    std::memcpy(e->inline_buffer, text.data(), text.size());
    e->text = e->inline_buffer;
  } else {
    e->owned.assign(text);
    e->text = e->owned.data();
    e->kind = 1;
  }
}

void TextStack::PushBorrowed(const char* text, size_t length) {
  Entry* e = NextSlot();
  if (e == nullptr) return;
  e->text = text;
  e->length = length;
}

void TextStack::PushNumber(int64_t value) { Push(std::to_string(value)); }

std::optional<std::string> TextStack::Pop() {
  std::string result;
  if (!PopInto(&result)) return std::nullopt;
  return result;
}

bool TextStack::PopInto(std::string* out) {
  out->clear();
  if (size_ == 0) return false;
  Entry& e = entries_[--size_];
  if (e.text != nullptr) out->assign(e.text, e.length);
  if (e.owned.capacity() > kKeptCapacity) std::string().swap(e.owned);
  e.text = nullptr;
  e.length = 0;
  e.kind = 0;
  return true;
}

std::string_view TextStack::Top() const {
  if (size_ == 0) return {};
  const Entry& e = entries_[size_ - 1];
  return std::string_view(e.text == nullptr ? "" : e.text, e.length);
}

void TextStack::Clear() {
  while (size_ > 0) Pop();
}

}  // namespace vorsandt::files
