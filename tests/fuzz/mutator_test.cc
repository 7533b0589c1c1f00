#include "tests/fuzz/mutator.h"

#include <gtest/gtest.h>

#include <set>

namespace vorsandt::fuzz {
namespace {

TEST(DictionaryLine, EntriesAndEscapes) {
  struct Case {
    const char* line;
    bool ok;
    bool entry;
    std::string value;
  };
  const Case cases[] = {
      {"\"@n-10.2\"", true, true, "@n-10.2"},
      {"kw1=\"AND\"", true, true, "AND"},
      {"  \"a\\\"b\"  ", true, true, "a\"b"},
      {"\"\\\\\"", true, true, "\\"},
      {"\"\\x0a\\xFF\"", true, true, std::string("\n\xff", 2)},
      {"# a comment", true, false, ""},
      {"", true, false, ""},
      {"\"\"", false, false, ""},          // an empty entry
      {"\"open", false, false, ""},        // unterminated
      {"name \"x\"", false, false, ""},    // no "="
      {"\"a\"b\"", false, false, ""},      // a bare quote inside
      {"\"\\q\"", false, false, ""},       // unknown escape
      {"\"\\x4\"", false, false, ""},      // short hex escape
  };
  for (const Case& c : cases) {
    bool entry = false;
    std::optional<std::string> value = ParseDictionaryLine(c.line, &entry);
    EXPECT_EQ(value.has_value(), c.ok) << c.line;
    if (!value) continue;
    EXPECT_EQ(entry, c.entry) << c.line;
    if (entry) {
      EXPECT_EQ(*value, c.value) << c.line;
    }
  }
}

TEST(Dictionary, ReportsTheFirstBadLine) {
  int bad = 0;
  std::vector<std::string> words = ParseDictionary("\"a\"\n# x\n\"b\"\nbroken\n\"c\"\n", &bad);
  EXPECT_EQ(words, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(bad, 4);
  ParseDictionary("\"a\"\r\n\"b\"", &bad);
  EXPECT_EQ(bad, 0);
}

TEST(Mutator, SameSeedSameInputsAndLengthCapHolds) {
  Mutator a(7, {"TOKEN"}, 64);
  Mutator b(7, {"TOKEN"}, 64);
  std::set<std::string> distinct;
  std::string x = "hello world", y = "hello world";
  for (int i = 0; i < 2000; ++i) {
    x = a.Mutate(x, "other seed text");
    y = b.Mutate(y, "other seed text");
    ASSERT_EQ(x, y);
    ASSERT_LE(x.size(), 64u);
    distinct.insert(x);
  }
  EXPECT_GT(distinct.size(), 1000u);
}

TEST(Mutator, EmptyInputsStayUsable) {
  Mutator m(1, {}, 16);
  std::string s;
  for (int i = 0; i < 500; ++i) {
    s = m.Mutate(s, "");
    ASSERT_LE(s.size(), 16u);
  }
}

}  // namespace
}  // namespace vorsandt::fuzz
