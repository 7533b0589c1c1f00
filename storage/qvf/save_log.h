// The log of one save: where the save stands, the images of the changed
// pages whose home lies in committed data (written to the log in runs and
// kept for phase 2 to write home), and the headers before and after it.
// The order of the save's writes and flushes is the container's
// (container_save.cc); the log answers which writes that order allows.
//
// Invariants (checked under VORSANDT_CHECKS):
//
//  a. Writes by stage (WriteAllowed; a violation is internal error
//     kCheckWriteOrder): while logging only at or beyond the old end of
//     data, while committing or undoing only the header at offset 0, while
//     applying anywhere, and nothing while idle or committed.
//  b. The runs lie end to end from the log's start, in the order they were
//     written, and each pending image lies inside its run; so the log's end
//     is its start plus the bytes logged (checked as images are added).
//  c. Images are kept only from the start of phase 1 to the end of phase 2:
//     an idle log holds none.
#ifndef VORSANDT_STORAGE_QVF_SAVE_LOG_H_
#define VORSANDT_STORAGE_QVF_SAVE_LOG_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "storage/qvf/format.h"

namespace vorsandt::qvf {

// Writes to consecutive offsets are gathered into one system call of at most
// this many bytes (a page per call cost more in system-call overhead than in
// copying). A save writes its pages in unit order, so the pages beyond the
// old end of data form one run and the log a run of its own.
inline constexpr size_t kRunLimit = 1u << 20;

class SaveLog {
 public:
  enum class Stage {
    kIdle,        // no save in progress
    kLogging,     // phase 1: only offsets at or beyond the old end are written
    kCommitting,  // phase 1: log flushed; only the header at offset 0 is written
    kCommitted,   // phase 1 done; phase 2 pending
    kApplying,    // phase 2 or recovery: home writes allowed
    kUndoing,     // a failed commit: only the old header goes back to offset 0
  };
  // Bytes written to the file at `at`.
  struct Run {
    uint64_t at = 0;
    std::string_view bytes;
  };

  Stage stage() const { return stage_; }
  void set_stage(Stage stage) { stage_ = stage; }
  // Invariant a.
  bool WriteAllowed(uint64_t offset) const;

  // Starts phase 1: `before` is the header before the save, whose end of
  // data is the old end.
  void Begin(const FileHeader& before);
  // Logging starts, the log at `log_start` (once placement knows the end).
  void StartLogging(uint64_t log_start);
  const FileHeader& before() const { return before_; }
  uint64_t old_end() const { return old_end_; }
  // True when the page at `home` lies in committed data and goes to the log.
  bool Logs(uint64_t home) const { return home < old_end_; }
  // True when an image of `bytes` does not fit the run being filled: that
  // run is complete, for the caller to write (LastRun) before adding.
  bool RunFull(size_t bytes) const {
    return runs_ > 0 && chunks_[runs_ - 1].size() + bytes > kRunLimit;
  }
  // Adds the image of the page at `home`, starting a new run when none is
  // being filled or the last is full. `large`: the save fills whole runs, so
  // room for one is taken at once. 0, or the check when invariant b failed.
  [[nodiscard]] int Add(uint64_t home, std::string_view image, bool large);
  // The run being filled (empty bytes when none).
  Run LastRun() const;
  // Where the next logged item goes.
  uint64_t end() const { return end_; }
  // Adds the logged header's room at the end.
  void AddHeader() { end_ += kHeaderSize; }

  // Phase 1 done: `committed` is the new header, with the log's pointers.
  void Committed(const FileHeader& committed);
  const FileHeader& committed() const { return committed_; }
  // Phase 2's writes: the pending images as runs at their homes, pages next
  // to each other at home and in the log joined into one run.
  std::vector<Run> HomeRuns() const;
  // Where each logged page and the logged header lie in the file, as
  // reading through the log wants them (own address -> position).
  void ReadThrough(std::map<uint32_t, uint64_t>* relocated) const;
  // Forgets the images (invariant c), and goes idle.
  void Drop();

 private:
  // A logged page still to be written home; its image lies in
  // chunks_[chunk] at `at`.
  struct Pending {
    uint64_t home;
    uint32_t chunk;
    uint32_t at;
    uint32_t length;
  };

  Stage stage_ = Stage::kIdle;
  uint64_t old_end_ = 0;
  uint64_t start_ = 0;
  uint64_t end_ = 0;
  std::vector<Pending> pending_;
  // The log as it was written, in runs of at most kRunLimit bytes; phase 2
  // writes the pending images home from here.
  std::vector<std::string> chunks_;
  size_t runs_ = 0;      // chunks_ the save used
  uint64_t sealed_ = 0;  // bytes of the runs before the last
  FileHeader before_;    // the header before phase 1 (for AbandonLog)
  FileHeader committed_; // the new header (with log pointers)
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_SAVE_LOG_H_
