#include "runtime/eval/expression.h"

#include <list>

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::eval {

void Expression::EvaluateText() const { files::Texts().Push(Text()); }

int32_t EvaluateToText(std::string_view text, std::string* result) {
  result->clear();
  std::unique_ptr<Node> tree = Compile(text);
  if (!tree) {
    if (files::Errors().Code() == files::kNoBindOnVariable) return files::kNoBindOnVariable;
    files::Errors().Post(files::kInvalidExpression);
    return files::kInvalidExpression;
  }
  *result = tree->Text();
  return 0;
}

bool BindTextValue(std::string_view name, std::string_view value) {
  // Compiled trees keep the variable's address, so a buffer is never freed
  // while the process runs, even when its name is bound again.
  static std::list<std::string> buffers;
  buffers.emplace_back(value);
  std::string& buffer = buffers.back();
  if (buffer.empty()) buffer.push_back(' ');  // a text variable has at least one character
  return BindString(name, buffer.data(), static_cast<uint32_t>(buffer.size()));
}

}  // namespace vorsandt::eval
