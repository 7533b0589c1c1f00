#include "storage/qvf/table/key_encoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/format/collation.h"
#include "runtime/format/locale.h"
#include "storage/qvf/table/entry_key.h"

namespace vorsandt::qvf {
namespace {

using namespace std::string_view_literals;

std::string Hex(std::string_view s) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

std::string Encode(uint8_t type, std::string_view bytes, bool descending = false,
                   TextRule rule = {}) {
  KeyComponentLayout c{type, 0, static_cast<uint32_t>(bytes.size()), descending};
  std::string out;
  EncodeComponent(c, reinterpret_cast<const uint8_t*>(bytes.data()), rule, &out);
  return out;
}

template <typename T>
std::string Raw(T v) {
  std::string s(sizeof v, '\0');
  std::memcpy(s.data(), &v, sizeof v);
  return s;
}

bool Less(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<uint8_t>(x) < static_cast<uint8_t>(y);
  });
}

class KeyEncodingTest : public ::testing::Test {
 protected:
  void SetUp() override { format::ResetLocale(); }
  void TearDown() override { format::ResetLocale(); }
};

TEST_F(KeyEncodingTest, ComponentsEncodeToTheirExpectedBytes) {
  struct Case {
    const char* what;
    std::string encoded;
    const char* hex;
  } cases[] = {
      {"short -1", Encode(2, Raw<int16_t>(-1)), "7F FF"},
      {"short 0", Encode(2, Raw<int16_t>(0)), "80 00"},
      {"short 1", Encode(2, Raw<int16_t>(1)), "80 01"},
      {"long -2", Encode(6, Raw<int32_t>(-2)), "7F FF FF FE"},
      {"long 0x01020304", Encode(6, Raw<int32_t>(0x01020304)), "81 02 03 04"},
      {"ushort 0xFFFF", Encode(3, Raw<uint16_t>(0xFFFF)), "FF FF"},
      {"ushort 0x0102", Encode(3, Raw<uint16_t>(0x0102)), "01 02"},
      {"ulong", Encode(7, Raw<uint32_t>(0x0A0B0C0D)), "0A 0B 0C 0D"},
      {"float 1.0", Encode(8, Raw<float>(1.0f)), "BF 80 00 00"},
      {"float -1.0", Encode(8, Raw<float>(-1.0f)), "40 7F FF FF"},
      {"double 0.0", Encode(9, Raw<double>(0.0)), "80 00 00 00 00 00 00 00"},
      {"decimal +12.34", Encode(10, "\x00\x12\x34"sv, false), "80 12 34"},
      {"decimal -12.34", Encode(10, "\xF0\x12\x34"sv, false), "7F ED CB"},
      {"string", Encode(18, "Ab "), "41 62 20"},
      {"string no case", Encode(18, "Ab ", false, {true, false}), "41 42 20"},
      {"cstring", Encode(19, std::string("ab\0zz", 5)), "61 62 00 00 00"},
      {"pstring",
       Encode(20,
              "\x02"
              "abzz"),
       "61 62 00 00 00"},
      {"pstring overlong count",
       Encode(20,
              "\x09"
              "ab"),
       "61 62 00"},
      {"byte descending", Encode(1, "\x01\xFE"sv, true), "FE 01"},
      {"other type raw", Encode(11, "\xF0\x01"sv), "F0 01"},
      {"group raw", Encode(22, "ab"), "61 62"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(c.encoded), c.hex) << c.what;
}

// A component encoded after other bytes is encoded as alone, and the check
// of a record against an encoded value agrees with the encoding under every
// text rule, in both directions.
TEST_F(KeyEncodingTest, AppendedComponentsAndTheMatchAgreeWithTheEncodingUnderEveryRule) {
  // Weights that differ from the bytes (and stay one per byte).
  for (int b = 0; b < 256; ++b) {
    format::MutableLocale().ansi_weights[b] = static_cast<uint8_t>(b * 7 + 3);
  }
  const std::string text = "Ab\xe9 z";
  for (int bits = 0; bits < 16; ++bits) {
    const TextRule rule{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
    const bool descending = (bits & 8) != 0;
    KeyComponentLayout c{18, 0, static_cast<uint32_t>(text.size()), descending};
    const auto* record = reinterpret_cast<const uint8_t*>(text.data());
    std::string alone, appended = "prefix";
    EncodeComponent(c, record, rule, &alone);
    EncodeComponent(c, record, rule, &appended);
    EXPECT_EQ(appended, "prefix" + alone) << bits;
    EXPECT_TRUE(ComponentMatches(c, record, rule, alone)) << bits;
    std::string other = alone;
    other[1] = static_cast<char>(other[1] ^ 1);
    EXPECT_FALSE(ComponentMatches(c, record, rule, other)) << bits;
  }
}

TEST_F(KeyEncodingTest, EncodedOrderIsValueOrder) {
  auto ordered = [](const std::vector<std::string>& v, const char* what) {
    for (size_t i = 1; i < v.size(); ++i) {
      EXPECT_TRUE(Less(v[i - 1], v[i]))
          << what << " at " << i << ": " << Hex(v[i - 1]) << " !< " << Hex(v[i]);
    }
  };
  std::vector<std::string> shorts;
  for (int16_t v : {-32768, -300, -1, 0, 1, 255, 256, 32767}) shorts.push_back(Encode(2, Raw(v)));
  ordered(shorts, "short");
  ordered({Encode(3, Raw<uint16_t>(0)), Encode(3, Raw<uint16_t>(0xFF)),
           Encode(3, Raw<uint16_t>(0x100)), Encode(3, Raw<uint16_t>(0xFFFF))},
          "ushort");
  std::vector<std::string> doubles;
  for (double v : {-1e300, -2.0, -1.0, -0.5, 0.0, 1e-300, 0.5, 1.0, 2.0, 1e300}) {
    doubles.push_back(Encode(9, Raw(v)));
  }
  ordered(doubles, "double");
  std::vector<std::string> floats;
  for (float v : {-3.5f, -2.0f, -1.0f, 0.0f, 0.25f, 7.0f}) floats.push_back(Encode(8, Raw(v)));
  ordered(floats, "float");
  // Packed decimals, 2 bytes (3 digits): -999, -12, -1, 0, 1, 12, 999.
  ordered({Encode(10, "\xF9\x99"sv), Encode(10, "\xF0\x12"sv), Encode(10, "\xF0\x01"sv),
           Encode(10, "\x00\x00"sv), Encode(10, "\x00\x01"sv), Encode(10, "\x00\x12"sv),
           Encode(10, "\x09\x99"sv)},
          "decimal");
  // Descending reverses every order, the signed ones included.
  EXPECT_TRUE(Less(Encode(18, "B", true), Encode(18, "A", true)));
  EXPECT_TRUE(Less(Encode(2, Raw<int16_t>(1), true), Encode(2, Raw<int16_t>(-1), true)));
  EXPECT_TRUE(Less(Encode(9, Raw(-1.0), true), Encode(9, Raw(-2.0), true)));
  EXPECT_TRUE(Less(Encode(10, "\x00\x01"sv, true), Encode(10, "\xF0\x01"sv, true)));
}

TEST_F(KeyEncodingTest, CollationMapsStringBytesThroughTheTableOfTheSet) {
  // "b" before "a": the two swap weights.
  format::SetCollationSequence(&format::MutableLocale(), "ba");
  EXPECT_TRUE(Less(Encode(18, "b"), Encode(18, "a")));
  // Numbers never go through the collation.
  EXPECT_EQ(Hex(Encode(3, Raw<uint16_t>('a'))), "00 61");
  format::ResetLocale();
  EXPECT_TRUE(Less(Encode(18, "a"), Encode(18, "b")));
  // An OEM table orders its text by the OEM bytes: ANSI 0xE9 (e acute) is
  // OEM 0x82.
  EXPECT_EQ(Hex(Encode(18, "\xE9", false, {false, true})), "82");
}

TEST_F(KeyEncodingTest, BlankTestFollowsTheType) {
  struct Case {
    uint8_t type;
    std::string bytes;
    bool blank;
  } cases[] = {
      {18, "   ", true},
      {18, "  x", false},
      {18, std::string("\0\0", 2), false},
      {22, "  ", true},
      {19, std::string("\0x", 2), true},
      {19, "x", false},
      {20, std::string("\0x", 2), true},
      {20, "\x01x", false},
      {2, std::string(2, '\0'), true},
      {2, "\x01\x00", false},
      {10, "  ", false},
      {9, std::string(8, '\0'), true},
  };
  for (const Case& c : cases) {
    KeyComponentLayout comp{c.type, 0, static_cast<uint32_t>(c.bytes.size()), false};
    EXPECT_EQ(ComponentIsBlank(comp, reinterpret_cast<const uint8_t*>(c.bytes.data())), c.blank)
        << int(c.type) << " " << Hex(c.bytes);
  }
}

TEST_F(KeyEncodingTest, KeyEntriesCarryTheRecordNumberWhereTheAttributesSay) {
  KeyLayout unique{1, kKeyAttrOptional | kKeyAttrNoCase, {{18, 0, 3, false}}};
  KeyLayout dups{2, kKeyAttrDuplicates | kKeyAttrOptional, {{18, 0, 3, false}, {2, 3, 2, false}}};
  const uint8_t record[] = {'a', 'b', ' ', 0x01, 0x00};
  KeyEntry e;
  ASSERT_TRUE(MakeKeyEntry(0x0A0B0C0D, unique, record, 0x100, false, &e));
  EXPECT_EQ(Hex(e.key), "0A 0B 0C 0D 01 41 42 20");
  EXPECT_EQ(Hex(e.data), "00 00 01 00");
  EXPECT_EQ(KeyEntryRecord(unique, e.key, e.data), 0x100u);
  ASSERT_TRUE(MakeKeyEntry(0x0A0B0C0D, dups, record, 0x100, false, &e));
  EXPECT_EQ(Hex(e.key), "0A 0B 0C 0D 02 61 62 20 80 01 00 00 01 00");
  EXPECT_TRUE(e.data.empty());
  EXPECT_EQ(KeyEntryRecord(dups, e.key, e.data), 0x100u);

  // Optional keys leave out a record only when every component is blank.
  const uint8_t blank[] = {' ', ' ', ' ', 0, 0};
  const uint8_t one[] = {' ', ' ', 'x', 0, 0};
  const uint8_t number_only[] = {' ', ' ', ' ', 0, 1};
  EXPECT_FALSE(MakeKeyEntry(1, unique, blank, 5, false, &e));
  EXPECT_TRUE(MakeKeyEntry(1, unique, one, 5, false, &e));
  EXPECT_FALSE(MakeKeyEntry(1, dups, blank, 5, false, &e));
  EXPECT_TRUE(MakeKeyEntry(1, dups, number_only, 5, false, &e));
  KeyLayout required{0, 0, {{18, 0, 3, false}}};
  EXPECT_TRUE(MakeKeyEntry(1, required, blank, 5, false, &e));
}

TEST_F(KeyEncodingTest, LayoutsComeFromTheDefinition) {
  TableDefinition def;
  def.record_length = 8;
  def.fields.resize(2);
  def.fields[0].type = 2;
  def.fields[0].size = 2;
  def.fields[1].type = 18;
  def.fields[1].offset = 2;
  def.fields[1].size = 6;
  def.keys.resize(1);
  def.keys[0].attributes = 0x07;
  def.keys[0].components = {{1, kComponentDescending}, {0, 0}};
  std::vector<KeyLayout> layouts;
  ASSERT_TRUE(KeyLayouts(def, &layouts));
  ASSERT_EQ(layouts.size(), 1u);
  EXPECT_EQ(layouts[0].components[0].offset, 2u);
  EXPECT_TRUE(layouts[0].components[0].descending);
  EXPECT_EQ(layouts[0].ValueSize(), 8u);
  def.keys[0].components.push_back({2, 0});
  EXPECT_FALSE(KeyLayouts(def, &layouts));
  def.keys[0].components.pop_back();
  def.fields[1].size = 7;  // beyond the record
  EXPECT_FALSE(KeyLayouts(def, &layouts));
}

}  // namespace
}  // namespace vorsandt::qvf
