// The qvf tool's table commands on a file the driver wrote.
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "storage/qvf/driver/qvf_test_support.h"
#include "tools/qvf/tool_run_test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::RunQvf;
using testing::ToolRun;

TEST(QvfTablesToolTest, ListsDescribesAndChecksADriverWrittenTable) {
  testing::ScratchFolder folder;
  files::FileRecord* companies = testing::Companies();
  files::Create(companies);
  files::Open(companies);
  ASSERT_EQ(testing::Code(), 0);
  for (int i = 1; i <= 50; ++i) testing::AddCompany(companies, i, "Company " + std::to_string(i));
  ASSERT_EQ(testing::Code(), 0);
  files::Close(companies);

  const std::string file = (folder.path() / "COMPANIES.QVF").string();
  ToolRun tables = RunQvf("tables " + file);
  EXPECT_EQ(tables.exit_code, 0) << tables.output;
  // A name without "!" names the file; its one table is UNNAMED.
  EXPECT_NE(tables.output.find("UNNAMED"), std::string::npos) << tables.output;

  ToolRun definition = RunQvf("definition " + file);
  EXPECT_EQ(definition.exit_code, 0) << definition.output;
  for (const char* name : {"COM:COMPANY_REFERENCE", "COM:EXT", "COM:NAME"}) {
    EXPECT_NE(definition.output.find(name), std::string::npos) << name << definition.output;
  }

  ToolRun check = RunQvf("check " + file);
  EXPECT_EQ(check.exit_code, 0) << check.output;
  EXPECT_EQ(RunQvf("definition '" + file + "!NOSUCH'").exit_code, 2);
  EXPECT_EQ(RunQvf("frobnicate " + file).exit_code, 2);
}

}  // namespace
}  // namespace vorsandt::qvf
