// Bad input never crashes the compiler or the evaluator: random bytes, random
// token soup, every byte value inside names, very long texts and unterminated
// constants all end in a failed compile or a value.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "runtime/eval/bind_table.h"
#include "runtime/eval/expression.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::eval {
namespace {

class FuzzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearBindings();
    files::Texts().Clear();
    BindLong("N", &n_);
    BindString("S", s_, sizeof s_);
    BindVariable("ARR", VariableRef{reinterpret_cast<uint8_t*>(array_), 6, 4, 0, 3});
    BindProcedure("PROC", 3, kText, [](int count) {
      std::string joined;
      for (int i = 0; i < count; ++i) joined += files::Texts().Pop().value_or("");
      files::Texts().Push(joined);
      return 0.0;
    });
  }
  void TearDown() override { ClearBindings(); }

  // Compiles and, when that works, exercises every evaluation of the tree.
  void Exercise(const std::string& text) {
    PartialCompile partial = CompilePartial(text);
    EXPECT_LE(partial.stopped_at, text.size());
    if (partial.tree) {
      partial.tree->Text();
      partial.tree->Real();
      partial.tree->Integer();
      partial.tree->IsTrue();
      partial.tree->ThreeValued(0, nullptr);
      PrintTree(*partial.tree);
    }
    Expression e = Expression::Compile(text);
    if (!e.ok()) {
      int32_t code = files::Errors().Code();
      EXPECT_TRUE(code == 0 || code == files::kNoBindOnVariable) << code;
      return;
    }
    std::string printed = e.Print();
    // The printed form compiles again and prints the same way.
    Expression again = Expression::Compile(printed);
    EXPECT_TRUE(again.ok()) << text << " printed as " << printed;
    if (again.ok()) {
      EXPECT_EQ(again.Print(), printed) << text;
    }
    EXPECT_EQ(files::Texts().Size(), 0);
  }

  int32_t n_ = 3;
  char s_[6] = {'a', 'b', 'c', ' ', ' ', ' '};
  int32_t array_[3] = {1, 2, 3};
};

TEST_F(FuzzTest, RandomByteStringsNeverCrash) {
  std::mt19937 random(8122026);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 64);
  for (int i = 0; i < 20000; ++i) {
    std::string text(static_cast<size_t>(length(random)), '\0');
    for (char& c : text) c = static_cast<char>(byte(random));
    Exercise(text);
  }
}

TEST_F(FuzzTest, RandomTokenSequencesNeverCrash) {
  const std::vector<std::string> tokens = {
      "N",      "S",     "ARR",    "PROC",   "UPPER",   "SUB",     "INSTRING", "TODAY", "AGE",
      "FORMAT", "DATE",  "RANDOM", "BSHIFT", "ALL",     "AND",     "OR",       "XOR",   "NOT",
      "(",      ")",     "[",      "]",      ",",       ":",       "+",        "-",     "*",
      "/",      "%",     "^",      "&",      "=",       "<",       ">",        "~",     "1",
      "0",      "2.5",   "1e3",    "'x'",    "''",      "'it''s'", "@n-10.2",  "@P##P", "@D5",
      "@s5",    " ",     "-1",     "32",     "INRANGE", "ROUND",   "CHR",      "VAL",   "LEN",
      "CENTER", "RIGHT", "LEFT",   "CLIP"};
  std::mt19937 random(20261208);
  std::uniform_int_distribution<size_t> pick(0, tokens.size() - 1);
  std::uniform_int_distribution<int> count(1, 24);
  for (int i = 0; i < 30000; ++i) {
    std::string text;
    int n = count(random);
    for (int k = 0; k < n; ++k) text += tokens[pick(random)];
    Exercise(text);
  }
}

TEST_F(FuzzTest, EveryByteInsideANameIsAFailureOrAValue) {
  for (int c = 0; c < 256; ++c) {
    const char byte = static_cast<char>(c);
    std::string inside = {'N', byte, 'N'};
    Exercise(inside);
    std::string leading = {byte, 'N'};
    Exercise(leading);
    std::string trailing = {'N', byte};
    Exercise(trailing);
  }
}

TEST_F(FuzzTest, VeryLongTextsAndUnterminatedConstants) {
  std::string open_text = "'";
  open_text.append(1 << 20, 'a');
  std::string long_text = open_text + "'";
  Expression e = Expression::Compile("LEN(" + long_text + ")");
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e.Integer(), 1 << 20);
  EXPECT_FALSE(Expression::Compile(open_text).ok());
  EXPECT_FALSE(Expression::Compile(std::string(1 << 20, '\'') + "'").ok());
  std::string pattern = "FORMAT(1, @P";
  pattern.append(100000, '#');
  EXPECT_FALSE(Expression::Compile(pattern).ok());
  std::string currency = "FORMAT(1, @n~";
  currency.append(100000, 'x');
  EXPECT_FALSE(Expression::Compile(currency).ok());
  EXPECT_FALSE(Expression::Compile(std::string(1 << 16, '1') + ".").ok());
  Expression huge = Expression::Compile(std::string(400, '9'));
  ASSERT_TRUE(huge.ok());
  EXPECT_EQ(huge.Integer(), 2147483647);
  std::string name(5000, 'N');
  EXPECT_FALSE(Expression::Compile(name).ok());
  EXPECT_EQ(files::Errors().Code(), files::kNoBindOnVariable);
  Expression repeated = Expression::Compile("ALL('ab', 100000) & ALL('cd', 100000)");
  ASSERT_TRUE(repeated.ok());
  EXPECT_EQ(repeated.Text().size(), 2u * 65535u);
}

}  // namespace
}  // namespace vorsandt::eval
