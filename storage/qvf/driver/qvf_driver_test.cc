// The driver through the file layer's operations, over the application's
// real tables in a scratch folder.
#include "storage/qvf/driver/qvf_driver.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "app/dictionary/dictionary.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/op_codes.h"
#include "runtime/files/operations.h"
#include "runtime/files/text_stack.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/driver/coordination.h"
#include "storage/qvf/driver/driver_files.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "storage/qvf/table/definition.h"
#include "storage/qvf/table/entry_key.h"
#include "storage/qvf/table/table.h"

namespace vorsandt::qvf {
namespace {

using app::Table;
using files::Errors;
using testing::Code;
using testing::Companies;
using testing::ScratchFolder;

TEST(QvfDriverSend, RegisterUnknownAndCoordinationFile) {
  ScratchFolder folder;
  auto* f = Companies();
  const files::Registration* reg = files::QueryRegistration(f);
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg->driver_name, "VELOCARA");
  EXPECT_TRUE(reg->SupportsOp(files::kOpSkip));
  EXPECT_EQ(files::Send(f, "QUICKSCAN=on"), "SEND arg not recognised");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(files::Send(f, "QCF=shared.qcf"), "");
  EXPECT_EQ(CoordinationFileName(), "shared.qcf");
  EXPECT_EQ(files::Send(f, "QCF=velocara.qcf"), "");
  EXPECT_EQ(f->Send(files::kOpViewEngine), 0);
  f->Send(68);
  EXPECT_EQ(Code(), files::kFileNotOpen);
  files::Create(f);
  files::Open(f);
  f->Send(68);
  EXPECT_EQ(Code(), files::kUnsupportedFunction);
  f->Send(files::kOpBlob75);  // COMPANIES has no blob field
  EXPECT_EQ(Code(), files::kUnsupportedDataType);
  files::Close(f);
}

// A reader holding copies of the records asks whether the file has been
// saved since: every save counts, reads do not, a closed table has no count.
TEST(QvfDriverSend, ChangesCountsTheSavesOfTheOpenTable) {
  ScratchFolder folder;
  auto* f = Companies();
  EXPECT_EQ(files::Send(f, "CHANGES"), "");
  EXPECT_EQ(Code(), files::kFileNotOpen);
  files::Create(f);
  files::Open(f);
  const std::string before = files::Send(f, "CHANGES");
  ASSERT_EQ(Code(), 0);
  ASSERT_FALSE(before.empty());
  files::Add(f);
  ASSERT_EQ(Code(), 0);
  const std::string after = files::Send(f, "CHANGES");
  EXPECT_EQ(std::stoul(after), std::stoul(before) + 1);
  files::SetFile(f);
  files::Next(f);
  EXPECT_EQ(files::Send(f, "CHANGES"), after);
  files::Close(f);
}

TEST(QvfDriverSend, NextTableNameFromAnEmptyNameIsTheFirstTable) {
  ScratchFolder folder;
  auto* f = Companies();
  files::Create(f);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(files::Send(f, "PNM="), std::string("UNNAMED\0", 8));
  EXPECT_EQ(files::Send(f, "PNM=UNNAMED"), "");
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(files::Send(f, "PNM="), std::string("UNNAMED\0", 8));
  files::Close(f);
}

TEST(QvfDriverOpen, MissingFileNoCreateAttributeAndOpenTwice) {
  ScratchFolder folder;
  auto* f = Companies();
  files::Open(f);
  EXPECT_EQ(Code(), files::kFileNotFound);
  files::Create(f);
  ASSERT_EQ(Code(), 0);
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  files::Open(f);
  EXPECT_EQ(Code(), files::kFileAlreadyOpen);
  files::Close(f);
  EXPECT_EQ(Code(), 0);
  files::Next(f);
  EXPECT_EQ(Code(), files::kFileNotOpen);
}

TEST(QvfDriverSequence, EmptyTableNextFailsAndBothEndsAreReached) {
  ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  files::SetFile(f);
  files::Next(f);
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  EXPECT_TRUE(files::Eof(f));
  EXPECT_TRUE(files::Bof(f));
  files::Close(f);
}

TEST(QvfDriverSequence, EofAfterTheLastRecordAndPreviousFromThere) {
  ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  for (int ref : {3, 1, 2}) testing::AddCompany(f, ref, "Name " + std::to_string(ref));
  files::SetFile(f);
  std::vector<int> refs;
  for (;;) {
    files::Next(f);
    if (Code() != 0) break;
    refs.push_back(testing::Ref(f));
  }
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  EXPECT_EQ(refs, (std::vector<int>{3, 1, 2}));  // record-number order
  files::SetFile(f);
  for (int i = 0; i < 3; ++i) files::Next(f);
  EXPECT_TRUE(files::Eof(f));
  EXPECT_FALSE(files::Bof(f));
  files::Previous(f);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(testing::Ref(f), 1);
  files::Close(f);
}

TEST(QvfDriverSequence, KeyOrderValuesAndDirectReads) {
  ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  testing::AddCompany(f, 10, "delta");
  testing::AddCompany(f, 20, "Alpha");
  testing::AddCompany(f, 30, "charlie");
  testing::AddCompany(f, 40, "");  // blank optional key: not in NAME order
  testing::AddCompany(f, 50, "alpha");
  EXPECT_EQ(files::Records(f), 5);
  EXPECT_EQ(files::KeyRecords(f, app::Key(Table::kCompanies, 2)), 4);
  EXPECT_EQ(files::Bytes(f), 5 * 202);
  const files::KeyDecl* name = app::Key(Table::kCompanies, 2);
  const files::KeyDecl* ref = app::Key(Table::kCompanies, 1);
  files::SetKey(f, name);
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{20, 50, 30, 10}));
  files::SetKey(f, name);
  EXPECT_EQ(testing::ReadAll(f, false), (std::vector<int>{10, 30, 50, 20}));
  testing::SetName(f, "B");
  files::SetKeyValue(f, name);
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{30, 10}));
  testing::SetRef(f, 30);
  files::GetByKey(f, ref);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(testing::NameOf(f), "charlie");
  testing::SetRef(f, 31);
  files::GetByKey(f, ref);
  EXPECT_EQ(Code(), files::kRecordNotFound);
  testing::SetName(f, "ALPHA");
  files::GetByKey(f, name);  // first of the duplicates in record order
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(testing::Ref(f), 20);
  // Duplicate: the buffer holds record 20's values; another record with
  // reference 10 is a duplicate, a duplicates-allowed key never is.
  EXPECT_FALSE(files::Duplicate(f, ref));
  testing::SetRef(f, 10);
  EXPECT_TRUE(files::Duplicate(f, ref));
  EXPECT_FALSE(files::Duplicate(f, name));
  files::GetByPointer(f, 999);
  EXPECT_EQ(Code(), files::kRecordNotFound);
  files::Close(f);
}

TEST(QvfDriverSequence, PositionsResetAndRegetWithAndWithoutKeys) {
  ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  for (int i = 1; i <= 6; ++i)
    testing::AddCompany(f, i, std::string(1, static_cast<char>('g' - i)));
  const files::KeyDecl* name = app::Key(Table::kCompanies, 2);
  files::SetKey(f, name);
  files::Next(f);
  files::Next(f);  // "b" = reference 5
  ASSERT_EQ(testing::Ref(f), 5);
  std::string plain = files::Position(f);
  std::string keyed = files::PositionKey(f, name);
  ASSERT_EQ(plain.size(), 512u);
  ASSERT_EQ(keyed.size(), 512u);
  files::Reset(f, plain);
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{5, 6}));
  files::ResetKey(f, name, keyed);
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{5, 4, 3, 2, 1}));
  testing::SetRef(f, 0);
  files::Reget(f, plain);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(testing::Ref(f), 5);
  files::RegetKey(f, name, keyed);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(testing::Ref(f), 5);
  // Once the record is gone neither finds it; Reset moves on to the next.
  files::Delete(f);
  ASSERT_EQ(Code(), 0);
  files::Reget(f, plain);
  EXPECT_EQ(Code(), files::kRecordNotFound);
  files::RegetKey(f, name, keyed);
  EXPECT_EQ(Code(), files::kRecordNotFound);
  files::Reset(f, plain);
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{6}));
  files::Close(f);
}

// A record read in key order takes its keyed position's value from the key
// entry it was read through; read by number, the value is encoded from the
// record. Both must give the same text, also after a change of the record.
TEST(QvfDriverSequence, KeyedPositionFromTheEntryReadEqualsTheEncodedOne) {
  ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  for (int i = 1; i <= 4; ++i) testing::AddCompany(f, i, std::string("Name ") + char('a' + i));
  const files::KeyDecl* name = app::Key(Table::kCompanies, 2);
  files::SetKey(f, name);
  files::Next(f);
  files::Next(f);
  ASSERT_EQ(Code(), 0);
  const std::string through_entry = files::PositionKey(f, name);
  files::GetByPointer(f, files::Pointer(f));
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(files::PositionKey(f, name), through_entry);
  // Changed, the record's position follows its new value.
  files::SetKey(f, name);
  files::Next(f);
  testing::SetName(f, "zz changed");
  files::Put(f);
  ASSERT_EQ(Code(), 0);
  const std::string after_put = files::PositionKey(f, name);
  files::GetByPointer(f, files::Pointer(f));
  EXPECT_EQ(files::PositionKey(f, name), after_put);
  EXPECT_NE(after_put.substr(4), through_entry.substr(4));
  files::Close(f);
}

TEST(QvfDriverChanges, PutDeleteSkipAndDuplicates) {
  ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  files::Put(f);
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  const char* names[] = {"n1", "n2", "n3", "n4", "n5"};
  for (int i = 1; i <= 5; ++i) testing::AddCompany(f, i, names[i - 1]);
  testing::AddCompany(f, 3, "again");
  EXPECT_EQ(Code(), files::kCreatesDuplicateKey);
  EXPECT_EQ(files::Records(f), 5);
  files::SetFile(f);
  files::Skip(f, 2);
  files::Next(f);
  ASSERT_EQ(testing::Ref(f), 3);
  testing::SetName(f, "changed");
  files::Put(f);
  ASSERT_EQ(Code(), 0);
  // Skipping stops quietly at the first record; reading on gives the next.
  files::Skip(f, -10);
  files::Next(f);
  EXPECT_EQ(testing::Ref(f), 2);
  files::Delete(f);
  ASSERT_EQ(Code(), 0);
  files::Delete(f);
  EXPECT_EQ(Code(), files::kRecordNotAvailable);
  files::SetKey(f, app::Key(Table::kCompanies, 1));
  EXPECT_EQ(testing::ReadAll(f, true), (std::vector<int>{1, 3, 4, 5}));
  files::Empty(f);
  EXPECT_NE(Code(), 0);  // needs exclusive use
  files::Close(f);
  files::Open(f, 0x12);
  ASSERT_EQ(Code(), 0);
  files::Empty(f);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(files::Records(f), 0);
  files::Close(f);
  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(env::Env::Default(), "COMPANIES.QVF", &faults));
}

TEST(QvfDriverChanges, ReadOnlyOpenRefusesChanges) {
  ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  testing::AddCompany(f, 1, "one");
  files::Close(f);
  files::Open(f, files::kModeReadOnly);
  ASSERT_EQ(Code(), 0);
  files::SetFile(f);
  files::Next(f);
  ASSERT_EQ(Code(), 0);
  files::Put(f);
  EXPECT_EQ(Code(), files::kAccessDenied);
  files::Close(f);
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

int CountIn(const std::string& name, std::vector<int>* refs) {
  TableDefinition def;
  EXPECT_EQ(DefinitionFromDeclaration(*testing::Companies(), &def), 0);
  std::unique_ptr<qvf::Table> t;
  int rc = qvf::Table::Open(TheDriverFiles().registry(), name, def, false, {}, &t);
  if (rc != 0) return -rc;
  Counter c;
  EXPECT_EQ(t->ReadCounter(kTableCounter, &c), 0);
  uint32_t n = 0;
  for (;;) {
    std::optional<StoredEntry> e;
    EXPECT_EQ(t->FetchRecord(Search::kNextAfter, n, &e), 0);
    if (!e) break;
    n = ReadId4(std::string_view(e->key).substr(5));
    std::string record(202, '\0');
    EXPECT_EQ(t->Read(n, reinterpret_cast<uint8_t*>(record.data()), nullptr), 0);
    int16_t ref;
    std::memcpy(&ref, record.data(), 2);
    refs->push_back(ref);
  }
  // Every record is found through the primary key of the copy too.
  for (int r : *refs) {
    std::string record(202, ' ');
    int16_t ref = static_cast<int16_t>(r);
    std::memcpy(record.data(), &ref, 2);
    KeyEntry entry;
    EXPECT_TRUE(t->KeyEntryFor(0, reinterpret_cast<const uint8_t*>(record.data()), 0, &entry));
    std::optional<StoredEntry> found;
    EXPECT_EQ(t->store().Find(Search::kExact, entry.key, &found), 0);
    EXPECT_TRUE(found) << r;
  }
  EXPECT_EQ(t->Close(), 0);
  return static_cast<int>(c.count);
}

TEST(QvfDriverCopy, CopyAndRenameUnderNewIdsWithShiftedNumbers) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  for (int r : {7, 8, 9}) testing::AddCompany(f, r, "copied");
  files::Close(f);
  files::Copy(f, "OTHER!SAVED");
  ASSERT_EQ(testing::Code(), 0);
  files::Copy(f, "COMPANIES!SECOND");  // into the same file
  ASSERT_EQ(testing::Code(), 0);
  std::vector<int> refs;
  EXPECT_EQ(CountIn("OTHER!SAVED", &refs), 3);
  EXPECT_EQ(refs, (std::vector<int>{7, 8, 9}));
  refs.clear();
  EXPECT_EQ(CountIn("COMPANIES!SECOND", &refs), 3);
  EXPECT_EQ(files::Send(f, "PNM="), std::string("SECOND\0", 7));
  files::Rename(f, "RENAMED");
  ASSERT_EQ(testing::Code(), 0);
  files::Open(f);
  EXPECT_EQ(testing::Code(), files::kFileNotFound);  // only SECOND is left there
  refs.clear();
  EXPECT_EQ(CountIn("RENAMED", &refs), 3);
  for (const char* path : {"OTHER.QVF", "COMPANIES.QVF", "RENAMED.QVF"}) {
    std::vector<std::string> faults;
    EXPECT_TRUE(CheckFile(env::Env::Default(), path, &faults)) << path;
  }
}

}  // namespace
}  // namespace vorsandt::qvf
