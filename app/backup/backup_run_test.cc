// The backup and restore runs over a real table in a folder of their own:
// what a cancelled backup leaves, what a finished one restores, and where
// pictures go in the archive.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "app/backup/data_backup.h"
#include "app/backup/data_restore.h"
#include "app/backup/restore_target.h"
#include "app/dictionary/dictionary.h"
#include "app/exchange/table_import.h"
#include "runtime/env/env.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/table/qvf_table_commands.h"

namespace vorsandt::backup {
namespace {

namespace fs = std::filesystem;

class BackupRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vorsandt-backup-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    home_ = fs::current_path();
    fs::current_path(folder_);
    app::InitDictionary(&qvf::QvfEntry);
    std::string error;
    ASSERT_EQ(exchange::ImportTable(
                  app::Table::kLocations, "LOC:LOCATION\nHall\nLoft\n",
                  [](const std::string& path, std::vector<std::string>* faults) {
                    return qvf::FullCheckCommand(env::Env::Default(), path, faults);
                  },
                  &error),
              exchange::kImported)
        << error;
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(folder_);
  }
  static std::set<std::string> Files(const std::string& folder = ".") {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename());
    return names;
  }

  std::string folder_;
  fs::path home_;
};

TEST_F(BackupRunTest, ACancelledOrAbandonedBackupLeavesNoFile) {
  std::string error;
  {
    BackupRun run;
    ASSERT_TRUE(run.Begin("b.tar.gz", &error)) << error;
    ASSERT_TRUE(run.Step(&error)) << error;
    EXPECT_EQ(Files().size(), 2u);  // the table and the archive's temporary
    run.Cancel();
    EXPECT_EQ(Files(), std::set<std::string>{"LOCATIONS.QVF"});
  }
  {
    BackupRun run;
    ASSERT_TRUE(run.Begin("b.tar.gz", &error)) << error;
    ASSERT_TRUE(run.Step(&error)) << error;
  }
  EXPECT_EQ(Files(), std::set<std::string>{"LOCATIONS.QVF"});
}

TEST_F(BackupRunTest, AFinishedBackupRestoresOnceIntoAFolderWithoutTables) {
  std::string error;
  BackupRun run;
  ASSERT_TRUE(run.Begin("b.tar.gz", &error)) << error;
  while (!run.finished()) ASSERT_TRUE(run.Step(&error)) << error;
  ASSERT_TRUE(run.Finish(&error)) << error;
  EXPECT_EQ(Files(), (std::set<std::string>{"LOCATIONS.QVF", "b.tar.gz"}));
  EXPECT_EQ(run.Summary(), "1 table and 0 pictures");

  RestoreRun restore;
  ASSERT_TRUE(restore.Read("b.tar.gz", &error)) << error;
  EXPECT_FALSE(restore.Write("copy", false, &error));  // not checked yet
  EXPECT_FALSE(fs::exists("copy"));
  while (!restore.all_checked()) ASSERT_TRUE(restore.CheckNext(&error)) << error;
  ASSERT_TRUE(restore.Write("copy", false, &error)) << error;
  EXPECT_EQ(Files("copy"), std::set<std::string>{"LOCATIONS.QVF"});
  EXPECT_EQ(fs::file_size("copy/LOCATIONS.QVF"), fs::file_size("LOCATIONS.QVF"));
  EXPECT_FALSE(restore.Write("copy", false, &error));
  EXPECT_NE(error.find("already holds tables (LOCATIONS)"), std::string::npos) << error;
}

TEST_F(BackupRunTest, TheInventoryChecksGoWithTheOtherTables) {
  std::string error;
  ASSERT_EQ(
      exchange::ImportTable(
          app::Table::kChecks, "CHK:ITEM_REFERENCE,CHK:DATE_SEEN\n3,2025-11-10\n3,2026-12-05\n",
          [](const std::string& path, std::vector<std::string>* faults) {
            return qvf::FullCheckCommand(env::Env::Default(), path, faults);
          },
          &error),
      exchange::kImported)
      << error;
  BackupRun run;
  ASSERT_TRUE(run.Begin("b.tar.gz", &error)) << error;
  while (!run.finished()) ASSERT_TRUE(run.Step(&error)) << error;
  ASSERT_TRUE(run.Finish(&error)) << error;
  EXPECT_EQ(run.Summary(), "2 tables and 0 pictures");
  RestoreRun restore;
  ASSERT_TRUE(restore.Read("b.tar.gz", &error)) << error;
  while (!restore.all_checked()) ASSERT_TRUE(restore.CheckNext(&error)) << error;
  ASSERT_TRUE(restore.Write("copy", false, &error)) << error;
  EXPECT_EQ(Files("copy"), (std::set<std::string>{"CHECKS.QVF", "LOCATIONS.QVF"}));
  EXPECT_EQ(fs::file_size("copy/CHECKS.QVF"), fs::file_size("CHECKS.QVF"));
}

TEST(PictureMember, PlainNamesStayBesideTheTablesOthersGoByTheirFullPath) {
  bool relative = false;
  EXPECT_EQ(PictureMember("TV.PNG", &relative), "pictures/TV.PNG");
  EXPECT_TRUE(relative);
  EXPECT_EQ(PictureMember("photos/tv 2.jpg", &relative), "pictures/photos/tv 2.jpg");
  EXPECT_TRUE(relative);
  EXPECT_EQ(PictureMember("/home/ann/tv.jpg", &relative), "outside-pictures/home/ann/tv.jpg");
  EXPECT_FALSE(relative);
  const std::string up = PictureMember("../x.png", &relative);
  EXPECT_FALSE(relative);
  EXPECT_EQ(up, "outside-pictures" + (fs::current_path().parent_path() / "x.png").string());
  // A "picture" that would land on a table file is never taken.
  EXPECT_TRUE(LandsOnTable("pictures/items.qvf"));
  EXPECT_FALSE(LandsOnTable("pictures/ITEMS.PNG"));
}

TEST(Crc32, InPiecesIsTheSameAsWhole) {
  const std::string data = "a picture of the television, in two halves";
  EXPECT_EQ(Crc32(data.substr(20), Crc32(data.substr(0, 20))), Crc32(data));
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);  // the polynomial's check value
}

TEST_F(BackupRunTest, ArchiveMembersAreReadInPiecesWithTheirPermissions) {
  std::string error;
  {
    ArchiveWriter writer;
    ASSERT_TRUE(writer.Begin("a.tar.gz", &error)) << error;
    ASSERT_TRUE(writer.Add("pictures/a.png", std::string(100000, 'x'), &error, 0640)) << error;
    ASSERT_TRUE(writer.Add("pictures/b.png", "", &error, 0755)) << error;
    ASSERT_TRUE(writer.Finish(&error)) << error;
  }
  ArchiveReader reader(env::Env::Default());
  ASSERT_TRUE(reader.Open("a.tar.gz", &error)) << error;
  ArchiveEntry entry;
  ASSERT_TRUE(reader.Next(&entry, &error)) << error;
  EXPECT_EQ(entry.name, "pictures/a.png");
  EXPECT_TRUE(entry.regular);
  EXPECT_EQ(entry.size, 100000u);
  EXPECT_EQ(entry.mode, 0640u);
  char piece[4096];
  size_t got = 0, total = 0;
  do {
    ASSERT_TRUE(reader.Read(piece, sizeof piece, &got, &error)) << error;
    ASSERT_LE(got, sizeof piece);
    total += got;
  } while (got > 0);
  EXPECT_EQ(total, 100000u);
  ASSERT_TRUE(reader.Next(&entry, &error)) << error;
  EXPECT_EQ(entry.mode, 0755u);
  EXPECT_FALSE(reader.Next(&entry, &error));
  EXPECT_EQ(error, "");
}

TEST_F(BackupRunTest, ATargetIsNeverALinkNorBelowOneOrAnythingButAFile) {
  std::ofstream("a") << "a";
  fs::create_directory("d");
  ASSERT_EQ(symlink("a", "l"), 0);
  ASSERT_EQ(symlink("d", "ld"), 0);
  ASSERT_EQ(mkfifo("p", 0600), 0);
  std::string error;
  EXPECT_TRUE(CheckTarget(".", "a", false, &error)) << error;
  EXPECT_TRUE(CheckTarget(".", "missing", false, &error)) << error;
  EXPECT_TRUE(CheckTarget(".", "d/x", false, &error)) << error;
  EXPECT_FALSE(CheckTarget(".", "l", false, &error));
  EXPECT_NE(error.find("l in the data folder is a symbolic link"), std::string::npos) << error;
  EXPECT_FALSE(CheckTarget(".", "ld/x", true, &error));
  EXPECT_NE(error.find("ld in the data folder is a symbolic link"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_empty("d"));
  EXPECT_FALSE(CheckTarget(".", "p", false, &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  EXPECT_FALSE(CheckTarget(".", "d", false, &error));
  EXPECT_FALSE(CheckTarget(".", "a/x", false, &error));
  EXPECT_NE(error.find("is no folder"), std::string::npos) << error;
  // Folders on the way are made only when asked.
  EXPECT_TRUE(CheckTarget(".", "new/sub/x", false, &error)) << error;
  EXPECT_FALSE(fs::exists("new"));
  EXPECT_TRUE(CheckTarget(".", "new/sub/x", true, &error)) << error;
  EXPECT_TRUE(fs::is_directory("new/sub"));
  EXPECT_FALSE(fs::exists("new/sub/x"));
  EXPECT_GT(FreeBytes("."), 0u);
  // A folder that is not there is measured where it would be made; other
  // programs writing meanwhile move the figure a little.
  const uint64_t missing = FreeBytes("no/such/folder"), here = FreeBytes(".");
  EXPECT_LT((missing > here ? missing - here : here - missing), uint64_t{256} << 20);
}

}  // namespace
}  // namespace vorsandt::backup
