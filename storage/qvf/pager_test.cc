#include "storage/qvf/pager.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vorsandt::qvf
