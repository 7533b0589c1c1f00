// Query by example: what a user types into the example grid, turned into a
// filter expression of the evaluator's language.
//
// The grid has one row per field. A row's example is one or more
// alternatives separated by the word OR; each alternative is
//
//   [NOT] [operator] value      operator: = > < >= <= <> (also => =< ~=)
//   [NOT] low..high             a range, both ends included
//   [NOT] pattern               text fields: * any run of characters, ? one
//
// A value in double quotes is taken as it stands ("a..b", "x OR y", "*").
// Text fields compare without regard to letter case, as their keys do:
// the field is wrapped in UPPER and the value is written in capitals, which
// also lets the view narrow a case-insensitive key order to the range the
// condition fixes. Numbers and dates are read through the field's entry
// picture (a date typed as the form shows it, "4/07/96" under @D5, becomes
// its day number). A number or date field whose text is no such value is
// taken as an expression ("TODAY() - 30"), which the evaluator checks.
// Wildcards call MATCH(field, pattern), bound by the query program.
//
// Filled rows are combined with AND; each row's alternatives with OR.
#ifndef VORSANDT_APP_QUERY_EXAMPLE_GRID_H_
#define VORSANDT_APP_QUERY_EXAMPLE_GRID_H_

#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::app::query {

enum class ValueKind { kText, kNumber, kDate };

struct ExampleField {
  std::string name;  // full field name, e.g. "ITE:PRICE_PAID"
  ValueKind kind = ValueKind::kText;
  std::string picture;  // the field's entry picture, e.g. "@D5"; may be empty
};

// One row's condition: the expression, or why the example cannot be one.
struct Condition {
  std::string text;   // empty for a blank example
  std::string error;  // non-empty when the example cannot be translated
};

// The name of the wildcard function the translation calls.
inline constexpr char kMatchFunction[] = "MATCH";

Condition ExampleCondition(const ExampleField& field, std::string_view typed);

// The filled conditions joined with AND; a condition holding OR at its top is
// in parentheses already.
std::string CombineConditions(const std::vector<std::string>& conditions);

// A text constant of the expression language: in single quotes, with each
// quote inside doubled.
std::string QuoteText(std::string_view text);

// Wildcard matching without regard to letter case: * any run, ? one character.
bool MatchesPattern(std::string_view text, std::string_view pattern);

}  // namespace vorsandt::app::query

#endif  // VORSANDT_APP_QUERY_EXAMPLE_GRID_H_
