#include "app/dictionary/dictionary.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/files/testing/memory_driver.h"

namespace vorsandt::app {
namespace {

class DictionaryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitDictionary(files::testing::MemoryEntry); }
};

TEST_F(DictionaryTest, TablesComeInTheirDeclaredOrderWithTheirLengths) {
  const char* labels[] = {"COMPANIES", "SERVICE",           "WARRANTY", "CLAIM",     "LOCATIONS",
                          "ITEMS",     "INSURANCE_COMPANY", "POLICY",   "DOCUMENTS", "CHECKS"};
  const uint32_t lengths[] = {202, 82, 43, 92, 30, 406, 172, 180, 188, 6};
  ASSERT_EQ(Tables().size(), 10u);
  for (int i = 0; i < kTableCount; ++i) {
    EXPECT_STREQ(Tables()[i].label, labels[i]);
    EXPECT_EQ(Tables()[i].record_length, lengths[i]);
    files::FileRecord* f = File(static_cast<Table>(i));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->NameText(), labels[i]);
    EXPECT_EQ(f->record_length, lengths[i]);
    EXPECT_EQ(f->attributes, files::kAttrCreate | files::kAttrPerThread);
  }
  EXPECT_EQ(FieldNamed("ITE:PICTURE")->size, 41u);
  EXPECT_EQ(FieldNamed("ite:picture")->offset, 345u);
  EXPECT_EQ(FieldNamed("ITE:PRICE_PAID")->size, 5u);
  EXPECT_EQ(FieldNamed("POL:EXCESS")->size, 4u);
  EXPECT_EQ(FieldNamed("ITE:NOPE"), nullptr);
  EXPECT_EQ(FieldNamed("NOPREFIX"), nullptr);
  // The documents table: the file's name in the documents folder, and the
  // only table whose deleted records put a file aside.
  EXPECT_EQ(FieldNamed("DOC:FILE")->size, 120u);
  EXPECT_EQ(FieldNamed("DOC:DATE")->type, files::kTypeLong);
  for (const TableDef& def : Tables()) {
    EXPECT_STREQ(def.stored_file_field, def.table == Table::kDocuments ? "DOC:FILE" : nullptr)
        << def.label;
  }
}

TEST_F(DictionaryTest, EveryLayoutStreamParsesBackToItsFields) {
  for (const TableDef& def : Tables()) {
    std::vector<files::FieldInfo> parsed;
    ASSERT_EQ(files::ParseLayout(Layout(def.table), &parsed), 0) << def.label;
    ASSERT_EQ(parsed.size(), def.fields.size()) << def.label;
    uint32_t total = 0;
    for (size_t i = 0; i < parsed.size(); ++i) {
      const FieldDef& d = def.fields[i];
      EXPECT_EQ(parsed[i].name, d.name);
      EXPECT_EQ(parsed[i].offset, d.offset) << d.name;
      EXPECT_EQ(parsed[i].type, d.type) << d.name;
      EXPECT_EQ(parsed[i].size, d.size) << d.name;
      EXPECT_EQ(parsed[i].decimals, d.places) << d.name;
      EXPECT_FALSE(parsed[i].overlay) << d.name;
      EXPECT_EQ(std::string(d.name).substr(0, 4), std::string(def.prefix) + ":");
      total += parsed[i].size;
    }
    EXPECT_EQ(total, def.record_length) << def.label;
  }
}

TEST_F(DictionaryTest, KeysCarryTheirFlagsAndComponents) {
  for (const TableDef& def : Tables()) {
    ASSERT_FALSE(def.keys.empty());
    for (size_t k = 0; k < def.keys.size(); ++k) {
      const files::KeyDecl* key = Key(def.table, static_cast<int>(k + 1));
      ASSERT_NE(key, nullptr);
      // The checks have no key of their own: many share an item and a day.
      const bool primary = k == 0 && def.table != Table::kChecks;
      EXPECT_EQ(key->flags, primary ? 0x16u : 0x07u) << key->name;
      EXPECT_EQ(key->owner, File(def.table));
      EXPECT_EQ(key->number, static_cast<int32_t>(k + 1));
      for (int c = 0; c < key->component_count; ++c) {
        EXPECT_GE(key->components[c], 1);
        EXPECT_LE(key->components[c], static_cast<int32_t>(def.fields.size()));
      }
    }
    EXPECT_EQ(Key(def.table, 0), nullptr);
    EXPECT_EQ(Key(def.table, static_cast<int>(def.keys.size()) + 1), nullptr);
  }
  const files::KeyDecl* loc = KeyNamed("ite:loc");
  ASSERT_NE(loc, nullptr);
  ASSERT_EQ(loc->component_count, 2);
  EXPECT_STREQ(Def(Table::kItems).fields[loc->components[0] - 1].name, "ITE:LOCATION");
  EXPECT_STREQ(Def(Table::kItems).fields[loc->components[1] - 1].name, "ITE:ITEM");
  const files::KeyDecl* company = KeyNamed("POL:COMPANY");
  ASSERT_EQ(company->component_count, 3);
  EXPECT_STREQ(Def(Table::kPolicy).fields[company->components[2] - 1].name, "POL:POLICY_REFERENCE");
  EXPECT_EQ(KeyNamed("POL:NONE"), nullptr);
}

TEST_F(DictionaryTest, RelationsJoinFieldsOfTheSameKindThroughTheChildKey) {
  ASSERT_EQ(Relations().size(), 8u);
  for (const RelationDef& r : Relations()) {
    EXPECT_EQ(r.on_delete, RelationAction::kCascade) << r.child_field;
    EXPECT_EQ(r.on_change, RelationAction::kCascade) << r.child_field;
  }
  // A claim names its item through a key of its own, but nothing cascades.
  ASSERT_EQ(KeptReferences().size(), 1u);
  EXPECT_STREQ(KeptReferences()[0].child_field, "CLA:ITEM_REFERENCE");
  EXPECT_EQ(KeptReferences()[0].on_delete, RelationAction::kKeep);
  std::vector<RelationDef> all(Relations().begin(), Relations().end());
  all.insert(all.end(), KeptReferences().begin(), KeptReferences().end());
  for (const RelationDef& r : all) {
    const FieldDef* parent = FieldNamed(r.parent_field);
    const FieldDef* child = FieldNamed(r.child_field);
    ASSERT_NE(parent, nullptr) << r.parent_field;
    ASSERT_NE(child, nullptr) << r.child_field;
    EXPECT_EQ(parent->type, child->type) << r.child_field;
    EXPECT_EQ(parent->size, child->size) << r.child_field;
    const files::KeyDecl* key = KeyNamed(r.child_key);
    ASSERT_NE(key, nullptr) << r.child_key;
    EXPECT_EQ(key->owner, File(r.child));
    EXPECT_STREQ(Def(r.child).fields[key->components[0] - 1].name, r.child_field);
    // The parent field is the first component of the parent's primary key.
    const files::KeyDecl* primary = Key(r.parent, 1);
    EXPECT_STREQ(Def(r.parent).fields[primary->components[0] - 1].name, r.parent_field);
  }
}

// Windows that show a parent's children and lookups of a parent name a
// link by its child key or field; the rest comes from the link.
TEST_F(DictionaryTest, LinksAreFoundByTheirChildKeyOrFieldWithOneFilterEach) {
  const RelationDef* policies = LinkByChildKey("POL:COMPANY");
  ASSERT_NE(policies, nullptr);
  EXPECT_EQ(policies->parent, Table::kInsuranceCompany);
  EXPECT_EQ(LinkByChildField("POL:INSURER_CODE"), policies);
  EXPECT_EQ(LinkByChildKey("pol:company"), policies) << "names ignore case";
  EXPECT_STREQ(ParentKey(*policies), "INS:REF");
  // The claim's item is a kept reference, found the same way.
  EXPECT_EQ(LinkByChildKey("CLA:ITEM_REF"), &KeptReferences()[0]);
  EXPECT_STREQ(ParentKey(KeptReferences()[0]), "ITE:CODE");
  // A key or field that is no link's child side.
  EXPECT_EQ(LinkByChildKey("ITE:CODE"), nullptr);
  EXPECT_EQ(LinkByChildKey("POL:INSURER_CODE"), nullptr);
  EXPECT_EQ(LinkByChildField("POL:COMPANY"), nullptr);

  // Texts compared without regard to case, as the child keys order them;
  // numbers as they are.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"ITE:POLICY", "UPPER(ITE:POLICY_REFERENCE) = UPPER(POL:POLICY_REFERENCE)"},
      {"ITE:LOC", "UPPER(ITE:LOCATION) = UPPER(LOC:LOCATION)"},
      {"SER:ITEM", "SER:ITEM_REFERENCE = ITE:ITEM_CODE"},
      {"WAN:ITEM", "WAN:ITEM_REFERENCE = ITE:ITEM_CODE"},
      {"POL:COMPANY", "POL:INSURER_CODE = INS:REFERENCE"},
      {"SER:CODE", "SER:COMPANY_CODE = COM:COMPANY_REFERENCE"},
      {"DOC:ITEM", "DOC:ITEM_REFERENCE = ITE:ITEM_CODE"},
      {"CHK:ITEM", "CHK:ITEM_REFERENCE = ITE:ITEM_CODE"},
      {"CLA:ITEM_REF", "CLA:ITEM_REFERENCE = ITE:ITEM_CODE"},
  };
  ASSERT_EQ(expected.size(), Relations().size() + KeptReferences().size());
  for (const auto& [key, filter] : expected) {
    const RelationDef* link = LinkByChildKey(key);
    ASSERT_NE(link, nullptr) << key;
    EXPECT_EQ(LinkFilter(*link), filter) << key;
    EXPECT_EQ(LinkByChildField(link->child_field), link) << key;
  }
  // Only the dictionary's own links have a filter.
  const RelationDef copy = *policies;
  EXPECT_STREQ(LinkFilter(copy), "");
}

TEST_F(DictionaryTest, FieldsAreNumberedAsKeysCountThem) {
  EXPECT_EQ(FieldNumber(Table::kPolicy, "POL:POLICY_REFERENCE"), 1);
  EXPECT_EQ(FieldNumber(Table::kPolicy, "POL:INSURER_CODE"), 2);
  EXPECT_EQ(FieldNumber(Table::kPolicy, "ITE:ITEM_CODE"), 0);
  const KeyDef& by_company = Def(Table::kPolicy).keys[1];
  EXPECT_EQ(by_company.components[0], FieldNumber(Table::kPolicy, "POL:INSURER_CODE"));
}

TEST_F(DictionaryTest, AutoNumberedFieldsAndTheClaimMemo) {
  std::set<std::string> numbered;
  for (const TableDef& def : Tables()) {
    if (def.auto_number_field != 0) numbered.insert(def.fields[def.auto_number_field - 1].name);
  }
  EXPECT_EQ(numbered,
            (std::set<std::string>{"COM:COMPANY_REFERENCE", "SER:SERVICE_REFERENCE",
                                   "WAN:WARRANTY_REFERENCE", "CLA:CLAIM_REFERENCE", "ITE:ITEM_CODE",
                                   "INS:REFERENCE", "DOC:DOCUMENT_REFERENCE"}));
  const files::FileRecord* claim = File(Table::kClaim);
  ASSERT_EQ(claim->memo_count, 1);
  EXPECT_STREQ(claim->memos[0]->name, "CLA:NOTES");
  EXPECT_EQ(claim->memos[0]->max_size, 1000u);
}

TEST_F(DictionaryTest, TablesWorkThroughTheFileLayerPerThread) {
  files::testing::ResetMemoryFiles();
  files::FileRecord* items = File(Table::kItems);
  files::Create(items);
  files::Open(items);
  ASSERT_EQ(files::Errors().Code(), 0);
  uint8_t* buffer = files::RecordBuffer(items);
  EXPECT_NE(buffer, items->buffer);
  EXPECT_EQ(files::InstanceOf(items)->memo_buffers.size(), 0u);
  files::Add(items);
  EXPECT_EQ(files::Records(items), 1);
  files::Close(items);
  EXPECT_EQ(files::InstanceOf(File(Table::kClaim))->memo_buffers.at(0).size(), 1000u);
}

}  // namespace
}  // namespace vorsandt::app
