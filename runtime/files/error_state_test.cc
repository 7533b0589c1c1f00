#include "runtime/files/error_state.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "runtime/files/error_codes.h"

namespace vorsandt::files {
namespace {

class ErrorStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Errors().Clear();
    Errors().ClearReplacementTexts();
  }
};

TEST_F(ErrorStateTest, PostZeroTakesTheOperatingSystemError) {
  Errors().SetOsError(MapErrno(EACCES));
  Errors().Post(0);
  EXPECT_EQ(Errors().Code(), 305);
  EXPECT_EQ(Errors().Text(), "Access Denied");
  EXPECT_EQ(Errors().OsError(), 5);
}

TEST_F(ErrorStateTest, ErrnoMapsToTheSystemNumbering) {
  struct Case { int errnum; bool writing; int32_t mapped; };
  const Case cases[] = {{ENOENT, false, 2},  {ENOTDIR, false, 3}, {ENAMETOOLONG, false, 3},
                        {EMFILE, false, 4},  {EPERM, false, 5},   {EBADF, false, 6},
                        {ENOMEM, false, 8},  {EINVAL, false, 87}, {EROFS, false, 19},
                        {ENOSPC, true, 39},  {EDQUOT, true, 39},  {EIO, true, 29},
                        {EIO, false, 30},    {EEXIST, false, 80}};
  for (const Case& c : cases) EXPECT_EQ(MapErrno(c.errnum, c.writing), c.mapped) << c.errnum;
  EXPECT_EQ(MapLockErrno(EAGAIN), 33);
  Errors().PostErrno(ENOSPC, true);
  EXPECT_EQ(Errors().Code(), 339);
  EXPECT_EQ(Errors().Text(), "Handle Disk Full");
}

TEST_F(ErrorStateTest, UnknownCodesNameTheirNumber) {
  Errors().Post(999);
  EXPECT_EQ(Errors().Code(), 999);
  EXPECT_EQ(Errors().Text(), "Unknown Error Posted : 999");
  // An operating-system error without an entry behaves the same.
  Errors().SetOsError(42);
  Errors().Post(0);
  EXPECT_EQ(Errors().Text(), "Unknown Error Posted : 342");
  EXPECT_EQ(Errors().MessageText(0), "Unknown Error Posted");
}

// What the tools print for a failure: a driver's own error (90) in the
// words the driver left, as the program's messages show it.
TEST_F(ErrorStateTest, ADriversOwnErrorIsNamedInItsOwnWords) {
  Errors().SetDriverTexts("", "");
  EXPECT_EQ(ErrorTextWithCode(kDriverReportedError), "Error (90)");
  Errors().SetDriverTexts("File locks do not work in /srv/house: no service  ", "ENOLCK ");
  EXPECT_EQ(ErrorTextWithCode(kDriverReportedError),
            "File locks do not work in /srv/house: no service (ENOLCK)");
  EXPECT_EQ(ErrorTextWithCode(kCreatesDuplicateKey), "Creates Duplicate Key (40)");
  Errors().SetDriverTexts("", "");
}

TEST_F(ErrorStateTest, TextsAreKeptExactly) {
  EXPECT_EQ(Errors().MessageText(78), "Invalid Number Of Parameters ");
  EXPECT_EQ(Errors().MessageText(350), "Not Supported ");
  EXPECT_EQ(Errors().MessageText(403),
            "Termination caused by signal.  (User break or Floating point)");
  EXPECT_EQ(Errors().MessageText(507), "Internal error 07");
  EXPECT_EQ(Errors().MessageText(801), "No BIND on variable");
  EXPECT_EQ(Errors().MessageText(53), "Invalid Quorvel File");
  EXPECT_EQ(Errors().MessageText(314), "Unknown Error Posted : 314");
}

TEST_F(ErrorStateTest, ReplacementTextsComeFirstAndAreTrimmedWhenPosted) {
  Errors().SetReplacementText(33, "   Kein Datensatz");
  EXPECT_EQ(Errors().MessageText(33), "   Kein Datensatz");
  Errors().Post(33);
  EXPECT_EQ(Errors().Text(), "Kein Datensatz");
  Errors().SetReplacementText(81, "Fehler");
  EXPECT_EQ(Errors().MessageText(4242), "Fehler : 4242");
  Errors().SetReplacementText(35, std::string(200, 'x'));
  Errors().Post(35);
  EXPECT_EQ(Errors().Text().size(), 79u);
  EXPECT_EQ(Errors().Text80().size(), 80u);
}

TEST_F(ErrorStateTest, SavedStatesRestoreInReverseOrder) {
  Errors().Post(33);
  Errors().Push();
  Errors().Post(40);
  Errors().Push();
  Errors().Clear();
  ASSERT_TRUE(Errors().Pop());
  EXPECT_EQ(Errors().Code(), 40);
  ASSERT_TRUE(Errors().Pop());
  EXPECT_EQ(Errors().Code(), 33);
  EXPECT_EQ(Errors().Text(), "Record Not Available");
  EXPECT_FALSE(Errors().Pop());
}

TEST_F(ErrorStateTest, RuntimeErrorEndsTheProgramWithCodeTwo) {
  EXPECT_EXIT(Errors().RuntimeError(408, "in Total"), ::testing::ExitedWithCode(2),
              "Runtime error: Long Integer Divide By Zero : in Total");
  EXPECT_EXIT(Errors().RuntimeError(0, "Parameter typing error"), ::testing::ExitedWithCode(2),
              "Runtime error: Parameter typing error");
}

}  // namespace
}  // namespace vorsandt::files
