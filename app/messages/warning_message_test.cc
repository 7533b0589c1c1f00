#include "app/messages/warning_message.h"

#include <gtest/gtest.h>

#include <string>

namespace vorsandt::app {
namespace {

TEST(ComposeErrorText, RuntimeTextThenCodeWithoutTrailingBlanks) {
  EXPECT_EQ(ComposeErrorText(2, "File Not Found"), "File Not Found (2)");
  EXPECT_EQ(ComposeErrorText(350, "Not Supported "), "Not Supported (350)");
  EXPECT_EQ(ComposeErrorText(0, ""), " (0)");
}

TEST(ComposeErrorText, DriverReportedErrorUsesTheDriversTexts) {
  EXPECT_EQ(ComposeErrorText(90, "Unknown Error Posted", "Disk quota gone   ", "Q17  "),
            "Disk quota gone (Q17)");
}

TEST(ComposeErrorText, CutTo150Characters) {
  std::string text = ComposeErrorText(90, "", std::string(200, 'x'), "1");
  EXPECT_EQ(text, std::string(150, 'x'));
  std::string exact = ComposeErrorText(90, "", std::string(146, 'y'), "1");
  EXPECT_EQ(exact.size(), 150u);
  EXPECT_EQ(exact.substr(146), " (1)");
}

TEST(BuildMessage, UpdateErrorReadsDifferentlyWithoutAnErrorCode) {
  EXPECT_EQ(BuildMessage(15, "File Not Found (2)", true, "Record Not Found")->text,
            "An error (File Not Found (2)) was experienced when attempting to update a record "
            "from the file.  Probable Cause: Record Not Found.");
  EXPECT_EQ(BuildMessage(15, " (0)", false, "Record Not Found")->text,
            "This record was changed by another station.");
}

TEST(BuildMessage, QuestionsCarryTheirButtonsAndDefaults) {
  namespace b = ui::button;
  const struct {
    int number, buttons, default_button;
    ui::Icon icon;
  } cases[] = {
      {2, b::kYes | b::kNo, b::kYes, ui::Icon::kQuestion},
      {16, b::kYes | b::kNo | b::kCancel, b::kCancel, ui::Icon::kExclamation},
      {18, b::kYes | b::kNo | b::kCancel, b::kCancel, ui::Icon::kExclamation},
      {25, b::kRetry | b::kCancel, b::kCancel, ui::Icon::kExclamation},
      {27, b::kOk | b::kCancel, b::kCancel, ui::Icon::kQuestion},
      {32, b::kOk | b::kCancel, b::kCancel, ui::Icon::kQuestion},
      {30, b::kOk, b::kOk, ui::Icon::kExclamation},
  };
  for (const auto& c : cases) {
    std::optional<MessageSpec> m = BuildMessage(c.number, "", false, "T");
    ASSERT_TRUE(m.has_value()) << c.number;
    EXPECT_EQ(m->buttons, c.buttons) << c.number;
    EXPECT_EQ(m->default_button, c.default_button) << c.number;
    EXPECT_EQ(m->icon, c.icon) << c.number;
  }
}

TEST(BuildMessage, TableOpeningFailuresHaltWithTheirText) {
  const struct {
    int number;
    const char* halt;
  } cases[] = {{1, "Invalid File!"},
               {2, "Invalid Key!"},
               {3, "Error Rebuilding Key!"},
               {4, "File Creation Error!"},
               {5, "File Creation Error!"},
               {30, ""},
               {26, ""}};
  for (const auto& c : cases) EXPECT_EQ(BuildMessage(c.number, "", false, "T")->halt, c.halt);
}

TEST(BuildMessage, OnlyYesAtTheKeyQuestionCarriesOn) {
  std::optional<MessageSpec> m = BuildMessage(2, "", false, "X");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->continue_button, ui::button::kYes);
  EXPECT_EQ(BuildMessage(4, "", false, "X")->continue_button, 0);
}

TEST(BuildMessage, NumbersOutsideTheCatalogueGiveNothing) {
  for (int n : {0, 6, 10, 12, 13, 19, 23, 29, 31, 33, 36, -1}) {
    EXPECT_FALSE(BuildMessage(n, "", false).has_value()) << n;
  }
}

TEST(BuildMessage, TransactionNameLowerCasedOnlyInItsFirstPlace) {
  std::optional<MessageSpec> m = BuildMessage(34, "E (1)", true, "ChAnGe \xC9T\xC9   ", "ITEMS  ");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->text,
            "Error: (E (1)) attempting to frame the change \xE9t\xE9 transaction on ITEMS.  ChAnGe "
            "\xC9T\xC9 transaction cancelled.");
}

TEST(TrimRight, OnlyTrailingBlanks) {
  EXPECT_EQ(TrimRight("  a b  "), "  a b");
  EXPECT_EQ(TrimRight("    "), "");
  EXPECT_EQ(TrimRight(""), "");
  EXPECT_EQ(TrimRight("a\t"), "a\t");
}

}  // namespace
}  // namespace vorsandt::app
