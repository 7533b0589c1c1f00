#include "runtime/eval/compiler.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/eval/bind_table.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"

namespace vorsandt::eval {
namespace {

class CompilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearBindings();
    BindLong("N", &n_);
    BindLong("X", &x_);
    BindLong("Y", &y_);
    BindLong("Z", &z_);
    BindString("S", s_, sizeof s_);
    BindString("ITE:ITEM_CODE", item_code_, sizeof item_code_);
    VariableRef array{reinterpret_cast<uint8_t*>(array_), 6, 4, 0, 3};
    BindVariable("ARR", array);
    VariableRef names{reinterpret_cast<uint8_t*>(names_), 18, 5, 0, 3};
    BindVariable("NAMES", names);
  }
  void TearDown() override { ClearBindings(); }

  int32_t n_ = 0, x_ = 0, y_ = 0, z_ = 0;
  char s_[8] = {'a', 'b', 'c', ' ', ' ', ' ', ' ', ' '};
  char item_code_[10] = {};
  int32_t array_[3] = {10, 20, 30};
  char names_[15] = {};
};

struct PrintCase {
  const char* text;
  const char* printed;
};

// The source form after compiling: precedence, operator spellings, folding.
TEST_F(CompilerTest, PrintsTheCompiledFormOfEachExpression) {
  const PrintCase cases[] = {
      {"1+2*3", "1 + 2 * 3"},
      {"(1+2)*3", "(1 + 2) * 3"},
      {"1-(2-3)", "1 - (2 - 3)"},
      {"1-2-3", "1 - 2 - 3"},
      {"2^3^2", "2 ^ 3 ^ 2"},
      {"2^(3^2)", "2 ^ (3 ^ 2)"},
      {"-n^2", "-N ^ 2"},
      {"-(n^2)", "-(N ^ 2)"},
      {"8/4/2", "8 / 4 / 2"},
      {"8/(4/2)", "8 / (4 / 2)"},
      {"n % 3", "N % 3"},
      {"- - 3", "3"},
      {"--3", "3"},
      {"-3", "-3"},
      {"+-+3", "-3"},
      {"---n", "-N"},
      {"NOT NOT x", "X"},
      {"not x", "~X"},
      {"~~~x", "~X"},
      {"NOT (x = 1)", "~X = 1"},
      {"NOT x AND y", "~X AND Y"},
      {"NOT (x AND y)", "~(X AND Y)"},
      {"x => 5", "X >= 5"},
      {"x >= 5", "X >= 5"},
      {"x =< 5", "X <= 5"},
      {"x <= 5", "X <= 5"},
      {"x ~= 5", "X <> 5"},
      {"x <> 5", "X <> 5"},
      {"x < 5", "X < 5"},
      {"x > 5", "X > 5"},
      {"n = x = 1", "N = X = 1"},
      {"n = (x = 1)", "N = (X = 1)"},
      {"'it''s'", "'it''s'"},
      {"''''", "''''"},
      {"s & 'x' & n", "S & 'x' & N"},
      {"x OR y AND z", "X OR Y AND Z"},
      {"(x OR y) AND z", "(X OR Y) AND Z"},
      {"x XOR y OR z", "X XOR Y OR Z"},
      {"x AND (y AND z)", "X AND (Y AND Z)"},
      {"UPPER(s) = upper(ite:item_code)", "UPPER(S) = UPPER(ITE:ITEM_CODE)"},
      {"upper('ab')", "'AB'"},
      {"LEN('abc') + 1", "3 + 1"},
      {"ABS(-3)", "3"},
      {"SUB(S, 2)", "SUB(S, 2)"},
      {"SUB( 'abc' , 2 )", "'bc'"},
      {"TODAY()", "TODAY()"},
      {"CLOCK ( )", "CLOCK()"},
      {"RANDOM(1, 6)", "RANDOM(1, 6)"},
      {"ARR[2]", "ARR[2]"},
      {"ARR[N + 1] * 2", "ARR[N + 1] * 2"},
      {"S[2:3]", "S[2 : 3]"},
      {"S[2]", "S[2]"},
      {"NAMES[2, 1 : 3]", "NAMES[2, 1 : 3]"},
      {"NAMES[2]", "NAMES[2]"},
      {"1.5e3", "1500"},
      {"2.5", "2.5"},
      {"1E-3", "0.001"},
      {"2147483647", "2147483647"},
      {"2147483648", "2147483648"},
      {"@n-10.2", "@n-10.2"},
      {"FORMAT(N, @P##%P)", "FORMAT(N, @P##%P)"},
      {"FORMAT(N, @p<#.##pB)", "FORMAT(N, @p<#.##pB)"},
      {"FORMAT(N, @n~kr ~10.2)", "FORMAT(N, @n~kr ~10.2)"},
      {"FORMAT(N,@n(10.2))", "FORMAT(N, @n(10.2))"},
      {"FORMAT(N, @D6)=''", "FORMAT(N, @D6) = ''"},
      {"\tx\t=\t1 ", "X = 1"},
      {"-(x + 1) * 2", "-(X + 1) * 2"},
      {"-x ^ 2", "-X ^ 2"},
      {"2 ^ -x", "2 ^ -X"},
      {"x - -3", "X - -3"},
      {"UPPER()", "''"},
      {"1e400", "1e999"},
      {"-1e400", "-1e999"},
      {"LOGE(0)", "-1e999"},
      {"SQRT(-1)", "SQRT(-1)"},
  };
  for (const PrintCase& c : cases) {
    std::unique_ptr<Node> tree = Compile(c.text);
    ASSERT_NE(tree, nullptr) << c.text;
    EXPECT_EQ(PrintTree(*tree), c.printed) << c.text;
    EXPECT_EQ(files::Errors().Code(), 0) << c.text;
    // The printed form compiles back to the same form.
    std::unique_ptr<Node> again = Compile(PrintTree(*tree));
    ASSERT_NE(again, nullptr) << c.printed;
    EXPECT_EQ(PrintTree(*again), c.printed);
  }
}

struct FailCase {
  const char* text;
  int32_t error;  // what the error state holds afterwards
};

TEST_F(CompilerTest, RejectsTextsThatAreNotCompleteExpressions) {
  const FailCase cases[] = {
      {"", 0},
      {"   ", 0},
      {"1 +", 0},
      {"(1", 0},
      {"1)", 0},
      {"((1)", 0},
      {"'abc", 0},
      {"'it''", 0},
      {"1.", 0},
      {"1.x", 0},
      {"1e", 0},
      {"1e+", 0},
      {"TODAY", 0},
      {"TODAY(1)", 0},
      {"TODAY(", 0},
      {"LEFT('a', 1, 2)", 0},
      {"SUB('a', 1, 2, 3)", 0},
      {"UPPER('a' 'b')", 0},
      {"1 2", 0},
      {"x ~ y", 0},
      {"x = NOT y", 0},
      {"x == 1", 0},
      {"x >< 1", 0},
      {"x = = 1", 0},
      {"x AND", 0},
      {"AND x", 0},
      {"x OR OR y", 0},
      {"()", 0},
      {"(,)", 0},
      {"1 , 2", 0},
      {"1 : 2", 0},
      {"@P##", 0},
      {"@n~abc", 0},
      {"#", 0},
      {".5", 0},
      {"x $ y", 0},
      {"x ! y", 0},
      {"N[1]", 0},
      {"ARR[1:2]", 0},
      {"ARR[1, 2]", 0},
      {"ARR[1", 0},
      {"S[]", 0},
      {"S[1:]", 0},
      {"x * / y", 0},
      {"x ^ * y", 0},
      {"foo", files::kNoBindOnVariable},
      {"x = unknown", files::kNoBindOnVariable},
      {"UPPER(nobody)", files::kNoBindOnVariable},
      {"ITE:ITEM", files::kNoBindOnVariable},
      {"N#", files::kNoBindOnVariable},
  };
  for (const FailCase& c : cases) {
    files::Errors().Post(36);  // compiling clears what was there before
    EXPECT_EQ(Compile(c.text), nullptr) << c.text;
    EXPECT_EQ(files::Errors().Code(), c.error) << c.text;
  }
}

TEST_F(CompilerTest, NamesMayEndInHashDollarOrQuote) {
  int32_t a = 1, b = 2, c = 3;
  BindLong("COUNT#", &a);
  BindLong("NAME$", &b);
  BindLong("Q\"", &c);
  ASSERT_NE(Compile("count# + name$ + q\""), nullptr);
  EXPECT_EQ(Compile("count# + name$ + q\"")->Integer(), 6);
  EXPECT_EQ(Compile("_x"), nullptr);
  EXPECT_EQ(files::Errors().Code(), files::kNoBindOnVariable);
  BindLong("?ANSWER", &a);
  EXPECT_NE(Compile("?answer"), nullptr);
}

TEST_F(CompilerTest, PartialCompileReportsWhereTheExpressionEnded) {
  PartialCompile whole = CompilePartial("N + 1");
  ASSERT_NE(whole.tree, nullptr);
  EXPECT_TRUE(whole.complete);
  EXPECT_EQ(whole.stopped_at, 5u);

  PartialCompile list = CompilePartial("N + 1, X");
  ASSERT_NE(list.tree, nullptr);
  EXPECT_FALSE(list.complete);
  EXPECT_EQ(list.stopped_at, 5u);
  EXPECT_EQ(PrintTree(*list.tree), "N + 1");

  PartialCompile extra = CompilePartial("N 1");
  ASSERT_NE(extra.tree, nullptr);
  EXPECT_EQ(extra.stopped_at, 2u);

  PartialCompile broken = CompilePartial("N + (1 *");
  EXPECT_EQ(broken.tree, nullptr);
  EXPECT_FALSE(broken.complete);
  EXPECT_EQ(broken.stopped_at, 8u);

  PartialCompile quote = CompilePartial("N & 'open");
  EXPECT_EQ(quote.tree, nullptr);
  EXPECT_EQ(quote.stopped_at, 4u);
}

TEST_F(CompilerTest, NestingBeyondTheCapFailsWithoutExhaustingTheStack) {
  std::string shallow = std::string(50, '(') + "1" + std::string(50, ')');
  ASSERT_NE(Compile(shallow), nullptr);
  EXPECT_EQ(Compile(shallow)->Integer(), 1);

  for (int depth : {kMaxNesting + 1, 5000, 100000}) {
    std::string parens = std::string(depth, '(') + "1" + std::string(depth, ')');
    EXPECT_EQ(Compile(parens), nullptr) << depth;
    std::string calls;
    for (int i = 0; i < depth; ++i) calls += "ABS(";
    calls += '1';
    calls.append(static_cast<size_t>(depth), ')');
    EXPECT_EQ(Compile(calls), nullptr) << depth;
    std::string subscripts;
    for (int i = 0; i < depth; ++i) subscripts += "ARR[";
    subscripts += '1';
    subscripts.append(static_cast<size_t>(depth), ']');
    EXPECT_EQ(Compile(subscripts), nullptr) << depth;
  }
  EXPECT_EQ(files::Errors().Code(), 0);
}

TEST_F(CompilerTest, LongOperatorChainsStopAtTheTreeHeightCap) {
  std::string sum = "1";
  for (int i = 1; i < kMaxTreeHeight - 1; ++i) sum += "+1";
  std::unique_ptr<Node> tree = Compile(sum);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->Integer(), kMaxTreeHeight - 1);

  std::string too_long = "1";
  for (int i = 0; i < 100000; ++i) too_long += "+1";
  EXPECT_EQ(Compile(too_long), nullptr);
}

TEST_F(CompilerTest, SignAndNotRunsCompileWithoutRecursion) {
  std::string minus(100001, '-');
  std::unique_ptr<Node> tree = Compile(minus + "7");
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(PrintTree(*tree), "-7");

  std::string nots;
  for (int i = 0; i < 10000; ++i) nots += "NOT ";
  tree = Compile(nots + "x");
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(PrintTree(*tree), "X");
}

}  // namespace
}  // namespace vorsandt::eval
