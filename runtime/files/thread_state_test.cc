#include "runtime/files/thread_state.h"

#include <gtest/gtest.h>

#include <string>

namespace vorsandt::files {
namespace {

struct Counter {
  int value = 0;
};

// Errors(), Texts() and the parts reach the installed state only, so one
// procedure's leftovers never show in another's.
TEST(ThreadStateTest, InstallingAStateSwapsErrorsTextsAndPartsAsAWhole) {
  ProcessThreadState() = ThreadState();
  Errors().Post(2);
  Texts().Push("process");
  ProcessThreadState().Part<Counter>().value = 7;

  ThreadState procedure;
  InstallThreadState(&procedure);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_TRUE(Texts().Empty());
  EXPECT_EQ(CurrentThreadState().Part<Counter>().value, 0);
  Errors().Post(5);
  Errors().SetDriverTexts("disk gone", "Q1");
  Texts().Push("procedure");
  CurrentThreadState().Part<Counter>().value = 1;

  InstallThreadState(nullptr);
  EXPECT_EQ(Errors().Code(), 2);
  EXPECT_TRUE(Errors().DriverText().empty());
  EXPECT_EQ(Texts().Pop(), "process");
  EXPECT_EQ(CurrentThreadState().Part<Counter>().value, 7);

  EXPECT_EQ(procedure.errors.Code(), 5);
  EXPECT_EQ(procedure.errors.DriverCodeText(), "Q1");
  EXPECT_EQ(procedure.texts.Pop(), "procedure");
  procedure.DropParts();
  EXPECT_EQ(procedure.Part<Counter>().value, 0);
  ProcessThreadState() = ThreadState();
}

// Replacement texts and the runtime-error sink belong to the process.
TEST(ThreadStateTest, ReplacementTextsHoldForEveryState) {
  ThreadState procedure;
  Errors().SetReplacementText(2, "Gone Missing");
  InstallThreadState(&procedure);
  Errors().Post(2);
  EXPECT_EQ(Errors().Text(), "Gone Missing");
  Errors().ClearReplacementTexts();
  InstallThreadState(nullptr);
}

}  // namespace
}  // namespace vorsandt::files
