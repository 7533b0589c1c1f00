// The compiler: expression text to a tree of nodes.
//
// A text compiles when the parse consumes all of it without an error; the
// tree's function calls over constants are then folded. A name that is not
// bound posts 801 "No BIND on variable"; any other syntax error posts nothing
// and gives no tree (callers that report it use 800 "Invalid expression for
// EVALUATE"). Nesting of parentheses, calls and subscripts is capped at
// kMaxNesting and the height of the tree at kMaxTreeHeight, so neither parsing
// nor evaluating can exhaust the stack; deeper texts do not compile.
#ifndef VORSANDT_RUNTIME_EVAL_COMPILER_H_
#define VORSANDT_RUNTIME_EVAL_COMPILER_H_

#include <cstddef>
#include <memory>
#include <string_view>

#include "runtime/eval/nodes.h"

namespace vorsandt::eval {

inline constexpr int kMaxNesting = 100;
inline constexpr int kMaxTreeHeight = 1000;

// The whole text as one expression, or nullptr.
std::unique_ptr<Node> Compile(std::string_view text);

struct PartialCompile {
  // The expression that begins the text, or nullptr when none could be read.
  std::unique_ptr<Node> tree;
  // Offset of the first character that does not belong to the expression
  // (the text's length when all of it was read), or of the error.
  size_t stopped_at = 0;
  // True when the whole text was read.
  bool complete = false;
};

// Parses as far as an expression reaches: "A + 1, B" gives A + 1 and stops at
// the ",". A syntax error inside the expression gives no tree and the offset
// of the error.
PartialCompile CompilePartial(std::string_view text);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_COMPILER_H_
