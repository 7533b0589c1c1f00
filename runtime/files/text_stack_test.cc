#include "runtime/files/text_stack.h"

#include <gtest/gtest.h>

namespace vorsandt::files {
namespace {

TEST(TextStackTest, PopsInReverseOrderAndOwnsLongTexts) {
  TextStack s;
  std::string long_text(300, 'q');
  s.Push("short");
  s.Push(long_text);
  s.PushNumber(-1234567);
  EXPECT_EQ(s.Size(), 3);
  EXPECT_EQ(s.Pop(), "-1234567");
  long_text.assign(300, 'z');  // the stack kept its own copy
  EXPECT_EQ(s.Pop(), std::string(300, 'q'));
  EXPECT_EQ(s.Pop(), "short");
  EXPECT_EQ(s.Pop(), std::nullopt);
  EXPECT_EQ(s.Top(), "");
}

// A slot keeps its buffer between pushes: a shorter text after a longer
// one, and a text read back after a move, must come back exactly.
TEST(TextStackTest, ReusedSlotsGiveBackExactlyTheLastText) {
  TextStack s;
  for (size_t n : {600u, 300u, 25u, 5000u, 40u}) {
    const std::string text(n, static_cast<char>('a' + n % 26));
    s.Push(text);
    s.Push(std::string(n + 1, 'x'));
    EXPECT_EQ(s.Pop(), std::string(n + 1, 'x'));
    TextStack moved = std::move(s);
    EXPECT_EQ(moved.Top(), text);
    EXPECT_EQ(moved.Pop(), text);
    s = std::move(moved);
    EXPECT_TRUE(s.Empty());
  }
}

TEST(TextStackTest, PushOntoAFullStackIsIgnored) {
  TextStack s;
  for (int i = 0; i < 40; ++i) s.PushNumber(i);
  EXPECT_EQ(s.Size(), TextStack::kCapacity);
  EXPECT_EQ(s.Top(), "31");
  for (int i = 31; i >= 0; --i) EXPECT_EQ(s.Pop(), std::to_string(i));
  EXPECT_TRUE(s.Empty());
}

TEST(TextStackTest, MovingKeepsInlineAndBorrowedTexts) {
  static const char kBorrowed[] = "borrowed text";
  TextStack a;
  a.Push("inline");
  a.Push(std::string(64, 'L'));
  a.PushBorrowed(kBorrowed, 8);
  TextStack b = std::move(a);
  EXPECT_TRUE(a.Empty());
  a.Push("other");  // the moved-from stack is usable and independent
  EXPECT_EQ(b.Pop(), "borrowed");
  EXPECT_EQ(b.Pop(), std::string(64, 'L'));
  EXPECT_EQ(b.Pop(), "inline");
  EXPECT_EQ(a.Pop(), "other");
}

}  // namespace
}  // namespace vorsandt::files
