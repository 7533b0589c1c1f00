#include "ui/qt/text_codec.h"

#include <gtest/gtest.h>

namespace vorsandt::ui::qt {
namespace {

struct CodecCase {
  std::string ansi;
  std::string utf8;
};

TEST(TextCodecTest, ConvertsBothWaysForTheCharactersOfTheRecords) {
  const CodecCase cases[] = {
      {"", ""},
      {"PLAIN ASCII 123", "PLAIN ASCII 123"},
      {"Caf\xE9", "Caf\xC3\xA9"},    // e acute
      {"\x80 5", "\xE2\x82\xAC 5"},  // euro sign
      {"\x93quoted\x94", "\xE2\x80\x9Cquoted\xE2\x80\x9D"},
      {"Stra\xDF"
       "e \xC4\xD6\xDC",
       "Stra\xC3\x9F"
       "e \xC3\x84\xC3\x96\xC3\x9C"},
      {"\xFF", "\xC3\xBF"},
  };
  for (const CodecCase& c : cases) {
    EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8) << c.ansi;
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
  }
}

TEST(TextCodecTest, UndefinedAnsiBytesSurviveTheRoundTrip) {
  std::string undefined =
      "a\x81"
      "b\x8D\x8F\x90\x9D"
      "c";
  std::string screen = AnsiToUtf8(undefined);
  EXPECT_EQ(screen,
            "a\xC2\x81"
            "b\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"
            "c");
  EXPECT_EQ(Utf8ToAnsi(screen), undefined);
}

TEST(TextCodecTest, CharactersOutsideTheRecordSetBecomeOneQuestionMark) {
  EXPECT_EQ(Utf8ToAnsi("x\xE4\xB8\xAD"
                       "y"),
            "x?y");                                  // a CJK character
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80!"), "?!");  // an emoji (4 bytes)
  EXPECT_EQ(Utf8ToAnsi("bad\xC3"
                       "("),
            "bad?(");  // broken sequence
  EXPECT_EQ(Utf8ToAnsi("\xC3\xA9\xE4\xB8\xAD\xC3\xA9"), "\xE9?\xE9");
}

TEST(TextCodecTest, LongTextsConvertCompletely) {
  std::string ansi(5000, '\xE9');
  std::string utf8 = AnsiToUtf8(ansi);
  EXPECT_EQ(utf8.size(), 10000u);
  EXPECT_EQ(Utf8ToAnsi(utf8), ansi);
}

}  // namespace
}  // namespace vorsandt::ui::qt
