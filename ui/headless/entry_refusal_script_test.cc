// Entries that refuse what was typed, driven by a script as a user would:
// a date, a number and a time, each refused with its prompt, the text and
// what the entry expects (the example shown through the entry's picture),
// and the focus left on the entry for the user to correct it.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "runtime/files/layout.h"
#include "ui/engine/engine.h"
#include "ui/engine/field_variable.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/script_session.h"

namespace vorsandt::ui::headless {
namespace {

constexpr char kDefs[] = R"(resource: ENTRIES01_RSC
id: E$ENTRIES01
structures:
  - window: E$FRAME
    frame: true
    caption: Entries frame
  - window: E$FORM
    caption: Entries
    controls:
      - prompt: "&Bought:"
      - entry: "E:BOUGHT"
        picture: "@D6"
      - prompt: "PRICE"
      - entry: "E:PRICE"
        picture: "@n-10.2"
      - prompt: "Start time:"
      - entry: "E:START"
        picture: "@T3"
      - button: Close
)";

// A record of three fields: a day number, a packed decimal of 7 digits with
// 2 decimals (at most 99999.99) and a time value.
constexpr uint32_t kRecordLength = 12;

files::FieldInfo Field(const char* name, uint32_t offset, uint8_t type, uint32_t size,
                       uint8_t decimals = 0) {
  files::FieldInfo f;
  f.name = name;
  f.offset = offset;
  f.type = type;
  f.size = size;
  f.decimals = decimals;
  return f;
}

class EntryRefusalScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(set_.AddModule("test", {{"e.yaml", kDefs}}).has_value());
    std::memset(record_, 0, sizeof record_);
  }

  int RunScript(const std::string& script) {
    Engine engine(&platform_, &set_);
    ScriptSession session;
    session.name = "entries.script";
    session.text = script;
    session.out = &out_;
    session.err = &err_;
    session.timeout = std::chrono::seconds(20);
    session.end_timeout = std::chrono::seconds(20);
    return RunMainUnderScript(
        engine, platform_,
        [&] {
          auto frame = engine.CreateWindow("E$ENTRIES01", "E$FRAME");
          frame->Open();
          Form(engine);
          while (frame->Accept()) {
          }
          frame->Close();
        },
        session);
  }

  // The form tells a refusal as the update forms do: the window's words for
  // it in a message, then the focus back on the entry.
  void Form(Engine& engine) {
    auto w = engine.CreateWindow("E$ENTRIES01", "E$FORM");
    w->Bind("E:BOUGHT",
            BindField(record_, kRecordLength, Field("E:BOUGHT", 0, files::kTypeLong, 4)));
    w->Bind("E:PRICE",
            BindField(record_, kRecordLength, Field("E:PRICE", 4, files::kTypeDecimal, 4, 2)));
    w->Bind("E:START", BindField(record_, kRecordLength, Field("E:START", 8, files::kTypeLong, 4)));
    w->Open();
    while (w->Accept()) {
      if (w->Event() == event::kRejected) {
        engine.Message(w->RefusalText(w->Field()), "Invalid Entry", Icon::kExclamation, button::kOk,
                       button::kOk);
        w->Select(w->Field());
      }
      if (w->Accepted() == 7) w->Post(event::kCloseWindow);  // Close
    }
    w->Close();
  }

  int32_t Long(uint32_t offset) const {
    int32_t v;
    std::memcpy(&v, record_ + offset, 4);
    return v;
  }

  HeadlessPlatform platform_;
  ResourceSet set_;
  std::ostringstream out_;
  std::ostringstream err_;
  uint8_t record_[kRecordLength];
};

TEST_F(EntryRefusalScriptTest, ADateANumberAndATimeAreRefusedInWordsAndKeepTheFocus) {
  int rc = RunScript(R"(
window Entries
type E:BOUGHT 31/02/1996
expect message "Bought: 31/02/1996 is not a date. Enter it as day/month/year, for example 4/07/1996." "Invalid Entry"
expect focus E:BOUGHT
expect text E:BOUGHT 31/02/1996
type E:BOUGHT 4/07/1996
expect text E:BOUGHT 4/07/1996

type E:PRICE "a lot"
expect message "PRICE: a lot is not a number. Enter a number, for example 1,234.50." "Invalid Entry"
expect focus E:PRICE
type E:PRICE 1234567
expect message "PRICE: 1234567 is too large for this entry. Enter a smaller number, for example 1,234.50." "Invalid Entry"
expect focus E:PRICE
type E:PRICE 99.5
expect text E:PRICE 99.50

type E:START 25:10PM
expect message "Start time: 25:10PM is not a time. Enter it as hours:minutes AM/PM, for example 2:30PM." "Invalid Entry"
expect focus E:START
type E:START 2:30PM
expect text E:START 2:30PM
click Close
)");
  EXPECT_EQ(rc, 0) << err_.str() << out_.str();
  // What was taken is in the record; what was refused never reached it.
  EXPECT_EQ(Long(8), (14 * 3600 + 30 * 60) * 100 + 1);
  EXPECT_NE(Long(0), 0);
}

}  // namespace
}  // namespace vorsandt::ui::headless
