#include "storage/qvf/page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "storage/qvf/format.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {
namespace {

Entry E(std::string bytes, size_t key_length, int64_t child = 0) {
  Entry e;
  e.bytes = std::move(bytes);
  e.key_length = static_cast<uint16_t>(key_length);
  e.child = child;
  return e;
}

PageData PageOf(int level, const std::vector<Entry>& entries) {
  PageData page;
  page.level = level;
  for (const Entry& e : entries) page.Append(e.bytes, e.key_length, e.child);
  return page;
}

TEST(KeyOrdering, BytewiseUnsignedThenShorterFirst) {
  EXPECT_LT(CompareKeys("", "a"), 0);
  EXPECT_LT(CompareKeys("ab", "abc"), 0);
  EXPECT_LT(CompareKeys("abc", "abd"), 0);
  EXPECT_GT(CompareKeys("\x80", "\x7f"), 0);  // unsigned
  EXPECT_EQ(CompareKeys("xy", "xy"), 0);
  // Keys sharing prefixes longer than a word, differing at every position
  // of a word, in bytes above 0x7F too: the order of std::string's compare.
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    std::string a(random() % 24, '\0');
    for (char& c : a) c = static_cast<char>(random() % 4 == 0 ? 0x80 + random() % 3 : random() % 3);
    std::string b = a.substr(0, random() % (a.size() + 1));
    while (b.size() < random() % 24) b.push_back(static_cast<char>(random() % 2 ? 0x81 : 1));
    const int want = a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
    const int got = CompareKeys(a, b);
    ASSERT_EQ(got < 0 ? -1 : got > 0 ? 1 : 0, want) << i;
  }
}

TEST(PageImage, EntryAreaSharesPrefixesAndSetsLengthFlags) {
  PageData page = PageOf(0, {E("", 0), E("abcd", 3), E("abxy", 3), E("b", 1)});
  std::string image;
  ASSERT_EQ(EncodePage(page, 3, &image), 0);
  ASSERT_EQ(image.size(), 256u);
  const auto* p = reinterpret_cast<const uint8_t*>(image.data());
  EXPECT_EQ(GetU32(p), 512u + 3 * 256);
  EXPECT_EQ(GetU16(p + kPgCount), 4);
  EXPECT_EQ(GetU16(p + kPgEstimate), page.Estimate());
  EXPECT_EQ(page.Estimate(), 13u + 5 + 9 + 9 + 6);
  const std::string area = image.substr(13, GetU16(p + kPgStoredSize) - 13);
  const std::string expect = std::string("\xC0\x00\x00\x00\x00", 5) +           // empty entry
                             std::string("\xC0\x04\x00\x03\x00", 5) + "abcd" +  // lengths differ
                             std::string("\x02", 1) + "xy" +                    // shares "ab"
                             std::string("\xC0\x01\x00\x01\x00", 5) + "b";
  EXPECT_EQ(area, expect);
  EXPECT_EQ(static_cast<uint8_t>(image.back()), kPadByte);
  PageData back;
  ASSERT_EQ(DecodePage(p, image.size(), 3, &back), 0);
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back.Bytes(2), "abxy");
  EXPECT_EQ(back.At(2).key_length, 3);
}

TEST(PageImage, NonLeafCarriesChildUnitsUncompressed) {
  PageData page = PageOf(2, {E("", 0, 7), E("k", 1, 9)});
  std::string image;
  ASSERT_EQ(EncodePage(page, 0, &image), 0);
  const auto* p = reinterpret_cast<const uint8_t*>(image.data());
  EXPECT_EQ(p[kPgLevel], 2);
  EXPECT_EQ(GetU32(p + 13), 7u);
  EXPECT_EQ(GetU32(p + 17), 9u);
  PageData back;
  ASSERT_EQ(DecodePage(p, image.size(), 0, &back), 0);
  EXPECT_EQ(back.Child(1), 9);
}

TEST(PageImage, CompressedOnlyWhenAWholeUnitIsSaved) {
  // About 300 bytes of runs: compressed it fits one unit, plain it needs two.
  PageData big = PageOf(0, {E("", 0), E("k" + std::string(300, 'z'), 1)});
  std::string image;
  ASSERT_EQ(EncodePage(big, 0, &image), 0);
  auto* p = reinterpret_cast<const uint8_t*>(image.data());
  EXPECT_EQ(image.size(), 256u);
  EXPECT_LT(GetU16(p + kPgStoredSize), GetU16(p + kPgExpandedSize));
  PageData back;
  ASSERT_EQ(DecodePage(p, image.size(), 0, &back), 0);
  EXPECT_EQ(back.Bytes(1), big.Bytes(1));
  // A page of 100 bytes with a run: compressed or not it is one unit.
  PageData small = PageOf(0, {E("", 0), E("k" + std::string(80, 'z'), 1)});
  ASSERT_EQ(EncodePage(small, 0, &image), 0);
  p = reinterpret_cast<const uint8_t*>(image.data());
  EXPECT_EQ(GetU16(p + kPgStoredSize), GetU16(p + kPgExpandedSize));
}

// Random changes against a vector of owned entries: the block's garbage and
// its rewriting, entries made from views into the same page, the estimate
// kept as entries change, and searches with keys below, inside and above
// the pages' keys, on pages with the empty entry and without it, and child
// numbers that some entries have and others not, must leave the page as the
// model says.
void CheckAgainstModel(const PageData& page, const std::vector<Entry>& model,
                       const std::string& probe, int step) {
  ASSERT_EQ(page.size(), model.size()) << step;
  uint32_t estimate = 13;
  for (size_t i = 0; i < model.size(); ++i) {
    ASSERT_EQ(page.Bytes(i), model[i].bytes) << step;
    ASSERT_EQ(page.Key(i), model[i].Key()) << step;
    ASSERT_EQ(page.Child(i), model[i].child) << step << " " << i;
    estimate += static_cast<uint32_t>(model[i].bytes.size()) + 5;
  }
  ASSERT_EQ(page.Estimate(), estimate) << step;
  const auto want = std::lower_bound(
      model.begin(), model.end(), probe,
      [](const Entry& e, const std::string& k) { return e.Key() < std::string_view(k); });
  const size_t at = static_cast<size_t>(want - model.begin());
  ASSERT_EQ(page.LowerBound(probe), at) << step << " " << probe;
  const bool present = at < model.size() && model[at].Key() == probe;
  ASSERT_EQ(page.LastNotGreater(probe), static_cast<long>(at) - (present ? 0 : 1)) << step;
}

TEST(PageEntries, ChangesMatchAModelThroughCompaction) {
  for (const int variant : {0, 1, 2, 3}) {
    const bool with_empty_entry = variant == 0;
    // Child numbers on a level-0 page: the page keeps them whatever its
    // level (only the image leaves them out of a leaf).
    const bool with_children = variant == 2;
    // Keys that share more than the page keeps of a prefix, and zero and
    // 0xFF bytes around the four bytes each slot carries of its key: a key
    // that ends there and one that goes on with a zero byte must still
    // order as the keys do.
    const bool long_prefix = variant == 3;
    std::mt19937 rng(11 + variant);
    auto random_key = [&] {
      std::string k = long_prefix ? std::string(30, 'p') : "key";
      if (long_prefix && rng() % 8 == 0) k.resize(rng() % 31);
      for (int i = rng() % 14; i >= 0; --i) {
        k.push_back(long_prefix ? "\x00\x01\xFF"[rng() % 3] : static_cast<char>('a' + rng() % 3));
      }
      return k;
    };
    std::vector<Entry> model;
    if (with_empty_entry) model.push_back(E("", 0));
    PageData page = PageOf(0, model);
    for (int step = 0; step < 4000; ++step) {
      // Probes below and above the shared prefix too.
      const int shape = static_cast<int>(rng() % 10);
      const std::string probe = shape == 0   ? "ka"
                                : shape == 1 ? "kez"
                                : shape == 2 ? "ke"
                                             : random_key();
      CheckAgainstModel(page, model, probe, step);
      const std::string key = random_key();
      const size_t at = page.LowerBound(key);
      const bool present = at < model.size() && model[at].Key() == key;
      const std::string data(rng() % 90, static_cast<char>('0' + step % 10));
      if (!present) {
        const int64_t child = with_children && rng() % 3 != 0 ? step + 1 : 0;
        page.Insert(at, key + data, key.size(), child);
        model.insert(model.begin() + static_cast<long>(at), E(key + data, key.size(), child));
      } else if (rng() % 3 == 0) {
        page.Erase(at);
        model.erase(model.begin() + static_cast<long>(at));
      } else if (rng() % 2 == 0) {
        page.Replace(at, key + data, key.size());
        model[at].bytes = key + data;
      } else {
        // A replacement that is the entry's own key part, seen in the page.
        page.Replace(at, page.Key(at), key.size());
        model[at].bytes = key;
        if (with_children) {
          page.SetChild(at, -step);
          model[at].child = -step;
        }
      }
      CheckAgainstModel(page, model, key, step);
      if (model.size() > 120) {
        PageData right;
        page.MoveTailTo(60, &right);
        const std::vector<Entry> moved(model.begin() + 60, model.end());
        model.resize(60);
        CheckAgainstModel(right, moved, moved[7].bytes.substr(0, moved[7].key_length), step);
        CheckAgainstModel(right, moved, random_key(), step);
        CheckAgainstModel(page, model, key, step);
      }
    }
    std::string image;
    ASSERT_EQ(EncodePage(page, 4, &image), 0);
    PageData back;
    ASSERT_EQ(DecodePage(reinterpret_cast<const uint8_t*>(image.data()), image.size(), 4, &back),
              0);
    if (with_children) continue;  // a leaf's image has no child numbers
    for (int i = 0; i < 200; ++i) CheckAgainstModel(back, model, random_key(), -1);
  }
}

TEST(PageDecodeRejects, BrokenImages) {
  PageData page = PageOf(0, {E("", 0), E("abc", 3), E("abd", 3)});
  std::string good;
  ASSERT_EQ(EncodePage(page, 5, &good), 0);
  auto decode = [](std::string img, uint32_t unit = 5) {
    PageData out;
    return DecodePage(reinterpret_cast<const uint8_t*>(img.data()), img.size(), unit, &out);
  };
  EXPECT_EQ(decode(good), 0);
  EXPECT_EQ(decode(good, 6), kCheckOwnAddress);
  std::string wrong_size = good;
  wrong_size[kPgStoredSize] = static_cast<char>(0x10);  // 0x0110 rounds to 2 units
  wrong_size[kPgStoredSize + 1] = 1;
  EXPECT_EQ(decode(wrong_size), kCheckStoredSizeClass);
  std::string swapped = good;
  // Make the last entry sort before the previous one.
  size_t last = good.find("d", 13);
  swapped[last] = 'a';
  EXPECT_EQ(decode(swapped), kCheckDuplicateKey);
  std::string count = good;
  count[kPgCount] = 9;
  EXPECT_NE(decode(count), 0);
  std::string garbage(256, '\x5A');
  EXPECT_NE(decode(garbage), 0);
}

}  // namespace
}  // namespace vorsandt::qvf
