// The scanner of the expression language: one token at a time.
//
// Blanks and tabs are skipped. A name starts with a letter (as the locale
// classes letters), "_" or "?", continues over letters, digits, "_" and ":",
// and may end with "#", "$" or a double quote; it is looked up in the bind
// table at once, and an unbound name posts 801 and gives an error token.
// Numbers, quoted texts (a doubled quote stands for one) and pictures (from
// "@" to the first blank, "," or unparenthesized ")"; "~...~" skipped whole in
// number pictures; pattern pictures closed by their own P or p; a final B
// included) are constants. Everything else is a one-character operator or
// bracket, or an error.
#ifndef VORSANDT_RUNTIME_EVAL_SCANNER_H_
#define VORSANDT_RUNTIME_EVAL_SCANNER_H_

#include <cstddef>
#include <memory>
#include <string_view>

#include "runtime/eval/bind_table.h"
#include "runtime/eval/nodes.h"

namespace vorsandt::eval {

enum TokenKind : uint8_t {
  kEndToken,
  kErrorToken,
  kOperatorToken,  // `op` holds the operator code
  kOpenParen,
  kCloseParen,
  kOpenBracket,
  kCloseBracket,
  kConstantToken,  // `constant` holds the node
  kVariableToken,  // `entry` is the bind entry
  kFunctionToken,  // `entry` is the bind entry
};

struct Token {
  TokenKind kind = kEndToken;
  uint8_t op = 0;
  bool keyword = false;  // an operator written as a word (AND, NOT, ...)
  size_t position = 0;   // offset of the token's first character
  std::unique_ptr<ConstantNode> constant;
  const BindEntry* entry = nullptr;
};

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  // Reads the next token. After the end token, keeps returning it.
  Token Next();
  // The next character that is not a blank, without consuming it ('\0' at
  // the end). Lets the parser see "~=" without scanning past the "=".
  char PeekChar() const;
  size_t position() const { return position_; }

 private:
  Token Name(size_t start);
  Token Number(size_t start);
  Token QuotedText(size_t start);
  Token Picture(size_t start);

  std::string_view text_;
  size_t position_ = 0;
};

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_SCANNER_H_
