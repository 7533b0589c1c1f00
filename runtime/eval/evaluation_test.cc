#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/eval/bind_table.h"
#include "runtime/eval/expression.h"
#include "runtime/eval/format_bridge.h"
#include "runtime/eval/nodes.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/error_state.h"
#include "runtime/files/text_stack.h"
#include "runtime/format/characters.h"
#include "runtime/format/collation.h"
#include "runtime/format/locale.h"

namespace vorsandt::eval {
namespace {

void SetText(char* field, size_t size, std::string_view value) {
  std::memset(field, ' ', size);
  std::memcpy(field, value.data(), std::min(size, value.size()));
}

class EvaluationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearBindings();
    files::Texts().Clear();
    BindLong("A", &a_);
    BindLong("B", &b_);
    BindLong("C", &c_);
    BindShort("SH", &short_);
    BindString("T1", t1_, sizeof t1_);
    BindString("T2", t2_, sizeof t2_);
    BindDecimal("D", decimal_, sizeof decimal_, 2);
    SetText(t1_, sizeof t1_, "");
    SetText(t2_, sizeof t2_, "");
  }
  void TearDown() override { ClearBindings(); }

  Expression Must(std::string_view text) {
    Expression e = Expression::Compile(text);
    EXPECT_TRUE(e.ok()) << text;
    return e;
  }

  int32_t a_ = 0, b_ = 0, c_ = 0;
  int16_t short_ = 0;
  char t1_[10] = {};
  char t2_[6] = {};
  uint8_t decimal_[4] = {};
};

TEST_F(EvaluationTest, ChainedEqualityComparesTheFirstResultWithTheThird) {
  Expression e = Must("A = B = C");
  a_ = 2, b_ = 2, c_ = 1;
  EXPECT_TRUE(e.IsTrue());
  c_ = 0;
  EXPECT_FALSE(e.IsTrue());
  b_ = 3;
  EXPECT_TRUE(e.IsTrue());  // (2 = 3) is 0, and 0 = 0
}

TEST_F(EvaluationTest, VariablesAreReadLiveOnEveryEvaluation) {
  Expression e = Must("A * 2 + SH");
  a_ = 5, short_ = -3;
  EXPECT_EQ(e.Integer(), 7);
  a_ = 100, short_ = 32767;
  EXPECT_EQ(e.Integer(), 32967);
  SetText(t1_, sizeof t1_, "abc");
  Expression t = Must("T1 & '|'");
  EXPECT_EQ(t.Text(), "abc       |");
  SetText(t1_, sizeof t1_, "xy");
  EXPECT_EQ(t.Text(), "xy        |");
}

TEST_F(EvaluationTest, TrailingBlanksNeverMatterInTextComparison) {
  SetText(t1_, sizeof t1_, "abc");
  SetText(t2_, sizeof t2_, "abc");
  EXPECT_TRUE(Must("T1 = T2").IsTrue());
  EXPECT_TRUE(Must("T1 = 'abc'").IsTrue());
  EXPECT_TRUE(Must("'abc   ' = 'abc'").IsTrue());
  EXPECT_FALSE(Must("T1 <> 'abc'").IsTrue());
  EXPECT_TRUE(Must("T1 < 'abd'").IsTrue());
  EXPECT_TRUE(Must("'ab' < 'abc'").IsTrue());
  EXPECT_TRUE(Must("'ab' < 'ab!'").IsTrue());  // "!" weighs more than a blank
  EXPECT_TRUE(Must("'B' < 'a'").IsTrue());     // collation by code by default
  EXPECT_TRUE(Must("'10' < '9'").IsTrue());    // texts, not numbers
  EXPECT_FALSE(Must("10 < 9").IsTrue());
  EXPECT_TRUE(Must("' abc' <> 'abc'").IsTrue());  // leading blanks do matter
}

TEST_F(EvaluationTest, BlankTextsAreFalseButEqualUnderUpper) {
  EXPECT_TRUE(Must("UPPER(T1) = UPPER(T2)").IsTrue());
  EXPECT_FALSE(Must("T1").IsTrue());
  EXPECT_FALSE(Must("'   '").IsTrue());
  EXPECT_FALSE(Must("''").IsTrue());
  EXPECT_TRUE(Must("' x'").IsTrue());
  SetText(t1_, sizeof t1_, "0");
  EXPECT_TRUE(Must("T1").IsTrue());  // a text is true when not blank, even "0"
}

TEST_F(EvaluationTest, UpperCasedTextsCompareAsTheirUpperCaseForms) {
  // Both sides upper-cased take a shorter way; it must order texts as the
  // upper-case forms do, with characters between the cases ('[' to '`')
  // and a side that is not a field.
  const char* texts[] = {"abc", "ABD", "ab", "a_c", "A[C", "a`", "Zeta", "zeTA ", "", "10"};
  const char* ops[] = {"=", "<", ">", "<=", ">=", "<>"};
  for (const char* x : texts) {
    for (const char* y : texts) {
      SetText(t1_, sizeof t1_, x);
      SetText(t2_, sizeof t2_, y);
      const int want = CompareTexts(bridge::UpperText(x), bridge::UpperText(y));
      const bool truth[] = {want == 0, want < 0, want > 0, want <= 0, want >= 0, want != 0};
      for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(Must(std::string("UPPER(T1) ") + ops[k] + " UPPER(T2)").IsTrue(), truth[k])
            << x << " " << ops[k] << " " << y;
        EXPECT_EQ(Must(std::string("UPPER(T1) ") + ops[k] + " UPPER('" + y + "')").IsTrue(),
                  truth[k])
            << x << " " << ops[k] << " '" << y << "'";
      }
    }
  }
}

TEST_F(EvaluationTest, TruthOfNumbers) {
  EXPECT_FALSE(Must("A").IsTrue());
  a_ = -1;
  EXPECT_TRUE(Must("A").IsTrue());
  EXPECT_TRUE(Must("0.4").IsTrue());  // a real is true when it differs from 0
  EXPECT_FALSE(Must("0.0").IsTrue());
  EXPECT_TRUE(Must("1 - 0.5").IsTrue());
  EXPECT_FALSE(Must("1 - 1").IsTrue());
}

TEST_F(EvaluationTest, RealEqualityAbsorbsDecimalRounding) {
  EXPECT_TRUE(Must("1/3*3 = 1").IsTrue());
  EXPECT_TRUE(Must("0.1 + 0.2 = 0.3").IsTrue());
  EXPECT_TRUE(Must("0.1 * 3 >= 0.3").IsTrue());
  EXPECT_FALSE(Must("0.1 * 3 > 0.3").IsTrue());
  EXPECT_FALSE(Must("1 = 1.000001").IsTrue());
  EXPECT_TRUE(Must("0 = 0.0").IsTrue());
  // Zero counts with the exponent of 1.0, so anything far below 1 equals it.
  EXPECT_TRUE(Must("0 = 1e-300").IsTrue());
  EXPECT_FALSE(Must("0 = 1e-10").IsTrue());
  EXPECT_TRUE(RealsEqual(1.0, 1.0 + std::ldexp(1.0, -51)));
  EXPECT_FALSE(RealsEqual(1.0, 1.0 + std::ldexp(1.0, -49)));
  EXPECT_FALSE(RealsEqual(NAN, NAN));
}

// Arithmetic keeps the processor's values (an infinity for a division by
// zero, NaN for 0/0 and a remainder by zero); every conversion of them gives a
// defined result, and none is written as "inf" or "nan".
TEST_F(EvaluationTest, DivisionByZeroHasDefinedConversionsAndNoInfOrNanText) {
  struct Case {
    const char* text;
    const char* as_text;
    int32_t as_integer;
  };
  const Case cases[] = {
      {"1/0", "#", 2147483647},   {"-1/0", "#", -2147483647 - 1}, {"0/0", "#", 0},
      {"1%0", "#", 0},            {"A/B", "#", 0},                {"SQRT(-1)", "#", 0},
      {"LOGE(0)", "#", -2147483647 - 1},
  };
  for (const Case& c : cases) {
    Expression e = Must(c.text);
    EXPECT_EQ(e.Text(), c.as_text) << c.text;
    EXPECT_EQ(e.Integer(), c.as_integer) << c.text;
    std::string text;
    ASSERT_EQ(EvaluateToText(c.text, &text), 0) << c.text;
    EXPECT_EQ(text, c.as_text) << c.text;
  }
  EXPECT_TRUE(std::isinf(Must("1/0").Real()));
  EXPECT_TRUE(std::isnan(Must("1%0").Real()));
  // An infinity orders above every number and equals itself.
  EXPECT_TRUE(Must("1/0 > 1e308").IsTrue());
  EXPECT_TRUE(Must("-1/0 < -1e308").IsTrue());
  EXPECT_TRUE(Must("1/0 = 1/0").IsTrue());
  EXPECT_FALSE(Must("1/0 = -1/0").IsTrue());
  // Through text and pictures.
  EXPECT_EQ(Must("'x' & 1/0").Text(), "x#");
  EXPECT_EQ(Must("NUMERIC(1/0)").Integer(), 0);
  EXPECT_EQ(Must("FORMAT(1/0, @n-10.2)").Text(), "##########");
  EXPECT_EQ(Must("FORMAT(0/0, @n-10.2)").Text(), "##########");
  EXPECT_EQ(Must("FORMAT(1/0, @s4)").Text(), "#   ");
  EXPECT_EQ(Must("FORMAT('1e400', @n-20.2)").Text(), std::string(20, '#'));
}

TEST_F(EvaluationTest, ComparisonClassesFollowTheOperands) {
  a_ = 5;
  EXPECT_TRUE(Must("A = '5'").IsTrue());  // integer and text: as reals
  EXPECT_TRUE(Must("A = ' 5.0 '").IsTrue());
  EXPECT_TRUE(Must("A = 5.0").IsTrue());
  EXPECT_TRUE(Must("'abc' = 0").IsTrue());  // a text that is no number is 0
  EXPECT_TRUE(Must("(A = 5) = 1").IsTrue());
  EXPECT_TRUE(Must("(A = 5) = '1'").IsTrue());
  EXPECT_TRUE(Must("A & '' = '5'").IsTrue());
}

TEST_F(EvaluationTest, IntegersAreRoundedFromRealsAndCutFromRealFunctions) {
  EXPECT_EQ(Must("7 / 2").Integer(), 4);
  EXPECT_EQ(Must("-7 / 2").Integer(), -4);
  EXPECT_EQ(Must("7 / 4").Integer(), 2);
  EXPECT_EQ(Must("SQRT(10)").Integer(), 3);  // 3.16 cut
  EXPECT_EQ(Must("SQRT(15)").Integer(), 3);  // 3.87 cut, not rounded
  EXPECT_EQ(Must("ABS(-2.7)").Integer(), 2);
  a_ = 15;
  EXPECT_EQ(Must("SQRT(A)").Integer(), 3);      // the same when not folded
  EXPECT_EQ(Must("SQRT(A) + 0").Integer(), 4);  // an operator's real is rounded
  EXPECT_EQ(Must("'2.6'").Integer(), 3);
  EXPECT_EQ(Must("1e20").Integer(), 2147483647);
  EXPECT_EQ(Must("-1e20").Integer(), -2147483647 - 1);
  EXPECT_EQ(Must("0/0").Integer(), 0);
  EXPECT_EQ(Must("7 / 2").Text(), "3.5");
  EXPECT_EQ(Must("6 / 2").Text(), "3");
  EXPECT_EQ(Must("1 / 3").Text(), "0.333333333333333");
  EXPECT_EQ(Must("-A").Text(), "-15");
  EXPECT_EQ(Must("2 ^ 10").Integer(), 1024);
  EXPECT_EQ(Must("-2 ^ 2").Integer(), 4);  // the sign binds tighter than "^"
  EXPECT_EQ(Must("7 % 3").Integer(), 1);
  EXPECT_EQ(Must("-7 % 3").Integer(), -1);
  EXPECT_EQ(Must("7.5 % 2").Text(), "1.5");
}

TEST_F(EvaluationTest, ConcatenationJoinsTextForms) {
  a_ = -5;
  EXPECT_EQ(Must("1 & 2").Text(), "12");
  EXPECT_EQ(Must("'it''s'").Text(), "it's");
  EXPECT_EQ(Must("LEN('it''s')").Integer(), 4);
  EXPECT_EQ(Must("''''").Text(), "'");
  EXPECT_EQ(Must("A & 'x'").Text(), "-5x");
  EXPECT_EQ(Must("1.5 & ''").Text(), "1.5");
  EXPECT_EQ(Must("(1 = 1) & (1 = 2)").Text(), "10");
  EXPECT_EQ(Must("'a' & 1 + 2").Text(), "a3");  // "+" binds tighter than "&"
  EXPECT_EQ(Must("'5' & '5' + 1").Integer(), 56);
}

TEST_F(EvaluationTest, PackedDecimalFieldsReadAsReals) {
  ASSERT_TRUE(files::WritePackedDecimal(12.34, 2, decimal_));
  EXPECT_TRUE(Must("D = 12.34").IsTrue());
  EXPECT_EQ(Must("D * 2").Text(), "24.68");
  EXPECT_EQ(Must("D").Text(), "12.34");
  ASSERT_TRUE(files::WritePackedDecimal(-0.05, 2, decimal_));
  EXPECT_TRUE(Must("D < 0").IsTrue());
  EXPECT_EQ(Must("D").Text(), "-0.05");
  EXPECT_TRUE(Must("D").IsTrue());
  ASSERT_TRUE(files::WritePackedDecimal(0, 2, decimal_));
  EXPECT_FALSE(Must("D").IsTrue());
}

TEST_F(EvaluationTest, ArrayElementsAndTextSlices) {
  int32_t numbers[3] = {10, 20, 30};
  BindVariable("ARR", VariableRef{reinterpret_cast<uint8_t*>(numbers), 6, 4, 0, 3});
  char names[3][4];
  SetText(names[0], 12, "ann bob cyd ");
  BindVariable("NAMES", VariableRef{reinterpret_cast<uint8_t*>(names), 18, 4, 0, 3});
  a_ = 2;
  EXPECT_EQ(Must("ARR[A]").Integer(), 20);
  EXPECT_EQ(Must("ARR[A + 1] + ARR[1]").Integer(), 40);
  EXPECT_EQ(Must("ARR[0]").Integer(), 0);  // outside the array: empty
  EXPECT_EQ(Must("ARR[4]").Integer(), 0);
  EXPECT_EQ(Must("ARR[-100000]").Integer(), 0);
  EXPECT_EQ(Must("NAMES[3]").Text(), "cyd ");
  EXPECT_EQ(Must("NAMES[2, 2 : 3]").Text(), "ob");
  EXPECT_EQ(Must("NAMES[2, 1]").Text(), "b");
  SetText(t1_, sizeof t1_, "abcdef");
  EXPECT_EQ(Must("T1[2 : 4]").Text(), "bcd");
  EXPECT_EQ(Must("T1[5 : 100]").Text(), "ef    ");
  EXPECT_EQ(Must("T1[0 : 2]").Text(), "ab");
  EXPECT_EQ(Must("T1[4 : 2]").Text(), "");
  EXPECT_EQ(Must("T1[A]").Text(), "b");
}

TEST_F(EvaluationTest, RebindingANameTakesTheSecondBinding) {
  int32_t first = 1, second = 2;
  BindLong("V", &first);
  BindLong("v", &second);
  EXPECT_EQ(Must("V").Integer(), 2);
}

TEST_F(EvaluationTest, AndOrXorEvaluateBothSidesAlways) {
  int calls = 0;
  BindProcedure("TICK", 0, kInteger, [&](int) {
    ++calls;
    return 1.0;
  });
  Must("0 AND TICK()").IsTrue();
  Must("1 OR TICK()").IsTrue();
  Must("1 XOR TICK()").IsTrue();
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(Must("1 XOR 0").IsTrue());
  EXPECT_FALSE(Must("1 XOR 2").IsTrue());
  EXPECT_FALSE(Must("0 XOR ''").IsTrue());
}

TEST_F(EvaluationTest, InrangeReadsTheUpperBoundOnlyWhenTheLowerHolds) {
  int calls = 0;
  BindProcedure("HIGH", 0, kInteger, [&](int) {
    ++calls;
    return 10.0;
  });
  EXPECT_FALSE(Must("INRANGE(0, 1, HIGH())").IsTrue());
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(Must("INRANGE(5, 1, HIGH())").IsTrue());
  EXPECT_EQ(calls, 1);
}

TEST_F(EvaluationTest, BoundProceduresGetTheirArgumentsOnTheTextStack) {
  BindProcedure("JOIN", 3, kText, [](int count) {
    std::string joined;
    for (int i = 0; i < count; ++i) {
      if (i > 0) joined += '-';
      joined += files::Texts().Pop().value_or("?");
    }
    files::Texts().Push(joined);
    return 0.0;
  });
  BindProcedure("COUNT", 5, kInteger, [](int count) { return count + 0.9; });
  BindProcedure("HALF", 1, kReal,
                [](int) { return TextToReal(files::Texts().Pop().value_or("")) / 2; });
  files::Texts().Push("below");
  EXPECT_EQ(Must("JOIN('a', 1 + 1, 'c')").Text(), "a-2-c");
  EXPECT_EQ(Must("JOIN('x')").Text(), "x");
  EXPECT_EQ(Must("JOIN(JOIN('a', 'b'), 'c')").Text(), "a-b-c");
  // COUNT leaves its arguments behind; the evaluator removes them.
  EXPECT_EQ(Must("COUNT(1, 2, 3)").Integer(), 3);
  EXPECT_EQ(Must("HALF(5)").Text(), "2.5");
  EXPECT_EQ(Must("HALF(5)").Integer(), 2);
  EXPECT_EQ(files::Texts().Size(), 1);
  EXPECT_EQ(files::Texts().Pop().value_or(""), "below");
  // A bound procedure is never folded, even over constants.
  EXPECT_EQ(Must("COUNT(1, 2)").Print(), "COUNT(1, 2)");
  EXPECT_FALSE(
      BindProcedure("MANY", BindTable::kMaxProcedureArgs + 1, kInteger, [](int) { return 0.0; }));
}

TEST_F(EvaluationTest, EvaluateTextPushesTheResult) {
  files::Texts().Clear();
  Must("'ab' & 'cd'").EvaluateText();
  EXPECT_EQ(files::Texts().Pop().value_or(""), "abcd");
}

// A record layout split over view levels by buffer address.
class TwoLevels : public LevelMap {
 public:
  TwoLevels(const void* deeper, size_t size)
      : deeper_(static_cast<const uint8_t*>(deeper)), size_(size) {}
  int LevelOf(const uint8_t* address) const override {
    return address >= deeper_ && address < deeper_ + size_ ? 1 : 0;
  }

 private:
  const uint8_t* deeper_;
  size_t size_;
};

TEST_F(EvaluationTest, ThreeValuedLogicLeavesDeeperFieldsUndecided) {
  struct Child {
    int32_t b;
    char name[6];
  } child{};
  BindLong("CHI:B", &child.b);
  BindString("CHI:NAME", child.name, sizeof child.name);
  TwoLevels levels(&child, sizeof child);

  Expression both = Must("A = 1 AND CHI:B = 2");
  a_ = 0;
  EXPECT_EQ(both.ThreeValued(0, &levels), kFalse);
  a_ = 1;
  EXPECT_EQ(both.ThreeValued(0, &levels), kUndecided);
  child.b = 2;
  EXPECT_EQ(both.ThreeValued(1, &levels), kTrue);
  child.b = 3;
  EXPECT_EQ(both.ThreeValued(1, &levels), kFalse);

  Expression either = Must("A = 1 OR CHI:B = 2");
  a_ = 1;
  EXPECT_EQ(either.ThreeValued(0, &levels), kTrue);
  a_ = 0;
  EXPECT_EQ(either.ThreeValued(0, &levels), kUndecided);
  EXPECT_EQ(either.ThreeValued(1, &levels), kFalse);

  EXPECT_EQ(Must("NOT CHI:B = 2").ThreeValued(0, &levels), kUndecided);
  EXPECT_EQ(Must("NOT A = 0").ThreeValued(0, &levels), kFalse);
  EXPECT_EQ(Must("UPPER(CHI:NAME) = 'X'").ThreeValued(0, &levels), kUndecided);
  EXPECT_EQ(Must("A + CHI:B").ThreeValued(0, &levels), kUndecided);
  EXPECT_EQ(Must("A XOR CHI:B").ThreeValued(0, &levels), kUndecided);
  EXPECT_EQ(Must("1 = 1").ThreeValued(0, &levels), kTrue);
  EXPECT_EQ(Must("'  '").ThreeValued(0, &levels), kFalse);
  // Without a level map every field is known.
  EXPECT_EQ(Must("CHI:B = 3").ThreeValued(0, nullptr), kTrue);
  EXPECT_EQ(Expression().ThreeValued(0, nullptr), kTrue);
}

TEST_F(EvaluationTest, KeyRangeQueriesFindEqualitiesAndCaseFolding) {
  int16_t insurer = 0, reference = 0;
  BindShort("POL:INSURER_CODE", &insurer);
  BindShort("INS:REFERENCE", &reference);
  Expression e =
      Must("UPPER(POL:INSURER_CODE) = UPPER(INS:REFERENCE) AND (POL:INSURER_CODE = INS:REFERENCE)");
  const Node* root = e.tree();
  ASSERT_EQ(root->code(), kOpAnd);
  const auto* conjunction = static_cast<const OperatorNode*>(root);
  const Node* left = nullptr;
  const Node* right = nullptr;
  ASSERT_TRUE(conjunction->left()->EqualityOperands(&left, &right));
  ASSERT_NE(left->CaseFoldedOperand(), nullptr);
  ASSERT_NE(left->CaseFoldedOperand()->PlainVariable(), nullptr);
  EXPECT_EQ(left->CaseFoldedOperand()->PlainVariable()->address,
            reinterpret_cast<uint8_t*>(&insurer));
  ASSERT_TRUE(conjunction->right()->EqualityOperands(&left, &right));
  ASSERT_NE(left->PlainVariable(), nullptr);
  EXPECT_EQ(left->CaseFoldedOperand(), nullptr);
  EXPECT_EQ(right->PlainVariable()->address, reinterpret_cast<uint8_t*>(&reference));
  EXPECT_FALSE(root->EqualityOperands(&left, &right));

  insurer = 7, reference = 7;
  EXPECT_TRUE(e.IsTrue());
  reference = 8;
  EXPECT_FALSE(e.IsTrue());
}

TEST_F(EvaluationTest, ApplicationFiltersCompileAndSelectTheRightRecords) {
  char claim_item[20], item_code[20], item_policy[30], policy_reference[30];
  BindString("CLA:ITEM_REFERENCE", claim_item, sizeof claim_item);
  BindString("ITE:ITEM_CODE", item_code, sizeof item_code);
  BindString("ITE:POLICY_REFERENCE", item_policy, sizeof item_policy);
  BindString("POL:POLICY_REFERENCE", policy_reference, sizeof policy_reference);

  Expression claims =
      Must("CLA:ITEM_REFERENCE = ITE:ITEM_CODE AND (cla:item_reference = ite:item_code)");
  SetText(claim_item, sizeof claim_item, "TV-01");
  SetText(item_code, sizeof item_code, "TV-01");
  EXPECT_TRUE(claims.IsTrue());
  SetText(item_code, sizeof item_code, "tv-01");
  EXPECT_FALSE(claims.IsTrue());  // plain comparison keeps letter case
  SetText(item_code, sizeof item_code, "TV-02");
  EXPECT_FALSE(claims.IsTrue());

  Expression policies = Must("UPPER(ITE:POLICY_REFERENCE) = UPPER(POL:POLICY_REFERENCE)");
  SetText(item_policy, sizeof item_policy, "home-22");
  SetText(policy_reference, sizeof policy_reference, "HOME-22");
  EXPECT_TRUE(policies.IsTrue());
  SetText(policy_reference, sizeof policy_reference, "HOME-23");
  EXPECT_FALSE(policies.IsTrue());
}

TEST_F(EvaluationTest, EvaluateToTextReportsTheFailure) {
  std::string out = "stale";
  EXPECT_EQ(EvaluateToText("1 + 2", &out), 0);
  EXPECT_EQ(out, "3");
  EXPECT_EQ(EvaluateToText("UPPER('ab') & 'c'", &out), 0);
  EXPECT_EQ(out, "ABc");
  EXPECT_EQ(EvaluateToText("1 +", &out), 800);
  EXPECT_EQ(out, "");
  EXPECT_EQ(EvaluateToText("nobody + 1", &out), 801);
  ASSERT_TRUE(BindTextValue("WHO", "world"));
  EXPECT_EQ(EvaluateToText("'hello ' & who", &out), 0);
  EXPECT_EQ(out, "hello world");
  ASSERT_TRUE(BindTextValue("WHO", "again"));
  EXPECT_EQ(EvaluateToText("who", &out), 0);
  EXPECT_EQ(out, "again");
}

// Arithmetic and math functions against the same computation done here in
// C++, over many generated expressions.
struct Generated {
  std::string text;
  double value;
};

Generated Generate(std::mt19937& random, int depth) {
  std::uniform_int_distribution<int> pick(0, 9);
  if (depth == 0 || pick(random) < 2) {
    int whole = std::uniform_int_distribution<int>(0, 999)(random);
    if (pick(random) < 5) return {std::to_string(whole), static_cast<double>(whole)};
    int fraction = std::uniform_int_distribution<int>(0, 99)(random);
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d", whole, fraction);
    return {text, std::strtod(text, nullptr)};
  }
  Generated a = Generate(random, depth - 1);
  switch (std::uniform_int_distribution<int>(0, 12)(random)) {
    case 0:
      return {"ABS(" + a.text + ")", std::fabs(a.value)};
    case 1:
      return {"SQRT(ABS(" + a.text + "))", std::sqrt(std::fabs(a.value))};
    case 2:
      return {"SIN(" + a.text + ")", std::sin(a.value)};
    case 3:
      return {"COS(" + a.text + ")", std::cos(a.value)};
    case 4:
      return {"ATAN(" + a.text + ")", std::atan(a.value)};
    case 5:
      return {"LOGE(ABS(" + a.text + ") + 1)", std::log(std::fabs(a.value) + 1)};
    case 6:
      return {"-(" + a.text + ")", -a.value};
    default:
      break;
  }
  Generated b = Generate(random, depth - 1);
  switch (std::uniform_int_distribution<int>(0, 4)(random)) {
    case 0:
      return {"(" + a.text + " + " + b.text + ")", a.value + b.value};
    case 1:
      return {"(" + a.text + " - " + b.text + ")", a.value - b.value};
    case 2:
      return {"(" + a.text + " * " + b.text + ")", a.value * b.value};
    case 3:
      return {"(" + a.text + " / " + b.text + ")", a.value / b.value};
    default:
      return {"(" + a.text + " % " + b.text + ")", std::fmod(a.value, b.value)};
  }
}

TEST_F(EvaluationTest, GeneratedArithmeticMatchesAnIndependentComputation) {
  std::mt19937 random(20261208);
  for (int i = 0; i < 3000; ++i) {
    Generated g = Generate(random, 5);
    Expression e = Expression::Compile(g.text);
    ASSERT_TRUE(e.ok()) << g.text;
    double got = e.Real();
    if (std::isnan(g.value)) {
      EXPECT_TRUE(std::isnan(got)) << g.text;
    } else if (std::isinf(g.value)) {
      EXPECT_EQ(got, g.value) << g.text;
    } else {
      EXPECT_NEAR(got, g.value, 1e-9 * std::max(1.0, std::fabs(g.value))) << g.text;
    }
  }
}

struct PrecedenceCase {
  const char* text;
  double value;
};

TEST_F(EvaluationTest, PrecedenceLevelsFromLowestToHighest) {
  const PrecedenceCase cases[] = {
      {"2 + 3 * 4", 14},     {"(2 + 3) * 4", 20},   {"2 * 3 ^ 2", 18},     {"2 ^ 3 ^ 2", 64},
      {"-2 ^ 2", 4},         {"10 - 4 - 3", 3},     {"100 / 10 / 5", 2},   {"7 % 4 * 2", 6},
      {"2 * 7 % 4", 2},      {"1 + 2 = 3", 1},      {"1 + 2 & 3", 33},     {"1 = 1 AND 2 = 3", 0},
      {"1 OR 0 AND 0", 1},   {"(1 OR 0) AND 0", 0}, {"NOT 1 = 2", 1},      {"NOT 0 AND 0", 0},
      {"NOT (0 AND 0)", 1},  {"1 XOR 1 OR 1", 1},   {"1 XOR (1 OR 1)", 0}, {"2 < 3 = 1", 1},
      {"-(2 + 3) * 2", -10}, {"- - - 4", -4},       {"+ + 4", 4},          {"3 - -2", 5},
      {"'1' & '2' = 12", 1}, {"2 ^ -1", 0.5},
  };
  for (const PrecedenceCase& c : cases) {
    Expression e = Expression::Compile(c.text);
    ASSERT_TRUE(e.ok()) << c.text;
    EXPECT_DOUBLE_EQ(e.Real(), c.value) << c.text;
  }
}

}  // namespace
}  // namespace vorsandt::eval

namespace vorsandt::eval {
namespace {

// The locale's case table and collation sequence reach names, UPPER/LOWER
// and text comparison.
class LocaleEvaluationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    format::ResetLocale();
    ClearBindings();
  }
  void TearDown() override {
    format::ResetLocale();
    ClearBindings();
  }
};

TEST_F(LocaleEvaluationTest, CaseTableFoldsNamesAndTexts) {
  // A-umlaut and a-umlaut in the ANSI character set.
  ASSERT_TRUE(format::SetCasePairs(&format::MutableLocale(), "\xC4", "\xE4"));
  int32_t value = 5;
  ASSERT_TRUE(BindLong("\xC4RA", &value));
  Expression e = Expression::Compile("\xE4ra + 1");
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e.Integer(), 6);
  EXPECT_EQ(Expression::Compile("UPPER('\xE4x')").Text(), "\xC4X");
  EXPECT_EQ(Expression::Compile("LOWER('\xC4X')").Text(), "\xE4x");
}

TEST_F(LocaleEvaluationTest, WithoutPartnersHighCharactersAreNotLetters) {
  EXPECT_FALSE(Expression::Compile("\xE4ra").ok());
  EXPECT_EQ(files::Errors().Code(), 0);  // not a name at all: a syntax error
  EXPECT_EQ(Expression::Compile("UPPER('\xE4x')").Text(), "\xE4X");
}

TEST_F(LocaleEvaluationTest, CollationSequenceOrdersTexts) {
  EXPECT_TRUE(Expression::Compile("'B' < 'a'").IsTrue());
  format::SetCollationSequence(&format::MutableLocale(), "aAbB");
  EXPECT_TRUE(Expression::Compile("'a' < 'A'").IsTrue());
  EXPECT_TRUE(Expression::Compile("'A' < 'b'").IsTrue());
  EXPECT_FALSE(Expression::Compile("'B' < 'a'").IsTrue());
  EXPECT_TRUE(Expression::Compile("'a ' = 'a'").IsTrue());
}

}  // namespace
}  // namespace vorsandt::eval
