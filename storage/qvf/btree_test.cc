#include "storage/qvf/btree.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

#include "runtime/env/fault_env.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::AllEntries;
using testing::RecordInternalErrors;

struct Value {
  std::string bytes;
  size_t key_length;
};

std::string RandomKey(std::mt19937& random) {
  // A small alphabet and varied lengths give shared prefixes and keys that
  // are prefixes of others.
  std::string key;
  const size_t n = 2 + random() % 12;
  for (size_t i = 0; i < n; ++i) key.push_back(static_cast<char>("abcz\x01\xFE"[random() % 6]));
  return key;
}

std::string RandomData(std::mt19937& random) {
  const unsigned pick = random() % 100;
  size_t n = random() % 40;
  if (pick >= 97) {
    n = 9000 + random() % 6000;  // forces the large classes
  } else if (pick >= 90) {
    n = 500 + random() % 3000;
  }
  std::string data;
  if (pick >= 97 && pick % 2 == 0) {
    // Incompressible: stays in the large classes.
    while (data.size() < n) data.push_back(static_cast<char>(random()));
  }
  while (data.size() < n) data.append(1 + random() % 7, static_cast<char>(random() % 4));
  data.resize(n);
  return data;
}

void ExpectSame(Container* c, const std::map<std::string, Value>& model) {
  int status = -1;
  std::vector<std::string> all = AllEntries(c, &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(all.size(), model.size());
  size_t i = 0;
  for (const auto& [key, value] : model) {
    ASSERT_EQ(all[i], value.bytes) << "entry " << i;
    ++i;
  }
}

// The end of every model test: the file closes, checks sound, and no
// internal error was reported on the way.
void ExpectClosedFileSound(Container* container, env::FaultEnv* env, const char* name,
                           const RecordInternalErrors& errors) {
  ASSERT_EQ(container->Close(), 0);
  std::vector<std::string> faults;
  ASSERT_TRUE(CheckFile(env, name, &faults));
  for (const auto& f : faults) ADD_FAILURE() << f;
  EXPECT_TRUE(errors.checks.empty());
}

// A new file in a fault environment with a tree over it.
struct ModelFile {
  explicit ModelFile(const char* file_name) : name(file_name), container(&env), tree(&container) {
    opened = container.Open(name, Container::kCreate) == 0;
  }
  void ExpectClosedSound() { ExpectClosedFileSound(&container, &env, name, errors); }

  const char* name;
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container container;
  Tree tree;
  bool opened = false;
};

TEST(TreeModel, RandomInsertsAndDeletesMatchAnOrderedMap) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  std::mt19937 random(12345);
  std::map<std::string, Value> model;
  auto container = std::make_unique<Container>(&env);
  ASSERT_EQ(container->Open("M.QVF", Container::kCreate), 0);
  const int kOps = 30000;
  int largest_class = 0;
  int root_level = 0;
  for (int op = 1; op <= kOps; ++op) {
    Tree tree(container.get());
    const bool insert = model.size() < 50 || random() % 100 < 60;
    if (insert) {
      std::string key = RandomKey(random);
      if (model.count(key) != 0) continue;
      std::string bytes = key + RandomData(random);
      if (bytes.size() > kMaxEntryLength) bytes.resize(kMaxEntryLength);
      ASSERT_EQ(tree.Insert(bytes, key.size()), 0) << "op " << op;
      model[key] = Value{bytes, key.size()};
    } else {
      auto it = model.begin();
      std::advance(it, random() % model.size());
      bool found = false;
      if (random() % 4 == 0) {
        // A change in place: new data, longer or shorter (a long one splits
        // the leaf), or none when the callback declines.
        const std::string key = it->first;
        const bool keep = random() % 5 == 0;
        std::string data = RandomData(random);
        if (key.size() + data.size() > kMaxEntryLength) data.resize(kMaxEntryLength - key.size());
        ASSERT_EQ(tree.Change(
                      key,
                      [&](std::string* d) {
                        EXPECT_EQ(key + *d, it->second.bytes);
                        if (keep) return false;
                        *d = data;
                        return true;
                      },
                      &found),
                  0);
        ASSERT_TRUE(found);
        if (!keep) it->second.bytes = key + data;
        ASSERT_EQ(tree.Change("\xFF\xFF missing", [](std::string*) { return true; }, &found), 0);
        ASSERT_FALSE(found);
        continue;
      }
      if (random() % 2 == 0) {
        // A read first, as a delete of the record just read does: the
        // delete then starts from the leaf of the read.
        Entry e;
        ASSERT_EQ(tree.FindExact(it->first, &e, &found), 0);
        ASSERT_TRUE(found);
      }
      const std::string key = it->first;
      ASSERT_EQ(tree.Delete(key, &found), 0);
      ASSERT_TRUE(found);
      model.erase(it);
      ASSERT_EQ(tree.Delete(key, &found), 0);
      ASSERT_FALSE(found);
      // A missing key is reported, not an error.
      ASSERT_EQ(tree.Delete("\xFF\xFF missing", &found), 0);
      ASSERT_FALSE(found);
    }
    if (op % 1500 == 0) {
      ASSERT_EQ(container->Save(), 0) << "op " << op;
      ExpectSame(container.get(), model);
      const FileHeader& h = container->header();
      for (int c = 1; c <= kMaxClass; ++c) {
        if (h.PageCount(c) > 0) largest_class = std::max(largest_class, c);
      }
      root_level = std::max(root_level, container->GetPage(container->root())->data.level);
      if (op % 6000 == 0) {
        ASSERT_EQ(container->Close(), 0);
        container = std::make_unique<Container>(&env);
        ASSERT_EQ(container->Open("M.QVF", 0), 0);
        ExpectSame(container.get(), model);
      }
    }
  }
  ASSERT_EQ(container->Save(), 0);
  EXPECT_EQ(container->dirty_pages(), 0u);
  // The workload really reached the large classes and a tree of several levels.
  EXPECT_GE(largest_class, 40);
  EXPECT_GE(root_level, 2);
  EXPECT_GT(model.size(), 2000u);
  // Searches by mode against the model.
  Tree tree(container.get());
  for (int i = 0; i < 300; ++i) {
    std::string key = RandomKey(random);
    Entry e;
    bool found = false;
    ASSERT_EQ(tree.FindExact(key, &e, &found), 0);
    EXPECT_EQ(found, model.count(key) == 1);
    ASSERT_EQ(tree.Find(key, Tree::Mode::kAbove, &e, &found), 0);
    auto above = model.upper_bound(key);
    ASSERT_EQ(found, above != model.end());
    if (found) {
      EXPECT_EQ(e.bytes, above->second.bytes);
    }
    ASSERT_EQ(tree.FindPreviousBefore(key, &e, &found), 0);
    auto below = model.lower_bound(key);
    ASSERT_EQ(found, below != model.begin());
    if (found) {
      EXPECT_EQ(e.bytes, std::prev(below)->second.bytes);
    }
  }
  ExpectClosedFileSound(container.get(), &env, "M.QVF", errors);
}

TEST(TreeModel, PutsAndExactFindsThroughTheLeafHintMatchAnOrderedMap) {
  // One long-lived tree, so that exact searches and puts keep going through
  // the leaf of the previous search while pages split, empty and move.
  ModelFile file("P.QVF");
  ASSERT_TRUE(file.opened);
  Container& container = file.container;
  Tree& tree = file.tree;
  std::mt19937 random(777);
  std::map<std::string, Value> model;
  int replaced = 0;
  for (int op = 1; op <= 20000; ++op) {
    const unsigned pick = random() % 100;
    std::string key = RandomKey(random);
    if (pick < 45) {
      // Put: replaces (bigger or smaller) or inserts.
      std::string bytes = key + RandomData(random);
      if (bytes.size() > kMaxEntryLength) bytes.resize(kMaxEntryLength);
      replaced += model.count(key) != 0 ? 1 : 0;
      ASSERT_EQ(tree.Put(bytes, key.size()), 0) << "op " << op;
      model[key] = Value{bytes, key.size()};
    } else if (pick < 70 && !model.empty()) {
      auto it = model.begin();
      std::advance(it, random() % model.size());
      bool found = false;
      ASSERT_EQ(tree.Delete(it->first, &found), 0);
      ASSERT_TRUE(found);
      model.erase(it);
    } else {
      // Exact searches, often of a neighbour of the last key.
      if (!model.empty() && pick % 2 == 0) {
        auto it = model.lower_bound(key);
        if (it != model.end()) key = it->first;
      }
      Entry e;
      bool found = false;
      ASSERT_EQ(tree.FindExact(key, &e, &found), 0);
      auto it = model.find(key);
      ASSERT_EQ(found, it != model.end()) << "op " << op;
      if (found) {
        ASSERT_EQ(e.bytes, it->second.bytes) << "op " << op;
      }
    }
    if (op % 2500 == 0) {
      ASSERT_EQ(container.Save(), 0) << "op " << op;
      ExpectSame(&container, model);
    }
  }
  EXPECT_GT(replaced, 100);
  file.ExpectClosedSound();
}

TEST(TreeModel, ChangesOfSeveralKeysAtOnceMatchAnOrderedMap) {
  // Runs of neighbouring keys (some missing) changed in one call: entries
  // grow and shrink, so leaves split between two keys of one call.
  ModelFile file("C.QVF");
  ASSERT_TRUE(file.opened);
  Container& container = file.container;
  Tree& tree = file.tree;
  std::mt19937 random(31);
  std::map<std::string, Value> model;
  for (int i = 0; i < 3000; ++i) {
    const std::string key = RandomKey(random);
    if (model.count(key) != 0) continue;
    const std::string bytes = key + RandomData(random).substr(0, 60);
    ASSERT_EQ(tree.Insert(bytes, key.size()), 0);
    model[key] = Value{bytes, key.size()};
  }
  for (int op = 1; op <= 600; ++op) {
    // A run of up to 40 keys from a random place, with keys that are not
    // in the tree among them.
    std::vector<std::string> keys;
    auto it = model.lower_bound(RandomKey(random));
    for (int n = 1 + static_cast<int>(random() % 40); n > 0 && it != model.end(); --n, ++it) {
      if (random() % 5 == 0) keys.push_back(it->first + "\x01");  // absent
      keys.push_back(it->first);
    }
    // New data parts that do not compress, up to 1,500 bytes: a few grown
    // entries take a leaf past the largest page.
    std::vector<std::string> sizes(keys.size());
    for (auto& v : sizes) {
      v.resize(random() % 3 == 0 ? 0 : random() % 1500);
      for (char& c : v) c = static_cast<char>(random());
    }
    std::unique_ptr<bool[]> found(new bool[keys.size()]);
    ASSERT_EQ(tree.ChangeEach(
                  keys,
                  [&](size_t i, std::string* data) {
                    if (sizes[i].empty()) return false;  // left as it is
                    *data = sizes[i] + std::to_string(op);
                    return true;
                  },
                  found.get()),
              0)
        << "op " << op;
    for (size_t i = 0; i < keys.size(); ++i) {
      auto m = model.find(keys[i]);
      ASSERT_EQ(found[i], m != model.end()) << "op " << op << " key " << i;
      if (m != model.end() && !sizes[i].empty()) {
        m->second.bytes = keys[i] + sizes[i] + std::to_string(op);
      }
    }
    if (op % 100 == 0) {
      ASSERT_EQ(container.Save(), 0) << "op " << op;
      ExpectSame(&container, model);
    }
  }
  file.ExpectClosedSound();
}

TEST(TreeHints, AWalkThroughOneRangeWithLookupsInAnotherKeepsBothLeaves) {
  // A key scan that reads each record between its steps: the step stays in
  // its leaf without a descent, and the lookup costs one use of its leaf.
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("H.QVF", Container::kCreate), 0);
  Tree tree(&c);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(tree.Insert("a" + BigEndian32(static_cast<uint32_t>(i)) + std::string(20, 'x'), 5),
              0);
    ASSERT_EQ(tree.Insert("b" + BigEndian32(static_cast<uint32_t>(i)) + std::string(20, 'y'), 5),
              0);
  }
  ASSERT_EQ(c.Save(), 0);
  Entry a;
  Entry b;
  bool found = false;
  ASSERT_EQ(tree.FindExact("a" + BigEndian32(500), &a, &found), 0);
  ASSERT_TRUE(found);
  int stayed = 0;
  for (int i = 501; i < 2500; ++i) {
    const uint64_t before = c.access_counter();
    ASSERT_EQ(tree.FindNextAfter(a.Key(), &a, &found), 0);
    ASSERT_TRUE(found);
    ASSERT_EQ(a.Key(), "a" + BigEndian32(static_cast<uint32_t>(i)));
    if (c.access_counter() == before) ++stayed;
    const std::string wanted = "b" + BigEndian32(static_cast<uint32_t>(3000 - i));
    ASSERT_EQ(tree.FindExact(wanted, &b, &found), 0);
    ASSERT_TRUE(found);
    ASSERT_EQ(b.Key(), wanted);
  }
  // Only the steps that cross into the next leaf descend.
  EXPECT_GT(stayed, 1800);
  EXPECT_TRUE(errors.checks.empty());
}

TEST(TreeEmptyEntry, SmallestKeysWorkAndEmptyEntryIsNeverReturned) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("E.QVF", Container::kCreate), 0);
  Tree tree(&c);
  ASSERT_EQ(tree.Insert("m", 1), 0);
  ASSERT_EQ(tree.Insert(std::string("\x00", 1), 1), 0);  // below every other key
  Entry e;
  bool found = true;
  ASSERT_EQ(tree.FindPreviousBefore(std::string("\x00", 1), &e, &found), 0);
  EXPECT_FALSE(found);  // only the empty entry lies below
  ASSERT_EQ(tree.FindExact("", &e, &found), 0);
  EXPECT_FALSE(found);
  ASSERT_EQ(tree.Delete("", &found), 0);
  EXPECT_FALSE(found);
  ASSERT_EQ(tree.FindNextAfter("", &e, &found), 0);
  ASSERT_TRUE(found);
  EXPECT_EQ(e.bytes, std::string("\x00", 1));
  EXPECT_TRUE(errors.checks.empty());
}

TEST(TreeDeletion, DeletingEverythingFreesLeavesAndTheTreeKeepsWorking) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("D.QVF", Container::kCreate), 0);
  Tree tree(&c);
  for (int i = 0; i < 3000; ++i) {
    std::string key = BigEndian32(static_cast<uint32_t>(i));
    ASSERT_EQ(tree.Insert(key + std::string(60, 'd'), 4), 0);
  }
  ASSERT_EQ(c.Save(), 0);
  const uint64_t full_end = c.header().EndOfData();
  for (int i = 0; i < 3000; ++i) {
    bool found = false;
    ASSERT_EQ(tree.Delete(BigEndian32(static_cast<uint32_t>(i)), &found), 0);
    ASSERT_TRUE(found);
  }
  ASSERT_EQ(c.Save(), 0);
  EXPECT_LT(c.header().EndOfData(), full_end / 4);
  EXPECT_TRUE(AllEntries(&c).empty());
  ASSERT_EQ(tree.Insert("again", 5), 0);
  ASSERT_EQ(c.Close(), 0);
  ASSERT_EQ(c.Open("D.QVF", 0), 0);
  EXPECT_EQ(AllEntries(&c), std::vector<std::string>{"again"});
  EXPECT_TRUE(errors.checks.empty());
}

TEST(TreeInternalErrors, DuplicateKeyAndOversizedEntryStopWithTheirCheck) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("X.QVF", Container::kCreate), 0);
  Tree tree(&c);
  ASSERT_EQ(tree.Insert("abc-1", 3), 0);
  EXPECT_EQ(tree.Insert("abc-2", 3), 36);
  ASSERT_EQ(errors.checks, std::vector<int>{kCheckDuplicateKey});
  EXPECT_TRUE(c.failed());
  Container d(&env);
  ASSERT_EQ(d.Open("Y.QVF", Container::kCreate), 0);
  Tree big(&d);
  EXPECT_EQ(big.Insert(std::string(kMaxEntryLength + 1, 'x'), 1), 36);
  EXPECT_EQ(errors.checks.back(), kCheckEntryTooLarge);
  EXPECT_EQ(InternalErrorText(kCheckDuplicateKey), "Internal error : qvfbt line 108");
}

TEST(TreeSplit, ManySmallEntriesSplitNearFourKilobytes) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("S.QVF", Container::kCreate), 0);
  Tree tree(&c);
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(tree.Insert(BigEndian32(static_cast<uint32_t>(i * 7919)) + std::string(100, 'r'), 4),
              0);
  }
  ASSERT_EQ(c.Save(), 0);
  // Every page is at most 4096 + one entry's worth by the small-page rule.
  const FileHeader& h = c.header();
  for (int cls = 19; cls <= kMaxClass; ++cls) EXPECT_EQ(h.PageCount(cls), 0u) << cls;
  EXPECT_GT(c.header().PageCount(c.header().ClassOf(c.header().root)), 0u);
  EXPECT_TRUE(errors.checks.empty());
}

}  // namespace
}  // namespace vorsandt::qvf
