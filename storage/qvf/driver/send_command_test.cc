#include "storage/qvf/driver/send_command.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "storage/qvf/driver/registration.h"

namespace vorsandt::qvf {
namespace {

TEST(SendCommandParse, Table) {
  struct Case {
    std::string text;
    SendKind kind;
    std::string argument;
  } cases[] = {
      {"QCF=/data/shared.qcf", SendKind::kCoordinationFile, "/data/shared.qcf"},
      {"QCF=velocara.qcf   ", SendKind::kCoordinationFile, "velocara.qcf"},
      {std::string("QCF=x.qcf\0junk", 14), SendKind::kCoordinationFile, "x.qcf"},
      {"QCF=", SendKind::kCoordinationFile, ""},
      {"PNM=", SendKind::kNextTableName, ""},
      {"PNM=ITEMS", SendKind::kNextTableName, "ITEMS"},
      {"REGISTER", SendKind::kRegister, ""},
      {"REGISTER  ", SendKind::kRegister, ""},
      {"REGISTERX", SendKind::kUnknown, ""},
      {"CHANGES", SendKind::kChangeCount, ""},
      {"CHANGES=1", SendKind::kUnknown, ""},
      {"QUICKSCAN=on", SendKind::kUnknown, ""},
      {"qcf=lower.qcf", SendKind::kUnknown, ""},
      {"", SendKind::kUnknown, ""},
      {" QCF=a", SendKind::kUnknown, ""},
  };
  for (const auto& c : cases) {
    SendCommand got = ParseSend(c.text);
    EXPECT_EQ(got.kind, c.kind) << c.text;
    EXPECT_EQ(got.argument, c.argument) << c.text;
  }
}

TEST(Registration, DeclaresSixtyFiveOperationsAndFifteenTypes) {
  const auto& ops = DeclaredOperations();
  EXPECT_EQ(ops.size(), 65u);
  for (int op : {35, 39, 51, 53, 55, 59, 68, 69, 70, 71, 72, 73, 74, 79}) {
    EXPECT_EQ(std::count(ops.begin(), ops.end(), op), 0) << op;
  }
  for (int op : {1, 34, 36, 38, 40, 50, 52, 54, 56, 58, 60, 67, 75, 78}) {
    EXPECT_EQ(std::count(ops.begin(), ops.end(), op), 1) << op;
  }
  EXPECT_EQ(DeclaredTypes().size(), 15u);
  files::Registration reg;
  FillRegistration(nullptr, &reg);
  EXPECT_EQ(reg.driver_name, "VELOCARA");
  EXPECT_EQ(reg.library_name, "RIDAD16.DLL");
  EXPECT_EQ(reg.description, "Velocara (QVF) Driver 1.00");
  EXPECT_TRUE(reg.caps.transactions && reg.caps.rollback && reg.caps.commit &&
              reg.caps.lock_before_transaction && reg.caps.unlock_after_transaction);
  EXPECT_TRUE(reg.SupportsType(26));
  EXPECT_FALSE(reg.SupportsType(4));
}

}  // namespace
}  // namespace vorsandt::qvf
