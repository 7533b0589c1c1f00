#include "app/query/example_grid.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/dictionary/dictionary.h"
#include "app/query/query_view.h"
#include "runtime/eval/expression.h"
#include "runtime/files/operations.h"
#include "runtime/format/dates.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::app::query {
namespace {

const ExampleField kItem{"ITE:ITEM", ValueKind::kText, "@s60"};
const ExampleField kPrice{"ITE:PRICE_PAID", ValueKind::kNumber, "@n-13.2"};
const ExampleField kBought{"ITE:DATE_BOUGHT", ValueKind::kDate, "@D5"};
const ExampleField kBonus{"POL:NO_CLAIMS_BONUS", ValueKind::kNumber, "@P##%P"};

std::string Day(int month, int day, int year) {
  return std::to_string(format::DateFromParts(month, day, year));
}

struct Case {
  const ExampleField* field;
  std::string typed;
  std::string expected;  // the condition, or the error when `fails`
  bool fails = false;
};

TEST(ExampleGrid, TranslatesEachKindOfExample) {
  const Case cases[] = {
      // Blank examples make no condition.
      {&kItem, "", ""},
      {&kItem, "   ", ""},
      // Texts: without regard to case, quotes doubled.
      {&kItem, "Kitchen", "UPPER(ITE:ITEM) = 'KITCHEN'"},
      {&kItem, "O'Brien's chair", "UPPER(ITE:ITEM) = 'O''BRIEN''S CHAIR'"},
      {&kItem, ">= m", "UPPER(ITE:ITEM) >= 'M'"},
      {&kItem, "<>sofa", "UPPER(ITE:ITEM) <> 'SOFA'"},
      {&kItem, "=<b", "UPPER(ITE:ITEM) <= 'B'"},
      {&kItem, "=", "UPPER(ITE:ITEM) = ''"},
      {&kItem, "a..c", "(UPPER(ITE:ITEM) >= 'A' AND UPPER(ITE:ITEM) <= 'C')"},
      // Wildcards, also negated.
      {&kItem, "tv*", "MATCH(ITE:ITEM, 'tv*')"},
      {&kItem, "<> *sofa*", "NOT MATCH(ITE:ITEM, '*sofa*')"},
      {&kItem, "NOT ?ed*", "NOT MATCH(ITE:ITEM, '?ed*')"},
      {&kItem, "it's*", "MATCH(ITE:ITEM, 'it''s*')"},
      // Double quotes take the value as it stands.
      {&kItem, "\"a..b\"", "UPPER(ITE:ITEM) = 'A..B'"},
      {&kItem, "\"5 * 2 OR 3\"", "UPPER(ITE:ITEM) = '5 * 2 OR 3'"},
      {&kItem, "\"say \"\"hi\"\"\"", "UPPER(ITE:ITEM) = 'SAY \"HI\"'"},
      {&kItem, "\"open", "The closing double quote is missing.", true},
      // NOT and OR.
      {&kItem, "NOT Kitchen", "NOT UPPER(ITE:ITEM) = 'KITCHEN'"},
      {&kItem, "Kitchen or Garage", "(UPPER(ITE:ITEM) = 'KITCHEN' OR UPPER(ITE:ITEM) = 'GARAGE')"},
      {&kItem, "Kitchen OR", "An alternative is missing beside OR.", true},
      {&kItem, "Orchard", "UPPER(ITE:ITEM) = 'ORCHARD'"},
      // Numbers, through the entry picture.
      {&kPrice, ">100", "ITE:PRICE_PAID > 100"},
      {&kPrice, "1,234.50", "ITE:PRICE_PAID = 1234.5"},
      {&kPrice, "100..500", "(ITE:PRICE_PAID >= 100 AND ITE:PRICE_PAID <= 500)"},
      {&kPrice, "-3 .. 3", "(ITE:PRICE_PAID >= -3 AND ITE:PRICE_PAID <= 3)"},
      {&kPrice, "NOT 0", "NOT ITE:PRICE_PAID = 0"},
      {&kPrice, "< 10 OR > 1000", "(ITE:PRICE_PAID < 10 OR ITE:PRICE_PAID > 1000)"},
      {&kPrice, "NOT 10..20", "NOT (ITE:PRICE_PAID >= 10 AND ITE:PRICE_PAID <= 20)"},
      {&kPrice, "5*", "Wildcards apply to texts only.", true},
      {&kPrice, "<> 1..5", "A range takes no operator (NOT a..b leaves it out).", true},
      {&kItem, "= a..b", "UPPER(ITE:ITEM) = 'A..B'"},
      {&kBonus, ">= 25%", "POL:NO_CLAIMS_BONUS >= 25"},
      // Anything else in a number is an expression for the evaluator.
      {&kPrice, "> ABS(-3) * 2", "ITE:PRICE_PAID > (ABS(-3) * 2)"},
      // Dates as the entry picture shows them (@D5 is day/month/year).
      {&kBought, "4/07/96", "ITE:DATE_BOUGHT = " + Day(7, 4, 1996)},
      {&kBought, ">= 1/01/2020", "ITE:DATE_BOUGHT >= " + Day(1, 1, 2020)},
      {&kBought, "1/01/2020..31/12/2020",
       "(ITE:DATE_BOUGHT >= " + Day(1, 1, 2020) + " AND ITE:DATE_BOUGHT <= " + Day(12, 31, 2020) +
           ")"},
      {&kBought, "> TODAY() - 30", "ITE:DATE_BOUGHT > (TODAY() - 30)"},
      {&kBought, "13/45/96", "\"13/45/96\" is no date for the picture @D5.", true},
      {&kBought, "29/02/2021", "\"29/02/2021\" is no date for the picture @D5.", true},
      {&kBought, "29/02/2020", "ITE:DATE_BOUGHT = " + Day(2, 29, 2020)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field->name + " " + c.typed);
    Condition got = ExampleCondition(*c.field, c.typed);
    EXPECT_EQ(got.text.empty() ? got.error : got.text, c.expected);
    EXPECT_EQ(!got.error.empty(), c.fails);
  }
}

TEST(ExampleGrid, CombinesFilledRowsWithAnd) {
  EXPECT_EQ(CombineConditions({"", "A = 1", "", "(B = 2 OR B = 3)"}), "A = 1 AND (B = 2 OR B = 3)");
  EXPECT_EQ(CombineConditions({"", ""}), "");
}

TEST(ExampleGrid, WildcardsMatchWithoutRegardToCase) {
  EXPECT_TRUE(MatchesPattern("LED television, 55 inch", "*TELE*"));
  EXPECT_TRUE(MatchesPattern("Kitchen   ", "k?tchen"));
  EXPECT_TRUE(MatchesPattern("abcbc", "a*bc"));
  EXPECT_TRUE(MatchesPattern("", "*"));
  EXPECT_FALSE(MatchesPattern("Kitchen", "kit"));
  EXPECT_FALSE(MatchesPattern("Kitchen", "?kitchen"));
  EXPECT_FALSE(MatchesPattern("", "?"));
}

// The conditions do what they say when the evaluator runs them over a record.
class ConditionsOverARecord : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitDictionary(&qvf::QvfEntry); }
  void SetUp() override {
    BindQueryNames();
    files::FileRecord* items = files::InstanceOf(File(Table::kItems));
    std::memset(items->buffer, 0, items->record_length);
    Store("ITE:ITEM", "LED television, 55 inch");
    Store("ITE:LOCATION", "Living Room");
    Store("ITE:PRICE_PAID", "1088.49");
    Store("ITE:DATE_BOUGHT", Day(7, 31, 2021));
  }
  static void Store(const char* name, const std::string& value) {
    files::FileRecord* items = files::InstanceOf(File(Table::kItems));
    const FieldDef* f = FieldNamed(name);
    files::FieldInfo info;
    info.name = name;
    info.offset = f->offset;
    info.type = f->type;
    info.size = f->size;
    info.decimals = f->places;
    views::StoreText(info, items->buffer, value);
  }
  static bool Holds(const ExampleField& field, const std::string& typed) {
    Condition c = ExampleCondition(field, typed);
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(ConditionError(c.text), "") << c.text;
    return eval::Expression::Compile(c.text).IsTrue();
  }
};

TEST_F(ConditionsOverARecord, SelectOnlyMatchingValues) {
  const ExampleField location{"ITE:LOCATION", ValueKind::kText, "@s30"};
  EXPECT_TRUE(Holds(location, "living room"));
  EXPECT_TRUE(Holds(location, "Kitchen OR Living*"));
  EXPECT_FALSE(Holds(location, "NOT Living Room"));
  EXPECT_TRUE(Holds(location, "K..M"));
  EXPECT_TRUE(Holds(kItem, "*TELEVISION*"));
  EXPECT_FALSE(Holds(kItem, "<> *television*"));
  EXPECT_TRUE(Holds(kPrice, "1000..1100"));
  EXPECT_FALSE(Holds(kPrice, "> 1088.49"));
  EXPECT_TRUE(Holds(kPrice, "1,088.49"));
  EXPECT_TRUE(Holds(kBought, "31/07/2021"));
  EXPECT_FALSE(Holds(kBought, "< 31/07/2021"));
}

TEST_F(ConditionsOverARecord, RefusedConditionsCarryTheEvaluatorsMessage) {
  EXPECT_EQ(ConditionError("ITE:PRICE_PAID > (1 +)"), "Invalid expression for EVALUATE");
  EXPECT_EQ(ConditionError("ITE:PRICE_PAID > (NOSUCH)"), "No BIND on variable");
  EXPECT_EQ(ConditionError("ITE:PRICE_PAID > 100 AND MATCH(ITE:ITEM, 'a*')"), "");
}

}  // namespace
}  // namespace vorsandt::app::query
