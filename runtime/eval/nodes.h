// Expression nodes: the compiled form of an expression.
//
// A tree is built once by the compiler and evaluated as often as needed
// against the live contents of the variables it names. Every node has a value
// class and an operator or function code and answers one interface: release
// its children, append its source form, evaluate as text, integer or real,
// evaluate in three-valued logic up to a view level, tell whether it is a plain
// variable, fold constants, and two queries for the view engine's key-range
// analysis. Evaluation never fails: arithmetic follows the processor's
// floating-point rules, and texts and subscripts out of range read as empty.
//
// Trees are at most Compiler::kMaxTreeHeight deep, so the recursive
// evaluation, printing and destruction here stay within a small stack.
#ifndef VORSANDT_RUNTIME_EVAL_NODES_H_
#define VORSANDT_RUNTIME_EVAL_NODES_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/eval/bind_table.h"
#include "runtime/eval/builtins.h"
#include "runtime/eval/values.h"

namespace vorsandt::eval {

// Operator codes.
enum Operator : uint8_t {
  kOpElement = 0,  // array element (internal)
  kOpSlice = 1,    // text slice (internal)
  kOpPower = 2,
  kOpMultiply = 3,
  kOpDivide = 4,
  kOpRemainder = 5,
  kOpNegate = 6,
  kOpAdd = 7,
  kOpSubtract = 8,
  kOpConcat = 9,
  kOpEqual = 10,
  kOpNotEqual = 11,
  kOpLess = 12,
  kOpGreater = 13,
  kOpLessEqual = 14,
  kOpGreaterEqual = 15,
  kOpNot = 16,
  kOpAnd = 17,
  kOpOr = 18,
  kOpXor = 19,
  kOpComma = 20,
  kOpColon = 21,
};

enum NodeKind : uint8_t {
  kBaseNode = 0,
  kConstantNode = 1,
  kVariableNode = 2,
  kCallNode = 3,
  kOperatorNode = 4,
  kSliceNode = 5,
};

// Tells three-valued evaluation which view level a variable belongs to. The
// view engine knows which record buffer each level reads into.
class LevelMap {
 public:
  virtual ~LevelMap() = default;
  // The level of the variable at `address`; levels count from 0 (the primary
  // level). Variables outside every level belong to level 0.
  virtual int LevelOf(const uint8_t* address) const = 0;
};

class Node {
 public:
  Node(NodeKind kind, ValueClass value_class, uint8_t code)
      : kind_(kind), value_class_(value_class), code_(code) {}
  virtual ~Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  NodeKind kind() const { return kind_; }
  ValueClass value_class() const { return value_class_; }
  // Operator code, or function number for calls.
  uint8_t code() const { return code_; }
  // 1 for a leaf, else 1 + the height of the highest child.
  int height() const { return height_; }

  // Appends the source form ("A + 1", "UPPER(X)", "'it''s'").
  virtual void AppendSource(std::string* out) const = 0;
  // Evaluates as text and pushes the result on the runtime's text stack.
  void EvaluateText() const;
  virtual std::string Text() const;
  virtual int32_t Integer() const;
  virtual double Real() const;
  // The node's truth as a condition.
  virtual bool IsTrue() const;
  // Three-valued evaluation up to `level`: fields of deeper levels are not yet
  // known. A null map puts every variable on level 0.
  virtual Truth ThreeValued(int level, const LevelMap* levels) const;
  // The variable when the node is a plain variable reference (no subscripts).
  virtual const VariableRef* PlainVariable() const { return nullptr; }
  // Key-range query: for UPPER(x) and LOWER(x), the operand x.
  virtual const Node* CaseFoldedOperand() const { return nullptr; }
  // Key-range query: for "=", its two operands.
  virtual bool EqualityOperands(const Node** left, const Node** right) const;
  // True when some variable in the tree belongs to a level deeper than `level`.
  virtual bool HasUnknownField(int level, const LevelMap* levels) const;
  // Visits the owning pointers of the children (for folding).
  virtual void ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit);

 protected:
  void TakeHeight(const Node* child) {
    if (child != nullptr && child->height_ + 1 > height_) height_ = child->height_ + 1;
  }

 private:
  NodeKind kind_;
  ValueClass value_class_;
  uint8_t code_;
  int height_ = 1;
};

class ConstantNode final : public Node {
 public:
  static std::unique_ptr<ConstantNode> OfInteger(int32_t value);
  static std::unique_ptr<ConstantNode> OfReal(double value);
  static std::unique_ptr<ConstantNode> OfText(std::string value);
  static std::unique_ptr<ConstantNode> OfPicture(std::string value);
  // The folded result of a call with a real result: used as an integer it is
  // cut toward zero, as the call's own result would have been.
  static std::unique_ptr<ConstantNode> OfRealResult(double value);

  ConstantNode(ValueClass value_class, int32_t integer, double real, std::string text)
      : Node(kConstantNode, value_class, 0),
        integer_(integer),
        real_(real),
        text_(std::move(text)) {}

  void AppendSource(std::string* out) const override;
  std::string Text() const override;
  int32_t Integer() const override;
  double Real() const override;
  Truth ThreeValued(int, const LevelMap*) const override { return IsTrue() ? kTrue : kFalse; }
  bool HasUnknownField(int, const LevelMap*) const override { return false; }

 private:
  int32_t integer_;
  double real_;
  std::string text_;
  bool cut_to_integer_ = false;
};

class VariableNode final : public Node {
 public:
  VariableNode(const BindEntry& entry)
      : Node(kVariableNode, entry.value_class, 0), ref_(entry.variable), name_(entry.name) {}

  // The array subscript (1-based element number).
  void SetSubscript(std::unique_ptr<Node> subscript);
  const Node* subscript() const { return subscript_.get(); }
  const std::string& name() const { return name_; }
  const VariableRef& ref() const { return ref_; }

  void AppendSource(std::string* out) const override;
  // The name and the open subscript list without its closing bracket, for
  // slices that continue the list.
  void AppendOpenSubscripts(std::string* out) const;
  std::string Text() const override;
  int32_t Integer() const override;
  double Real() const override;
  const VariableRef* PlainVariable() const override;
  bool HasUnknownField(int level, const LevelMap* levels) const override;
  void ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit) override;

 private:
  uint32_t Element() const;

  VariableRef ref_;
  std::string name_;
  std::unique_ptr<Node> subscript_;
};

class CallNode final : public Node, private Arguments {
 public:
  CallNode(const BindEntry& entry)
      : Node(kCallNode, entry.result, entry.function),
        name_(entry.name),
        max_args_(entry.max_args),
        procedure_(entry.procedure) {}

  int max_args() const { return max_args_; }
  int argument_count() const { return static_cast<int>(args_.size()); }
  void AddArgument(std::unique_ptr<Node> arg);
  const Node* argument(int i) const { return args_[static_cast<size_t>(i)].get(); }
  const std::string& name() const { return name_; }

  void AppendSource(std::string* out) const override;
  std::string Text() const override;
  int32_t Integer() const override;
  double Real() const override;
  const Node* CaseFoldedOperand() const override;
  void ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit) override;

  // The call's result as a value of its result class.
  Value Call() const;

 private:
  // Arguments, as the built-ins read them.
  int Count() const override { return argument_count(); }
  std::string Text(int i) const override { return args_[static_cast<size_t>(i)]->Text(); }
  double Real(int i) const override { return args_[static_cast<size_t>(i)]->Real(); }
  int32_t Integer(int i) const override { return args_[static_cast<size_t>(i)]->Integer(); }

  Value CallProcedure() const;

  std::string name_;
  int max_args_;
  std::shared_ptr<const BoundProcedure> procedure_;
  std::vector<std::unique_ptr<Node>> args_;
};

class OperatorNode final : public Node {
 public:
  // `right` is null for the unary operators (negation and NOT).
  OperatorNode(uint8_t op, std::unique_ptr<Node> left, std::unique_ptr<Node> right);

  const Node* left() const { return left_.get(); }
  const Node* right() const { return right_.get(); }

  void AppendSource(std::string* out) const override;
  std::string Text() const override;
  int32_t Integer() const override;
  double Real() const override;
  bool IsTrue() const override;
  Truth ThreeValued(int level, const LevelMap* levels) const override;
  bool EqualityOperands(const Node** left, const Node** right) const override;
  void ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit) override;

 private:
  int Compare() const;

  std::unique_ptr<Node> left_;
  std::unique_ptr<Node> right_;
};

// A part of a text variable (or of one element of a text array): characters
// start to end, 1-based; a missing end takes the one character at start.
class SliceNode final : public Node {
 public:
  SliceNode(std::unique_ptr<VariableNode> text, std::unique_ptr<Node> start,
            std::unique_ptr<Node> end);

  void AppendSource(std::string* out) const override;
  std::string Text() const override;
  void ForEachChild(const std::function<void(std::unique_ptr<Node>&)>& visit) override;

 private:
  std::unique_ptr<Node> text_;  // always a VariableNode
  std::unique_ptr<Node> start_;
  std::unique_ptr<Node> end_;
};

// Replaces every call to a built-in whose arguments are all constants by a
// constant of its result class (calls whose result changes from one
// evaluation to the next are left alone).
void FoldConstants(std::unique_ptr<Node>* node);

// The source form of a tree.
std::string PrintTree(const Node& node);

// Compares two texts through the locale's collation weights; the shorter
// text counts as extended with blanks. Returns -1, 0 or 1.
int CompareTexts(std::string_view a, std::string_view b);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_NODES_H_
