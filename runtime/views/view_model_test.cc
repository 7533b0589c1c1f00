// The application's real filters and report views against a brute-force
// model on generated data: the same rows, and ranged filters read no more
// records than the range holds plus the one that ends it.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "runtime/eval/expression.h"
#include "runtime/files/error_codes.h"
#include "runtime/format/characters.h"
#include "runtime/views/view_engine.h"
#include "runtime/views/view_test_support.h"

namespace vorsandt::views {
namespace {

using app::Table;
using testing::Code;
using testing::Number;
using testing::ReadCount;
using testing::ResetReads;
using testing::Set;
using testing::TableFile;
using testing::Text;

constexpr Table kAll[] = {
    Table::kCompanies, Table::kService, Table::kWarranty,         Table::kClaim,
    Table::kLocations, Table::kItems,   Table::kInsuranceCompany, Table::kPolicy};

std::string Value(const char* field) {
  return IsTextField(testing::Info(field)) ? Text(field) : std::to_string(Number(field));
}

std::string RandomCase(std::mt19937& rng, std::string s) {
  for (char& c : s) {
    if (rng() % 2) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

class ViewModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::OpenTables({kAll[0], kAll[1], kAll[2], kAll[3], kAll[4], kAll[5], kAll[6], kAll[7]});
    std::mt19937 rng(20261208);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int i = 1; i <= 5; ++i) {
      testing::Blank(Table::kCompanies);
      Set("COM:COMPANY_REFERENCE", i);
      Set("COM:COMPANY", "Company " + std::to_string(i));
      testing::AddRecord(Table::kCompanies);
      testing::Blank(Table::kInsuranceCompany);
      Set("INS:REFERENCE", i);
      Set("INS:COMPANY", "Insurer " + std::to_string(6 - i));
      testing::AddRecord(Table::kInsuranceCompany);
    }
    for (const char* l : {"Kitchen", "Loft", "Garage", "Attic", "Cellar"}) {
      testing::Blank(Table::kLocations);
      Set("LOC:LOCATION", l);
      testing::AddRecord(Table::kLocations);
    }
    for (int i = 1; i <= 14; ++i) {
      testing::Blank(Table::kPolicy);
      Set("POL:POLICY_REFERENCE", "POL-" + std::to_string(i));
      Set("POL:INSURER_CODE", 1 + pick(6));  // 6 has no insurer
      testing::AddRecord(Table::kPolicy);
    }
    const char* places[] = {"Kitchen", "KITCHEN", "kitchen", "Loft", "Garage", "Attic", ""};
    for (int i = 1; i <= 120; ++i) {
      testing::Blank(Table::kItems);
      Set("ITE:ITEM_CODE", i);
      Set("ITE:ITEM", "item " + std::to_string(pick(50)));
      Set("ITE:LOCATION", places[pick(7)]);
      const int policy = pick(16);
      Set("ITE:POLICY_REFERENCE",
          policy == 0 ? std::string() : RandomCase(rng, "POL-" + std::to_string(policy)));
      testing::AddRecord(Table::kItems);
    }
    for (int i = 1; i <= 100; ++i) {
      testing::Blank(Table::kClaim);
      Set("CLA:CLAIM_REFERENCE", i);
      Set("CLA:ITEM_REFERENCE", 1 + pick(130));
      testing::AddRecord(Table::kClaim);
      testing::Blank(Table::kService);
      Set("SER:SERVICE_REFERENCE", i);
      Set("SER:ITEM_REFERENCE", 1 + pick(130));
      Set("SER:COMPANY_CODE", 1 + pick(6));
      testing::AddRecord(Table::kService);
    }
    for (int i = 1; i <= 60; ++i) {
      testing::Blank(Table::kWarranty);
      Set("WAN:WARRANTY_REFERENCE", i);
      Set("WAN:ITEM_REFERENCE", 1 + pick(130));
      testing::AddRecord(Table::kWarranty);
    }
  }
  void TearDown() override {
    testing::CloseTables({kAll[0], kAll[1], kAll[2], kAll[3], kAll[4], kAll[5], kAll[6], kAll[7]});
  }

  testing::ScratchFolder folder_;
};

struct BrowseCase {
  Table table;
  const char* key;
  const char* filter;
  const char* id;            // a unique field of the table
  const char* parent_field;  // the outside record the filter compares with
  std::vector<std::string> parent_values;
};

TEST_F(ViewModelTest, BrowseFiltersGiveTheModelsRowsReadingOnlyTheirRange) {
  const std::vector<std::string> items = {"1", "7", "42", "99", "125", "0"};
  const std::vector<std::string> companies = {"1", "2", "3", "5", "6", "0"};
  const BrowseCase cases[] = {
      {Table::kPolicy, "POL:COMPANY",
       "UPPER(POL:INSURER_CODE) = UPPER(INS:REFERENCE) AND (POL:INSURER_CODE = INS:REFERENCE)",
       "POL:POLICY_REFERENCE", "INS:REFERENCE", companies},
      {Table::kPolicy, "POL:COMPANY", "(POL:INSURER_CODE = INS:REFERENCE)", "POL:POLICY_REFERENCE",
       "INS:REFERENCE", companies},
      {Table::kClaim, "CLA:ITEM_REF",
       "CLA:ITEM_REFERENCE = ITE:ITEM_CODE AND (cla:item_reference = ite:item_code)",
       "CLA:CLAIM_REFERENCE", "ITE:ITEM_CODE", items},
      {Table::kClaim, "CLA:ITEM_REF", "CLA:ITEM_REFERENCE = ITE:ITEM_CODE", "CLA:CLAIM_REFERENCE",
       "ITE:ITEM_CODE", items},
      {Table::kWarranty, "WAN:ITEM", "WAN:ITEM_REFERENCE = ITE:ITEM_CODE", "WAN:WARRANTY_REFERENCE",
       "ITE:ITEM_CODE", items},
      {Table::kService, "SER:CODE", "SER:COMPANY_CODE = COM:COMPANY_REFERENCE",
       "SER:SERVICE_REFERENCE", "COM:COMPANY_REFERENCE", companies},
      {Table::kService, "SER:ITEM", "SER:ITEM_REFERENCE = ITE:ITEM_CODE", "SER:SERVICE_REFERENCE",
       "ITE:ITEM_CODE", items},
      {Table::kItems,
       "ITE:POLICY",
       "UPPER(ITE:POLICY_REFERENCE) = UPPER(POL:POLICY_REFERENCE)",
       "ITE:ITEM_CODE",
       "POL:POLICY_REFERENCE",
       {"POL-1", "pol-3", "Pol-15", "POL-99", ""}},
      {Table::kItems,
       "ITE:LOC",
       "UPPER(ITE:LOCATION) = UPPER(LOC:LOCATION)",
       "ITE:ITEM_CODE",
       "LOC:LOCATION",
       {"Kitchen", "loft", "GARAGE", "Attic", "Cellar", "", "Kitchen2"}},
  };
  size_t total = 0;
  for (const BrowseCase& c : cases) {
    files::FileRecord* f = TableFile(c.table);
    const files::KeyDecl* key = app::KeyNamed(c.key);
    ASSERT_NE(key, nullptr);
    for (const std::string& parent : c.parent_values) {
      SCOPED_TRACE(std::string(c.filter) + " with " + parent);
      Set(c.parent_field, parent);
      // The model: every record in key order, kept when the filter holds.
      std::vector<std::string> model;
      eval::Expression filter = eval::Expression::Compile(c.filter);
      ASSERT_TRUE(filter.ok());
      files::SetKey(f, key);
      for (;;) {
        files::Next(f);
        if (Code() != 0) break;
        if (filter.IsTrue()) model.push_back(Value(c.id));
      }
      ASSERT_EQ(Code(), files::kRecordNotAvailable);

      std::vector<uint8_t> layout = ViewLayoutBuilder().LevelAllFields({}).Finish();
      ViewFileList list{f, nullptr, 0};
      ViewRecord view(layout.data(), layout.size(), &list);
      files::SetKey(f, key);
      files::SetFilter(&view, 31928, c.filter);
      files::Open(&view, files::kModeViewDefault);
      ASSERT_EQ(Code(), 0);
      EXPECT_EQ(Inspect(&view).range_components, 1);
      ResetReads();
      std::vector<std::string> rows;
      for (;;) {
        files::Next(&view);
        if (Code() != 0) break;
        rows.push_back(Value(c.id));
      }
      EXPECT_EQ(Code(), files::kRecordNotAvailable);
      EXPECT_EQ(rows, model);
      total += model.size();
      EXPECT_LE(ReadCount(), static_cast<int64_t>(model.size()) + 1);
      files::Close(&view);
    }
  }
  EXPECT_GT(total, 150u);  // the generated data gives the filters rows to find
}

// One level of the model: a table's records in key order with the value of
// the field the level is linked by.
struct ModelRecord {
  std::string id;
  std::string link;
};
std::vector<ModelRecord> ReadInKeyOrder(Table t, const char* key, const char* id,
                                        const char* link) {
  std::vector<ModelRecord> out;
  files::SetKey(TableFile(t), app::KeyNamed(key));
  for (;;) {
    files::Next(TableFile(t));
    if (Code() != 0) break;
    out.push_back({Value(id), link ? format::ToUpperText(Value(link)) : ""});
  }
  return out;
}

TEST_F(ViewModelTest, ReportViewsGiveTheModelsRows) {
  {
    // Locations with their items.
    auto locations = ReadInKeyOrder(Table::kLocations, "LOC:LOC", "LOC:LOCATION", nullptr);
    auto items = ReadInKeyOrder(Table::kItems, "ITE:LOC", "ITE:ITEM_CODE", "ITE:LOCATION");
    std::vector<std::string> model;
    for (const ModelRecord& l : locations) {
      bool any = false;
      for (const ModelRecord& i : items) {
        if (i.link == format::ToUpperText(l.id)) {
          model.push_back(l.id + "|" + i.id);
          any = true;
        }
      }
      if (!any) model.push_back(l.id + "|0");
    }
    std::vector<uint8_t> layout =
        ViewLayoutBuilder().Level({}, {1}).Child().Level({1}, {1, 3, 14}).Finish();
    const files::KeyDecl* keys[] = {app::KeyNamed("ITE:LOC")};
    ViewFileList list{TableFile(Table::kLocations), keys, 1};
    ViewRecord view(layout.data(), layout.size(), &list);
    files::SetKey(TableFile(Table::kLocations), app::KeyNamed("LOC:LOC"));
    files::Open(&view, files::kModeViewDefault);
    ASSERT_EQ(Code(), 0);
    std::vector<std::string> rows;
    while (files::Next(&view), Code() == 0) {
      rows.push_back(Value("LOC:LOCATION") + "|" + Value("ITE:ITEM_CODE"));
    }
    EXPECT_EQ(rows, model);
    EXPECT_GT(rows.size(), 60u);
    files::Close(&view);
  }
  {
    // Insurance companies with their policies and the items they cover.
    auto insurers = ReadInKeyOrder(Table::kInsuranceCompany, "INS:REF", "INS:REFERENCE", nullptr);
    auto policies =
        ReadInKeyOrder(Table::kPolicy, "POL:COMPANY", "POL:POLICY_REFERENCE", "POL:INSURER_CODE");
    auto items =
        ReadInKeyOrder(Table::kItems, "ITE:POLICY", "ITE:ITEM_CODE", "ITE:POLICY_REFERENCE");
    std::vector<std::string> model;
    for (const ModelRecord& in : insurers) {
      bool any_policy = false;
      for (const ModelRecord& p : policies) {
        if (p.link != in.id) continue;
        any_policy = true;
        bool any_item = false;
        for (const ModelRecord& i : items) {
          if (i.link == format::ToUpperText(p.id)) {
            model.push_back(in.id + "|" + p.id + "|" + i.id);
            any_item = true;
          }
        }
        if (!any_item) model.push_back(in.id + "|" + p.id + "|0");
      }
      if (!any_policy) model.push_back(in.id + "||0");
    }
    std::vector<uint8_t> layout = ViewLayoutBuilder()
                                      .Level({}, {1, 2})
                                      .Child()
                                      .Level({1}, {1, 2, 3, 4, 5})
                                      .Child()
                                      .Level({1}, {1, 2, 3, 4, 5, 6, 7, 8})
                                      .Finish();
    const files::KeyDecl* keys[] = {app::KeyNamed("POL:COMPANY"), app::KeyNamed("ITE:POLICY")};
    ViewFileList list{TableFile(Table::kInsuranceCompany), keys, 2};
    ViewRecord view(layout.data(), layout.size(), &list);
    files::SetKey(TableFile(Table::kInsuranceCompany), app::KeyNamed("INS:REF"));
    files::Open(&view, files::kModeViewDefault);
    ASSERT_EQ(Code(), 0);
    std::vector<std::string> rows;
    while (files::Next(&view), Code() == 0) {
      rows.push_back(Value("INS:REFERENCE") + "|" + Value("POL:POLICY_REFERENCE") + "|" +
                     Value("ITE:ITEM_CODE"));
    }
    EXPECT_EQ(rows, model);
    EXPECT_GT(rows.size(), 20u);
    files::Close(&view);
  }
}

}  // namespace
}  // namespace vorsandt::views
