#include "runtime/eval/eval_command.h"

#include <optional>

#include "runtime/eval/expression.h"
#include "runtime/files/error_state.h"

namespace vorsandt::eval {

int RunEvalCommand(std::span<const std::string_view> args, std::string* out, std::string* err) {
  static constexpr std::string_view kUsage = "usage: morvak eval [--set NAME=TEXT]... EXPR\n";
  std::optional<std::string_view> expression;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--set") {
      if (i + 1 >= args.size()) return err->append(kUsage), kEvalUsage;
      std::string_view assignment = args[++i];
      size_t equals = assignment.find('=');
      if (equals == 0 || equals == std::string_view::npos ||
          !BindTextValue(assignment.substr(0, equals), assignment.substr(equals + 1))) {
        return err->append(kUsage), kEvalUsage;
      }
    } else if (expression) {
      return err->append(kUsage), kEvalUsage;
    } else {
      expression = arg;
    }
  }
  if (!expression) return err->append(kUsage), kEvalUsage;
  std::string result;
  int32_t code = EvaluateToText(*expression, &result);
  if (code != 0) {
    *err += files::Errors().MessageText(code);
    *err += '\n';
    return kEvalInvalid;
  }
  *out += result;
  *out += '\n';
  return kEvalDone;
}

}  // namespace vorsandt::eval
