// The sample household loads into an empty folder with the documented script,
// comes back from the tables exactly as written, passes the storage check, and
// hangs together: every reference between tables names a record that exists.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/exchange/csv.h"

namespace vorsandt {
namespace {

namespace fs = std::filesystem;

struct ShellRun {
  int exit_code = -1;
  std::string output;
};

ShellRun Shell(const std::string& command) {
  ShellRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
  int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::vector<std::vector<std::string>> Parse(const std::string& text, const std::string& what) {
  std::vector<exchange::CsvRow> rows;
  std::string error;
  int line = 0;
  EXPECT_TRUE(exchange::ParseCsv(text, &rows, &error, &line)) << what << ":" << line << ": " << error;
  std::vector<std::vector<std::string>> out;
  for (const exchange::CsvRow& r : rows) out.push_back(r.fields);
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// One table of the sample: its header and rows, with columns by name.
struct Sample {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;

  size_t Column(const std::string& name) const {
    auto it = std::find(header.begin(), header.end(), name);
    EXPECT_NE(it, header.end()) << name;
    return static_cast<size_t>(it - header.begin());
  }
  std::vector<std::string> Values(const std::string& name) const {
    size_t c = Column(name);
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(c < r.size() ? r[c] : std::string());
    return out;
  }
};

// The household keeps no documents (their files would have to come with
// it), and no inventory check was made in it yet.
bool InSample(app::Table t) { return t != app::Table::kDocuments && t != app::Table::kChecks; }

Sample Load(const std::string& label) {
  Sample s;
  auto rows = Parse(ReadFile(fs::path(SAMPLE_DATA_DIR) / (label + ".csv")), label);
  if (rows.empty()) return s;
  s.header = rows.front();
  s.rows.assign(rows.begin() + 1, rows.end());
  return s;
}

class SampleDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vorsandt-sample-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  ShellRun Qvf(const std::string& args) {
    return Shell("cd " + Quoted(dir_) + " && " + Quoted(QVF_BINARY) + " " + args);
  }
  ShellRun LoadScript() { return Shell(Quoted(LOAD_SCRIPT) + " " + Quoted(QVF_BINARY) + " " + Quoted(dir_)); }

  std::string dir_;
};

TEST_F(SampleDataTest, LoadsIntoAnEmptyFolderAndComesBackAsWritten) {
  ShellRun load = LoadScript();
  ASSERT_EQ(load.exit_code, 0) << load.output;
  for (const app::TableDef& t : app::Tables()) {
    if (!InSample(t.table)) continue;
    SCOPED_TRACE(t.label);
    Sample written = Load(t.label);
    ASSERT_FALSE(written.rows.empty());
    ShellRun exported = Qvf(std::string("export ") + t.label);
    ASSERT_EQ(exported.exit_code, 0) << exported.output;
    auto back = Parse(exported.output, t.label);
    ASSERT_EQ(back.size(), written.rows.size() + 1) << "records in the table";
    EXPECT_EQ(back.front(), written.header);
    // Nothing was cut to fit or changed on the way in.
    for (size_t i = 0; i < written.rows.size(); ++i) EXPECT_EQ(back[i + 1], written.rows[i]) << "row " << i + 1;
    ShellRun check = Qvf(std::string("check ") + t.label + ".QVF");
    EXPECT_EQ(check.exit_code, 0) << check.output;
  }
}

TEST_F(SampleDataTest, LoadingRefusesAFolderThatHasTablesAndChangesNothing) {
  ASSERT_EQ(LoadScript().exit_code, 0);
  std::string before = ReadFile(fs::path(dir_) / "ITEMS.QVF");
  ShellRun again = LoadScript();
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.output.find("already holds tables"), std::string::npos) << again.output;
  EXPECT_EQ(ReadFile(fs::path(dir_) / "ITEMS.QVF"), before);
  ShellRun items = Qvf("export ITEMS");
  EXPECT_EQ(Parse(items.output, "ITEMS").size(), Load("ITEMS").rows.size() + 1);
}

TEST(SampleDataRelationsTest, EveryReferenceNamesARecordThatExists) {
  std::map<std::string, Sample> samples;
  for (const app::TableDef& t : app::Tables()) {
    if (InSample(t.table)) samples[t.label] = Load(t.label);
  }
  auto label = [](app::Table t) { return std::string(app::Def(t).label); };
  struct Link {
    std::string parent_table, parent_field, child_table, child_field;
    bool blank_allowed;
  };
  std::vector<Link> links;
  for (const app::RelationDef& r : app::Relations()) {
    if (!InSample(r.child)) continue;
    // A blank text reference leaves the record out of its optional key: an
    // item not yet insured. A number 0 would point at nothing.
    bool text = app::FieldNamed(r.child_field)->type == 18;
    links.push_back({label(r.parent), r.parent_field, label(r.child), r.child_field, text});
  }
  links.push_back({"ITEMS", "ITE:ITEM_CODE", "CLAIM", "CLA:ITEM_REFERENCE", false});
  ASSERT_EQ(links.size(), 7u);
  for (const Link& l : links) {
    SCOPED_TRACE(l.child_field + " -> " + l.parent_field);
    std::set<std::string> keys;
    for (const std::string& v : samples[l.parent_table].Values(l.parent_field)) keys.insert(Upper(v));
    std::set<std::string> used;
    for (const std::string& v : samples[l.child_table].Values(l.child_field)) {
      if (v.empty() && l.blank_allowed) continue;
      EXPECT_TRUE(keys.count(Upper(v))) << "\"" << v << "\" names no record";
      used.insert(Upper(v));
    }
    EXPECT_FALSE(used.empty());
  }
  // The copied names agree with the records they were copied from.
  const struct {
    const char* table; const char* code; const char* name;
    const char* parent; const char* parent_code; const char* parent_name;
  } copies[] = {
      {"POLICY", "POL:INSURER_CODE", "POL:INSURER", "INSURANCE_COMPANY", "INS:REFERENCE", "INS:COMPANY"},
      {"SERVICE", "SER:COMPANY_CODE", "SER:COMPANY", "COMPANIES", "COM:COMPANY_REFERENCE", "COM:COMPANY"},
  };
  for (const auto& c : copies) {
    std::map<std::string, std::string> names;
    auto codes = samples[c.parent].Values(c.parent_code);
    auto parent_names = samples[c.parent].Values(c.parent_name);
    for (size_t i = 0; i < codes.size(); ++i) names[codes[i]] = parent_names[i];
    auto child_codes = samples[c.table].Values(c.code);
    auto child_names = samples[c.table].Values(c.name);
    for (size_t i = 0; i < child_codes.size(); ++i) EXPECT_EQ(child_names[i], names[child_codes[i]]) << c.name;
  }
}

// Enough to page through and to see every kind of record: a few hundred
// items spread over every room, two insurers, several policies each with
// items, and some claims, services and warranty repairs.
TEST(SampleDataRelationsTest, AHouseholdWorthBrowsing) {
  Sample items = Load("ITEMS");
  EXPECT_GE(items.rows.size(), 200u);
  EXPECT_LE(items.rows.size(), 500u);
  std::set<std::string> rooms_used, policies_used;
  for (const std::string& v : items.Values("ITE:LOCATION")) rooms_used.insert(Upper(v));
  for (const std::string& v : items.Values("ITE:POLICY_REFERENCE")) policies_used.insert(Upper(v));
  for (const std::string& room : Load("LOCATIONS").Values("LOC:LOCATION")) {
    EXPECT_TRUE(rooms_used.count(Upper(room))) << room << " has no items";
  }
  // A buildings policy covers the house, not the things in it.
  Sample policies = Load("POLICY");
  auto types = policies.Values("POL:POLICY_TYPE");
  auto references = policies.Values("POL:POLICY_REFERENCE");
  for (size_t i = 0; i < references.size(); ++i) {
    if (types[i] == "BUILDINGS") continue;
    EXPECT_TRUE(policies_used.count(Upper(references[i]))) << references[i] << " covers nothing";
  }
  EXPECT_EQ(Load("INSURANCE_COMPANY").rows.size(), 2u);
  EXPECT_GE(Load("POLICY").rows.size(), 4u);
  EXPECT_GE(Load("CLAIM").rows.size(), 5u);
  EXPECT_GE(Load("SERVICE").rows.size(), 20u);
  EXPECT_GE(Load("WARRANTY").rows.size(), 10u);
  EXPECT_GE(Load("COMPANIES").rows.size(), 5u);
}

}  // namespace
}  // namespace vorsandt
