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

struct Case {
  int number;
  std::string t1, t2;
  bool error_set;
  std::string text, caption;
  ui::Icon icon;
  int buttons, default_button;
  std::string halt;
};

TEST(BuildMessage, CatalogueTable) {
  using ui::Icon;
  namespace b = ui::button;
  const std::string e = "File Not Found (2)";
  const Case cases[] = {
      {1, "ITEMS.QVF", "", true,
       "Error: (File Not Found (2)) accessing ITEMS.QVF.  Press OK to end this application.",
       "Invalid File", Icon::kExclamation, b::kOk, b::kOk, "Invalid File!"},
      {2, "POLICY.QVF  ", "", false,
       "POLICY.QVF key file is invalid.  Do you want to rebuild the key?", "Invalid Key",
       Icon::kQuestion, b::kYes | b::kNo, b::kYes, "Invalid Key!"},
      {3, "CLAIM.QVF", "", true,
       "Error: (File Not Found (2)) repairing key for CLAIM.QVF.  Press OK to end this "
       "application.",
       "Key Rebuild Error", Icon::kExclamation, b::kOk, b::kOk, "Error Rebuilding Key!"},
      {4, "A.QVF", "", true,
       "Error: (File Not Found (2)) creating A.QVF.  Press OK to end this application.",
       "File Creation Error", Icon::kExclamation, b::kOk, b::kOk, "File Creation Error!"},
      {5, "A.QVF", "", true,
       "Error: (File Not Found (2)) opening created file:A.QVF.  Press OK to end this "
       "application.",
       "File Creation Error", Icon::kExclamation, b::kOk, b::kOk, "File Creation Error!"},
      {11, "POL:INSURER", "INSURANCE_COMPANY", false,
       "The value for POL:INSURER must be found in the INSURANCE_COMPANY file.",
       "Field Contents Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {14, "", "", true,
       "An error was experienced during the update of record.  Error: File Not Found (2).",
       "Record Insert Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {15, "Record Not Found", "", true,
       "An error (File Not Found (2)) was experienced when attempting to update a record from "
       "the file.  Probable Cause: Record Not Found.",
       "Update Operation Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {15, "ignored", "", false, "This record was changed by another station.",
       "Update Operation Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {16, "", "", false,
       "An error was experienced changing this record.  Do you want to try to save again?",
       "Record Update Error", Icon::kExclamation, b::kYes | b::kNo | b::kCancel, b::kCancel, ""},
      {17, "ITEMS.QVF", "", true,
       "An error (File Not Found (2)) was experienced when attempting to delete a record from "
       "the file ITEMS.QVF.",
       "Delete Operation Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {18, "", "", false,
       "An error was experienced deleting this record.  Do you want to try to save again?",
       "Record Update Error", Icon::kExclamation, b::kYes | b::kNo | b::kCancel, b::kCancel, ""},
      {24, "INS:REF", "", false, "Adding this record creates a duplicate entry for the key:INS:REF",
       "Duplicate Key Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {25, "", "", true,
       "Attempts to automatically number this record have failed.  Error: File Not Found (2).",
       "Auto Increment Error", Icon::kExclamation, b::kRetry | b::kCancel, b::kCancel, ""},
      {26, "README.TXT", "", true, "README.TXT File Load Error.  Error: File Not Found (2).",
       "File Load Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {27, "README.TXT", "", false, "Are you certain you want to stop loading README.TXT?",
       "Cancel Request", Icon::kQuestion, b::kOk | b::kCancel, b::kCancel, ""},
      {28, "README.TXT", "", false,
       "README.TXT File Load Error.  The file you've requested contains no text.",
       "File Load Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {30, "POLICY.QVF", "", true,
       "File (POLICY.QVF) could not be opened.  Error: File Not Found (2).", "File Access Error",
       Icon::kExclamation, b::kOk, b::kOk, ""},
      {32, "", "", false,
       "You've selected to delete the highlighted record.  Press OK to confirm deletion of this "
       "record.",
       "Confirm Delete", Icon::kQuestion, b::kOk | b::kCancel, b::kCancel, ""},
      {34, "Delete", "POLICY", true,
       "Error: (File Not Found (2)) attempting to frame the delete transaction on POLICY.  Delete "
       "transaction cancelled.",
       "Transaction Framing Error", Icon::kExclamation, b::kOk, b::kOk, ""},
      {35, "ITEMS", "", true,
       "Error: (File Not Found (2)) attempting to access a record from the ITEMS file.  returning "
       "to previous window.",
       "Record Retrieval Error", Icon::kExclamation, b::kOk, b::kOk, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    std::optional<MessageSpec> m = BuildMessage(c.number, e, c.error_set, c.t1, c.t2);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->text, c.text);
    EXPECT_EQ(m->caption, c.caption);
    EXPECT_EQ(m->icon, c.icon);
    EXPECT_EQ(m->buttons, c.buttons);
    EXPECT_EQ(m->default_button, c.default_button);
    EXPECT_EQ(m->halt, c.halt);
  }
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
