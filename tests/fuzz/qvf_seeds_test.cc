// The committed QVF seeds are sound files that the current library reads:
// when the format changes, this fails and the seeds are made again with
// make_qvf_seeds (see README.md).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "runtime/env/fault_env.h"
#include "storage/qvf/checker.h"
#include "tests/fuzz/qvf_seed_files.h"

namespace vorsandt::fuzz {
namespace {

TEST(QvfSeeds, CommittedSeedsAreSoundAndMatchTheLibrary) {
  const auto made = MakeQvfSeeds();
  ASSERT_EQ(made.size(), 5u);
  for (const auto& [name, image] : made) {
    std::ifstream in(std::string(VORSANDT_QVF_CORPUS) + "/" + name, std::ios::binary);
    ASSERT_TRUE(in) << name << " is missing from the corpus";
    std::ostringstream committed;
    committed << in.rdbuf();
    env::FaultEnv env;
    env.SetContents(kQvfPath, committed.str());
    std::vector<std::string> faults;
    EXPECT_TRUE(qvf::CheckFile(&env, kQvfPath, &faults)) << name;
    EXPECT_TRUE(faults.empty()) << name << ": " << (faults.empty() ? "" : faults[0]);
    // The same structure as the library makes today (sizes agree; ids and
    // times may differ).
    EXPECT_EQ(committed.str().size(), image.size()) << name;
  }
}

}  // namespace
}  // namespace vorsandt::fuzz
