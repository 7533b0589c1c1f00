// Decoding lines into fixed-length records, through sources with roomy and
// with tiny windows (so sequences and tabs straddle window edges).
#include "runtime/text/line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/files/error_codes.h"
#include "runtime/text/text_options.h"

namespace vorsandt::text {
namespace {

// A memory source that shows at most `window` bytes per view.
class NarrowSource final : public ByteSource {
 public:
  NarrowSource(std::string_view data, size_t window) : inner_(data), window_(window) {}
  uint64_t Size() override { return inner_.Size(); }
  int View(uint64_t offset, size_t want, std::span<const uint8_t>* out) override {
    return inner_.View(offset, std::min(want, window_), out);
  }

 private:
  MemorySource inner_;
  size_t window_;
};

struct LineCase {
  const char* name;
  std::string data;
  size_t record_length;
  int32_t tab;
  std::string eor;
  std::vector<std::string> records;  // each padded to record_length by the test
  std::vector<uint64_t> bytes;
};

// Reads every line from the start until 33.
void ReadAll(ByteSource& source, const LineCase& c, std::vector<std::string>* records,
             std::vector<uint64_t>* bytes) {
  LineFormat format{c.tab, c.eor, false};
  uint64_t offset = 0;
  std::vector<uint8_t> record(c.record_length);
  for (int guard = 0; guard < 1000; ++guard) {
    uint64_t n = 0;
    int32_t r = ReadLine(source, offset, format, record, &n);
    if (r == files::kRecordNotAvailable) return;
    ASSERT_EQ(r, 0);
    ASSERT_GT(n, 0u);
    records->emplace_back(record.begin(), record.end());
    bytes->push_back(n);
    offset += n;
  }
  FAIL() << "no end";
}

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineReaderTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineReaderTest, DecodesEveryLine) {
  const LineCase& c = GetParam();
  std::vector<std::string> expected;
  for (const std::string& r : c.records)
    expected.push_back(r + std::string(c.record_length - r.size(), ' '));
  for (size_t window : {size_t{4096}, size_t{1}, size_t{2}, size_t{3}}) {
    NarrowSource source(c.data, window);
    std::vector<std::string> records;
    std::vector<uint64_t> bytes;
    ReadAll(source, c, &records, &bytes);
    EXPECT_EQ(records, expected) << c.name << " window " << window;
    EXPECT_EQ(bytes, c.bytes) << c.name << " window " << window;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineReaderTest,
    ::testing::Values(
        LineCase{"plain", "one\r\ntwo\r\n", 5, 8, "\r\n", {"one", "two"}, {5, 5}},
        LineCase{"last line without end", "one\r\ntwo", 5, 8, "\r\n", {"one", "two"}, {5, 3}},
        LineCase{"empty lines", "\r\n\r\nx\r\n", 3, 8, "\r\n", {"", "", "x"}, {2, 2, 3}},
        LineCase{"exactly full", "abcde\r\nf\r\n", 5, 8, "\r\n", {"abcde", "f"}, {7, 3}},
        LineCase{"long line cut, rest skipped",
                 "abcdefgh\r\nnext\r\n",
                 5,
                 8,
                 "\r\n",
                 {"abcde", "next"},
                 {10, 6}},
        LineCase{"long last line without end", "abcdefgh", 5, 8, "\r\n", {"abcde"}, {8}},
        LineCase{"tab 8", "a\tb\r\n", 10, 8, "\r\n", {"a       b"}, {5}},
        LineCase{"tab -4", "a\tb\r\n", 10, -4, "\r\n", {"a    b"}, {5}},
        LineCase{"tab 0", "a\tb\r\n", 10, 0, "\r\n", {"ab"}, {5}},
        LineCase{"tab kept", "a\tb\r\n", 10, kTabKeep, "\r\n", {"a\tb"}, {5}},
        LineCase{"tab at column 0", "\tb\r\n", 10, 4, "\r\n", {"    b"}, {4}},
        LineCase{"tab past the record",
                 "abc\tdef\r\nx\r\n",
                 5,
                 8,
                 "\r\n",
                 {"abc", "x"},
                 {9, 3}},  // the tab fills the record; "def" is skipped
        LineCase{
            "ctrl-z mid-file", "one\r\ntw\x1Ao\r\nthree\r\n", 5, 8, "\r\n", {"one", "tw"}, {5, 2}},
        LineCase{"ctrl-z at a line start", "one\r\n\x1Atwo\r\n", 5, 8, "\r\n", {"one"}, {5}},
        LineCase{"ctrl-z in a skipped rest", "abcdefg\x1Ahij\r\n", 3, 8, "\r\n", {"abc"}, {7}},
        LineCase{"lone lf under cr lf", "a\nb\r\n", 5, 8, "\r\n", {"a\nb"}, {5}},
        LineCase{"lone cr under cr lf", "a\rb\r\r\n", 5, 8, "\r\n", {"a\rb\r"}, {6}},
        LineCase{"lf end of record", "a\nbb\n\nc", 3, 8, "\n", {"a", "bb", "", "c"}, {2, 3, 1, 1}},
        LineCase{"end of record split over the record end",
                 "abc\r\nd\r\n",
                 4,
                 8,
                 "\r\n",
                 {"abc", "d"},
                 {5, 3}},
        LineCase{"record of length 0", "abc\r\nd\r\n", 0, 8, "\r\n", {"", ""}, {5, 3}},
        LineCase{
            "three-byte end of record", "ab\r\r\ncd\r\r\n", 4, 8, "\r\r\n", {"ab", "cd"}, {5, 5}}));

TEST(ReadLineTest, OffsetAtOrBeyondTheEndIsRecordNotAvailable) {
  MemorySource source("ab\r\n");
  std::vector<uint8_t> record(4, 'x');
  uint64_t bytes = 7;
  EXPECT_EQ(ReadLine(source, 4, LineFormat{}, record, &bytes), files::kRecordNotAvailable);
  EXPECT_EQ(ReadLine(source, 400, LineFormat{}, record, &bytes), files::kRecordNotAvailable);
  EXPECT_EQ(std::string(record.begin(), record.end()), "    ");  // cleared first
  MemorySource empty("");
  EXPECT_EQ(ReadLine(empty, 0, LineFormat{}, record, &bytes), files::kRecordNotAvailable);
}

TEST(ReadLineTest, ReadingInTheMiddleOfALineStartsThere) {
  MemorySource source("abcdef\r\n");
  std::vector<uint8_t> record(4);
  uint64_t bytes = 0;
  ASSERT_EQ(ReadLine(source, 3, LineFormat{}, record, &bytes), 0);
  EXPECT_EQ(std::string(record.begin(), record.end()), "def ");
  EXPECT_EQ(bytes, 5u);
}

TEST(ReadLineTest, OemTextIsConvertedToAnsi) {
  // 0x82 is e-acute and 0x9C the pound sign in the OEM set; 0xE9 and 0xA3 in ANSI.
  MemorySource source("\x82\x9C\r\n");
  std::vector<uint8_t> record(3);
  uint64_t bytes = 0;
  ASSERT_EQ(ReadLine(source, 0, LineFormat{8, "\r\n", true}, record, &bytes), 0);
  EXPECT_EQ(record, (std::vector<uint8_t>{0xE9, 0xA3, ' '}));
}

TEST(ReadLineTest, FailedReadIsASystemError) {
  class Failing final : public ByteSource {
   public:
    uint64_t Size() override { return 100; }
    int View(uint64_t, size_t, std::span<const uint8_t>*) override { return EIO; }
  } source;
  std::vector<uint8_t> record(4);
  uint64_t bytes = 0;
  EXPECT_EQ(ReadLine(source, 0, LineFormat{}, record, &bytes), files::kSystemErrorBase + 30);
}

TEST(ReadLineTest, HugeLineIsSkippedWhole) {
  std::string data(3'000'000, 'x');
  data += "\r\nend\r\n";
  MemorySource source(data);
  std::vector<uint8_t> record(255);
  uint64_t bytes = 0;
  ASSERT_EQ(ReadLine(source, 0, LineFormat{}, record, &bytes), 0);
  EXPECT_EQ(bytes, 3'000'002u);
  ASSERT_EQ(ReadLine(source, bytes, LineFormat{}, record, &bytes), 0);
  EXPECT_EQ(std::string(record.begin(), record.begin() + 4), "end ");
}

}  // namespace
}  // namespace vorsandt::text
