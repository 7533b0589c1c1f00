// The runtime's text stack: text arguments and text results of runtime
// operations travel here rather than in argument arrays.
//
// 32 entries. An entry either owns its text (freed when popped) or refers to
// text owned elsewhere; short texts the runtime makes itself (numbers turned
// into text) live in a 20-byte inline buffer. A push onto a full stack is
// ignored, so a runaway caller can lose texts but never memory.
#ifndef VORSANDT_RUNTIME_FILES_TEXT_STACK_H_
#define VORSANDT_RUNTIME_FILES_TEXT_STACK_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vorsandt::files {

class TextStack {
 public:
  static constexpr int kCapacity = 32;
  static constexpr size_t kInlineSize = 20;
  static constexpr size_t kKeptCapacity = 4096;

  TextStack() = default;
  TextStack(TextStack&&) noexcept;
  TextStack& operator=(TextStack&&) noexcept;
  TextStack(const TextStack&) = delete;
  TextStack& operator=(const TextStack&) = delete;

  // Pushes a copy of `text` (inline when it fits, else owned).
  void Push(std::string_view text);
  // Pushes a reference to `text`; the caller keeps it alive until popped.
  void PushBorrowed(const char* text, size_t length);
  // Pushes the decimal form of `value` in the inline buffer.
  void PushNumber(int64_t value);

  // Pops the top entry as an owned text; nullopt when the stack is empty.
  std::optional<std::string> Pop();
  // Pops the top entry into `out`, reusing its storage; false (and `out`
  // emptied) when the stack is empty.
  bool PopInto(std::string* out);
  // The top entry without removing it; empty view when the stack is empty.
  std::string_view Top() const;

  int Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  void Clear();

 private:
  struct Entry {
    uint8_t kind = 0;  // bit 0: `owned` holds the text
    const char* text = nullptr;
    size_t length = 0;
    char inline_buffer[kInlineSize] = {};
    // Kept between pushes, so that a slot that carries a long text again
    // and again (a position per row of a browse page) allocates it once;
    // a buffer over kKeptCapacity is given back on pop.
    std::string owned;
  };

  Entry* NextSlot();

  std::array<Entry, kCapacity> entries_;
  int size_ = 0;
};

// The text stack of the running procedure: part of its ThreadState
// (thread_state.h), which the window engine installs whole when the run
// permission passes between threads, so each procedure sees only its own
// entries.
TextStack& Texts();

}  // namespace vorsandt::files

#endif  // VORSANDT_RUNTIME_FILES_TEXT_STACK_H_
