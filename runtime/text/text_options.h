// The per-file options of a text file and the option commands that read and
// change them (sent as command texts, or declared in the file's driver text).
//
// Command grammar (names and values compare without regard to letter case,
// blanks around names and values are ignored):
//   command := name [ "=" value ]
//   name    := "CLIP" | "TAB" | "ENDOFRECORD" | "FILEBUFFERS" | "QUICKSCAN"
// The reply is the option's value after the command, so a command without
// "=" just asks. A value that does not parse leaves the option as it was.
#ifndef VORSANDT_RUNTIME_TEXT_TEXT_OPTIONS_H_
#define VORSANDT_RUNTIME_TEXT_TEXT_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorsandt::text {

// Tab handling when reading: 0 drops the tab, kTabKeep keeps it, another
// negative -n writes n blanks, a positive n writes blanks up to the next
// multiple of n columns.
inline constexpr int32_t kTabKeep = -100;
inline constexpr int32_t kDefaultTab = 8;
inline constexpr size_t kBufferUnit = 512;
// Limits on what option commands accept, so that a stray command cannot ask
// for absurd buffers or an end-of-record sequence no line could contain.
inline constexpr int32_t kMaxFileBuffers = 1024;
inline constexpr size_t kMaxEndOfRecord = 8;

struct TextOptions {
  bool clip = true;  // trailing blanks are not written
  int32_t tab = kDefaultTab;
  std::string end_of_record = "\r\n";  // never empty
  int32_t file_buffers = 1;            // read buffer = file_buffers × 512 bytes
  bool quickscan = false;              // cache the file size between reads
};

// Applies `command` to `options` and sets `*reply` to the option's current
// value. Returns false (reply empty) when the command names no option.
bool ApplyOption(std::string_view command, TextOptions* options, std::string* reply);

// Applies the options of a declared driver text, each introduced by "/"
// ("/CLIP=OFF/TAB=4"); text before the first "/" and unknown names are ignored.
void ApplyDriverText(std::string_view text, TextOptions* options);

// Parses a decimal number with an optional sign; nullopt when `text` is not
// one or does not fit in 32 bits.
std::optional<int32_t> ParseDecimal(std::string_view text);

}  // namespace vorsandt::text

#endif  // VORSANDT_RUNTIME_TEXT_TEXT_OPTIONS_H_
