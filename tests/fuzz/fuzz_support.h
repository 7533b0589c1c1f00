// Shared pieces of the fuzz targets.
//
// Every target is a LLVMFuzzerTestOneInput in its own file. It is linked
// either with libFuzzer (the VORSANDT_LIBFUZZER build, under clang with the
// address and undefined-behaviour sanitizers) or with standalone_main.cc,
// which replays the committed seeds and a fixed number of seeded mutations
// so that the ordinary test run exercises every target briefly.
//
// A broken invariant ends the process through FUZZ_CHECK: the message goes
// to stderr and abort() follows, which both drivers report as a crash with
// the input that caused it.
#ifndef VORSANDT_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define VORSANDT_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorsandt::fuzz {

// Prints "fuzz invariant broken: <what> (<file>:<line>)" and aborts.
[[noreturn]] void Fail(const char* what, const char* file, int line, const std::string& detail);

#define FUZZ_CHECK(condition)                                                    \
  do {                                                                           \
    if (!(condition)) ::vorsandt::fuzz::Fail(#condition, __FILE__, __LINE__, ""); \
  } while (0)
#define FUZZ_CHECK_MSG(condition, detail)                                            \
  do {                                                                               \
    if (!(condition)) ::vorsandt::fuzz::Fail(#condition, __FILE__, __LINE__, detail); \
  } while (0)

// Reads a fuzz input from the front: small numbers that steer a target
// (options, lengths) and then the rest as the data under test. Reading past
// the end yields zeros, so every input is usable.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t U16() {
    uint32_t low = Byte();
    return low | (uint32_t{Byte()} << 8);
  }
  bool Bool() { return (Byte() & 1) != 0; }
  // A text up to the next `stop` byte (consumed, not included), at most
  // `limit` bytes.
  std::string TextUntil(char stop, size_t limit);
  // Everything not read yet.
  std::string_view Rest() const {
    return {reinterpret_cast<const char*>(data_) + at_, size_ - at_};
  }
  size_t remaining() const { return size_ - at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The text as printable escapes, for failure messages ("a\x00b").
std::string Escaped(std::string_view text, size_t limit = 200);

}  // namespace vorsandt::fuzz

#endif  // VORSANDT_TESTS_FUZZ_FUZZ_SUPPORT_H_
