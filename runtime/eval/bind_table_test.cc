#include "runtime/eval/bind_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/eval/expression.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::eval {
namespace {

class BindTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearBindings();
    files::Texts().Clear();
  }
  void TearDown() override { ClearBindings(); }
};

TEST_F(BindTableTest, BuiltinsAndKeywordsAreThereWhenTheTableIsEmpty) {
  EXPECT_EQ(Bindings().Size(), 0u);
  const BindEntry* upper = Bindings().Lookup("upper");
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(upper->kind, kFunctionEntry);
  EXPECT_EQ(upper->function, 15);
  EXPECT_EQ(upper->max_args, 1);
  EXPECT_EQ(upper->result, kText);
  EXPECT_EQ(Bindings().Size(), 45u);  // 41 functions and 4 keywords
  const BindEntry* age = Bindings().Lookup("Age");
  ASSERT_NE(age, nullptr);
  EXPECT_EQ(age->function, 41);
  const BindEntry* xor_entry = Bindings().Lookup("xor");
  ASSERT_NE(xor_entry, nullptr);
  EXPECT_EQ(xor_entry->kind, kKeywordEntry);
  EXPECT_EQ(xor_entry->op, 19);
  EXPECT_EQ(Bindings().Lookup("NOPE"), nullptr);
}

TEST_F(BindTableTest, NamesCompareWithoutRegardToCase) {
  int32_t value = 42;
  ASSERT_TRUE(BindLong("ite:Item_Count", &value));
  const BindEntry* entry = Bindings().Lookup("ITE:ITEM_COUNT");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->name, "ite:Item_Count");  // as bound
  EXPECT_EQ(Expression::Compile("Ite:item_count + 1").Integer(), 43);
}

TEST_F(BindTableTest, BindingAgainReplacesTheEntryEvenABuiltin) {
  int32_t first = 1;
  int32_t second = 2;
  BindLong("V", &first);
  BindLong("v", &second);
  EXPECT_EQ(Expression::Compile("V").Integer(), 2);
  int32_t upper = 7;
  BindLong("UPPER", &upper);
  EXPECT_EQ(Expression::Compile("UPPER + 1").Integer(), 8);
  EXPECT_FALSE(Expression::Compile("UPPER('a')").ok());
  // A keyword bound as a variable is a variable from then on.
  BindLong("AND", &first);
  EXPECT_EQ(Expression::Compile("AND * 3").Integer(), 3);
}

TEST_F(BindTableTest, ClearingRemovesBindingsAndBuiltinsReturn) {
  int32_t value = 1;
  BindLong("V", &value);
  ClearBindings();
  EXPECT_EQ(Bindings().Size(), 0u);
  EXPECT_FALSE(Expression::Compile("V").ok());
  EXPECT_EQ(files::Errors().Code(), files::kNoBindOnVariable);
  EXPECT_TRUE(Expression::Compile("UPPER('v')").ok());
}

TEST_F(BindTableTest, CompiledTreesSurviveRebindingAndClearing) {
  int32_t first = 5;
  BindLong("V", &first);
  Expression e = Expression::Compile("V * 2");
  int32_t second = 9;
  BindLong("V", &second);
  EXPECT_EQ(e.Integer(), 10);  // the tree keeps the reference it was compiled with
  ClearBindings();
  EXPECT_EQ(e.Integer(), 10);
  EXPECT_EQ(e.Print(), "V * 2");
}

TEST_F(BindTableTest, BindPopsTheNameFromTheTextStack) {
  int32_t value = 3;
  files::Texts().Push("POPPED");
  ASSERT_TRUE(Bind(VariableRef{reinterpret_cast<uint8_t*>(&value), 6, 4, 0, 1}));
  EXPECT_TRUE(files::Texts().Empty());
  EXPECT_EQ(Expression::Compile("popped").Integer(), 3);
  EXPECT_FALSE(Bind(VariableRef{reinterpret_cast<uint8_t*>(&value), 6, 4, 0, 1}));
}

TEST_F(BindTableTest, NamesAreCutToOneHundredCharacters) {
  int32_t value = 11;
  std::string long_name(120, 'Q');
  ASSERT_TRUE(BindLong(long_name, &value));
  EXPECT_NE(Bindings().Lookup(std::string(100, 'q')), nullptr);
  EXPECT_EQ(Bindings().Lookup(long_name), nullptr);
  EXPECT_EQ(Expression::Compile(std::string(100, 'Q')).Integer(), 11);
}

TEST_F(BindTableTest, UnsupportedVariablesAreNotBound) {
  int32_t value = 0;
  auto* at = reinterpret_cast<uint8_t*>(&value);
  EXPECT_FALSE(BindVariable("A", VariableRef{nullptr, 6, 4, 0, 1}));
  EXPECT_FALSE(BindVariable("A", VariableRef{at, 6, 2, 0, 1}));   // wrong size
  EXPECT_FALSE(BindVariable("A", VariableRef{at, 22, 4, 0, 1}));  // a group
  EXPECT_FALSE(BindVariable("A", VariableRef{at, 13, 4, 0, 1}));
  EXPECT_FALSE(BindVariable("A", VariableRef{at, 18, 0, 0, 1}));
  EXPECT_FALSE(BindVariable("A", VariableRef{at, 6, 4, 0, 0}));
  EXPECT_FALSE(BindVariable("", VariableRef{at, 6, 4, 0, 1}));
  EXPECT_EQ(Bindings().Lookup("A"), nullptr);
}

TEST_F(BindTableTest, EveryFieldTypeReadsInItsClass) {
  struct Record {
    uint8_t byte = 200;
    int16_t short_value = -2;
    uint16_t ushort_value = 65535;
    int32_t long_value = -70000;
    uint32_t ulong_value = 4000000000u;
    float float_value = 1.5f;
    double double_value = -0.25;
    uint8_t decimal[3] = {0xF0, 0x12, 0x34};  // -12.34 with 2 places
    char text[4] = {'a', 'b', ' ', ' '};
    char cstring[6] = {'x', 'y', 'z', '\0', 'q', 'q'};
    uint8_t pstring[5] = {3, 'p', 'q', 'r', 's'};
  } r;
  BindVariable("F1", VariableRef{&r.byte, 1, 1, 0, 1});
  BindVariable("F2", VariableRef{reinterpret_cast<uint8_t*>(&r.short_value), 2, 2, 0, 1});
  BindVariable("F3", VariableRef{reinterpret_cast<uint8_t*>(&r.ushort_value), 3, 2, 0, 1});
  BindVariable("F6", VariableRef{reinterpret_cast<uint8_t*>(&r.long_value), 6, 4, 0, 1});
  BindVariable("F7", VariableRef{reinterpret_cast<uint8_t*>(&r.ulong_value), 7, 4, 0, 1});
  BindVariable("F8", VariableRef{reinterpret_cast<uint8_t*>(&r.float_value), 8, 4, 0, 1});
  BindVariable("F9", VariableRef{reinterpret_cast<uint8_t*>(&r.double_value), 9, 8, 0, 1});
  BindVariable("F10", VariableRef{r.decimal, 10, 3, 2, 1});
  BindVariable("F18", VariableRef{reinterpret_cast<uint8_t*>(r.text), 18, 4, 0, 1});
  BindVariable("F19", VariableRef{reinterpret_cast<uint8_t*>(r.cstring), 19, 6, 0, 1});
  BindVariable("F20", VariableRef{r.pstring, 20, 5, 0, 1});
  struct Case {
    const char* name;
    ValueClass value_class;
    const char* text;
  };
  const Case cases[] = {
      {"F1", kInteger, "200"},    {"F2", kInteger, "-2"},      {"F3", kInteger, "65535"},
      {"F6", kInteger, "-70000"}, {"F7", kReal, "4000000000"}, {"F8", kReal, "1.5"},
      {"F9", kReal, "-0.25"},     {"F10", kReal, "-12.34"},    {"F18", kText, "ab  "},
      {"F19", kText, "xyz"},      {"F20", kText, "pqr"},
  };
  for (const Case& c : cases) {
    Expression e = Expression::Compile(c.name);
    ASSERT_TRUE(e.ok()) << c.name;
    EXPECT_EQ(e.tree()->value_class(), c.value_class) << c.name;
    EXPECT_EQ(e.Text(), c.text) << c.name;
  }
  EXPECT_EQ(Expression::Compile("F7 > 3999999999").Integer(), 1);
  EXPECT_EQ(Expression::Compile("F10 * 100").Integer(), -1234);
  // A length byte beyond the field reads only what the field holds.
  r.pstring[0] = 250;
  EXPECT_EQ(Expression::Compile("F20").Text(), "pqrs");
  // An unterminated C string reads the whole field.
  r.cstring[3] = 'w';
  r.cstring[5] = 'e';
  EXPECT_EQ(Expression::Compile("F19").Text(), "xyzwqe");
}

TEST_F(BindTableTest, TheMemoBindsAsAThousandCharacterText) {
  static char notes[1000];
  std::fill(std::begin(notes), std::end(notes), ' ');
  ASSERT_TRUE(BindString("CLA:NOTES", notes, sizeof notes));
  EXPECT_EQ(Expression::Compile("LEN(CLA:NOTES)").Integer(), 1000);
  EXPECT_FALSE(Expression::Compile("CLA:NOTES").IsTrue());
  std::memcpy(notes + 500, "dented", 6);
  EXPECT_EQ(Expression::Compile("INSTRING('dent', CLA:NOTES, 1)").Integer(), 501);
}

}  // namespace
}  // namespace vorsandt::eval
