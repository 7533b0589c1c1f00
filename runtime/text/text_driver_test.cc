// The text driver through the file access layer's one-line routines, over an
// in-memory environment that can fail on purpose.
#include "runtime/text/text_driver.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/registry.h"
#include "runtime/files/rules.h"
#include "runtime/files/text_stack.h"
#include "runtime/files/transaction.h"
#include "runtime/text/text_test_support.h"

namespace vorsandt::text {
namespace {

using namespace files;
using testing::TextTable;

constexpr int32_t kReadOnlyShared = 0x40;
constexpr int32_t kReadWriteShared = 0x42;
constexpr int32_t kReadWriteExclusive = 0x12;

class TextDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTextFileEnv(&env_);
    Errors().Clear();
    Texts().Clear();
  }
  void TearDown() override {
    if (InTransaction()) Rollback();
    for (TextTable* t : {&t_, &small_}) {
      if ((*t)->block && ((*t)->block->state & kStateOpen)) Close(t->get());
      (*t)->block.reset();
    }
    SetTextFileEnv(nullptr);
  }
  // Opens t_ over `contents`.
  void OpenWith(const std::string& contents, int32_t mode = kReadOnlyShared) {
    env_.SetContents("README.TXT", contents);
    Open(t_.get(), mode);
    ASSERT_EQ(Errors().Code(), 0) << Errors().Text();
  }
  std::vector<std::string> ReadAll(TextTable& t) {
    std::vector<std::string> lines;
    SetFile(t.get());
    for (int guard = 0; guard < 10000; ++guard) {
      Next(t.get());
      if (Errors().Code() != 0) break;
      lines.push_back(t.Line());
    }
    EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
    return lines;
  }
  std::string Contents() { return env_.Contents("README.TXT"); }

  env::FaultEnv env_;
  TextTable t_{"README.TXT", 20};
  TextTable small_{"README.TXT", 5};
};

using Lines = std::vector<std::string>;

// --- Reading ----------------------------------------------------------------

TEST_F(TextDriverTest, LastLineWithoutEndOfRecordIsStillRead) {
  OpenWith("first\r\nlast");
  EXPECT_EQ(ReadAll(t_), (Lines{"first", "last"}));
}

TEST_F(TextDriverTest, LongLineIsCutAndNextReadsTheFollowingLine) {
  env_.SetContents("README.TXT", "abcdefghij\r\nnext\r\n");
  Open(small_.get(), kReadOnlyShared);
  SetFile(small_.get());
  Next(small_.get());
  EXPECT_EQ(small_.Line(), "abcde");
  EXPECT_EQ(Bytes(small_.get()), 12);  // the skipped rest counts
  Next(small_.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(small_.Line(), "next");
}

TEST_F(TextDriverTest, TabSettingsShapeTheLine) {
  OpenWith("a\tb\r\n");
  const struct {
    const char* command;
    const char* line;
  } cases[] = {{"TAB", "a       b"}, {"TAB=-4", "a    b"}, {"TAB=0", "ab"}, {"TAB=-100", "a\tb"}};
  for (const auto& c : cases) {
    Send(t_.get(), c.command);
    SetFile(t_.get());
    Next(t_.get());
    ASSERT_EQ(Errors().Code(), 0);
    EXPECT_EQ(t_.Line(), c.line) << c.command;
  }
}

TEST_F(TextDriverTest, CtrlZInTheMiddleEndsReading) {
  OpenWith("one\r\ntwo\r\n\x1Athree\r\n");
  SetFile(t_.get());
  Next(t_.get());
  Next(t_.get());
  EXPECT_TRUE(Eof(t_.get()));
  EXPECT_EQ(ReadAll(t_), (Lines{"one", "two"}));
}

TEST_F(TextDriverTest, EofIsTrueOnlyWhenNothingFollows) {
  OpenWith("x\r\n");
  SetFile(t_.get());
  EXPECT_FALSE(Eof(t_.get()));
  Next(t_.get());
  EXPECT_TRUE(Eof(t_.get()));
  EXPECT_EQ(Errors().Code(), 0);
}

TEST_F(TextDriverTest, GetByPointerZeroSucceedsAndLeavesNoCurrentRecord) {
  OpenWith("one\r\ntwo\r\n");
  SetFile(t_.get());
  Next(t_.get());
  ASSERT_EQ(Pointer(t_.get()), 1);
  Next(t_.get());  // now at "two"
  Next(t_.get());  // 33 posted
  ASSERT_EQ(Errors().Code(), kRecordNotAvailable);
  GetByPointer(t_.get(), 0);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Pointer(t_.get()), 0);
  EXPECT_EQ(Bytes(t_.get()), 10);  // no current record: the file size
  EXPECT_EQ(Position(t_.get()), std::string(4, '\0'));
}

TEST_F(TextDriverTest, GetByPointerReadsTheLineThereAndLeavesTheSequence) {
  OpenWith("one\r\ntwo\r\nthree\r\n");
  SetFile(t_.get());
  Next(t_.get());
  GetByPointer(t_.get(), 11);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(t_.Line(), "three");
  EXPECT_EQ(Pointer(t_.get()), 11);
  Next(t_.get());
  EXPECT_EQ(t_.Line(), "two");
  GetByPointer(t_.get(), 18);  // one past the last byte
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  GetByPointer(t_.get(), 100000);
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  GetByPointer(t_.get(), -5);
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
}

TEST_F(TextDriverTest, PositionRegetAndResetAgree) {
  OpenWith("alpha\r\nbeta\r\ngamma\r\n");
  SetFile(t_.get());
  Next(t_.get());
  Next(t_.get());
  const std::string beta = Position(t_.get());
  EXPECT_EQ(beta, std::string("\x08\0\0\0", 4));
  Next(t_.get());
  Reget(t_.get(), beta);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(t_.Line(), "beta");
  Reset(t_.get(), beta);
  Next(t_.get());
  EXPECT_EQ(t_.Line(), "beta");
  Next(t_.get());
  EXPECT_EQ(t_.Line(), "gamma");
  Reget(t_.get(), "xy");  // too short to hold a pointer
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Pointer(t_.get()), 0);
}

TEST_F(TextDriverTest, SetFilePointerStartsTheSequenceThere) {
  OpenWith("alpha\r\nbeta\r\n");
  SetFilePointer(t_.get(), 8);
  Next(t_.get());
  EXPECT_EQ(t_.Line(), "beta");
}

TEST_F(TextDriverTest, SequenceRulesAreTheFileLayers) {
  Next(t_.get());
  EXPECT_EQ(Errors().Code(), kFileNotOpen);
  EXPECT_TRUE(Eof(t_.get()));
  OpenWith("x\r\n");
  t_.SetLine("untouched");
  Next(t_.get());
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  EXPECT_EQ(t_.Line(), "untouched");
}

TEST_F(TextDriverTest, BytesIsTheLinesByteCountOrTheFileSize) {
  OpenWith("abc\r\nlast");
  EXPECT_EQ(Bytes(t_.get()), 9);
  SetFile(t_.get());
  Next(t_.get());
  EXPECT_EQ(Bytes(t_.get()), 5);
  Next(t_.get());
  EXPECT_EQ(Bytes(t_.get()), 4);
}

TEST_F(TextDriverTest, SharedReaderSeesAFileThatGrowsUnlessQuickscanIsOn) {
  OpenWith("one\r\n");
  SetFile(t_.get());
  Next(t_.get());
  env_.SetContents("README.TXT", "one\r\ntwo\r\n");
  Next(t_.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(t_.Line(), "two");
  EXPECT_EQ(Send(t_.get(), "QUICKSCAN=ON"), "ON");
  env_.SetContents("README.TXT", "one\r\ntwo\r\nthree\r\n");
  Next(t_.get());
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);  // the cached size still ends at "two"
}

TEST_F(TextDriverTest, FileThatShrinksBetweenReadsEndsTheSequence) {
  OpenWith("one\r\ntwo\r\nthree\r\n");
  SetFile(t_.get());
  Next(t_.get());
  env_.SetContents("README.TXT", "on");
  Next(t_.get());
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
  GetByPointer(t_.get(), 1);
  EXPECT_EQ(t_.Line(), "on");
}

TEST_F(TextDriverTest, OemTextIsConvertedBothWays) {
  TextTable oem("OEM.TXT", 8, kAttrCreate | kAttrOemText);
  env_.SetContents("OEM.TXT", "caf\x82\r\n");
  Open(oem.get(), kReadWriteShared);
  SetFile(oem.get());
  Next(oem.get());
  EXPECT_EQ(oem.Line(), "caf\xE9");
  oem.SetLine(
      "\xA3"
      "5");
  Add(oem.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(env_.Contents("OEM.TXT"),
            "caf\x82\r\n\x9C"
            "5\r\n");
  Close(oem.get());
}

// --- Writing ----------------------------------------------------------------

TEST_F(TextDriverTest, AddWithClipWritesTheTextAndTheEndOfRecordOnly) {
  OpenWith("", kReadWriteShared);
  t_.SetLine("abc");
  Add(t_.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Contents(), "abc\r\n");
  EXPECT_EQ(Pointer(t_.get()), 1);
  EXPECT_EQ(Bytes(t_.get()), 5);
  EXPECT_EQ(Send(t_.get(), "CLIP=OFF"), "OFF");
  Add(t_.get());
  EXPECT_EQ(Contents(), "abc\r\nabc" + std::string(17, ' ') + "\r\n");
  EXPECT_EQ(Pointer(t_.get()), 6);
}

TEST_F(TextDriverTest, AddKeepsANewLineApartFromALastLineWithoutEndOfRecord) {
  OpenWith("first\r\nlast", kReadWriteShared);
  t_.SetLine("new");
  Add(t_.get());
  EXPECT_EQ(Contents(), "first\r\nlast\r\nnew\r\n");
  EXPECT_EQ(Pointer(t_.get()), 14);
  EXPECT_EQ(ReadAll(t_), (Lines{"first", "last", "new"}));
}

TEST_F(TextDriverTest, AddKeepsAClosingCtrlZLast) {
  OpenWith("first\r\n\x1A", kReadWriteShared);
  t_.SetLine("new");
  Add(t_.get());
  EXPECT_EQ(Contents(), "first\r\nnew\r\n\x1A");
  EXPECT_EQ(ReadAll(t_), (Lines{"first", "new"}));
}

TEST_F(TextDriverTest, WritesToAReadOnlyFileAreRefused) {
  OpenWith("x\r\n", 0x40);
  t_.SetLine("y");
  Add(t_.get());
  EXPECT_EQ(Errors().Code(), kAccessDenied);
  SetFile(t_.get());
  Next(t_.get());
  Put(t_.get());
  EXPECT_EQ(Errors().Code(), kAccessDenied);
  EXPECT_EQ(Contents(), "x\r\n");
}

TEST_F(TextDriverTest, ShortWriteIsAccessDeniedAndLeavesNoHalfLine) {
  OpenWith("keep\r\n", kReadWriteShared);
  env_.FailWriteAt(1, EIO, 2);
  t_.SetLine("lost line");
  Add(t_.get());
  EXPECT_EQ(Errors().Code(), kAccessDenied);
  EXPECT_EQ(Contents(), "keep\r\n");
}

TEST_F(TextDriverTest, FullDiskIsTheSystemError) {
  OpenWith("", kReadWriteShared);
  env_.FailWriteAt(1, ENOSPC);
  t_.SetLine("x");
  Add(t_.get());
  EXPECT_EQ(Errors().Code(), kSystemErrorBase + 39);
  EXPECT_EQ(Errors().OsError(), 39);
}

TEST_F(TextDriverTest, PutOfTheSameLengthOverwritesInPlace) {
  OpenWith("one\r\ntwo\r\nsix\r\n", kReadWriteShared);
  SetFile(t_.get());
  Next(t_.get());
  Next(t_.get());
  t_.SetLine("TWO");
  Put(t_.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Contents(), "one\r\nTWO\r\nsix\r\n");
}

TEST_F(TextDriverTest, PutOfADifferentLengthKeepsTheFollowingLines) {
  OpenWith("one\r\ntwo\r\nsix\r\n", kReadWriteShared);
  SetFile(t_.get());
  Next(t_.get());
  t_.SetLine("eleven");
  Put(t_.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Contents(), "eleven\r\ntwo\r\nsix\r\n");
  EXPECT_EQ(Bytes(t_.get()), 8);
  Next(t_.get());  // the sequence moved with the lines
  EXPECT_EQ(t_.Line(), "two");
  t_.SetLine("2");
  Put(t_.get());
  EXPECT_EQ(Contents(), "eleven\r\n2\r\nsix\r\n");
  Next(t_.get());
  EXPECT_EQ(t_.Line(), "six");
}

TEST_F(TextDriverTest, PutWithoutACurrentRecordIs33) {
  OpenWith("one\r\n", kReadWriteShared);
  Put(t_.get());
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
}

TEST_F(TextDriverTest, PositionedWriteReplacesTheLineAtThePointer) {
  OpenWith("one\r\ntwo\r\n", kReadWriteShared);
  t_.SetLine("zwei");
  t_->Send(kOpPutAtPointer, Args{6});
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Contents(), "one\r\nzwei\r\n");
  t_->Send(kOpPutAtPointerWithLength, Args{12, 2});  // at the end: appended
  EXPECT_EQ(Contents(), "one\r\nzwei\r\nzw\r\n");
  t_->Send(kOpPutAtPointer, Args{500});
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
}

TEST_F(TextDriverTest, EmptyNeedsExclusiveUseAndTruncates) {
  OpenWith("one\r\n", kReadWriteShared);
  Empty(t_.get());
  EXPECT_EQ(Errors().Code(), kExclusiveAccessRequired);
  Close(t_.get());
  Open(t_.get(), kReadWriteExclusive);
  Empty(t_.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Contents(), "");
  SetFile(t_.get());
  Next(t_.get());
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
}

TEST_F(TextDriverTest, SharedWriteIsRefusedWhileAnotherHolderLocksTheFile) {
  OpenWith("one\r\n", kReadWriteShared);
  std::unique_ptr<env::File> other;
  ASSERT_EQ(env_.Open("README.TXT", env::kOpenReadWrite, &other), 0);
  ASSERT_EQ(other->TryLock(0, 1, true), 0);
  t_.SetLine("two");
  Add(t_.get());
  EXPECT_EQ(Errors().Code(), kAccessDenied);
  LockTimeout(t_.get(), 0);
  EXPECT_EQ(Errors().Code(), kFileAlreadyLocked);
  ASSERT_EQ(other->Unlock(0, 1), 0);
  Add(t_.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Contents(), "one\r\ntwo\r\n");
}

TEST_F(TextDriverTest, LockedFileIsWrittenUnderItsOwnLock) {
  OpenWith("", kReadWriteShared);
  Lock(t_.get());
  ASSERT_EQ(Errors().Code(), 0);
  t_.SetLine("a");
  Add(t_.get());  // must not trip over the lock it already holds
  EXPECT_EQ(Errors().Code(), 0);
  std::unique_ptr<env::File> other;
  ASSERT_EQ(env_.Open("README.TXT", env::kOpenReadWrite, &other), 0);
  EXPECT_EQ(other->TryLock(0, 1, true), EAGAIN);
  Unlock(t_.get());
  EXPECT_EQ(other->TryLock(0, 1, true), 0);
}

// --- Opening and creating ---------------------------------------------------

TEST_F(TextDriverTest, MissingFileIsFileNotFoundAsASystemError) {
  Open(t_.get(), kReadOnlyShared);
  EXPECT_EQ(Errors().Code(), kSystemErrorBase + 2);
  EXPECT_EQ(Errors().Text(), "File Not Found");
  EXPECT_EQ(t_->block, nullptr);  // a failed open leaves nothing behind
}

TEST_F(TextDriverTest, EmptyNameIsInvalidFilename) {
  TextTable blank("   ", 10);
  Open(blank.get(), kReadOnlyShared);
  EXPECT_EQ(Errors().Code(), kInvalidFilename);
  Create(blank.get());
  EXPECT_EQ(Errors().Code(), kInvalidFilename);
}

TEST_F(TextDriverTest, CreateNeedsTheCreateAttribute) {
  TextTable plain("NEW.TXT", 10, 0);
  Create(plain.get());
  EXPECT_EQ(Errors().Code(), kNoCreateAttribute);
  TextTable creatable("NEW.TXT", 10);
  env_.SetContents("NEW.TXT", "old\r\n");
  Create(creatable.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(env_.Contents("NEW.TXT"), "");
  EXPECT_EQ(creatable->block, nullptr);
}

TEST_F(TextDriverTest, CreateFailureIsAccessDenied) {
  SetTextFileEnv(env::Env::Default());
  TextTable t("/nonexistent-vorsandt-dir/NEW.TXT", 10);
  Create(t.get());
  EXPECT_EQ(Errors().Code(), kAccessDenied);
}

TEST_F(TextDriverTest, HugeLineIsCutAndSkippedWhole) {
  OpenWith(std::string(5'000'000, 'h') + "\r\nafter\r\n");
  SetFile(t_.get());
  Next(t_.get());
  EXPECT_EQ(t_.Line(), std::string(20, 'h'));
  EXPECT_EQ(Bytes(t_.get()), 5'000'002);
  Next(t_.get());
  EXPECT_EQ(t_.Line(), "after");
}

TEST_F(TextDriverTest, DirectoryIsAnErrorNotALine) {
  SetTextFileEnv(env::Env::Default());
  TextTable dir(std::filesystem::temp_directory_path().string(), 10);
  Open(dir.get(), kReadOnlyShared);
  int32_t code = Errors().Code();
  if (code == 0) {  // a directory may open for reading; reading it must fail
    SetFile(dir.get());
    Next(dir.get());
    code = Errors().Code();
    Close(dir.get());
  }
  EXPECT_GT(code, kSystemErrorBase);
}

TEST_F(TextDriverTest, EmptyFileHasNoLines) {
  OpenWith("");
  EXPECT_EQ(Bytes(t_.get()), 0);
  SetFile(t_.get());
  EXPECT_TRUE(Eof(t_.get()));
  Next(t_.get());
  EXPECT_EQ(Errors().Code(), kRecordNotAvailable);
}

TEST_F(TextDriverTest, OpenOfAnOpenFileIs52AndKeepsItOpen) {
  OpenWith("x\r\n");
  Open(t_.get(), kReadOnlyShared);
  EXPECT_EQ(Errors().Code(), kFileAlreadyOpen);
  SetFile(t_.get());
  Next(t_.get());
  EXPECT_EQ(t_.Line(), "x");
}

TEST_F(TextDriverTest, OpenTakesTheNameFromItsVariableAfresh) {
  char name[81] = "OLD.TXT";
  uint8_t buffer[10];
  const std::vector<uint8_t> layout = LayoutBuilder().String(0, "T:S", 10).Finish();
  FileRecord f(AsciiEntry, name, -1, 0, 10, layout.data(), layout.size(), nullptr, 0, nullptr, 0,
               buffer);
  EXPECT_EQ(Send(&f, "TAB"), "8");  // makes the block while the variable names OLD.TXT
  std::strcpy(name, "README.TXT");
  env_.SetContents("README.TXT", "x\r\n");
  Open(&f, kReadOnlyShared);
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Name(&f), "README.TXT");
  Close(&f);
}

TEST_F(TextDriverTest, GetByPointerWithALengthFillsOnlyThatMuch) {
  OpenWith("abcdef\r\n");
  t_.SetLine("zzzzzzzz");
  t_->Send(kOpGetByPointerWithLength, Args{1, 3});
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(t_.Line(), "abczzzzz");
  EXPECT_EQ(Bytes(t_.get()), 8);
}

TEST_F(TextDriverTest, DeclaredDriverTextSetsOptionsAtOpen) {
  TextTable t("README.TXT", 10);
  t->driver_text1 = "/TAB=0/ENDOFRECORD=1,10";
  env_.SetContents("README.TXT", "a\tb\nc\n");
  Open(t.get(), kReadOnlyShared);
  EXPECT_EQ(ReadAll(t), (Lines{"ab", "c"}));
  Close(t.get());
}

TEST_F(TextDriverTest, LayoutWithANumberFieldIsRefused) {
  const std::vector<uint8_t> layout = LayoutBuilder().Long(0, "T:N").String(4, "T:S", 4).Finish();
  uint8_t buffer[8];
  FileRecord f(AsciiEntry, "README.TXT", 10, 0, 8, layout.data(), layout.size(), nullptr, 0,
               nullptr, 0, buffer);
  env_.SetContents("README.TXT", "x\r\n");
  Open(&f, kReadOnlyShared);
  EXPECT_EQ(Errors().Code(), kUnsupportedDataType);
  EXPECT_EQ(f.block, nullptr);
}

// --- Commands, names, registration, transactions -----------------------------

TEST_F(TextDriverTest, RegisterAnswersTheRegistrationBlock) {
  const Registration* reg = QueryRegistration(t_.get());
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg->driver_name, "ASCII");
  EXPECT_EQ(reg->library_name, "ZURAR16.DLL");
  EXPECT_EQ(reg->description, "Ascii File Driver 1.0");
  EXPECT_TRUE(reg->SupportsOp(kOpNext));
  EXPECT_FALSE(reg->SupportsOp(kOpPrevious));
  EXPECT_TRUE(reg->SupportsType(kTypeString));
  EXPECT_FALSE(reg->SupportsType(kTypeLong));
}

TEST_F(TextDriverTest, SendRepliesAndChangesOptions) {
  OpenWith("a\nb\n");
  EXPECT_EQ(Send(t_.get(), "endofrecord=1,10"), "1,10");
  EXPECT_EQ(ReadAll(t_), (Lines{"a", "b"}));
  EXPECT_EQ(Send(t_.get(), "FILEBUFFERS=4"), "4");
  EXPECT_EQ(t_.block()->file->buffer_size(), 4 * kBufferUnit);
  EXPECT_EQ(Send(t_.get(), "NOSUCHOPTION"), "");
}

TEST_F(TextDriverTest, ExclusiveOpenDefaultsToTwoBuffersAndQuickscan) {
  OpenWith("x\r\n", kReadWriteExclusive);
  EXPECT_EQ(Send(t_.get(), "FILEBUFFERS"), "2");
  EXPECT_EQ(Send(t_.get(), "QUICKSCAN"), "ON");
  Close(t_.get());
  TextTable wide("README.TXT", 4000);
  Open(wide.get(), kReadOnlyShared);
  EXPECT_GE(wide.block()->file->buffer_size(), 2u * 4002);  // a whole line always fits
  Close(wide.get());
}

TEST_F(TextDriverTest, NameIsTheFileName) { EXPECT_EQ(Name(t_.get()), "README.TXT"); }

TEST_F(TextDriverTest, KeyedAndBackwardOperationsAreUnsupported) {
  OpenWith("x\r\n");
  SetFile(t_.get());
  Previous(t_.get());
  EXPECT_EQ(Errors().Code(), kUnsupportedFunction);
  Records(t_.get());
  EXPECT_EQ(Errors().Code(), kUnsupportedFunction);
  EXPECT_TRUE(Bof(t_.get()));
  EXPECT_EQ(Errors().Code(), kUnsupportedFunction);
}

TEST_F(TextDriverTest, TransactionOverATextFileFailsWith48AndUnlocksIt) {
  OpenWith("x\r\n", kReadWriteShared);
  EXPECT_EQ(Logout(1, {t_.get()}), kUnableToLogTransaction);
  EXPECT_EQ(Errors().Code(), kUnableToLogTransaction);
  EXPECT_FALSE(InTransaction());
  EXPECT_EQ(t_->block->state & (kStateLocked | kStateTransaction), 0u);
  EXPECT_FALSE(t_.block()->locked);
  t_.SetLine("y");
  Add(t_.get());  // the file works normally afterwards
  EXPECT_EQ(Errors().Code(), 0);
}

TEST_F(TextDriverTest, CloseUnregistersAndReleasesTheBlock) {
  const size_t before = OpenFiles().Size();
  OpenWith("x\r\n");
  EXPECT_EQ(OpenFiles().Size(), before + 1);
  Close(t_.get());
  EXPECT_EQ(Errors().Code(), 0);
  EXPECT_EQ(OpenFiles().Size(), before);
  EXPECT_EQ(t_->block, nullptr);
}

}  // namespace
}  // namespace vorsandt::text
