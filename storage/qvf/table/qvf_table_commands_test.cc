#include "storage/qvf/table/qvf_table_commands.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/env/fault_env.h"
#include "runtime/format/locale.h"
#include "storage/qvf/table/table.h"
#include "storage/qvf/table/testing_files.h"
#include "storage/qvf/table/tree_entry_store.h"

namespace vorsandt::qvf {
namespace {

class QvfTableCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    format::ResetLocale();
    // A fresh environment makes the same file, ids and record numbers again.
    env_ = std::make_unique<env::FaultEnv>();
    ids_.clear();
    numbers_.clear();
    FileRegistry registry(TreeStoreOpener(env_.get()), EnvFileRemover(env_.get()));
    for (const char* name : {"DATA!FIRST", "DATA!SECOND"}) {
      std::unique_ptr<Table> t;
      ASSERT_EQ(Table::Open(&registry, name, testing::SampleTableDefinition(), true, {}, &t), 0);
      for (int16_t code = 1; code <= 20; ++code) {
        char rec[10];
        std::memcpy(rec, &code, 2);
        std::memcpy(rec + 2, code % 2 ? "odd     " : "even    ", 8);
        ASSERT_EQ(t->Add(reinterpret_cast<uint8_t*>(rec), {std::string(code * 20, 'n')}), 0);
        numbers_.push_back(t->current());
      }
      ids_.push_back(t->id());
    }
  }

  // Changes the file directly, then runs the check.
  std::vector<std::string> CheckAfter(const std::function<void(EntryStore&)>& damage) {
    {
      TreeEntryStore store(env_.get());
      EXPECT_EQ(store.Open(env_.get(), "DATA.QVF", false), 0);
      damage(store);
      EXPECT_EQ(store.Save(), 0);
    }
    std::vector<std::string> faults;
    int rc = CheckTablesCommand(env_.get(), "DATA.QVF", &faults);
    EXPECT_EQ(rc, faults.empty() ? 0 : 1);
    return faults;
  }

  std::unique_ptr<env::FaultEnv> env_;
  std::vector<uint32_t> ids_;
  std::vector<uint32_t> numbers_;
};

TEST_F(QvfTableCommandsTest, TablesAreListedWithTheirCounts) {
  std::string out;
  ASSERT_EQ(ListTablesCommand(env_.get(), "DATA.QVF", &out), 0);
  EXPECT_NE(out.find("FIRST"), std::string::npos) << out;
  EXPECT_NE(out.find("SECOND"), std::string::npos) << out;
  EXPECT_LT(out.find("FIRST"), out.find("SECOND"));
  EXPECT_NE(out.find("records 20"), std::string::npos) << out;
  EXPECT_EQ(ListTablesCommand(env_.get(), "MISSING.QVF", &out), 2);
}

TEST_F(QvfTableCommandsTest, DefinitionShowsFieldsMemosAndKeys) {
  std::string out;
  ASSERT_EQ(DefinitionCommand(env_.get(), "DATA!second", &out), 0);
  for (const char* expected :
       {"table SECOND", "record length 10", "\"S:CODE\"", "picture \"@s8\"", "\"S:NOTES\"",
        "size 500", "\"S:BYNAME\"", "attributes 07", "S:NAME (descending)"}) {
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
  }
  EXPECT_EQ(DefinitionCommand(env_.get(), "DATA!THIRD", &out), 2);
  EXPECT_EQ(DefinitionCommand(env_.get(), "NONE!X", &out), 2);
}

TEST_F(QvfTableCommandsTest, SoundFileChecksClean) {
  std::vector<std::string> faults;
  EXPECT_EQ(CheckTablesCommand(env_.get(), "DATA.QVF", &faults), 0);
  EXPECT_EQ(faults, std::vector<std::string>{});
}

TEST_F(QvfTableCommandsTest, ToolCommandsPrintAndReturnTheirStatus) {
  std::string out, err;
  EXPECT_EQ(RunTableCommand(env_.get(), "tables", "DATA.QVF", &out, &err), 0);
  EXPECT_NE(out.find("SECOND"), std::string::npos);
  EXPECT_EQ(RunTableCommand(env_.get(), "check", "DATA.QVF", &out, &err), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(RunTableCommand(env_.get(), "check", "NONE.QVF", &out, &err), 2);
  EXPECT_NE(err.find("qvf: NONE.QVF: "), std::string::npos);
  EXPECT_EQ(RunTableCommand(env_.get(), "definition", "DATA!NOPE", &out, &err), 2);
  EXPECT_EQ(RunTableCommand(env_.get(), "info", "DATA.QVF", &out, &err), -1);
  // A table fault makes the full check fail with one line per fault.
  {
    TreeEntryStore store(env_.get());
    ASSERT_EQ(store.Open(env_.get(), "DATA.QVF", false), 0);
    ASSERT_EQ(store.Put(CounterKey(ids_[1], kTableCounter), EncodeCounter({1, 0})), 0);
    ASSERT_EQ(store.Save(), 0);
  }
  out.clear();
  EXPECT_EQ(RunTableCommand(env_.get(), "check", "DATA.QVF", &out, &err), 1);
  EXPECT_EQ(out, "DATA.QVF: table SECOND: record counter says 1, the table holds 20\n");
}

TEST_F(QvfTableCommandsTest, BrokenPagesStopTheCheckBeforeTheTables) {
  // Garbage over the first page unit: the page walk reports it and the
  // tables are not read through the broken tree.
  {
    std::unique_ptr<env::File> f;
    ASSERT_EQ(env_->Open("DATA.QVF", env::kOpenReadWrite, &f), 0);
    std::string junk(256, '\x5A');
    ASSERT_EQ(f->WriteAt(512, junk.data(), junk.size()), 0);
  }
  std::vector<std::string> faults;
  EXPECT_EQ(FullCheckCommand(env_.get(), "DATA.QVF", &faults), 1);
  EXPECT_FALSE(faults.empty());
}

TEST_F(QvfTableCommandsTest, CheckFindsEachKindOfDamage) {
  struct Case {
    const char* what;
    std::function<void(EntryStore&)> damage;
    const char* expected;
  };
  // Ids and record numbers are the same in every fresh file.
  uint32_t id = ids_[0];
  uint32_t n = numbers_[3];
  uint32_t last = numbers_[19];
  std::vector<Case> cases = {
      {"record without its key entry",
       [&](EntryStore& s) {
         std::optional<StoredEntry> e;
         s.Find(Search::kNextAfter, KindPrefix(id, 0), &e);
         s.Delete(e->key);
       },
       "has no entry for record"},
      {"key entry without its record",
       [&](EntryStore& s) { s.Insert(KindPrefix(id, 0) + "\xFF\xFF", Id4(0x7FFFFFF0)); },
       "which does not exist"},
      {"record changed under its keys",
       [&](EntryStore& s) {
         std::optional<StoredEntry> e;
         s.Find(Search::kExact, DataKey(id, n), &e);
         e->data.replace(2, 8, "changed ");
         s.Put(e->key, e->data);
       },
       "does not match the record's values"},
      {"count off",
       [&](EntryStore& s) {
         s.Put(CounterKey(id, kTableCounter), EncodeCounter({7, 0}));
       },
       "record counter says 7"},
      {"key count off",
       [&](EntryStore& s) {
         s.Put(CounterKey(id, 1), EncodeCounter({3, 0}));
       },
       "key 1 counter says 3"},
      {"memo chunk gap", [&](EntryStore& s) { s.Delete(ChunkKey(id, last, 0, 0)); },
       "lacks chunk 0"},
      {"orphan memo chunk", [&](EntryStore& s) { s.Insert(ChunkKey(id, 0x7FFFFFF0, 0, 0), "x"); },
       "memo chunks of record"},
      {"table missing from the directory", [&](EntryStore& s) { s.Delete(DirectoryKey("SECOND")); },
       "which the directory does not name"},
      {"broken definition", [&](EntryStore& s) { s.Put(DefinitionKey(id, 0), "\x09"); },
       "definition cannot be read"},
  };
  for (const Case& c : cases) {
    SetUp();  // a fresh file for each damage
    std::vector<std::string> faults = CheckAfter(c.damage);
    bool seen = false;
    for (const std::string& f : faults) seen |= f.find(c.expected) != std::string::npos;
    EXPECT_TRUE(seen) << c.what << ": " << ::testing::PrintToString(faults);
  }
}

}  // namespace
}  // namespace vorsandt::qvf
