#include "ui/engine/field_variable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/files/field_codec.h"
#include "runtime/format/dates.h"
#include "ui/engine/engine.h"
#include "ui/engine/engine_test_defs.h"
#include "ui/engine/test_platform.h"
#include "ui/engine/window.h"

namespace vorsandt::ui {
namespace {

// NAME string 10 (picture @s10) at 0, COUNT long at 10, PRICE decimal of 4
// bytes (7 digits) with 2 places at 14, WHEN long (a date) at 18, TAG
// C string of 6 at 22, CODE short at 28.
constexpr uint32_t kRecordLength = 30;

const std::vector<uint8_t>& Layout() {
  static const std::vector<uint8_t> layout = files::LayoutBuilder()
                                                 .String(0, "T:NAME", 10, "@s10")
                                                 .Long(10, "T:COUNT")
                                                 .Decimal(14, "T:PRICE", 4, 2)
                                                 .Long(18, "T:WHEN")
                                                 .Field(22, "T:TAG", files::kTypeCString)
                                                 .U32(6)
                                                 .Text("")
                                                 .Short(28, "T:CODE")
                                                 .Finish();
  return layout;
}

uint8_t declared_buffer[kRecordLength];
// A text memo of 24 bytes beside the record.
const files::MemoDecl kNotes{"T:NOTES", 7, 0, 24};
const files::MemoDecl* const kMemos[] = {&kNotes};
files::FileRecord& Table() {
  static files::FileRecord table(nullptr, "T", 1, files::kAttrPerThread, kRecordLength,
                                 Layout().data(), Layout().size(), nullptr, 0, kMemos, 1,
                                 declared_buffer);
  return table;
}

int32_t LongAt(const uint8_t* record, int offset) {
  int32_t v;
  std::memcpy(&v, record + offset, 4);
  return v;
}

// A record outside the tables, for the direct round trips.
class FieldVariableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(record_, 0, sizeof record_);
    std::memcpy(record_, "Smith     ", 10);
    int32_t count = 42;
    std::memcpy(record_ + 10, &count, 4);
    files::WritePackedDecimal(1234.5, 2, std::span<uint8_t>(record_ + 14, 4));
    int32_t when = format::DateFromParts(7, 4, 1996);
    std::memcpy(record_ + 18, &when, 4);
    std::memcpy(record_ + 22, "ab", 3);
  }

  std::unique_ptr<UseVariable> Field(const char* name) {
    auto info = FindField(Table(), name);
    EXPECT_TRUE(info.has_value()) << name;
    return info ? BindField(record_, kRecordLength, *info) : nullptr;
  }

  uint8_t record_[kRecordLength];
};

TEST_F(FieldVariableTest, FieldsShowThroughTheirPictures) {
  // The string's own picture applies when the control has none.
  EXPECT_EQ(Field("T:NAME")->Show(""), "Smith");
  EXPECT_EQ(Field("t:name")->Show("@s3"), "Smi");
  EXPECT_EQ(Field("T:COUNT")->Show("@n6"), "    42");
  EXPECT_EQ(Field("T:PRICE")->Show("@n10.2"), "  1,234.50");
  EXPECT_EQ(Field("T:WHEN")->Show("@D6"), " 4/07/1996");
  EXPECT_EQ(Field("T:TAG")->Show(""), "ab");
  EXPECT_TRUE(Field("T:PRICE")->numeric());
  EXPECT_FALSE(Field("T:NAME")->numeric());
}

TEST_F(FieldVariableTest, AcceptedTextGoesBackIntoTheFieldBytes) {
  EXPECT_TRUE(Field("T:NAME")->Accept("Jones", ""));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(record_), 10), "Jones     ");
  EXPECT_TRUE(Field("T:NAME")->Accept("A name far too long", ""));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(record_), 10), "A name far");

  EXPECT_TRUE(Field("T:COUNT")->Accept("  1,250", "@n6"));
  EXPECT_EQ(LongAt(record_, 10), 1250);
  EXPECT_TRUE(Field("T:COUNT")->Accept("-7", ""));
  EXPECT_EQ(LongAt(record_, 10), -7);
  EXPECT_TRUE(Field("T:COUNT")->Accept("   ", "@n6"));  // blank clears
  EXPECT_EQ(LongAt(record_, 10), 0);

  EXPECT_TRUE(Field("T:PRICE")->Accept("99.999", "@n10.2"));  // rounded to the places
  EXPECT_DOUBLE_EQ(files::ReadPackedDecimal(std::span<const uint8_t>(record_ + 14, 4), 2), 100.0);
  EXPECT_EQ(Field("T:PRICE")->Show("@n10.2"), "    100.00");

  EXPECT_TRUE(Field("T:WHEN")->Accept("25/12/2024", "@D6"));
  EXPECT_EQ(LongAt(record_, 18), format::DateFromParts(12, 25, 2024));
  EXPECT_EQ(Field("T:WHEN")->Show("@D6"), "25/12/2024");

  EXPECT_TRUE(Field("T:TAG")->Accept("abcdefgh", ""));  // 5 characters and the terminator
  EXPECT_EQ(std::string(reinterpret_cast<char*>(record_ + 22)), "abcde");
}

TEST_F(FieldVariableTest, TextThatIsNoValueLeavesTheFieldUnchanged) {
  std::vector<uint8_t> before(record_, record_ + kRecordLength);
  struct Case {
    const char* field;
    const char* typed;
    const char* picture;
  };
  const Case cases[] = {
      {"T:COUNT", "abc", "@n6"},           // no digits at all
      {"T:COUNT", "99999999999", ""},      // beyond a long
      {"T:CODE", "40000", ""},             // beyond a short
      {"T:PRICE", "123456789", "@n12.2"},  // more digits than the decimal holds
      {"T:WHEN", "0/07/2024", "@D6"},      // day 0
      {"T:WHEN", "31/02/2026", "@D6"},     // no such day: not 3 March instead
      {"T:WHEN", "12/13/2024", "@D6"},     // no such month
      {"T:WHEN", "soon", "@D6"},           // nothing that reads as a date
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Field(c.field)->Accept(c.typed, c.picture)) << c.field << " " << c.typed;
    EXPECT_EQ(std::vector<uint8_t>(record_, record_ + kRecordLength), before)
        << c.field << " " << c.typed;
  }
}

TEST_F(FieldVariableTest, UnknownOrUnshowableFieldsAreNotBound) {
  EXPECT_EQ(BindField(&Table(), "T:NOSUCH"), nullptr);
  EXPECT_EQ(BindField(nullptr, "T:NAME"), nullptr);
  files::FieldInfo beyond = *FindField(Table(), "T:WHEN");
  EXPECT_EQ(BindField(record_, 20, beyond), nullptr);  // reaches past the record
  EXPECT_EQ(RecordFields(Table()).size(), 6u);
}

// Through a window on a procedure thread: display, accept, reject, and the
// thread's own instance of the per-thread table.
TEST(FieldBindingTest, WindowEditsTheProcedureThreadsRecord) {
  TestPlatform platform;
  ResourceSet set;
  ASSERT_FALSE(set.AddModule("test", {{"test.yaml", kTestWindows}}).has_value());
  Engine engine(&platform, &set);
  std::vector<std::pair<int, int>> seen;
  std::vector<uint8_t> after;
  std::string notes;
  WindowId id = 0;
  std::atomic<bool> opened{false};
  int bound = -1;
  engine.StartMain([&] {
    uint8_t* record = files::RecordBuffer(&Table());
    std::memcpy(record, "Smith     ", 10);
    int32_t when = format::DateFromParts(7, 4, 1996);
    std::memcpy(record + 18, &when, 4);
    std::vector<char>& memo = files::InstanceOf(&Table())->memo_buffers[0];
    std::fill(memo.begin(), memo.end(), ' ');
    std::memcpy(memo.data(), "Hello", 5);
    auto w = engine.CreateWindow("TESTS$TEST01", "T$RECORD");
    id = w->id();
    bound = BindRecord(*w, &Table());
    w->Open();
    w->Display();
    opened = true;
    while (w->Accept()) seen.emplace_back(w->Event(), w->Field());
    after.assign(record, record + kRecordLength);
    notes.assign(memo.begin(), memo.end());
    w->Close();
  });
  while (!opened) engine.WaitIdle(std::chrono::milliseconds(20));
  ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
  auto state = platform.State(id);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->Control(1)->text, "Smith");
  EXPECT_EQ(state->Control(4)->text, " 4/07/1996");
  EXPECT_EQ(state->Control(7)->text, "Hello");
  auto type = [&](int field, const char* text) {
    Input in;
    in.type = Input::Type::kAccept;
    in.field = field;
    in.text = text;
    in.has_text = true;
    engine.Input(id, in);
    ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
  };
  type(1, "Brown");
  type(2, "12");
  type(3, "5.25");
  type(4, "31/12/1999");
  type(4, "31/13/1999");  // no month 13: rejected, not taken as January 2000
  type(4, "0/1/2000");    // rejected: the date stays
  type(7, "Notes that run past the memo's size");
  state = platform.State(id);
  EXPECT_EQ(state->Control(3)->text, "      5.25");
  EXPECT_EQ(state->Control(4)->text, "0/1/2000");  // left for the user to correct
  Input close;
  close.type = Input::Type::kClose;
  engine.Input(id, close);
  engine.WaitForEnd();

  EXPECT_EQ(bound, 5);  // four fields and the memo; T:MISSING is not in the table
  EXPECT_EQ(seen,
            (std::vector<std::pair<int, int>>{
                {515, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {26, 4}, {26, 4}, {1, 7}, {513, 0}}));
  ASSERT_EQ(after.size(), kRecordLength);
  EXPECT_EQ(std::string(after.begin(), after.begin() + 10), "Brown     ");
  EXPECT_EQ(LongAt(after.data(), 10), 12);
  EXPECT_DOUBLE_EQ(files::ReadPackedDecimal(std::span<const uint8_t>(after.data() + 14, 4), 2),
                   5.25);
  EXPECT_EQ(LongAt(after.data(), 18), format::DateFromParts(12, 31, 1999));
  EXPECT_EQ(notes, "Notes that run past the ");  // cut to the memo's 24 bytes
  // The declaration's own buffer was never the one edited.
  EXPECT_EQ(std::string(reinterpret_cast<char*>(declared_buffer), 5), std::string(5, '\0'));
}

}  // namespace
}  // namespace vorsandt::ui
