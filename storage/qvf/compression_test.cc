#include "storage/qvf/compression.h"

#include <gtest/gtest.h>

#include <random>

namespace vorsandt::qvf {
namespace {

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

TEST(CompressionVectors, ThousandZeroBytesMakeFiveBytes) {
  std::string out;
  ASSERT_TRUE(Compress(std::string(1000, '\0'), &out));
  EXPECT_EQ(out, Bytes({0x01, 0x00, 0xE7, 0x07, 0x00}));
  std::string back;
  ASSERT_TRUE(Expand(out, 1000, &back));
  EXPECT_EQ(back, std::string(1000, '\0'));
}

TEST(CompressionVectors, Table) {
  struct Case {
    std::string in;
    bool compressed;
    std::string out;
  };
  const Case cases[] = {
      {"abc", false, ""},
      {"aaab", false, ""},                    // a run of 3 stays literal
      {"xaaaybbbz", false, ""},               // several runs of 3
      {"aaaa", true, Bytes({1, 'a', 3, 0})},  // run of 4 at the end: final count 0
      {"xyaaaaz", true, Bytes({3, 'x', 'y', 'a', 3, 1, 'z'})},
      {"aaaabbbb", true, Bytes({1, 'a', 3, 1, 'b', 3, 0})},
      {std::string(200, 'q') + "r", true, Bytes({1, 'q', 0xC7, 0x01, 1, 'r'})},
  };
  for (const Case& c : cases) {
    std::string out = "junk";
    EXPECT_EQ(Compress(c.in, &out), c.compressed) << c.in;
    EXPECT_EQ(out, c.out) << c.in;
    if (c.compressed) {
      std::string back;
      ASSERT_TRUE(Expand(out, c.in.size(), &back));
      EXPECT_EQ(back, c.in);
    }
  }
}

TEST(CompressionRoundTrip, RandomBuffersWithRuns) {
  std::mt19937 random(7);
  for (int i = 0; i < 500; ++i) {
    std::string in;
    const size_t n = random() % 3000;
    while (in.size() < n) {
      in.append(1 + random() % 9, static_cast<char>('a' + random() % 3));
    }
    std::string packed;
    if (!Compress(in, &packed)) continue;
    std::string back;
    ASSERT_TRUE(Expand(packed, in.size(), &back));
    EXPECT_EQ(back, in);
  }
}

// The output of a walk run by run over the input, the plain form of the
// compressor: the fast search for runs must not change a single byte.
std::string WalkedRuns(std::string_view in) {
  std::string out;
  auto count = [&](size_t v) {
    do {
      out.push_back(static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0)));
      v >>= 7;
    } while (v != 0);
  };
  size_t group_start = 0;
  bool any = false;
  for (size_t i = 0, r = 1; i < in.size(); i += r) {
    for (r = 1; i + r < in.size() && in[i + r] == in[i];) ++r;
    if (r < kMinRun) continue;
    count(i + 1 - group_start);
    out.append(in.substr(group_start, i + 1 - group_start));
    count(r - 1);
    group_start = i + r;
    any = true;
  }
  if (!any) return "";
  count(in.size() - group_start);
  out.append(in.substr(group_start));
  return out;
}

TEST(CompressionRoundTrip, SameBytesAsAWalkRunByRun) {
  std::mt19937 random(11);
  for (int i = 0; i < 3000; ++i) {
    // Runs of 1 to 6 (around the threshold) and long ones, at every offset
    // against the eight-byte steps.
    std::string in(random() % 17, 'x');
    const size_t n = random() % 400;
    while (in.size() < n) {
      const size_t run = random() % 8 == 0 ? 7 + random() % 40 : 1 + random() % 6;
      in.append(run, static_cast<char>(random() % 3));
    }
    std::string packed;
    const bool compressed = Compress(in, &packed);
    EXPECT_EQ(packed, WalkedRuns(in)) << "input of " << in.size();
    EXPECT_EQ(compressed, !packed.empty());
  }
}

TEST(ExpansionRejects, MalformedInput) {
  std::string out;
  EXPECT_FALSE(Expand(Bytes({5, 'a'}), 5, &out));                  // literals cut short
  EXPECT_FALSE(Expand(Bytes({1, 'a', 50}), 10, &out));             // repeat overruns the size
  EXPECT_FALSE(Expand(Bytes({0, 5}), 5, &out));                    // nothing to repeat
  EXPECT_FALSE(Expand(Bytes({1, 'a'}), 2, &out));                  // ends before the size
  EXPECT_FALSE(Expand(Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 9, &out));  // endless count
  EXPECT_FALSE(Expand(Bytes({1, 'a', 0, 0, 0}), 3, &out));         // groups without progress
}

}  // namespace
}  // namespace vorsandt::qvf
