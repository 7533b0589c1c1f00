// Tables over real QVF files (the container and B-tree, in an in-memory
// environment): what the entry-level tests show with a map must hold on disk.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "runtime/format/locale.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/table/table.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {
namespace {

constexpr uint16_t kLength = 64;

// ID LONG at 0, NAME STRING(60) at 4; key 0 unique on ID, key 1 duplicates
// on NAME; a text memo of 2000 bytes.
TableDefinition Wide() {
  TableDefinition d;
  d.record_length = kLength;
  d.fields.resize(2);
  d.fields[0].type = 6;
  d.fields[0].size = 4;
  d.fields[0].name = "W:ID";
  d.fields[1].type = 18;
  d.fields[1].offset = 4;
  d.fields[1].size = 60;
  d.fields[1].string_length = 60;
  d.fields[1].name = "W:NAME";
  d.keys.resize(2);
  d.keys[0].attributes = 0x16;
  d.keys[0].components = {{0, 0}};
  d.keys[1].attributes = 0x07;
  d.keys[1].components = {{1, 0}};
  d.memos.resize(1);
  d.memos[0].name = "W:NOTES";
  d.memos[0].size = 2000;
  return d;
}

std::string Image(int32_t id, const std::string& name) {
  std::string r(kLength, ' ');
  std::memcpy(r.data(), &id, 4);
  r.replace(4, std::min<size_t>(name.size(), 60), name.substr(0, 60));
  return r;
}

class TableTreeTest : public ::testing::Test {
 protected:
  TableTreeTest()
      : registry_(std::make_unique<FileRegistry>(TreeStoreOpener(&env_), EnvFileRemover(&env_))) {}
  void SetUp() override { format::ResetLocale(); }

  std::unique_ptr<Table> Open(bool create) {
    std::unique_ptr<Table> t;
    EXPECT_EQ(Table::Open(registry_.get(), "DATA!WIDE", Wide(), create, {}, &t), 0);
    return t;
  }
  std::vector<std::string> Check() {
    std::vector<std::string> faults;
    EXPECT_TRUE(CheckFile(&env_, "DATA.QVF", &faults));
    return faults;
  }
  // Walks key k from its first entry: the record numbers in key order.
  std::vector<uint32_t> Walk(Table& t, int k) {
    std::vector<uint32_t> out;
    std::string prefix = KindPrefix(t.id(), static_cast<uint8_t>(k));
    std::string at = prefix;
    for (;;) {
      std::optional<StoredEntry> e;
      EXPECT_EQ(t.store().Find(Search::kNextAfter, at, &e), 0);
      if (!e || e->key.compare(0, prefix.size(), prefix) != 0) return out;
      out.push_back(KeyEntryRecord(t.keys()[k], e->key, e->data));
      at = e->key;
    }
  }

  env::FaultEnv env_;
  std::unique_ptr<FileRegistry> registry_;
};

TEST_F(TableTreeTest, MissingFileIsNotFoundAndIsNotMade) {
  std::unique_ptr<Table> t;
  EXPECT_EQ(Table::Open(registry_.get(), "DATA!WIDE", Wide(), false, {}, &t), files::kFileNotFound);
  EXPECT_FALSE(env_.Exists("DATA.QVF"));
}

TEST_F(TableTreeTest, RecordsKeysAndMemosSurviveClosingTheFile) {
  std::map<uint32_t, std::string> model;
  {
    auto t = Open(true);
    for (int32_t i = 0; i < 400; ++i) {
      std::string r = Image(i * 7 % 400, "name " + std::to_string(i % 13));
      ASSERT_EQ(t->Add(reinterpret_cast<const uint8_t*>(r.data()), {std::string(i * 5, 'm')}), 0);
      model[t->current()] = r;
    }
  }
  EXPECT_EQ(registry_->open_files(), 0u);
  EXPECT_EQ(Check(), std::vector<std::string>{});
  auto t = Open(false);
  ASSERT_NE(t, nullptr);
  Counter c;
  ASSERT_EQ(t->ReadCounter(kTableCounter, &c), 0);
  EXPECT_EQ(c.count, 400u);
  uint8_t buf[kLength];
  MemoValues memos;
  size_t i = 0;
  for (const auto& [n, image] : model) {
    ASSERT_EQ(t->Read(n, buf, &memos), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), kLength), image);
    EXPECT_EQ(memos[0], std::string(i * 5, 'm') + std::string(2000 - i * 5, ' '));
    ++i;
  }
  std::vector<uint32_t> by_name = Walk(*t, 1);
  EXPECT_EQ(by_name.size(), 400u);
  // Equal names come in record-number order.
  for (size_t j = 1; j < by_name.size(); ++j) {
    const std::string& a = model[by_name[j - 1]];
    const std::string& b = model[by_name[j]];
    if (a.substr(4) == b.substr(4)) {
      EXPECT_LT(by_name[j - 1], by_name[j]);
    }
  }
}

TEST_F(TableTreeTest, DeletingEveryRecordLeavesAWorkingTree) {
  auto t = Open(true);
  std::vector<uint32_t> numbers;
  for (int32_t i = 0; i < 600; ++i) {
    std::string r = Image(i, std::string(40, static_cast<char>('a' + i % 26)));
    ASSERT_EQ(t->Add(reinterpret_cast<const uint8_t*>(r.data()), {std::string(300, 'x')}), 0);
    numbers.push_back(t->current());
  }
  ASSERT_EQ(t->store().Save(), 0);
  uint8_t buf[kLength];
  for (uint32_t n : numbers) {
    ASSERT_EQ(t->Read(n, buf, nullptr), 0);
    ASSERT_EQ(t->Delete(), 0);
  }
  ASSERT_EQ(t->store().Save(), 0);
  EXPECT_EQ(Check(), std::vector<std::string>{});
  EXPECT_TRUE(Walk(*t, 0).empty());
  EXPECT_TRUE(Walk(*t, 1).empty());
  // Smaller than anything there ever was, then more.
  std::string low = Image(-1000, "");
  ASSERT_EQ(t->Add(reinterpret_cast<const uint8_t*>(low.data()), {}), 0);
  std::string r = Image(5, "again");
  ASSERT_EQ(t->Add(reinterpret_cast<const uint8_t*>(r.data()), {}), 0);
  EXPECT_EQ(Walk(*t, 0).size(), 2u);
  ASSERT_EQ(t->store().Save(), 0);
  EXPECT_EQ(Check(), std::vector<std::string>{});
}

TEST_F(TableTreeTest, UnchangedRewriteLeavesTheChangeCounter) {
  auto t = Open(true);
  std::string r = Image(1, "one");
  ASSERT_EQ(t->Add(reinterpret_cast<const uint8_t*>(r.data()), {"memo"}), 0);
  ASSERT_EQ(t->store().Save(), 0);
  uint32_t before = t->store().ChangeCounter();
  uint8_t buf[kLength];
  MemoValues memos;
  ASSERT_EQ(t->Read(t->current(), buf, &memos), 0);
  ASSERT_EQ(t->Rewrite(buf, memos), 0);
  ASSERT_EQ(t->store().Save(), 0);
  EXPECT_EQ(t->store().ChangeCounter(), before);
  std::string changed = Image(1, "two");
  ASSERT_EQ(t->Rewrite(reinterpret_cast<const uint8_t*>(changed.data()), memos), 0);
  ASSERT_EQ(t->store().Save(), 0);
  EXPECT_EQ(t->store().ChangeCounter(), before + 1);
}

TEST_F(TableTreeTest, RemovingTheOnlyTableDeletesTheFile) {
  auto t = Open(true);
  ASSERT_EQ(t->Remove(), 0);
  t.reset();
  EXPECT_FALSE(env_.Exists("DATA.QVF"));
}

}  // namespace
}  // namespace vorsandt::qvf
