#include "storage/qvf/table/definition.h"

#include <gtest/gtest.h>

#include "runtime/files/error_codes.h"
#include "runtime/files/file_decl.h"
#include "runtime/files/layout.h"
#include "storage/qvf/table/entry_key.h"

namespace vorsandt::qvf {
namespace {

// A small declared table: a SHORT, a DECIMAL(7,2) and a STRING(10), a
// primary key on the short and a descending key on the string and the
// short, and one text memo.
struct SmallDecl {
  SmallDecl() {
    files::LayoutBuilder b;
    b.Short(0, "T:ID").Decimal(2, "T:COST", 4, 2).String(6, "T:NAME", 10, "@s10");
    layout = b.Finish();
    key0 = {"T:ID", 4, 0x16, 1, comps0, nullptr, 1};
    key1 = {"T:NAME", 6, 0x07, 2, comps1, nullptr, 2};
    keys[0] = &key0;
    keys[1] = &key1;
    memo = {"T:NOTES", 7, 0, 100};
    memos[0] = &memo;
    decl =
        std::make_unique<files::FileRecord>(nullptr, "T", 1, files::kAttrCreate, 16, layout.data(),
                                            layout.size(), keys, 2, memos, 1, buffer);
  }
  std::vector<uint8_t> layout;
  int32_t comps0[1] = {1};
  int32_t comps1[2] = {-3, 1};
  files::KeyDecl key0, key1;
  const files::KeyDecl* keys[2];
  files::MemoDecl memo;
  const files::MemoDecl* memos[1];
  uint8_t buffer[16] = {};
  std::unique_ptr<files::FileRecord> decl;
};

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

TEST(DefinitionTest, StreamOfADeclaredTableHasEveryItemInOrder) {
  SmallDecl d;
  TableDefinition def;
  ASSERT_EQ(DefinitionFromDeclaration(*d.decl, &def), 0);
  std::string expected = Bytes({1, 0, 16, 0, 3, 0, 1, 0, 2, 0});  // version, length, counts
  // T:ID: type 2, offset 0, name, 1 element, size 2, attributes 0 0.
  expected += Bytes({2, 0, 0}) + "T:ID" + Bytes({0, 1, 0, 2, 0, 0, 0, 0, 0});
  // T:COST: type 10 at 2, 4 bytes, 7 digits, 2 places.
  expected += Bytes({10, 2, 0}) + "T:COST" + Bytes({0, 1, 0, 4, 0, 0, 0, 0, 0, 7, 2});
  // T:NAME: type 18 at 6, 10 bytes, string length 10, picture.
  expected += Bytes({18, 6, 0}) + "T:NAME" + Bytes({0, 1, 0, 10, 0, 0, 0, 0, 0, 10, 0}) + "@s10" +
              Bytes({0});
  // Memo: absent external name, name, size 100, flags 0.
  expected += Bytes({0, 1}) + "T:NOTES" + Bytes({0, 100, 0, 0, 0});
  // Keys: absent external name, name, attributes, components.
  expected += Bytes({0, 1}) + "T:ID" + Bytes({0, 0x16, 1, 0, 0, 0, 0, 0});
  expected += Bytes({0, 1}) + "T:NAME" + Bytes({0, 0x07, 2, 0, 2, 0, 1, 0, 0, 0, 0, 0});
  EXPECT_EQ(EncodeDefinition(def), expected);
}

TEST(DefinitionTest, ReadModeGivesBackTheDefinition) {
  SmallDecl d;
  TableDefinition def, back;
  ASSERT_EQ(DefinitionFromDeclaration(*d.decl, &def), 0);
  ASSERT_TRUE(DecodeDefinition(EncodeDefinition(def), &back));
  EXPECT_EQ(EncodeDefinition(back), EncodeDefinition(def));
  ASSERT_EQ(back.keys.size(), 2u);
  EXPECT_EQ(back.keys[1].components[0].flags, kComponentDescending);
  EXPECT_EQ(*back.fields[2].picture, "@s10");
  EXPECT_FALSE(back.memos[0].external_name.has_value());
}

TEST(DefinitionTest, KeyRulesFollowTheKeysOnlyWhenTheyAreNotTheBuiltInOnes) {
  SmallDecl d;
  TableDefinition def, back;
  ASSERT_EQ(DefinitionFromDeclaration(*d.decl, &def), 0);
  const std::string plain = EncodeDefinition(def);
  ASSERT_TRUE(DecodeDefinition(plain, &back));
  EXPECT_EQ(back.key_rules, 0u);  // what every older stream says

  def.key_rules = 0x1122334455667788ull;
  const std::string marked = EncodeDefinition(def);
  EXPECT_EQ(marked, plain + Bytes({1, 0, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
  ASSERT_TRUE(DecodeDefinition(marked, &back));
  EXPECT_EQ(back.key_rules, def.key_rules);
  // The rules are not part of the declaration.
  TableDefinition declared;
  ASSERT_EQ(DefinitionFromDeclaration(*d.decl, &declared), 0);
  EXPECT_EQ(CompareDefinition(marked, declared), kDefinitionSame);
  EXPECT_EQ(CompareDefinition(plain, def), kDefinitionSame);
}

TEST(DefinitionTest, CompareModeSortsDifferencesIntoNamesAndStructure) {
  SmallDecl d;
  TableDefinition def;
  ASSERT_EQ(DefinitionFromDeclaration(*d.decl, &def), 0);
  std::string stored = EncodeDefinition(def);
  EXPECT_EQ(CompareDefinition(stored, def), kDefinitionSame);

  struct Change {
    const char* what;
    void (*apply)(TableDefinition*);
    int expected;
  } changes[] = {
      {"field name", [](TableDefinition* t) { t->fields[0].name = "T:OTHER"; }, 1},
      {"picture", [](TableDefinition* t) { t->fields[2].picture = "@s5"; }, 1},
      {"key name", [](TableDefinition* t) { t->keys[0].name = "T:K"; }, 1},
      {"memo size", [](TableDefinition* t) { t->memos[0].size = 50; }, 1},
      {"memo name", [](TableDefinition* t) { t->memos[0].name.reset(); }, 1},
      {"field offset", [](TableDefinition* t) { t->fields[1].offset = 3; }, 2},
      {"field type", [](TableDefinition* t) { t->fields[0].type = 3; }, 2},
      {"decimal places", [](TableDefinition* t) { t->fields[1].places = 3; }, 2},
      {"string length", [](TableDefinition* t) { t->fields[2].string_length = 9; }, 2},
      {"record length", [](TableDefinition* t) { t->record_length = 17; }, 2},
      {"key attributes", [](TableDefinition* t) { t->keys[1].attributes = 0x05; }, 2},
      {"descending", [](TableDefinition* t) { t->keys[1].components[0].flags = 0; }, 2},
      {"component", [](TableDefinition* t) { t->keys[0].components[0].field = 1; }, 2},
      {"extra key", [](TableDefinition* t) { t->keys.push_back(t->keys[0]); }, 2},
      {"blob memo",
       [](TableDefinition* t) {
         t->memos[0].flags = kMemoBlob;
         t->SetVersion();
       },
       2},
  };
  for (const Change& c : changes) {
    TableDefinition declared = def;
    c.apply(&declared);
    EXPECT_EQ(CompareDefinition(stored, declared), c.expected) << c.what;
  }
}

TEST(DefinitionTest, BadVersionsAndTruncatedStreamsAreStructuralDifferences) {
  SmallDecl d;
  TableDefinition def;
  ASSERT_EQ(DefinitionFromDeclaration(*d.decl, &def), 0);
  std::string stored = EncodeDefinition(def);
  std::string v3 = stored;
  v3[0] = 3;
  TableDefinition out;
  EXPECT_FALSE(DecodeDefinition(v3, &out));
  EXPECT_EQ(CompareDefinition(v3, def), kDefinitionStructureDiffers);
  EXPECT_EQ(CompareDefinition("", def), kDefinitionStructureDiffers);
  // Reading past the end yields zeros, so cutting trailing zero bytes
  // changes nothing; a cut through other bytes is a difference.
  EXPECT_EQ(CompareDefinition(stored.substr(0, stored.size() - 5), def), kDefinitionSame);
  for (size_t cut : {stored.size() - 6, stored.size() / 2, size_t{12}}) {
    EXPECT_EQ(CompareDefinition(stored.substr(0, cut), def), kDefinitionStructureDiffers) << cut;
  }
  // A stream whose counts claim far more than is there still ends.
  std::string huge = Bytes({1, 0, 16, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_TRUE(DecodeDefinition(huge, &out));
  EXPECT_EQ(out.fields.size(), 0xFFFFu);
}

TEST(DefinitionTest, BlobMemoMakesVersionTwo) {
  SmallDecl d;
  d.memo.flags = kMemoBlob;
  TableDefinition def;
  ASSERT_EQ(DefinitionFromDeclaration(*d.decl, &def), 0);
  EXPECT_EQ(def.version, 2);
  EXPECT_EQ(static_cast<uint8_t>(EncodeDefinition(def)[0]), 2);
}

TEST(DefinitionTest, DeclarationsThatCannotBeStoredAreRefused) {
  SmallDecl d;
  d.comps1[0] = 4;  // no fourth field
  TableDefinition def;
  EXPECT_EQ(DefinitionFromDeclaration(*d.decl, &def), files::kInvalidRecordDeclaration);
  SmallDecl e;
  e.comps0[0] = 0;
  EXPECT_EQ(DefinitionFromDeclaration(*e.decl, &def), files::kInvalidRecordDeclaration);
}

TEST(DefinitionTest, StreamIsCutIn512ByteBlocks) {
  std::string s(1100, 'x');
  std::vector<std::string> blocks = DefinitionBlocks(s);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].size(), 512u);
  EXPECT_EQ(blocks[2].size(), 76u);
  EXPECT_TRUE(DefinitionBlocks("").empty());
}

}  // namespace
}  // namespace vorsandt::qvf
