// The QVF container: one open file, its header, its page cache, its regions
// and the crash-safe two-phase save.
//
// Status values are the runtime's error codes (runtime/files/error_codes.h):
// 0, kInvalidDataFile (36) for a file that is not a sound QVF file, or
// kSystemErrorBase + the mapped operating-system error. Broken structures
// found while working stop through InternalError (internal_error.h); when a
// test handler lets that return, the container is marked failed and every
// later call returns 36. A read the disk refuses is no broken structure: it
// fails the container the same way but with the system error (330 Read
// Fault), so the user learns that the disk could not be read.
//
// Locking between processes (reader/writer bytes, deny-write around the copy
// phase) belongs to the driver, which calls Refresh at the start of each
// operation while it holds the file lock.
#ifndef VORSANDT_STORAGE_QVF_CONTAINER_H_
#define VORSANDT_STORAGE_QVF_CONTAINER_H_

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/env/env.h"
#include "runtime/env/file_system.h"
#include "storage/qvf/format.h"
#include "storage/qvf/page_cache.h"

namespace vorsandt::qvf {

class Container {
 public:
  enum OpenFlag : uint32_t {
    kCreate = 1u << 0,    // create the file when it does not exist
    kReadOnly = 1u << 1,  // no writes; a write attempt is an internal error
    kShared = 1u << 2,    // other processes may write: Refresh re-reads the header
  };
  // No root yet (a new file before its first page is made).
  static constexpr int64_t kNoRootUnit = std::numeric_limits<int64_t>::min();

  // Asked while a committed log is found: true when the log belongs to a
  // transaction that is still open (the log is then abandoned). Called with
  // the logged header current and pages readable through the log.
  using LogQuestion = std::function<bool(Container&)>;

  explicit Container(env::Env* env);
  ~Container();
  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;

  int Open(const std::string& path, uint32_t flags);
  // Saves pending changes (returning the save's status), drops the cache and
  // closes the handle.
  int Close();
  bool read_only() const { return read_only_; }

  // Re-reads the header when the file is shared (or not yet read); drops the
  // cache when another writer has saved; finds a committed log and applies
  // or abandons it.
  int Refresh();

  // The page at `unit` (negative: a provisional page made by NewPage), or
  // nullptr after an internal error.
  Page* GetPage(int64_t unit);
  // The page at `unit` only when it is cached and decoded (no read, no use
  // counted).
  Page* PeekPage(int64_t unit) const {
    Page* p = cache_.Find(unit);
    return p != nullptr && !p->parked ? p : nullptr;
  }
  // A new empty page with the next provisional number; dirty.
  Page* NewPage(int level);
  void MarkDirty(Page* page);
  // Parks the least recently used dirty leaves beyond the decoded limit,
  // raised by the memory the retired tier gave up since the changes began
  // (see page_cache.h). Only call it when no Page pointer is held: the tree
  // calls it at the start of each change.
  void ParkColdPages();
  // The limit of this container (reset to the process default by Open).
  void SetDecodedDirtyLimit(size_t pages) { decoded_dirty_limit_ = pages; }
  static constexpr size_t kDefaultDecodedDirtyLimit = 4096;
  // The limit containers take when opened (tools and benchmarks change it).
  static size_t DefaultDecodedDirtyLimit();
  static void SetDefaultDecodedDirtyLimit(size_t pages);
  // Removes a page that left the tree; its unit is reclaimed at the next save.
  void FreePage(Page* page);

  int64_t root() const { return root_; }
  void SetRoot(int64_t unit) {
    root_ = unit;
    header_dirty_ = true;
  }

  // Both phases of the save. Nothing happens when nothing changed.
  int Save();
  // Phase 1: log written and committed. Phase 2: log applied at home.
  // Phase 2 answers 0 when it cannot finish too: the save is durable once
  // committed, and the next save or the next opener applies the log.
  int SavePhase1();
  int SavePhase2();
  // Applies a committed log at home; an error when it could not (the log
  // stays committed in the file, and its pages are read through it).
  int ApplyCommittedLog();
  // Drops a log committed by SavePhase1 that phase 2 must not apply (a
  // transaction over several files failed): the header at offset 0 gets its
  // log pointers reset, which restores the state before the save.
  int AbandonLog();
  // Drops all changes and forces the header to be read again.
  int Discard();
  // Sets the file length to the end of data (not while a log is pending).
  int Truncate();
  // A log area left behind by a save is cut off once it is larger than this
  // (see invariant 7 in container.cc); smaller ones are kept for reuse.
  static constexpr uint64_t kDefaultLogAreaKept = 1u << 20;
  void SetLogAreaKept(uint64_t bytes) { log_area_kept_ = bytes; }
  // Adds one to the id counter and returns it in `*id`.
  int NextIdentifier(uint32_t* id);

  // Writer mode: a committed log found by Refresh is copied home and the
  // header reset; reader mode reads pages through the log instead. Open
  // starts in writer mode unless read-only.
  void SetWriterMode(bool writer) { writer_ = writer; }
  // While held, the caller keeps this file's writer range, so no other
  // handle can save it and the header in memory stays the file's header:
  // Refresh does not read it again (a transaction holds the range from its
  // first operation on the file to its end).
  void SetHeaderHeld(bool held) { header_held_ = held; }
  void SetLogQuestion(LogQuestion question) { question_ = std::move(question); }

  // Marks the container failed and reports `check` as an internal error;
  // returns 36 for the caller to pass on (used by the tree).
  int ReportBroken(int check) { return Fail(check); }
  // The page whose entry for `key` leads to `child`, found from the root by
  // following the last separator not greater than `key`; nullptr when none.
  Page* FindParent(std::string_view key, int64_t child);

  // Optimistic reads (invariant 10 in container_optimistic.cc): a read call
  // served from the page cache without the reader lock while the header seen
  // through the shared mapping stays byte for byte the one this cache belongs
  // to. Begin answers false when the call must take the locked path at once.
  // A page missing from the cache makes GetPage call `take_reader_lock`
  // (the driver's reader byte, 0 when granted) and check the header again
  // under it; when it still matches, the call goes on under the lock
  // (optimistic_locked() is then true), otherwise the call is aborted: every
  // later page access fails with the abort code (kRetryUnderLock or the
  // lock's error). End answers 0 when the read stands, or the code that
  // tells the caller to undo the call's effects and make it again on the
  // locked path.
  struct ReaderLockTaker {
    int (*take)(void* context) = nullptr;
    void* context = nullptr;
  };
  static constexpr int kRetryUnderLock = -1;
  bool BeginOptimisticRead(ReaderLockTaker take_reader_lock);
  int EndOptimisticRead();
  bool optimistic() const { return optimistic_; }
  bool optimistic_locked() const { return optimistic_locked_; }

  const FileHeader& header() const { return header_; }
  // The open file, for the driver's byte-range locks (nullptr when closed).
  env::File* file() const { return file_.get(); }
  env::Env* environment() const { return env_; }
  bool failed() const { return failed_; }
  // What a failed container answers: 36 after a broken structure, the
  // system error (330 Read Fault, ...) after a read the disk refused.
  int failure_code() const { return failure_code_; }
  size_t cached_pages() const { return cache_.size(); }
  size_t dirty_pages() const { return cache_.dirty_count(); }
  size_t parked_pages() const { return cache_.parked_count(); }
  size_t clean_pages() const { return cache_.clean_count(); }
  size_t retired_pages() const { return cache_.retired_count(); }
  uint64_t access_counter() const { return cache_.counter(); }

 private:
  // The decoded changed pages kept before parking starts (ParkColdPages).
  size_t DecodedDirtyLimit();
  enum class Stage {
    kIdle,        // no save in progress
    kLogging,     // phase 1: only offsets at or beyond the old end are written
    kCommitting,  // phase 1: log flushed; only the header at offset 0 is written
    kCommitted,   // phase 1 done; phase 2 pending
    kApplying,    // phase 2 or recovery: home writes allowed
    kUndoing,     // a failed commit: only the old header goes back to offset 0
  };
  // A logged page still to be written home; its image lies in
  // log_chunks_[chunk] at `at`.
  struct Pending {
    uint64_t home;
    uint32_t chunk;
    uint32_t at;
    uint32_t length;
  };

  // Stops with `check`; returns 36 for the caller to pass on.
  int Fail(int check);
  // A read the system refused: fails with its system error (no internal
  // error); returns that code.
  int FailRead(int errnum);
  // The file is shorter than its header says (cut by someone else): fails
  // with 36, the damaged-file code, without an internal error.
  int FailDamaged();
  // 0 when the file is long enough for everything `h` describes (invariant
  // 11); otherwise fails the container (FailDamaged, or FailRead when the
  // length cannot be learnt).
  int CheckLengthFor(const FileHeader& h);
  // Before a save writes anything: the file's name must still lead to the
  // open file (302 otherwise: what would be written reaches nobody who opens
  // the table), and the file must hold what the header in memory says it
  // holds (invariant 11). `*length` receives the file's length.
  int CheckFileBeforeWriting(uint64_t* length);
  // Raw I/O: multiples of 64 bytes only.
  // `page`: a page read, for which the system reads the block around it
  // when it is not in its cache (File::ReadAtAround).
  bool ReadRaw(uint64_t offset, void* buffer, size_t length, bool page = false);
  static constexpr size_t kReadAroundBlock = 128 << 10;
  void WriteRaw(uint64_t offset, std::string_view data);
  void DropPending() {
    pending_.clear();
    // The first run's buffer is kept for the next save: a fresh one would be
    // grown (copied) and its memory faulted in again every time.
    if (log_chunks_.size() > 1) log_chunks_.resize(1);
    if (!log_chunks_.empty()) log_chunks_.front().clear();
    log_runs_ = 0;
  }
  int SyncFile();
  int TakeWriteError();

  // Maps the header once a sound one was read (shared files only).
  void MapHeader();
  // True when the header bytes seen through the view, copied into `buf`,
  // are the ones Refresh decoded last.
  bool HeaderUnchangedInView(uint8_t* buf);
  int LoadLog(const FileHeader& at_zero);
  int CopyLogHome();
  int WriteHeaderAtZero(const FileHeader& h);
  // Shortens the file to `end_of_data` when more than log_area_kept_ bytes
  // lie beyond it (after phase 2 only).
  void CutLogArea(uint64_t end_of_data);
  // Phase 1's page writes: the log (kept for phase 2) and the pages beyond
  // the old end. 0 or the failure.
  int WriteChangedPages();
  // After a failed phase 2: the committed log's pages are read from the log
  // in the file, and no longer copied home from memory.
  void ReadThroughCommittedLog();
  // Shortens the file back to `length_before` after a failed save.
  void GiveBackGrowth(uint64_t length_before);
  // `page` decoded (nullptr after an internal error).
  Page* Unparked(Page* page);
  void DropCache();
  // True when the header in memory is the one decoded from last_raw_ and
  // nothing of this object's own is unsaved or half saved.
  bool CacheBelongsToLastHeader() const;
  // Called by GetPage on a miss during an optimistic read: takes the reader
  // lock and checks the header again; false when the call was aborted.
  bool LeaveOptimisticForMiss();
  void AbortOptimistic(int code);
  // Debug checks (VORSANDT_CHECKS): no change at all inside an optimistic
  // read, and no file read before it took the lock.
  void CheckNoChangeInOptimisticRead();
  void CheckNoReadOutsideLock();

  // Regions and allocation (container_regions.cc).
  bool PlacePages();
  bool FreeSlot(int c, uint32_t unit);
  bool Allocate(int c, uint32_t* unit);
  bool EnsureGapBelow(int k, uint32_t need);
  bool MakeRoomAbove(int k, uint32_t need);
  bool Pack();
  bool MovePage(int64_t from, int64_t to);
  bool UpdateReference(const Page* page, int64_t from, int64_t to);
  int ClassForImage(Page* page, int* c);
  bool TakePlacedImage(Page* page, std::string* image);

  env::Env* env_;
  std::unique_ptr<env::File> file_;
  std::string path_;
  bool read_only_ = false;
  bool shared_ = false;
  bool writer_ = true;
  bool failed_ = false;
  int failure_code_ = 36;  // see failure_code()
  bool header_loaded_ = false;
  bool header_dirty_ = false;
  bool refreshing_ = false;
  bool header_held_ = false;
  FileHeader header_;
  // The header bytes Refresh decoded last, and what they decoded to.
  std::array<uint8_t, kHeaderSize> last_raw_{};
  FileHeader last_decoded_;
  bool last_raw_valid_ = false;
  // The header seen through a shared mapping (nullptr until mapped, or when
  // the environment has none), so that an unchanged header costs no system
  // call.
  std::unique_ptr<env::FileView> view_;
  bool view_refused_ = false;
  // Whether read calls of this shared file may be answered through the
  // mapped header without the reader lock, and why (runtime/env/
  // file_system.h); decided at Open. A file on a network file system reads
  // every page under the lock and its header through the file.
  env::ReadPath read_path_;
  int64_t root_ = kNoRootUnit;
  int64_t next_provisional_ = -1;
  // Images encoded by placement, kept for the writes of the same save up to
  // a bound on the memory they hold (each save has its own number).
  static constexpr size_t kPlacedImageBudget = size_t{2} << 20;
  uint64_t save_number_ = 0;
  size_t placed_bytes_ = 0;
  PageCache cache_;
  size_t decoded_dirty_limit_ = kDefaultDecodedDirtyLimit;
  size_t leaf_bytes_ = 0;  // running estimate of a decoded changed leaf's memory
  uint64_t log_area_kept_ = kDefaultLogAreaKept;
  std::vector<uint32_t> freed_;             // units of pages that left the tree
  std::map<uint32_t, uint64_t> relocated_;  // own address -> position in the log
  LogQuestion question_;

  // Optimistic read state (container_optimistic.cc).
  bool optimistic_ = false;
  bool optimistic_locked_ = false;
  int optimistic_abort_ = 0;
  ReaderLockTaker reader_lock_taker_;

  // Save state.
  Stage stage_ = Stage::kIdle;
  uint64_t old_end_ = 0;
  std::vector<Pending> pending_;  // logged images still to be written home
  // The log of the last save as it was written, in runs of at most 1 MiB;
  // phase 2 writes the pending images home from here.
  std::vector<std::string> log_chunks_;
  size_t log_runs_ = 0;     // chunks of log_chunks_ the last save used
  FileHeader committed_;    // the new header (with log pointers)
  FileHeader before_save_;  // the header before phase 1 (for AbandonLog)
  int write_error_ = 0;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_CONTAINER_H_
