#include "storage/qvf/container.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <random>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/checker.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::AllEntries;
using testing::Fill;
using testing::RecordInternalErrors;
using testing::SaveOneMore;
using testing::WriteFile;

FileHeader HeaderOf(const std::string& bytes) {
  FileHeader h;
  EXPECT_EQ(DecodeHeader(reinterpret_cast<const uint8_t*>(bytes.data()), &h), 0);
  return h;
}

TEST(ContainerNewFile, OpensEmptyAndFirstSaveSetsCounterAndRoot) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("N.QVF", Container::kCreate), 0);
  EXPECT_EQ(env.Contents("N.QVF"), "");
  EXPECT_EQ(c.header().change_counter, 0u);
  EXPECT_EQ(c.root(), Container::kNoRootUnit);
  EXPECT_EQ(c.Save(), 0);  // nothing changed: nothing written
  EXPECT_EQ(env.Writes(), 0);
  Tree tree(&c);
  ASSERT_EQ(tree.Insert("first", 5), 0);
  EXPECT_LT(c.root(), 0);  // provisional until the save
  ASSERT_EQ(c.Save(), 0);
  const FileHeader h = HeaderOf(env.Contents("N.QVF"));
  EXPECT_EQ(h.change_counter, 1u);
  EXPECT_NE(h.root, kNoRoot);
  EXPECT_EQ(h.ClassOf(h.root), 1);
  EXPECT_FALSE(h.LogPending());
  EXPECT_EQ(env.Contents("N.QVF").substr(14, 4), "vElO");
  // Every transfer was a whole multiple of 64 bytes (the file grows in units).
  EXPECT_EQ(env.Contents("N.QVF").size() % 64, 0u);
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerOpen, MissingFileWithoutCreateIsMappedOsError) {
  env::FaultEnv env;
  Container c(&env);
  EXPECT_EQ(c.Open("NONE.QVF", 0), files::kSystemErrorBase + 2);
}

TEST(ContainerOpen, BadHeadersAreInvalidDataFile) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  WriteFile(&env, "G.QVF", 10);
  const std::string good = env.Contents("G.QVF");
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string no_magic = good;
  no_magic[14] = 'V';
  std::string overlap = good;
  // Region 1 ends beyond the start of region 2.
  PutU32(reinterpret_cast<uint8_t*>(overlap.data()) + kHdrRegionStart + 8, 0);
  PutU32(reinterpret_cast<uint8_t*>(overlap.data()) + kHdrRegionEnd + 8, 4);
  PutU32(reinterpret_cast<uint8_t*>(overlap.data()) + kHdrRegionEnd + 4, 6);
  std::string bad_length = good;
  PutU32(reinterpret_cast<uint8_t*>(bad_length.data()) + kHdrRegionEnd + 4 * 3,
         GetU32(reinterpret_cast<const uint8_t*>(good.data()) + kHdrRegionStart + 4 * 3) + 1);
  const Case cases[] = {
      {"no magic", no_magic},
      {"text file", std::string(600, 'x')},
      {"truncated header", good.substr(0, 300)},
      {"overlapping regions", overlap},
      {"region length not a multiple of its class", bad_length},
  };
  for (const Case& k : cases) {
    env.SetContents("B.QVF", k.bytes);
    Container c(&env);
    EXPECT_EQ(c.Open("B.QVF", 0), files::kInvalidDataFile) << k.name;
  }
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerRefresh, LargerChangeCounterDropsTheCache) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  WriteFile(&env, "S.QVF", 500);
  Container reader(&env);
  ASSERT_EQ(reader.Open("S.QVF", Container::kShared | Container::kReadOnly), 0);
  EXPECT_EQ(AllEntries(&reader).size(), 500u);
  EXPECT_GT(reader.cached_pages(), 0u);
  ASSERT_EQ(reader.Refresh(), 0);  // same counter: the cache stays
  EXPECT_GT(reader.cached_pages(), 0u);
  Container writer(&env);
  ASSERT_NO_FATAL_FAILURE(SaveOneMore("S.QVF", &writer));
  ASSERT_EQ(reader.Refresh(), 0);
  EXPECT_EQ(reader.cached_pages(), 0u);
  EXPECT_EQ(reader.header().change_counter, writer.header().change_counter);
  EXPECT_EQ(AllEntries(&reader).size(), 501u);
  EXPECT_TRUE(errors.checks.empty());
}

// A scan with read-ahead on reads many pages per call and finds what it
// would find without; another writer's save lets go of what was read ahead,
// so a page is never decoded from bytes older than the header in force.
TEST(ContainerReadAhead, AScanReadsPagesManyAtATimeAndAnotherSaveLetsThemGo) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  constexpr int kEntries = 6000;
  WriteFile(&env, "R.QVF", kEntries);
  std::vector<std::string> plain;
  env::IoCounts one_by_one;
  {
    Container alone(&env);
    ASSERT_EQ(alone.Open("R.QVF", Container::kShared | Container::kReadOnly), 0);
    env::ResetIoCounts();
    plain = AllEntries(&alone);
    one_by_one = env::IoCountsOf("R.QVF");
  }
  ASSERT_EQ(plain.size(), static_cast<size_t>(kEntries));
  Container reader(&env);
  ASSERT_EQ(reader.Open("R.QVF", Container::kShared | Container::kReadOnly), 0);
  reader.SetReadAhead(true);
  env::ResetIoCounts();
  EXPECT_EQ(AllEntries(&reader), plain);
  const env::IoCounts ahead = env::IoCountsOf("R.QVF");
  EXPECT_GT(one_by_one.reads, 40);
  EXPECT_LT(ahead.reads * 8, one_by_one.reads) << ahead.reads << " vs " << one_by_one.reads;

  // Every entry rewritten and saved by another writer, then read again
  // through the first: the new bytes everywhere.
  // A fresh reader finds the first entry: the pages after its own are
  // kept ahead, none of them decoded yet.
  Container fresh(&env);
  ASSERT_EQ(fresh.Open("R.QVF", Container::kShared | Container::kReadOnly), 0);
  fresh.SetReadAhead(true);
  Tree first(&fresh);
  Entry e;
  bool found = false;
  ASSERT_EQ(first.FindExact(BigEndian32(0), &e, &found), 0);
  ASSERT_TRUE(found);
  {
    Container writer(&env);
    ASSERT_EQ(writer.Open("R.QVF", Container::kShared), 0);
    Tree tree(&writer);
    for (int i = 0; i < kEntries; ++i) {
      ASSERT_EQ(tree.Put(BigEndian32(static_cast<uint32_t>(i)) + std::string(40, 'w'), 4), 0);
    }
    ASSERT_EQ(writer.Save(), 0);
  }
  ASSERT_EQ(fresh.Refresh(), 0);
  const std::vector<std::string> after = AllEntries(&fresh);
  ASSERT_EQ(after.size(), static_cast<size_t>(kEntries));
  for (const std::string& entry : after) ASSERT_EQ(entry.substr(4), std::string(40, 'w'));
  EXPECT_TRUE(errors.checks.empty());
}

// A transaction holds the writer range, so its container trusts the header
// in memory; once released it must see other writers' saves again.
TEST(ContainerRefresh, AHeldHeaderIsNotReadAgainUntilReleased) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  WriteFile(&env, "H.QVF", 50);
  Container held(&env);
  ASSERT_EQ(held.Open("H.QVF", Container::kShared), 0);
  ASSERT_EQ(held.Refresh(), 0);
  held.SetHeaderHeld(true);
  const uint32_t counter = held.header().change_counter;

  Container other(&env);  // stands for a writer the held range would exclude
  ASSERT_EQ(other.Open("H.QVF", Container::kShared), 0);
  Tree tree(&other);
  ASSERT_EQ(tree.Insert("zzz-other", 9), 0);
  ASSERT_EQ(other.Save(), 0);

  ASSERT_EQ(held.Refresh(), 0);
  EXPECT_EQ(held.header().change_counter, counter);  // not read again
  held.SetHeaderHeld(false);
  ASSERT_EQ(held.Refresh(), 0);
  EXPECT_EQ(held.header().change_counter, other.header().change_counter);
  EXPECT_EQ(AllEntries(&held).size(), 51u);
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerRefresh, ReusedHeaderDecodingStillSeesChangedOrDamagedBytes) {
  // Refresh reuses the decoded header while the bytes at offset 0 are the
  // ones it decoded last; any other bytes are decoded and checked again.
  RecordInternalErrors errors;
  env::FaultEnv env;
  WriteFile(&env, "H.QVF", 50);
  Container reader(&env);
  ASSERT_EQ(reader.Open("H.QVF", Container::kShared | Container::kReadOnly), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(reader.Refresh(), 0);
  const uint32_t counter = reader.header().change_counter;
  std::string bytes = env.Contents("H.QVF");
  PutU32(reinterpret_cast<uint8_t*>(bytes.data()) + kHdrChangeCounter, counter + 1);
  env.SetContents("H.QVF", bytes);
  ASSERT_EQ(reader.Refresh(), 0);
  EXPECT_EQ(reader.header().change_counter, counter + 1);
  bytes[kHdrMagic] = 'x';
  env.SetContents("H.QVF", bytes);
  EXPECT_EQ(reader.Refresh(), files::kInvalidDataFile);
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerCache, EvictionKeepsBetweenTwentyAndAHundredCleanPages) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  WriteFile(&env, "C.QVF", 20000, 60);
  Container c(&env);
  ASSERT_EQ(c.Open("C.QVF", 0), 0);
  size_t most = 0;
  Tree tree(&c);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 20000; i += 37) {
      Entry e;
      bool found = false;
      ASSERT_EQ(tree.FindExact(BigEndian32(static_cast<uint32_t>(i)), &e, &found), 0);
      ASSERT_TRUE(found);
      most = std::max(most, c.clean_pages());
    }
  }
  EXPECT_GE(most, PageCache::kMinClean);
  EXPECT_LE(most, PageCache::kMaxClean);
  EXPECT_TRUE(errors.checks.empty());
}

TEST(PageCacheRule, AgeRuleEvictsOnlyIdlePages) {
  PageCache cache;
  for (int i = 0; i < 30; ++i) cache.Add(i, PageData{}, false);
  // Keep touching pages 10..29; 0..9 go idle.
  for (int round = 0; round < 40; ++round) {
    for (int i = 10; i < 30; ++i) cache.Touch(cache.Find(i));
  }
  cache.EvictBeforeFetch();
  EXPECT_EQ(cache.Find(0), nullptr);
  EXPECT_EQ(cache.Find(9), nullptr);
  EXPECT_NE(cache.Find(10), nullptr);
  EXPECT_EQ(cache.clean_count(), 20u);
  // Dirty pages are never evicted.
  PageCache dirty;
  for (int i = 0; i < 150; ++i) dirty.Add(i, PageData{}, true);
  dirty.EvictBeforeFetch();
  EXPECT_EQ(dirty.size(), 150u);
  // With 100 or more clean pages the oldest goes regardless.
  PageCache full;
  for (int i = 0; i < 100; ++i) full.Add(i, PageData{}, false);
  full.EvictBeforeFetch();
  EXPECT_EQ(full.Find(0), nullptr);
  // Pages never used again after loading are idle as long as they are old,
  // so the age rule goes on down to the floor of 20.
  EXPECT_EQ(full.clean_count(), PageCache::kMinClean - 1);
}

TEST(ContainerIdentifiers, BigEndianCounterWithCarryStopsBeforeFe) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("I.QVF", Container::kCreate), 0);
  uint32_t id = 0;
  ASSERT_EQ(c.NextIdentifier(&id), 0);
  EXPECT_EQ(id, 1u);
  ASSERT_EQ(c.NextIdentifier(&id), 0);
  EXPECT_EQ(id, 2u);
  ASSERT_EQ(c.Close(), 0);  // the header alone is saved
  EXPECT_EQ(env.Contents("I.QVF").substr(kHdrIdCounter, 4), std::string("\0\0\0\2", 4));
  std::string bytes = env.Contents("I.QVF");
  bytes[kHdrIdCounter] = static_cast<char>(0xFD);
  for (int i = 1; i < 4; ++i) bytes[kHdrIdCounter + i] = static_cast<char>(0xFF);
  env.SetContents("I.QVF", bytes);
  ASSERT_EQ(c.Open("I.QVF", 0), 0);
  EXPECT_EQ(c.NextIdentifier(&id), files::kInvalidDataFile);
  EXPECT_EQ(errors.checks, std::vector<int>{kCheckIdOverflow});
}

TEST(ContainerReadOnly, WriteAttemptIsAnInternalError) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  {
    Container w(&env);
    ASSERT_EQ(w.Open("R.QVF", Container::kCreate), 0);
    Fill(&w, 3);
  }
  Container r(&env);
  ASSERT_EQ(r.Open("R.QVF", Container::kReadOnly), 0);
  Tree tree(&r);
  ASSERT_EQ(tree.Insert("new", 3), 0);
  EXPECT_EQ(r.Save(), files::kInvalidDataFile);
  EXPECT_EQ(errors.checks, std::vector<int>{kCheckReaderWrite});
}

TEST(ContainerBadPages, GarbageTruncationAndSizeMismatchStopWithTheirCheck) {
  env::FaultEnv env;
  {
    RecordInternalErrors errors;
    Container w(&env);
    ASSERT_EQ(w.Open("P.QVF", Container::kCreate), 0);
    Fill(&w, 400);
    ASSERT_EQ(w.Close(), 0);
  }
  const std::string good = env.Contents("P.QVF");
  const FileHeader h = HeaderOf(good);
  const size_t root_at = static_cast<size_t>(HomeAddress(h.root));
  struct Case {
    const char* name;
    std::string bytes;
    int check;
  };
  std::string garbage = good;
  for (size_t i = root_at + 13; i < root_at + 256; ++i) garbage[i] = static_cast<char>(i * 31);
  std::string mismatch = good;
  PutU16(reinterpret_cast<uint8_t*>(mismatch.data()) + root_at + kPgStoredSize, 0x3000);
  std::string moved = good;
  PutU32(reinterpret_cast<uint8_t*>(moved.data()) + root_at, static_cast<uint32_t>(root_at + 256));
  const Case cases[] = {
      {"garbage entry area", garbage, kCheckPageDecode},
      {"stored size disagrees with class", mismatch, kCheckStoredSizeClass},
      {"own address wrong", moved, kCheckOwnAddress},
      // A file cut inside its pages is damage, not a broken structure:
      // container_damage_test.cc.
  };
  for (const Case& k : cases) {
    RecordInternalErrors errors;
    env.SetContents("Q.QVF", k.bytes);
    Container c(&env);
    ASSERT_EQ(c.Open("Q.QVF", 0), 0) << k.name;
    int status = 0;
    AllEntries(&c, &status);
    EXPECT_EQ(status, files::kInvalidDataFile) << k.name;
    ASSERT_FALSE(errors.checks.empty()) << k.name;
    EXPECT_EQ(errors.checks.front(), k.check) << k.name;
    EXPECT_TRUE(c.failed());
    EXPECT_EQ(c.Refresh(), files::kInvalidDataFile);
    std::vector<std::string> faults;
    EXPECT_TRUE(CheckFile(&env, "Q.QVF", &faults)) << k.name;
    EXPECT_FALSE(faults.empty()) << k.name;
  }
}

TEST(ContainerReadErrors, ADiskThatCannotBeReadIsAReadFaultNotAnInternalError) {
  env::FaultEnv env;
  WriteFile(&env, "E.QVF", 400);
  {
    // The header cannot be read.
    RecordInternalErrors errors;
    Container c(&env);
    env.FailReads(EIO);
    EXPECT_EQ(c.Open("E.QVF", 0), files::kSystemErrorBase + 30);  // Read Fault
    env.FailReads(0);
    EXPECT_EQ(errors.checks, std::vector<int>{});
  }
  {
    // The pages behind it cannot: the walk stops with the read fault, and
    // so does every later call until the file is opened again.
    RecordInternalErrors errors;
    Container c(&env);
    ASSERT_EQ(c.Open("E.QVF", 0), 0);
    env.FailReads(EIO, kHeaderSize);
    int status = 0;
    AllEntries(&c, &status);
    env.FailReads(0);
    EXPECT_EQ(status, files::kSystemErrorBase + 30);
    EXPECT_EQ(c.Refresh(), files::kSystemErrorBase + 30);
    EXPECT_EQ(errors.checks, std::vector<int>{});
  }
  // Opened again on a sound disk, nothing was lost.
  RecordInternalErrors errors;
  Container c(&env);
  ASSERT_EQ(c.Open("E.QVF", 0), 0);
  EXPECT_EQ(AllEntries(&c).size(), 400u);
  EXPECT_EQ(errors.checks, std::vector<int>{});
}

TEST(ContainerTruncate, CutsTheLogAreaAfterASave) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("T.QVF", Container::kCreate), 0);
  Fill(&c, 300);
  ASSERT_EQ(c.Save(), 0);
  Tree tree(&c);
  bool found = false;
  ASSERT_EQ(tree.Delete(BigEndian32(5), &found), 0);
  ASSERT_EQ(c.Save(), 0);  // logs pages that lie in committed data
  EXPECT_GT(env.Contents("T.QVF").size(), c.header().EndOfData());
  ASSERT_EQ(c.Truncate(), 0);
  EXPECT_EQ(env.Contents("T.QVF").size(), c.header().EndOfData());
  EXPECT_EQ(AllEntries(&c).size(), 299u);
}

// A big transaction leaves a log area as large as the pages it changed; it is
// cut off after the save, while the small log of a small save stays for the
// next one (no length change, so no inode flush, on every small save).
TEST(ContainerTruncate, ALargeLogAreaIsCutAfterTheSaveASmallOneKept) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("L.QVF", Container::kCreate), 0);
  c.SetLogAreaKept(16 << 10);  // the entries compress well: a small file
  Fill(&c, 3000, 400);
  ASSERT_EQ(c.Save(), 0);
  const uint64_t loaded = env.Contents("L.QVF").size();

  Tree tree(&c);
  bool found = false;
  ASSERT_EQ(tree.Delete(BigEndian32(7), &found), 0);
  ASSERT_EQ(c.Save(), 0);
  EXPECT_GT(env.Contents("L.QVF").size(), c.header().EndOfData());  // small: kept

  for (uint32_t i = 0; i < 3000; i += 2) {
    ASSERT_EQ(tree.Delete(BigEndian32(i), &found), 0);
  }
  ASSERT_EQ(c.Save(), 0);
  EXPECT_EQ(env.Contents("L.QVF").size(), c.header().EndOfData());
  EXPECT_LT(env.Contents("L.QVF").size(), loaded);
  EXPECT_EQ(AllEntries(&c).size(), 1499u);  // the even keys and 7 are gone
  std::vector<std::string> faults;
  EXPECT_EQ(c.Close(), 0);
  EXPECT_TRUE(CheckFile(&env, "L.QVF", &faults)) << (faults.empty() ? "" : faults[0]);
  EXPECT_TRUE(errors.checks.empty());
}

// A reader that took in a committed log before phase 2 ran must not keep
// reading through it once the log was copied home and cut off.
TEST(ContainerTruncate, AReaderThroughACutLogRereadsFromHome) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container w(&env);
  ASSERT_EQ(w.Open("R.QVF", Container::kCreate | Container::kShared), 0);
  w.SetLogAreaKept(0);
  Fill(&w, 2000, 100);
  ASSERT_EQ(w.Save(), 0);
  Tree tree(&w);
  bool found = false;
  for (uint32_t i = 0; i < 2000; i += 3) {
    ASSERT_EQ(tree.Delete(BigEndian32(i), &found), 0);
  }
  ASSERT_EQ(w.SavePhase1(), 0);  // committed, not yet applied

  Container r(&env);
  ASSERT_EQ(r.Open("R.QVF", Container::kShared | Container::kReadOnly), 0);
  ASSERT_EQ(r.Refresh(), 0);  // takes the log in; no page read yet
  EXPECT_NE(r.header().change_counter, 0u);

  ASSERT_EQ(w.SavePhase2(), 0);
  EXPECT_EQ(env.Contents("R.QVF").size(), w.header().EndOfData());

  ASSERT_EQ(r.Refresh(), 0);
  int status = -1;
  EXPECT_EQ(AllEntries(&r, &status).size(), 1333u);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerDiscard, DropsChangesAndRereadsTheHeader) {
  RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("D.QVF", Container::kCreate), 0);
  Fill(&c, 50);
  ASSERT_EQ(c.Save(), 0);
  Tree tree(&c);
  ASSERT_EQ(tree.Insert("extra", 5), 0);
  ASSERT_EQ(c.Discard(), 0);
  EXPECT_EQ(c.dirty_pages(), 0u);
  EXPECT_EQ(AllEntries(&c).size(), 50u);
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

// Random damage anywhere behind the header: reading, walking and checking the
// file ends with 0 or 36 (and the internal-error report), never a crash or a
// hang.
TEST(ContainerDamage, RandomByteDamageNeverCrashesOrHangs) {
  env::FaultEnv env;
  {
    testing::RecordInternalErrors errors;
    Container w(&env);
    ASSERT_EQ(w.Open("Z.QVF", Container::kCreate), 0);
    Tree tree(&w);
    for (int i = 0; i < 3000; ++i) {
      ASSERT_EQ(
          tree.Insert(BigEndian32(static_cast<uint32_t>(i * 5)) + std::string(i % 50, 'd'), 4), 0);
    }
    ASSERT_EQ(w.Close(), 0);
  }
  const std::string good = env.Contents("Z.QVF");
  std::mt19937 random(99);
  int stopped = 0;
  for (int round = 0; round < 300; ++round) {
    std::string bad = good;
    const int hits = 1 + static_cast<int>(random() % 8);
    for (int h = 0; h < hits; ++h) {
      const size_t at = kHeaderSize + random() % (bad.size() - kHeaderSize);
      bad[at] = static_cast<char>(random());
    }
    if (round % 10 == 0) bad.resize(kHeaderSize + random() % (bad.size() - kHeaderSize));
    env.SetContents("Z.QVF", bad);
    testing::RecordInternalErrors errors;
    Container c(&env);
    const int opened = c.Open("Z.QVF", Container::kReadOnly);
    if (opened != 0) {
      // Only a file cut below its end of data is refused at once, as
      // damaged rather than as a broken structure.
      EXPECT_EQ(opened, files::kInvalidDataFile);
      EXPECT_EQ(round % 10, 0);
      EXPECT_TRUE(errors.checks.empty());
      ++stopped;
    } else {
      int status = -1;
      std::vector<std::string> all = testing::AllEntries(&c, &status);
      EXPECT_TRUE(status == 0 || status == files::kInvalidDataFile);
      EXPECT_LE(all.size(), 3000u);
      if (status != 0) {
        EXPECT_FALSE(errors.checks.empty());
        ++stopped;
      }
    }
    std::vector<std::string> faults;
    EXPECT_TRUE(CheckFile(&env, "Z.QVF", &faults));
  }
  EXPECT_GT(stopped, 100);
}

}  // namespace
}  // namespace vorsandt::qvf

namespace vorsandt::qvf {
namespace {

TEST(InternalErrorDefault, EndsTheProgramWithItsLineNumber) {
  EXPECT_EXIT(InternalError(kCheckStoredSizeClass), ::testing::ExitedWithCode(2),
              "Internal error : qvfbt line 105");
}

TEST(ContainerLog, GarbageLogIsAnInternalErrorNotAHang) {
  env::FaultEnv env;
  {
    testing::RecordInternalErrors errors;
    Container w(&env);
    ASSERT_EQ(w.Open("L.QVF", Container::kCreate), 0);
    Tree tree(&w);
    ASSERT_EQ(tree.Insert("abc", 3), 0);
    ASSERT_EQ(w.Close(), 0);
  }
  std::string bytes = env.Contents("L.QVF");
  FileHeader h;
  ASSERT_EQ(DecodeHeader(reinterpret_cast<const uint8_t*>(bytes.data()), &h), 0);
  // A log of one unit whose item claims to be larger than the log.
  const uint32_t at = static_cast<uint32_t>(bytes.size());
  std::string item(256, '\0');
  PutU32(reinterpret_cast<uint8_t*>(item.data()), 512);
  PutU16(reinterpret_cast<uint8_t*>(item.data()) + 4, 3000);
  bytes += item;
  PutU32(reinterpret_cast<uint8_t*>(bytes.data()) + kHdrLogStart, at);
  PutU32(reinterpret_cast<uint8_t*>(bytes.data()) + kHdrLogEnd, at + 256);
  env.SetContents("L.QVF", bytes);
  testing::RecordInternalErrors errors;
  Container c(&env);
  EXPECT_EQ(c.Open("L.QVF", 0), files::kInvalidDataFile);
  EXPECT_EQ(errors.checks, std::vector<int>{kCheckLogWalk});
  std::vector<std::string> faults;
  EXPECT_TRUE(CheckFile(&env, "L.QVF", &faults));
  EXPECT_FALSE(faults.empty());
}

TEST(TreeNextAfter, WalkingForwardInsideALeafReadsNoPage) {
  testing::RecordInternalErrors errors;
  env::FaultEnv env;
  Container c(&env);
  ASSERT_EQ(c.Open("W.QVF", Container::kCreate), 0);
  Tree tree(&c);
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(tree.Insert(BigEndian32(static_cast<uint32_t>(i)) + std::string(30, 'w'), 4), 0);
  }
  ASSERT_EQ(c.Save(), 0);
  Entry e;
  bool found = false;
  ASSERT_EQ(tree.FindExact(BigEndian32(1000), &e, &found), 0);
  ASSERT_TRUE(found);
  const uint64_t uses = c.access_counter();
  ASSERT_EQ(tree.FindNextAfter(e.Key(), &e, &found), 0);
  ASSERT_TRUE(found);
  EXPECT_EQ(e.Key(), BigEndian32(1001));
  EXPECT_EQ(c.access_counter(), uses);  // answered from the same leaf
  // Walking to the end crosses leaves and still returns every entry once.
  int count = 1;
  while (true) {
    ASSERT_EQ(tree.FindNextAfter(e.Key(), &e, &found), 0);
    if (!found) break;
    ++count;
  }
  EXPECT_EQ(count, 999);
}

}  // namespace
}  // namespace vorsandt::qvf
