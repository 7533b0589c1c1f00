// Option commands: each row applies commands in order to fresh options and
// checks the reply of the last one.
#include "runtime/text/text_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorsandt::text {
namespace {

struct OptionCase {
  std::vector<std::string> commands;
  std::string reply;  // of the last command
};

void PrintTo(const OptionCase& c, std::ostream* os) {
  for (const std::string& command : c.commands) *os << command << "; ";
}

class OptionCommandTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionCommandTest, RepliesWithTheValueAfterTheCommand) {
  TextOptions options;
  std::string reply;
  for (const std::string& c : GetParam().commands)
    ASSERT_TRUE(ApplyOption(c, &options, &reply)) << c;
  EXPECT_EQ(reply, GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OptionCommandTest,
    ::testing::Values(OptionCase{{"CLIP"}, "ON"}, OptionCase{{"clip=off"}, "OFF"},
                      OptionCase{{"CLIP=OFF", "Clip = onwards"}, "ON"},
                      OptionCase{{"CLIP=OF"}, "ON"},  // neither ON nor OFF: unchanged
                      OptionCase{{"CLIP=maybe"}, "ON"}, OptionCase{{"TAB"}, "8"},
                      OptionCase{{"TAB=-4"}, "-4"}, OptionCase{{"tab= 0 "}, "0"},
                      OptionCase{{"TAB=-100"}, "-100"}, OptionCase{{"TAB=+3"}, "3"},
                      OptionCase{{"TAB=4x"}, "8"}, OptionCase{{"TAB="}, "8"},
                      OptionCase{{"TAB=99999999999"}, "8"}, OptionCase{{"ENDOFRECORD"}, "2,13,10"},
                      OptionCase{{"ENDOFRECORD=1,10"}, "1,10"},
                      OptionCase{{"endofrecord = 3, 13, 13 ,10"}, "3,13,13,10"},
                      OptionCase{{"ENDOFRECORD=2,13"}, "2,13,10"},     // too few codes
                      OptionCase{{"ENDOFRECORD=1,10,13"}, "2,13,10"},  // too many codes
                      OptionCase{{"ENDOFRECORD=0"}, "2,13,10"},        // empty sequence
                      OptionCase{{"ENDOFRECORD=1,256"}, "2,13,10"},
                      OptionCase{{"ENDOFRECORD=9,1,2,3,4,5,6,7,8,9"}, "2,13,10"},
                      OptionCase{{"ENDOFRECORD=1,,"}, "2,13,10"}, OptionCase{{"FILEBUFFERS"}, "1"},
                      OptionCase{{"FILEBUFFERS=8"}, "8"}, OptionCase{{"FILEBUFFERS=0"}, "1"},
                      OptionCase{{"FILEBUFFERS=100000"}, "1"}, OptionCase{{"QUICKSCAN"}, "OFF"},
                      OptionCase{{"QUICKSCAN=on"}, "ON"},
                      OptionCase{{"QUICKSCAN=on", "QUICKSCAN=off"}, "OFF"}));

TEST(OptionCommandTest, UnknownNamesAreNotOptions) {
  TextOptions options;
  std::string reply = "x";
  EXPECT_FALSE(ApplyOption("TABS=4", &options, &reply));
  EXPECT_EQ(reply, "");
  EXPECT_FALSE(ApplyOption("", &options, &reply));
  EXPECT_FALSE(ApplyOption("=", &options, &reply));
  EXPECT_EQ(options.tab, kDefaultTab);
}

TEST(DriverTextTest, AppliesEachSlashIntroducedOption) {
  TextOptions options;
  ApplyDriverText("ignored/CLIP=OFF/TAB=-4/BOGUS=1/ENDOFRECORD=1,10/", &options);
  EXPECT_FALSE(options.clip);
  EXPECT_EQ(options.tab, -4);
  EXPECT_EQ(options.end_of_record, "\n");
  TextOptions untouched;
  ApplyDriverText("CLIP=OFF", &untouched);  // no "/": nothing applies
  EXPECT_TRUE(untouched.clip);
}

TEST(ParseDecimalTest, AcceptsTheInt32RangeOnly) {
  EXPECT_EQ(ParseDecimal("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseDecimal("2147483647"), INT32_MAX);
  EXPECT_FALSE(ParseDecimal("2147483648"));
  EXPECT_FALSE(ParseDecimal("-"));
  EXPECT_FALSE(ParseDecimal("1 2"));
}

}  // namespace
}  // namespace vorsandt::text
