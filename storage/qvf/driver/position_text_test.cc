#include "storage/qvf/driver/position_text.h"

#include <gtest/gtest.h>

namespace vorsandt::qvf {
namespace {

TEST(PositionText, RecordNumberIsStoredBigEndianIn512Characters) {
  std::string text = EncodePosition(0x01020304);
  ASSERT_EQ(text.size(), 512u);
  EXPECT_EQ(text.substr(0, 4), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(text.find_first_not_of('\0', 4), std::string::npos);
  uint32_t n = 0;
  ASSERT_TRUE(DecodePosition(text, &n));
  EXPECT_EQ(n, 0x01020304u);
}

TEST(PositionText, KeyPositionCarriesTheEncodedValue) {
  std::string value(
      "\x80\x01"
      "ABC\0\xFF",
      7);
  std::string text = EncodeKeyPosition(77, value);
  ASSERT_EQ(text.size(), 512u);
  uint32_t n = 0;
  std::string back;
  ASSERT_TRUE(DecodePosition(text, &n, value.size(), &back));
  EXPECT_EQ(n, 77u);
  EXPECT_EQ(back, value);
}

TEST(PositionText, OversizedKeyIsCutAndShortTextsAreRefused) {
  std::string value(600, 'k');
  std::string text = EncodeKeyPosition(5, value);
  ASSERT_EQ(text.size(), 512u);
  uint32_t n = 0;
  std::string back;
  ASSERT_TRUE(DecodePosition(text, &n, value.size(), &back));
  EXPECT_EQ(back, std::string(508, 'k'));
  EXPECT_FALSE(DecodePosition(std::string("\x01\x02\x03", 3), &n));
  // A text cut short after the number gives what is there.
  ASSERT_TRUE(DecodePosition(std::string("\0\0\0\x09"
                                         "AB",
                                         6),
                             &n, 10, &back));
  EXPECT_EQ(n, 9u);
  EXPECT_EQ(back, "AB");
}

}  // namespace
}  // namespace vorsandt::qvf
