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
  f->Send(files::kOpBlob75);
  EXPECT_EQ(Code(), files::kUnsupportedFunction);
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
  t->Close();
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

namespace vorsandt::qvf {
namespace {

std::string& Notes(files::FileRecord* f) {
  static std::string scratch;
  auto& buffer = files::InstanceOf(f)->memo_buffers.at(0);
  scratch.assign(buffer.begin(), buffer.end());
  while (!scratch.empty() && scratch.back() == ' ') scratch.pop_back();
  return scratch;
}

void SetNotes(files::FileRecord* f, const std::string& text) {
  auto& buffer = files::InstanceOf(f)->memo_buffers.at(0);
  std::fill(buffer.begin(), buffer.end(), ' ');
  std::copy(text.begin(), text.end(), buffer.begin());
}

TEST(QvfDriverMemos, MemoTravelsWithTheRecordAndSkipMemosKeepsIt) {
  testing::ScratchFolder folder;
  auto* f = testing::TableFile(app::Table::kClaim);
  files::Create(f);
  files::Open(f);
  ASSERT_EQ(testing::Code(), 0);
  std::memset(testing::Buffer(f), 0, f->record_length);
  testing::SetRef(f, 1);
  std::string long_note(700, 'n');
  SetNotes(f, long_note);
  files::Add(f);
  ASSERT_EQ(testing::Code(), 0);
  SetNotes(f, "");
  files::SetFile(f);
  files::Next(f);
  ASSERT_EQ(testing::Code(), 0);
  EXPECT_EQ(Notes(f), long_note);
  // A read that skips memos leaves the buffer's memo alone, and a Put after
  // it keeps the stored memo.
  SetNotes(f, "not stored");
  f->Send(files::kOpSkipMemos);
  files::SetFile(f);
  files::Next(f);
  ASSERT_EQ(testing::Code(), 0);
  EXPECT_EQ(Notes(f), "not stored");
  testing::SetText(f, 72, 20, "open");
  files::Put(f);
  ASSERT_EQ(testing::Code(), 0);
  files::SetFile(f);
  files::Next(f);
  EXPECT_EQ(Notes(f), long_note);
  // A plain Put stores the memo from the buffer.
  SetNotes(f, "short");
  files::Put(f);
  ASSERT_EQ(testing::Code(), 0);
  SetNotes(f, "");
  files::SetFile(f);
  files::Next(f);
  EXPECT_EQ(Notes(f), "short");
  files::Close(f);
}

TEST(QvfDriverLocks, TableLockExcludesAnotherProcessUntilUnlocked) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  files::Close(f);
  int to_child[2], to_parent[2];
  ASSERT_EQ(pipe(to_child), 0);
  ASSERT_EQ(pipe(to_parent), 0);
  pid_t child = testing::Spawn([&] {
    auto* c = testing::Companies();
    files::Open(c);
    files::Lock(c);
    char x = testing::Code() == 0 ? 'y' : 'n';
    if (write(to_parent[1], &x, 1) != 1) return 1;
    if (read(to_child[0], &x, 1) != 1) return 2;
    files::Unlock(c);
    if (write(to_parent[1], &x, 1) != 1) return 3;
    if (read(to_child[0], &x, 1) != 1) return 4;
    files::Close(c);
    return 0;
  });
  char c = 0;
  ASSERT_EQ(read(to_parent[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  files::Open(f);
  files::LockTimeout(f, 0);
  EXPECT_EQ(testing::Code(), files::kFileAlreadyLocked);
  // Reading and writing are not table-locked: the lock is advisory.
  testing::AddCompany(f, 1, "still allowed");
  EXPECT_EQ(testing::Code(), 0);
  ASSERT_EQ(write(to_child[1], "u", 1), 1);
  ASSERT_EQ(read(to_parent[0], &c, 1), 1);
  files::LockTimeout(f, 5);
  EXPECT_EQ(testing::Code(), 0);
  files::Unlock(f);
  ASSERT_EQ(write(to_child[1], "e", 1), 1);
  EXPECT_EQ(testing::WaitFor(child), 0);
  files::Close(f);
  for (int fd : {to_child[0], to_child[1], to_parent[0], to_parent[1]}) close(fd);
  // Eof on a closed file answers 1 and posts 37.
  EXPECT_TRUE(files::Eof(f));
  EXPECT_EQ(testing::Code(), files::kFileNotOpen);
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

TEST(QvfDriverMaintenance, BuildKeysPackAppendPutAtPointerAndOrderKey) {
  testing::ScratchFolder folder;
  auto* f = testing::CreateAndOpenCompanies();
  for (int r = 1; r <= 40; ++r) testing::AddCompany(f, r, r % 2 ? "odd" : "even");
  std::memset(testing::Buffer(f), ' ', f->record_length);
  testing::SetRef(f, 41);
  testing::SetName(f, "appended");
  f->Send(files::kOpAppend);
  ASSERT_EQ(testing::Code(), 0);
  const int64_t appended = files::Pointer(f);
  EXPECT_GT(appended, 0);
  // Would the buffer duplicate any key of another record? (The file layer
  // hands back the value of code 57 only; code 12 answers through its status.)
  testing::SetRef(f, 5);
  EXPECT_TRUE(files::Duplicate(f, app::Key(app::Table::kCompanies, 1)));
  f->Send(files::kOpDuplicateAll);
  EXPECT_EQ(testing::Code(), 0);
  files::SetKey(f, app::Key(app::Table::kCompanies, 2));
  EXPECT_EQ(f->Send(files::kOpOrderKey), 2);
  files::SetFile(f);
  EXPECT_EQ(f->Send(files::kOpOrderKey), 0);
  // Rewrite record `appended` from the buffer, wherever the sequence is.
  testing::SetRef(f, 41);
  testing::SetName(f, "put at pointer");
  f->Send(files::kOpPutAtPointer, files::Args{static_cast<intptr_t>(appended)});
  ASSERT_EQ(testing::Code(), 0);
  files::GetByPointer(f, appended);
  EXPECT_EQ(testing::NameOf(f), "put at pointer");
  for (int r = 1; r <= 30; ++r) {
    testing::SetRef(f, r);
    files::GetByKey(f, app::Key(app::Table::kCompanies, 1));
    files::Delete(f);
    ASSERT_EQ(testing::Code(), 0);
  }
  files::Close(f);
  files::Open(f, 0x12);  // exclusive: the maintenance operations need it
  ASSERT_EQ(testing::Code(), 0);
  files::BuildKeys(f);
  EXPECT_EQ(testing::Code(), 0);
  files::Pack(f);
  EXPECT_EQ(testing::Code(), 0);
  EXPECT_EQ(files::Records(f), 11);
  EXPECT_EQ(files::KeyRecords(f, app::Key(app::Table::kCompanies, 2)), 11);
  files::SetKey(f, app::Key(app::Table::kCompanies, 1));
  std::vector<int> refs = testing::ReadAll(f, true);
  ASSERT_EQ(refs.size(), 11u);
  EXPECT_EQ(refs.front(), 31);
  files::Close(f);
  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(env::Env::Default(), "COMPANIES.QVF", &faults));
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

// The change counter in the header on disk (little-endian at offset 24).
uint32_t ChangeCounterOnDisk(const char* path) {
  std::unique_ptr<env::File> file;
  if (env::Env::Default()->Open(path, env::kOpenReadOnly, &file) != 0) return 0;
  uint8_t bytes[4] = {};
  size_t got = 0;
  file->ReadAt(24, bytes, 4, &got);
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// COMPANIES declared again under another name with further attributes.
struct CompaniesLike {
  explicit CompaniesLike(const char* name, uint8_t attributes)
      : keys{app::Key(app::Table::kCompanies, 1), app::Key(app::Table::kCompanies, 2)},
        file(&QvfEntry, name, static_cast<int32_t>(std::strlen(name)),
             static_cast<uint8_t>(files::kAttrCreate | attributes), 202,
             app::Layout(app::Table::kCompanies).data(), app::Layout(app::Table::kCompanies).size(),
             keys, 2, nullptr, 0, buffer) {}
  uint8_t buffer[202] = {};
  const files::KeyDecl* keys[2];
  files::FileRecord file;
};

TEST(QvfDriverSavePolicy, DeferredWritesWaitForReleaseAndBatchesForFortyPages) {
  testing::ScratchFolder folder;
  testing::Companies();  // declares the dictionary, whose layouts we borrow
  CompaniesLike deferred("DEFERRED", files::kAttrDriverFlag02);
  files::Create(&deferred.file);
  files::Open(&deferred.file);
  ASSERT_EQ(testing::Code(), 0);
  const uint32_t opened = ChangeCounterOnDisk("DEFERRED.QVF");
  for (int r = 1; r <= 20; ++r) testing::AddCompany(&deferred.file, r, "deferred");
  EXPECT_EQ(ChangeCounterOnDisk("DEFERRED.QVF"), opened);
  EXPECT_EQ(files::Records(&deferred.file), 20);  // seen by this process
  deferred.file.Send(files::kOpHold);
  files::Release(&deferred.file);
  ASSERT_EQ(testing::Code(), 0);
  EXPECT_GT(ChangeCounterOnDisk("DEFERRED.QVF"), opened);
  testing::AddCompany(&deferred.file, 21, "deferred");
  const uint32_t released = ChangeCounterOnDisk("DEFERRED.QVF");
  files::Close(&deferred.file);
  EXPECT_GT(ChangeCounterOnDisk("DEFERRED.QVF"), released);  // Close writes the rest

  CompaniesLike batched("BATCHED", files::kAttrDriverFlag08);
  files::Create(&batched.file);
  files::Open(&batched.file);
  ASSERT_EQ(testing::Code(), 0);
  const uint32_t start = ChangeCounterOnDisk("BATCHED.QVF");
  testing::AddCompany(&batched.file, 1, "batched");
  EXPECT_EQ(ChangeCounterOnDisk("BATCHED.QVF"), start);  // far below 40 dirty pages
  // Long names spread the records over many pages until a save comes.
  int r = 2;
  while (ChangeCounterOnDisk("BATCHED.QVF") == start && r < 20000) {
    testing::AddCompany(&batched.file, r, std::string(30, static_cast<char>('A' + r % 26)));
    ASSERT_EQ(testing::Code(), 0);
    ++r;
  }
  EXPECT_LT(r, 20000);
  EXPECT_GT(r, 40);
  files::Close(&batched.file);
  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(env::Env::Default(), "BATCHED.QVF", &faults));
  EXPECT_TRUE(CheckFile(env::Env::Default(), "DEFERRED.QVF", &faults));
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

TEST(QvfDriverOpen, FileWhoseFirstSaveWasCutShortStartsAgainEmpty) {
  testing::ScratchFolder folder;
  {
    std::unique_ptr<env::File> file;
    ASSERT_EQ(env::Env::Default()->Open("COMPANIES.QVF", env::kOpenCreate, &file), 0);
    std::string tail(3000, '\x5A');  // a log written past a header never written
    ASSERT_EQ(file->WriteAt(512, tail.data(), tail.size()), 0);
  }
  auto* f = testing::Companies();
  files::Open(f);
  EXPECT_EQ(testing::Code(), files::kFileNotFound);  // the application then creates it
  files::Create(f);
  ASSERT_EQ(testing::Code(), 0);
  files::Open(f);
  ASSERT_EQ(testing::Code(), 0);
  testing::AddCompany(f, 1, "fresh");
  EXPECT_EQ(files::Records(f), 1);
  files::Close(f);
  // A file that is simply not a QVF file is still refused.
  {
    std::unique_ptr<env::File> file;
    ASSERT_EQ(env::Env::Default()->Open("LOCATIONS.QVF", env::kOpenCreate, &file), 0);
    std::string text(1024, 'x');
    ASSERT_EQ(file->WriteAt(0, text.data(), text.size()), 0);
  }
  files::Open(testing::Locations());
  EXPECT_EQ(testing::Code(), files::kInvalidDataFile);
}

}  // namespace
}  // namespace vorsandt::qvf
