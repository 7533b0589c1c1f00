// The manual in docs/manual against the program it describes: every window
// the program is built with has its section where F1 and its Help button
// open it, the chapters the Help menu and the contents name are there,
// every link leads to a section, and every page is listed in the contents.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "ui/engine/help_topic.h"
#include "ui/engine/resource_set.h"
#include "ui/help/manual.h"

namespace vorsandt::help {
namespace {

namespace fs = std::filesystem;

const fs::path kManualDir = VORSANDT_MANUAL_DIR;

class ManualCoverageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kManualDir / kIndexFile))
      GTEST_SKIP() << (kManualDir / kIndexFile).string() << " does not exist: no manual to check";
    manual_ = Manual::Load([](const std::string& file) -> std::optional<std::string> {
      std::ifstream in(kManualDir / file, std::ios::binary);
      if (!in) return std::nullopt;
      std::ostringstream text;
      text << in.rdbuf();
      return text.str();
    });
  }

  static std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items) out += "\n  " + s;
    return out;
  }

  Manual manual_;
};

// The windows of the program's own definitions, with whether each has a Help button.
std::vector<std::pair<std::string, bool>> ProgramWindows() {
  std::vector<std::pair<std::string, bool>> windows;
  const auto& modules = ui::ProgramResources().modules();
  if (modules.empty()) return windows;
  for (const ui::Resource& resource : modules.front()->resources) {
    for (const ui::Node& structure : resource.structures) {
      if (structure.kind != ui::Kind::kWindow) continue;
      bool help = false;
      ui::ForEachControl(structure, [&](const ui::Node& c) {
        help = help || (c.kind == ui::Kind::kButton && ui::UseName(c) == "?Help");
      });
      windows.emplace_back(structure.label, help);
    }
  }
  return windows;
}

TEST_F(ManualCoverageTest, TheManualReadsWithoutProblems) {
  EXPECT_TRUE(manual_.problems().empty()) << Joined(manual_.problems());
}

TEST_F(ManualCoverageTest, EveryWindowHasItsSection) {
  std::vector<std::pair<std::string, bool>> windows = ProgramWindows();
  ASSERT_GT(windows.size(), 40u);  // the program's definitions were read
  std::vector<std::string> missing;
  int with_help = 0;
  for (const auto& [label, help] : windows) {
    with_help += help ? 1 : 0;
    std::string topic = ui::HelpTopicOf(label);
    if (!manual_.Find(topic))
      missing.push_back(label + " (" + topic + (help ? ", has a Help button)" : ")"));
  }
  EXPECT_GT(with_help, 20);
  EXPECT_TRUE(missing.empty()) << missing.size() << " windows have no section in "
                               << kManualDir.string() << ":" << Joined(missing);
}

TEST_F(ManualCoverageTest, TheChaptersTheProgramNamesAreThere) {
  std::vector<std::string> missing;
  for (const char* topic : {ui::kHelpContentsTopic, ui::kHelpOnHelpTopic, "getting-started",
                            "sharing-a-data-folder", "backups", "settings-file"}) {
    if (!manual_.Find(topic)) missing.push_back(topic);
  }
  EXPECT_TRUE(missing.empty()) << "no section named:" << Joined(missing);
}

TEST_F(ManualCoverageTest, EveryLinkLeadsToASection) {
  std::vector<std::string> broken;
  for (const Link& link : manual_.Links()) {
    if (!manual_.Resolve(link.from, link.target)) {
      const Section& from = manual_.sections()[link.from];
      broken.push_back(manual_.chapters()[from.chapter].file + " (" + from.title +
                       "): " + link.target);
    }
  }
  EXPECT_TRUE(broken.empty()) << broken.size() << " links lead nowhere:" << Joined(broken);
}

TEST_F(ManualCoverageTest, EveryPageIsInTheContents) {
  std::set<std::string> listed;
  for (const Chapter& c : manual_.chapters()) listed.insert(c.file);
  std::vector<std::string> unlisted;
  for (const auto& entry : fs::directory_iterator(kManualDir)) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".md" && !listed.contains(name)) unlisted.push_back(name);
  }
  EXPECT_TRUE(unlisted.empty()) << "not in " << kIndexFile << ":" << Joined(unlisted);
}

}  // namespace
}  // namespace vorsandt::help
