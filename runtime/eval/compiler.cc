// Hand-written recursive descent over the grammar below, lowest precedence
// first; every two-operand level loops (left-associative). Each parse
// function returns nullptr after an error, and the error sticks: once set,
// every caller unwinds without reading further.
#include "runtime/eval/compiler.h"

#include <limits>
#include <utility>

#include "runtime/eval/scanner.h"
#include "runtime/files/error_state.h"

namespace vorsandt::eval {

namespace {

using NodePtr = std::unique_ptr<Node>;

class Parser {
 public:
  explicit Parser(std::string_view text) : scanner_(text) {}

  PartialCompile Run() {
    PartialCompile result;
    NodePtr tree = Expression();
    const Token& next = Peek();
    if (failed_) {
      result.stopped_at = error_position_;
      return result;
    }
    result.stopped_at = next.position;
    result.complete = next.kind == kEndToken;
    FoldConstants(&tree);
    result.tree = std::move(tree);
    return result;
  }

 private:
  const Token& Peek() {
    if (!has_lookahead_) {
      lookahead_ = scanner_.Next();
      has_lookahead_ = true;
    }
    return lookahead_;
  }

  Token Take() {
    Peek();
    has_lookahead_ = false;
    return std::move(lookahead_);
  }

  bool PeekOperator(uint8_t op) {
    const Token& t = Peek();
    return t.kind == kOperatorToken && t.op == op;
  }

  NodePtr Fail() {
    if (!failed_) {
      failed_ = true;
      error_position_ = Peek().position;
    }
    return nullptr;
  }

  // Every node is made here so that the height cap holds everywhere.
  NodePtr Check(NodePtr node) {
    if (failed_ || !node) return Fail();
    if (node->height() > kMaxTreeHeight) return Fail();
    return node;
  }

  NodePtr MakeOperator(uint8_t op, NodePtr left, NodePtr right) {
    return Check(std::make_unique<OperatorNode>(op, std::move(left), std::move(right)));
  }

  // expression := conjunction { (OR | XOR) conjunction }
  // A "," or ":" after it belongs to an enclosing list; any other operator
  // here is an error.
  NodePtr Expression() {
    NodePtr left = Conjunction();
    while (left && (PeekOperator(kOpOr) || PeekOperator(kOpXor))) {
      uint8_t op = Take().op;
      NodePtr right = Conjunction();
      if (!right) return Fail();
      left = MakeOperator(op, std::move(left), std::move(right));
    }
    if (!left) return Fail();
    if (Peek().kind == kOperatorToken && !PeekOperator(kOpComma) && !PeekOperator(kOpColon)) {
      return Fail();
    }
    return left;
  }

  // conjunction := negation { AND negation }
  NodePtr Conjunction() {
    NodePtr left = Negation();
    while (left && PeekOperator(kOpAnd)) {
      Take();
      NodePtr right = Negation();
      if (!right) return Fail();
      left = MakeOperator(kOpAnd, std::move(left), std::move(right));
    }
    return left ? std::move(left) : Fail();
  }

  // negation := { NOT } comparison
  // An odd number of NOTs gives one NOT node, an even number none.
  NodePtr Negation() {
    bool negate = false;
    while (PeekOperator(kOpNot)) {
      Take();
      negate = !negate;
    }
    NodePtr operand = Comparison();
    if (!operand) return Fail();
    return negate ? MakeOperator(kOpNot, std::move(operand), nullptr) : std::move(operand);
  }

  // relation := "=" | "<" | ">" | "<>" | "<=" | ">=" | "=<" | "=>" | "~="
  // Returns the operator code, or -1 (consuming nothing) when no relation
  // follows.
  int Relation() {
    if (PeekOperator(kOpEqual)) {
      Take();
      if (PeekOperator(kOpLess)) return Take(), kOpLessEqual;
      if (PeekOperator(kOpGreater)) return Take(), kOpGreaterEqual;
      return kOpEqual;
    }
    if (PeekOperator(kOpLess)) {
      Take();
      if (PeekOperator(kOpGreater)) return Take(), kOpNotEqual;
      if (PeekOperator(kOpEqual)) return Take(), kOpLessEqual;
      return kOpLess;
    }
    if (PeekOperator(kOpGreater)) {
      Take();
      if (PeekOperator(kOpEqual)) return Take(), kOpGreaterEqual;
      return kOpGreater;
    }
    // "~" is NOT unless an "=" follows; look at the character, not the
    // token, so that nothing beyond is scanned.
    if (PeekOperator(kOpNot) && !Peek().keyword && scanner_.PeekChar() == '=') {
      Take();
      Take();
      return kOpNotEqual;
    }
    return -1;
  }

  // comparison := concatenation { relation concatenation }
  NodePtr Comparison() {
    NodePtr left = Concatenation();
    while (left) {
      int op = Relation();
      if (op < 0) break;
      NodePtr right = Concatenation();
      if (!right) return Fail();
      left = MakeOperator(static_cast<uint8_t>(op), std::move(left), std::move(right));
    }
    return left ? std::move(left) : Fail();
  }

  // concatenation := sum { "&" sum }
  NodePtr Concatenation() {
    NodePtr left = Sum();
    while (left && PeekOperator(kOpConcat)) {
      Take();
      NodePtr right = Sum();
      if (!right) return Fail();
      left = MakeOperator(kOpConcat, std::move(left), std::move(right));
    }
    return left ? std::move(left) : Fail();
  }

  // sum := product { ("+" | "-") product }
  NodePtr Sum() {
    NodePtr left = Product();
    while (left && (PeekOperator(kOpAdd) || PeekOperator(kOpSubtract))) {
      uint8_t op = Take().op;
      NodePtr right = Product();
      if (!right) return Fail();
      left = MakeOperator(op, std::move(left), std::move(right));
    }
    return left ? std::move(left) : Fail();
  }

  // product := power { ("*" | "/" | "%") power }
  NodePtr Product() {
    NodePtr left = Power();
    while (left &&
           (PeekOperator(kOpMultiply) || PeekOperator(kOpDivide) || PeekOperator(kOpRemainder))) {
      uint8_t op = Take().op;
      NodePtr right = Power();
      if (!right) return Fail();
      left = MakeOperator(op, std::move(left), std::move(right));
    }
    return left ? std::move(left) : Fail();
  }

  // power := sign { "^" sign }
  NodePtr Power() {
    NodePtr left = Sign();
    while (left && PeekOperator(kOpPower)) {
      Take();
      NodePtr right = Sign();
      if (!right) return Fail();
      left = MakeOperator(kOpPower, std::move(left), std::move(right));
    }
    return left ? std::move(left) : Fail();
  }

  // sign := { "-" | "+" } primary
  // Each "-" toggles the negation and "+" is passed over; any other operator
  // here is an error. A negated number becomes a negative constant.
  NodePtr Sign() {
    bool negate = false;
    while (Peek().kind == kOperatorToken) {
      if (PeekOperator(kOpSubtract)) {
        negate = !negate;
      } else if (!PeekOperator(kOpAdd)) {
        return Fail();
      }
      Take();
    }
    NodePtr operand = Primary();
    if (!operand) return Fail();
    if (!negate) return operand;
    if (operand->kind() == kConstantNode && operand->value_class() == kInteger &&
        operand->Integer() != std::numeric_limits<int32_t>::min()) {
      return ConstantNode::OfInteger(-operand->Integer());
    }
    if (operand->kind() == kConstantNode && operand->value_class() <= kReal) {
      return ConstantNode::OfReal(-operand->Real());
    }
    return MakeOperator(kOpNegate, std::move(operand), nullptr);
  }

  bool Enter() {
    if (++depth_ > kMaxNesting) {
      Fail();
      return false;
    }
    return true;
  }
  void Leave() { --depth_; }

  bool Expect(TokenKind kind) {
    if (Peek().kind != kind) {
      Fail();
      return false;
    }
    Take();
    return true;
  }

  // primary := "(" expression ")" | constant | picture
  //          | variable [ "[" subscripts "]" ]
  //          | function "(" [ expression { "," expression } ] ")"
  NodePtr Primary() {
    switch (Peek().kind) {
      case kOpenParen: {
        Take();
        if (!Enter()) return nullptr;
        NodePtr inner = Expression();
        Leave();
        if (!inner || !Expect(kCloseParen)) return Fail();
        return inner;
      }
      case kConstantToken:
        return Take().constant;
      case kVariableToken: {
        const BindEntry* entry = Take().entry;
        auto variable = std::make_unique<VariableNode>(*entry);
        if (Peek().kind != kOpenBracket) return variable;
        Take();
        if (!Enter()) return nullptr;
        NodePtr result = Subscripts(std::move(variable));
        Leave();
        if (!result || !Expect(kCloseBracket)) return Fail();
        return Check(std::move(result));
      }
      case kFunctionToken: {
        const BindEntry* entry = Take().entry;
        if (!Expect(kOpenParen)) return nullptr;
        if (!Enter()) return nullptr;
        auto call = std::make_unique<CallNode>(*entry);
        bool ok = Arguments(call.get());
        Leave();
        if (!ok || !Expect(kCloseParen)) return Fail();
        return Check(std::move(call));
      }
      default:
        return Fail();
    }
  }

  // arguments := [ expression { "," expression } ]
  // Reading stops when no "," follows or the function's maximum is reached;
  // a further argument then leaves the "," where ")" is expected.
  bool Arguments(CallNode* call) {
    if (Peek().kind == kCloseParen || call->max_args() == 0) return true;
    while (true) {
      NodePtr arg = Expression();
      if (!arg) return false;
      call->AddArgument(std::move(arg));
      if (call->argument_count() >= call->max_args() || !PeekOperator(kOpComma)) return true;
      Take();
    }
  }

  // subscripts := element [ "," slice ]      (arrays)
  //             | slice                        (texts)
  // slice := expression [ ":" expression ]
  // An array's first subscript picks the element (from 1); a text's subscript
  // picks one character, or with ":" the characters from the first position
  // to the second.
  NodePtr Subscripts(std::unique_ptr<VariableNode> variable) {
    const bool array = variable->ref().elements > 1;
    const bool text = variable->value_class() == kText;
    if (array) {
      NodePtr element = Expression();
      if (!element) return Fail();
      variable->SetSubscript(std::move(element));
      if (!PeekOperator(kOpComma)) return variable;
      if (!text) return Fail();
      Take();
    } else if (!text) {
      return Fail();
    }
    NodePtr start = Expression();
    if (!start) return Fail();
    NodePtr end;
    if (PeekOperator(kOpColon)) {
      Take();
      end = Expression();
      if (!end) return Fail();
    }
    return std::make_unique<SliceNode>(std::move(variable), std::move(start), std::move(end));
  }

  Scanner scanner_;
  Token lookahead_;
  bool has_lookahead_ = false;
  bool failed_ = false;
  size_t error_position_ = 0;
  int depth_ = 0;
};

}  // namespace

PartialCompile CompilePartial(std::string_view text) {
  files::Errors().Clear();
  return Parser(text).Run();
}

std::unique_ptr<Node> Compile(std::string_view text) {
  PartialCompile result = CompilePartial(text);
  if (!result.complete) return nullptr;
  return std::move(result.tree);
}

}  // namespace vorsandt::eval
