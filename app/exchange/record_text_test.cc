// Record fields as the exchange's text and back.
#include "app/exchange/record_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vorsandt::exchange {
namespace {

const app::FieldDef& Field(const char* name) {
  const app::FieldDef* f = app::FieldNamed(name);
  EXPECT_NE(f, nullptr) << name;
  return *f;
}

struct RoundCase {
  const char* field;
  std::string in;
  std::string out;  // what the stored value reads back as
};

TEST(RecordText, ValuesStoreAndReadBackInTheirCanonicalForm) {
  const RoundCase cases[] = {
      {"COM:COMPANY_REFERENCE", "0", "0"},
      {"COM:COMPANY_REFERENCE", "-32768", "-32768"},
      {"COM:COMPANY_REFERENCE", "32767", "32767"},
      {"COM:COMPANY_REFERENCE", "", "0"},
      {"POL:EXCESS", "12.5", "12.50"},
      {"POL:EXCESS", "-0.01", "-0.01"},
      {"POL:EXCESS", "99999.99", "99999.99"},
      {"POL:EXCESS", "007", "7.00"},
      {"POL:EXCESS", "", "0.00"},
      {"ITE:PRICE_PAID", "-1234567.89", "-1234567.89"},
      {"SER:DATE_OF_SERVICE", "2024-02-29", "2024-02-29"},
      {"SER:DATE_OF_SERVICE", "1801-01-01", "1801-01-01"},
      {"SER:DATE_OF_SERVICE", "2099-12-31", "2099-12-31"},
      {"SER:DATE_OF_SERVICE", "", ""},
      {"SER:DATE_OF_SERVICE", "200000", "200000"},  // a stored value that is no date
      {"COM:COMPANY", "Acme, \"Ltd\"  ", "Acme, \"Ltd\""},
      {"COM:COMPANY", "Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xC3\xA9 \xE2\x82\xAC"},
      {"COM:COMPANY", std::string(30, 'x'), std::string(30, 'x')},
      {"ITE:UV_MARKED", "Y", "Y"},
  };
  for (const RoundCase& c : cases) {
    uint8_t record[512];
    std::memset(record, 0xEE, sizeof record);
    const app::FieldDef& f = Field(c.field);
    EXPECT_EQ(TextToField(f, c.in, record), "") << c.field << " " << c.in;
    EXPECT_EQ(FieldToText(f, record), c.out) << c.field << " " << c.in;
  }
}

TEST(RecordText, StoredBytesAreThoseTheProgramUses) {
  uint8_t record[512] = {};
  ASSERT_EQ(TextToField(Field("POL:EXCESS"), "-123.45", record), "");
  const uint8_t* excess = record + Field("POL:EXCESS").offset;
  // Sign nibble F, then the seven digits 0012345.
  EXPECT_EQ(excess[0], 0xF0);
  EXPECT_EQ(excess[1], 0x01);
  EXPECT_EQ(excess[2], 0x23);
  EXPECT_EQ(excess[3], 0x45);
  ASSERT_EQ(TextToField(Field("SER:DATE_OF_SERVICE"), "1801-01-01", record), "");
  int32_t day = 0;
  std::memcpy(&day, record + Field("SER:DATE_OF_SERVICE").offset, 4);
  EXPECT_EQ(day, 4);
  ASSERT_EQ(TextToField(Field("COM:COMPANY"), "\xC3\xA9", record), "");
  EXPECT_EQ(record[2], 0xE9);  // é in the ANSI set
  EXPECT_EQ(record[3], ' ');
}

struct BadCase {
  const char* field;
  std::string in;
  const char* error;
};

TEST(RecordText, RefusesValuesTheFieldCannotHold) {
  const BadCase cases[] = {
      {"COM:COMPANY_REFERENCE", "12a", "COM:COMPANY_REFERENCE: bad number \"12a\""},
      {"COM:COMPANY_REFERENCE", "-", "COM:COMPANY_REFERENCE: bad number \"-\""},
      {"COM:COMPANY_REFERENCE", "+5", "COM:COMPANY_REFERENCE: bad number \"+5\""},
      {"COM:COMPANY_REFERENCE", "32768", "COM:COMPANY_REFERENCE: number out of range: \"32768\""},
      {"POL:EXCESS", "1.234", "POL:EXCESS: more than 2 decimal places in \"1.234\""},
      {"POL:EXCESS", "100000", "POL:EXCESS: number too large: \"100000\""},
      {"POL:EXCESS", "1,5", "POL:EXCESS: bad number \"1,5\""},
      {"POL:EXCESS", "1.", "POL:EXCESS: bad number \"1.\""},
      {"POL:EXCESS", ".5", "POL:EXCESS: bad number \".5\""},
      {"SER:DATE_OF_SERVICE", "2026-02-30", "SER:DATE_OF_SERVICE: bad date \"2026-02-30\""},
      {"SER:DATE_OF_SERVICE", "2025-02-29", "SER:DATE_OF_SERVICE: bad date \"2025-02-29\""},
      {"SER:DATE_OF_SERVICE", "2026-13-01", "SER:DATE_OF_SERVICE: bad date \"2026-13-01\""},
      {"SER:DATE_OF_SERVICE", "1800-12-31", "SER:DATE_OF_SERVICE: bad date \"1800-12-31\""},
      {"SER:DATE_OF_SERVICE", "2026-1-5", "SER:DATE_OF_SERVICE: bad date \"2026-1-5\""},
      {"SER:DATE_OF_SERVICE", "tomorrow", "SER:DATE_OF_SERVICE: bad date \"tomorrow\""},
      {"LOC:LOCATION", std::string(31, 'x'),
       "LOC:LOCATION: text of 31 characters is longer than the field's 30"},
      {"LOC:LOCATION", "\xCE\xA9",
       "LOC:LOCATION: the character \xCE\xA9 (U+03A9) cannot be held by the records' character "
       "set"},
      {"LOC:LOCATION", "\xC3", "LOC:LOCATION: the text is not UTF-8"},
      {"LOC:LOCATION", "\xC0\xAF", "LOC:LOCATION: the text is not UTF-8"},      // overlong
      {"LOC:LOCATION", "\xED\xA0\x80", "LOC:LOCATION: the text is not UTF-8"},  // surrogate
  };
  for (const BadCase& c : cases) {
    uint8_t record[512] = {};
    EXPECT_EQ(TextToField(Field(c.field), c.in, record), c.error) << c.field << " " << c.in;
  }
}

TEST(RecordText, MemosKeepTheirTextAndRefuseWhatDoesNotFit) {
  const files::MemoDecl& notes = app::ClaimNotes();
  std::vector<char> buffer(notes.max_size, '\0');
  ASSERT_EQ(TextToMemo(notes, "first line\r\nsecond, \"quoted\"", &buffer), "");
  EXPECT_EQ(buffer.back(), ' ');
  EXPECT_EQ(MemoToText({buffer.data(), buffer.size()}), "first line\r\nsecond, \"quoted\"");
  EXPECT_EQ(TextToMemo(notes, std::string(notes.max_size + 1, 'n'), &buffer),
            "CLA:NOTES: text of 1001 characters is longer than the memo's 1000");
  // A memo buffer never written holds zeros: no text.
  std::vector<char> fresh(notes.max_size, '\0');
  EXPECT_EQ(MemoToText({fresh.data(), fresh.size()}), "");
}

TEST(RecordText, NulBytesAreKeptOrRefusedNeverCut) {
  const files::MemoDecl& notes = app::ClaimNotes();
  std::vector<char> buffer(notes.max_size, '\0');
  const std::string inside("before\0after", 12);
  ASSERT_EQ(TextToMemo(notes, inside, &buffer), "");
  EXPECT_EQ(MemoToText({buffer.data(), buffer.size()}), inside);
  // A buffer written C-style, its text then NULs to the end: the NULs pad.
  std::vector<char> c_style(notes.max_size, '\0');
  std::memcpy(c_style.data(), "a\0b", 3);
  EXPECT_EQ(MemoToText({c_style.data(), c_style.size()}), std::string("a\0b", 3));
  // A NUL at the end would come back as padding, so the text is refused.
  for (const std::string& text :
       {std::string("end\0", 4), std::string("end\0  ", 6), std::string(1, '\0')}) {
    EXPECT_EQ(TextToMemo(notes, text, &buffer),
              "CLA:NOTES: the text ends in a NUL byte, which the memo cannot keep");
  }
  // Text fields keep a NUL wherever it is.
  uint8_t record[512] = {};
  const app::FieldDef& status = Field("CLA:CLAIM_STATUS");
  for (const std::string& text : {inside, std::string("end\0", 4)}) {
    ASSERT_EQ(TextToField(status, text, record), "");
    EXPECT_EQ(FieldToText(status, record), text);
  }
}

TEST(RecordText, RowsNeedExactlyTheTablesColumns) {
  const app::TableDef& claim = app::Def(app::Table::kClaim);
  EXPECT_EQ(ColumnNames(claim).back(), "CLA:NOTES");
  EXPECT_EQ(ColumnNames(claim).size(), 8u);
  std::vector<uint8_t> record(claim.record_length);
  std::vector<std::vector<char>> memos(1, std::vector<char>(1000));
  EXPECT_EQ(ValuesToRecord(claim, {"1", "2"}, record.data(), &memos),
            "2 columns where the table has 8");
  std::vector<std::string> values = {"7", "3", "INS-1", "", "2020-01-31", "", "open", "notes"};
  ASSERT_EQ(ValuesToRecord(claim, values, record.data(), &memos), "");
  EXPECT_EQ(RecordToValues(claim, record.data(), memos), values);
}

}  // namespace
}  // namespace vorsandt::exchange
