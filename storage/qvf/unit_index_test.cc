#include "storage/qvf/unit_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "storage/qvf/page_cache.h"

namespace vorsandt::qvf {
namespace {

std::unique_ptr<Page> PageAt(int64_t unit) {
  auto page = std::make_unique<Page>();
  page->unit = unit;
  return page;
}

// Random puts and takes against an ordered map, with units that step by a
// class (as a region's do), provisional negative units, and enough churn
// that erasures inside long probe runs and growth both happen.
TEST(UnitIndexTest, AgreesWithAMapThroughChurnAndGrowth) {
  UnitIndex index;
  std::map<int64_t, Page*> expected;
  std::mt19937 rng(7);
  for (int step = 0; step < 200000; ++step) {
    const int64_t unit = rng() % 8 == 0 ? -static_cast<int64_t>(rng() % 500) - 1
                                        : static_cast<int64_t>(rng() % 3000) * 16;
    if (rng() % 3 != 0) {
      auto page = PageAt(unit);
      Page* raw = page.get();
      std::unique_ptr<Page> old = index.Put(unit, std::move(page));
      auto it = expected.find(unit);
      ASSERT_EQ(old.get(), it == expected.end() ? nullptr : it->second);
      expected[unit] = raw;
    } else {
      std::unique_ptr<Page> taken = index.Take(unit);
      auto it = expected.find(unit);
      ASSERT_EQ(taken.get(), it == expected.end() ? nullptr : it->second);
      if (it != expected.end()) expected.erase(it);
    }
    if (step % 997 == 0) {
      ASSERT_EQ(index.size(), expected.size());
      for (const auto& [u, p] : expected) ASSERT_EQ(index.Find(u), p) << "unit " << u;
    }
  }
  EXPECT_EQ(index.Find(3000 * 16), nullptr);
  index.Clear();
  EXPECT_EQ(index.size(), 0u);
  EXPECT_EQ(index.Find(0), nullptr);
}

}  // namespace
}  // namespace vorsandt::qvf
