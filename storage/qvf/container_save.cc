// The save's two phases: phase 1 writes the log and commits it, phase 2
// copies the logged pages home. Where a save writes its log: SavePhase1,
// through WriteChangedPages, which hands each changed page whose home lies
// in committed data to the save's log (save_log.h) and writes the others
// straight home.
//
// Crash-safety invariants of the save (checked in WriteRaw under
// VORSANDT_CHECKS through SaveLog::WriteAllowed; a violation is internal
// error kCheckWriteOrder):
//
//  1. Phase 1 writes nothing below the old end of data: changed pages whose
//     home lies in committed data, and the new header, go to the log beyond
//     max(old end, new end); pages beyond the old end go straight home.
//  2. The log is flushed before the header at offset 0 is touched.
//  3. The header at offset 0 is written in phase 1 only as the old header
//     with the new log pointers, and flushed: that flush commits the save.
//  4. Home copies of logged pages and the new header at offset 0 are written
//     only after the commit (phase 2 or recovery), then flushed before the
//     log pointers are reset in a last header write, flushed again.
//  5. A failed write skips every later write of the save. When the failure
//     came before the commit header was written, the header at offset 0 is
//     not touched again, so the file keeps its last committed state. When the
//     commit header's own write or flush failed, it may have reached the disk
//     all the same; the old header is written back and flushed so that a
//     save reported failed is never found committed later. If even that
//     fails, the container refuses further work until the file is reopened.
//  6. A failure after the commit (phase 2) is not a failure of the save: the
//     committed log is applied by the next save or the next opener. Until
//     then the handle reads the logged pages through the log in the file and
//     keeps no images of its own to copy home: another handle may apply the
//     log first and save on top of it.
//  7. Once phase 2 has reset the log pointers and flushed, a log area larger
//     than the kept size (1 MiB by default) is cut off the end of the file.
//     Saves run under the writer lock, so no reader is inside a call; a
//     reader that took in the log earlier drops it at its next refresh,
//     because the header at offset 0 no longer shows a log. The cut is not
//     flushed: a crash may leave the file longer, and the bytes beyond the
//     end of data mean nothing. Small log areas stay, so that a run of small
//     saves does not change the file's length every time.
//
//  8. A save that fails before its commit (the header at offset 0 still the
//     old one, or written back) shortens the file to the length it had
//     before the save: pages written beyond the old end and the log area
//     belong to no committed state, and a failed large save on a full disk
//     would otherwise keep the disk full.
//
//  9. and 10. (the header seen through a mapping, optimistic reads): see
//     container_header.cc and container_optimistic.cc.
// 11. (a file shorter than its header says is damaged): see
//     container_header.cc. Before a save writes anything, the file must
//     also still be the one its name leads to: a file deleted or replaced
//     under the program refuses the save (302), so a save is never reported
//     done while nobody who opens the table can find it.
//
// So a crash at any point leaves either the old state (log not committed:
// the header at offset 0 is the old one and the log area lies beyond its end
// of data) or the new one (log committed: the next opener copies it home).
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/files/error_codes.h"
#include "storage/qvf/container.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

using files::kFileNotOpen;

namespace {
// Dirty pages beyond which a save is expected to log a megabyte or so.
constexpr size_t kLargeSave = 64;
}  // namespace

int Container::Save() {
  if (int r = SavePhase1(); r != 0) return r;
  return SavePhase2();
}

int Container::SavePhase1() {
  if (failed_) return failure_code_;
  if (file_ == nullptr) return kFileNotOpen;
  if (log_.stage() == Stage::kCommitted) {
    // A committed log not yet applied would be overwritten by a new one.
    if (int r = ApplyCommittedLog(); r != 0) return r;
  }
  if (!pager_.changed() && !header_dirty_) return 0;
  if (read_only_) return Fail(kCheckReaderWrite);
  // What the file held before this save; a save that fails before its
  // commit gives back whatever it grew (invariant 8).
  uint64_t length_before = 0;
  if (int r = CheckFileBeforeWriting(&length_before); r != 0) return r;
  if (int r = CopyReadLogHome(); r != 0) return r;
  log_.Begin(header_);
  if (!PlacePages()) return failure_code_;
  header_.root = root_ == kNoRootUnit ? kNoRoot : static_cast<uint32_t>(root_);
  const uint64_t log = std::max<uint64_t>(header_.EndOfData(), log_.old_end());
  if (log + kMaxPageSize > 0xFFFFFFFFull) return Fail(kCheckRegions);
  header_.log_start = header_.log_end = static_cast<uint32_t>(log);
  header_.change_counter++;
  log_.StartLogging(log);
  if (int r = WriteAndCommit(length_before); r != 0) return r;
  log_.Committed(header_);
  pager_.SaveDone();
  header_dirty_ = false;
  return 0;
}

int Container::CopyReadLogHome() {
  if (relocated_.empty()) return 0;
  // Pages were read through a committed log (reader mode); copy it home
  // before a new log takes its place.
  int r = EmptyLogAtHome();
  if (r != 0) {
    DiscardAfterFailure();
  }
  return r;
}

int Container::WriteAndCommit(uint64_t length_before) {
  if (int r = WriteChangedPages(); r != 0) return r;
  // The logged header already carries the final log end.
  const uint64_t header_pos = log_.end();
  log_.AddHeader();
  header_.log_end = static_cast<uint32_t>(log_.end());
  std::string bytes(kHeaderSize, '\0');
  EncodeHeader(header_, reinterpret_cast<uint8_t*>(bytes.data()));
  WriteRaw(header_pos, bytes);
  int r = TakeWriteError();
  if (r == 0) r = SyncFile();
  if (r == 0) {
    log_.set_stage(Stage::kCommitting);
    FileHeader commit = log_.before();
    commit.log_start = header_.log_start;
    commit.log_end = header_.log_end;
    EncodeHeader(commit, reinterpret_cast<uint8_t*>(bytes.data()));
    WriteRaw(0, bytes);
    r = TakeWriteError();
    if (r == 0) r = SyncFile();
  }
  if (r != 0 || failed_) return UndoFailedCommit(r, length_before);
  return 0;
}

int Container::UndoFailedCommit(int failure, uint64_t length_before) {
  const bool maybe_committed = log_.stage() == Stage::kCommitting;
  log_.Drop();
  if (failed_) return failure_code_;
  if (maybe_committed) {
    log_.set_stage(Stage::kUndoing);
    write_error_ = 0;
    const int undone = WriteHeaderAtZero(log_.before());
    log_.set_stage(Stage::kIdle);
    if (undone != 0) {
      // Nobody can tell which header the disk holds now.
      failed_ = true;
      return failure;
    }
  }
  GiveBackGrowth(length_before);
  DiscardAfterFailure();
  return failure;
}

int Container::ImageToWrite(Page* page, std::string* image) {
  if (page->unit < 0) return Fail(kCheckRegions);
  const auto unit = static_cast<uint32_t>(page->unit);
  if (page->parked) {
    // The parked image differs from a fresh encoding only in its own address.
    *image = page->image;
    PutU32(reinterpret_cast<uint8_t*>(image->data()) + kPgOwnAddress,
           static_cast<uint32_t>(HomeAddress(unit)));
  } else if (!TakePlacedImage(page, image)) {
    if (int r = EncodePage(page->data, unit, image); r != 0) return Fail(r);
  }
  return 0;
}

// Phase 1's page writes: every changed page in unit order, those whose home
// lies in committed data to the log (kept by the save's log for phase 2),
// the others straight home (invariant 1). Returns 0 or the failure.
int Container::WriteChangedPages() {
  std::vector<Page*> pages = pager_.cache().DirtyPages();
  std::sort(pages.begin(), pages.end(), [](Page* a, Page* b) { return a->unit < b->unit; });
  const bool large = pages.size() > kLargeSave;
  std::string image;
  // Pages beyond the old end go straight home, gathered into runs.
  uint64_t run_start = 0;
  std::string run;
  for (Page* p : pages) {
    if (int r = ImageToWrite(p, &image); r != 0) return r;
    const uint64_t home = HomeAddress(static_cast<uint32_t>(p->unit));
    if (log_.Logs(home)) {
      if (log_.RunFull(image.size())) {
        const SaveLog::Run full = log_.LastRun();
        WriteRaw(full.at, full.bytes);
      }
      if (int check = log_.Add(home, image, large); check != 0) return Fail(check);
      continue;
    }
    if (!run.empty() && (run_start + run.size() != home || run.size() + image.size() > kRunLimit)) {
      WriteRaw(run_start, run);
      run.clear();
    }
    if (run.empty()) run_start = home;
    run.append(image);
  }
  if (const SaveLog::Run last = log_.LastRun(); !last.bytes.empty()) WriteRaw(last.at, last.bytes);
  if (!run.empty()) WriteRaw(run_start, run);
  return 0;
}

int Container::SavePhase2() {
  // A committed save stays a finished save; see invariant 6. A log that
  // could not be applied is read through from the file (ApplyCommittedLog),
  // so nothing is lost by not passing its status on.
  (void)ApplyCommittedLog();
  return failed_ ? failure_code_ : 0;
}

int Container::ApplyCommittedLog() {
  if (log_.stage() != Stage::kCommitted) return 0;
  log_.set_stage(Stage::kApplying);
  // Pages next to each other at home and in the log go out in one write,
  // straight from the log's bytes.
  for (const SaveLog::Run& run : log_.HomeRuns()) WriteRaw(run.at, run.bytes);
  std::string bytes(kHeaderSize, '\0');
  EncodeHeader(log_.committed(), reinterpret_cast<uint8_t*>(bytes.data()));
  WriteRaw(0, bytes);
  int r = TakeWriteError();
  if (r == 0) r = SyncFile();
  FileHeader h;
  if (r == 0) {
    uint8_t buf[kHeaderSize];
    if (!ReadRaw(0, buf, kHeaderSize)) {
      r = failure_code_;
    } else if (DecodeHeader(buf, &h) != 0) {
      r = Fail(kCheckReadFailed);
    } else {
      h.log_start = h.log_end = static_cast<uint32_t>(h.EndOfData());
      r = WriteHeaderAtZero(h);
    }
  }
  if (r != 0) {
    // Still committed: the next save (or the next opener) applies the log.
    ReadThroughCommittedLog();
    return r;
  }
  // Only the log pointers change: when a failed phase 2 is finished at the
  // start of the next save, the header in memory already holds that
  // operation's own changes (identifiers handed out, the root).
  header_.log_start = h.log_start;
  header_.log_end = h.log_end;
  log_.Drop();
  CutLogArea(std::max(h.EndOfData(), header_.EndOfData()));
  return 0;
}

// Once the caller lets the writer lock go, another handle may apply this
// log and save on top of it; a later copy home of the images kept here would
// then overwrite its pages. So the images are forgotten, and the pages are
// read through the log in the file, as a reader does (invariant 6): a
// refresh that finds the log applied by someone else drops them, and the
// next save of this handle copies the log home from the file.
void Container::ReadThroughCommittedLog() {
  log_.ReadThrough(&relocated_);
  log_.Drop();
}

void Container::GiveBackGrowth(uint64_t length_before) {
  uint64_t length = 0;
  if (file_->Size(&length) != 0 || length <= length_before) return;
  // Failing to shorten the file loses nothing: the bytes beyond the
  // committed end of data mean nothing and the next save writes over them.
  (void)file_->Truncate(length_before);
}

void Container::CutLogArea(uint64_t end_of_data) {
  uint64_t length = 0;
  if (file_->Size(&length) != 0 || length <= end_of_data) return;
  if (length - end_of_data <= log_area_kept_) return;
  // Failing to shorten the file loses nothing: the next save reuses the area.
  (void)file_->Truncate(end_of_data);
}

int Container::AbandonLog() {
  if (log_.stage() != Stage::kCommitted) return 0;
  log_.set_stage(Stage::kApplying);
  FileHeader h = log_.before();
  h.log_start = h.log_end = static_cast<uint32_t>(h.EndOfData());
  int r = WriteHeaderAtZero(h);
  log_.Drop();
  int d = Discard();
  return r != 0 ? r : d;
}

}  // namespace vorsandt::qvf
