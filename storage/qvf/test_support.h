// Helpers shared by the container and tree tests.
#ifndef VORSANDT_STORAGE_QVF_TEST_SUPPORT_H_
#define VORSANDT_STORAGE_QVF_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/env/env.h"
#include "storage/qvf/btree.h"
#include "storage/qvf/container.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf::testing {

// Records internal errors instead of ending the process while alive.
class RecordInternalErrors {
 public:
  RecordInternalErrors() {
    previous_ = SetInternalErrorHandler([this](int check) { checks.push_back(check); });
  }
  ~RecordInternalErrors() { SetInternalErrorHandler(previous_); }
  std::vector<int> checks;

 private:
  InternalErrorHandler previous_;
};

// Every entry of the tree in order (the empty entry left out).
inline std::vector<std::string> AllEntries(Container* c, int* status = nullptr) {
  Tree tree(c);
  std::vector<std::string> out;
  std::string key;
  for (;;) {
    Entry e;
    bool found = false;
    int r = tree.FindNextAfter(key, &e, &found);
    if (status != nullptr) *status = r;
    if (r != 0 || !found) break;
    out.push_back(e.bytes);
    key.assign(e.Key());
  }
  return out;
}

// A file that hands every call to the real one except Map (a test file has
// no header view unless it gives one); tests override what they watch.
class ForwardingFile : public env::File {
 public:
  explicit ForwardingFile(std::unique_ptr<env::File> real) : real_(std::move(real)) {}
  int ReadAt(uint64_t o, void* b, size_t n, size_t* got) override {
    return real_->ReadAt(o, b, n, got);
  }
  int WriteAt(uint64_t o, const void* b, size_t n, size_t* w) override {
    return real_->WriteAt(o, b, n, w);
  }
  int Sync() override { return real_->Sync(); }
  int Truncate(uint64_t n) override { return real_->Truncate(n); }
  int Size(uint64_t* n) override { return real_->Size(n); }
  int TryLock(uint64_t o, uint64_t n, bool x) override { return real_->TryLock(o, n, x); }
  int Unlock(uint64_t o, uint64_t n) override { return real_->Unlock(o, n); }
  int TestLock(uint64_t o, uint64_t n, bool x) override { return real_->TestLock(o, n, x); }
  int TestLockInProcess(uint64_t o, uint64_t n, bool x) override {
    return real_->TestLockInProcess(o, n, x);
  }
  int TestLockOfOthers(uint64_t o, uint64_t n, bool x) override {
    return real_->TestLockOfOthers(o, n, x);
  }
  int NamedBy(const std::string& path) override { return real_->NamedBy(path); }
  int FileSystemType(uint64_t* magic) override { return real_->FileSystemType(magic); }
  int MountOptions(std::string* options) override { return real_->MountOptions(options); }

 protected:
  env::File& real() { return *real_; }

 private:
  std::unique_ptr<env::File> real_;
};

// Adds `count` entries: keys 0.. as four big-endian bytes, `data` bytes of
// 'v' each.
inline void Fill(Container* c, int count, size_t data = 40) {
  Tree tree(c);
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(tree.Insert(BigEndian32(static_cast<uint32_t>(i)) + std::string(data, 'v'), 4), 0);
  }
}

// Opens `name` shared in `writer`, adds the entry "zzz-new" and saves: the
// save of another process, as a reader of the same file meets it.
inline void SaveOneMore(const char* name, Container* writer) {
  ASSERT_EQ(writer->Open(name, Container::kShared), 0);
  Tree tree(writer);
  ASSERT_EQ(tree.Insert("zzz-new", 7), 0);
  ASSERT_EQ(writer->Save(), 0);
}

// Creates `name` holding `count` entries as Fill makes them, and closes it.
inline void WriteFile(env::Env* env, const char* name, int count, size_t data = 40) {
  Container w(env);
  ASSERT_EQ(w.Open(name, Container::kCreate), 0);
  Fill(&w, count, data);
  ASSERT_EQ(w.Close(), 0);
}

}  // namespace vorsandt::qvf::testing

#endif  // VORSANDT_STORAGE_QVF_TEST_SUPPORT_H_
