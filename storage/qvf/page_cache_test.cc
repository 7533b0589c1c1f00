// The retired tier of the page cache: pages evicted by the cache rule are
// kept decoded within a memory budget and must never outlive the content of
// the file they came from.
#include "storage/qvf/page_cache.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "runtime/env/fault_env.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/container.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::AllEntries;
using testing::RecordInternalErrors;

PageData PageWith(const std::string& bytes) {
  PageData d;
  d.Append(bytes, bytes.size());
  return d;
}

// Restores the process-wide budget whatever a test set.
class BudgetGuard {
 public:
  explicit BudgetGuard(size_t bytes) : saved_(PageCache::RetiredBudget()) {
    PageCache::SetRetiredBudget(bytes);
  }
  ~BudgetGuard() { PageCache::SetRetiredBudget(saved_); }

 private:
  size_t saved_;
};

TEST(PageCacheRetired, EvictedPagesComeBackDecodedAndUnseenByFind) {
  BudgetGuard budget(1 << 20);
  PageCache cache;
  for (int i = 0; i < 100; ++i) cache.Add(i, PageWith("page " + std::to_string(i)), false);
  cache.EvictBeforeFetch();
  ASSERT_EQ(cache.clean_count(), PageCache::kMinClean - 1);
  EXPECT_EQ(cache.retired_count(), 100 - (PageCache::kMinClean - 1));
  EXPECT_EQ(cache.Find(0), nullptr);  // retired pages are not cached pages
  Page* p = cache.Revive(0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->data.Bytes(0), "page 0");
  EXPECT_EQ(cache.Find(0), p);
  EXPECT_EQ(p->loaded_at, cache.counter());  // counts as loaded now
  EXPECT_EQ(cache.Revive(0), nullptr);       // no longer retired
  EXPECT_EQ(cache.Revive(99), nullptr);      // never evicted
  // A page added under a retired unit replaces the retired copy.
  cache.Add(1, PageWith("new one"), true);
  EXPECT_EQ(cache.Find(1)->data.Bytes(0), "new one");
  EXPECT_EQ(cache.Revive(1), nullptr);
  cache.Clear();
  EXPECT_EQ(cache.retired_count(), 0u);
  EXPECT_EQ(cache.retired_bytes(), 0u);
}

// Clean pages of 100 bytes under units [from, to), and the memory of one.
void AddPages(PageCache* cache, int from, int to) {
  for (int i = from; i < to; ++i) cache->Add(i, PageWith(std::string(100, 'x')), false);
}
size_t OnePageBytes() {
  PageCache probe;
  AddPages(&probe, 0, 1);
  return PageFootprint(*probe.Find(0));
}

TEST(PageCacheRetired, BudgetDropsOldestAndIsSharedByAllCaches) {
  const size_t one = OnePageBytes();
  BudgetGuard budget(10 * one);
  PageCache a;
  PageCache b;
  AddPages(&a, 0, 200);
  a.EvictBeforeFetch();
  EXPECT_LE(a.retired_bytes(), 10 * one);
  EXPECT_EQ(a.retired_count(), 10u);
  EXPECT_EQ(a.Revive(0), nullptr);  // the oldest went first
  EXPECT_NE(a.Revive(180), nullptr);
  // Another cache going over the shared budget trims itself, not `a`.
  AddPages(&b, 0, 200);
  b.EvictBeforeFetch();
  EXPECT_LE(a.retired_bytes() + b.retired_bytes(), 10 * one);
  EXPECT_EQ(a.retired_count(), 9u);  // one was revived
  EXPECT_EQ(b.retired_count(), 1u);  // b's newest, in the room `a` left
  EXPECT_NE(b.Revive(180), nullptr);
  // A budget of 0 keeps nothing.
  PageCache::SetRetiredBudget(0);
  PageCache c;
  for (int i = 0; i < 150; ++i) c.Add(i, PageData{}, false);
  c.EvictBeforeFetch();
  EXPECT_EQ(c.retired_count(), 0u);
}

TEST(PageCacheRetired, MemoryLentToChangedPagesCountsAgainstTheSharedBudget) {
  const size_t one = OnePageBytes();
  BudgetGuard budget(10 * one);
  PageCache a;
  PageCache b;
  a.Lend(6 * one);
  AddPages(&b, 0, 200);
  b.EvictBeforeFetch();
  EXPECT_EQ(b.retired_count(), 4u);  // the room the loan leaves
  a.Lend(2 * one);                   // a smaller loan replaces the larger
  AddPages(&b, 200, 400);
  b.EvictBeforeFetch();
  EXPECT_EQ(b.retired_count(), 8u);
  a.MarkAllClean();  // the changes end: so does the loan
  EXPECT_EQ(a.lent_bytes(), 0u);
  AddPages(&b, 400, 600);
  b.EvictBeforeFetch();
  EXPECT_EQ(b.retired_count(), 10u);
}

std::string Key(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "k%07d", i);
  return buf;
}

// An entry whose size varies with `round`, so that pages change class and
// move between regions when saved.
std::string Value(int i, int round) {
  return Key(i) + std::string(20 + (i * 7 + round * 13) % 90, 'a' + round % 26);
}

// Creates `name` holding entries 0..count-1 of round 0.
void MakeFile(env::FaultEnv* env, const char* name, int count) {
  Container w(env);
  ASSERT_EQ(w.Open(name, Container::kCreate), 0);
  Tree tree(&w);
  for (int i = 0; i < count; ++i) ASSERT_EQ(tree.Insert(Value(i, 0), 8), 0);
  ASSERT_EQ(w.Close(), 0);
}

TEST(ContainerRetired, AnotherWritersSaveDropsRetiredPages) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  MakeFile(&env, "R.QVF", 6000);
  Container reader(&env);
  ASSERT_EQ(reader.Open("R.QVF", Container::kShared | Container::kReadOnly), 0);
  ASSERT_EQ(AllEntries(&reader).size(), 6000u);
  ASSERT_GT(reader.retired_pages(), 0u);
  Container writer(&env);
  ASSERT_EQ(writer.Open("R.QVF", Container::kShared), 0);
  Tree wtree(&writer);
  bool found = false;
  // Change entries on the first pages, which the reader holds retired.
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(wtree.Delete(Key(i), &found), 0);
    ASSERT_TRUE(found);
    ASSERT_EQ(wtree.Insert(Value(i, 1), 8), 0);
  }
  ASSERT_EQ(writer.Save(), 0);
  ASSERT_EQ(reader.Refresh(), 0);
  EXPECT_EQ(reader.retired_pages(), 0u);
  Tree rtree(&reader);
  Entry e;
  ASSERT_EQ(rtree.FindExact(Key(7), &e, &found), 0);
  ASSERT_TRUE(found);
  EXPECT_EQ(e.bytes, Value(7, 1));
  EXPECT_EQ(AllEntries(&reader), AllEntries(&writer));
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerRetired, OwnSavesThatMovePagesNeverServeAStaleUnit) {
  // Pages change class and move at every save while the same container keeps
  // reading; whatever it serves from retired pages must match a fresh reader
  // of the file.
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("M.QVF", Container::kCreate), 0);
  Tree tree(&c);
  for (int i = 0; i < 6000; ++i) ASSERT_EQ(tree.Insert(Value(i, 0), 8), 0);
  ASSERT_EQ(c.Save(), 0);
  std::mt19937 rng(7);
  for (int round = 1; round <= 12; ++round) {
    ASSERT_EQ(AllEntries(&c).size(), 6000u);  // fills the retired tier
    for (int n = 0; n < 150; ++n) {
      const int i = static_cast<int>(rng() % 6000);
      bool found = false;
      ASSERT_EQ(tree.Delete(Key(i), &found), 0);
      ASSERT_TRUE(found);
      ASSERT_EQ(tree.Insert(Value(i, round), 8), 0);
    }
    ASSERT_EQ(c.Save(), 0);
    Container fresh(&env);
    ASSERT_EQ(fresh.Open("M.QVF", Container::kReadOnly), 0);
    ASSERT_EQ(AllEntries(&c), AllEntries(&fresh)) << "round " << round;
  }
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerParking, ALargeTransactionParksColdLeavesAndSavesThemIntact) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  std::map<std::string, std::string> model;
  std::mt19937 rng(99);
  {
    Container c(&env);
    ASSERT_EQ(c.Open("P.QVF", Container::kCreate), 0);
    c.SetDecodedDirtyLimit(4);
    Tree tree(&c);
    for (int n = 0; n < 8000; ++n) {
      const int i = static_cast<int>(rng() % 20000);
      if (model.count(Key(i)) != 0) continue;
      const std::string bytes = Value(i, n % 5);
      ASSERT_EQ(tree.Insert(bytes, 8), 0);
      model[Key(i)] = bytes;
    }
    EXPECT_GT(c.parked_pages(), 50u);
    EXPECT_LE(c.dirty_pages() - c.parked_pages(), 4u + 8u);  // non-leaf pages stay decoded
    // Reads decode parked leaves again.
    Entry e;
    bool found = false;
    ASSERT_EQ(tree.FindExact(model.begin()->first, &e, &found), 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(e.bytes, model.begin()->second);
    ASSERT_EQ(c.Save(), 0);
    EXPECT_EQ(c.dirty_pages(), 0u);
    // A second transaction over parked clean pages: replaced entries change
    // size, so pages change class and move while parked.
    for (int round = 1; round <= 3; ++round) {
      int n = 0;
      for (auto& [key, bytes] : model) {
        if (++n % 3 != round % 3) continue;
        const int i = std::stoi(key.substr(1));
        bytes = Value(i, round * 7);
        ASSERT_EQ(tree.Put(bytes, 8), 0);
      }
      ASSERT_EQ(c.Save(), 0);
    }
    std::vector<std::string> expected;
    for (const auto& [key, bytes] : model) expected.push_back(bytes);
    EXPECT_EQ(AllEntries(&c), expected);
    ASSERT_EQ(c.Close(), 0);
  }
  Container fresh(&env);
  ASSERT_EQ(fresh.Open("P.QVF", Container::kReadOnly), 0);
  std::vector<std::string> expected;
  for (const auto& [key, bytes] : model) expected.push_back(bytes);
  EXPECT_EQ(AllEntries(&fresh), expected);
  EXPECT_EQ(fresh.Close(), 0);
  std::vector<std::string> faults;
  ASSERT_TRUE(CheckFile(&env, "P.QVF", &faults));
  for (const auto& f : faults) ADD_FAILURE() << f;
  EXPECT_TRUE(errors.checks.empty());
}

// A transaction that changes pages it finds retired keeps them decoded in the
// memory they held there; without a retired tier it parks down to its limit.
TEST(ContainerParking, ChangedPagesTakenFromTheRetiredTierStayDecoded) {
  RecordInternalErrors errors;
  constexpr size_t kLimit = 2;
  size_t decoded[2];
  for (int tier = 0; tier < 2; ++tier) {
    BudgetGuard budget(tier == 0 ? 0 : 64u << 20);
    env::FaultEnv env;
    MakeFile(&env, "T.QVF", 6000);
    Container c(&env);
    ASSERT_EQ(c.Open("T.QVF", 0), 0);
    c.SetDecodedDirtyLimit(kLimit);
    ASSERT_EQ(AllEntries(&c).size(), 6000u);
    EXPECT_EQ(c.retired_pages() > 0, tier == 1);
    Tree tree(&c);
    for (int i = 0; i < 6000; i += 10) ASSERT_EQ(tree.Put(Value(i, 1), 8), 0);
    decoded[tier] = c.dirty_pages() - c.parked_pages();
    ASSERT_EQ(c.Save(), 0);
    std::vector<std::string> expected;
    for (int i = 0; i < 6000; ++i) expected.push_back(Value(i, i % 10 == 0 ? 1 : 0));
    EXPECT_EQ(AllEntries(&c), expected);
    ASSERT_EQ(c.Close(), 0);
    std::vector<std::string> faults;
    EXPECT_TRUE(CheckFile(&env, "T.QVF", &faults));
    for (const auto& f : faults) ADD_FAILURE() << f;
  }
  EXPECT_LE(decoded[0], kLimit + 8);  // non-leaf pages stay decoded
  EXPECT_GT(decoded[1], 50u);
  EXPECT_TRUE(errors.checks.empty());
}

// A save whose images exceed what placement keeps beside the pages parks the
// leaves with their images; the write takes those as they are, and later
// reads decode them again.
TEST(ContainerParking, ALargeSaveParksLeavesAtPlacementAndWritesThemIntact) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  std::vector<std::string> expected;
  std::mt19937 rng(7);
  // Letters without runs, so that the images (about 3 MB) do not shrink.
  for (int i = 0; i < 40000; ++i) {
    std::string bytes = Key(i);
    for (int k = 0; k < 60; ++k) bytes.push_back(static_cast<char>('a' + (k + rng() % 25) % 26));
    expected.push_back(bytes);
  }
  {
    Container c(&env);
    ASSERT_EQ(c.Open("L.QVF", Container::kCreate), 0);
    c.SetDecodedDirtyLimit(1u << 30);  // nothing parked before the save
    Tree tree(&c);
    for (const std::string& bytes : expected) ASSERT_EQ(tree.Insert(bytes, 8), 0);
    ASSERT_EQ(c.parked_pages(), 0u);
    ASSERT_EQ(c.Save(), 0);
    EXPECT_EQ(AllEntries(&c), expected);
    ASSERT_EQ(c.Close(), 0);
  }
  Container fresh(&env);
  ASSERT_EQ(fresh.Open("L.QVF", Container::kReadOnly), 0);
  EXPECT_EQ(AllEntries(&fresh), expected);
  EXPECT_EQ(fresh.Close(), 0);
  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(&env, "L.QVF", &faults));
  for (const auto& f : faults) ADD_FAILURE() << f;
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerParking, ParkingChangesNothingInTheFileBesidesPlacement) {
  // The same changes with and without parking give the same entries and a
  // file of the same size (parked images are the images the save writes).
  RecordInternalErrors errors;
  std::vector<std::string> contents[2];
  size_t sizes[2];
  for (int parked = 0; parked < 2; ++parked) {
    env::FaultEnv env;
    Container c(&env);
    ASSERT_EQ(c.Open("Q.QVF", Container::kCreate), 0);
    c.SetDecodedDirtyLimit(parked ? 2 : 1u << 30);
    Tree tree(&c);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(tree.Insert(Value((i * 7919) % 5000, 3), 8), 0);
    EXPECT_EQ(c.parked_pages() > 0, parked == 1);
    ASSERT_EQ(c.Close(), 0);
    Container r(&env);
    ASSERT_EQ(r.Open("Q.QVF", Container::kReadOnly), 0);
    contents[parked] = AllEntries(&r);
    sizes[parked] = env.Contents("Q.QVF").size();
  }
  EXPECT_EQ(contents[0].size(), 5000u);
  EXPECT_EQ(contents[0], contents[1]);
  EXPECT_EQ(sizes[0], sizes[1]);
  EXPECT_TRUE(errors.checks.empty());
}

}  // namespace
}  // namespace vorsandt::qvf
