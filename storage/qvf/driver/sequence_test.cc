#include "storage/qvf/driver/sequence.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace vorsandt::qvf {
namespace {

std::string Be32(uint32_t v) {
  return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 8), static_cast<char>(v)};
}

const std::string kPrefix = std::string("\x00\x00\x00\x05", 4) + '\x01';

// A table of records with one-letter key values, over ordered maps like the
// file's tree: key entries of key 1 and, to catch searches that leave the
// key, entries of keys 0 and 2 around them.
class FakeTable : public SequenceSource {
 public:
  FakeTable(bool duplicates, std::map<uint32_t, std::string> records)
      : duplicates_(duplicates), records_(std::move(records)) {
    entries_[std::string("\x00\x00\x00\x05", 4) + '\x00' + "zz"] = 0;
    entries_[std::string("\x00\x00\x00\x05", 4) + '\x02' + "aa"] = 0;
    for (const auto& [n, value] : records_) {
      if (value == " ") continue;  // blank optional key: no entry
      entries_[kPrefix + value + (duplicates_ ? Be32(n) : "")] = n;
    }
  }
  int FindRecord(Search how, uint32_t number, std::optional<uint32_t>* out) override {
    out->reset();
    if (how == Search::kExact) {
      if (records_.count(number)) *out = number;
    } else if (how == Search::kNextAfter) {
      auto it = records_.upper_bound(number);
      if (it != records_.end()) *out = it->first;
    } else {
      auto it = records_.lower_bound(number);
      if (it != records_.begin()) *out = std::prev(it)->first;
    }
    return 0;
  }
  int FindKey(Search how, std::string_view key_part, std::optional<KeyHit>* out) override {
    out->reset();
    std::string k(key_part);
    std::map<std::string, uint32_t>::iterator it;
    if (how == Search::kExact) {
      it = entries_.find(k);
    } else if (how == Search::kNextAfter) {
      it = entries_.upper_bound(k);
    } else {
      it = entries_.lower_bound(k);
      it = it == entries_.begin() ? entries_.end() : std::prev(it);
    }
    if (it != entries_.end()) *out = KeyHit{it->first, it->second};
    return 0;
  }
  int KeyPartOf(uint32_t number, std::optional<std::string>* out) override {
    out->reset();
    auto it = records_.find(number);
    if (it == records_.end() || it->second == " ") return 0;
    *out = kPrefix + it->second + (duplicates_ ? Be32(number) : "");
    return 0;
  }
  SequencePosition Start(int mode) const {
    SequencePosition p;
    p.mode = mode;
    if (mode != kModeRecordStart && mode != kModeRecordAt && mode != kModeRecord) {
      p.prefix = kPrefix;
      p.duplicates = duplicates_;
    }
    return p;
  }

 private:
  bool duplicates_;
  std::map<uint32_t, std::string> records_;
  std::map<std::string, uint32_t> entries_;
};

std::vector<uint32_t> ReadAll(SequenceSource& t, SequencePosition pos, bool forward) {
  std::vector<uint32_t> got;
  for (int guard = 0; guard < 100; ++guard) {
    std::optional<SequenceHit> hit;
    EXPECT_EQ(FindInSequence(t, pos, forward, &hit), 0);
    if (!hit) break;
    MoveTo(&pos, *hit);
    got.push_back(hit->record);
  }
  return got;
}

using V = std::vector<uint32_t>;

TEST(SequenceModes, EmptyTableFindsNothingEitherWay) {
  FakeTable t(false, {});
  for (int mode : {2, 3, 5, 7, 8}) {
    for (bool forward : {true, false}) {
      std::optional<SequenceHit> hit;
      ASSERT_EQ(FindInSequence(t, t.Start(mode), forward, &hit), 0);
      EXPECT_FALSE(hit) << "mode " << mode;
    }
  }
}

TEST(SequenceModes, RecordOrderFromTheStartAndFromANumber) {
  FakeTable t(false, {{3, "c"}, {5, "a"}, {9, "b"}});
  EXPECT_EQ(ReadAll(t, t.Start(kModeRecordStart), true), (V{3, 5, 9}));
  EXPECT_EQ(ReadAll(t, t.Start(kModeRecordStart), false), (V{9, 5, 3}));
  struct Case {
    uint32_t at;
    bool forward;
    V expect;
  } cases[] = {
      {5, true, {5, 9}},                   // exact record first
      {5, false, {5, 3}}, {6, true, {9}},  // missing: the one after
      {6, false, {5, 3}},                  // missing: the one before
      {10, true, {}},                      // nothing after: end of the sequence
      {1, false, {}},
  };
  for (const auto& c : cases) {
    SequencePosition p = t.Start(kModeRecordAt);
    p.record = c.at;
    EXPECT_EQ(ReadAll(t, p, c.forward), c.expect) << c.at << " " << c.forward;
  }
}

TEST(SequenceModes, KeyOrderOnAUniqueKey) {
  FakeTable t(false, {{3, "c"}, {5, "a"}, {9, "b"}, {11, " "}});
  EXPECT_EQ(ReadAll(t, t.Start(kModeKeyStart), true), (V{5, 9, 3}));
  EXPECT_EQ(ReadAll(t, t.Start(kModeKeyStart), false), (V{3, 9, 5}));
  struct Case {
    int mode;
    std::string value;
    uint32_t record;
    bool forward;
    V expect;
  } cases[] = {
      {kModeKeyAtValue, "b", 0, true, {9, 3}},  // exact value first
      {kModeKeyAtValue, "b", 0, false, {9, 5}},
      {kModeKeyAtValue, "bb", 0, true, {3}},  // between values
      {kModeKeyAtValue, "bb", 0, false, {9, 5}},
      {kModeKeyAtValue, "0", 0, false, {}},  // below every value
      {kModeKeyAtValueAndRecord, "a", 5, true, {5, 9, 3}},
      {kModeKeyAtRecord, "", 9, true, {9, 3}},
      {kModeKeyAtRecord, "", 9, false, {9, 5}},
      {kModeKeyAtRecord, "", 11, true, {}},  // no entry: nothing to read
      {kModeKeyAtRecord, "", 4, true, {}},
  };
  for (const auto& c : cases) {
    SequencePosition p = t.Start(c.mode);
    p.value = c.value;
    p.record = c.record;
    EXPECT_EQ(ReadAll(t, p, c.forward), c.expect) << c.mode << " " << c.value;
  }
}

TEST(SequenceModes, KeyOrderOnADuplicatesKeyGoesByRecordNumberWithinAValue) {
  FakeTable t(true, {{2, "b"}, {4, "a"}, {6, "b"}, {8, "b"}, {10, "c"}});
  EXPECT_EQ(ReadAll(t, t.Start(kModeKeyStart), true), (V{4, 2, 6, 8, 10}));
  SequencePosition p = t.Start(kModeKeyAtValue);
  p.value = "b";
  EXPECT_EQ(ReadAll(t, p, true), (V{2, 6, 8, 10}));
  EXPECT_EQ(ReadAll(t, p, false), (V{8, 6, 2, 4}));
  p = t.Start(kModeKeyAtValueAndRecord);
  p.value = "b";
  p.record = 6;
  EXPECT_EQ(ReadAll(t, p, true), (V{6, 8, 10}));
  p.record = 7;  // gone: the neighbours in key order
  EXPECT_EQ(ReadAll(t, p, true), (V{8, 10}));
  EXPECT_EQ(ReadAll(t, p, false), (V{6, 2, 4}));
}

TEST(SequenceModes, RecordOrderFromAKeyValueContinuesByNumber) {
  FakeTable t(false, {{3, "c"}, {5, "a"}, {9, "b"}, {12, "d"}});
  SequencePosition p = t.Start(kModeRecordFromKeyValue);
  p.value = "b";
  std::optional<SequenceHit> hit;
  ASSERT_EQ(FindInSequence(t, p, true, &hit), 0);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->record, 9u);
  MoveTo(&p, *hit);
  EXPECT_EQ(p.mode, kModeRecord);
  EXPECT_EQ(ReadAll(t, p, true), (V{12}));
  EXPECT_EQ(ReadAll(t, p, false), (V{5, 3}));
}

TEST(SequenceModes, ReadsLeaveMode0Or1AndEndOfSequenceKeepsThePosition) {
  FakeTable t(false, {{3, "c"}, {5, "a"}});
  for (int mode = 2; mode <= 8; ++mode) {
    SequencePosition p = t.Start(mode);
    p.value.assign(1, 'a');
    p.record = 5;
    std::optional<SequenceHit> hit;
    ASSERT_EQ(FindInSequence(t, p, true, &hit), 0);
    ASSERT_TRUE(hit) << mode;
    MoveTo(&p, *hit);
    EXPECT_EQ(p.mode, mode <= 4 ? kModeRecord : kModeKey) << mode;
  }
  // After the last record forward finds nothing (Eof) and backward finds
  // the one before it.
  SequencePosition p = t.Start(kModeRecordStart);
  ASSERT_EQ(SkipInSequence(t, &p, 2), 0);
  EXPECT_EQ(p.record, 5u);
  std::optional<SequenceHit> hit;
  ASSERT_EQ(FindInSequence(t, p, true, &hit), 0);
  EXPECT_FALSE(hit);
  ASSERT_EQ(FindInSequence(t, p, false, &hit), 0);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->record, 3u);
}

TEST(SequenceModes, SkipStopsQuietlyAtEitherEnd) {
  FakeTable t(false, {{1, "a"}, {2, "b"}, {3, "c"}});
  SequencePosition p = t.Start(kModeKeyStart);
  int64_t moved = 0;
  ASSERT_EQ(SkipInSequence(t, &p, 10, &moved), 0);
  EXPECT_EQ(moved, 3);
  EXPECT_EQ(p.record, 3u);
  ASSERT_EQ(SkipInSequence(t, &p, -2, &moved), 0);
  EXPECT_EQ(moved, 2);
  EXPECT_EQ(p.record, 1u);
  ASSERT_EQ(SkipInSequence(t, &p, -5, &moved), 0);
  EXPECT_EQ(moved, 0);
  EXPECT_EQ(p.record, 1u);
}

}  // namespace
}  // namespace vorsandt::qvf
