// Declared read runs: only the outermost run's end gives back what drivers
// keep, on the run's own thread; a thread about to wait can give it back
// without ending the run.
#include "runtime/files/read_run.h"

#include <gtest/gtest.h>

#include <thread>

namespace vorsandt::files {
namespace {

thread_local int ends_here = 0;
void CountEnd() { ++ends_here; }

TEST(ReadRun, OnlyTheOutermostEndGivesBackAndOnlyOnItsThread) {
  RegisterReadRunEnd(&CountEnd);
  RegisterReadRunEnd(&CountEnd);  // once is enough
  ends_here = 0;
  EXPECT_FALSE(InReadRun());
  {
    ReadRun outer;
    EXPECT_TRUE(InReadRun());
    {
      ReadRun inner;
      EXPECT_TRUE(InReadRun());
    }
    EXPECT_EQ(ends_here, 0);
    EXPECT_TRUE(InReadRun());
    std::thread other([] {
      EXPECT_FALSE(InReadRun());  // a run belongs to its thread
      ends_here = 0;
      { ReadRun run; }
      EXPECT_EQ(ends_here, 1);
    });
    other.join();
    EXPECT_EQ(ends_here, 0);
  }
  EXPECT_FALSE(InReadRun());
  EXPECT_EQ(ends_here, 1);
}

TEST(ReadRun, AThreadAboutToWaitGivesBackAndTheRunGoesOn) {
  RegisterReadRunEnd(&CountEnd);
  ends_here = 0;
  ReadRun run;
  EndReadRunTenures();
  EXPECT_EQ(ends_here, 1);
  EXPECT_TRUE(InReadRun());
}

}  // namespace
}  // namespace vorsandt::files
