#include "storage/qvf/driver/coordination.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/env/env.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

class CoordinationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qvf_qcf_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) { return (dir_ / name).string(); }
  env::Env* env() { return env::Env::Default(); }
  std::filesystem::path dir_;
};

TEST(MarkerEntry, RoundTripAndMalformedData) {
  std::string data = EncodeMarker(0x01020304, "velocara.qcf");
  EXPECT_EQ(data, std::string("\x01\x02\x03\x04velocara.qcf\0", 17));
  uint32_t n = 0;
  std::string name;
  ASSERT_TRUE(DecodeMarker(data, &n, &name));
  EXPECT_EQ(n, 0x01020304u);
  EXPECT_EQ(name, "velocara.qcf");
  const std::string bad[] = {
      std::string(), std::string("\x01\x02\x03\x04", 4), std::string("\x01\x02\x03\x04\0", 5),
      std::string("\x01\x02\x03\x04name", 8), std::string("\x01\x02\x03\x04na\0me\0", 10)};
  for (const auto& d : bad) EXPECT_FALSE(DecodeMarker(d, &n, &name)) << d.size();
}

TEST(CoordinationName, DefaultsToTheWorkingDirectoryAndCanBeChanged) {
  EXPECT_EQ(CoordinationFileName(), "velocara.qcf");
  SetCoordinationFileName("/tmp/other.qcf");
  EXPECT_EQ(CoordinationFileName(), "/tmp/other.qcf");
  SetCoordinationFileName(kDefaultCoordinationFile);
}

TEST_F(CoordinationTest, NumbersAreListedUntilFinishedAndNeverReused) {
  const std::string qcf = Path("v.qcf");
  bool listed = true;
  ASSERT_EQ(TransactionListed(env(), qcf, 100, &listed), 0);
  EXPECT_FALSE(listed);  // no file: nothing listed
  CoordinationFile file(env());
  ASSERT_EQ(file.Open(qcf), 0);
  uint32_t a = 0, b = 0;
  ASSERT_EQ(file.Begin(100, &a), 0);
  ASSERT_EQ(file.Begin(100, &b), 0);  // same clock reading: the next number
  EXPECT_EQ(a, 100u);
  EXPECT_EQ(b, 101u);
  ASSERT_EQ(TransactionListed(env(), qcf, 100, &listed), 0);
  EXPECT_TRUE(listed);
  ASSERT_EQ(file.Finish(a), 0);
  ASSERT_EQ(TransactionListed(env(), qcf, 100, &listed), 0);
  EXPECT_FALSE(listed);
  ASSERT_EQ(TransactionListed(env(), qcf, 101, &listed), 0);
  EXPECT_TRUE(listed);
  ASSERT_EQ(file.Close(), 0);
  // A second opener sees what the first saved.
  CoordinationFile again(env());
  ASSERT_EQ(again.Open(qcf), 0);
  uint32_t c = 0;
  ASSERT_EQ(again.Begin(101, &c), 0);
  EXPECT_EQ(c, 102u);
}

// The coordination file's name must survive a crash before any transaction
// relies on it, so creating it flushes its folder; opening it again does not.
TEST_F(CoordinationTest, CreatingTheFileMakesItsNameDurable) {
  const std::string qcf = Path("named.qcf");
  const int64_t before = env::CountPosixFlushes().folders;
  {
    CoordinationFile file(env());
    ASSERT_EQ(file.Open(qcf), 0);
    ASSERT_EQ(file.Close(), 0);
  }
  const int64_t created = env::CountPosixFlushes().folders;
  EXPECT_GE(created - before, 1);
  CoordinationFile again(env());
  ASSERT_EQ(again.Open(qcf), 0);
  EXPECT_EQ(env::CountPosixFlushes().folders, created);
}

// A table file with a committed log (phase 1 done, phase 2 not run) that
// carries a marker of transaction `number`.
void MakeFileWithCommittedLog(env::Env* env, const std::string& path, uint32_t number,
                              const std::string& qcf, bool with_marker) {
  Container c(env);
  ASSERT_EQ(c.Open(path, Container::kCreate), 0);
  Tree tree(&c);
  ASSERT_EQ(tree.EnsureRoot(), 0);
  ASSERT_EQ(tree.Insert("before", 6), 0);
  ASSERT_EQ(c.Save(), 0);
  ASSERT_EQ(tree.Insert("after", 5), 0);
  if (with_marker) {
    std::string marker(kMarkerKey);
    marker.append(EncodeMarker(number, qcf));
    ASSERT_EQ(tree.Insert(marker, 1), 0);
  }
  ASSERT_EQ(c.SavePhase1(), 0);
  // The process "dies" here: keep the file as phase 1 left it, whatever the
  // container does when it goes away.
  std::filesystem::copy_file(path, path + ".phase1");
  (void)c.Close();  // undone by the rename below
  std::filesystem::rename(path + ".phase1", path);
}

bool HasAfter(env::Env* env, const std::string& path) {
  Container c(env);
  c.SetLogQuestion(MakeLogQuestion(env));
  EXPECT_EQ(c.Open(path, 0), 0);
  Tree tree(&c);
  Entry e;
  bool found = false;
  EXPECT_EQ(tree.FindExact("after", &e, &found), 0);
  Entry before;
  bool has_before = false;
  EXPECT_EQ(tree.FindExact("before", &before, &has_before), 0);
  EXPECT_TRUE(has_before);
  EXPECT_EQ(c.Close(), 0);
  return found;
}

TEST_F(CoordinationTest, PendingLogIsAbandonedWhileItsTransactionIsListed) {
  testing::RecordInternalErrors errors;
  const std::string qcf = Path("v.qcf");
  CoordinationFile file(env());
  ASSERT_EQ(file.Open(qcf), 0);
  uint32_t n = 0;
  ASSERT_EQ(file.Begin(555, &n), 0);
  MakeFileWithCommittedLog(env(), Path("A.QVF"), n, qcf, true);
  EXPECT_FALSE(HasAfter(env(), Path("A.QVF")));
  // Abandoned for good: finishing the number later does not bring it back.
  ASSERT_EQ(file.Finish(n), 0);
  EXPECT_FALSE(HasAfter(env(), Path("A.QVF")));
  EXPECT_TRUE(errors.checks.empty());
}

TEST_F(CoordinationTest, PendingLogIsAppliedOnceItsNumberIsGoneOrWithoutMarker) {
  testing::RecordInternalErrors errors;
  const std::string qcf = Path("v.qcf");
  CoordinationFile file(env());
  ASSERT_EQ(file.Open(qcf), 0);
  uint32_t n = 0;
  ASSERT_EQ(file.Begin(777, &n), 0);
  MakeFileWithCommittedLog(env(), Path("B.QVF"), n, qcf, true);
  ASSERT_EQ(file.Finish(n), 0);
  EXPECT_TRUE(HasAfter(env(), Path("B.QVF")));
  MakeFileWithCommittedLog(env(), Path("C.QVF"), 1, qcf, false);
  EXPECT_TRUE(HasAfter(env(), Path("C.QVF")));
  // A marker naming a coordination file that does not exist: committed.
  MakeFileWithCommittedLog(env(), Path("D.QVF"), 5, Path("missing.qcf"), true);
  EXPECT_TRUE(HasAfter(env(), Path("D.QVF")));
  EXPECT_TRUE(errors.checks.empty());
}

}  // namespace
}  // namespace vorsandt::qvf
