// The evaluator's front door: a compiled expression and one-call evaluation.
//
//   Expression filter = Expression::Compile("CLA:ITEM_REFERENCE = ITE:ITEM_CODE");
//   if (filter.ok() && filter.IsTrue()) ...
//
// Evaluation reads the bound variables' live contents every time.
#ifndef VORSANDT_RUNTIME_EVAL_EXPRESSION_H_
#define VORSANDT_RUNTIME_EVAL_EXPRESSION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/eval/compiler.h"
#include "runtime/eval/nodes.h"

namespace vorsandt::eval {

class Expression {
 public:
  Expression() = default;
  explicit Expression(std::unique_ptr<Node> tree) : tree_(std::move(tree)) {}

  // Compiles the whole text; ok() is false when it is not an expression
  // (801 posted for an unbound name, nothing for other errors).
  static Expression Compile(std::string_view text) { return Expression(eval::Compile(text)); }

  bool ok() const { return tree_ != nullptr; }
  const Node* tree() const { return tree_.get(); }

  // Evaluation; an empty expression is false, 0 and the empty text.
  bool IsTrue() const { return tree_ && tree_->IsTrue(); }
  int32_t Integer() const { return tree_ ? tree_->Integer() : 0; }
  double Real() const { return tree_ ? tree_->Real() : 0; }
  std::string Text() const { return tree_ ? tree_->Text() : std::string(); }
  // Pushes the text value on the runtime's text stack.
  void EvaluateText() const;
  // Three-valued evaluation up to a view level; an empty expression is true
  // (a view without a filter delivers every row).
  Truth ThreeValued(int level, const LevelMap* levels) const {
    return tree_ ? tree_->ThreeValued(level, levels) : kTrue;
  }
  // The source form, or an empty text.
  std::string Print() const { return tree_ ? PrintTree(*tree_) : std::string(); }

 private:
  std::unique_ptr<Node> tree_;
};

// One call for tools: compiles `text` with the current bindings (built-ins
// included) and evaluates it as text into *result. Returns 0, 801 when a name
// is not bound, or 800 when the text is not an expression; 800 is also posted
// so that the caller can show the error text.
int32_t EvaluateToText(std::string_view text, std::string* result);

// Binds `name` to a text variable holding `value` (blank padded to its own
// length), kept alive until the process ends. For tools that set variables
// from the command line.
bool BindTextValue(std::string_view name, std::string_view value);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_EXPRESSION_H_
