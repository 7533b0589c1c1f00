#include "app/documents/document_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "runtime/env/fault_env.h"

namespace vorsandt::app {
namespace {

TEST(StoredNameTest, KeepsTheOriginalsNameReadableAndItsExtension) {
  EXPECT_EQ(StoredNameFor("/home/ann/Scans/receipt 2024.pdf", 120), "receipt 2024.pdf");
  EXPECT_EQ(StoredNameFor("bon d'achat: café.jpg", 120), "bon d_achat_ caf__.jpg");
  EXPECT_EQ(StoredNameFor("/tmp/.hidden", 120), "document.hidden");
  EXPECT_EQ(StoredNameFor(std::string(200, 'x') + ".pdf", 120), std::string(116, 'x') + ".pdf");
}

class DocumentStoreTest : public ::testing::Test {
 protected:
  env::FaultEnv env_;
  std::string stored_, error_;
};

TEST_F(DocumentStoreTest, CopiesWholeUnderAFreeNameAndNeverReplacesOne) {
  const std::string bytes(3 << 20, 'r');  // more than one chunk
  env_.SetContents("/scans/receipt.pdf", bytes);
  ASSERT_TRUE(StoreDocument(&env_, "/scans/receipt.pdf", 120, &stored_, &error_)) << error_;
  EXPECT_EQ(stored_, "receipt.pdf");
  EXPECT_EQ(env_.Contents("documents/receipt.pdf"), bytes);
  env_.SetContents("/other/receipt.pdf", "second");
  ASSERT_TRUE(StoreDocument(&env_, "/other/receipt.pdf", 120, &stored_, &error_)) << error_;
  EXPECT_EQ(stored_, "receipt-2.pdf");
  EXPECT_EQ(env_.Contents("documents/receipt.pdf"), bytes);
  EXPECT_EQ(env_.Contents("documents/receipt-2.pdf"), "second");
  // A name at the limit keeps its number and extension inside it.
  env_.SetContents("/s/" + std::string(12, 'n') + ".txt", "a");
  ASSERT_TRUE(StoreDocument(&env_, "/s/" + std::string(12, 'n') + ".txt", 16, &stored_, &error_));
  ASSERT_TRUE(StoreDocument(&env_, "/s/" + std::string(12, 'n') + ".txt", 16, &stored_, &error_));
  EXPECT_EQ(stored_, std::string(10, 'n') + "-2.txt");
}

TEST_F(DocumentStoreTest, AFailedCopyStoresNothingAndSaysWhy) {
  env_.SetContents("/scans/manual.pdf", std::string(1000, 'm'));
  const size_t files_before = env_.FileNames().size();
  env_.FailWriteAt(1, ENOSPC);
  EXPECT_FALSE(StoreDocument(&env_, "/scans/manual.pdf", 120, &stored_, &error_));
  EXPECT_EQ(error_,
            "The file /scans/manual.pdf could not be copied into the documents folder: No space "
            "left on device");
  EXPECT_EQ(env_.FileNames().size(), files_before);
  env_.FailSyncAt(1, EIO);
  EXPECT_FALSE(StoreDocument(&env_, "/scans/manual.pdf", 120, &stored_, &error_));
  EXPECT_EQ(env_.FileNames().size(), files_before);
  env_.FailReads(EIO);
  EXPECT_FALSE(StoreDocument(&env_, "/scans/manual.pdf", 120, &stored_, &error_));
  EXPECT_EQ(error_, "The file /scans/manual.pdf cannot be read: Input/output error");
  env_.FailReads(0);
  EXPECT_EQ(env_.FileNames().size(), files_before);
  EXPECT_FALSE(StoreDocument(&env_, "/scans/gone.pdf", 120, &stored_, &error_));
  EXPECT_EQ(error_, "The file /scans/gone.pdf cannot be read: No such file or directory");
  // A folder is refused by what it is, before anything is opened.
  EXPECT_FALSE(StoreDocument(&env_, "/", 120, &stored_, &error_));
  EXPECT_EQ(error_, "The file / cannot be read: it is a folder");
  EXPECT_EQ(env_.FileNames().size(), files_before);
}

TEST_F(DocumentStoreTest, PutAsideMovesTheFileAndNumbersANameTakenThere) {
  env_.SetContents("documents/receipt.pdf", "one");
  ASSERT_TRUE(PutAside(&env_, "receipt.pdf", &error_)) << error_;
  EXPECT_FALSE(env_.Exists("documents/receipt.pdf"));
  EXPECT_EQ(env_.Contents("documents/.deleted/receipt.pdf"), "one");
  env_.SetContents("documents/receipt.pdf", "two");
  ASSERT_TRUE(PutAside(&env_, "receipt.pdf", &error_)) << error_;
  EXPECT_EQ(env_.Contents("documents/.deleted/receipt.pdf"), "one");
  EXPECT_EQ(env_.Contents("documents/.deleted/receipt-2.pdf"), "two");
  // Nothing there is nothing to put aside; what no stored name can be (an
  // imported record's) is never moved.
  EXPECT_TRUE(PutAside(&env_, "receipt.pdf", &error_));
  EXPECT_TRUE(PutAside(&env_, "", &error_));
  env_.SetContents("ITEMS.QVF", "table");
  EXPECT_FALSE(PutAside(&env_, "../ITEMS.QVF", &error_));
  EXPECT_FALSE(PutAside(&env_, ".deleted", &error_));
  EXPECT_EQ(env_.Contents("ITEMS.QVF"), "table");
}

}  // namespace
}  // namespace vorsandt::app
