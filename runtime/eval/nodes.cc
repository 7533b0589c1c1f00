#include "runtime/eval/nodes.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "runtime/eval/format_bridge.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::eval {

namespace {

// Binding strength of a node when printed, following the grammar's levels:
// OR/XOR 1, AND 2, NOT 3, relations 4, "&" 5, "+" "-" 6, "*" "/" "%" 7,
// "^" 8, sign 9, primary 10.
int Precedence(const Node& node) {
  if (node.kind() == kConstantNode) {
    if (node.value_class() == kInteger && node.Integer() < 0) return 9;
    if (node.value_class() == kReal && std::signbit(node.Real())) return 9;
    return 10;
  }
  if (node.kind() != kOperatorNode) return 10;
  switch (node.code()) {
    case kOpOr:
    case kOpXor:
      return 1;
    case kOpAnd:
      return 2;
    case kOpNot:
      return 3;
    case kOpEqual:
    case kOpNotEqual:
    case kOpLess:
    case kOpGreater:
    case kOpLessEqual:
    case kOpGreaterEqual:
      return 4;
    case kOpConcat:
      return 5;
    case kOpAdd:
    case kOpSubtract:
      return 6;
    case kOpMultiply:
    case kOpDivide:
    case kOpRemainder:
      return 7;
    case kOpPower:
      return 8;
    default:
      return 9;
  }
}

const char* OperatorText(uint8_t op) {
  switch (op) {
    case kOpPower:
      return " ^ ";
    case kOpMultiply:
      return " * ";
    case kOpDivide:
      return " / ";
    case kOpRemainder:
      return " % ";
    case kOpAdd:
      return " + ";
    case kOpSubtract:
      return " - ";
    case kOpConcat:
      return " & ";
    case kOpEqual:
      return " = ";
    case kOpNotEqual:
      return " <> ";
    case kOpLess:
      return " < ";
    case kOpGreater:
      return " > ";
    case kOpLessEqual:
      return " <= ";
    case kOpGreaterEqual:
      return " >= ";
    case kOpAnd:
      return " AND ";
    case kOpOr:
      return " OR ";
    case kOpXor:
      return " XOR ";
    default:
      return " ? ";
  }
}

// Writes `child`, in parentheses when it binds less tightly than `needed`.
void AppendOperand(const Node& child, int needed, std::string* out) {
  bool parenthesize = Precedence(child) < needed;
  if (parenthesize) *out += '(';
  child.AppendSource(out);
  if (parenthesize) *out += ')';
}

ValueClass OperatorClass(uint8_t op) {
  if (op == kOpConcat || op == kOpSlice) return kText;
  if (op >= kOpEqual && op <= kOpXor) return kLogical;
  return kReal;
}

}  // namespace

int CompareTexts(std::string_view a, std::string_view b) {
  const int c = bridge::CompareCollated(a, b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// ---- Node ----

void Node::EvaluateText() const { files::Texts().Push(Text()); }

std::string Node::Text() const {
  switch (value_class_) {
    case kLogical:
    case kInteger:
      return IntegerToText(Integer());
    case kReal:
      return RealToText(Real());
    default:
      return std::string();
  }
}

int32_t Node::Integer() const {
  switch (value_class_) {
    case kReal:
      return RoundToInteger(Real());
    case kPicture:
    case kText:
      return RoundToInteger(TextToReal(Text()));
    default:
      return 0;
  }
}

double Node::Real() const {
  switch (value_class_) {
    case kLogical:
    case kInteger:
      return Integer();
    case kPicture:
    case kText:
      return TextToReal(Text());
    default:
      return 0;
  }
}

bool Node::IsTrue() const {
  switch (value_class_) {
    case kLogical:
    case kInteger:
      return Integer() != 0;
    case kReal:
      return Real() != 0.0;
    default:
      return TextIsTrue(Text());
  }
}

Truth Node::ThreeValued(int level, const LevelMap* levels) const {
  if (HasUnknownField(level, levels)) return kUndecided;
  return IsTrue() ? kTrue : kFalse;
}

bool Node::EqualityOperands(const Node**, const Node**) const { return false; }

bool Node::HasUnknownField(int level, const LevelMap* levels) const {
  bool unknown = false;
  // Visiting does not change the children.
  const_cast<Node*>(this)->ForEachChild([&](std::unique_ptr<Node>& child) {
    if (!unknown && child && child->HasUnknownField(level, levels)) unknown = true;
  });
  return unknown;
}

void Node::ForEachChild(const std::function<void(std::unique_ptr<Node>&)>&) {}

// ---- ConstantNode ----

std::unique_ptr<ConstantNode> ConstantNode::OfInteger(int32_t value) {
  return std::make_unique<ConstantNode>(kInteger, value, value, std::string());
}

std::unique_ptr<ConstantNode> ConstantNode::OfReal(double value) {
  return std::make_unique<ConstantNode>(kReal, RoundToInteger(value), value, std::string());
}

std::unique_ptr<ConstantNode> ConstantNode::OfRealResult(double value) {
  auto node = OfReal(value);
  node->cut_to_integer_ = true;
  return node;
}

std::unique_ptr<ConstantNode> ConstantNode::OfText(std::string value) {
  return std::make_unique<ConstantNode>(kText, 0, 0, std::move(value));
}

std::unique_ptr<ConstantNode> ConstantNode::OfPicture(std::string value) {
  return std::make_unique<ConstantNode>(kPicture, 0, 0, std::move(value));
}

void ConstantNode::AppendSource(std::string* out) const {
  switch (value_class()) {
    case kLogical:
    case kInteger:
      *out += IntegerToText(integer_);
      break;
    case kReal:
      // Infinity is written as a number too large to hold, which reads back
      // as infinity; NaN constants are never made (see FoldConstants).
      if (std::isinf(real_)) {
        *out += real_ > 0 ? "1e999" : "-1e999";
      } else {
        // The shortest text that reads back as exactly this value, so a
        // printed tree compiles to the same constant.
        char buffer[64];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, real_);
        *out += ec == std::errc() ? std::string(buffer, end) : RealToText(real_);
      }
      break;
    case kPicture: {
      *out += text_;
      // A picture with an unclosed "(" ends at a blank; without one the
      // scanner would take what follows (a call's ")") into the picture.
      int open = 0;
      for (char c : text_) open += c == '(' ? 1 : c == ')' ? -1 : 0;
      if (open > 0) *out += ' ';
      break;
    }
    case kText:
      *out += '\'';
      for (char c : text_) {
        if (c == '\'') *out += '\'';
        *out += c;
      }
      *out += '\'';
      break;
  }
}

std::string ConstantNode::Text() const {
  if (value_class() >= kPicture) return text_;
  return Node::Text();
}

int32_t ConstantNode::Integer() const {
  if (value_class() <= kInteger) return integer_;
  if (value_class() == kReal)
    return cut_to_integer_ ? TruncateToInteger(real_) : RoundToInteger(real_);
  return Node::Integer();
}

double ConstantNode::Real() const {
  if (value_class() == kReal) return real_;
  return Node::Real();
}

// ---- VariableNode ----

void VariableNode::SetSubscript(std::unique_ptr<Node> subscript) {
  subscript_ = std::move(subscript);
  TakeHeight(subscript_.get());
}

void VariableNode::AppendOpenSubscripts(std::string* out) const {
  *out += name_;
  *out += '[';
  if (subscript_) subscript_->AppendSource(out);
}

void VariableNode::AppendSource(std::string* out) const {
  if (!subscript_) {
    *out += name_;
    return;
  }
  AppendOpenSubscripts(out);
  *out += ']';
}

uint32_t VariableNode::Element() const {
  if (!subscript_) return 0;
  int32_t number = subscript_->Integer();
  // Element numbers below 1 fall outside the array and read as empty.
  return number >= 1 ? static_cast<uint32_t>(number - 1) : UINT32_MAX;
}

std::string VariableNode::Text() const { return ReadText(ref_, Element()); }
int32_t VariableNode::Integer() const { return ReadInteger(ref_, Element()); }
double VariableNode::Real() const { return ReadReal(ref_, Element()); }

const VariableRef* VariableNode::PlainVariable() const { return subscript_ ? nullptr : &ref_; }

bool VariableNode::HasUnknownField(int level, const LevelMap* levels) const {
  if (levels != nullptr && levels->LevelOf(ref_.address) > level) return true;
  return subscript_ && subscript_->HasUnknownField(level, levels);
}

void VariableNode::ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit) {
  if (subscript_) visit(subscript_);
}

// ---- CallNode ----

void CallNode::AddArgument(std::unique_ptr<Node> arg) {
  TakeHeight(arg.get());
  args_.push_back(std::move(arg));
}

void CallNode::AppendSource(std::string* out) const {
  *out += name_;
  *out += '(';
  for (size_t i = 0; i < args_.size(); ++i) {
    if (i > 0) *out += ", ";
    args_[i]->AppendSource(out);
  }
  *out += ')';
}

Value CallNode::CallProcedure() const {
  Value value;
  value.value_class = value_class();
  if (!procedure_) return value;
  // Arguments are evaluated before any is pushed: an argument may itself call
  // a procedure that uses the stack.
  std::vector<std::string> texts;
  texts.reserve(args_.size());
  for (const auto& arg : args_) texts.push_back(arg->Text());
  files::TextStack& stack = files::Texts();
  const int base = stack.Size();
  for (size_t i = texts.size(); i > 0; --i) stack.Push(texts[i - 1]);
  double result = (*procedure_)(static_cast<int>(texts.size()));
  if (value_class() >= kPicture) {
    if (stack.Size() > base) value.text = stack.Pop().value_or(std::string());
  } else if (value_class() == kReal) {
    value.real = result;
  } else {
    value.integer = TruncateToInteger(result);
  }
  // A procedure that left arguments behind must not shift later stack users.
  while (stack.Size() > base) stack.Pop();
  return value;
}

Value CallNode::Call() const {
  if (code() == kBoundProcedure) return CallProcedure();
  return CallBuiltin(code(), *this);
}

std::string CallNode::Text() const {
  Value value = Call();
  switch (value_class()) {
    case kLogical:
    case kInteger:
      return IntegerToText(value.integer);
    case kReal:
      return RealToText(value.real);
    default:
      return value.text;
  }
}

int32_t CallNode::Integer() const {
  Value value = Call();
  switch (value_class()) {
    case kLogical:
    case kInteger:
      return value.integer;
    case kReal:
      // A real function result used as an integer is cut, not rounded.
      return TruncateToInteger(value.real);
    default:
      return RoundToInteger(TextToReal(value.text));
  }
}

double CallNode::Real() const {
  Value value = Call();
  switch (value_class()) {
    case kLogical:
    case kInteger:
      return value.integer;
    case kReal:
      return value.real;
    default:
      return TextToReal(value.text);
  }
}

const Node* CallNode::CaseFoldedOperand() const {
  if ((code() == kUpper || code() == kLower) && args_.size() == 1) return args_[0].get();
  return nullptr;
}

void CallNode::ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit) {
  for (auto& arg : args_) visit(arg);
}

// ---- OperatorNode ----

namespace {
bool IsUpperCall(const Node& node) {
  return node.kind() == kCallNode && node.code() == kUpper && node.CaseFoldedOperand() != nullptr;
}
}  // namespace

OperatorNode::OperatorNode(uint8_t op, std::unique_ptr<Node> left, std::unique_ptr<Node> right)
    : Node(kOperatorNode, OperatorClass(op), op), left_(std::move(left)), right_(std::move(right)) {
  TakeHeight(left_.get());
  TakeHeight(right_.get());
}

void OperatorNode::AppendSource(std::string* out) const {
  int own = Precedence(*this);
  if (code() == kOpNegate) {
    *out += '-';
    AppendOperand(*left_, 10, out);
    return;
  }
  if (code() == kOpNot) {
    *out += '~';
    AppendOperand(*left_, 4, out);
    return;
  }
  // Left-associative: the left operand may share the level, the right not.
  AppendOperand(*left_, own, out);
  *out += OperatorText(code());
  AppendOperand(*right_, own + 1, out);
}

int OperatorNode::Compare() const {
  ValueClass a = left_->value_class();
  ValueClass b = right_->value_class();
  if (a <= kInteger && b <= kInteger) {
    int32_t x = left_->Integer();
    int32_t y = right_->Integer();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (a < kText || b < kText) return CompareReals(left_->Real(), right_->Real());
  if (IsUpperCall(*left_) && IsUpperCall(*right_)) {
    // UPPER(x) against UPPER(y), the way a filter matches texts whatever
    // their case, runs for every row a view reads: the operands are folded
    // as they are compared instead of copied twice more to be upper-cased.
    const int c = bridge::CompareCollatedFolded(left_->CaseFoldedOperand()->Text(),
                                                right_->CaseFoldedOperand()->Text());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return CompareTexts(left_->Text(), right_->Text());
}

int32_t OperatorNode::Integer() const {
  switch (code()) {
    case kOpEqual:
      return Compare() == 0;
    case kOpNotEqual:
      return Compare() != 0;
    case kOpLess:
      return Compare() < 0;
    case kOpGreater:
      return Compare() > 0;
    case kOpLessEqual:
      return Compare() <= 0;
    case kOpGreaterEqual:
      return Compare() >= 0;
    case kOpNot:
      return !left_->IsTrue();
    case kOpAnd: {
      // Both sides are evaluated, always: a bound procedure on the right
      // runs whatever the left gave.
      bool l = left_->IsTrue();
      bool r = right_->IsTrue();
      return l && r;
    }
    case kOpOr: {
      bool l = left_->IsTrue();
      bool r = right_->IsTrue();
      return l || r;
    }
    case kOpXor: {
      bool l = left_->IsTrue();
      bool r = right_->IsTrue();
      return l != r;
    }
    default:
      return Node::Integer();
  }
}

double OperatorNode::Real() const {
  switch (code()) {
    case kOpPower:
      return std::pow(left_->Real(), right_->Real());
    case kOpMultiply:
      return left_->Real() * right_->Real();
    case kOpDivide:
      return left_->Real() / right_->Real();
    case kOpRemainder:
      return std::fmod(left_->Real(), right_->Real());
    case kOpNegate:
      return -left_->Real();
    case kOpAdd:
      return left_->Real() + right_->Real();
    case kOpSubtract:
      return left_->Real() - right_->Real();
    default:
      return Node::Real();
  }
}

std::string OperatorNode::Text() const {
  if (code() == kOpConcat) return left_->Text() + right_->Text();
  return Node::Text();
}

bool OperatorNode::IsTrue() const {
  if (value_class() == kLogical) return Integer() != 0;
  return Node::IsTrue();
}

Truth OperatorNode::ThreeValued(int level, const LevelMap* levels) const {
  switch (code()) {
    case kOpAnd: {
      Truth l = left_->ThreeValued(level, levels);
      Truth r = right_->ThreeValued(level, levels);
      if (l == kFalse || r == kFalse) return kFalse;
      return l == kTrue && r == kTrue ? kTrue : kUndecided;
    }
    case kOpOr: {
      Truth l = left_->ThreeValued(level, levels);
      Truth r = right_->ThreeValued(level, levels);
      if (l == kTrue || r == kTrue) return kTrue;
      return l == kFalse && r == kFalse ? kFalse : kUndecided;
    }
    case kOpNot: {
      Truth t = left_->ThreeValued(level, levels);
      return t == kUndecided ? kUndecided : (t == kTrue ? kFalse : kTrue);
    }
    default:
      return Node::ThreeValued(level, levels);
  }
}

bool OperatorNode::EqualityOperands(const Node** left, const Node** right) const {
  if (code() != kOpEqual) return false;
  *left = left_.get();
  *right = right_.get();
  return true;
}

void OperatorNode::ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit) {
  if (left_) visit(left_);
  if (right_) visit(right_);
}

// ---- SliceNode ----

SliceNode::SliceNode(std::unique_ptr<VariableNode> text, std::unique_ptr<Node> start,
                     std::unique_ptr<Node> end)
    : Node(kSliceNode, kText, kOpSlice),
      text_(std::move(text)),
      start_(std::move(start)),
      end_(std::move(end)) {
  TakeHeight(text_.get());
  TakeHeight(start_.get());
  TakeHeight(end_.get());
}

void SliceNode::AppendSource(std::string* out) const {
  const auto& variable = static_cast<const VariableNode&>(*text_);
  if (variable.subscript() != nullptr) {
    variable.AppendOpenSubscripts(out);
    *out += ", ";
  } else {
    *out += variable.name();
    *out += '[';
  }
  start_->AppendSource(out);
  if (end_) {
    *out += " : ";
    end_->AppendSource(out);
  }
  *out += ']';
}

std::string SliceNode::Text() const {
  std::string text = text_->Text();
  int64_t first = start_->Integer();
  int64_t last = end_ ? end_->Integer() : first;
  if (first < 1) first = 1;
  if (last > static_cast<int64_t>(text.size())) last = static_cast<int64_t>(text.size());
  if (first > last) return std::string();
  return text.substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1));
}

void SliceNode::ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit) {
  visit(text_);
  visit(start_);
  if (end_) visit(end_);
}

// ---- Folding and printing ----

void FoldConstants(std::unique_ptr<Node>* node) {
  if (!*node) return;
  (*node)->ForEachChild([](std::unique_ptr<Node>& child) { FoldConstants(&child); });
  // A minus over a constant (a call that folded to one) becomes the negated
  // constant, as the parser makes it from source text, so that the printed
  // tree reads back as itself.
  if ((*node)->kind() == kOperatorNode && (*node)->code() == kOpNegate) {
    auto* negation = static_cast<OperatorNode*>(node->get());
    const Node* operand = negation->left();
    if (operand != nullptr && negation->right() == nullptr && operand->kind() == kConstantNode) {
      if (operand->value_class() == kInteger &&
          operand->Integer() != std::numeric_limits<int32_t>::min()) {
        *node = ConstantNode::OfInteger(-operand->Integer());
      } else if (operand->value_class() == kReal) {
        *node = ConstantNode::OfReal(-operand->Real());
      }
    }
    return;
  }
  if ((*node)->kind() != kCallNode) return;
  auto* call = static_cast<CallNode*>(node->get());
  if (IsVolatileCall(call->code(), call->argument_count())) return;
  for (int i = 0; i < call->argument_count(); ++i) {
    if (call->argument(i)->kind() != kConstantNode) return;
  }
  Value value = call->Call();
  // A NaN has no source form; the call stays and is evaluated each time.
  if (call->value_class() == kReal && std::isnan(value.real)) return;
  switch (call->value_class()) {
    case kLogical:
    case kInteger:
      *node = ConstantNode::OfInteger(value.integer);
      break;
    case kReal:
      *node = ConstantNode::OfRealResult(value.real);
      break;
    default:
      *node = ConstantNode::OfText(std::move(value.text));
      break;
  }
}

std::string PrintTree(const Node& node) {
  std::string out;
  node.AppendSource(&out);
  return out;
}

}  // namespace vorsandt::eval
