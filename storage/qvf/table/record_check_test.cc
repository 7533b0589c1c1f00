// Reads of records whose stored bytes were changed from outside: what the
// format lets a read see is refused with 36; what it cannot see is read.
#include "storage/qvf/table/record_check.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/files/error_codes.h"
#include "runtime/format/collation.h"
#include "runtime/format/locale.h"
#include "storage/qvf/table/table.h"
#include "storage/qvf/table/testing_files.h"

namespace vorsandt::qvf {
namespace {

constexpr int kDamaged = files::kInvalidDataFile;

// ID SHORT at 0, NAME STRING(10) at 2, PRICE DECIMAL(5,2) in 3 bytes at 12,
// RATES DECIMAL[2] of 2 bytes each at 15; keys: 0 on ID (unique), 1 on NAME
// (duplicates, no case); a 300-byte text memo and a blob.
constexpr uint16_t kLength = 19;

TableDefinition PricedTable() {
  TableDefinition d;
  d.record_length = kLength;
  d.fields.resize(4);
  d.fields[0].type = 2;
  d.fields[0].size = 2;
  d.fields[0].name = "P:ID";
  d.fields[1].type = 18;
  d.fields[1].offset = 2;
  d.fields[1].size = 10;
  d.fields[1].string_length = 10;
  d.fields[1].name = "P:NAME";
  d.fields[2].type = 10;
  d.fields[2].offset = 12;
  d.fields[2].size = 3;
  d.fields[2].digits = 5;
  d.fields[2].places = 2;
  d.fields[2].name = "P:PRICE";
  d.fields[3].type = 10;
  d.fields[3].offset = 15;
  d.fields[3].size = 4;
  d.fields[3].elements = 2;
  d.fields[3].digits = 3;
  d.fields[3].name = "P:RATES";
  d.keys.resize(2);
  d.keys[0].attributes = 0x00;
  d.keys[0].components = {{0, 0}};
  d.keys[1].attributes = 0x05;
  d.keys[1].components = {{1, 0}};
  d.memos.resize(2);
  d.memos[0].name = "P:NOTES";
  d.memos[0].size = 300;
  d.memos[1].name = "P:BLOB";
  d.memos[1].flags = kMemoBlob;
  d.SetVersion();
  return d;
}

struct Rec {
  uint8_t bytes[kLength];
  Rec(int16_t id, std::string_view name) {
    std::memset(bytes, ' ', sizeof bytes);
    std::memcpy(bytes, &id, 2);
    std::memcpy(bytes + 2, name.data(), std::min<size_t>(name.size(), 10));
    // 123.45, negative; rates 1 and 20.
    const uint8_t price[3] = {0xF1, 0x23, 0x45};
    const uint8_t rates[4] = {0x00, 0x01, 0x00, 0x20};
    std::memcpy(bytes + 12, price, 3);
    std::memcpy(bytes + 15, rates, 4);
  }
};

class RecordCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    format::ResetLocale();
    ASSERT_EQ(Table::Open(files_.registry(), "P.QVF", PricedTable(), true, {}, &t_), 0);
    for (int i = 1; i <= 3; ++i) {
      Rec r(static_cast<int16_t>(i), "name " + std::to_string(i));
      ASSERT_EQ(t_->Add(r.bytes, {std::string(300, 'n'), std::string(600, 'b')}), 0);
      numbers_.push_back(t_->current());
    }
  }
  void TearDown() override {
    SetThoroughRecordChecks(false);
    format::ResetLocale();
  }

  MemoryEntryStore& Store() { return *files_.Store("P.QVF"); }
  // Replaces `length` bytes at `offset` of the stored image of record `n`.
  void ChangeImage(uint32_t n, size_t offset, std::string_view bytes) {
    std::optional<StoredEntry> e;
    ASSERT_EQ(Store().Find(Search::kExact, DataKey(t_->id(), n), &e), 0);
    ASSERT_TRUE(e);
    e->data.replace(offset, bytes.size(), bytes);
    ASSERT_EQ(Store().Put(e->key, e->data), 0);
  }
  // The key part of record n's entry in key k.
  std::string EntryOf(int k, uint32_t n) {
    const std::string prefix = KindPrefix(t_->id(), static_cast<uint8_t>(k));
    for (const auto& [key, data] : Store().entries()) {
      if (key.compare(0, prefix.size(), prefix) == 0 &&
          KeyEntryRecord(t_->keys()[k], key, data) == n) {
        return key;
      }
    }
    return {};
  }
  int Read(uint32_t n, int through = -1) {
    ReadOptions options;
    std::string key;
    if (through >= 0) key = EntryOf(through, n);
    options.through_key = key;
    MemoValues memos;
    std::memset(buffer_, 0xEE, sizeof buffer_);
    return t_->Read(n, buffer_, &memos, options);
  }
  bool BufferUntouched() const {
    for (uint8_t b : buffer_) {
      if (b != 0xEE) return false;
    }
    return true;
  }

  testing::MemoryFiles files_;
  std::unique_ptr<Table> t_;
  std::vector<uint32_t> numbers_;
  uint8_t buffer_[kLength];
};

TEST_F(RecordCheckTest, SoundRecordsReadThroughEveryKeyAndInEveryMode) {
  for (uint32_t n : numbers_) {
    EXPECT_EQ(Read(n), 0);
    EXPECT_EQ(Read(n, 0), 0);
    EXPECT_EQ(Read(n, 1), 0);
  }
  SetThoroughRecordChecks(true);
  for (uint32_t n : numbers_) EXPECT_EQ(Read(n), 0);
}

TEST_F(RecordCheckTest, AChangedKeyFieldIsRefusedThroughItsKeyAndByThoroughReads) {
  const uint32_t n = numbers_[1];
  ChangeImage(n, 2, "n\x01me #2");
  EXPECT_EQ(Read(n, 1), kDamaged);
  EXPECT_TRUE(BufferUntouched());
  // Through the other key, or in record order, only a search per key tells.
  EXPECT_EQ(Read(n, 0), 0);
  EXPECT_EQ(Read(n), 0);
  SetThoroughRecordChecks(true);
  EXPECT_EQ(Read(n), kDamaged);
  EXPECT_EQ(Read(n, 0), kDamaged);
  EXPECT_EQ(Read(numbers_[0]), 0);
  EXPECT_EQ(Read(numbers_[2]), 0);
  // A case change of a key without case tells nothing.
  SetThoroughRecordChecks(false);
  ChangeImage(numbers_[2], 2, "NAME 3");
  EXPECT_EQ(Read(numbers_[2], 1), 0);
}

// A key build that stopped leaves a mark: the records from it on have no
// entry in that key yet, and thorough reads take them as sound; a record
// below the mark without its entry is damage.
TEST_F(RecordCheckTest, ThoroughReadsPassRecordsFromAStoppedBuildsMarkOnAndNoOthers) {
  SetThoroughRecordChecks(true);
  for (uint32_t n : {numbers_[1], numbers_[2]}) {
    const std::string entry = EntryOf(1, n);
    ASSERT_FALSE(entry.empty());
    ASSERT_EQ(Store().Delete(entry), 0);
  }
  EXPECT_EQ(Read(numbers_[1]), kDamaged);
  EXPECT_EQ(Read(numbers_[2]), kDamaged);
  Counter c;
  ASSERT_EQ(t_->ReadCounter(1, &c), 0);
  c.mark = numbers_[2];
  ASSERT_EQ(t_->WriteCounter(1, c), 0);
  EXPECT_EQ(Read(numbers_[0]), 0);
  EXPECT_EQ(Read(numbers_[1]), kDamaged);  // below the mark
  EXPECT_EQ(Read(numbers_[2]), 0);         // from the mark on
}

TEST_F(RecordCheckTest, ADecimalWithANibbleThatIsNoDigitIsRefusedOnEveryRead) {
  ChangeImage(numbers_[0], 13, "\x2A");  // price digits 2, A
  EXPECT_EQ(Read(numbers_[0]), kDamaged);
  EXPECT_TRUE(BufferUntouched());
  ChangeImage(numbers_[1], 17, "\xB0");  // the second rate's sign nibble is no digit: fine
  EXPECT_EQ(Read(numbers_[1]), 0);
  ChangeImage(numbers_[1], 18, "\x0C");  // but its last digit is one
  EXPECT_EQ(Read(numbers_[1]), kDamaged);
  ChangeImage(numbers_[2], 12, "\x51");  // any sign nibble
  EXPECT_EQ(Read(numbers_[2]), 0);
}

TEST_F(RecordCheckTest, MemoChunksThatNoWriteCouldHaveLeftAreRefused) {
  const uint32_t id = t_->id();
  auto put = [&](uint32_t n, uint8_t field, uint16_t chunk, std::string data) {
    ASSERT_EQ(Store().Put(ChunkKey(id, n, field, chunk), data), 0);
  };
  // A blob whose stored length is not its bytes' (600 is stored).
  put(numbers_[0], 1, 0, std::string("\x59\x02\x00\x00", 4) + std::string(256, 'b'));
  EXPECT_EQ(Read(numbers_[0]), kDamaged);
  // A short chunk followed by another.
  put(numbers_[1], 0, 0, std::string(200, 'n'));
  EXPECT_EQ(Read(numbers_[1]), kDamaged);
  // A text memo longer than declared.
  put(numbers_[2], 0, 1, std::string(256, 'n'));
  EXPECT_EQ(Read(numbers_[2]), kDamaged);
  // Records read without their memos do not look at them.
  ReadOptions skip;
  skip.skip_memos = true;
  EXPECT_EQ(t_->Read(numbers_[2], buffer_, nullptr, skip), 0);
  // Its memos written again, the record is sound again.
  ASSERT_EQ(t_->WriteMemos(numbers_[2], {std::string(300, 'm'), std::string(10, 'c')}), 0);
  EXPECT_EQ(Read(numbers_[2]), 0);
}

// Keys are ordered through the collation sequence in force when they were
// written; one set later does not make the records damaged.
TEST_F(RecordCheckTest, KeysWrittenBeforeACollationSequenceWasSetAreNoDamage) {
  format::SetCollationSequence(&format::MutableLocale(), "zyxwvutsrqponmlkjihgfedcba");
  for (uint32_t n : numbers_) EXPECT_EQ(Read(n, 1), 0);
  SetThoroughRecordChecks(true);
  for (uint32_t n : numbers_) EXPECT_EQ(Read(n), 0);
  // Written under the sequence, read under it.
  Rec r(9, "zebra");
  ASSERT_EQ(t_->Add(r.bytes, {}), 0);
  EXPECT_EQ(Read(t_->current(), 1), 0);
  EXPECT_EQ(Read(t_->current()), 0);
}

TEST(RecordCheckSpans, FieldsSharingTheirBytesAreLeftOut) {
  TableDefinition d = PricedTable();
  EXPECT_EQ(PackedSpansOf(d).size(), 3u);  // the price and two rates
  d.fields.push_back(d.fields[1]);
  d.fields.back().offset = 11;  // a text over the price's first byte
  d.fields.back().size = 2;
  EXPECT_EQ(PackedSpansOf(d).size(), 2u);
}

}  // namespace
}  // namespace vorsandt::qvf
