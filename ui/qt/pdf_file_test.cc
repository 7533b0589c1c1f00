#include "ui/qt/pdf_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/env/fault_env.h"

namespace vorsandt::ui::qt {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The folder's entries besides `keep`: a temporary left behind shows here.
int OtherEntries(const fs::path& folder, const std::set<std::string>& keep) {
  int n = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    if (!keep.count(e.path().filename().string())) ++n;
  }
  return n;
}

// A pipe, a folder, a link to a pipe and (where this process may make one) a
// device: each is refused by name and stays what it was, with nothing left
// beside it.
TEST(PdfFileTest, ANameThatIsNotARegularFileIsRefusedAndLeftAsItIs) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path folder = dir.path().toStdString();
  const fs::path pipe = folder / "pipe.pdf";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  const fs::path sub = folder / "folder.pdf";
  fs::create_directory(sub);
  const fs::path link = folder / "link.pdf";
  fs::create_symlink(pipe, link);
  std::set<std::string> names = {"pipe.pdf", "folder.pdf", "link.pdf"};
  struct Case {
    fs::path path;
    const char* said;
  };
  std::vector<Case> cases = {{pipe, "is a pipe"}, {sub, "is a folder"}, {link, "is a pipe"}};
  const fs::path device = folder / "device.pdf";
  // A null device of our own, never the system's: as root a rename over a
  // device node would replace it.
  if (mknod(device.c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0) {
    names.insert("device.pdf");
    cases.push_back({device, "is a device"});
  }
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(SaveWholeFile("%PDF-1.4 new", c.path.string(), &error)) << c.path;
    EXPECT_NE(error.find(c.path.string()), std::string::npos) << error;
    EXPECT_NE(error.find(c.said), std::string::npos) << error;
    EXPECT_EQ(ReplaceRefusal(c.path.string()), error);
  }
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));
  EXPECT_TRUE(fs::is_directory(sub));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  if (names.count("device.pdf")) EXPECT_TRUE(fs::is_character_file(fs::symlink_status(device)));
  EXPECT_EQ(OtherEntries(folder, names), 0);
  EXPECT_EQ(OtherEntries(sub, {}), 0);
}

// A new document replaces a file whole; through a link, the linked file is
// replaced and the link stays.
TEST(PdfFileTest, ADocumentReplacesTheFileOrTheFileALinkNames) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path folder = dir.path().toStdString();
  const fs::path target = folder / "report.pdf";
  std::ofstream(target) << "old";
  std::string error;
  ASSERT_TRUE(SaveWholeFile("%PDF-1.4 first", target.string(), &error)) << error;
  EXPECT_EQ(Read(target), "%PDF-1.4 first");
  const fs::path link = folder / "latest.pdf";
  fs::create_symlink(target, link);
  ASSERT_TRUE(SaveWholeFile("%PDF-1.4 second", link.string(), &error)) << error;
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(Read(target), "%PDF-1.4 second");
  EXPECT_EQ(OtherEntries(folder, {"report.pdf", "latest.pdf"}), 0);
}

TEST(PdfFileTest, AFolderThatIsNotThereIsSaidWithTheSystemsReason) {
  std::string error;
  EXPECT_FALSE(SaveWholeFile("%PDF", "/nonexistent-folder-for-pdf-test/x.pdf", &error));
  EXPECT_EQ(error,
            "cannot write /nonexistent-folder-for-pdf-test/x.pdf: No such file or directory");
}

// A disk that fills up at the write, or reports it only at the flush: the
// old file stays whole, the temporary is gone, and the reason is said.
TEST(PdfFileTest, AWriteOrFlushThatFailsLeavesTheOldFileAndNoTemporary) {
  for (bool at_flush : {false, true}) {
    env::FaultEnv env;
    env.SetContents("out.pdf", "old document");
    if (at_flush) {
      env.FailSyncAt(1, EIO);
    } else {
      env.FailWriteAt(1, ENOSPC, 5);
    }
    std::string error;
    EXPECT_FALSE(SaveWholeFile("%PDF-1.4 new document", "out.pdf", &error, &env));
    EXPECT_EQ(error, std::string("cannot write out.pdf: ") +
                         (at_flush ? "Input/output error" : "No space left on device"));
    EXPECT_EQ(env.Contents("out.pdf"), "old document");
    EXPECT_EQ(env.FileNames(), std::vector<std::string>{"out.pdf"});
  }
  // A new name that fails leaves no file at all.
  env::FaultEnv env;
  env.FailWriteAt(1, ENOSPC);
  std::string error;
  EXPECT_FALSE(SaveWholeFile("%PDF", "new.pdf", &error, &env));
  EXPECT_TRUE(env.FileNames().empty());
}

}  // namespace
}  // namespace vorsandt::ui::qt
