// The key spread: 100 key values that divide the range between the first and
// the last key of an order evenly, so that the scroll thumb of a list can be
// placed (and dropped) by a key value instead of by counting records.
//
// The generator reads the four characters after the common prefix of the two
// ends as a four-digit number whose digits are the characters' places in an
// alphabet (base alphabet size + 1, 0 for a character outside it), steps from
// the low number to the high one in 99 equal steps and turns each step back
// into characters.
#ifndef VORSANDT_APP_BROWSE_KEY_SPREAD_H_
#define VORSANDT_APP_BROWSE_KEY_SPREAD_H_

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::app {

inline constexpr int kSpreadValues = 100;
inline constexpr int kSpreadDigits = 4;

// Alphabet flags of the generator.
namespace spread {
inline constexpr int kUpper = 1;        // upper-case letters; both ends are upper-cased
inline constexpr int kPunctuation = 2;  // the 30 punctuation characters, space last
inline constexpr int kDigits = 4;       // 0-9
inline constexpr int kLower = 8;        // with kUpper: lower-case letters too
}  // namespace spread

// The characters 1 to 255 the flags admit, in ascending code order.
std::string SpreadAlphabet(int flags);

class SpreadGenerator {
 public:
  // A non-zero `letters_only` forces the flags to kUpper. `width` cuts both
  // ends and every value.
  SpreadGenerator(std::string_view high, std::string_view low, int width, int flags,
                  int letters_only = 0);
  // Value `i` of 1 to 100 (1 the low end, 100 the high end).
  std::string Value(int i) const;
  // The next value, starting with value 1; after value 100 it repeats value 100.
  std::string Next();

  const std::string& prefix() const { return prefix_; }
  const std::string& alphabet() const { return alphabet_; }
  double low_number() const { return low_number_; }
  double high_number() const { return high_number_; }

 private:
  double Number(std::string_view tail) const;
  std::string Digits(double number) const;

  std::string alphabet_;
  std::string prefix_;
  std::string low_tail_;
  std::string high_tail_;
  double low_number_ = 0;
  double high_number_ = 0;
  int width_ = 0;
  int next_ = 1;
};

// 100 values from the generator (entries 1 to 100 at indexes 0 to 99).
std::vector<std::string> BuildSpread(std::string_view high, std::string_view low, int width,
                                     int flags);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_KEY_SPREAD_H_
