#include "runtime/eval/eval_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/eval/bind_table.h"

namespace vorsandt::eval {
namespace {

struct Case {
  std::vector<std::string_view> args;
  int status;
  const char* out;
  const char* err;
};

TEST(EvalCommandTest, PrintsTheValueOrTheReason) {
  const std::string usage = "usage: morvak eval [--set NAME=TEXT]... EXPR\n";
  const Case cases[] = {
      {{"1 + 2"}, kEvalDone, "3\n", ""},
      {{"7 / 2"}, kEvalDone, "3.5\n", ""},
      {{"UPPER('ab') & 'c'"}, kEvalDone, "ABc\n", ""},
      {{"'  padded  '"}, kEvalDone, "  padded  \n", ""},
      {{"1 = 1"}, kEvalDone, "1\n", ""},
      {{"DATE(1, 1, 1801)"}, kEvalDone, "4\n", ""},
      {{"FORMAT(42, @N06)"}, kEvalDone, "000042\n", ""},
      {{"--set", "WHO=world", "'hello ' & who"}, kEvalDone, "hello world\n", ""},
      {{"--set", "N=5", "--set", "n=7", "N * 2"}, kEvalDone, "14\n", ""},
      {{"--set", "E=", "LEN(E)"}, kEvalDone, "1\n", ""},
      {{"--set", "T=a=b", "T"}, kEvalDone, "a=b\n", ""},
      {{"1 +"}, kEvalInvalid, "", "Invalid expression for EVALUATE\n"},
      {{"TODAY"}, kEvalInvalid, "", "Invalid expression for EVALUATE\n"},
      {{"nobody * 2"}, kEvalInvalid, "", "No BIND on variable\n"},
      {{}, kEvalUsage, "", usage.c_str()},
      {{"--set"}, kEvalUsage, "", usage.c_str()},
      {{"--set", "NOEQUALS", "1"}, kEvalUsage, "", usage.c_str()},
      {{"--set", "=x", "1"}, kEvalUsage, "", usage.c_str()},
      {{"1", "2"}, kEvalUsage, "", usage.c_str()},
  };
  for (const Case& c : cases) {
    ClearBindings();
    std::string out;
    std::string err;
    EXPECT_EQ(RunEvalCommand(c.args, &out, &err), c.status)
        << (c.args.empty() ? "" : c.args.back());
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(err, c.err);
  }
  ClearBindings();
}

}  // namespace
}  // namespace vorsandt::eval
