// The standalone driver's input generator: libFuzzer dictionaries read the
// way libFuzzer reads them, and deterministic mutations of seed inputs.
//
// It has no coverage feedback; it exists so that every build's test run puts
// each target through a few thousand inputs near the seeds. Long searches are
// libFuzzer's job (see README.md).
#ifndef VORSANDT_TESTS_FUZZ_MUTATOR_H_
#define VORSANDT_TESTS_FUZZ_MUTATOR_H_

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::fuzz {

// One dictionary line: `"text"` or `name="text"`, with \\ \" and \xNN escapes;
// blank lines and lines starting with "#" are skipped. nullopt for a line
// that is none of these (or an empty entry line).
std::optional<std::string> ParseDictionaryLine(std::string_view line, bool* is_entry);

// Every entry of a dictionary text; `*bad_line` (1-based) is set to the first
// malformed line, 0 when there is none.
std::vector<std::string> ParseDictionary(std::string_view text, int* bad_line);

class Mutator {
 public:
  Mutator(uint32_t seed, std::vector<std::string> dictionary, size_t max_length)
      : random_(seed), dictionary_(std::move(dictionary)), max_length_(max_length) {}

  // A new input: `base` changed by one to six random edits; `other` may be
  // spliced in. The result is never longer than max_length.
  std::string Mutate(const std::string& base, const std::string& other);

  uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(random_() % n); }

 private:
  void EditOnce(std::string* s, const std::string& other);

  std::mt19937 random_;
  std::vector<std::string> dictionary_;
  size_t max_length_;
};

}  // namespace vorsandt::fuzz

#endif  // VORSANDT_TESTS_FUZZ_MUTATOR_H_
