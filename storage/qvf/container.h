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
//
// The container is written as one facade over parts that each keep their own
// invariants: the pages in memory (pager.h), the log of a save (save_log.h),
// the header as last seen and its mapping (header_view.h) and where an
// optimistic read stands (optimistic_gate.h). Its own code: opening, raw
// I/O and pages (container.cc), the save's two phases and its crash-safety
// invariants (container_save.cc), the header and a log found in the file
// (container_header.cc), optimistic reads (container_optimistic.cc), and
// placement into regions (container_regions.cc).
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
#include "storage/qvf/header_view.h"
#include "storage/qvf/optimistic_gate.h"
#include "storage/qvf/page_cache.h"
#include "storage/qvf/pager.h"
#include "storage/qvf/save_log.h"

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

  [[nodiscard]] int Open(const std::string& path, uint32_t flags);
  // Saves pending changes (returning the save's status), drops the cache and
  // closes the handle.
  [[nodiscard]] int Close();
  bool read_only() const { return read_only_; }

  // Re-reads the header when the file is shared (or not yet read); drops the
  // cache when another writer has saved; finds a committed log and applies
  // or abandons it.
  [[nodiscard]] int Refresh();

  // The page at `unit` (negative: a provisional page made by NewPage), or
  // nullptr after an internal error.
  Page* GetPage(int64_t unit);
  // The page at `unit` only when it is cached and decoded (no read, no use
  // counted).
  Page* PeekPage(int64_t unit) const { return pager_.Peek(unit); }
  // A new empty page with the next provisional number; dirty.
  Page* NewPage(int level);
  void MarkDirty(Page* page);
  // Parks the least recently used dirty leaves beyond the decoded limit,
  // raised by the memory the retired tier gave up since the changes began
  // (see page_cache.h). Only call it when no Page pointer is held: the tree
  // calls it at the start of each change.
  void ParkColdPages();
  // The limit of this container (reset to the process default by Open).
  void SetDecodedDirtyLimit(size_t pages) { pager_.SetDecodedDirtyLimit(pages); }
  static constexpr size_t kDefaultDecodedDirtyLimit = Pager::kDefaultDecodedDirtyLimit;
  // The limit containers take when opened (tools and benchmarks change it).
  static size_t DefaultDecodedDirtyLimit() { return Pager::DefaultDecodedDirtyLimit(); }
  static void SetDefaultDecodedDirtyLimit(size_t pages) {
    Pager::SetDefaultDecodedDirtyLimit(pages);
  }
  // Removes a page that left the tree; its unit is reclaimed at the next save.
  void FreePage(Page* page);

  int64_t root() const { return root_; }
  void SetRoot(int64_t unit) {
    root_ = unit;
    header_dirty_ = true;
  }

  // Both phases of the save. Nothing happens when nothing changed.
  [[nodiscard]] int Save();
  // Phase 1: log written and committed. Phase 2: log applied at home.
  // Phase 2 answers 0 when it cannot finish too: the save is durable once
  // committed, and the next save or the next opener applies the log (until
  // then this handle reads its pages through the log in the file).
  [[nodiscard]] int SavePhase1();
  [[nodiscard]] int SavePhase2();
  // Drops a log committed by SavePhase1 that phase 2 must not apply (a
  // transaction over several files failed): the header at offset 0 gets its
  // log pointers reset, which restores the state before the save.
  [[nodiscard]] int AbandonLog();
  // Drops all changes and forces the header to be read again.
  [[nodiscard]] int Discard();
  // Discard after a failure the caller reports itself. Its own status may
  // go: should the header not be read again, it stays unread (or the
  // container failed) and the next Refresh meets that.
  void DiscardAfterFailure() { (void)Discard(); }
  // Sets the file length to the end of data (not while a log is pending).
  [[nodiscard]] int Truncate();
  // A log area left behind by a save is cut off once it is larger than this
  // (see invariant 7 in container_save.cc); smaller ones are kept for reuse.
  static constexpr uint64_t kDefaultLogAreaKept = 1u << 20;
  void SetLogAreaKept(uint64_t bytes) { log_area_kept_ = bytes; }
  // Adds one to the id counter and returns it in `*id`.
  [[nodiscard]] int NextIdentifier(uint32_t* id);

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
  using ReaderLockTaker = qvf::ReaderLockTaker;
  static constexpr int kRetryUnderLock = -1;
  bool BeginOptimisticRead(ReaderLockTaker take_reader_lock);
  [[nodiscard]] int EndOptimisticRead();
  bool optimistic() const { return gate_.active(); }
  bool optimistic_locked() const { return gate_.locked(); }

  const FileHeader& header() const { return header_; }
  // The read path this shared file got at Open, and why.
  const env::ReadPath& read_path() const { return read_path_; }

  // While on, a page read at home reads this much from its start (the end
  // of data permitting), and the rest is kept ahead for the misses that
  // follow (pager.h, invariant 4). Off, each page is read alone and what was
  // kept ahead is let go. The driver turns it on for the calls of a declared
  // read run (a scan), whose misses are many and mostly neighbours.
  void SetReadAhead(bool on) {
    if (!on) pager_.DropAhead();
    read_ahead_ = on;
  }
  // The open file, for the driver's byte-range locks (nullptr when closed).
  env::File* file() const { return file_.get(); }
  env::Env* environment() const { return env_; }
  bool failed() const { return failed_; }
  // What a failed container answers: 36 after a broken structure, the
  // system error (330 Read Fault, ...) after a read the disk refused.
  int failure_code() const { return failure_code_; }
  size_t cached_pages() const { return pager_.cache().size(); }
  size_t dirty_pages() const { return pager_.cache().dirty_count(); }
  size_t parked_pages() const { return pager_.cache().parked_count(); }
  size_t clean_pages() const { return pager_.cache().clean_count(); }
  size_t retired_pages() const { return pager_.cache().retired_count(); }
  uint64_t access_counter() const { return pager_.cache().counter(); }

 private:
  using Stage = SaveLog::Stage;

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
  [[nodiscard]] int CheckLengthFor(const FileHeader& h);
  // Before a save writes anything: the file's name must still lead to the
  // open file (302 otherwise: what would be written reaches nobody who opens
  // the table), and the file must hold what the header in memory says it
  // holds (invariant 11). `*length` receives the file's length.
  [[nodiscard]] int CheckFileBeforeWriting(uint64_t* length);
  // Raw I/O: multiples of 64 bytes only.
  // `page`: a page read, for which the system reads the block around it
  // when it is not in its cache (File::ReadAtAround).
  bool ReadRaw(uint64_t offset, void* buffer, size_t length, bool page = false);
  // As ReadRaw, content with `need` of the `length` bytes (a read ahead that
  // meets the end of the file); `*got` receives how many came.
  bool ReadRawAtLeast(uint64_t offset, void* buffer, size_t length, size_t need, bool page,
                      size_t* got);
  static constexpr size_t kReadAroundBlock = 128 << 10;
  // A page read at home while read-ahead is on reads this much from its
  // start (the end of data permitting); see SetReadAhead.
  static constexpr size_t kReadAheadBytes = 128 << 10;
  // The bytes from `home` on, at least `length` of them (the page); empty
  // after a failure, which fails the container.
  std::string ReadAheadOf(uint64_t home, size_t length);
  // The page `unit` decoded from its `length` bytes and filed; nullptr after
  // a failure.
  Page* Decoded(int64_t unit, const uint8_t* bytes, size_t length);
  void WriteRaw(uint64_t offset, std::string_view data);
  [[nodiscard]] int SyncFile();
  [[nodiscard]] int TakeWriteError();

  // Refresh's decision: the header `h` just read leaves the cache valid.
  bool CacheStillValidFor(const FileHeader& h) const;
  [[nodiscard]] int LoadLog(const FileHeader& at_zero);
  [[nodiscard]] int CopyLogHome();
  // The log's pages copied home, then a header at zero that holds no log;
  // the pages read through the log are forgotten either way.
  [[nodiscard]] int EmptyLogAtHome();
  [[nodiscard]] int WriteHeaderAtZero(const FileHeader& h);
  // Applies a committed log at home; an error when it could not (the log
  // stays committed in the file, and its pages are read through it).
  [[nodiscard]] int ApplyCommittedLog();
  // Before a new log: a log this handle reads through is copied home.
  [[nodiscard]] int CopyReadLogHome();
  // Phase 1 after placement: the log and the pages beyond the old end
  // written, then the logged header and the commit. 0 or the failure, the
  // failure undone (invariants 5 and 8).
  [[nodiscard]] int WriteAndCommit(uint64_t length_before);
  // Phase 1's failure: the commit undone when it may have reached the disk,
  // the growth given back, the changes dropped.
  [[nodiscard]] int UndoFailedCommit(int failure, uint64_t length_before);
  // Shortens the file to `end_of_data` when more than log_area_kept_ bytes
  // lie beyond it (after phase 2 only).
  void CutLogArea(uint64_t end_of_data);
  // Phase 1's page writes: the log (kept for phase 2) and the pages beyond
  // the old end. 0 or the failure.
  [[nodiscard]] int WriteChangedPages();
  // The image a save writes for `page`; 0 or the failure.
  [[nodiscard]] int ImageToWrite(Page* page, std::string* image);
  // After a failed phase 2: the committed log's pages are read from the log
  // in the file, and no longer copied home from memory.
  void ReadThroughCommittedLog();
  // Shortens the file back to `length_before` after a failed save.
  void GiveBackGrowth(uint64_t length_before);
  // The pager's drop, and this handle's log of a save with it.
  void DropCache() { pager_.Drop(); }
  // A pager answer: `page`, or nullptr after failing with `check`.
  Page* Checked(Page* page, int check);
  // True when the header in memory is the one decoded from the bytes seen
  // last and nothing of this object's own is unsaved or half saved.
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
  [[nodiscard]] int ClassForImage(Page* page, int* c);
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
  HeaderView seen_;
  // Whether read calls of this shared file may be answered through the
  // mapped header without the reader lock, and why (runtime/env/
  // file_system.h); decided at Open. A file on a network file system reads
  // every page under the lock and its header through the file.
  env::ReadPath read_path_;
  bool read_ahead_ = false;
  int64_t root_ = kNoRootUnit;
  // Images encoded by placement, kept for the writes of the same save up to
  // a bound on the memory they hold (each save has its own number).
  static constexpr size_t kPlacedImageBudget = size_t{2} << 20;
  uint64_t save_number_ = 0;
  size_t placed_bytes_ = 0;
  Pager pager_;
  uint64_t log_area_kept_ = kDefaultLogAreaKept;
  // Pages read through a committed log: own address -> position in the log.
  std::map<uint32_t, uint64_t> relocated_;
  LogQuestion question_;
  OptimisticGate gate_;
  SaveLog log_;
  int write_error_ = 0;
};

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_CONTAINER_H_
