#include "storage/qvf/table/table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <tuple>

#include "runtime/files/error_codes.h"
#include "runtime/format/locale.h"
#include "runtime/format/settings_file.h"
#include "storage/qvf/table/directory.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "storage/qvf/table/testing_files.h"

namespace vorsandt::qvf {
namespace {

// ID SHORT at 0, NAME STRING(10) at 2, CODE STRING(4) at 12; keys: 0 on ID
// (unique, optional, no case), 1 on NAME (duplicates, optional, no case), 2 on
// CODE (unique, optional, no case); a 300-byte text memo and a blob.
constexpr uint16_t kLength = 16;

TableDefinition SmallTable(bool with_memos = true) {
  TableDefinition d;
  d.record_length = kLength;
  d.fields.resize(3);
  d.fields[0].type = 2;
  d.fields[0].size = 2;
  d.fields[0].name = "T:ID";
  d.fields[1].type = 18;
  d.fields[1].offset = 2;
  d.fields[1].size = 10;
  d.fields[1].string_length = 10;
  d.fields[1].name = "T:NAME";
  d.fields[2].type = 18;
  d.fields[2].offset = 12;
  d.fields[2].size = 4;
  d.fields[2].string_length = 4;
  d.fields[2].name = "T:CODE";
  d.keys.resize(3);
  d.keys[0].attributes = 0x16;
  d.keys[0].components = {{0, 0}};
  d.keys[1].attributes = 0x07;
  d.keys[1].components = {{1, 0}};
  d.keys[2].attributes = 0x16;
  d.keys[2].components = {{2, 0}};
  if (with_memos) {
    d.memos.resize(2);
    d.memos[0].name = "T:NOTES";
    d.memos[0].size = 300;
    d.memos[1].name = "T:BLOB";
    d.memos[1].flags = kMemoBlob;
  }
  d.SetVersion();
  return d;
}

struct Rec {
  uint8_t bytes[kLength];
  Rec(int16_t id, std::string_view name, std::string_view code) {
    std::memset(bytes, ' ', sizeof bytes);
    std::memcpy(bytes, &id, 2);
    std::memcpy(bytes + 2, name.data(), std::min<size_t>(name.size(), 10));
    std::memcpy(bytes + 12, code.data(), std::min<size_t>(code.size(), 4));
  }
};

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override { format::ResetLocale(); }

  std::unique_ptr<Table> OpenOk(std::string_view name, bool create = true,
                                const TableDefinition& def = SmallTable(),
                                TableOptions options = {}) {
    std::unique_ptr<Table> t;
    EXPECT_EQ(Table::Open(files_.registry(), name, def, create, options, &t), 0) << name;
    return t;
  }

  // Number of entries of a table starting with its id and `type`.
  size_t Count(Table& t, uint8_t type) {
    std::string prefix = KindPrefix(t.id(), type);
    size_t n = 0;
    auto* store = files_.Store(t.name().file);
    for (const auto& [k, v] : store->entries()) n += k.compare(0, 5, prefix) == 0;
    return n;
  }
  // Record numbers in key k's order.
  std::vector<uint32_t> InKeyOrder(Table& t, int k) {
    std::vector<uint32_t> out;
    std::string prefix = KindPrefix(t.id(), static_cast<uint8_t>(k));
    for (const auto& [key, data] : files_.Store(t.name().file)->entries()) {
      if (key.compare(0, 5, prefix) == 0) out.push_back(KeyEntryRecord(t.keys()[k], key, data));
    }
    return out;
  }
  uint32_t RecordCount(Table& t) {
    Counter c;
    EXPECT_EQ(t.ReadCounter(kTableCounter, &c), 0);
    return c.count;
  }

  testing::MemoryFiles files_;
};

TEST_F(TableTest, NamesDifferingInCaseAndExtensionOpenTheSameTable) {
  auto a = OpenOk("DATA!ITEMS");
  auto b = OpenOk("data.qvf!items", false);
  EXPECT_EQ(a->id(), b->id());
  EXPECT_EQ(files_.registry()->open_files(), 1u);
  EXPECT_EQ(files_.opens(), 1);
  EXPECT_EQ(&a->store(), &b->store());
  Rec r(1, "x", "A");
  ASSERT_EQ(a->Add(r.bytes, {}), 0);
  uint8_t buf[kLength];
  MemoValues memos;
  EXPECT_EQ(b->Read(a->current(), buf, &memos), 0);
  a.reset();
  EXPECT_EQ(files_.registry()->open_files(), 1u);
  b.reset();
  EXPECT_EQ(files_.registry()->open_files(), 0u);
}

TEST_F(TableTest, TablesOfOneFileHaveTheirOwnIdsAndDisjointRecordNumbers) {
  auto a = OpenOk("DATA!A");
  auto b = OpenOk("DATA!B");
  EXPECT_NE(a->id(), b->id());
  std::set<uint32_t> numbers;
  for (int i = 0; i < 5; ++i) {
    Rec r(static_cast<int16_t>(i + 1), "n", std::to_string(i));
    ASSERT_EQ(a->Add(r.bytes, {}), 0);
    numbers.insert(a->current());
    ASSERT_EQ(b->Add(r.bytes, {}), 0);
    numbers.insert(b->current());
  }
  EXPECT_EQ(numbers.size(), 10u);
  EXPECT_EQ(numbers.count(a->id()) + numbers.count(b->id()), 0u);
  EXPECT_EQ(RecordCount(*a), 5u);
  EXPECT_EQ(RecordCount(*b), 5u);
}

TEST_F(TableTest, OpeningWhatDoesNotExistFailsWithFileNotFound) {
  std::unique_ptr<Table> t;
  EXPECT_EQ(Table::Open(files_.registry(), "NONE!T", SmallTable(), false, {}, &t),
            files::kFileNotFound);
  EXPECT_FALSE(files_.Exists("NONE.QVF"));
  auto a = OpenOk("DATA!A");
  EXPECT_EQ(Table::Open(files_.registry(), "DATA!B", SmallTable(), false, {}, &t),
            files::kFileNotFound);
  EXPECT_EQ(Table::Open(files_.registry(), "!B", SmallTable(), true, {}, &t),
            files::kInvalidFilename);
}

TEST_F(TableTest, DirectoryListsTablesInNameOrder) {
  auto b = OpenOk("DATA!BETA");
  auto a = OpenOk("DATA!alpha");
  auto c = OpenOk("DATA!GAMMA");
  std::vector<DirectoryItem> items;
  ASSERT_EQ(ListTables(&a->store(), &items), 0);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].name, "ALPHA");
  EXPECT_EQ(items[0].id, a->id());
  EXPECT_EQ(items[2].name, "GAMMA");
  std::optional<std::string> next;
  ASSERT_EQ(NextTableName(&a->store(), "", &next), 0);
  EXPECT_EQ(next, "ALPHA");
  ASSERT_EQ(NextTableName(&a->store(), "alpha", &next), 0);
  EXPECT_EQ(next, "BETA");
  ASSERT_EQ(NextTableName(&a->store(), "B", &next), 0);
  EXPECT_EQ(next, "BETA");
  ASSERT_EQ(NextTableName(&a->store(), "GAMMA", &next), 0);
  EXPECT_FALSE(next.has_value());
}

TEST_F(TableTest, StoredDefinitionIsVerifiedAtOpen) {
  OpenOk("DATA!T").reset();
  TableDefinition renamed = SmallTable();
  renamed.fields[1].name = "T:OTHER";
  renamed.keys[0].name = "T:K";
  EXPECT_NE(OpenOk("DATA!T", false, renamed), nullptr);
  TableDefinition moved = SmallTable();
  moved.keys[1].attributes = 0x03;
  std::unique_ptr<Table> t;
  EXPECT_EQ(Table::Open(files_.registry(), "DATA!T", moved, false, {}, &t),
            files::kInvalidRecordDeclaration);
  // A long definition spans several blocks and still verifies.
  TableDefinition wide = SmallTable();
  for (int i = 0; i < 60; ++i) {
    wide.keys.push_back(wide.keys[1]);
    wide.keys.back().name = std::string(40, 'k') + std::to_string(i);
  }
  auto w = OpenOk("DATA!WIDE", true, wide);
  EXPECT_GT(Count(*w, kEntryDefinition), 1u);
  w.reset();
  EXPECT_NE(OpenOk("DATA!WIDE", false, wide), nullptr);
}

TEST_F(TableTest, CreatingAnExistingTableDiscardsItsRecords) {
  auto t = OpenOk("DATA!T");
  Rec r(1, "a", "A");
  ASSERT_EQ(t->Add(r.bytes, {std::string("memo"), std::string("blob")}), 0);
  uint32_t old_id = t->id();
  t.reset();
  t = OpenOk("DATA!T", true);
  EXPECT_NE(t->id(), old_id);
  EXPECT_EQ(RecordCount(*t), 0u);
  for (const auto& [k, v] : files_.Store("DATA.QVF")->entries()) {
    EXPECT_NE(ReadId4(k), old_id) << "entry of the replaced table left behind";
  }
  ASSERT_EQ(t->Add(r.bytes, {}), 0);
}

TEST_F(TableTest, AddedRecordReadsBackWithItsKeysAndCount) {
  auto t = OpenOk("DATA!T");
  Rec r(7, "Smith", "ab");
  ASSERT_EQ(t->Add(r.bytes, {"note", "\x01\x02"}), 0);
  uint32_t n = t->current();
  EXPECT_NE(n, 0u);
  EXPECT_EQ(Count(*t, 0), 1u);
  EXPECT_EQ(Count(*t, 1), 1u);
  EXPECT_EQ(Count(*t, 2), 1u);
  EXPECT_EQ(RecordCount(*t), 1u);
  Counter kc;
  ASSERT_EQ(t->ReadCounter(1, &kc), 0);
  EXPECT_EQ(kc.count, 1u);
  uint8_t buf[kLength] = {};
  MemoValues memos;
  t->ClearCurrent();
  ASSERT_EQ(t->Read(n, buf, &memos), 0);
  EXPECT_EQ(std::memcmp(buf, r.bytes, kLength), 0);
  ASSERT_EQ(memos.size(), 2u);
  EXPECT_EQ(memos[0], "note" + std::string(296, ' '));
  EXPECT_EQ(memos[1], "\x01\x02");
  EXPECT_EQ(t->current(), n);
  EXPECT_EQ(t->Read(n + 100, buf, &memos), files::kRecordNotFound);
}

TEST_F(TableTest, DuplicateOnAUniqueKeyStoresNothingOfTheRecord) {
  auto t = OpenOk("DATA!T");
  Rec first(1, "a", "X");
  ASSERT_EQ(t->Add(first.bytes, {}), 0);
  ASSERT_EQ(files_.Store("DATA.QVF")->Save(), 0);
  auto before = files_.Store("DATA.QVF")->entries();
  // Keys 0 and 1 are new, key 2 ("x" is "X" without case) duplicates: the
  // entries made for keys 0 and 1 must be taken back.
  Rec second(2, "b", "x");
  EXPECT_EQ(t->Add(second.bytes, {"memo", "blob"}), files::kCreatesDuplicateKey);
  EXPECT_EQ(files_.Store("DATA.QVF")->entries(), before);
  Rec third(1, "c", "Y");
  EXPECT_EQ(t->Add(third.bytes, {}), files::kCreatesDuplicateKey);
  EXPECT_EQ(files_.Store("DATA.QVF")->entries(), before);
}

TEST_F(TableTest, AddWithoutTheTableCounterIsRefusedWhole) {
  auto t = OpenOk("DATA!T");
  MemoryEntryStore* store = files_.Store("DATA.QVF");
  ASSERT_EQ(store->Delete(CounterKey(t->id(), kTableCounter)), 0);
  auto before = store->entries();
  Rec r(1, "a", "A");
  EXPECT_EQ(t->Add(r.bytes, {"memo", ""}), files::kAccessDenied);
  EXPECT_EQ(store->entries(), before);
}

TEST_F(TableTest, UnchangedRewriteWritesNothing) {
  auto t = OpenOk("DATA!T");
  Rec r(1, "a", "A");
  ASSERT_EQ(t->Add(r.bytes, {"memo", "blob"}), 0);
  MemoryEntryStore* store = files_.Store("DATA.QVF");
  ASSERT_EQ(store->Save(), 0);
  uint32_t counter = store->ChangeCounter();
  uint8_t buf[kLength];
  MemoValues memos;
  ASSERT_EQ(t->Read(t->current(), buf, &memos), 0);
  ASSERT_EQ(t->Rewrite(buf, memos), 0);
  EXPECT_FALSE(store->dirty());
  ASSERT_EQ(store->Save(), 0);
  EXPECT_EQ(store->ChangeCounter(), counter);
}

TEST_F(TableTest, RewriteMovesKeysAndAChangedMemoAloneIsWritten) {
  auto t = OpenOk("DATA!T");
  Rec r(1, "a", "A");
  ASSERT_EQ(t->Add(r.bytes, {"memo", ""}), 0);
  uint32_t n = t->current();
  Rec changed(1, "b", "B");
  ASSERT_EQ(t->Rewrite(changed.bytes, {"memo", ""}), 0);
  KeyEntry e;
  ASSERT_TRUE(t->KeyEntryFor(2, changed.bytes, n, &e));
  EXPECT_EQ(files_.Store("DATA.QVF")->entries().count(e.key), 1u);
  EXPECT_EQ(Count(*t, 2), 1u);
  ASSERT_EQ(t->Rewrite(changed.bytes, {"other memo", ""}), 0);
  uint8_t buf[kLength];
  MemoValues memos;
  ASSERT_EQ(t->Read(n, buf, &memos), 0);
  EXPECT_EQ(memos[0].substr(0, 10), "other memo");
}

TEST_F(TableTest, RewriteFailuresLeaveTheRecordAsItWas) {
  auto t = OpenOk("DATA!T");
  uint8_t buf[kLength];
  Rec a(1, "a", "A"), b(2, "b", "B");
  EXPECT_EQ(t->Rewrite(a.bytes, {}), files::kRecordNotAvailable);
  ASSERT_EQ(t->Add(a.bytes, {}), 0);
  ASSERT_EQ(t->Add(b.bytes, {}), 0);
  auto before = files_.Store("DATA.QVF")->entries();
  Rec clash(3, "z", "a");  // key 2 duplicates record a
  EXPECT_EQ(t->Rewrite(clash.bytes, {}), files::kCreatesDuplicateKey);
  EXPECT_EQ(files_.Store("DATA.QVF")->entries(), before);
  ASSERT_EQ(t->Read(t->current(), buf, nullptr), 0);
  EXPECT_EQ(std::memcmp(buf, b.bytes, kLength), 0);
}

TEST_F(TableTest, WatchedRecordChangedElsewhereIsNotOverwritten) {
  auto mine = OpenOk("DATA!T");
  auto other = OpenOk("DATA!T", false);
  Rec r(1, "a", "A");
  ASSERT_EQ(mine->Add(r.bytes, {}), 0);
  uint32_t n = mine->current();
  uint8_t buf[kLength];
  ASSERT_EQ(mine->Read(n, buf, nullptr, {.watch = true}), 0);
  uint8_t theirs[kLength];
  ASSERT_EQ(other->Read(n, theirs, nullptr), 0);
  Rec their_change(1, "other", "A");
  ASSERT_EQ(other->Rewrite(their_change.bytes, {}), 0);
  Rec my_change(1, "mine", "A");
  EXPECT_EQ(mine->Rewrite(my_change.bytes, {}), files::kRecordChangedByAnotherStation);
  // Without a change in between the watched rewrite goes through.
  ASSERT_EQ(mine->Read(n, buf, nullptr, {.watch = true}), 0);
  EXPECT_EQ(mine->Rewrite(my_change.bytes, {}), 0);
}

TEST_F(TableTest, WatchEndsWhenAnotherRecordBecomesCurrent) {
  auto t = OpenOk("DATA!T");
  Rec a(1, "a", "A");
  ASSERT_EQ(t->Add(a.bytes, {}), 0);
  uint8_t buf[kLength];
  ASSERT_EQ(t->Read(t->current(), buf, nullptr, {.watch = true}), 0);
  Rec b(2, "b", "B");
  ASSERT_EQ(t->Add(b.bytes, {}), 0);
  Rec b2(2, "b2", "B");
  EXPECT_EQ(t->Rewrite(b2.bytes, {}), 0);
}

TEST_F(TableTest, RecordLocksAreAskedForAndRefusalsReported) {
  auto t = OpenOk("DATA!T");
  std::set<uint32_t> locked_elsewhere;
  std::set<uint32_t> mine;
  t->SetLocks({[&](uint32_t n) {
                 if (locked_elsewhere.count(n)) return false;
                 mine.insert(n);
                 return true;
               },
               [&](uint32_t n) { mine.erase(n); }});
  Rec r(1, "a", "A");
  ASSERT_EQ(t->Add(r.bytes, {}), 0);
  uint32_t n = t->current();
  locked_elsewhere.insert(n);
  uint8_t buf[kLength];
  EXPECT_EQ(t->Read(n, buf, nullptr, {.hold = true}), files::kRecordAlreadyHeld);
  EXPECT_EQ(t->Rewrite(r.bytes, {}), files::kAccessDenied);
  EXPECT_EQ(t->Delete(), files::kRecordNotAvailable);
  locked_elsewhere.clear();
  ASSERT_EQ(t->Read(n, buf, nullptr, {.hold = true}), 0);
  EXPECT_EQ(t->held(), n);
  EXPECT_EQ(mine.count(n), 1u);
  Rec changed(1, "b", "A");
  ASSERT_EQ(t->Rewrite(changed.bytes, {}), 0);
  EXPECT_EQ(t->held(), 0u);
  EXPECT_EQ(mine.count(n), 0u);
}

TEST_F(TableTest, DeleteRemovesRecordKeysMemosAndCount) {
  auto t = OpenOk("DATA!T");
  Rec a(1, "a", "A"), b(2, "b", "B");
  ASSERT_EQ(t->Add(a.bytes, {std::string(600, 'm'), std::string(700, 'b')}), 0);
  ASSERT_EQ(t->Add(b.bytes, {}), 0);
  uint32_t first = t->current() - 1;
  uint8_t buf[kLength];
  ASSERT_EQ(t->Read(first, buf, nullptr), 0);
  ASSERT_EQ(t->Delete(), 0);
  EXPECT_EQ(t->current(), 0u);
  EXPECT_EQ(t->Delete(), files::kRecordNotAvailable);
  EXPECT_EQ(RecordCount(*t), 1u);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(Count(*t, static_cast<uint8_t>(k)), 1u) << k;
  EXPECT_EQ(Count(*t, kEntryChunk), 0u);
  EXPECT_EQ(Count(*t, kEntryData), 1u);
  // The freed value can be used again.
  ASSERT_EQ(t->Add(a.bytes, {}), 0);
}

TEST_F(TableTest, MemosAndBlobsAreCutIn256ByteChunks) {
  auto t = OpenOk("DATA!T");
  MemoryEntryStore* store = files_.Store("DATA.QVF");
  auto chunks = [&](uint32_t n, uint8_t field) {
    std::vector<size_t> sizes;
    for (uint16_t j = 0;; ++j) {
      auto it = store->entries().find(ChunkKey(t->id(), n, field, j));
      if (it == store->entries().end()) return sizes;
      sizes.push_back(it->second.size());
    }
  };
  Rec r(1, "a", "A");
  ASSERT_EQ(t->Add(r.bytes, {std::string(300, ' '), std::string(256, 'x')}), 0);
  uint32_t n = t->current();
  EXPECT_EQ(chunks(n, 0), std::vector<size_t>{});
  EXPECT_EQ(chunks(n, 1), std::vector<size_t>{260});
  EXPECT_EQ(store->entries().at(ChunkKey(t->id(), n, 1, 0)).substr(0, 4),
            std::string("\x00\x01\x00\x00", 4));
  MemoValues memos;
  uint8_t buf[kLength];
  ASSERT_EQ(t->Read(n, buf, &memos), 0);
  EXPECT_EQ(memos[0], std::string(300, ' '));
  EXPECT_EQ(memos[1], std::string(256, 'x'));

  std::string blob(300, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i);
  std::string memo = std::string(257, 'a') + "   ";
  ASSERT_EQ(t->Rewrite(buf, {memo, blob}), 0);
  EXPECT_EQ(chunks(n, 0), (std::vector<size_t>{256, 1}));
  EXPECT_EQ(chunks(n, 1), (std::vector<size_t>{260, 44}));
  ASSERT_EQ(t->Read(n, buf, &memos), 0);
  EXPECT_EQ(memos[0], std::string(257, 'a') + std::string(43, ' '));
  EXPECT_EQ(memos[1], blob);

  // Shrinking removes the chunks no longer needed.
  ASSERT_EQ(t->Rewrite(buf, {"short", ""}), 0);
  EXPECT_EQ(chunks(n, 0), std::vector<size_t>{5});
  EXPECT_EQ(chunks(n, 1), std::vector<size_t>{});
  ASSERT_EQ(t->Read(n, buf, &memos), 0);
  EXPECT_EQ(memos[1], "");
}

TEST_F(TableTest, SkippedMemosStayAsStoredOnRewrite) {
  auto t = OpenOk("DATA!T");
  Rec r(1, "a", "A");
  ASSERT_EQ(t->Add(r.bytes, {"keep me", "blob"}), 0);
  uint32_t n = t->current();
  uint8_t buf[kLength];
  MemoValues memos{"untouched", ""};
  ASSERT_EQ(t->Read(n, buf, &memos, {.skip_memos = true}), 0);
  EXPECT_EQ(memos[0], "untouched");
  Rec changed(1, "b", "A");
  ASSERT_EQ(t->Rewrite(changed.bytes, {"", ""}), 0);
  ASSERT_EQ(t->Read(n, buf, &memos), 0);
  EXPECT_EQ(memos[0].substr(0, 7), "keep me");
  EXPECT_EQ(memos[1], "blob");
}

TEST_F(TableTest, ReadWithoutMemosKeepsThemOnRewrite) {
  auto t = OpenOk("DATA!T");
  Rec r(1, "a", "A");
  ASSERT_EQ(t->Add(r.bytes, {"kept", "blob"}), 0);
  uint32_t n = t->current();
  uint8_t buf[kLength];
  ASSERT_EQ(t->Read(n, buf, nullptr), 0);
  Rec changed(1, "b", "A");
  ASSERT_EQ(t->Rewrite(changed.bytes, {}), 0);
  MemoValues memos;
  ASSERT_EQ(t->Read(n, buf, &memos), 0);
  EXPECT_EQ(memos[0].substr(0, 4), "kept");
  EXPECT_EQ(memos[1], "blob");
}

TEST_F(TableTest, OptionalKeyLeavesOutBlankRecordsAndDuplicatesFollowRecordNumbers) {
  auto t = OpenOk("DATA!T");
  Rec blank(1, "", ""), one_char(2, "x", ""), same1(3, "same", ""), same2(4, "SAME", "");
  ASSERT_EQ(t->Add(blank.bytes, {}), 0);
  uint32_t blank_number = t->current();
  ASSERT_EQ(t->Add(one_char.bytes, {}), 0);
  ASSERT_EQ(t->Add(same1.bytes, {}), 0);
  uint32_t a = t->current();
  ASSERT_EQ(t->Add(same2.bytes, {}), 0);
  uint32_t b = t->current();
  std::vector<uint32_t> names = InKeyOrder(*t, 1);
  EXPECT_EQ(names.size(), 3u);
  EXPECT_EQ(std::count(names.begin(), names.end(), blank_number), 0);
  // "SAME" and "same" are one value without case: in record-number order.
  EXPECT_EQ(names[0], a);
  EXPECT_EQ(names[1], b);
  EXPECT_EQ(Count(*t, 2), 0u);  // every code blank
  // Several blank records never clash on a unique optional key.
  Rec blank2(5, "", "");
  EXPECT_EQ(t->Add(blank2.bytes, {}), 0);
}

TEST_F(TableTest, ValueBelowEveryOtherValueIsFound) {
  auto t = OpenOk("DATA!T");
  for (int16_t id : {50, 20, -5, 7, -32768}) {
    Rec r(id, "n", std::to_string(id));
    ASSERT_EQ(t->Add(r.bytes, {}), 0);
  }
  std::vector<int16_t> ids;
  for (uint32_t n : InKeyOrder(*t, 0)) {
    uint8_t buf[kLength];
    ASSERT_EQ(t->Read(n, buf, nullptr), 0);
    int16_t id;
    std::memcpy(&id, buf, 2);
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int16_t>{-32768, -5, 7, 20, 50}));
}

TEST_F(TableTest, EmptyKeepsTheTableUsable) {
  auto t = OpenOk("DATA!T");
  Rec r(1, "a", "A");
  ASSERT_EQ(t->Add(r.bytes, {"m", "b"}), 0);
  ASSERT_EQ(t->Empty(), 0);
  EXPECT_EQ(RecordCount(*t), 0u);
  EXPECT_EQ(Count(*t, kEntryData) + Count(*t, 0) + Count(*t, kEntryChunk), 0u);
  t.reset();
  t = OpenOk("DATA!T", false);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Add(r.bytes, {}), 0);
}

TEST_F(TableTest, RemovingTheLastTableDeletesTheFile) {
  auto a = OpenOk("DATA!A");
  auto b = OpenOk("DATA!B");
  ASSERT_EQ(a->Remove(), 0);
  a.reset();
  EXPECT_TRUE(files_.Exists("DATA.QVF"));
  std::unique_ptr<Table> gone;
  EXPECT_EQ(Table::Open(files_.registry(), "DATA!A", SmallTable(), false, {}, &gone),
            files::kFileNotFound);
  ASSERT_EQ(b->Remove(), 0);
  EXPECT_TRUE(files_.Exists("DATA.QVF"));  // still open
  b.reset();
  EXPECT_FALSE(files_.Exists("DATA.QVF"));
}

TEST_F(TableTest, BuildKeyRecreatesEntriesAndStopsAtADuplicate) {
  auto t = OpenOk("DATA!T");
  for (int16_t id = 1; id <= 30; ++id) {
    std::string name = "n", code = "c";
    name += std::to_string(id % 4);
    code += std::to_string(id);
    Rec r(id, name, code);
    ASSERT_EQ(t->Add(r.bytes, {}), 0);
  }
  MemoryEntryStore* store = files_.Store("DATA.QVF");
  auto before = store->entries();
  // Damage key 1: drop an entry, add a stray one.
  std::string prefix = KindPrefix(t->id(), 1);
  auto it = store->entries().lower_bound(prefix);
  ASSERT_EQ(store->Delete(it->first), 0);
  ASSERT_EQ(store->Insert(prefix + "stray", ""), 0);
  int calls = 0;
  ASSERT_EQ(t->BuildKey(1, [&](uint32_t) { ++calls; }), 0);
  EXPECT_EQ(calls, 30);
  EXPECT_EQ(store->entries(), before);

  // Two records that now share a code: the unique key cannot be built.
  uint32_t last = t->current();
  std::string data_key = DataKey(t->id(), last);
  std::string image = store->entries().at(data_key);
  image.replace(12, 4, "c1  ");
  ASSERT_EQ(store->Put(data_key, image), 0);
  EXPECT_EQ(t->BuildKey(2), files::kCreatesDuplicateKey);
  Counter c;
  ASSERT_EQ(t->ReadCounter(2, &c), 0);
  EXPECT_EQ(c.mark, last);
  EXPECT_EQ(c.count, 29u);
}

TEST_F(TableTest, PartlyMaintainedKeySkipsRecordsFromItsMark) {
  TableDefinition def = SmallTable(false);
  def.keys[1].attributes |= kKeyAttrPartial;
  auto t = OpenOk("DATA!T", true, def);
  Rec a(1, "a", "A");
  ASSERT_EQ(t->Add(a.bytes, {}), 0);
  Counter c;
  ASSERT_EQ(t->ReadCounter(1, &c), 0);
  c.mark = t->current() + 1;
  ASSERT_EQ(t->WriteCounter(1, c), 0);
  Rec b(2, "b", "B");
  ASSERT_EQ(t->Add(b.bytes, {}), 0);
  EXPECT_EQ(Count(*t, 1), 1u);  // b's number is not below the mark
  EXPECT_EQ(Count(*t, 0), 2u);
  // Append applies the mark rule to every key; key 0's mark of 0 covers all.
  Rec d(3, "d", "D");
  ASSERT_EQ(t->Add(d.bytes, {}, true), 0);
  EXPECT_EQ(Count(*t, 0), 3u);
  EXPECT_EQ(Count(*t, 1), 1u);
}

// A settings file's collation puts "a" after "A"; keys built without it
// order the other way, and a change made under it would leave entries no
// later change or delete finds again.
TEST_F(TableTest, KeysBuiltUnderOtherCollationAreNeverChangedUntilRebuilt) {
  auto t = OpenOk("DATA!T");
  for (auto [id, name, code] : {std::tuple{1, "ab", "a1"}, {2, "AB", "A2"}, {3, "b", "b3"}}) {
    Rec r(static_cast<int16_t>(id), name, code);
    ASSERT_EQ(t->Add(r.bytes, {}), 0);
  }
  EXPECT_FALSE(t->keys_foreign());
  t.reset();
  MemoryEntryStore* store = files_.Store("DATA.QVF");
  const auto built = store->entries();

  format::ApplySettingsText("ZORCOLSEQ=aaaaAAAA\n", &format::MutableLocale());
  t = OpenOk("DATA!T", false);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->keys_foreign());
  uint8_t buf[kLength];
  MemoValues memos;
  std::optional<StoredEntry> first;
  ASSERT_EQ(t->FetchRecord(Search::kNextAfter, 0, &first), 0);
  ASSERT_TRUE(first);
  const uint32_t number = ReadId4(first->key.substr(5));
  ASSERT_EQ(t->Read(number, buf, &memos), 0);
  std::memcpy(buf + 2, "abc       ", 10);
  EXPECT_EQ(t->Rewrite(buf, memos), files::kKeyFileMustBeRebuilt);
  Rec added(4, "a", "a4");
  EXPECT_EQ(t->Add(added.bytes, {}), files::kKeyFileMustBeRebuilt);
  EXPECT_EQ(t->Delete(), files::kKeyFileMustBeRebuilt);
  EXPECT_EQ(store->entries(), built);
  std::vector<std::string> faults;
  CheckTableEntries(store, &faults);
  EXPECT_TRUE(faults.empty()) << faults.front();

  // Key 0 holds a number and needs no rebuild; the last text key rebuilt
  // records the collation in force, and changes are allowed again.
  ASSERT_EQ(t->BuildKey(1), 0);
  EXPECT_TRUE(t->keys_foreign());
  ASSERT_EQ(t->BuildKey(2), 0);
  EXPECT_FALSE(t->keys_foreign());
  ASSERT_EQ(t->Read(number, buf, &memos), 0);
  std::memcpy(buf + 2, "abc       ", 10);
  EXPECT_EQ(t->Rewrite(buf, memos), 0);
  EXPECT_EQ(t->Add(added.bytes, {}), 0);
  // Under the collation the upper-cased codes A1, A2, A4 sort after B3.
  EXPECT_EQ(InKeyOrder(*t, 2),
            (std::vector<uint32_t>{number + 2, number, number + 1, t->current()}));
  faults.clear();
  CheckTableEntries(store, &faults);
  EXPECT_TRUE(faults.empty()) << faults.front();
  t.reset();
  t = OpenOk("DATA!T", false);
  EXPECT_FALSE(t->keys_foreign());
  t.reset();

  // The file remembers: without the collation it is foreign again, and the
  // check does not mistake the other order for damage.
  format::ResetLocale();
  t = OpenOk("DATA!T", false);
  EXPECT_TRUE(t->keys_foreign());
  faults.clear();
  CheckTableEntries(store, &faults);
  EXPECT_TRUE(faults.empty()) << faults.front();
  // Emptied, it has no entry built under anything: the rules in force hold.
  ASSERT_EQ(t->Empty(), 0);
  EXPECT_FALSE(t->keys_foreign());
  EXPECT_EQ(t->Add(added.bytes, {}), 0);
}

TEST_F(TableTest, KeysWithoutTextDoNotDependOnTheCollation) {
  TableDefinition def = SmallTable(false);
  def.keys.resize(1);  // the number key only
  auto t = OpenOk("DATA!N", true, def);
  Rec r(1, "ab", "a1");
  ASSERT_EQ(t->Add(r.bytes, {}), 0);
  t.reset();
  format::ApplySettingsText("ZORCOLSEQ=aaaaAAAA\n", &format::MutableLocale());
  t = OpenOk("DATA!N", false, def);
  EXPECT_FALSE(t->keys_foreign());
  Rec s(2, "b", "b2");
  EXPECT_EQ(t->Add(s.bytes, {}), 0);
}

TEST_F(TableTest, OemTablesKeepTextInTheOemSetAndNumbersAsTheyAre) {
  auto t = OpenOk("DATA!T", true, SmallTable(), {.oem = true});
  Rec r(static_cast<int16_t>(0xE9E9), "caf\xE9", "\xE9");
  ASSERT_EQ(t->Add(r.bytes, {"na\xEFve", "\xE9"}), 0);
  uint32_t n = t->current();
  MemoryEntryStore* store = files_.Store("DATA.QVF");
  const std::string& image = store->entries().at(DataKey(t->id(), n));
  EXPECT_EQ(image.substr(0, 2), "\xE9\xE9");  // the number is untouched
  EXPECT_EQ(image.substr(2, 4), "caf\x82");   // e acute in code page 437
  EXPECT_EQ(store->entries().at(ChunkKey(t->id(), n, 0, 0)), "na\x8Bve");
  EXPECT_EQ(store->entries().at(ChunkKey(t->id(), n, 1, 0)).substr(4), "\xE9");  // blob as is
  uint8_t buf[kLength];
  MemoValues memos;
  ASSERT_EQ(t->Read(n, buf, &memos), 0);
  EXPECT_EQ(std::memcmp(buf, r.bytes, kLength), 0);
  EXPECT_EQ(memos[0].substr(0, 5), "na\xEFve");
}

}  // namespace
}  // namespace vorsandt::qvf
