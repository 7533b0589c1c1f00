#include "storage/qvf/save_log.h"

#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

bool SaveLog::WriteAllowed(uint64_t offset) const {
  switch (stage_) {
    case Stage::kLogging:
      return offset >= old_end_;  // invariant 1 of the save
    case Stage::kCommitting:
    case Stage::kUndoing:
      return offset == 0;  // invariants 2, 3 and 5
    case Stage::kApplying:
      return true;  // invariant 4
    case Stage::kIdle:
    case Stage::kCommitted:
      return false;
  }
  return false;
}

void SaveLog::Begin(const FileHeader& before) {
  before_ = before;
  old_end_ = before.EndOfData();
}

void SaveLog::StartLogging(uint64_t log_start) {
  Drop();
  start_ = end_ = log_start;
  stage_ = Stage::kLogging;
}

int SaveLog::Add(uint64_t home, std::string_view image, bool large) {
  if (runs_ == 0 || RunFull(image.size())) {
    if (runs_ > 0) sealed_ += chunks_[runs_ - 1].size();
    if (runs_ == chunks_.size()) chunks_.emplace_back();
    if (large) chunks_[runs_].reserve(kRunLimit);
    ++runs_;
  }
  std::string& chunk = chunks_[runs_ - 1];
  pending_.push_back({home, static_cast<uint32_t>(runs_ - 1), static_cast<uint32_t>(chunk.size()),
                      static_cast<uint32_t>(image.size())});
  chunk.append(image);
  end_ += image.size();
#ifdef VORSANDT_CHECKS
  // Invariant b: the runs end to end from the start reach the log's end.
  if (start_ + sealed_ + chunk.size() != end_) return kCheckWriteOrder;
#endif
  return 0;
}

SaveLog::Run SaveLog::LastRun() const {
  if (runs_ == 0) return Run{end_, {}};
  return Run{start_ + sealed_, chunks_[runs_ - 1]};
}

void SaveLog::Committed(const FileHeader& committed) {
  committed_ = committed;
  stage_ = Stage::kCommitted;
}

std::vector<SaveLog::Run> SaveLog::HomeRuns() const {
  std::vector<Run> runs;
  for (size_t i = 0; i < pending_.size();) {
    const Pending& first = pending_[i];
    uint32_t length = first.length;
    size_t j = i + 1;
    for (; j < pending_.size(); ++j) {
      const Pending& p = pending_[j];
      if (p.chunk != first.chunk || p.at != first.at + length || p.home != first.home + length) {
        break;
      }
      length += p.length;
    }
    runs.push_back(Run{first.home, std::string_view(chunks_[first.chunk]).substr(first.at, length)});
    i = j;
  }
  return runs;
}

void SaveLog::ReadThrough(std::map<uint32_t, uint64_t>* relocated) const {
  relocated->clear();
  uint64_t at = start_;
  size_t i = 0;
  for (size_t k = 0; k < runs_; ++k) {
    for (; i < pending_.size() && pending_[i].chunk == k; ++i) {
      (*relocated)[static_cast<uint32_t>(pending_[i].home)] = at + pending_[i].at;
    }
    at += chunks_[k].size();
  }
  (*relocated)[0] = committed_.log_end - kHeaderSize;
}

void SaveLog::Drop() {
  pending_.clear();
  // The first run's buffer is kept for the next save: a fresh one would be
  // grown (copied) and its memory faulted in again every time.
  if (chunks_.size() > 1) chunks_.resize(1);
  if (!chunks_.empty()) chunks_.front().clear();
  runs_ = 0;
  sealed_ = 0;
  stage_ = Stage::kIdle;
}

}  // namespace vorsandt::qvf
