#include "storage/qvf/pager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorsandt::qvf {
namespace {

TEST(PagerNumbers, ProvisionalPagesAreDirtyAndNumberedOnceUntilTheSaveIsDone) {
  Pager pager;
  pager.Reset();
  int check = -1;
  Page* first = pager.New(0, &check);
  ASSERT_EQ(check, 0);
  Page* second = pager.New(1, &check);
  EXPECT_EQ(first->unit, -1);
  EXPECT_EQ(second->unit, -2);
  EXPECT_TRUE(first->dirty);
  EXPECT_EQ(pager.TakeProvisional(), -3);
  EXPECT_TRUE(pager.changed());
  // A provisional page that is freed leaves no unit to reclaim.
  EXPECT_EQ(pager.Free(second), 0);
  EXPECT_TRUE(pager.freed().empty());
  Page* read = pager.AddRead(7, PageData());
  EXPECT_FALSE(read->dirty);
  EXPECT_EQ(pager.Cached(7, &check), read);
  EXPECT_EQ(pager.Free(read), 0);
  EXPECT_EQ(pager.freed(), std::vector<uint32_t>{7});
  EXPECT_EQ(pager.Cached(7, &check), nullptr);
  pager.Drop();
  EXPECT_FALSE(pager.changed());
  EXPECT_EQ(pager.New(0, &check)->unit, -1);
}

TEST(PagerAhead, StretchesServeWhatTheyHoldUntilTheCacheOrASaveLetsGo) {
  Pager pager;
  pager.Reset();
  pager.KeepAhead(1024, std::string(4096, 'a'));
  ASSERT_NE(pager.Ahead(1024, 4096), nullptr);
  EXPECT_EQ(*pager.Ahead(2048, 256), 'a');
  EXPECT_EQ(pager.Ahead(512, 256), nullptr);    // before the stretch
  EXPECT_EQ(pager.Ahead(4864, 512), nullptr);   // runs past its end
  EXPECT_EQ(pager.Ahead(5120, 256), nullptr);   // just past it
  pager.SaveDone();  // what a save wrote may differ from what was kept
  EXPECT_EQ(pager.Ahead(1024, 256), nullptr);

  // The stretch used least recently makes room for a new one.
  for (size_t i = 0; i < Pager::kAheadStretches; ++i) {
    pager.KeepAhead(i * 10000, std::string(256, static_cast<char>('A' + i % 26)));
  }
  ASSERT_NE(pager.Ahead(0, 256), nullptr);  // the first, now used last
  pager.KeepAhead(999999, std::string(256, 'z'));
  EXPECT_NE(pager.Ahead(0, 256), nullptr);
  EXPECT_EQ(pager.Ahead(10000, 256), nullptr);  // the second went
  EXPECT_EQ(*pager.Ahead(999999, 256), 'z');
  pager.Drop();
  EXPECT_EQ(pager.Ahead(0, 256), nullptr);
}

}  // namespace
}  // namespace vorsandt::qvf
