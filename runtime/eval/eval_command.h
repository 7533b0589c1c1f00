// The "eval" command of the query tool: compile and evaluate one expression.
//
//   eval [--set NAME=TEXT]... EXPR
//
// Each --set binds NAME to a text variable holding TEXT before EXPR is
// compiled (a later --set of the same name wins). The result is written as
// text (integers in decimal, reals in their text form, texts raw) followed by
// a newline.
#ifndef VORSANDT_RUNTIME_EVAL_EVAL_COMMAND_H_
#define VORSANDT_RUNTIME_EVAL_EVAL_COMMAND_H_

#include <span>
#include <string>
#include <string_view>

namespace vorsandt::eval {

// Exit statuses of the command.
inline constexpr int kEvalDone = 0;
inline constexpr int kEvalInvalid = 1;  // EXPR does not compile
inline constexpr int kEvalUsage = 2;    // missing EXPR, a bad --set, or extra arguments

// Runs the command over its arguments (those after "eval"). Appends the
// result line to *out, or to *err the error text ("Invalid expression for
// EVALUATE", or "No BIND on variable" for an unbound name) or a usage line.
int RunEvalCommand(std::span<const std::string_view> args, std::string* out, std::string* err);

}  // namespace vorsandt::eval

#endif  // VORSANDT_RUNTIME_EVAL_EVAL_COMMAND_H_
