// Damage from outside under an open container: a file cut short, emptied,
// deleted or replaced while the program works on it. Nothing is read from
// where the file no longer reaches, no internal error stops the program, and
// no save lands where nobody who opens the file by name would find it.
#include <gtest/gtest.h>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/container.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::AllEntries;
using testing::RecordInternalErrors;
using testing::WriteFile;

constexpr int kDamaged = files::kInvalidDataFile;
constexpr int kNameLost = files::kSystemErrorBase + files::kFileNotFound;

FileHeader HeaderOf(const std::string& bytes) {
  FileHeader h;
  EXPECT_EQ(DecodeHeader(reinterpret_cast<const uint8_t*>(bytes.data()), &h), 0);
  return h;
}

// A file of 400 entries, and the same bytes cut a unit short of its end of
// data: the header is intact, the last pages are not.
struct CutFile {
  std::string good;
  std::string cut;
};
CutFile MakeCutFile(env::FaultEnv* env) {
  WriteFile(env, "SOURCE.QVF", 400);
  CutFile f;
  f.good = env->Contents("SOURCE.QVF");
  f.cut = f.good.substr(0, static_cast<size_t>(HeaderOf(f.good).EndOfData()) - kUnitSize);
  return f;
}

TEST(ContainerCutShort, AFileShorterThanItsHeaderSaysIsDamagedAtOpen) {
  env::FaultEnv env;
  const CutFile f = MakeCutFile(&env);
  for (uint32_t flags : {0u, uint32_t{Container::kShared}, uint32_t{Container::kReadOnly}}) {
    RecordInternalErrors errors;
    env.SetContents("Q.QVF", f.cut);
    Container c(&env);
    EXPECT_EQ(c.Open("Q.QVF", flags), kDamaged) << flags;
    EXPECT_TRUE(errors.checks.empty()) << flags;
    EXPECT_EQ(env.Contents("Q.QVF"), f.cut);
  }
}

TEST(ContainerCutShort, PagesMissingFromTheCacheAreADamagedFileNotAnInternalError) {
  env::FaultEnv env;
  const CutFile f = MakeCutFile(&env);
  RecordInternalErrors errors;
  env.SetContents("Q.QVF", f.good);
  Container c(&env);
  ASSERT_EQ(c.Open("Q.QVF", Container::kShared), 0);
  env.SetContents("Q.QVF", f.cut);  // under the open container, header intact
  int status = 0;
  AllEntries(&c, &status);
  EXPECT_EQ(status, kDamaged);
  EXPECT_TRUE(errors.checks.empty());
  EXPECT_TRUE(c.failed());
  EXPECT_EQ(c.Refresh(), kDamaged);  // until the file is opened again
}

TEST(ContainerCutShort, ASaveOverACutFileIsRefusedAndWritesNothing) {
  env::FaultEnv env;
  const CutFile f = MakeCutFile(&env);
  RecordInternalErrors errors;
  env.SetContents("Q.QVF", f.good);
  Container c(&env);
  ASSERT_EQ(c.Open("Q.QVF", Container::kShared), 0);
  ASSERT_EQ(AllEntries(&c).size(), 400u);  // every page cached
  Tree tree(&c);
  ASSERT_EQ(tree.Insert("a change", 1), 0);
  env.SetContents("Q.QVF", f.cut);
  const int64_t writes = env.Writes();
  EXPECT_EQ(c.Save(), kDamaged);
  EXPECT_EQ(env.Writes(), writes);
  EXPECT_EQ(env.Contents("Q.QVF"), f.cut);
  EXPECT_TRUE(errors.checks.empty());
  // Packing would lengthen it with zero bytes where its pages were.
  Container p(&env);
  env.SetContents("P.QVF", f.good);
  ASSERT_EQ(p.Open("P.QVF", 0), 0);
  env.SetContents("P.QVF", f.cut);
  EXPECT_EQ(p.Truncate(), kDamaged);
  EXPECT_EQ(env.Contents("P.QVF"), f.cut);
}

TEST(ContainerCutShort, AFileEmptiedUnderAnOpenContainerIsDamagedNotNew) {
  env::FaultEnv env;
  WriteFile(&env, "E.QVF", 400);
  RecordInternalErrors errors;
  Container c(&env);
  ASSERT_EQ(c.Open("E.QVF", Container::kShared), 0);
  ASSERT_EQ(AllEntries(&c).size(), 400u);
  env.SetContents("E.QVF", "");
  // The cached pages are not served as if nothing had happened.
  EXPECT_EQ(c.Refresh(), kDamaged);
  int status = 0;
  EXPECT_TRUE(AllEntries(&c, &status).empty());
  EXPECT_EQ(status, kDamaged);
  Tree tree(&c);
  (void)tree.Insert("a change", 1);  // what it answers is not the point: the save below is
  EXPECT_EQ(c.Save(), kDamaged);
  EXPECT_EQ(env.Contents("E.QVF"), "");
  EXPECT_TRUE(errors.checks.empty());
  // A new, empty file is still a new file.
  Container n(&env);
  ASSERT_EQ(n.Open("N.QVF", Container::kCreate | Container::kShared), 0);
  EXPECT_EQ(n.Refresh(), 0);
}

TEST(ContainerLostName, ASaveIsRefusedWhenTheFileWasDeleted) {
  env::FaultEnv env;
  WriteFile(&env, "D.QVF", 10);
  RecordInternalErrors errors;
  Container c(&env);
  ASSERT_EQ(c.Open("D.QVF", Container::kShared), 0);
  Tree tree(&c);
  ASSERT_EQ(tree.Insert("a change", 1), 0);
  ASSERT_EQ(env.Delete("D.QVF"), 0);
  const int64_t writes = env.Writes();
  EXPECT_EQ(c.Save(), kNameLost);
  EXPECT_EQ(env.Writes(), writes);
  EXPECT_FALSE(env.Exists("D.QVF"));
  EXPECT_TRUE(errors.checks.empty());
  // What was read stays readable; only the save was refused.
  EXPECT_FALSE(c.failed());
}

TEST(ContainerLostName, ASaveIsRefusedWhenAnotherFileTookTheName) {
  env::FaultEnv env;
  WriteFile(&env, "R.QVF", 10);
  WriteFile(&env, "OTHER.QVF", 5);
  RecordInternalErrors errors;
  Container c(&env);
  ASSERT_EQ(c.Open("R.QVF", Container::kShared), 0);
  Tree tree(&c);
  ASSERT_EQ(tree.Insert("a change", 1), 0);
  const std::string other = env.Contents("OTHER.QVF");
  ASSERT_EQ(env.Rename("OTHER.QVF", "R.QVF"), 0);
  EXPECT_EQ(c.Save(), kNameLost);
  EXPECT_EQ(env.Contents("R.QVF"), other);  // the file now under the name is untouched
  EXPECT_TRUE(errors.checks.empty());
  // Under its own name again, the same change saves.
  Container d(&env);
  ASSERT_EQ(d.Open("R.QVF", Container::kShared), 0);
  Tree again(&d);
  ASSERT_EQ(again.Insert("a change", 1), 0);
  EXPECT_EQ(d.Save(), 0);
  EXPECT_EQ(AllEntries(&d).size(), 6u);
}

}  // namespace
}  // namespace vorsandt::qvf
