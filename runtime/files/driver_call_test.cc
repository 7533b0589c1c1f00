// The steps every driver call follows, exercised through the in-memory driver.
#include "runtime/files/driver.h"

#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/rules.h"
#include "runtime/files/testing/memory_driver.h"
#include "runtime/files/text_stack.h"

namespace vorsandt::files {
namespace {

const std::vector<uint8_t> kLayout = LayoutBuilder().Short(0, "T:N").String(2, "T:S", 6).Finish();

class DriverCallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetMemoryFiles();
    Errors().Clear();
    Texts().Clear();
  }
  void TearDown() override {
    if (file_.block) Close(&file_);
  }
  void Write(int16_t n, const char* s) {
    std::memcpy(buffer_, &n, 2);
    std::memset(buffer_ + 2, ' ', 6);
    std::memcpy(buffer_ + 2, s, std::min<size_t>(6, std::strlen(s)));
  }
  int16_t ReadN() const {
    int16_t n;
    std::memcpy(&n, buffer_, 2);
    return n;
  }
  void CreateWith(int rows) {
    Create(&file_);
    ASSERT_EQ(Errors().Code(), 0);
    Open(&file_);
    ASSERT_EQ(Errors().Code(), 0);
    for (int i = 1; i <= rows; ++i) {
      Write(static_cast<int16_t>(i), "row");
      Add(&file_);
      ASSERT_EQ(Errors().Code(), 0);
    }
  }
  uint32_t State() const { return file_.block ? file_.block->state : 0; }

  uint8_t buffer_[8] = {};
  FileRecord file_{testing::MemoryEntry, "ALPHA", 5, kAttrCreate, 8, kLayout.data(),
                   kLayout.size(), nullptr, 0, nullptr, 0, buffer_};
};

TEST_F(DriverCallTest, NextNeedsAnOpenFileAndASequence) {
  Next(&file_);
  EXPECT_EQ(Errors().Code(), kFileNotOpen);
  EXPECT_EQ(Errors().FailingObject(), &file_);
  CreateWith(2);
  Write(77, "keep");
  SetFile(&file_);  // establishes a sequence ...
  Close(&file_);
  Open(&file_);     // ... which a fresh open does not have
  Write(77, "keep");
  Next(&file_);
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  EXPECT_EQ(ReadN(), 77) << "a refused Next leaves the buffer alone";
  SetFile(&file_);
  Next(&file_);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(ReadN(), 1);
  EXPECT_EQ(file_.block->last_sequential, kOpNext);
}

TEST_F(DriverCallTest, ReadingToTheEndEndsTheCurrentRecord) {
  CreateWith(2);
  SetFile(&file_);
  Next(&file_);
  Next(&file_);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_TRUE(Eof(&file_));
  Next(&file_);
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  EXPECT_EQ(State() & kStateCurrent, 0u);
  Put(&file_);
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  Delete(&file_);
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
}

TEST_F(DriverCallTest, WritesToAReadOnlyFileAreDenied) {
  CreateWith(1);
  Close(&file_);
  Open(&file_, kModeReadOnly);
  SetFile(&file_);
  Next(&file_);
  ASSERT_EQ(Errors().Code(), 0);
  Put(&file_);
  EXPECT_EQ(Errors().Code(), kAccessDenied);
  Delete(&file_);
  EXPECT_EQ(Errors().Code(), kAccessDenied);
  Add(&file_);
  EXPECT_EQ(Errors().Code(), kAccessDenied);
  EXPECT_EQ(testing::MemoryFileRecords("ALPHA"), 1);
}

TEST_F(DriverCallTest, OpeningTwiceKeepsTheOpenFile) {
  CreateWith(3);
  DriverBlock* before = file_.block.get();
  Open(&file_);
  EXPECT_EQ(Errors().Code(), kFileAlreadyOpen);
  EXPECT_EQ(file_.block.get(), before);
  EXPECT_EQ(Records(&file_), 3);
  // Create on an open file is refused the same way and keeps the block too.
  Create(&file_);
  EXPECT_EQ(Errors().Code(), kFileAlreadyOpen);
  EXPECT_EQ(file_.block.get(), before);
  EXPECT_EQ(testing::MemoryFileRecords("ALPHA"), 3);
}

TEST_F(DriverCallTest, FailedOpenAndCloseReleaseTheBlock) {
  Open(&file_);
  EXPECT_EQ(Errors().Code(), kFileNotFound);
  EXPECT_EQ(file_.block, nullptr);
  EXPECT_EQ(OpenFiles().Find(&file_), nullptr);
  CreateWith(0);
  EXPECT_NE(OpenFiles().Find(&file_), nullptr);
  EXPECT_NE(State() & kStateWrite, 0u);
  Close(&file_);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(file_.block, nullptr);
  EXPECT_EQ(OpenFiles().Find(&file_), nullptr);
}

TEST_F(DriverCallTest, ExclusiveModesAndOpenModeAreRecorded) {
  CreateWith(0);
  Close(&file_);
  Open(&file_, 0x12);
  EXPECT_EQ(file_.block->open_mode, 0x12);
  EXPECT_NE(State() & kStateExclusive, 0u);
  Close(&file_);
  Open(&file_, 0x40);
  EXPECT_EQ(State() & (kStateExclusive | kStateWrite), 0u);
}

TEST_F(DriverCallTest, EofOnAClosedFileAnswersTrueAndPosts) {
  EXPECT_TRUE(Eof(&file_));
  EXPECT_EQ(Errors().Code(), kFileNotOpen);
  EXPECT_TRUE(Bof(&file_));
  CreateWith(1);
  SetFile(&file_);
  EXPECT_FALSE(Eof(&file_));
  Next(&file_);
  EXPECT_TRUE(Eof(&file_));
}

TEST_F(DriverCallTest, UnknownOperationCodesAreUnsupported) {
  CreateWith(0);
  for (int32_t op : {-5, 68, 200, 315, 316, 100000}) {
    Errors().Clear();
    EXPECT_EQ(file_.Send(op), 0);
    EXPECT_EQ(Errors().Code(), kUnsupportedFunction) << op;
  }
  EXPECT_EQ(file_.Send(kOpViewEngine), 0);
}

TEST_F(DriverCallTest, MissingTextArgumentIsPostedNotACrash) {
  CreateWith(1);
  ASSERT_TRUE(Texts().Empty());
  file_.Send(kOpReset);
  EXPECT_EQ(Errors().Code(), kInvalidNumberOfParameters);
  file_.Send(kOpSend);
  EXPECT_EQ(Errors().Code(), kInvalidNumberOfParameters);
  // The text result of Send is pushed even though the call failed.
  EXPECT_EQ(Texts().Size(), 1);
  EXPECT_EQ(Texts().Pop(), "");
  EXPECT_NE(file_.block, nullptr);
}

TEST_F(DriverCallTest, TextResultsAndPositions) {
  CreateWith(3);
  EXPECT_EQ(Name(&file_), "ALPHA");
  SetFile(&file_);
  Next(&file_);
  Next(&file_);
  std::string pos = Position(&file_);
  EXPECT_EQ(Errors().Code(), 0);
  Next(&file_);
  Reget(&file_, pos);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(ReadN(), 2);
  EXPECT_TRUE(Texts().Empty());
}

TEST_F(DriverCallTest, DriversAnswerRegister) {
  const Registration* reg = QueryRegistration(&file_);
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg->driver_name, "MEMORY");
  EXPECT_TRUE(reg->SupportsOp(kOpAdd));
  EXPECT_FALSE(reg->SupportsOp(kOpGetByKey));
  EXPECT_TRUE(reg->SupportsType(kTypeString));
  EXPECT_EQ(Send(&file_, "status"), "");
  EXPECT_EQ(Errors().Code(), kUnsupportedFunction);
}

TEST_F(DriverCallTest, SuccessResetsTheErrorOnlyWhereTheRowSaysSo) {
  CreateWith(1);
  Errors().Post(40);
  Records(&file_);  // a row without the reset flag
  EXPECT_EQ(Errors().Code(), 40);
  SetFile(&file_);
  EXPECT_EQ(Errors().Code(), 0);
}

TEST_F(DriverCallTest, LockTimeoutGivesUpAndLockWaitsForTheOwner) {
  CreateWith(1);
  uint8_t other_buffer[8];
  FileRecord other(testing::MemoryEntry, "ALPHA", 5, 0, 8, kLayout.data(), kLayout.size(),
                   nullptr, 0, nullptr, 0, other_buffer);
  Open(&other);
  Lock(&file_);
  ASSERT_EQ(Errors().Code(), 0);
  EXPECT_NE(State() & kStateLocked, 0u);
  LockTimeout(&other, 0);
  EXPECT_EQ(Errors().Code(), kFileAlreadyLocked);
  int waits = 0;
  SetLockWaitHook([&] {
    if (++waits == 3) Unlock(&file_);
  });
  Lock(&other);
  SetLockWaitHook(nullptr);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(waits, 3);
  Unlock(&other);
  Close(&other);
}

TEST_F(DriverCallTest, PerThreadFilesHaveTheirOwnBufferAndState) {
  uint8_t decl_buffer[8] = {};
  FileRecord shared(testing::MemoryEntry, "BETA", 4, kAttrCreate | kAttrPerThread, 8,
                    kLayout.data(), kLayout.size(), nullptr, 0, nullptr, 0, decl_buffer);
  Create(&shared);
  Open(&shared);
  ASSERT_EQ(Errors().Code(), 0);
  RecordBuffer(&shared)[0] = 9;
  Add(&shared);
  EXPECT_EQ(decl_buffer[0], 0) << "the declaration's own buffer is not the thread's";
  uint8_t* main_buffer = RecordBuffer(&shared);
  std::thread other([&] {
    EXPECT_NE(RecordBuffer(&shared), main_buffer);
    EXPECT_EQ(RecordBuffer(&shared)[0], 0);
    EXPECT_EQ(FindInstance(&shared)->block, nullptr);  // not open on this thread
    Open(&shared);
    EXPECT_EQ(Errors().Code(), 0);
    EXPECT_EQ(OpenFiles().Size(), 2u);
    SetFile(&shared);
    Next(&shared);
    EXPECT_EQ(RecordBuffer(&shared)[0], 9);
    // The thread ends without closing: its registry entry goes with it.
  });
  other.join();
  EXPECT_EQ(OpenFiles().Size(), 1u);
  Close(&shared);
  EXPECT_EQ(OpenFiles().Size(), 0u);
}

}  // namespace
}  // namespace vorsandt::files
