#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "runtime/files/error_state.h"
#include "runtime/format/characters.h"
#include "runtime/format/charset.h"
#include "runtime/format/collation.h"
#include "runtime/format/locale.h"
#include "runtime/format/regional.h"
#include "runtime/format/settings_file.h"

namespace vorsandt::format {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLocale(); }
  void TearDown() override { ResetLocale(); }
  void Apply(std::string_view text) { ApplySettingsText(text, &MutableLocale()); }
  const Locale& L() { return CurrentLocale(); }
};

TEST(SettingsValue, ListRules) {
  struct Case {
    const char* value;
    bool commas;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"a,b,c", true, {"a", "b", "c"}},
      {"a,b,c", false, {"a,b,c"}},
      {"   x", true, {"x"}},
      {"", true, {""}},
      {"\"a,b\",\"c\"", true, {"a,b", "c"}},
      {"\"say \"\"hi\"\"\"", true, {"say \"hi\""}},
      {"\"open", true, {"open"}},                  // missing closing quote
      {"\"a\" junk ,  \"b\"", true, {"a", "b"}},  // noise after a closing quote
      {"\"a\",b,\"c\"", true, {"a", "b", "c"}},    // an unquoted item in a quoted list
      {"a,,b", true, {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseSettingsValue(c.value, c.commas), c.items) << c.value;
  }
}

TEST_F(SettingsTest, ThreeAbbreviationsChangeOnlyTheFirstThree) {
  Apply("ZORMON=Jnv,Fvr,Mrs\n");
  EXPECT_EQ(L().month_abbreviations[0], "Jnv");
  EXPECT_EQ(L().month_abbreviations[1], "Fvr");
  EXPECT_EQ(L().month_abbreviations[2], "Mrs");
  EXPECT_EQ(L().month_abbreviations[3], "Apr");
  EXPECT_EQ(L().month_abbreviations[11], "Dec");
}

TEST_F(SettingsTest, MonthNamesAreCutAndKeysIgnoreCaseAndBlanks) {
  Apply(" zor Month = \"Janvier\",\"Fevrier-tres-long-nom\"\r\nzormon=Janvier\n");
  EXPECT_EQ(L().month_names[0], "Janvier");
  EXPECT_EQ(L().month_names[1], "Fevrier-tres");
  EXPECT_EQ(L().month_names[2], "March");
  EXPECT_EQ(L().month_abbreviations[0], "Jan");
}

// The reminder's days: a whole number from 0 (off) up; anything else keeps
// what was in force rather than switching the reminder off by accident.
TEST_F(SettingsTest, DueSoonDaysTakesOnlyWholeNumbers) {
  EXPECT_EQ(CurrentLocale().due_soon_days, 30);
  Apply("DueSoonDays=14\n");
  EXPECT_EQ(CurrentLocale().due_soon_days, 14);
  Apply("DUESOONDAYS=0\n");
  EXPECT_EQ(CurrentLocale().due_soon_days, 0);
  Apply("DUESOONDAYS=7\nDUESOONDAYS=soon\nDUESOONDAYS=-3\nDUESOONDAYS=12x\nDUESOONDAYS=99999\n");
  EXPECT_EQ(CurrentLocale().due_soon_days, 7);
}

TEST_F(SettingsTest, AmPmTextsAndWindows) {
  Apply("ZORAMPM=vorm,nachm\n");
  EXPECT_EQ(L().am_text, "vo");
  EXPECT_EQ(L().pm_text, "na");
  MutableLocale().regional.s1159 = "am";
  MutableLocale().regional.s2359 = "pm";
  Apply("ZORAMPM=windows\n");
  EXPECT_EQ(L().am_text, "am");
  EXPECT_EQ(L().pm_text, "pm");
}

TEST_F(SettingsTest, CasePairsAboveAscii) {
  EXPECT_EQ(ToUpper('\xe9'), '\xe9');  // nothing above 127 by default
  Apply("ZORCASE=\"\xc9\xc4\",\"\xe9\xe4\"\n");
  EXPECT_EQ(ToUpper('\xe9'), '\xc9');
  EXPECT_EQ(ToLower('\xc4'), '\xe4');
  EXPECT_TRUE(IsUpper('\xc9'));
  EXPECT_TRUE(IsAlpha('\xe4'));
  EXPECT_EQ(ToUpper('\xf6'), '\xf6');
  EXPECT_EQ(ToUpperText("abc\xe9"), "ABC\xc9");
  EXPECT_TRUE(IsDigit('7'));
  EXPECT_FALSE(IsAlpha('7'));
}

TEST_F(SettingsTest, CaseItemsOfDifferentLengthUseTheSystemRule) {
  Apply("ZORCASE=\xc9\xc4,\xe9\n");
  EXPECT_EQ(ToUpper('\xe9'), '\xc9');
  EXPECT_EQ(ToUpper('\xf6'), '\xd6');  // from the system, not the list
  EXPECT_EQ(ToLower('\x8a'), '\x9a');  // S with caron, in the 0x80 row
  EXPECT_EQ(ToUpper('a'), 'A');
  EXPECT_EQ(ToUpper('\xdf'), '\xdf');  // sharp s has no single upper-case form
}

TEST_F(SettingsTest, CollationSequenceReordersOnlyListedCharacters) {
  EXPECT_LT(CompareText("B", "a"), 0);
  Apply("ZORCOLSEQ=AaBbCc\n");
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_LT(CompareText("A", "a"), 0);
  EXPECT_LT(CompareText("b", "C"), 0);
  EXPECT_LT(CompareText("1", "A"), 0);  // unlisted digits stay below the letters
  EXPECT_EQ(CompareText("ab  ", "ab"), 0);
  EXPECT_LT(CompareText("ab", "ab!"), 0);
  // The table stays a permutation.
  std::array<bool, 256> seen{};
  for (int c = 0; c < 256; ++c) seen[L().ansi_weights[c]] = true;
  for (bool s : seen) EXPECT_TRUE(s);
  Apply("ZORCOLSEQ=\n");
  EXPECT_LT(CompareText("B", "a"), 0);
}

TEST_F(SettingsTest, FoldedComparisonIsTheComparisonOfUpperCaseTexts) {
  // Case pairs above ASCII and a reordered sequence, where folding as the
  // texts are compared must give what comparing their upper-case copies does.
  Apply("ZORCASE=\xc9\xc4,\xe9\xe4\nZORCOLSEQ=AaBb\xc9\xe9\n");
  std::mt19937 random(5);
  const char alphabet[] = "aAbBzZ \xc9\xe9\xc4\xe4\xdf" "1";
  for (int i = 0; i < 3000; ++i) {
    std::string a, b;
    for (int n = random() % 6; n > 0; --n) a.push_back(alphabet[random() % (sizeof alphabet - 1)]);
    for (int n = random() % 6; n > 0; --n) b.push_back(alphabet[random() % (sizeof alphabet - 1)]);
    const int want = CompareText(ToUpperText(a), ToUpperText(b));
    const int got = CompareText(a, b, true);
    ASSERT_EQ(got < 0, want < 0) << a << " / " << b;
    ASSERT_EQ(got > 0, want > 0) << a << " / " << b;
    ASSERT_EQ(CompareText(a, b, false), CompareText(a, b));
  }
}

TEST_F(SettingsTest, CommasAreOrdinaryInCollationAndMessages) {
  Apply("ZORCOLSEQ=b,a\nZORMSG33=Nothing, here\n");
  EXPECT_LT(CompareText("b", "a"), 0);
  EXPECT_LT(CompareText(",", "a"), 0);
  EXPECT_EQ(files::Errors().MessageText(33), "Nothing, here");
}

TEST_F(SettingsTest, SystemCollation) {
  Apply("ZORCOLSEQ=WINDOWS\n");
  // Whatever the process locale, letters and digits keep their ASCII order.
  EXPECT_LT(CompareText("a", "b"), 0);
  EXPECT_LT(CompareText("1", "2"), 0);
  EXPECT_LT(CompareText("A", "Z"), 0);
}

TEST_F(SettingsTest, OemValuesAreConverted) {
  Apply("ZORCHARSET=oem\nZORMONTH=M\x84rz\nZORCOLSEQ=\x81u\n");
  EXPECT_EQ(L().charset, CharacterSet::kOem);
  EXPECT_EQ(L().month_names[0], "M\xe4rz");
  // The collation list stays in the OEM set: OEM u-umlaut (0x81) before u.
  EXPECT_LT(L().oem_weights[0x81], L().oem_weights['u']);
  EXPECT_LT(L().ansi_weights[0xfc], L().ansi_weights['u']);
  EXPECT_LT(CompareText("\x81", "u"), 0);
}

TEST_F(SettingsTest, DigraphsButtonsAndMessages) {
  Apply("ZORDIGRAPH=\"AEa,OEo\",SSs,xy\nZORBUTTON=&Ja,,&Abbrechen\nZORMSG2=Datei fehlt\n");
  ASSERT_EQ(L().digraphs.size(), 3u);
  EXPECT_EQ(std::string(L().digraphs[1].data(), 3), "OEo");
  EXPECT_EQ(ButtonText(32512), "&Ja");
  EXPECT_FALSE(ButtonText(32513).has_value());
  EXPECT_EQ(ButtonText(32514), "&Abbrechen");
  EXPECT_EQ(files::Errors().MessageText(2), "Datei fehlt");
  ResetLocale();
  EXPECT_EQ(files::Errors().MessageText(2), "File Not Found");
}

TEST_F(SettingsTest, HostileTextLoadsWithoutHarm) {
  std::string text;
  text += std::string(500, 'K') + "=value\n";                     // overlong key
  text += "ZORMSG7=" + std::string(1000, 'v') + "\n";              // overlong value
  text += "ZORMONTH=\"unclosed, still one item\n";                 // missing quote
  text += "ZORMSG=no number\nZORMSG99999999999=too big\n";         // bad numbers
  text += std::string("\0\xff\x01=\x02\x80\n", 7);                 // binary bytes
  text += "no equals sign here\n=\n\n";
  text += "ZORMON=Aaa";                                            // no final newline
  Apply(text);
  EXPECT_EQ(files::Errors().MessageText(7).size(), kMaxValueLength - 0);
  EXPECT_EQ(L().month_names[0], "unclosed, st");
  EXPECT_EQ(L().month_abbreviations[0], "Aaa");

  // Random bytes never crash the loader.
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string noise;
    int length = static_cast<int>(random() % 600);
    for (int i = 0; i < length; ++i) {
      static const char kPieces[] = "ZORMONTHCASE=\",\n\r\x1a ab";
      noise += random() % 2 ? kPieces[random() % (sizeof kPieces - 1)]
                            : static_cast<char>(random() % 256);
    }
    Apply(noise);
  }
}

TEST_F(SettingsTest, CtrlZEndsTheFile) {
  Apply("ZORMON=Aaa\n\x1aZORMON=Bbb\n");
  EXPECT_EQ(L().month_abbreviations[0], "Aaa");
}

TEST_F(SettingsTest, FileLookupAndMissingFile) {
  char folder[] = "/tmp/vorsandt_env_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string dir = folder;
  EXPECT_EQ(SettingsFilePath(dir + "/vorsandt"), dir + "/VORSANDT.ENV");
  EXPECT_EQ(SettingsFilePath("/x/WINDOWS.EXE"), "");
  {
    std::ofstream(dir + "/vorsandt.env") << "ZORMON=Xan\n";
  }
  EXPECT_EQ(SettingsFilePath(dir + "/vorsandt"), dir + "/vorsandt.env");
  files::Errors().Clear();
  EXPECT_TRUE(LoadLocale(dir + "/vorsandt"));
  EXPECT_EQ(files::Errors().Code(), 0);
  EXPECT_EQ(L().month_abbreviations[0], "Xan");
  std::remove((dir + "/vorsandt.env").c_str());

  EXPECT_FALSE(LoadLocale(dir + "/vorsandt"));
  EXPECT_EQ(files::Errors().Code(), 2);
  EXPECT_EQ(L().month_abbreviations[0], "Jan");
  files::Errors().Clear();
  rmdir(folder);
}

TEST(Regional, FromLangInfo) {
  struct Case {
    LangInfo info;
    int i_time, i_tlzero;
    std::string s_time, short_date, long_date;
  };
  const std::string kDefaultLong = RegionalSettings().long_date;
  const Case cases[] = {
      {{"%H:%M:%S", "%d.%m.%Y", "", ""}, 1, 1, ":", "dd.MM.yyyy", "dd' 'MMMM' 'yyyy"},
      {{"%I:%M:%S %p", "%m/%d/%Y", "AM", "PM"}, 0, 1, ":", "MM/dd/yyyy", kDefaultLong},
      {{"%r", "%D", "", ""}, 0, 1, ":", "MM/dd/yy", kDefaultLong},
      {{"%k.%M", "%Y-%m-%d", "", ""}, 1, 0, ".", "yyyy-MM-dd", "yyyy' 'MMMM' 'dd"},
      {{"%T", "%e %b %y", "", ""}, 1, 1, ":", "d MMM yy", "dd' 'MMMM' 'yyyy"},
      {{"", "", "", ""}, 0, 1, ":", "MM/dd/yy", kDefaultLong},
      {{"%", "%", "", ""}, 0, 1, ":", "MM/dd/yy", kDefaultLong},
      {{"%H:%M", "%Y. %m. %d.", "", ""}, 1, 1, ":", "yyyy. MM. dd.", "yyyy' 'MMMM' 'dd"},
      {{"%Hh%M", "%d de %B", "", ""}, 1, 1, "h", "dd 'de' MMMM", kDefaultLong},
  };
  for (const auto& c : cases) {
    RegionalSettings r = RegionalFromLangInfo(c.info);
    EXPECT_EQ(r.i_time, c.i_time) << c.info.time_format;
    EXPECT_EQ(r.i_tlzero, c.i_tlzero) << c.info.time_format;
    EXPECT_EQ(r.s_time, c.s_time) << c.info.time_format;
    EXPECT_EQ(r.short_date, c.short_date) << c.info.date_format;
    EXPECT_EQ(r.long_date, c.long_date) << c.info.date_format;
  }
}

TEST(Charset, OemAndAnsi) {
  EXPECT_EQ(OemToAnsi(0x81), 0xfc);  // u with diaeresis
  EXPECT_EQ(AnsiToOem(0xfc), 0x81);
  EXPECT_EQ(OemToAnsi('A'), 'A');
  EXPECT_EQ(AnsiToUnicode(0x80), U'\u20ac');
  EXPECT_EQ(UnicodeToAnsi(U'\u20ac'), 0x80);
  EXPECT_EQ(AnsiToUtf8("\xe9"), "\xc3\xa9");
  EXPECT_EQ(ToAnsi("\xc3\xa9t\xc3\xa9", "UTF-8"), "\xe9t\xe9");
}

}  // namespace
}  // namespace vorsandt::format
