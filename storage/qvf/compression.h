// Run-length compression of a page's entry area.
//
// The compressed form is a sequence of groups: a literal count L (unsigned
// variable-length number, 7 bits per byte, least significant first, bit 7 set
// when another byte follows), L literal bytes, and a repeat count R: the last
// literal byte is repeated R more times. Expansion stops as soon as the
// expanded size is reached, which may be right after a group's literals (the
// final group has no repeat count).
#ifndef VORSANDT_STORAGE_QVF_COMPRESSION_H_
#define VORSANDT_STORAGE_QVF_COMPRESSION_H_

#include <string>
#include <string_view>

namespace vorsandt::qvf {

// Runs shorter than this are left as literals.
inline constexpr size_t kMinRun = 4;

// Compresses `in`. Returns false (and leaves `*out` empty) when `in` holds no
// run of kMinRun or more equal bytes: such input is stored plain.
bool Compress(std::string_view in, std::string* out);

// Expands `in` to exactly `expanded_size` bytes. Returns false when the input
// is malformed: it ends early, a count overruns the size, or a repeat has no
// byte to repeat.
bool Expand(std::string_view in, size_t expanded_size, std::string* out);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_COMPRESSION_H_
