// Export, import and key rebuild of the application's tables, through the
// library and through the qvf binary.
#include "tools/qvf/exchange.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/exchange/csv.h"
#include "app/exchange/record_text.h"
#include "runtime/files/layout.h"
#include "runtime/format/dates.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "tools/qvf/tool_run_test_support.h"

namespace vorsandt::tools {

namespace {

using qvf::testing::ScratchFolder;

// Characters generated texts are made of: ASCII, CSV's own specials, and
// letters outside ASCII that the records' set holds.
const std::vector<std::string> kPool = {"a",        "b",        "Z", "7",        " ",
                                        ",",        "\"",       "-", "\xC3\xA9", "\xE2\x82\xAC",
                                        "\xC3\xBC", "\xC3\x9F", "'", "x"};

std::string RandomText(std::mt19937& rng, uint32_t max_chars, bool line_breaks) {
  std::string out;
  const uint32_t n = std::uniform_int_distribution<uint32_t>(0, max_chars)(rng);
  for (uint32_t i = 0; i < n; ++i) {
    if (line_breaks && i % 40 == 39) {
      out += "\r\n";
      ++i;
      continue;
    }
    out += kPool[rng() % kPool.size()];
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '\n' || out.back() == '\r')) {
    out.pop_back();
  }
  return out;
}

std::string RandomDecimal(std::mt19937& rng, const app::FieldDef& f) {
  const int total = static_cast<int>(f.size) * 2 - 1;
  std::string digits;
  const int used = std::uniform_int_distribution<int>(1, total)(rng);
  for (int i = 0; i < used; ++i) digits += static_cast<char>('0' + rng() % 10);
  digits.insert(0, static_cast<size_t>(total - used), '0');
  std::string whole = digits.substr(0, total - f.places);
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
  const bool zero = digits.find_first_not_of('0') == std::string::npos;
  std::string text = !zero && rng() % 3 == 0 ? "-" : "";
  text.append(whole);
  if (f.places > 0) {
    text.push_back('.');
    text.append(digits, total - f.places, f.places);
  }
  return text;
}

// One generated row of table `def`, row number `r` making its primary key
// unique.
std::vector<std::string> RandomRow(std::mt19937& rng, const app::TableDef& def, int r) {
  const int primary_field = def.keys[0].components[0];
  std::vector<std::string> row;
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const app::FieldDef& f = def.fields[i];
    const bool primary = static_cast<int>(i + 1) == primary_field;
    switch (f.type) {
      case files::kTypeShort:
        row.push_back(primary ? std::to_string(r) : std::to_string(static_cast<int16_t>(rng())));
        break;
      case files::kTypeLong:
        if (rng() % 10 == 0) {
          row.push_back("");
        } else {
          format::DateParts p;
          format::PartsFromDate(std::uniform_int_distribution<int32_t>(4, 109211)(rng), &p);
          char text[16];
          std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year, p.month, p.day);
          row.push_back(text);
        }
        break;
      case files::kTypeDecimal:
        row.push_back(RandomDecimal(rng, f));
        break;
      default:
        if (primary) {
          std::string text = std::to_string(100000 + r);
          text.append("-").append(RandomText(rng, 10, false));
          row.push_back(std::move(text));
        } else {
          row.push_back(RandomText(rng, f.size, false));
        }
    }
  }
  for (size_t m = 0; m < def.memos.size(); ++m) row.push_back(RandomText(rng, 300, true));
  return row;
}

std::string GeneratedCsv(const app::TableDef& def, int rows, unsigned seed) {
  std::mt19937 rng(seed);
  std::string csv = CsvLine(ColumnNames(def));
  for (int r = 1; r <= rows; ++r) csv += CsvLine(RandomRow(rng, def, r));
  return csv;
}

struct Stored {
  std::vector<std::string> records;  // record bytes, then each memo, in record order
};

Stored ReadStored(app::Table t) {
  Stored s;
  files::FileRecord* f = app::File(t);
  files::Open(f, files::kModeReadOnly);
  EXPECT_EQ(qvf::testing::Code(), 0);
  files::SetFile(f);
  for (;;) {
    files::Next(f);
    if (qvf::testing::Code() != 0) break;
    files::FileRecord* in = files::InstanceOf(f);
    std::string image(reinterpret_cast<const char*>(in->buffer), in->record_length);
    for (const auto& m : in->memo_buffers) image.append(m.data(), m.size());
    s.records.push_back(std::move(image));
  }
  EXPECT_EQ(qvf::testing::Code(), files::kRecordNotAvailable);
  files::Close(f);
  return s;
}

int32_t RecordCount(app::Table t) {
  files::FileRecord* f = app::File(t);
  files::Open(f, files::kModeReadOnly);
  if (qvf::testing::Code() != 0) return -1;
  int32_t n = files::Records(f);
  files::Close(f);
  return n;
}

using qvf::testing::RunQvf;
using qvf::testing::ToolRun;

TEST(ExchangeRoundTrip, EveryTableComesBackIdenticalThroughAFreshFolder) {
  constexpr int kRows = 3000;
  for (const app::TableDef& def : app::Tables()) {
    SCOPED_TRACE(def.label);
    const std::string generated =
        GeneratedCsv(def, kRows, 1234u + static_cast<unsigned>(def.table));
    std::string first, second, error;
    Stored stored_first, stored_second;
    ScratchFolder a;
    ASSERT_EQ(ImportTable(def.table, generated, &error), kExitOk) << error;
    ASSERT_EQ(ExportTable(def.table, nullptr, &first, &error), kExitOk) << error;
    // Values are written in one canonical form, so the generated text is
    // exactly what comes back.
    EXPECT_EQ(first, generated);
    stored_first = ReadStored(def.table);
    {
      // The second trip goes through the qvf binary.
      ScratchFolder b;
      std::ofstream("first.csv", std::ios::binary) << first;
      ToolRun import = RunQvf(std::string("import ") + def.label + " first.csv");
      ASSERT_EQ(import.exit_code, 0) << import.output;
      ToolRun exported = RunQvf(std::string("export ") + def.label + " --out second.csv");
      ASSERT_EQ(exported.exit_code, 0) << exported.output;
      std::ifstream in("second.csv", std::ios::binary);
      second.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      stored_second = ReadStored(def.table);
      EXPECT_EQ(RunQvf(std::string("check ") + def.label + ".QVF").exit_code, 0);
    }
    EXPECT_EQ(second, first);
    ASSERT_EQ(stored_first.records.size(), static_cast<size_t>(kRows));
    EXPECT_TRUE(stored_first.records == stored_second.records);
  }
}

TEST(ExchangeImport, DuplicateKeyOnTheLastLineKeepsNothing) {
  ScratchFolder folder;
  const app::TableDef& def = app::Def(app::Table::kCompanies);
  std::string error;
  ASSERT_EQ(ImportTable(def.table, GeneratedCsv(def, 50, 7), &error), kExitOk) << error;
  std::string before;
  ASSERT_EQ(ExportTable(def.table, nullptr, &before, &error), kExitOk);

  // 300 new companies (51..350), then one more reusing reference 200.
  std::mt19937 rng(8);
  std::string more = CsvLine(ColumnNames(def));
  for (int r = 51; r <= 350; ++r) more += CsvLine(RandomRow(rng, def, r));
  more += CsvLine(RandomRow(rng, def, 200));
  std::ofstream("more.csv", std::ios::binary) << more;

  ToolRun run = RunQvf("import COMPANIES more.csv");
  EXPECT_EQ(run.exit_code, kExitFailed);
  EXPECT_EQ(run.output, "line 302: Creates Duplicate Key (40)\n");
  EXPECT_EQ(RecordCount(def.table), 50);
  std::string after;
  ASSERT_EQ(ExportTable(def.table, nullptr, &after, &error), kExitOk);
  EXPECT_EQ(after, before);
  ToolRun check = RunQvf("check COMPANIES.QVF");
  EXPECT_EQ(check.exit_code, 0) << check.output;
  // Without the duplicate the same rows go in.
  more.resize(more.rfind("200,"));
  ASSERT_EQ(ImportTable(def.table, more, &error), kExitOk) << error;
  EXPECT_EQ(RecordCount(def.table), 350);
}

// Rows of an auto-numbered table without their number are numbered as the
// insert form numbers them, one above the highest: a row kept as 0 would be
// missing from the number order, and nothing would bound how many there are.
TEST(ExchangeImport, RowsWithoutTheirNumberAreNumberedAsTheFormWould) {
  ScratchFolder folder;
  const app::Table t = app::Table::kCompanies;
  std::string error;
  ASSERT_EQ(
      ImportTable(t, "COM:COMPANY_REFERENCE,COM:COMPANY\r\n5,five\r\n,blank\r\n0,zero\r\n", &error),
      kExitOk)
      << error;
  ASSERT_EQ(ImportTable(t, "COM:COMPANY\r\nno column\r\n", &error), kExitOk) << error;
  std::string csv;
  ASSERT_EQ(ExportTable(t, app::Key(t, 1), &csv, &error), kExitOk) << error;
  std::vector<std::string> lines;
  for (size_t at = csv.find("\r\n") + 2; at < csv.size(); at = csv.find("\r\n", at) + 2)
    lines.push_back(csv.substr(at, csv.find(',', csv.find(',', at) + 1) - at));
  EXPECT_EQ(lines, (std::vector<std::string>{"5,five", "6,blank", "7,zero", "8,no column"}));

  // Past the highest number a SHORT holds there is none left: the import
  // stops at that row and keeps nothing.
  EXPECT_EQ(ImportTable(t, "COM:COMPANY_REFERENCE,COM:COMPANY\r\n32767,last\r\n,none\r\n", &error),
            kExitFailed);
  EXPECT_EQ(
      error,
      "line 3: COM:COMPANY_REFERENCE cannot be numbered: the highest number, 32767, is in use");
  EXPECT_EQ(RecordCount(t), 4);

  // Through the tool, into items: each row gets its own code.
  std::string items = "ITE:ITEM\r\n";
  for (int i = 0; i < 40; ++i) items += "thing " + std::to_string(i) + "\r\n";
  std::ofstream("items.csv", std::ios::binary) << items;
  ToolRun run = RunQvf("import ITEMS items.csv");
  EXPECT_EQ(run.exit_code, kExitOk) << run.output;
  run = RunQvf("export ITEMS --key ITE:CODE");
  EXPECT_EQ(run.exit_code, kExitOk) << run.output;
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 41);
  EXPECT_NE(run.output.find("\r\n40,"), std::string::npos);
  EXPECT_EQ(RunQvf("check ITEMS.QVF").exit_code, 0);
}

struct BadRow {
  const char* what;
  std::string row;  // CSV text of the failing row (SERVICE)
  std::string error;
};

TEST(ExchangeImport, EachKindOfBadRowStopsTheImportAtItsLine) {
  const app::TableDef& def = app::Def(app::Table::kService);
  // Lines: 1 header, 2-3 a row whose reference text spans two lines, 4-6
  // plain rows, 7 the row under test.
  const std::string good = CsvLine(ColumnNames(def)) +
                           "1,3,\"Fix\r\nIt Ltd\",4,2024-01-31,12.50,\"ref, one\",2024-02-01,\r\n"
                           "2,3,B,4,,0.00,r,,2025-06-30\r\n"
                           "3,3,C,4,,-1.25,r,,\r\n"
                           "4,3,D,4,,7,r,,\r\n";
  const BadRow cases[] = {
      {"duplicate key", "4,1,E,1,,1.00,r,,", "line 7: Creates Duplicate Key (40)"},
      {"bad number", "5,x1,E,1,,1.00,r,,", "line 7: SER:COMPANY_CODE: bad number \"x1\""},
      {"too many places", "5,1,E,1,,1.005,r,,",
       "line 7: SER:COST_OF_SERVICE: more than 2 decimal places in \"1.005\""},
      {"bad date", "5,1,E,1,2026-02-30,1.00,r,,",
       "line 7: SER:DATE_OF_SERVICE: bad date \"2026-02-30\""},
      {"too few columns", "5,1,E,1,,1.00,r,", "line 7: 8 columns where the table has 9"},
      {"too many columns", "5,1,E,1,,1.00,r,,,", "line 7: 10 columns where the table has 9"},
      {"character the records cannot hold", "5,1,\xE2\x98\x83,1,,1.00,r,,",
       "line 7: SER:COMPANY: the character \xE2\x98\x83 (U+2603) cannot be held by the "
       "records' character set"},
      {"text longer than its field", "5,1," + std::string(31, 'L') + ",1,,1.00,r,,",
       "line 7: SER:COMPANY: text of 31 characters is longer than the field's 30"},
      {"unclosed quote", "5,1,\"E,1,,1.00,r,,", "line 7: a quoted field is not closed"},
  };
  for (const BadRow& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    std::string error;
    // On a missing file: the file made for the import goes again.
    EXPECT_EQ(ImportTable(def.table, good + c.row + "\r\n5,1,F,1,,1,r,,\r\n", &error), kExitFailed);
    EXPECT_EQ(error, c.error);
    EXPECT_FALSE(std::filesystem::exists("SERVICE.QVF"));
    // On an existing table: it keeps what it had.
    ASSERT_EQ(ImportTable(def.table, CsvLine(ColumnNames(def)) + "9,9,Z,9,,0,z,,\r\n", &error),
              kExitOk)
        << error;
    EXPECT_EQ(ImportTable(def.table, good + c.row + "\r\n", &error), kExitFailed);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(RecordCount(def.table), 1);
  }
}

TEST(ExchangeImport, HeaderMustNameTheTablesColumns) {
  ScratchFolder folder;
  std::string error;
  EXPECT_EQ(ImportTable(app::Table::kLocations, "LOC:PLACE\r\nx\r\n", &error), kExitFailed);
  EXPECT_EQ(error, "line 1: unknown column \"LOC:PLACE\"; the table's columns are LOC:LOCATION");
  EXPECT_EQ(ImportTable(app::Table::kLocations, "", &error), kExitFailed);
  EXPECT_EQ(error, "line 1: no header row");
  // Names are matched without regard to case; a byte order mark is skipped.
  EXPECT_EQ(ImportTable(app::Table::kLocations, "\xEF\xBB\xBFloc:location\nHall\n", &error),
            kExitOk)
      << error;
}

// A spreadsheet's columns: any order, any subset; what is left out is blank,
// and the export writes the table's own order again. An unknown column stops
// the import by its name, and nothing of it is kept.
TEST(ExchangeImport, ColumnsInAnyOrderAndAnySubset) {
  ScratchFolder folder;
  std::string error;
  const app::Table t = app::Table::kService;
  ASSERT_EQ(ImportTable(t,
                        "SER:DATE_NEXT_SERVICE,ser:company,SER:SERVICE_REFERENCE\r\n"
                        "2026-07-01,\"Fix, It\",2\r\n"
                        ",B,1\r\n",
                        &error),
            kExitOk)
      << error;
  std::string csv;
  ASSERT_EQ(ExportTable(t, nullptr, &csv, &error), kExitOk);
  EXPECT_EQ(csv, CsvLine(ColumnNames(app::Def(t))) +
                     "2,0,\"Fix, It\",0,,0.00,,,2026-07-01\r\n"
                     "1,0,B,0,,0.00,,,\r\n");

  EXPECT_EQ(ImportTable(t, "SER:SERVICE_REFERENCE,SER:COLOUR\r\n3,red\r\n", &error), kExitFailed);
  const std::string header = CsvLine(ColumnNames(app::Def(t)));
  EXPECT_EQ(error, "line 1: unknown column \"SER:COLOUR\"; the table's columns are " +
                       header.substr(0, header.size() - 2));
  EXPECT_EQ(ImportTable(t, "SER:COMPANY,SER:SERVICE_REFERENCE\r\nC,3\r\nD\r\n", &error),
            kExitFailed);
  EXPECT_EQ(error, "line 3: 1 columns where the header has 2");
  EXPECT_EQ(RecordCount(t), 2);
}

TEST(ExchangeExport, RowsFollowTheChosenKeyOrRecordOrder) {
  ScratchFolder folder;
  const app::TableDef& def = app::Def(app::Table::kCompanies);
  const std::string header = CsvLine(ColumnNames(def));
  // Company 4 has a blank name: COM:NAME, an optional key, has no entry
  // for it.
  const std::string rows[] = {"1,beta,,,,,,,,,\r\n", "4,,,,,,,,,,\r\n", "2,Alpha,,,,,,,,,\r\n",
                              "3,gamma,,,,,,,,,\r\n"};
  const std::string all = header + rows[0] + rows[1] + rows[2] + rows[3];
  std::string error, csv;
  ASSERT_EQ(ImportTable(def.table, all, &error), kExitOk) << error;
  ASSERT_EQ(ExportTable(def.table, nullptr, &csv, &error), kExitOk);
  EXPECT_EQ(csv, all);
  // Case does not matter in COM:NAME; the record the key leaves out comes last.
  ASSERT_EQ(ExportTable(def.table, FindKey(def.table, "NAME"), &csv, &error), kExitOk);
  EXPECT_EQ(csv, header + rows[2] + rows[0] + rows[3] + rows[1]);

  // Through the binary: --out, --key by full name, rebuild, and refusals.
  ToolRun run = RunQvf("export companies --key COM:NAME --out by_name.csv");
  EXPECT_EQ(run.exit_code, 0) << run.output;
  std::ifstream in("by_name.csv", std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, csv);
  run = RunQvf("rebuild COMPANIES");
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(run.output, "COMPANIES: 2 keys rebuilt over 4 records\n");
  std::string rebuilt;
  ASSERT_EQ(ExportTable(def.table, FindKey(def.table, "COM:NAME"), &rebuilt, &error), kExitOk);
  EXPECT_EQ(rebuilt, csv);
  EXPECT_EQ(RunQvf("check COMPANIES.QVF").exit_code, 0);
  EXPECT_EQ(RunQvf("export COMPANIES --key ITE:LOC").exit_code, kExitUsage);
  EXPECT_EQ(RunQvf("export NOSUCH").exit_code, kExitUsage);
  EXPECT_EQ(RunQvf("export POLICY").exit_code, kExitUsage);  // no such file here
  // A CSV that cannot be read is an input failure, not a wrong use.
  EXPECT_EQ(RunQvf("import COMPANIES missing.csv").exit_code, kExitFailed);
}

}  // namespace
}  // namespace vorsandt::tools
