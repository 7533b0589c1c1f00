// An environment over another that fails one flush the way Linux does: the
// failed fdatasync reports EIO, and the writes it should have made durable
// are then considered clean although they never reached the disk. A later
// flush succeeds without them; only data written again after the failure is
// made durable. Code that retries a failed flush as if the retry covered the
// earlier writes is caught by the image this environment keeps of what the
// disk holds (DurableImage), which is what a crash after the run leaves.
//
// Writes, reads and locks go to the wrapped environment unchanged; only the
// image of the disk is tracked here.
#ifndef VORSANDT_TESTS_TORTURE_FORGETFUL_ENV_H_
#define VORSANDT_TESTS_TORTURE_FORGETFUL_ENV_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/env/env.h"

namespace vorsandt::torture {

class ForgetfulEnv final : public env::Env {
 public:
  // The `fail_at`th Sync (counted from 1 over all files) fails.
  ForgetfulEnv(env::Env* base, int64_t fail_at) : base_(base), fail_at_(fail_at) {}

  int Open(const std::string& path, uint32_t flags, std::unique_ptr<env::File>* file) override;
  int Delete(const std::string& path) override;
  int Rename(const std::string& from, const std::string& to) override;
  bool Exists(const std::string& path) override { return base_->Exists(path); }
  int64_t NowHundredths() override { return base_->NowHundredths(); }
  void SleepMs(int ms) override { base_->SleepMs(ms); }

  // What the disk holds for each file opened through this environment.
  std::map<std::string, std::string> DurableImages() const;
  int64_t Syncs() const;
  // Writes that overlapped another write to the same file made since the
  // last flush. While there are none, a disk that reorders unflushed writes
  // can do no more than keep a subset of them.
  int64_t OverlappingWrites() const;

 private:
  friend class ForgetfulFile;
  struct Range {
    uint64_t begin;
    uint64_t end;
  };
  struct Image {
    std::string current;       // what reads see
    std::string durable;       // what a crash leaves
    std::vector<Range> dirty;  // written since the last flush
    std::vector<Range> lost;   // dropped by a failed flush, not written since
  };
  static void Remove(std::vector<Range>* ranges, Range r);
  void Wrote(const std::string& path, uint64_t offset, const void* data, size_t length);
  void Truncated(const std::string& path, uint64_t length);
  int Synced(const std::string& path, env::File* base);

  env::Env* base_;
  int64_t fail_at_;
  int64_t syncs_ = 0;
  int64_t overlapping_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, Image> images_;
};

}  // namespace vorsandt::torture

#endif  // VORSANDT_TESTS_TORTURE_FORGETFUL_ENV_H_
