#include "runtime/files/transaction.h"

#include <cstring>

#include <gtest/gtest.h>

#include "runtime/files/driver.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/layout.h"
#include "runtime/files/operations.h"
#include "runtime/files/rules.h"
#include "runtime/files/testing/memory_driver.h"

namespace vorsandt::files {
namespace {

const std::vector<uint8_t> kLayout = LayoutBuilder().String(0, "T:S", 4).Finish();

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetMemoryFiles();
    Errors().Clear();
    for (FileRecord* f : {&a_, &b_, &text_}) {
      Create(f);
      Open(f);
      ASSERT_EQ(Errors().Code(), 0);
    }
  }
  void TearDown() override {
    if (InTransaction()) Rollback();
    for (FileRecord* f : {&a_, &b_, &text_}) {
      if (f->block) Close(f);
    }
  }
  static void AddRow(FileRecord* f) {
    std::memcpy(f->buffer, "row ", 4);
    Add(f);
  }

  uint8_t ba_[4], bb_[4], bt_[4];
  FileRecord a_{testing::MemoryEntry, "A", 1, kAttrCreate, 4, kLayout.data(), kLayout.size(),
                nullptr, 0, nullptr, 0, ba_};
  FileRecord b_{testing::MemoryEntry, "B", 1, kAttrCreate, 4, kLayout.data(), kLayout.size(),
                nullptr, 0, nullptr, 0, bb_};
  FileRecord text_{testing::MemoryNoTransactionEntry, "T", 1, kAttrCreate, 4, kLayout.data(),
                   kLayout.size(), nullptr, 0, nullptr, 0, bt_};
};

TEST_F(TransactionTest, CommitKeepsAndRollbackUndoes) {
  ASSERT_EQ(Logout(1, {&a_, &b_}), 0);
  EXPECT_TRUE(InTransaction());
  EXPECT_NE(a_.block->state & kStateTransaction, 0u);
  AddRow(&a_);
  AddRow(&b_);
  Commit();
  EXPECT_FALSE(InTransaction());
  EXPECT_EQ(a_.block->state & (kStateTransaction | kStateLocked), 0u);
  ASSERT_EQ(Logout(1, {&a_, &b_, nullptr}), 0);
  AddRow(&a_);
  AddRow(&b_);
  Rollback();
  EXPECT_EQ(testing::MemoryFileRecords("A"), 1);
  EXPECT_EQ(testing::MemoryFileRecords("B"), 1);
}

TEST_F(TransactionTest, AFailedCommitStaysVisibleAfterTheUnlock) {
  ASSERT_EQ(Logout(1, {&a_, &b_}), 0);
  AddRow(&a_);
  testing::FailNextCommit(kUnableToLogTransaction);
  Commit();
  EXPECT_EQ(Errors().Code(), kUnableToLogTransaction);
  EXPECT_EQ(Errors().FailingObject(), &a_);
  EXPECT_FALSE(InTransaction());
  EXPECT_EQ(a_.block->state & (kStateLocked | kStateTransaction), 0u)
      << "the file is rolled back and unlocked all the same";
  EXPECT_EQ(testing::MemoryFileRecords("A"), 0);
  Close(&a_);
  EXPECT_EQ(Errors().Code(), 0);
}

TEST_F(TransactionTest, SecondLogoutIsRefused) {
  ASSERT_EQ(Logout(1, {&a_}), 0);
  EXPECT_EQ(Logout(1, {&b_}), kLogoutAlreadyActive);
  EXPECT_EQ(Errors().Code(), kLogoutAlreadyActive);
  EXPECT_TRUE(InTransaction());
}

TEST_F(TransactionTest, CloseAndMaintenanceAreRefusedInsideATransaction) {
  ASSERT_EQ(Logout(1, {&a_}), 0);
  Close(&a_);
  EXPECT_EQ(Errors().Code(), kLogoutAlreadyActive);
  EXPECT_NE(a_.block, nullptr);
  Empty(&a_);
  EXPECT_EQ(Errors().Code(), kLogoutAlreadyActive);
  Unlock(&a_);
  EXPECT_EQ(Errors().Code(), kLogoutAlreadyActive);
}

TEST_F(TransactionTest, FileWithoutTransactionsFailsTheWholeLogout) {
  AddRow(&a_);
  EXPECT_EQ(Logout(1, {&a_, &text_, &b_}), kUnableToLogTransaction);
  EXPECT_EQ(Errors().Code(), kUnableToLogTransaction);
  EXPECT_FALSE(InTransaction());
  // The text-like file was locked for the attempt and unlocked again; the file
  // already begun was rolled back and unlocked.
  EXPECT_EQ(text_.block->state & kStateLocked, 0u);
  EXPECT_EQ(a_.block->state & (kStateLocked | kStateTransaction), 0u);
  EXPECT_EQ(b_.block->state & kStateTransaction, 0u);
  OpenFiles().ForEach([](RegistryEntry& e) { EXPECT_FALSE(e.in_transaction); });
  // Everything works normally afterwards.
  EXPECT_EQ(Logout(1, {&a_, &b_}), 0);
  Commit();
}

TEST_F(TransactionTest, UnopenedAndLockedFiles) {
  uint8_t buf[4];
  FileRecord never(testing::MemoryEntry, "N", 1, kAttrCreate, 4, kLayout.data(), kLayout.size(),
                   nullptr, 0, nullptr, 0, buf);
  EXPECT_EQ(Logout(1, {&never, &a_}), 0) << "files this thread never used are skipped";
  Commit();
  // Another user holding the lock makes the logout fail after its timeout.
  uint8_t obuf[4];
  FileRecord other(testing::MemoryEntry, "B", 1, 0, 4, kLayout.data(), kLayout.size(), nullptr,
                   0, nullptr, 0, obuf);
  Open(&other);
  Lock(&other);
  ASSERT_EQ(Errors().Code(), 0);
  EXPECT_EQ(Logout(0, {&a_, &b_}), kUnableToLogTransaction);
  EXPECT_EQ(a_.block->state & kStateLocked, 0u);
  Unlock(&other);
  Close(&other);
}

}  // namespace
}  // namespace vorsandt::files
