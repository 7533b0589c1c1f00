// Outside input: random bytes read as a text file under random options, and a
// large round trip through a real file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/files/text_stack.h"
#include "runtime/text/text_driver.h"
#include "runtime/text/text_test_support.h"

namespace vorsandt::text {
namespace {

using namespace files;
using testing::TextTable;

class TextFuzzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Errors().Clear();
    Texts().Clear();
  }
  void TearDown() override { SetTextFileEnv(nullptr); }
};

// Bytes that matter to the reader turn up often.
std::string RandomBytes(std::mt19937& rng, size_t length) {
  static const char kSpecial[] = {'\r', '\n', '\t', 26, 0, ' ', 'a'};
  std::string s(length, '\0');
  for (char& c : s) {
    c = (rng() % 3 == 0) ? kSpecial[rng() % sizeof kSpecial] : static_cast<char>(rng() % 256);
  }
  return s;
}

TEST_F(TextFuzzTest, RandomBytesReadAsLinesNeverLoopOrFail) {
  env::FaultEnv env;
  SetTextFileEnv(&env);
  const char* const kEndings[] = {"ENDOFRECORD=2,13,10",    "ENDOFRECORD=1,10", "ENDOFRECORD=1,13",
                                  "ENDOFRECORD=3,13,13,10", "ENDOFRECORD=1,26", "ENDOFRECORD=1,0"};
  const char* const kTabs[] = {"TAB=8", "TAB=-4", "TAB=0",          "TAB=-100",
                               "TAB=1", "TAB=-1", "TAB=2147483647", "TAB=-2147483648"};
  std::mt19937 rng(20261208);
  for (int round = 0; round < 300; ++round) {
    const std::string data = RandomBytes(rng, rng() % 3000);
    env.SetContents("FUZZ.TXT", data);
    TextTable t("FUZZ.TXT", rng() % 300);
    Open(t.get(), 0x40);
    ASSERT_EQ(Errors().Code(), 0);
    Send(t.get(), kEndings[rng() % std::size(kEndings)]);
    Send(t.get(), kTabs[rng() % std::size(kTabs)]);
    if (rng() % 2) Send(t.get(), "QUICKSCAN=ON");

    SetFile(t.get());
    uint64_t consumed = 0;
    int64_t last_pointer = 0;
    size_t lines = 0;
    for (;; ++lines) {
      ASSERT_LE(lines, data.size()) << "round " << round;  // every line takes a byte
      Next(t.get());
      if (Errors().Code() == kRecordNotAvailable) break;
      ASSERT_EQ(Errors().Code(), 0) << "round " << round;
      const int64_t pointer = Pointer(t.get());
      ASSERT_GT(pointer, last_pointer);
      ASSERT_EQ(static_cast<uint64_t>(pointer), consumed + 1);
      const int32_t bytes = Bytes(t.get());
      ASSERT_GT(bytes, 0);
      consumed += bytes;
      last_pointer = pointer;
    }
    ASSERT_LE(consumed, data.size());
    // Reading stops only at the end of the data or at a Ctrl-Z.
    if (consumed < data.size()) {
      EXPECT_EQ(data[consumed], 26) << "round " << round;
    }

    for (int probe = 0; probe < 20; ++probe) {
      const int64_t pointer = static_cast<int64_t>(rng() % (data.size() + 10));
      GetByPointer(t.get(), pointer);
      const int32_t code = Errors().Code();
      ASSERT_TRUE(code == 0 || code == kRecordNotAvailable) << code;
      if (pointer > static_cast<int64_t>(data.size())) {
        EXPECT_EQ(code, kRecordNotAvailable);
      }
      Reget(t.get(), RandomBytes(rng, rng() % 6));
      ASSERT_TRUE(Errors().Code() == 0 || Errors().Code() == kRecordNotAvailable);
      Reset(t.get(), RandomBytes(rng, 4));
      Eof(t.get());
      ASSERT_EQ(Errors().Code(), 0);
    }
    Close(t.get());
    ASSERT_EQ(Errors().Code(), 0);
  }
}

TEST_F(TextFuzzTest, RandomRecordsWrittenAndReadBack) {
  env::FaultEnv env;
  SetTextFileEnv(&env);
  std::mt19937 rng(7);
  env.SetContents("OUT.TXT", "");
  TextTable t("OUT.TXT", 40);
  Open(t.get(), 0x42);
  ASSERT_EQ(Errors().Code(), 0);
  std::vector<std::string> written;
  for (int i = 0; i < 500; ++i) {
    // Printable text without the reader's special bytes reads back as written.
    std::string line(rng() % 41, ' ');
    for (char& c : line) c = static_cast<char>(0x20 + rng() % 0x5F);
    t.SetLine(line);
    Add(t.get());
    ASSERT_EQ(Errors().Code(), 0);
    written.push_back(t.Line());
  }
  SetFile(t.get());
  for (const std::string& expected : written) {
    Next(t.get());
    ASSERT_EQ(Errors().Code(), 0);
    ASSERT_EQ(t.Line(), expected);
  }
  Close(t.get());
}

// Random rewrites of lines of every length against a model of the file: no
// line but the rewritten one ever changes, and reading goes on after a Put.
TEST_F(TextFuzzTest, RandomPutsChangeOnlyTheLineTheyRewrite) {
  env::FaultEnv env;
  SetTextFileEnv(&env);
  std::mt19937 rng(30);
  auto random_line = [&rng] {
    std::string line(rng() % 30, ' ');
    for (char& c : line) c = static_cast<char>('!' + rng() % 90);
    return line;
  };
  std::vector<std::string> model;
  std::string data;
  for (int i = 0; i < 40; ++i) {
    model.push_back(random_line());
    data += model.back() + "\r\n";
  }
  env.SetContents("EDIT.TXT", data);
  TextTable t("EDIT.TXT", 30);
  Open(t.get(), 0x42);
  ASSERT_EQ(Errors().Code(), 0);
  for (int edit = 0; edit < 300; ++edit) {
    const size_t k = rng() % model.size();
    SetFile(t.get());
    for (size_t i = 0; i <= k; ++i) Next(t.get());
    ASSERT_EQ(t.Line(), model[k]);
    model[k] = random_line();
    t.SetLine(model[k]);
    Put(t.get());
    ASSERT_EQ(Errors().Code(), 0);
    if (k + 1 < model.size()) {
      Next(t.get());
      ASSERT_EQ(Errors().Code(), 0);
      ASSERT_EQ(t.Line(), model[k + 1]) << "edit " << edit;
    }
  }
  std::string expected;
  for (const std::string& line : model) expected += line + "\r\n";
  EXPECT_EQ(env.Contents("EDIT.TXT"), expected);
  Close(t.get());
}

// 100,000 lines of printable text, with empty lines, lines longer than the
// record and no end of record after the last, read back from a real file.
TEST_F(TextFuzzTest, HundredThousandLinesRoundTrip) {
  constexpr uint32_t kRecord = 255;
  std::mt19937 rng(100000);
  std::vector<std::string> lines;
  std::string data;
  for (int i = 0; i < 100000; ++i) {
    const unsigned kind = rng() % 20;
    size_t length = kind == 0 ? 0 : kind == 1 ? kRecord + 1 + rng() % 700 : rng() % 120;
    std::string line(length, ' ');
    for (char& c : line) c = static_cast<char>(0x20 + rng() % 0x5F);
    lines.push_back(line);
    data += line;
    if (i + 1 < 100000) data += "\r\n";
  }
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("vorsandt_text_roundtrip_" + std::to_string(getpid()) + ".txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << data;
  }
  SetTextFileEnv(nullptr);  // the real file system
  TextTable t(path.string(), kRecord);
  Open(t.get(), 0x40);
  ASSERT_EQ(Errors().Code(), 0) << Errors().Text();
  ASSERT_EQ(Bytes(t.get()), static_cast<int32_t>(data.size()));

  SetFile(t.get());
  uint64_t offset = 0;
  std::vector<std::pair<std::string, size_t>> positions;
  for (size_t i = 0; i < lines.size(); ++i) {
    Next(t.get());
    ASSERT_EQ(Errors().Code(), 0) << "line " << i;
    std::string expected = lines[i].substr(0, kRecord);
    expected.resize(kRecord, ' ');
    ASSERT_EQ(t.Record(), expected) << "line " << i;
    const uint64_t bytes = lines[i].size() + (i + 1 < lines.size() ? 2 : 0);
    ASSERT_EQ(static_cast<uint64_t>(Bytes(t.get())), bytes) << "line " << i;
    ASSERT_EQ(static_cast<uint64_t>(Pointer(t.get())), offset + 1);
    if (i % 97 == 0) positions.emplace_back(Position(t.get()), i);
    offset += bytes;
  }
  Next(t.get());
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  EXPECT_EQ(offset, data.size());

  for (const auto& [position, i] : positions) {
    Reget(t.get(), position);
    ASSERT_EQ(Errors().Code(), 0);
    std::string expected = lines[i].substr(0, kRecord);
    expected.resize(kRecord, ' ');
    ASSERT_EQ(t.Record(), expected) << "line " << i;
  }
  Close(t.get());
  std::filesystem::remove(path);
}

TEST_F(TextFuzzTest, EveryByteValueIsReadWithoutHarm) {
  env::FaultEnv env;
  SetTextFileEnv(&env);
  std::string data;
  for (int round = 0; round < 50; ++round) {
    for (int c = 0; c < 256; ++c) {
      if (c != 26) data.push_back(static_cast<char>(c));
    }
  }
  env.SetContents("BIN.DAT", data);
  TextTable t("BIN.DAT", 100, kAttrOemText);
  Open(t.get(), 0x40);
  SetFile(t.get());
  uint64_t consumed = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    Next(t.get());
    if (Errors().Code() != 0) break;
    consumed += Bytes(t.get());
  }
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  EXPECT_EQ(consumed, data.size());
  Close(t.get());
}

}  // namespace
}  // namespace vorsandt::text
