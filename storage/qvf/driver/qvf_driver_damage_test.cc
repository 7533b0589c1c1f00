// Table files damaged under a running program, as users and other programs
// do it: cut short or emptied while a browse has them open, deleted or
// replaced while a form is about to save, bytes changed inside a record, and
// a broken structure met while a thread has its tables open. The program
// must say so with its standard codes (36 for a damaged file, 302 for a file
// that lost its name), write nothing, and never crash or hang.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/operations.h"
#include "storage/qvf/driver/qvf_test_support.h"
#include "storage/qvf/format.h"
#include "storage/qvf/internal_error.h"
#include "storage/qvf/table/record_check.h"

namespace vorsandt::qvf {
namespace {

namespace fs = std::filesystem;
using app::Table;
using testing::Code;
using testing::ScratchFolder;
using testing::Spawn;
using testing::WaitFor;

constexpr int kDamaged = files::kInvalidDataFile;
constexpr int kNameLost = files::kSystemErrorBase + files::kFileNotFound;

// A pipe for one-byte signals between a parent and its child.
class Signal {
 public:
  Signal() { EXPECT_EQ(pipe(fd_), 0); }
  ~Signal() {
    close(fd_[0]);
    close(fd_[1]);
  }
  void Send() {
    const char c = 'x';
    EXPECT_EQ(write(fd_[1], &c, 1), 1);
  }
  bool Wait() {
    char c = 0;
    return read(fd_[0], &c, 1) == 1;
  }

 private:
  int fd_[2];
};

const files::KeyDecl* RefKey() { return app::Key(Table::kCompanies, 1); }
const files::KeyDecl* NameKey() { return app::Key(Table::kCompanies, 2); }

std::string CompanyName(int ref) { return "company number " + std::to_string(ref); }

// COMPANIES with `count` records (enough of them fill several pages).
void MakeCompanies(int count) {
  auto* f = testing::CreateAndOpenCompanies();
  for (int r = 1; r <= count; ++r) testing::AddCompany(f, r, CompanyName(r));
  files::Close(f);
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint64_t SizeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Opens COMPANIES and reads every record in name order, as a browse that
// was scrolled through the whole table: every page is in the cache.
files::FileRecord* BrowseAll(int expected) {
  auto* f = testing::Companies();
  files::Open(f);
  if (Code() != 0) return nullptr;
  files::SetKey(f, NameKey());
  if (static_cast<int>(testing::ReadAll(f, true).size()) != expected) return nullptr;
  return f;
}

// A save of the current record, the next scroll and a reread of the
// browse's table: the codes each one ended with.
struct Attempts {
  int save = -1;
  int scroll = -1;
  int reread = -1;
};
Attempts TryEverything(files::FileRecord* f) {
  Attempts a;
  testing::SetName(f, "saved over damage");
  files::Put(f);
  a.save = Code();
  files::Next(f);  // the browse's sequence goes on from the current record
  a.scroll = Code();
  testing::SetRef(f, 1);
  files::GetByKey(f, RefKey());
  a.reread = Code();
  return a;
}

// Makes record `ref` the current one (a form opened on it).
bool ReadCompany(files::FileRecord* f, int ref) {
  testing::SetRef(f, ref);
  files::GetByKey(f, RefKey());
  return Code() == 0;
}

// Someone cuts the table to nothing while another process has it open in
// a browse (the header is mapped there): the next scroll used to end that
// process with SIGBUS.
TEST(QvfDriverDamage, ATableCutToNothingUnderAnOpenBrowseIsReportedNotABusError) {
  ScratchFolder folder;
  MakeCompanies(40);
  Signal browsing, cut;
  pid_t child = Spawn([&] {
    files::FileRecord* f = BrowseAll(40);
    if (f == nullptr || !ReadCompany(f, 1)) return 1;
    browsing.Send();
    cut.Wait();
    const Attempts a = TryEverything(f);
    if (a.save != kDamaged) return 10;
    if (a.scroll != kDamaged) return 11;
    if (a.reread != kDamaged) return 12;
    files::Close(f);
    return 0;
  });
  ASSERT_TRUE(browsing.Wait());
  ASSERT_EQ(truncate("COMPANIES.QVF", 0), 0);
  cut.Send();
  EXPECT_EQ(WaitFor(child), 0);
  EXPECT_EQ(SizeOf("COMPANIES.QVF"), 0u);  // the refused save wrote nothing
}

// Cut short but with its header intact: what the browse has cached may
// still be shown, but a save never lands on the damaged file (it used to,
// growing the file around a hole and losing the table for good).
TEST(QvfDriverDamage, ASaveOverATableCutShortUnderTheProgramIsRefused) {
  ScratchFolder folder;
  MakeCompanies(400);
  const uint64_t whole = SizeOf("COMPANIES.QVF");
  const uint64_t cut_at = whole / 2 / kUnitSize * kUnitSize;
  Signal browsing, cut;
  pid_t child = Spawn([&] {
    files::FileRecord* f = BrowseAll(400);
    if (f == nullptr || !ReadCompany(f, 1)) return 1;
    browsing.Send();
    cut.Wait();
    testing::SetName(f, "saved over damage");
    files::Put(f);
    if (Code() != kDamaged) return 10;
    files::Close(f);
    return 0;
  });
  ASSERT_TRUE(browsing.Wait());
  ASSERT_EQ(truncate("COMPANIES.QVF", static_cast<off_t>(cut_at)), 0);
  cut.Send();
  EXPECT_EQ(WaitFor(child), 0);
  EXPECT_EQ(SizeOf("COMPANIES.QVF"), cut_at);
  // The next start learns that the file is damaged instead of stopping.
  SetInternalErrorHandler([](int check) { ADD_FAILURE() << "internal error " << check; });
  auto* f = testing::Companies();
  files::Open(f);
  EXPECT_EQ(Code(), kDamaged);
  SetInternalErrorHandler(nullptr);
}

TEST(QvfDriverDamage, ASaveIsRefusedOnceTheTableWasDeletedOrReplacedUnderTheProgram) {
  ScratchFolder folder;
  MakeCompanies(3);
  fs::copy_file("COMPANIES.QVF", "COPY.QVF");
  const std::string copy = Contents("COPY.QVF");
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  testing::SetRef(f, 2);
  files::GetByKey(f, RefKey());
  ASSERT_EQ(Code(), 0);

  // A copy renamed over it (a restore by hand, another program's save).
  fs::rename("COPY.QVF", "COMPANIES.QVF");
  testing::SetName(f, "lost change");
  files::Put(f);
  EXPECT_EQ(Code(), kNameLost);
  EXPECT_EQ(Contents("COMPANIES.QVF"), copy);
  testing::SetRef(f, 4);
  testing::SetName(f, "lost addition");
  files::Add(f);
  EXPECT_EQ(Code(), kNameLost);
  EXPECT_EQ(Contents("COMPANIES.QVF"), copy);
  files::Close(f);

  // Deleted: nothing appears under the name.
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  ASSERT_EQ(unlink("COMPANIES.QVF"), 0);
  testing::SetRef(f, 5);
  testing::SetName(f, "lost addition");
  files::Add(f);
  EXPECT_EQ(Code(), kNameLost);
  EXPECT_FALSE(fs::exists("COMPANIES.QVF"));
  files::Close(f);
}

// Bytes changed inside a record's name: the name key's entry no longer
// agrees with the record it leads to.
TEST(QvfDriverDamage, ARecordWhoseKeyFieldWasChangedIsRefusedWhenReadThroughTheKey) {
  ScratchFolder folder;
  MakeCompanies(3);
  ASSERT_TRUE(testing::ChangeStoredRecord("COMPANIES.QVF", 2, "company number 2",
                                          "c\x07mp#ny n\x01mber 2"));
  auto* f = testing::Companies();
  files::Open(f);
  ASSERT_EQ(Code(), 0);
  // Name order: the first record is read, the changed one refused.
  files::SetKey(f, NameKey());
  files::Next(f);
  ASSERT_EQ(Code(), 0);
  EXPECT_EQ(testing::NameOf(f), CompanyName(1));
  files::Next(f);
  EXPECT_EQ(Code(), kDamaged);
  EXPECT_EQ(testing::NameOf(f), CompanyName(1));  // the buffer keeps the last sound record
  // Looked up by the value its key entry still holds.
  testing::SetName(f, CompanyName(2));
  files::GetByKey(f, NameKey());
  EXPECT_EQ(Code(), kDamaged);
  // Through a key whose fields are intact, or in record order, nothing
  // tells the change apart without a search per key: the tools' thorough
  // reads make them.
  testing::SetRef(f, 2);
  files::GetByKey(f, RefKey());
  EXPECT_EQ(Code(), 0);
  files::SetFile(f);
  EXPECT_EQ(testing::ReadAll(f, true).size(), 3u);
  SetThoroughRecordChecks(true);
  testing::SetRef(f, 2);
  files::GetByKey(f, RefKey());
  EXPECT_EQ(Code(), kDamaged);
  files::SetFile(f);
  files::Next(f);
  EXPECT_EQ(Code(), 0);
  files::Next(f);
  EXPECT_EQ(Code(), kDamaged);
  testing::SetRef(f, 3);
  files::GetByKey(f, RefKey());
  EXPECT_EQ(Code(), 0);  // the sound records stay readable
  SetThoroughRecordChecks(false);
  files::Close(f);
}

// Appends a log to `path` whose only item claims to be larger than the log,
// and makes the header point at it: opening the file meets a broken
// structure (internal check 118).
void GiveGarbageLog(const std::string& path) {
  std::string bytes = Contents(path);
  const auto at = static_cast<uint32_t>(bytes.size());
  std::string item(kUnitSize, '\0');
  PutU32(reinterpret_cast<uint8_t*>(item.data()), kHeaderSize);
  PutU16(reinterpret_cast<uint8_t*>(item.data()) + 4, 3000);
  bytes += item;
  PutU32(reinterpret_cast<uint8_t*>(bytes.data()) + kHdrLogStart, at);
  PutU32(reinterpret_cast<uint8_t*>(bytes.data()) + kHdrLogEnd, at + kUnitSize);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The stop comes from inside the registry of open files, whose lock it
// holds; the thread's open tables close at exit through the same registry.
// The process used to hang there for ever.
TEST(QvfDriverDamage, AnInternalErrorStopEndsTheProcessWhileItsThreadHasTablesOpen) {
  ScratchFolder folder;
  MakeCompanies(2);
  {
    auto* l = testing::Locations();
    files::Create(l);
    ASSERT_EQ(Code(), 0);
  }
  GiveGarbageLog("LOCATIONS.QVF");
  pid_t child = fork();
  if (child == 0) {
    alarm(20);  // a hang ends here, and the test sees the signal
    const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    SetInternalErrorHandler(nullptr);
    auto* c = testing::Companies();
    files::Open(c);
    if (Code() != 0) _exit(3);
    auto* l = testing::Locations();
    files::Open(l);  // stops the program
    _exit(4);
  }
  EXPECT_EQ(WaitFor(child), 2);  // the runtime error's exit code
  EXPECT_NE(Contents("stderr.txt").find("Internal error : qvfbt line 118"), std::string::npos)
      << Contents("stderr.txt");
}

}  // namespace
}  // namespace vorsandt::qvf
