// The delete and change routines over real QVF tables in a temporary folder:
// what each cascade removes or re-links, what it leaves alone, and that a
// failure anywhere in a cascade leaves every table as it was.
#include "app/integrity/integrity.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/messages/table_opening.h"
#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/qvf_driver.h"

namespace vorsandt::app {
namespace {

// An armed failure: operation `op` on `table` fails with `code` after `skip`
// calls that succeed. Counts the rewrites of every table.
struct Fault {
  Table table = Table::kPolicy;
  int32_t op = 0;
  int32_t code = 0;
  int skip = 0;
  bool armed = false;
};
Fault g_fault;
int g_puts[kTableCount] = {};
int g_writes = 0;  // adds, rewrites and deletes of any table

bool Is(files::AccessObject* object, Table t) {
  return static_cast<files::FileRecord*>(object)->declaration == File(t);
}

int32_t TestEntry(int32_t op, files::AccessObject* object, const files::Args& args) {
  for (int t = 0; t < kTableCount; ++t) {
    if (op == files::kOpPut && Is(object, static_cast<Table>(t))) ++g_puts[t];
  }
  if (op == files::kOpPut || op == files::kOpAdd || op == files::kOpDelete) ++g_writes;
  if (g_fault.armed && op == g_fault.op && Is(object, g_fault.table)) {
    if (g_fault.skip > 0) {
      --g_fault.skip;
    } else {
      g_fault.armed = false;
      files::Errors().Post(g_fault.code);
      return 0;
    }
  }
  return qvf::QvfEntry(op, object, args);
}

std::vector<std::string> g_messages;
void Collect(MessageId id, std::string_view t1, std::string_view t2) {
  g_messages.push_back(std::to_string(static_cast<int>(id)) + " " + std::string(t1) +
                       (t2.empty() ? "" : " " + std::string(t2)));
}

files::FieldBytes Bytes(const char* name) {
  Table t;
  EXPECT_TRUE(TableOfName(name, &t)) << name;
  const FieldDef* f = FieldNamed(name);
  return {f->type, files::RecordBuffer(File(t)) + f->offset, f->size, f->places};
}
void Set(const char* name, const std::string& text) { files::WriteText(Bytes(name), text); }
void Set(const char* name, double n) {
  files::WriteNumber(Bytes(name), n, files::Overflow::kRefuse);
}
std::string Text(const char* name) {
  std::string s = files::ReadText(Bytes(name)).value_or("");
  return std::string(TrimRight(s));
}
double Number(const char* name) { return files::ReadNumber(Bytes(name)).value_or(-1); }

void Clear(Table t) {
  for (const FieldDef& f : Def(t).fields) {
    files::FieldBytes b{f.type, files::RecordBuffer(File(t)) + f.offset, f.size, f.places};
    if (files::IsTextType(f.type)) {
      files::WriteText(b, "");
    } else {
      files::WriteNumber(b, 0, files::Overflow::kSaturate);
    }
  }
}

void Add(Table t) {
  files::Add(File(t));
  ASSERT_EQ(files::Errors().Code(), 0) << Def(t).label;
}

// Reads the record of `t` whose primary key field `field` holds `value`.
bool Get(Table t, const char* field, const std::string& text) {
  Clear(t);
  Set(field, text);
  files::GetByKey(File(t), Key(t, 1));
  return files::Errors().Code() == 0;
}
bool Get(Table t, const char* field, double n) {
  Clear(t);
  Set(field, n);
  files::GetByKey(File(t), Key(t, 1));
  return files::Errors().Code() == 0;
}

int Count(Table t) { return files::Records(File(t)); }

class IntegrityTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitDictionary(&TestEntry);
    SetIntegrityReporter(&Collect);
  }

  void SetUp() override {
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "integrity_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    std::filesystem::current_path(folder_);
    for (const TableDef& d : Tables()) OpenTable(d.table);
    Fill();
    g_messages.clear();
    g_fault = Fault();
    std::memset(g_puts, 0, sizeof g_puts);
    g_writes = 0;
  }
  void TearDown() override {
    if (files::InTransaction()) files::Rollback();
    for (const TableDef& d : Tables()) {
      ForgetParentValue(d.table);
      CloseTable(d.table);
    }
    files::Errors().Clear();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(folder_);
  }

  // Starts again from the tables Fill makes.
  void Refill() {
    for (const TableDef& d : Tables()) CloseTable(d.table);
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      std::filesystem::remove_all(entry.path());
    }
    for (const TableDef& d : Tables()) OpenTable(d.table);
    Fill();
  }

  // Two insurers; insurer 1 holds policies PA and PB, insurer 2 policy PC.
  // Items 1 and 2 on PA, 3 on PB, 4 on PC; locations Attic (item 1),
  // Kitchen (2, 3), Lounge (4). Service for items 1, 3, 4 (companies 1 and
  // 2), warranty for items 2, 3, 4, a claim for item 3.
  static void Fill() {
    for (int i = 1; i <= 2; ++i) {
      Clear(Table::kInsuranceCompany);
      Set("INS:REFERENCE", i);
      Set("INS:COMPANY", "INSURER " + std::to_string(i));
      Add(Table::kInsuranceCompany);
      Clear(Table::kCompanies);
      Set("COM:COMPANY_REFERENCE", i);
      Add(Table::kCompanies);
    }
    const struct {
      const char* ref;
      int insurer;
    } policies[] = {{"PA", 1}, {"PB", 1}, {"PC", 2}};
    for (const auto& p : policies) {
      Clear(Table::kPolicy);
      Set("POL:POLICY_REFERENCE", p.ref);
      Set("POL:INSURER_CODE", p.insurer);
      Add(Table::kPolicy);
    }
    for (const char* loc : {"Attic", "Kitchen", "Lounge"}) {
      Clear(Table::kLocations);
      Set("LOC:LOCATION", loc);
      Add(Table::kLocations);
    }
    const struct {
      int code;
      const char* policy;
      const char* location;
    } items[] = {
        {1, "PA", "Attic"}, {2, "PA", "Kitchen"}, {3, "PB", "Kitchen"}, {4, "PC", "Lounge"}};
    for (const auto& it : items) {
      Clear(Table::kItems);
      Set("ITE:ITEM_CODE", it.code);
      Set("ITE:POLICY_REFERENCE", it.policy);
      Set("ITE:LOCATION", it.location);
      Set("ITE:ITEM", "ITEM " + std::to_string(it.code));
      Add(Table::kItems);
    }
    int n = 0;
    for (int item : {1, 3, 4}) {
      Clear(Table::kService);
      Set("SER:SERVICE_REFERENCE", ++n);
      Set("SER:ITEM_REFERENCE", item);
      Set("SER:COMPANY_CODE", item == 4 ? 2 : 1);
      Add(Table::kService);
    }
    n = 0;
    for (int item : {2, 3, 4}) {
      Clear(Table::kWarranty);
      Set("WAN:WARRANTY_REFERENCE", ++n);
      Set("WAN:ITEM_REFERENCE", item);
      Add(Table::kWarranty);
    }
    Clear(Table::kClaim);
    Set("CLA:CLAIM_REFERENCE", 1);
    Set("CLA:ITEM_REFERENCE", 3);
    Add(Table::kClaim);
  }

  static void ExpectCounts(int ins, int pol, int items, int service, int warranty, int claims) {
    EXPECT_EQ(Count(Table::kInsuranceCompany), ins);
    EXPECT_EQ(Count(Table::kPolicy), pol);
    EXPECT_EQ(Count(Table::kItems), items);
    EXPECT_EQ(Count(Table::kService), service);
    EXPECT_EQ(Count(Table::kWarranty), warranty);
    EXPECT_EQ(Count(Table::kClaim), claims);
  }

  std::filesystem::path old_;
  std::string folder_;
};

TEST_F(IntegrityTest, DeletingAnInsurerRemovesItsPoliciesItemsServiceAndWarrantyInOneCommit) {
  ASSERT_TRUE(Get(Table::kInsuranceCompany, "INS:REFERENCE", 1));
  EXPECT_EQ(DeleteRecord(Table::kInsuranceCompany), kIntegrityDone);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_FALSE(files::InTransaction());
  // Left: insurer 2, its policy PC, item 4 with its service and warranty;
  // the claim of item 3 is no part of any relation and stays.
  ExpectCounts(1, 1, 1, 1, 1, 1);
  EXPECT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PC"));
  EXPECT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 4));
  EXPECT_FALSE(Get(Table::kItems, "ITE:ITEM_CODE", 3));
  EXPECT_TRUE(Get(Table::kClaim, "CLA:CLAIM_REFERENCE", 1));
  // The routine closed what it opened: the test's own opens remain.
  EXPECT_EQ(OpenCount(Table::kService), 1);
  EXPECT_EQ(OpenCount(Table::kPolicy), 1);
}

TEST_F(IntegrityTest, AFailureAtTheLastWarrantyRecordLeavesEveryRecordInPlace) {
  // Items 2 and 3 carry one warranty record each: the second delete fails.
  g_fault = {Table::kWarranty, files::kOpDelete, files::kAccessDenied, 1, true};
  ASSERT_TRUE(Get(Table::kInsuranceCompany, "INS:REFERENCE", 1));
  EXPECT_EQ(DeleteRecord(Table::kInsuranceCompany), kIntegrityFailed);
  EXPECT_EQ(g_messages, std::vector<std::string>{"17 WARRANTY"});
  EXPECT_FALSE(files::InTransaction());
  ExpectCounts(2, 3, 4, 3, 3, 1);
  EXPECT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PA"));
  EXPECT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 2));
  EXPECT_TRUE(Get(Table::kWarranty, "WAN:WARRANTY_REFERENCE", 1));
  EXPECT_EQ(OpenCount(Table::kWarranty), 1);
}

TEST_F(IntegrityTest, ReadAndDeleteFailuresNameTheTableAndRollBack) {
  // A read fault while looking for a policy's items.
  g_fault = {Table::kItems, files::kOpNext, files::kAccessDenied, 1, true};
  ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PA"));
  EXPECT_EQ(DeleteRecord(Table::kPolicy), kIntegrityFailed);
  EXPECT_EQ(g_messages, std::vector<std::string>{"35 ITEMS"});
  ExpectCounts(2, 3, 4, 3, 3, 1);

  // The parent's own delete fails after its children went.
  g_messages.clear();
  g_fault = {Table::kPolicy, files::kOpDelete, files::kAccessDenied, 0, true};
  ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PA"));
  EXPECT_EQ(DeleteRecord(Table::kPolicy), kIntegrityFailed);
  EXPECT_EQ(g_messages, std::vector<std::string>{"17 POLICY"});
  ExpectCounts(2, 3, 4, 3, 3, 1);
}

TEST_F(IntegrityTest, ATransactionThatCannotStartIsReportedAndNothingIsDeleted) {
  ASSERT_EQ(files::Logout(1, {File(Table::kClaim)}), 0);
  ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PA"));
  EXPECT_EQ(DeleteRecord(Table::kPolicy), kIntegrityFailed);
  EXPECT_EQ(g_messages, std::vector<std::string>{"34 Delete POLICY"});
  // The routine ended the transaction it met (nothing of its own began).
  files::Rollback();
  ExpectCounts(2, 3, 4, 3, 3, 1);
}

TEST_F(IntegrityTest, DeletingAnItemKeepsItsClaims) {
  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 3));
  EXPECT_EQ(DeleteRecord(Table::kItems), kIntegrityDone);
  ExpectCounts(2, 3, 3, 2, 2, 1);
  EXPECT_TRUE(Get(Table::kClaim, "CLA:CLAIM_REFERENCE", 1));
  EXPECT_EQ(Number("CLA:ITEM_REFERENCE"), 3);
}

// Two documents of item 3, their files in the documents folder.
void AddDocumentsOfItem3() {
  std::filesystem::create_directory("documents");
  int n = 0;
  for (const char* name : {"receipt.pdf", "manual.pdf"}) {
    std::ofstream(std::string("documents/") + name) << name;
    Clear(Table::kDocuments);
    Set("DOC:DOCUMENT_REFERENCE", ++n);
    Set("DOC:ITEM_REFERENCE", 3);
    Set("DOC:FILE", name);
    Add(Table::kDocuments);
  }
}

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(IntegrityTest, DeletingAnItemPutsItsDocumentsFilesAsideOnlyWhenCommitted) {
  AddDocumentsOfItem3();
  // A delete that fails at the second document leaves records and files.
  g_fault = {Table::kDocuments, files::kOpDelete, files::kAccessDenied, 1, true};
  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 3));
  EXPECT_EQ(DeleteRecord(Table::kItems), kIntegrityFailed);
  EXPECT_EQ(g_messages, std::vector<std::string>{"17 DOCUMENTS"});
  EXPECT_EQ(Count(Table::kDocuments), 2);
  EXPECT_EQ(Contents("documents/receipt.pdf"), "receipt.pdf");
  EXPECT_FALSE(std::filesystem::exists("documents/.deleted"));

  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 3));
  EXPECT_EQ(DeleteRecord(Table::kItems), kIntegrityDone);
  EXPECT_EQ(Count(Table::kDocuments), 0);
  EXPECT_FALSE(std::filesystem::exists("documents/receipt.pdf"));
  EXPECT_EQ(Contents("documents/.deleted/receipt.pdf"), "receipt.pdf");
  EXPECT_EQ(Contents("documents/.deleted/manual.pdf"), "manual.pdf");
}

TEST_F(IntegrityTest, DeletingADocumentPutsItsFileAsideAndRenumberingAnItemRelinksThem) {
  AddDocumentsOfItem3();
  ASSERT_TRUE(Get(Table::kDocuments, "DOC:DOCUMENT_REFERENCE", 2));
  EXPECT_EQ(DeleteRecord(Table::kDocuments), kIntegrityDone);
  EXPECT_EQ(Contents("documents/.deleted/manual.pdf"), "manual.pdf");
  EXPECT_EQ(Contents("documents/receipt.pdf"), "receipt.pdf");

  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 3));
  RememberParentValue(Table::kItems);
  Set("ITE:ITEM_CODE", 30);
  EXPECT_EQ(ChangeRecord(Table::kItems), kIntegrityDone);
  ASSERT_TRUE(Get(Table::kDocuments, "DOC:DOCUMENT_REFERENCE", 1));
  EXPECT_EQ(Number("DOC:ITEM_REFERENCE"), 30);
}

TEST_F(IntegrityTest, DeletingAnItemTakesItsInventoryChecksAndRenumberingRelinksThem) {
  int32_t day = 80000;
  for (int item : {3, 3, 2}) {
    Clear(Table::kChecks);
    Set("CHK:ITEM_REFERENCE", item);
    Set("CHK:DATE_SEEN", ++day);
    Add(Table::kChecks);
  }
  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 2));
  RememberParentValue(Table::kItems);
  Set("ITE:ITEM_CODE", 20);
  EXPECT_EQ(ChangeRecord(Table::kItems), kIntegrityDone);
  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 3));
  EXPECT_EQ(DeleteRecord(Table::kItems), kIntegrityDone);
  ASSERT_EQ(Count(Table::kChecks), 1);
  files::SetKey(File(Table::kChecks), Key(Table::kChecks, 1));
  files::Next(File(Table::kChecks));
  ASSERT_EQ(files::Errors().Code(), 0);
  EXPECT_EQ(Number("CHK:ITEM_REFERENCE"), 20);
  EXPECT_EQ(Number("CHK:DATE_SEEN"), 80003);
}

TEST_F(IntegrityTest, DeletingARecordWithoutRelationsDeletesOnlyIt) {
  ASSERT_TRUE(Get(Table::kWarranty, "WAN:WARRANTY_REFERENCE", 2));
  EXPECT_EQ(DeleteRecord(Table::kWarranty), kIntegrityDone);
  ExpectCounts(2, 3, 4, 3, 2, 1);
  EXPECT_FALSE(Get(Table::kWarranty, "WAN:WARRANTY_REFERENCE", 2));
}

// The records of every table, to compare before and after.
std::vector<int> AllCounts() {
  std::vector<int> counts;
  for (const TableDef& d : Tables()) counts.push_back(Count(d.table));
  return counts;
}

std::string Described(const DeleteReach& reach) {
  std::string out;
  for (const DeleteReach::Count& c : reach.deleted) {
    out += std::string(Def(c.table).label) + " " + std::to_string(c.records) + "; ";
  }
  for (const DeleteReach::Kept& k : reach.kept) {
    out += "kept " + std::string(Def(k.table).label) + "->" + Def(k.names).label + " " +
           std::to_string(k.records) + "; ";
  }
  return out;
}

TEST_F(IntegrityTest, CountingADeleteWritesNothingAndCountsWhatTheDeleteThenTakes) {
  const struct {
    Table table;
    const char* field;
    const char* text;
    double number;
    const char* reach;
  } cases[] = {
      // Kitchen holds items 2 and 3: warranty for both, service and a claim
      // for item 3.
      {Table::kLocations, "LOC:LOCATION", "Kitchen", 0,
       "ITEMS 2; SERVICE 1; WARRANTY 2; DOCUMENTS 0; CHECKS 0; kept CLAIM->ITEMS 1; "},
      {Table::kLocations, "LOC:LOCATION", "Attic", 0,
       "ITEMS 1; SERVICE 1; WARRANTY 0; DOCUMENTS 0; CHECKS 0; kept CLAIM->ITEMS 0; "},
      {Table::kInsuranceCompany, "INS:REFERENCE", nullptr, 1,
       "POLICY 2; ITEMS 3; SERVICE 2; WARRANTY 2; DOCUMENTS 0; CHECKS 0; kept CLAIM->ITEMS 1; "},
      {Table::kPolicy, "POL:POLICY_REFERENCE", "PC", 0,
       "ITEMS 1; SERVICE 1; WARRANTY 1; DOCUMENTS 0; CHECKS 0; kept CLAIM->ITEMS 0; "},
      {Table::kItems, "ITE:ITEM_CODE", nullptr, 3,
       "SERVICE 1; WARRANTY 1; DOCUMENTS 0; CHECKS 0; kept CLAIM->ITEMS 1; "},
      {Table::kCompanies, "COM:COMPANY_REFERENCE", nullptr, 1, "SERVICE 2; "},
      {Table::kWarranty, "WAN:WARRANTY_REFERENCE", nullptr, 2, ""},
      {Table::kClaim, "CLA:CLAIM_REFERENCE", nullptr, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(Def(c.table).label) + " " +
                 (c.text != nullptr ? c.text : std::to_string(c.number)));
    Refill();
    ASSERT_TRUE(c.text != nullptr ? Get(c.table, c.field, c.text)
                                  : Get(c.table, c.field, c.number));
    const std::vector<int> before = AllCounts();
    g_writes = 0;
    std::optional<DeleteReach> reach = CountDeleteReach(c.table);
    ASSERT_TRUE(reach.has_value());
    EXPECT_EQ(Described(*reach), c.reach);
    EXPECT_EQ(reach->Nothing(),
              std::string(c.reach).find_first_of("123456789") == std::string::npos);
    EXPECT_EQ(g_writes, 0);
    EXPECT_EQ(AllCounts(), before);
    EXPECT_FALSE(files::InTransaction());
    EXPECT_EQ(OpenCount(Table::kClaim), 1);  // the test's own open only

    // The delete itself then takes exactly what was counted, and the
    // records said to stay are still there.
    EXPECT_EQ(DeleteRecord(c.table), kIntegrityDone);
    const std::vector<int> after = AllCounts();
    for (const DeleteReach::Count& d : reach->deleted) {
      const size_t t = static_cast<size_t>(d.table);
      EXPECT_EQ(before[t] - after[t], d.records) << Def(d.table).label;
    }
    for (const DeleteReach::Kept& k : reach->kept) {
      const size_t t = static_cast<size_t>(k.table);
      EXPECT_EQ(after[t], before[t]) << Def(k.table).label;
    }
    EXPECT_EQ(before[static_cast<size_t>(c.table)] - after[static_cast<size_t>(c.table)], 1);
  }
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(IntegrityTest, ACountThatCannotReadSaysWhichTable) {
  g_fault = {Table::kWarranty, files::kOpNext, files::kAccessDenied, 0, true};
  ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PA"));
  EXPECT_FALSE(CountDeleteReach(Table::kPolicy).has_value());
  EXPECT_EQ(g_messages, std::vector<std::string>{"35 WARRANTY"});
  EXPECT_EQ(g_writes, 0);
  EXPECT_EQ(OpenCount(Table::kWarranty), 1);
}

TEST_F(IntegrityTest, RenamingALocationRelinksItsItemsAndNoOthers) {
  ASSERT_TRUE(Get(Table::kLocations, "LOC:LOCATION", "Kitchen"));
  RememberParentValue(Table::kLocations);
  // The new name sorts after every other: re-linked items move to the end
  // of ITE:LOC while the cascade runs.
  Set("LOC:LOCATION", "Zoo");
  EXPECT_EQ(ChangeRecord(Table::kLocations), kIntegrityDone);
  EXPECT_TRUE(g_messages.empty());
  const struct {
    int code;
    const char* location;
  } expected[] = {{1, "Attic"}, {2, "Zoo"}, {3, "Zoo"}, {4, "Lounge"}};
  for (const auto& e : expected) {
    ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", e.code));
    EXPECT_EQ(Text("ITE:LOCATION"), e.location) << e.code;
  }
  EXPECT_EQ(g_puts[static_cast<int>(Table::kItems)], 2);
  EXPECT_FALSE(Get(Table::kLocations, "LOC:LOCATION", "Kitchen"));
}

TEST_F(IntegrityTest, RenamingALocationToAnEarlierNameAndInLetterCaseRelinksEveryItem) {
  ASSERT_TRUE(Get(Table::kLocations, "LOC:LOCATION", "Lounge"));
  RememberParentValue(Table::kLocations);
  Set("LOC:LOCATION", "Annex");
  EXPECT_EQ(ChangeRecord(Table::kLocations), kIntegrityDone);
  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 4));
  EXPECT_EQ(Text("ITE:LOCATION"), "Annex");

  // Only the letter case changes: the key calls both names equal, the
  // items still take the new spelling.
  ASSERT_TRUE(Get(Table::kLocations, "LOC:LOCATION", "Kitchen"));
  RememberParentValue(Table::kLocations);
  Set("LOC:LOCATION", "KITCHEN");
  EXPECT_EQ(ChangeRecord(Table::kLocations), kIntegrityDone);
  for (int code : {2, 3}) {
    ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", code));
    EXPECT_EQ(Text("ITE:LOCATION"), "KITCHEN");
  }
}

TEST_F(IntegrityTest, AChangeThatKeepsTheLinkingFieldRunsNoCascade) {
  ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PA"));
  RememberParentValue(Table::kPolicy);
  Set("POL:POLICY_TYPE", "CAR");
  EXPECT_EQ(ChangeRecord(Table::kPolicy), kIntegrityDone);
  EXPECT_EQ(g_puts[static_cast<int>(Table::kPolicy)], 1);
  EXPECT_EQ(g_puts[static_cast<int>(Table::kItems)], 0);
  ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PA"));
  EXPECT_EQ(Text("POL:POLICY_TYPE"), "CAR");
}

TEST_F(IntegrityTest, ChangingKeysCascadesToEveryChildTable) {
  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 3));
  RememberParentValue(Table::kItems);
  Set("ITE:ITEM_CODE", 30);
  EXPECT_EQ(ChangeRecord(Table::kItems), kIntegrityDone);
  ASSERT_TRUE(Get(Table::kService, "SER:SERVICE_REFERENCE", 2));
  EXPECT_EQ(Number("SER:ITEM_REFERENCE"), 30);
  ASSERT_TRUE(Get(Table::kWarranty, "WAN:WARRANTY_REFERENCE", 2));
  EXPECT_EQ(Number("WAN:ITEM_REFERENCE"), 30);
  ASSERT_TRUE(Get(Table::kClaim, "CLA:CLAIM_REFERENCE", 1));
  EXPECT_EQ(Number("CLA:ITEM_REFERENCE"), 3);  // a lookup only

  ASSERT_TRUE(Get(Table::kInsuranceCompany, "INS:REFERENCE", 1));
  RememberParentValue(Table::kInsuranceCompany);
  Set("INS:REFERENCE", 7);
  EXPECT_EQ(ChangeRecord(Table::kInsuranceCompany), kIntegrityDone);
  for (const char* ref : {"PA", "PB"}) {
    ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", ref));
    EXPECT_EQ(Number("POL:INSURER_CODE"), 7);
  }
  ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PC"));
  EXPECT_EQ(Number("POL:INSURER_CODE"), 2);
}

TEST_F(IntegrityTest, AFailedRelinkRollsBackTheParentToo) {
  g_fault = {Table::kService, files::kOpPut, files::kAccessDenied, 1, true};
  ASSERT_TRUE(Get(Table::kCompanies, "COM:COMPANY_REFERENCE", 1));
  RememberParentValue(Table::kCompanies);
  Set("COM:COMPANY_REFERENCE", 9);
  EXPECT_EQ(ChangeRecord(Table::kCompanies), kIntegrityFailed);
  EXPECT_EQ(g_messages, std::vector<std::string>{"15 SERVICE"});
  EXPECT_TRUE(Get(Table::kCompanies, "COM:COMPANY_REFERENCE", 1));
  EXPECT_FALSE(Get(Table::kCompanies, "COM:COMPANY_REFERENCE", 9));
  for (int ref : {1, 2}) {
    ASSERT_TRUE(Get(Table::kService, "SER:SERVICE_REFERENCE", ref));
    EXPECT_EQ(Number("SER:COMPANY_CODE"), 1);
  }
}

TEST_F(IntegrityTest, ARecordChangedByAnotherStationIsNotOverwritten) {
  // The record is read under a watch, as the update form reads it.
  Clear(Table::kPolicy);
  Set("POL:POLICY_REFERENCE", "PA");
  File(Table::kPolicy)->Send(files::kOpWatch);
  files::GetByKey(File(Table::kPolicy), Key(Table::kPolicy, 1));
  ASSERT_EQ(files::Errors().Code(), 0);
  RememberParentValue(Table::kPolicy);

  // Another program rewrites it through its own open of the file.
  files::FileRecord* policy = File(Table::kPolicy);
  std::vector<uint8_t> buffer(policy->record_length);
  files::FileRecord other(&TestEntry, policy->name, policy->name_length, files::kAttrCreate,
                          policy->record_length, policy->layout, policy->layout_size, policy->keys,
                          policy->key_count, policy->memos, policy->memo_count, buffer.data());
  files::Open(&other);
  ASSERT_EQ(files::Errors().Code(), 0);
  std::memcpy(buffer.data(), files::RecordBuffer(policy), buffer.size());
  files::GetByKey(&other, Key(Table::kPolicy, 1));
  ASSERT_EQ(files::Errors().Code(), 0);
  const FieldDef* type = FieldNamed("POL:POLICY_TYPE");
  files::WriteText({type->type, buffer.data() + type->offset, type->size, 0}, "FIRST");
  files::Put(&other);
  ASSERT_EQ(files::Errors().Code(), 0);
  files::Close(&other);

  Set("POL:POLICY_TYPE", "SECOND");
  Set("POL:POLICY_REFERENCE", "PZ");
  EXPECT_EQ(ChangeRecord(Table::kPolicy), kIntegrityFailed);
  EXPECT_EQ(g_messages, std::vector<std::string>{"15 Record Changed by Another Station"});
  ASSERT_TRUE(Get(Table::kPolicy, "POL:POLICY_REFERENCE", "PA"));
  EXPECT_EQ(Text("POL:POLICY_TYPE"), "FIRST");
  ASSERT_TRUE(Get(Table::kItems, "ITE:ITEM_CODE", 1));
  EXPECT_EQ(Text("ITE:POLICY_REFERENCE"), "PA");
}

// --- A cascade cut short ---------------------------------------------------
//
// Deleting insurer 1 touches five tables in one transaction. A child process
// runs that delete over an in-memory copy of the tables whose process "dies"
// at its nth write or flush, simulates the crash (unflushed writes dropped,
// or some of them kept with the last one torn), and leaves the surviving
// files in a folder; the test then opens them as the next program would and
// finds either every record of the cascade gone or none.

std::map<std::string, std::string> ReadFolder(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    files[e.path().filename().string()] = data.str();
  }
  return files;
}

struct CutShort {
  int64_t stop_write = 0;  // 0: not armed
  int64_t stop_sync = 0;
  bool tear = false;
  uint32_t seed = 0;
};

// Runs the cascade in a child process over `image`; the crashed files go to
// `out`, and "writes syncs result" to out/counts. False when the child failed.
bool RunCutShort(const std::map<std::string, std::string>& image, const CutShort& cut,
                 const std::filesystem::path& out) {
  const pid_t pid = fork();
  if (pid == 0) {
    env::FaultEnv env;
    for (const auto& [name, data] : image) env.SetContents(name, data);
    qvf::SetDriverEnvForTesting(&env);
    for (const TableDef& d : Tables()) OpenTable(d.table);
    if (!Get(Table::kInsuranceCompany, "INS:REFERENCE", 1)) _exit(3);
    const int64_t writes = env.Writes(), syncs = env.Syncs();
    if (cut.stop_write > 0) env.StopAtWrite(cut.stop_write);
    if (cut.stop_sync > 0) env.StopAtSync(cut.stop_sync);
    const int result = DeleteRecord(Table::kInsuranceCompany);
    std::ofstream(out / "counts") << env.Writes() - writes << " " << env.Syncs() - syncs << " "
                                  << result;
    env.Crash(cut.tear ? env::FaultEnv::CrashMode::kTearUnsynced
                       : env::FaultEnv::CrashMode::kDropUnsynced,
              cut.seed);
    for (const std::string& name : env.FileNames()) {
      std::ofstream(out / name, std::ios::binary) << env.Contents(name);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(IntegrityTest, ACascadeCutShortAtAnyWriteOrFlushIsWhollyDoneOrUndone) {
  for (const TableDef& d : Tables()) CloseTable(d.table);
  const auto image = ReadFolder(folder_);
  const std::filesystem::path out = std::filesystem::path(folder_) / "out";

  // A run without a fault counts the cascade's writes and flushes.
  std::filesystem::create_directory(out);
  ASSERT_TRUE(RunCutShort(image, {}, out));
  int64_t writes = 0, syncs = 0;
  int result = -1;
  std::ifstream(out / "counts") >> writes >> syncs >> result;
  ASSERT_EQ(result, kIntegrityDone);
  ASSERT_GT(writes, 0);
  ASSERT_GT(syncs, 0);

  const char* stride_text = std::getenv("VORSANDT_CASCADE_STRIDE");
  const int64_t stride = stride_text != nullptr ? std::max(1, std::atoi(stride_text)) : 9;
  int done = 0, undone = 0;
  for (int64_t n = 1; n <= writes + syncs; n += stride) {
    SCOPED_TRACE(n);
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    CutShort cut;
    (n <= writes ? cut.stop_write : cut.stop_sync) = n <= writes ? n : n - writes;
    cut.tear = n % 2 == 0;
    cut.seed = static_cast<uint32_t>(n);
    ASSERT_TRUE(RunCutShort(image, cut, out));
    std::filesystem::remove(out / "counts");

    // The next program opens the tables (finishing or abandoning the
    // interrupted transaction) and finds one state or the other.
    std::filesystem::current_path(out);
    for (const TableDef& d : Tables()) OpenTable(d.table);
    const std::vector<int> counts = {
        Count(Table::kInsuranceCompany), Count(Table::kPolicy),   Count(Table::kItems),
        Count(Table::kService),          Count(Table::kWarranty), Count(Table::kClaim)};
    for (const TableDef& d : Tables()) CloseTable(d.table);
    if (counts == std::vector<int>{2, 3, 4, 3, 3, 1}) {
      ++undone;
    } else {
      EXPECT_EQ(counts, (std::vector<int>{1, 1, 1, 1, 1, 1}));
      ++done;
    }
    for (const TableDef& d : Tables()) {
      std::vector<std::string> faults;
      EXPECT_TRUE(qvf::CheckFile(env::Env::Default(), std::string(d.label) + ".QVF", &faults));
      EXPECT_TRUE(faults.empty()) << d.label << ": " << faults.front();
    }
    std::filesystem::current_path(folder_);
  }
  std::printf("cascade: %lld writes, %lld flushes; %d runs undone, %d done\n",
              static_cast<long long>(writes), static_cast<long long>(syncs), undone, done);
  // Cut early the cascade is undone; cut after its commit it is done.
  EXPECT_GT(undone, 0);
  EXPECT_GT(done, 0);
}

}  // namespace
}  // namespace vorsandt::app
