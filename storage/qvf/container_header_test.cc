// The header as other processes' saves change it: read through a shared
// mapping instead of a system call when unchanged, and the optimistic reads
// that serve the cache without the reader lock while it stays unchanged.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "runtime/env/fault_env.h"
#include "runtime/files/error_codes.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/container.h"
#include "storage/qvf/test_support.h"

namespace vorsandt::qvf {
namespace {

using testing::AllEntries;
using testing::Fill;
using testing::SaveOneMore;
using testing::WriteFile;
using testing::RecordInternalErrors;

// Wraps a FaultEnv: counts header reads by ReadAt and can make the header
// view tear (show one byte changed), as a copy taken during a write would.
class ViewWatchingEnv final : public env::Env {
 public:
  int header_reads = 0;
  bool tear = false;
  bool no_views = false;

  int Open(const std::string& path, uint32_t flags, std::unique_ptr<env::File>* file) override {
    std::unique_ptr<env::File> real;
    if (int e = base_.Open(path, flags, &real); e != 0) return e;
    *file = std::make_unique<WatchedFile>(std::move(real), this);
    return 0;
  }
  int Delete(const std::string& p) override { return base_.Delete(p); }
  int Rename(const std::string& a, const std::string& b) override { return base_.Rename(a, b); }
  bool Exists(const std::string& p) override { return base_.Exists(p); }
  int64_t NowHundredths() override { return base_.NowHundredths(); }
  void SleepMs(int ms) override { base_.SleepMs(ms); }

 private:
  class TearingView final : public env::FileView {
   public:
    TearingView(std::unique_ptr<env::FileView> real, ViewWatchingEnv* env)
        : real_(std::move(real)), env_(env) {}
    int Read(uint64_t offset, void* buffer, size_t length) override {
      int e = real_->Read(offset, buffer, length);
      if (e == 0 && env_->tear) static_cast<uint8_t*>(buffer)[kHdrChangeCounter] ^= 1;
      return e;
    }

   private:
    std::unique_ptr<env::FileView> real_;
    ViewWatchingEnv* env_;
  };
  class WatchedFile final : public testing::ForwardingFile {
   public:
    WatchedFile(std::unique_ptr<env::File> real, ViewWatchingEnv* env)
        : ForwardingFile(std::move(real)), env_(env) {}
    int ReadAt(uint64_t o, void* b, size_t n, size_t* got) override {
      if (o == 0) env_->header_reads++;
      return ForwardingFile::ReadAt(o, b, n, got);
    }
    int Map(uint64_t n, std::unique_ptr<env::FileView>* view) override {
      if (env_->no_views) return env::File::Map(n, view);
      std::unique_ptr<env::FileView> real_view;
      if (int e = real().Map(n, &real_view); e != 0) return e;
      *view = std::make_unique<TearingView>(std::move(real_view), env_);
      return 0;
    }

   private:
    ViewWatchingEnv* env_;
  };
  env::FaultEnv base_;
};

TEST(ContainerHeaderView, AnUnchangedHeaderCostsNoReadAndASaveIsStillSeen) {
  RecordInternalErrors errors;
  ViewWatchingEnv env;
  WriteFile(&env, "V.QVF", 300);
  Container reader(&env);
  ASSERT_EQ(reader.Open("V.QVF", Container::kShared | Container::kReadOnly), 0);
  EXPECT_EQ(AllEntries(&reader).size(), 300u);
  const int reads = env.header_reads;
  for (int i = 0; i < 10; ++i) ASSERT_EQ(reader.Refresh(), 0);
  EXPECT_EQ(env.header_reads, reads);
  EXPECT_GT(reader.cached_pages(), 0u);

  Container writer(&env);
  ASSERT_NO_FATAL_FAILURE(SaveOneMore("V.QVF", &writer));
  ASSERT_EQ(reader.Refresh(), 0);
  EXPECT_EQ(reader.cached_pages(), 0u);  // the save was seen: cache dropped
  EXPECT_EQ(reader.header().change_counter, writer.header().change_counter);
  EXPECT_EQ(AllEntries(&reader).size(), 301u);
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerHeaderView, ATornOrMissingViewFallsBackToAReadAndKeepsTheCache) {
  RecordInternalErrors errors;
  for (bool no_views : {false, true}) {
    ViewWatchingEnv env;
    env.no_views = no_views;
    WriteFile(&env, "T.QVF", 300);
    Container reader(&env);
    ASSERT_EQ(reader.Open("T.QVF", Container::kShared | Container::kReadOnly), 0);
    EXPECT_EQ(AllEntries(&reader).size(), 300u);
    const size_t cached = reader.cached_pages();
    const uint32_t counter = reader.header().change_counter;
    env.tear = true;  // the view disagrees: the header is read instead
    const int reads = env.header_reads;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(reader.Refresh(), 0);
    EXPECT_EQ(env.header_reads, reads + 5);
    EXPECT_EQ(reader.cached_pages(), cached);
    EXPECT_EQ(reader.header().change_counter, counter);
    EXPECT_EQ(AllEntries(&reader).size(), 300u);
  }
  EXPECT_TRUE(errors.checks.empty());
}

// Optimistic reads: served from the cache while the header at offset 0 is
// the one the cache was filled under; a save seen before or after, or at a
// missing page, sends the read back to the locked path.
int CountTake(void* context) {
  ++*static_cast<int*>(context);
  return 0;
}

struct SavingTaker {
  Container* writer;
  int takes = 0;
  static int Take(void* context) {
    auto* self = static_cast<SavingTaker*>(context);
    ++self->takes;
    Tree tree(self->writer);
    if (tree.Insert("zzz-at-the-miss", 7) != 0) return 5;
    return self->writer->Save();
  }
};

TEST(ContainerOptimistic, ServesTheCacheOnlyWhileTheHeaderIsTheOneItWasFilledUnder) {
  RecordInternalErrors errors;
  ViewWatchingEnv env;
  WriteFile(&env, "O.QVF", 300);
  Container reader(&env);
  ASSERT_EQ(reader.Open("O.QVF", Container::kShared | Container::kReadOnly), 0);
  int takes = 0;
  const Container::ReaderLockTaker taker{&CountTake, &takes};
  // Nothing cached yet: the first page takes the lock and the read goes on.
  ASSERT_TRUE(reader.BeginOptimisticRead(taker));
  EXPECT_EQ(AllEntries(&reader).size(), 300u);
  EXPECT_TRUE(reader.optimistic_locked());
  EXPECT_EQ(reader.EndOptimisticRead(), 0);
  EXPECT_EQ(takes, 1);
  // All cached: neither the lock nor a read call.
  const int reads = env.header_reads;
  ASSERT_TRUE(reader.BeginOptimisticRead(taker));
  EXPECT_EQ(AllEntries(&reader).size(), 300u);
  EXPECT_EQ(reader.EndOptimisticRead(), 0);
  EXPECT_EQ(takes, 1);
  EXPECT_EQ(env.header_reads, reads);

  // A commit leaves the counter as it was but shows the log pointers: phase
  // 2 may be overwriting pages at home, so no read may go without the lock.
  Container writer(&env);
  ASSERT_EQ(writer.Open("O.QVF", Container::kShared), 0);
  Tree tree(&writer);
  ASSERT_EQ(tree.Insert("zzz-committed", 7), 0);
  ASSERT_EQ(writer.SavePhase1(), 0);
  EXPECT_FALSE(reader.BeginOptimisticRead(taker));
  ASSERT_EQ(writer.SavePhase2(), 0);
  EXPECT_FALSE(reader.BeginOptimisticRead(taker));
  ASSERT_EQ(reader.Refresh(), 0);
  EXPECT_EQ(AllEntries(&reader).size(), 301u);

  // A save between the two looks: the read must be made again.
  ASSERT_TRUE(reader.BeginOptimisticRead(taker));
  EXPECT_EQ(AllEntries(&reader).size(), 301u);
  ASSERT_EQ(tree.Insert("zzz-between", 7), 0);
  ASSERT_EQ(writer.Save(), 0);
  EXPECT_EQ(reader.EndOptimisticRead(), Container::kRetryUnderLock);
  ASSERT_EQ(reader.Refresh(), 0);

  // A torn copy of the header is doubt enough.
  env.tear = true;
  EXPECT_FALSE(reader.BeginOptimisticRead(taker));
  env.tear = false;
  EXPECT_TRUE(errors.checks.empty());
}

TEST(ContainerOptimistic, ASaveFoundAtAMissingPageAbortsTheReadInsteadOfMixingStates) {
  RecordInternalErrors errors;
  ViewWatchingEnv env;
  WriteFile(&env, "M.QVF", 300);
  Container writer(&env);
  ASSERT_EQ(writer.Open("M.QVF", Container::kShared), 0);
  Container reader(&env);
  ASSERT_EQ(reader.Open("M.QVF", Container::kShared | Container::kReadOnly), 0);
  SavingTaker saving{&writer};
  ASSERT_TRUE(reader.BeginOptimisticRead({&SavingTaker::Take, &saving}));
  int status = 0;
  EXPECT_TRUE(AllEntries(&reader, &status).empty());
  EXPECT_EQ(status, Container::kRetryUnderLock);
  EXPECT_EQ(reader.EndOptimisticRead(), Container::kRetryUnderLock);
  EXPECT_EQ(saving.takes, 1);
  EXPECT_FALSE(reader.failed());
  // The locked path then reads the new state whole.
  ASSERT_EQ(reader.Refresh(), 0);
  EXPECT_EQ(AllEntries(&reader, &status).size(), 301u);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(errors.checks.empty());

  // Nothing may change inside an optimistic read.
  Container other(&env);
  ASSERT_EQ(other.Open("M.QVF", Container::kShared), 0);
  other.SetWriterMode(false);
  ASSERT_EQ(AllEntries(&other).size(), 301u);
  int takes = 0;
  ASSERT_TRUE(other.BeginOptimisticRead({&CountTake, &takes}));
  other.MarkDirty(other.GetPage(other.root()));
  EXPECT_EQ(errors.checks, std::vector<int>{kCheckOptimisticAccess});
  (void)other.EndOptimisticRead();  // the check above is what is asked
}

// On real files, another process's saves must reach a reader whose header
// comes from the mapping: each save of the child is followed by a refresh in
// the parent that must drop its cache and find the new entry and the new
// counter (a stale view would keep the old cache and miss them).
TEST(ContainerHeaderView, AnotherProcessesSavesAreSeenOnRealFiles) {
  char tmpl[] = "/tmp/vorsandt_qvfview_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string path = std::string(tmpl) + "/P.QVF";
  env::Env* env = env::Env::Default();
  WriteFile(env, path.c_str(), 300);
  Container reader(env);
  ASSERT_EQ(reader.Open(path, Container::kShared | Container::kReadOnly), 0);
  ASSERT_EQ(AllEntries(&reader).size(), 300u);

  int go[2], done[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(done), 0);
  constexpr int kSaves = 40;
  pid_t pid = fork();
  if (pid == 0) {
    // Only the parent writes `go`: its end of the pipe closing (a failed
    // assertion included) ends this child.
    close(go[1]);
    close(done[0]);
    Container writer(env);
    if (writer.Open(path, Container::kShared) != 0) _exit(2);
    for (int i = 0; i < kSaves; ++i) {
      char token;
      if (read(go[0], &token, 1) != 1) _exit(3);
      // Large enough now and then to move pages and use the log.
      Tree tree(&writer);
      for (int j = 0; j <= (i % 5) * 40; ++j) {
        const std::string key = "new-" + std::to_string(1000 + i) + "-" + std::to_string(1000 + j);
        if (tree.Insert(key + std::string(30, 'w'), key.size()) != 0) _exit(4);
      }
      if (writer.Save() != 0) _exit(5);
      if (write(done[1], &token, 1) != 1) _exit(6);
    }
    _exit(writer.Close() == 0 ? 0 : 7);
  }
  close(go[0]);
  close(done[1]);
  struct Child {
    pid_t pid;
    int go;
    int done;
    int status = -1;
    ~Child() { Wait(); }
    void Wait() {
      if (pid <= 0) return;
      close(go);
      close(done);
      waitpid(pid, &status, 0);
      pid = 0;
    }
  } child{pid, go[1], done[0]};
  size_t expected = 300;
  for (int i = 0; i < kSaves; ++i) {
    const uint32_t counter = reader.header().change_counter;
    char token = 't';
    ASSERT_EQ(write(go[1], &token, 1), 1);
    ASSERT_EQ(read(done[0], &token, 1), 1);
    ASSERT_EQ(reader.Refresh(), 0);
    EXPECT_EQ(reader.header().change_counter, counter + 1) << "save " << i;
    expected += 1 + (i % 5) * 40;
    ASSERT_EQ(AllEntries(&reader).size(), expected) << "save " << i;
  }
  child.Wait();
  EXPECT_TRUE(WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0) << child.status;
  ASSERT_EQ(reader.Close(), 0);
  env->Delete(path);
  rmdir(tmpl);
}
}  // namespace
}  // namespace vorsandt::qvf
