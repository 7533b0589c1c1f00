// A process that stops at any write or flush of the save that ends a table
// operation leaves a file that reopens with every table sound (the table
// check finds nothing) and holding either the records before the operation
// or the records after it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "runtime/env/fault_env.h"
#include "runtime/format/locale.h"
#include "storage/qvf/internal_error.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "storage/qvf/table/table.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {
namespace {

constexpr uint16_t kLength = 40;

// ID LONG at 0, NAME STRING(36) at 4: a unique key on ID, a duplicates key on
// NAME; a text memo.
TableDefinition Def() {
  TableDefinition d;
  d.record_length = kLength;
  d.fields.resize(2);
  d.fields[0].type = 6;
  d.fields[0].size = 4;
  d.fields[1].type = 18;
  d.fields[1].offset = 4;
  d.fields[1].size = 36;
  d.fields[1].string_length = 36;
  d.keys.resize(2);
  d.keys[0].attributes = 0x16;
  d.keys[0].components = {{0, 0}};
  d.keys[1].attributes = 0x07;
  d.keys[1].components = {{1, 0}};
  d.memos.resize(1);
  d.memos[0].size = 1000;
  return d;
}

std::string Rec(int32_t id, const std::string& name) {
  std::string r(kLength, ' ');
  std::memcpy(r.data(), &id, 4);
  r.replace(4, name.size(), name);
  return r;
}
const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

using Records = std::map<uint32_t, std::string>;

class TableCrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    format::ResetLocale();
    previous_ = SetInternalErrorHandler([this](int check) { internal_error_ = check; });
    FileRegistry registry(TreeStoreOpener(&env_), EnvFileRemover(&env_));
    std::unique_ptr<Table> t;
    ASSERT_EQ(Table::Open(&registry, "DATA!T", Def(), true, {}, &t), 0);
    for (int32_t i = 0; i < 300; ++i) {
      std::string r = Rec(i, "name " + std::to_string(i % 17));
      ASSERT_EQ(t->Add(Bytes(r), {std::string(i % 5 * 150, 'm')}), 0);
      base_[t->current()] = r;
    }
    ASSERT_EQ(t->store().Save(), 0);
    t.reset();
    image_ = env_.Contents("DATA.QVF");
  }
  void TearDown() override { SetInternalErrorHandler(previous_); }

  // The change under test: rewrite a record (both keys and its memo move),
  // delete another, add a new one. Returns the records it should leave.
  Records Change(Table& t) {
    Records after = base_;
    uint8_t buf[kLength];
    MemoValues memos;
    auto it = after.begin();
    std::advance(it, 10);
    EXPECT_EQ(t.Read(it->first, buf, &memos), 0);
    std::string changed = Rec(-7, "changed name");
    EXPECT_EQ(t.Rewrite(Bytes(changed), {std::string(900, 'z')}), 0);
    it->second = changed;
    std::advance(it, 100);
    EXPECT_EQ(t.Read(it->first, buf, &memos), 0);
    EXPECT_EQ(t.Delete(), 0);
    after.erase(it);
    std::string added = Rec(5000, "added");
    EXPECT_EQ(t.Add(Bytes(added), {"new memo"}), 0);
    after[t.current()] = added;
    return after;
  }

  Records ReadAll(Table& t) {
    Records out;
    std::string prefix = KindPrefix(t.id(), kEntryData);
    std::string at = prefix;
    for (;;) {
      std::optional<StoredEntry> e;
      EXPECT_EQ(t.store().Find(Search::kNextAfter, at, &e), 0);
      if (!e || e->key.compare(0, prefix.size(), prefix) != 0) return out;
      out[ReadId4(e->key.substr(5))] = e->data;
      at = e->key;
    }
  }

  env::FaultEnv env_;
  Records base_;
  std::string image_;
  int internal_error_ = 0;
  InternalErrorHandler previous_;
};

TEST_F(TableCrashTest, StopAtEveryWriteAndFlushLeavesBeforeOrAfter) {
  // One clean run counts the writes and flushes of the save.
  Records after;
  int64_t writes = 0, syncs = 0;
  {
    FileRegistry registry(TreeStoreOpener(&env_), EnvFileRemover(&env_));
    std::unique_ptr<Table> t;
    ASSERT_EQ(Table::Open(&registry, "DATA!T", Def(), false, {}, &t), 0);
    after = Change(*t);
    int64_t w0 = env_.Writes(), s0 = env_.Syncs();
    ASSERT_EQ(t->store().Save(), 0);
    writes = env_.Writes() - w0;
    syncs = env_.Syncs() - s0;
  }
  ASSERT_GT(writes, 2);
  ASSERT_GT(syncs, 1);
  int saw_before = 0, saw_after = 0;
  for (int64_t n = 1; n <= writes + syncs; ++n) {
    for (auto mode :
         {env::FaultEnv::CrashMode::kDropUnsynced, env::FaultEnv::CrashMode::kKeepUnsynced,
          env::FaultEnv::CrashMode::kTearUnsynced}) {
      SCOPED_TRACE("stop " + std::to_string(n) + " mode " + std::to_string(int(mode)));
      env_.SetContents("DATA.QVF", image_);
      {
        FileRegistry registry(TreeStoreOpener(&env_), EnvFileRemover(&env_));
        std::unique_ptr<Table> t;
        ASSERT_EQ(Table::Open(&registry, "DATA!T", Def(), false, {}, &t), 0);
        Change(*t);
        if (n <= writes) {
          env_.StopAtWrite(n);
        } else {
          env_.StopAtSync(n - writes);
        }
        t->store().Save();  // fails once the process has stopped
        t.reset();
      }  // the registry's last save fails too
      env_.Crash(mode, static_cast<uint32_t>(n));
      internal_error_ = 0;
      std::vector<std::string> faults;
      EXPECT_EQ(FullCheckCommand(&env_, "DATA.QVF", &faults), 0);
      EXPECT_EQ(faults, std::vector<std::string>{});
      FileRegistry registry(TreeStoreOpener(&env_), EnvFileRemover(&env_));
      std::unique_ptr<Table> t;
      ASSERT_EQ(Table::Open(&registry, "DATA!T", Def(), false, {}, &t), 0);
      Records now = ReadAll(*t);
      EXPECT_EQ(internal_error_, 0);
      if (now == base_) {
        ++saw_before;
      } else {
        EXPECT_EQ(now, after);
        ++saw_after;
      }
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(saw_before, 0);
  EXPECT_GT(saw_after, 0);
}

}  // namespace
}  // namespace vorsandt::qvf
