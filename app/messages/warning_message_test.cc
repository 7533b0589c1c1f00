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
  EXPECT_EQ(BuildMessage(MessageId::kUpdateOperationError, "File Not Found (2)", true, "Record Not Found")->text,
            "An error (File Not Found (2)) was experienced when attempting to update a record "
            "from the file.  Probable Cause: Record Not Found.");
  EXPECT_EQ(BuildMessage(MessageId::kUpdateOperationError, " (0)", false, "Record Not Found")->text,
            "This record was changed by another station.");
}

TEST(BuildMessage, QuestionsCarryTheirButtonsAndDefaults) {
  namespace b = ui::button;
  const struct {
    MessageId id;
    int buttons, default_button;
    ui::Icon icon;
  } cases[] = {
      {MessageId::kInvalidKey, b::kYes | b::kNo, b::kYes, ui::Icon::kQuestion},
      {MessageId::kChangeRetry, b::kYes | b::kNo | b::kCancel, b::kCancel, ui::Icon::kExclamation},
      {MessageId::kDeleteRetry, b::kYes | b::kNo | b::kCancel, b::kCancel, ui::Icon::kExclamation},
      {MessageId::kAutoIncrementError, b::kRetry | b::kCancel, b::kCancel, ui::Icon::kExclamation},
      {MessageId::kCancelLoading, b::kOk | b::kCancel, b::kCancel, ui::Icon::kQuestion},
      {MessageId::kConfirmDelete, b::kOk | b::kCancel, b::kCancel, ui::Icon::kQuestion},
      {MessageId::kConfirmDeleteReach, b::kOk | b::kCancel, b::kCancel, ui::Icon::kQuestion},
      {MessageId::kFileAccessError, b::kOk, b::kOk, ui::Icon::kExclamation},
  };
  for (const auto& c : cases) {
    std::optional<MessageSpec> m = BuildMessage(c.id, "", false, "T");
    ASSERT_TRUE(m.has_value()) << static_cast<int>(c.id);
    EXPECT_EQ(m->buttons, c.buttons) << static_cast<int>(c.id);
    EXPECT_EQ(m->default_button, c.default_button) << static_cast<int>(c.id);
    EXPECT_EQ(m->icon, c.icon) << static_cast<int>(c.id);
  }
}

TEST(BuildMessage, TableOpeningFailuresHaltWithTheirText) {
  const struct {
    MessageId id;
    const char* halt;
  } cases[] = {{MessageId::kInvalidFile, "Invalid File!"},
               {MessageId::kInvalidKey, "Invalid Key!"},
               {MessageId::kKeyRebuildError, "Error Rebuilding Key!"},
               {MessageId::kFileCreationError, "File Creation Error!"},
               {MessageId::kCreatedFileOpenError, "File Creation Error!"},
               {MessageId::kFileAccessError, ""},
               {MessageId::kFileLoadError, ""}};
  for (const auto& c : cases) EXPECT_EQ(BuildMessage(c.id, "", false, "T")->halt, c.halt);
}

TEST(BuildMessage, OnlyYesAtTheKeyQuestionCarriesOn) {
  std::optional<MessageSpec> m = BuildMessage(MessageId::kInvalidKey, "", false, "X");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->continue_button, ui::button::kYes);
  EXPECT_EQ(BuildMessage(MessageId::kFileCreationError, "", false, "X")->continue_button, 0);
}

TEST(BuildMessage, NumbersOutsideTheCatalogueGiveNothing) {
  for (int n : {0, 6, 10, 12, 13, 19, 23, 29, 31, 33, 36, -1}) {
    EXPECT_FALSE(BuildMessage(static_cast<MessageId>(n), "", false).has_value()) << n;
  }
}

TEST(BuildMessage, TransactionNameLowerCasedOnlyInItsFirstPlace) {
  std::optional<MessageSpec> m = BuildMessage(MessageId::kTransactionFramingError, "E (1)", true, "ChAnGe \xC9T\xC9   ", "ITEMS  ");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->text,
            "Error: (E (1)) attempting to frame the change \xE9t\xE9 transaction on ITEMS.  ChAnGe "
            "\xC9T\xC9 transaction cancelled.");
}

TEST(BuildMessage, CallerTextsAreNeverReadAsPlaceholders) {
  EXPECT_EQ(BuildMessage(MessageId::kFileLoadError, "E (1)", true, "100%E %1 ")->text,
            "100%E %1 File Load Error.  Error: E (1).");
  EXPECT_EQ(BuildMessage(MessageId::kFieldContentsError, "", false, "A:B", "%2")->text,
            "The value for A:B must be found in the %2 file.");
}

TEST(TrimRight, OnlyTrailingBlanks) {
  EXPECT_EQ(TrimRight("  a b  "), "  a b");
  EXPECT_EQ(TrimRight("    "), "");
  EXPECT_EQ(TrimRight(""), "");
  EXPECT_EQ(TrimRight("a\t"), "a\t");
}

}  // namespace
}  // namespace vorsandt::app
