#include "runtime/eval/scanner.h"

#include <cstdlib>
#include <string>

#include "runtime/eval/format_bridge.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"

namespace vorsandt::eval {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return bridge::IsLetter(static_cast<unsigned char>(c)); }

Token Simple(TokenKind kind, size_t position, uint8_t op = 0) {
  Token token;
  token.kind = kind;
  token.position = position;
  token.op = op;
  return token;
}

}  // namespace

char Scanner::PeekChar() const {
  size_t at = position_;
  while (at < text_.size() && (text_[at] == ' ' || text_[at] == '\t')) ++at;
  return at < text_.size() ? text_[at] : '\0';
}

Token Scanner::Next() {
  while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\t')) {
    ++position_;
  }
  const size_t start = position_;
  if (start >= text_.size()) return Simple(kEndToken, start);
  const char c = text_[start];
  if (IsLetter(c) || c == '_' || c == '?') return Name(start);
  if (IsDigit(c)) return Number(start);
  if (c == '\'') return QuotedText(start);
  if (c == '@') return Picture(start);
  ++position_;
  switch (c) {
    case '+':
      return Simple(kOperatorToken, start, kOpAdd);
    case '-':
      return Simple(kOperatorToken, start, kOpSubtract);
    case '*':
      return Simple(kOperatorToken, start, kOpMultiply);
    case '/':
      return Simple(kOperatorToken, start, kOpDivide);
    case '%':
      return Simple(kOperatorToken, start, kOpRemainder);
    case '^':
      return Simple(kOperatorToken, start, kOpPower);
    case '&':
      return Simple(kOperatorToken, start, kOpConcat);
    case '=':
      return Simple(kOperatorToken, start, kOpEqual);
    case '<':
      return Simple(kOperatorToken, start, kOpLess);
    case '>':
      return Simple(kOperatorToken, start, kOpGreater);
    case '~':
      return Simple(kOperatorToken, start, kOpNot);
    case ',':
      return Simple(kOperatorToken, start, kOpComma);
    case ':':
      return Simple(kOperatorToken, start, kOpColon);
    case '(':
      return Simple(kOpenParen, start);
    case ')':
      return Simple(kCloseParen, start);
    case '[':
      return Simple(kOpenBracket, start);
    case ']':
      return Simple(kCloseBracket, start);
    default:
      position_ = start;  // the error token stays where it is
      return Simple(kErrorToken, start);
  }
}

// name := (letter | "_" | "?") { letter | digit | "_" | ":" } [ "#" | "$" | '"' ]
Token Scanner::Name(size_t start) {
  size_t at = start + 1;
  while (at < text_.size() &&
         (IsLetter(text_[at]) || IsDigit(text_[at]) || text_[at] == '_' || text_[at] == ':')) {
    ++at;
  }
  if (at < text_.size() && (text_[at] == '#' || text_[at] == '$' || text_[at] == '"')) ++at;
  position_ = at;
  std::string_view name = text_.substr(start, at - start);
  const BindEntry* entry = Bindings().Lookup(name);
  if (entry == nullptr) {
    files::Errors().Post(files::kNoBindOnVariable);
    return Simple(kErrorToken, start);
  }
  Token token;
  token.position = start;
  token.entry = entry;
  switch (entry->kind) {
    case kKeywordEntry:
      token.kind = kOperatorToken;
      token.op = entry->op;
      token.keyword = true;
      break;
    case kFunctionEntry:
      token.kind = kFunctionToken;
      break;
    default:
      token.kind = kVariableToken;
      break;
  }
  return token;
}

// number := digit { digit } [ "." digit { digit } ] [ ("e" | "E") [ "+" | "-" ] digit { digit } ]
Token Scanner::Number(size_t start) {
  size_t at = start;
  while (at < text_.size() && IsDigit(text_[at])) ++at;
  bool real = false;
  if (at < text_.size() && text_[at] == '.') {
    if (at + 1 >= text_.size() || !IsDigit(text_[at + 1])) return Simple(kErrorToken, at);
    real = true;
    ++at;
    while (at < text_.size() && IsDigit(text_[at])) ++at;
  }
  if (at < text_.size() && (text_[at] == 'e' || text_[at] == 'E')) {
    size_t exponent = at + 1;
    if (exponent < text_.size() && (text_[exponent] == '+' || text_[exponent] == '-')) ++exponent;
    if (exponent >= text_.size() || !IsDigit(text_[exponent])) return Simple(kErrorToken, at);
    real = true;
    at = exponent;
    while (at < text_.size() && IsDigit(text_[at])) ++at;
  }
  position_ = at;
  std::string digits(text_.substr(start, at - start));
  double value = std::strtod(digits.c_str(), nullptr);
  Token token;
  token.kind = kConstantToken;
  token.position = start;
  // Digits beyond the 32-bit range would wrap; such a number is kept as a
  // real instead.
  if (!real && value <= 2147483647.0) {
    token.constant = ConstantNode::OfInteger(static_cast<int32_t>(value));
  } else {
    token.constant = ConstantNode::OfReal(value);
  }
  return token;
}

// text := "'" { character | "''" } "'"
Token Scanner::QuotedText(size_t start) {
  std::string value;
  size_t at = start + 1;
  while (true) {
    if (at >= text_.size()) return Simple(kErrorToken, start);  // not closed
    if (text_[at] == '\'') {
      if (at + 1 < text_.size() && text_[at + 1] == '\'') {
        value += '\'';
        at += 2;
        continue;
      }
      ++at;
      break;
    }
    value += text_[at++];
  }
  position_ = at;
  Token token;
  token.kind = kConstantToken;
  token.position = start;
  token.constant = ConstantNode::OfText(std::move(value));
  return token;
}

// picture := "@" kind-letter ... (see the header)
Token Scanner::Picture(size_t start) {
  size_t at = start + 1;
  const char kind = at < text_.size() ? text_[at] : '\0';
  if (kind == 'P' || kind == 'p') {
    // A pattern runs to the next letter equal to the one that opened it.
    size_t close = text_.find(kind, at + 1);
    if (close == std::string_view::npos) return Simple(kErrorToken, start);
    at = close + 1;
    if (at < text_.size() && (text_[at] == 'B' || text_[at] == 'b')) ++at;
  } else {
    const bool number = kind == 'N' || kind == 'n';
    int depth = 0;
    while (at < text_.size()) {
      char c = text_[at];
      if (c == ' ' || c == '\t' || c == ',' || (c == ')' && depth == 0)) break;
      if (c == '(') ++depth;
      if (c == ')') --depth;
      if (c == '~' && number) {
        size_t close = text_.find('~', at + 1);
        if (close == std::string_view::npos) return Simple(kErrorToken, start);
        at = close + 1;
        continue;
      }
      ++at;
    }
  }
  position_ = at;
  Token token;
  token.kind = kConstantToken;
  token.position = start;
  token.constant = ConstantNode::OfPicture(std::string(text_.substr(start, at - start)));
  return token;
}

}  // namespace vorsandt::eval
