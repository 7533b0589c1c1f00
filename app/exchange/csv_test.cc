// The CSV reader and writer.
#include "app/exchange/csv.h"

#include <gtest/gtest.h>

namespace vorsandt::exchange {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct ParseCase {
  const char* what;
  std::string text;
  Rows rows;
  std::vector<int> lines;  // line each row starts on
};

TEST(CsvParse, ReadsEveryFormOfFieldAndLineBreak) {
  const ParseCase cases[] = {
      {"plain fields, CRLF", "a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}, {1, 2}},
      {"LF only", "a,b\nc,d\n", {{"a", "b"}, {"c", "d"}}, {1, 2}},
      {"last line without break", "a,b\r\nc,d", {{"a", "b"}, {"c", "d"}}, {1, 2}},
      {"byte order mark skipped", "\xEF\xBB\xBFx,y\n", {{"x", "y"}}, {1}},
      {"quoted comma", "\"a,b\",c\n", {{"a,b", "c"}}, {1}},
      {"doubled quotes", "\"say \"\"hi\"\"\",x\n", {{"say \"hi\"", "x"}}, {1}},
      {"line breaks inside quotes",
       "\"one\r\ntwo\nthree\",x\r\nnext,y\r\n",
       {{"one\r\ntwo\nthree", "x"}, {"next", "y"}},
       {1, 4}},
      {"empty fields", ",,\n", {{"", "", ""}}, {1}},
      {"quoted empty field", "\"\"\n", {{""}}, {1}},
      {"blank lines at the end are no rows", "a\r\n\r\n\r\n", {{"a"}}, {1}},
      {"blank and tab-only lines at the end", "a\n  \n\t\n \t", {{"a"}}, {1}},
      {"CR alone ends a line", "a,b\rc,d\r\r", {{"a", "b"}, {"c", "d"}}, {1, 2}},
      {"CR alone inside quotes is data and a line",
       "\"a\rb\",c\rd\r",
       {{"a\rb", "c"}, {"d"}},
       {1, 3}},
      {"mixed line ends", "a\rb\nc\r\nd", {{"a"}, {"b"}, {"c"}, {"d"}}, {1, 2, 3, 4}},
      {"only blank lines", "\r\n\n", {}, {}},
      {"UTF-8 passes through",
       "Caf\xC3\xA9,\xE2\x82\xAC\n",
       {{"Caf\xC3\xA9", "\xE2\x82\xAC"}},
       {1}},
      {"empty text", "", {}, {}},
      {"quoted field last without break", "a,\"b\"", {{"a", "b"}}, {1}},
  };
  for (const ParseCase& c : cases) {
    std::vector<CsvRow> rows;
    std::string error;
    int line = 0;
    ASSERT_TRUE(ParseCsv(c.text, &rows, &error, &line)) << c.what << ": " << error;
    Rows got;
    std::vector<int> lines;
    for (const CsvRow& r : rows) {
      got.push_back(r.fields);
      lines.push_back(r.line);
    }
    EXPECT_EQ(got, c.rows) << c.what;
    EXPECT_EQ(lines, c.lines) << c.what;
  }
}

struct BadCase {
  const char* what;
  std::string text;
  int line;
  const char* error;
};

TEST(CsvParse, RefusesMalformedTextNamingTheLine) {
  const BadCase cases[] = {
      {"quote inside a plain field", "a,b\nc\"d,e\n", 2, "a quote inside an unquoted field"},
      {"text after a closing quote", "a\n\"b\"c,d\n", 2, "text after the closing quote of a field"},
      {"quoted field never closed", "a\nb\n\"c,\nd\n", 3, "a quoted field is not closed"},
      {"blank line between rows", "a\r\nb\r\n\r\nc\r\n", 3, "a blank line before the last row"},
      {"blank line before the header", "\na\nb\n", 1, "a blank line before the last row"},
      {"line of blanks between rows", "a\n \t \n\n\"c\nd\"\n\n", 2,
       "a blank line before the last row"},
      {"CR-only blank line", "a\r\rb\r", 2, "a blank line before the last row"},
  };
  for (const BadCase& c : cases) {
    std::vector<CsvRow> rows;
    std::string error;
    int line = 0;
    EXPECT_FALSE(ParseCsv(c.text, &rows, &error, &line)) << c.what;
    EXPECT_EQ(line, c.line) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
  }
}

TEST(CsvWrite, QuotesOnlyWhatNeedsItAndReadsBackTheSame) {
  EXPECT_EQ(CsvLine({"a", "b c", ""}), "a,b c,\r\n");
  EXPECT_EQ(CsvLine({"a,b", "say \"x\"", "two\nlines"}),
            "\"a,b\",\"say \"\"x\"\"\",\"two\nlines\"\r\n");
  EXPECT_EQ(CsvLine({" padded "}), "\" padded \"\r\n");
  EXPECT_EQ(CsvLine({"\t"}), "\"\t\"\r\n");
  // A single empty field keeps its line from looking blank.
  EXPECT_EQ(CsvLine({""}), "\"\"\r\n");
  const std::vector<std::vector<std::string>> values = {
      {"", "\"", ",", "\r\n", "x\"\"y"}, {"plain", "\xC3\xA9", "a\rb", " ", "end"}, {" "}, {"\t"}};
  std::string text;
  for (const auto& v : values) text += CsvLine(v);
  std::vector<CsvRow> rows;
  std::string error;
  int line = 0;
  ASSERT_TRUE(ParseCsv(text, &rows, &error, &line)) << error;
  ASSERT_EQ(rows.size(), values.size());
  for (size_t r = 0; r < values.size(); ++r) EXPECT_EQ(rows[r].fields, values[r]);
  EXPECT_EQ(rows[1].line, 3);  // the first row spans two lines
}

}  // namespace
}  // namespace vorsandt::exchange
