#include "app/browse/key_spread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vorsandt::app {
namespace {

TEST(SpreadAlphabet, FlagsAdmitTheirCharactersInCodeOrder) {
  EXPECT_EQ(SpreadAlphabet(spread::kUpper), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(SpreadAlphabet(spread::kUpper | spread::kLower),
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  // Lower case only together with upper case.
  EXPECT_EQ(SpreadAlphabet(spread::kLower), "");
  EXPECT_EQ(SpreadAlphabet(spread::kDigits), "0123456789");
  const std::string punctuation = SpreadAlphabet(spread::kPunctuation);
  ASSERT_EQ(punctuation.size(), 30u);
  EXPECT_EQ(punctuation.front(), ' ');
  EXPECT_EQ(punctuation.back(), '\xA3');  // the pound sign of the ANSI set, highest code
  EXPECT_TRUE(std::is_sorted(punctuation.begin(), punctuation.end(), [](char a, char b) {
    return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
  }));
  for (char c : std::string("`!\"$%^&*()'-=_+][#;~@:/.,?\\|")) {
    EXPECT_NE(punctuation.find(c), std::string::npos) << c;
  }
  EXPECT_EQ(SpreadAlphabet(spread::kUpper | spread::kDigits | spread::kPunctuation).size(), 66u);
}

TEST(SpreadGenerator, FourCharactersAfterThePrefixAreDigitsOfBaseAlphabetPlusOne) {
  SpreadGenerator g("ZZZZ", "AAAA", 30, spread::kUpper);
  EXPECT_EQ(g.prefix(), "");
  // Base 27: A is 1, Z is 26.
  EXPECT_EQ(g.low_number(), 1 * 19683 + 1 * 729 + 1 * 27 + 1);
  EXPECT_EQ(g.high_number(), 26 * 20440);
  EXPECT_EQ(g.Value(1), "AAAA");
  EXPECT_EQ(g.Value(2), "AHCE");   // 20440 + 5161.6 -> 25601 = 1,8,3,5
  EXPECT_EQ(g.Value(50), "MWZK");  // 20440 + 49 steps -> 273359 = 13,23,26,11
  EXPECT_EQ(g.Value(99), "ZSXU");
  EXPECT_EQ(g.Value(100), "ZZZZ");
}

TEST(SpreadGenerator, CommonPrefixStartsEveryValueAndEndsAreUpperCased) {
  SpreadGenerator g("Smythe", "smith", 30, spread::kUpper);
  EXPECT_EQ(g.prefix(), "SM");
  EXPECT_EQ(g.Value(1), "SMITH");
  EXPECT_EQ(g.Value(100), "SMYTHE");
  EXPECT_EQ(g.Value(51), "SMQVM");  // a zero digit is a blank (trailing ones dropped)
  for (int i = 1; i <= kSpreadValues; ++i) EXPECT_EQ(g.Value(i).substr(0, 2), "SM") << i;
  // Characters outside the alphabet count 0; a short end is padded with 0s.
  SpreadGenerator short_ends("C", "A", 30, spread::kUpper);
  EXPECT_EQ(short_ends.Value(2), "A NS");
  // The width cuts the ends and the values.
  SpreadGenerator narrow("ABCDEFGH", "ABCDAAAA", 6, spread::kUpper);
  EXPECT_EQ(narrow.prefix(), "ABCD");
  EXPECT_EQ(narrow.Value(100), "ABCDEF");
}

TEST(SpreadGenerator, LettersOnlyArgumentForcesTheUpperCaseAlphabet) {
  SpreadGenerator g("zz", "aa", 30, spread::kDigits | spread::kLower, /*letters_only=*/1);
  EXPECT_EQ(g.alphabet(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(g.Value(1), "AA");
}

TEST(BuildSpread, HundredValuesFromLowToHighInOrder) {
  std::vector<std::string> values = BuildSpread("WILSON", "ADAMS", 30, spread::kUpper);
  ASSERT_EQ(values.size(), 100u);
  EXPECT_EQ(values.front(), "ADAM");  // four characters after the (empty) prefix
  EXPECT_EQ(values.back(), "WILS");
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  // Equal ends: every value is that key.
  std::vector<std::string> same = BuildSpread("OAK", "OAK", 30, spread::kUpper);
  EXPECT_EQ(std::count(same.begin(), same.end(), "OAK"), 100);
  // Digits: 0 to 9 spread in base 11.
  std::vector<std::string> digits = BuildSpread("9999", "0000", 4, spread::kDigits);
  EXPECT_EQ(digits.front(), "0000");
  EXPECT_EQ(digits.back(), "9999");
  EXPECT_TRUE(std::is_sorted(digits.begin(), digits.end()));
}

}  // namespace
}  // namespace vorsandt::app
