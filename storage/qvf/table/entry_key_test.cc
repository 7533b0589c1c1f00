#include "storage/qvf/table/entry_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace vorsandt::qvf {
namespace {

std::string Hex(std::string_view s) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

TEST(EntryKeyTest, KeyPartsHaveTheirFixedBytes) {
  struct Case {
    std::string key;
    const char* hex;
  } cases[] = {
      {DataKey(0x01020304, 0x0A0B0C0D), "01 02 03 04 F3 0A 0B 0C 0D"},
      {CounterKey(7, kTableCounter), "00 00 00 07 F6 F3"},
      {CounterKey(7, 2), "00 00 00 07 F6 02"},
      {DefinitionKey(7, 0x0102), "00 00 00 07 FA 02 01"},
      {ChunkKey(7, 0x100, 3, 0x0102), "00 00 00 07 FC 00 00 01 00 03 01 02"},
      {DirectoryKey("ITEMS"), "FE 49 54 45 4D 53 00"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(c.key), c.hex);
}

TEST(EntryKeyTest, EntriesOfATableAreContiguousAndOrderedByKind) {
  // In tree order: keys by number, data by number, counters, definition,
  // chunks; then the next table; file-level entries last.
  std::vector<std::string> expected = {
      KindPrefix(5, 0) + "A", KindPrefix(5, 1) + "A",   DataKey(5, 9),
      DataKey(5, 0x100),      CounterKey(5, 0),         CounterKey(5, kTableCounter),
      DefinitionKey(5, 0),    DefinitionKey(5, 1),      ChunkKey(5, 9, 0, 0),
      ChunkKey(5, 9, 0, 1),   ChunkKey(5, 0x100, 0, 0), KindPrefix(6, 0) + "A",
      DataKey(0xFDFFFFFF, 1), DirectoryKey("A"),        std::string(1, '\xFF'),
  };
  std::vector<std::string> sorted = expected;
  std::reverse(sorted.begin(), sorted.end());
  std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<uint8_t>(x) < static_cast<uint8_t>(y);
    });
  });
  EXPECT_EQ(sorted, expected);
}

TEST(EntryKeyTest, DecodeGivesBackWhatWasEncoded) {
  EntryKeyInfo d = DecodeEntryKey(DataKey(0x11223344, 0x55667788));
  EXPECT_EQ(d.kind, EntryKind::kData);
  EXPECT_EQ(d.table, 0x11223344u);
  EXPECT_EQ(d.record, 0x55667788u);

  EntryKeyInfo c = DecodeEntryKey(ChunkKey(9, 77, 4, 513));
  EXPECT_EQ(c.kind, EntryKind::kChunk);
  EXPECT_EQ(c.record, 77u);
  EXPECT_EQ(c.field, 4);
  EXPECT_EQ(c.block, 513);

  EXPECT_EQ(DecodeEntryKey(DefinitionKey(9, 300)).block, 300);
  EXPECT_EQ(DecodeEntryKey(CounterKey(9, 4)).which, 4);
  EXPECT_EQ(DecodeEntryKey(KindPrefix(9, 3) + "xyz").kind, EntryKind::kKey);
  EXPECT_EQ(DecodeEntryKey(KindPrefix(9, 3) + "xyz").which, 3);
  EXPECT_EQ(DecodeEntryKey(DirectoryKey("T1")).name, "T1");
  EXPECT_EQ(DecodeEntryKey("").kind, EntryKind::kEmpty);
  EXPECT_EQ(DecodeEntryKey("\xFF").kind, EntryKind::kMarker);
}

TEST(EntryKeyTest, MalformedKeyPartsAreUnknown) {
  for (std::string bad :
       {std::string("\x01\x02"), DataKey(1, 2) + "x", CounterKey(1, 1) + "x", std::string("\xFE"),
        std::string("\xFE"
                    "AB"),
        std::string("\xFF\x00", 2), std::string("\x00\x00\x00\x01\xF5", 5)}) {
    EXPECT_EQ(DecodeEntryKey(bad).kind, EntryKind::kUnknown) << Hex(bad);
  }
}

TEST(EntryKeyTest, CounterDataIsTwoLittleEndianWords) {
  std::string d = EncodeCounter({0x01020304, 0x0A0B0C0D});
  EXPECT_EQ(Hex(d), "04 03 02 01 0D 0C 0B 0A");
  Counter c;
  ASSERT_TRUE(DecodeCounter(d, &c));
  EXPECT_EQ(c.count, 0x01020304u);
  EXPECT_EQ(c.mark, 0x0A0B0C0Du);
  EXPECT_FALSE(DecodeCounter("1234567", &c));
}

}  // namespace
}  // namespace vorsandt::qvf
