#include "app/query/example_grid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>

#include "runtime/format/characters.h"
#include "runtime/format/format.h"
#include "runtime/format/picture.h"

namespace vorsandt::app::query {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool SameWord(std::string_view a, std::string_view b) {
  return format::ToUpperText(a) == format::ToUpperText(b);
}

// Splits at the word OR (blanks on both sides) outside double quotes.
std::vector<std::string_view> Alternatives(std::string_view text) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (quoted || text[i] != ' ' || i + 3 > text.size()) continue;
    if (SameWord(text.substr(i + 1, 2), "OR") && (i + 3 == text.size() || text[i + 3] == ' ')) {
      parts.push_back(text.substr(start, i - start));
      start = std::min(i + 4, text.size());
      i += 2;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The operators a value may start with, longest first, and how they are
// written in the expression.
struct Operator {
  std::string_view typed;
  std::string_view written;
};
constexpr std::array<Operator, 9> kOperators = {{
    {">=", ">="},
    {"=>", ">="},
    {"<=", "<="},
    {"=<", "<="},
    {"<>", "<>"},
    {"~=", "<>"},
    {"=", "="},
    {">", ">"},
    {"<", "<"},
}};

// One alternative taken apart.
struct Parts {
  bool negated = false;
  std::string_view op;  // as written in the expression; empty when none was typed
  std::string value;
  bool literal = false;  // the value was in double quotes
};

std::optional<Parts> Split(std::string_view text, std::string* error) {
  Parts p;
  text = Trim(text);
  if (text.size() >= 4 && SameWord(text.substr(0, 3), "NOT") && text[3] == ' ') {
    p.negated = true;
    text = Trim(text.substr(4));
  }
  for (const Operator& o : kOperators) {
    if (text.starts_with(o.typed)) {
      p.op = o.written;
      text = Trim(text.substr(o.typed.size()));
      break;
    }
  }
  if (!text.empty() && text.front() == '"') {
    if (text.size() < 2 || text.back() != '"') {
      *error = "The closing double quote is missing.";
      return std::nullopt;
    }
    p.literal = true;
    text = text.substr(1, text.size() - 2);
    for (size_t i = 0; i < text.size(); ++i) {
      p.value += text[i];
      if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"') ++i;
    }
    return p;
  }
  p.value = std::string(text);
  return p;
}

std::string NumberText(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", v);
  return text;
}

bool HasLetterOrBracket(std::string_view s) {
  for (char c : s) {
    if (c == '(' || c == '_' || format::IsAlpha(c)) return true;
  }
  return false;
}

bool HasDigit(std::string_view s) {
  for (char c : s) {
    if (c >= '0' && c <= '9') return true;
  }
  return false;
}

std::vector<long> DigitGroups(std::string_view s) {
  std::vector<long> groups;
  for (size_t i = 0; i < s.size();) {
    if (s[i] < '0' || s[i] > '9') {
      ++i;
      continue;
    }
    long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 100000; ++i) v = v * 10 + (s[i] - '0');
    groups.push_back(v);
  }
  return groups;
}

// Reading a date rolls a day or month out of range over into the next
// ("13/45/96" is a day of 1999); such a text is no date. The day found is
// shown through the picture again and its numbers must be those typed (a year
// typed in full against two digits shown counts by its last two).
bool SameDateShown(std::string_view typed, double day, const format::Picture& picture) {
  const std::vector<long> want = DigitGroups(typed);
  const std::vector<long> shown = DigitGroups(format::Format(day, picture));
  if (want.size() != shown.size()) return true;  // a picture with month names: trust the reading
  for (size_t i = 0; i < want.size(); ++i) {
    if (want[i] != shown[i] && want[i] % 100 != shown[i]) return false;
  }
  return true;
}

// The value as an operand of the expression, or an error.
std::optional<std::string> Operand(const ExampleField& field, const std::string& value,
                                   bool literal, std::string* error) {
  if (field.kind == ValueKind::kText) return QuoteText(format::ToUpperText(value));
  std::string_view v = Trim(value);
  if (v.empty()) return std::string("0");
  if (literal || HasLetterOrBracket(v) || !HasDigit(v)) {
    // An expression of the evaluator's language, checked by the evaluator.
    return "(" + std::string(v) + ")";
  }
  if (v.find_first_of("*?") != std::string_view::npos) {
    *error = "Wildcards apply to texts only.";
    return std::nullopt;
  }
  std::optional<format::Picture> picture = format::CompilePicture(field.picture);
  if (picture && picture->TakesText()) picture.reset();
  const double number = picture ? format::Deformat(v, &*picture).number : format::DeformatNumber(v);
  if (field.kind == ValueKind::kDate &&
      (number <= 0 || !std::isfinite(number) || (picture && !SameDateShown(v, number, *picture)))) {
    *error = "\"" + std::string(v) + "\" is no date for the picture " + field.picture + ".";
    return std::nullopt;
  }
  if (!std::isfinite(number)) {
    *error = "\"" + std::string(v) + "\" is too large a number.";
    return std::nullopt;
  }
  return NumberText(number);
}

std::string Subject(const ExampleField& field) {
  return field.kind == ValueKind::kText ? "UPPER(" + field.name + ")" : field.name;
}

std::optional<std::string> Alternative(const ExampleField& field, std::string_view typed,
                                       std::string* error) {
  std::optional<Parts> p = Split(typed, error);
  if (!p) return std::nullopt;
  std::string condition;
  const size_t dots = p->literal ? std::string::npos : p->value.find("..");
  const bool wild = !p->literal && field.kind == ValueKind::kText &&
                    (p->op.empty() || p->op == "=" || p->op == "<>") &&
                    p->value.find_first_of("*?") != std::string::npos;
  if (dots != std::string::npos && !p->op.empty() && field.kind != ValueKind::kText) {
    *error = "A range takes no operator (NOT a..b leaves it out).";
    return std::nullopt;
  }
  if (dots != std::string::npos && p->op.empty()) {
    std::optional<std::string> low =
        Operand(field, std::string(Trim(p->value.substr(0, dots))), false, error);
    if (!low) return std::nullopt;
    std::optional<std::string> high =
        Operand(field, std::string(Trim(p->value.substr(dots + 2))), false, error);
    if (!high) return std::nullopt;
    condition =
        "(" + Subject(field) + " >= " + *low + " AND " + Subject(field) + " <= " + *high + ")";
  } else if (wild) {
    condition = std::string(kMatchFunction) + "(" + field.name + ", " + QuoteText(p->value) + ")";
    if (p->op == "<>") p->negated = !p->negated;
  } else {
    std::optional<std::string> operand = Operand(field, p->value, p->literal, error);
    if (!operand) return std::nullopt;
    condition = Subject(field) + " " + std::string(p->op.empty() ? "=" : p->op) + " " + *operand;
  }
  return p->negated ? "NOT " + condition : condition;
}

}  // namespace

std::string QuoteText(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

Condition ExampleCondition(const ExampleField& field, std::string_view typed) {
  Condition result;
  if (Trim(typed).empty()) return result;
  std::vector<std::string> parts;
  for (std::string_view alternative : Alternatives(typed)) {
    if (Trim(alternative).empty()) {
      result.error = "An alternative is missing beside OR.";
      return result;
    }
    std::optional<std::string> c = Alternative(field, alternative, &result.error);
    if (!c) return result;
    parts.push_back(*c);
  }
  if (parts.size() == 1) {
    result.text = parts[0];
    return result;
  }
  result.text = "(";
  for (size_t i = 0; i < parts.size(); ++i) result.text += (i > 0 ? " OR " : "") + parts[i];
  result.text += ")";
  return result;
}

std::string CombineConditions(const std::vector<std::string>& conditions) {
  std::string filter;
  for (const std::string& c : conditions) {
    if (c.empty()) continue;
    if (!filter.empty()) filter += " AND ";
    filter += c;
  }
  return filter;
}

bool MatchesPattern(std::string_view text, std::string_view pattern) {
  // Iterative matching with one remembered star: linear in practice and never
  // recursive, whatever the pattern.
  const std::string t = format::ToUpperText(Trim(text));
  const std::string p = format::ToUpperText(Trim(pattern));
  size_t ti = 0, pi = 0;
  size_t star = std::string::npos, resume = 0;
  while (ti < t.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == t[ti])) {
      ++ti;
      ++pi;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      resume = ti;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ti = ++resume;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace vorsandt::app::query
