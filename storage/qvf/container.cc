// Crash-safety invariants of the save (checked in WriteRaw under
// VORSANDT_CHECKS; a violation is internal error kCheckWriteOrder):
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
#include "storage/qvf/container.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "runtime/files/error_codes.h"
#include "storage/qvf/internal_error.h"

namespace vorsandt::qvf {

using files::kFileNotOpen;
using files::kInvalidDataFile;
using files::kSystemErrorBase;

namespace {
std::atomic<size_t> g_decoded_dirty_limit{Container::kDefaultDecodedDirtyLimit};

// Writes to consecutive offsets are gathered into one system call of at most
// this many bytes (a page per call cost more in system-call overhead than in
// copying). A save writes its pages in unit order, so the pages beyond the
// old end of data form one run and the log a run of its own.
constexpr size_t kRunLimit = 1u << 20;
// Dirty pages beyond which a save is expected to log a megabyte or so.
constexpr size_t kLargeSave = 64;
}  // namespace

size_t Container::DefaultDecodedDirtyLimit() {
  return g_decoded_dirty_limit.load(std::memory_order_relaxed);
}

void Container::SetDefaultDecodedDirtyLimit(size_t pages) {
  g_decoded_dirty_limit.store(pages, std::memory_order_relaxed);
}

Container::Container(env::Env* env) : env_(env) {}

Container::~Container() {
  if (file_ != nullptr) Close();
}

int Container::Fail(int check) {
  failed_ = true;
  failure_code_ = kInvalidDataFile;
  InternalError(check);
  return kInvalidDataFile;
}

int Container::FailRead(int errnum) {
  // Not a broken structure but a disk that could not be read: the program
  // is told so in the words of the system error (330 Read Fault for an I/O
  // error) instead of stopping with an internal error. What was read so far
  // cannot be trusted, so the container refuses further work like after a
  // broken structure until the file is opened again.
  failed_ = true;
  failure_code_ = kSystemErrorBase + files::MapErrno(errnum, false);
  return failure_code_;
}

int Container::FailDamaged() {
  failed_ = true;
  failure_code_ = kInvalidDataFile;
  return failure_code_;
}

int Container::CheckFileBeforeWriting(uint64_t* length) {
  if (int e = file_->NamedBy(path_); e != 0) {
    // Deleted, renamed away or renamed over: a save would be reported done
    // and be found by nobody. The change is refused before anything is
    // written; the file is still there to be read.
    if (e == ENOENT || e == ESTALE) return kSystemErrorBase + files::kFileNotFound;
    return kSystemErrorBase + files::MapErrno(e, false);
  }
  if (int e = file_->Size(length); e != 0) return FailRead(e);
  // A file that has never had a header (new and empty) holds nothing yet.
  if (!last_raw_valid_ && header_.change_counter == 0) return 0;
  uint64_t needed = header_.EndOfData();
  if (header_.LogPending()) needed = std::max<uint64_t>(needed, header_.log_end);
  return *length < needed ? FailDamaged() : 0;
}

int Container::Open(const std::string& path, uint32_t flags) {
  if (file_ != nullptr) Close();
  read_only_ = (flags & kReadOnly) != 0;
  shared_ = (flags & kShared) != 0;
  writer_ = !read_only_;
  failed_ = false;
  failure_code_ = kInvalidDataFile;
  header_loaded_ = false;
  header_dirty_ = false;
  root_ = kNoRootUnit;
  next_provisional_ = -1;
  stage_ = Stage::kIdle;
  write_error_ = 0;
  decoded_dirty_limit_ = DefaultDecodedDirtyLimit();
  cache_.Clear();
  freed_.clear();
  relocated_.clear();
  view_.reset();
  view_refused_ = false;
  last_raw_valid_ = false;
  optimistic_ = false;
  optimistic_locked_ = false;
  optimistic_abort_ = 0;
  uint32_t env_flags = read_only_ ? env::kOpenReadOnly : env::kOpenReadWrite;
  if ((flags & kCreate) != 0 && !read_only_) env_flags |= env::kOpenCreate;
  if (int e = env_->Open(path, env_flags, &file_); e != 0) {
    file_.reset();
    // Creating writes the folder: an I/O error there is a write fault.
    return kSystemErrorBase + files::MapErrno(e, (env_flags & env::kOpenCreate) != 0);
  }
  path_ = path;
  // A shared file on a network file system is never trusted through a
  // mapping (file_system.h): without a view every read call takes the
  // reader lock and reads the header through the file.
  read_path_ = shared_ ? env::ChooseReadPath(file_.get()) : env::ReadPath{true, "not shared"};
  view_refused_ = !read_path_.lock_free;
  int r = Refresh();
  if (r != 0) {
    file_.reset();
    cache_.Clear();
  }
  return r;
}

int Container::Close() {
  if (file_ == nullptr) return 0;
  int r = 0;
  if (!failed_ && !read_only_) r = Save();
  cache_.Clear();
  freed_.clear();
  relocated_.clear();
  view_.reset();
  file_.reset();
  header_loaded_ = false;
  return r;
}

// --- Raw I/O ---

bool Container::ReadRaw(uint64_t offset, void* buffer, size_t length, bool page) {
  if (length % kTransferGrain != 0) {
    Fail(kCheckTransferLength);
    return false;
  }
  CheckNoReadOutsideLock();
  if (failed_) return false;
  size_t got = 0;
  // A page missing from the cache is seldom the last one read near it.
  const int e = page ? file_->ReadAtAround(offset, buffer, length, &got, kReadAroundBlock)
                     : file_->ReadAt(offset, buffer, length, &got);
  if (e != 0) {
    FailRead(e);
    return false;
  }
  if (got != length) {
    // Every page read lies inside the end of data or the log the header
    // names: the file was cut from outside (invariant 11).
    FailDamaged();
    return false;
  }
  return true;
}

void Container::WriteRaw(uint64_t offset, std::string_view data) {
  CheckNoChangeInOptimisticRead();
  if (write_error_ != 0 || failed_) return;  // skipped until the error is collected
  if (read_only_) {
    Fail(kCheckReaderWrite);
    return;
  }
  if (data.size() % kTransferGrain != 0) {
    Fail(kCheckTransferLength);
    return;
  }
#ifdef VORSANDT_CHECKS
  bool in_order = false;
  switch (stage_) {
    case Stage::kLogging:
      in_order = offset >= old_end_;  // invariant 1
      break;
    case Stage::kCommitting:
    case Stage::kUndoing:
      in_order = offset == 0;  // invariants 2, 3 and 5
      break;
    case Stage::kApplying:
      in_order = true;  // invariant 4
      break;
    case Stage::kIdle:
    case Stage::kCommitted:
      in_order = false;
      break;
  }
  if (!in_order) {
    Fail(kCheckWriteOrder);
    return;
  }
#endif
  size_t written = 0;
  int e = file_->WriteAt(offset, data.data(), data.size(), &written);
  if (e != 0) {
    // A write cut short says why it stopped (a full disk is 339, not an
    // access problem); one cut short without a reason is a write fault.
    write_error_ = kSystemErrorBase + files::MapErrno(e, true);
  }
}

int Container::SyncFile() {
  if (int e = file_->Sync(); e != 0) return kSystemErrorBase + files::MapErrno(e, true);
  return 0;
}

int Container::TakeWriteError() {
  if (failed_) return failure_code_;
  return std::exchange(write_error_, 0);
}

int Container::WriteHeaderAtZero(const FileHeader& h) {
  std::string bytes(kHeaderSize, '\0');
  EncodeHeader(h, reinterpret_cast<uint8_t*>(bytes.data()));
  WriteRaw(0, bytes);
  if (int r = TakeWriteError(); r != 0) return r;
  return SyncFile();
}

// --- Pages ---

Page* Container::GetPage(int64_t unit) {
  if (failed_ || file_ == nullptr) return nullptr;
  if (Page* p = cache_.Find(unit)) {
    cache_.Touch(p);
    return Unparked(p);
  }
  if (unit < 0 || unit > 0xFFFFFFFFll) {
    Fail(kCheckProvisionalMissing);
    return nullptr;
  }
  const int c = header_.ClassOf(static_cast<uint32_t>(unit));
  if (c == 0 || (unit - header_.start[c]) % c != 0) {
    Fail(kCheckPageNotInRegion);
    return nullptr;
  }
  cache_.EvictBeforeFetch();
  if (Page* p = cache_.Revive(unit)) return Unparked(p);
  // The page must be read: an optimistic read takes the lock first.
  if (optimistic_ && !optimistic_locked_ && !LeaveOptimisticForMiss()) return nullptr;
  const uint64_t home = HomeAddress(static_cast<uint32_t>(unit));
  uint64_t offset = home;
  if (auto it = relocated_.find(static_cast<uint32_t>(home)); it != relocated_.end()) {
    offset = it->second;
  }
  std::string buffer(static_cast<size_t>(c) * kUnitSize, '\0');
  if (!ReadRaw(offset, buffer.data(), buffer.size(), true)) return nullptr;
  PageData data;
  if (int r = DecodePage(reinterpret_cast<const uint8_t*>(buffer.data()), buffer.size(),
                         static_cast<uint32_t>(unit), &data);
      r != 0) {
    Fail(r);
    return nullptr;
  }
  return cache_.Add(unit, std::move(data), false);
}

Page* Container::Unparked(Page* page) {
  if (!page->parked) return page;
  if (int r = cache_.Unpark(page); r != 0) {
    Fail(r);
    return nullptr;
  }
  return page;
}

size_t Container::DecodedDirtyLimit() {
  const size_t given_up = cache_.RetiredBytesGivenUp();
  if (given_up == 0) return decoded_dirty_limit_;
  // What a decoded changed leaf holds, followed over the coldest ones (the
  // next to be parked), so that the memory given up converts into pages.
  const size_t sample = PageFootprint(*cache_.ColdestDirty());
  leaf_bytes_ = std::max<size_t>(leaf_bytes_ == 0 ? sample : (leaf_bytes_ * 7 + sample) / 8, 1);
  return decoded_dirty_limit_ + given_up / leaf_bytes_;
}

void Container::ParkColdPages() {
  if (failed_ || cache_.decoded_dirty_count() <= decoded_dirty_limit_) return;
  const size_t limit = DecodedDirtyLimit();
  std::string image;
  // Non-leaf pages (and the rare leaf that cannot be encoded now) go to the
  // recently used end instead; the bound stops a list of such pages.
  size_t skipped = 0;
  while (cache_.decoded_dirty_count() > limit && skipped < cache_.decoded_dirty_count()) {
    Page* p = cache_.ColdestDirty();
    if (p->data.level != 0 || p->data.empty() || EncodePage(p->data, 0, &image) != 0) {
      cache_.TouchDirty(p);
      ++skipped;
      continue;
    }
    cache_.Park(p, std::move(image));
    image.clear();
  }
  const size_t extra =
      cache_.decoded_dirty_count() - std::min(cache_.decoded_dirty_count(), decoded_dirty_limit_);
  cache_.Lend(std::min(cache_.RetiredBytesGivenUp(), extra * leaf_bytes_));
}

Page* Container::NewPage(int level) {
  CheckNoChangeInOptimisticRead();
  PageData data;
  data.level = level;
  return cache_.Add(next_provisional_--, std::move(data), true);
}

void Container::MarkDirty(Page* page) {
  CheckNoChangeInOptimisticRead();
  cache_.MarkDirty(page);
}

void Container::FreePage(Page* page) {
  CheckNoChangeInOptimisticRead();
  if (page->unit >= 0) freed_.push_back(static_cast<uint32_t>(page->unit));
  cache_.Remove(page);
}

// --- Save ---

int Container::Save() {
  if (int r = SavePhase1(); r != 0) return r;
  return SavePhase2();
}

int Container::SavePhase1() {
  if (failed_) return failure_code_;
  if (file_ == nullptr) return kFileNotOpen;
  if (stage_ == Stage::kCommitted) {
    // A committed log not yet applied would be overwritten by a new one.
    if (int r = ApplyCommittedLog(); r != 0) return r;
  }
  if (!cache_.has_dirty() && freed_.empty() && !header_dirty_) return 0;
  if (read_only_) return Fail(kCheckReaderWrite);
  // What the file held before this save; a save that fails before its
  // commit gives back whatever it grew (invariant 8).
  uint64_t length_before = 0;
  if (int r = CheckFileBeforeWriting(&length_before); r != 0) return r;
  if (!relocated_.empty()) {
    // Pages were read through a committed log (reader mode); copy it home
    // before a new log takes its place.
    stage_ = Stage::kApplying;
    int r = CopyLogHome();
    if (r == 0) {
      header_.log_start = header_.log_end = static_cast<uint32_t>(header_.EndOfData());
      r = WriteHeaderAtZero(header_);
    }
    stage_ = Stage::kIdle;
    relocated_.clear();
    if (r != 0) {
      Discard();
      return r;
    }
  }
  before_save_ = header_;
  old_end_ = header_.EndOfData();
  if (!PlacePages()) return failure_code_;
  header_.root = root_ == kNoRootUnit ? kNoRoot : static_cast<uint32_t>(root_);
  const uint64_t log = std::max<uint64_t>(header_.EndOfData(), old_end_);
  if (log + kMaxPageSize > 0xFFFFFFFFull) return Fail(kCheckRegions);
  header_.log_start = header_.log_end = static_cast<uint32_t>(log);
  header_.change_counter++;

  stage_ = Stage::kLogging;
  DropPending();
  if (int r = WriteChangedPages(); r != 0) return r;
  // The logged header already carries the final log end.
  const uint64_t header_pos = header_.log_end;
  header_.log_end += kHeaderSize;
  std::string bytes(kHeaderSize, '\0');
  EncodeHeader(header_, reinterpret_cast<uint8_t*>(bytes.data()));
  WriteRaw(header_pos, bytes);
  int r = TakeWriteError();
  if (r == 0) r = SyncFile();
  if (r == 0) {
    stage_ = Stage::kCommitting;
    FileHeader commit = before_save_;
    commit.log_start = header_.log_start;
    commit.log_end = header_.log_end;
    EncodeHeader(commit, reinterpret_cast<uint8_t*>(bytes.data()));
    WriteRaw(0, bytes);
    r = TakeWriteError();
    if (r == 0) r = SyncFile();
  }
  if (r != 0 || failed_) {
    const bool maybe_committed = stage_ == Stage::kCommitting;
    DropPending();
    if (failed_) {
      stage_ = Stage::kIdle;
      return failure_code_;
    }
    if (maybe_committed) {
      stage_ = Stage::kUndoing;
      write_error_ = 0;
      if (WriteHeaderAtZero(before_save_) != 0) {
        // Nobody can tell which header the disk holds now.
        stage_ = Stage::kIdle;
        failed_ = true;
        return r;
      }
    }
    stage_ = Stage::kIdle;
    GiveBackGrowth(length_before);
    Discard();
    return r;
  }
  stage_ = Stage::kCommitted;
  committed_ = header_;
  cache_.MarkAllClean();
  header_dirty_ = false;
  freed_.clear();
  next_provisional_ = -1;
  return 0;
}

// Phase 1's page writes: every changed page in unit order, those whose home
// lies in committed data to the log (kept in log_chunks_ for phase 2), the
// others straight home (invariant 1). Returns 0 or the failure.
int Container::WriteChangedPages() {
  std::vector<Page*> pages = cache_.DirtyPages();
  std::sort(pages.begin(), pages.end(), [](Page* a, Page* b) { return a->unit < b->unit; });
  std::string image;
  // Pages beyond the old end go straight home, gathered into runs.
  uint64_t run_start = 0;
  std::string run;
  auto flush_run = [&] {
    if (!run.empty()) WriteRaw(run_start, run);
    run.clear();
  };
  uint64_t chunk_start = header_.log_end;
  for (Page* p : pages) {
    if (p->unit < 0) return Fail(kCheckRegions);
    if (p->parked) {
      // The parked image differs from a fresh encoding only in its own address.
      image = p->image;
      PutU32(reinterpret_cast<uint8_t*>(image.data()) + kPgOwnAddress,
             static_cast<uint32_t>(HomeAddress(static_cast<uint32_t>(p->unit))));
    } else if (!TakePlacedImage(p, &image)) {
      if (int r = EncodePage(p->data, static_cast<uint32_t>(p->unit), &image); r != 0) {
        return Fail(r);
      }
    }
    const uint64_t home = HomeAddress(static_cast<uint32_t>(p->unit));
    if (home < old_end_) {
      if (log_runs_ == 0 || log_chunks_[log_runs_ - 1].size() + image.size() > kRunLimit) {
        if (log_runs_ > 0) WriteRaw(chunk_start, log_chunks_[log_runs_ - 1]);
        chunk_start = header_.log_end;
        if (log_runs_ == log_chunks_.size()) log_chunks_.emplace_back();
        // A large save fills whole runs: room for one at once, not by doubling.
        if (pages.size() > kLargeSave) log_chunks_[log_runs_].reserve(kRunLimit);
        ++log_runs_;
      }
      std::string& chunk = log_chunks_[log_runs_ - 1];
      pending_.push_back({home, static_cast<uint32_t>(log_runs_ - 1),
                          static_cast<uint32_t>(chunk.size()),
                          static_cast<uint32_t>(image.size())});
      chunk.append(image);
      header_.log_end += static_cast<uint32_t>(image.size());
    } else {
      if (!run.empty() &&
          (run_start + run.size() != home || run.size() + image.size() > kRunLimit)) {
        flush_run();
      }
      if (run.empty()) run_start = home;
      run.append(image);
    }
  }
  if (log_runs_ > 0) WriteRaw(chunk_start, log_chunks_[log_runs_ - 1]);
  flush_run();
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
  if (stage_ != Stage::kCommitted) return 0;
  stage_ = Stage::kApplying;
  // Pages next to each other at home and in the log go out in one write,
  // straight from the log's bytes.
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
    WriteRaw(first.home, std::string_view(log_chunks_[first.chunk]).substr(first.at, length));
    i = j;
  }
  std::string bytes(kHeaderSize, '\0');
  EncodeHeader(committed_, reinterpret_cast<uint8_t*>(bytes.data()));
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
  DropPending();
  stage_ = Stage::kIdle;
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
  relocated_.clear();
  uint64_t at = committed_.log_start;
  for (size_t k = 0, i = 0; k < log_runs_; ++k) {
    for (; i < pending_.size() && pending_[i].chunk == k; ++i) {
      relocated_[static_cast<uint32_t>(pending_[i].home)] = at + pending_[i].at;
    }
    at += log_chunks_[k].size();
  }
  relocated_[0] = committed_.log_end - kHeaderSize;
  DropPending();
  stage_ = Stage::kIdle;
}

void Container::GiveBackGrowth(uint64_t length_before) {
  uint64_t length = 0;
  if (file_->Size(&length) != 0 || length <= length_before) return;
  // Failing to shorten the file loses nothing: the bytes beyond the
  // committed end of data mean nothing and the next save writes over them.
  file_->Truncate(length_before);
}

void Container::CutLogArea(uint64_t end_of_data) {
  uint64_t length = 0;
  if (file_->Size(&length) != 0 || length <= end_of_data) return;
  if (length - end_of_data <= log_area_kept_) return;
  // Failing to shorten the file loses nothing: the next save reuses the area.
  file_->Truncate(end_of_data);
}

int Container::AbandonLog() {
  if (stage_ != Stage::kCommitted) return 0;
  stage_ = Stage::kApplying;
  FileHeader h = before_save_;
  h.log_start = h.log_end = static_cast<uint32_t>(h.EndOfData());
  int r = WriteHeaderAtZero(h);
  stage_ = Stage::kIdle;
  DropPending();
  int d = Discard();
  return r != 0 ? r : d;
}

int Container::Discard() {
  CheckNoChangeInOptimisticRead();
  cache_.Clear();
  freed_.clear();
  relocated_.clear();
  DropPending();
  header_loaded_ = false;
  header_dirty_ = false;
  root_ = kNoRootUnit;
  next_provisional_ = -1;
  stage_ = Stage::kIdle;
  write_error_ = 0;
  if (file_ == nullptr) return 0;
  return Refresh();
}

int Container::Truncate() {
  if (failed_) return failure_code_;
  if (file_ == nullptr) return kFileNotOpen;
  if (read_only_) return Fail(kCheckReaderWrite);
  if (stage_ != Stage::kIdle || header_.LogPending() || !relocated_.empty()) return 0;
  uint64_t length = 0;
  if (int e = file_->Size(&length); e != 0) return FailRead(e);
  // A file cut below its end of data would be lengthened with zero bytes
  // where its pages were (invariant 11).
  if (length < header_.EndOfData() && (last_raw_valid_ || header_.change_counter != 0)) {
    return FailDamaged();
  }
  if (int e = file_->Truncate(header_.EndOfData()); e != 0) {
    return kSystemErrorBase + files::MapErrno(e, true);
  }
  return 0;
}

int Container::NextIdentifier(uint32_t* id) {
  CheckNoChangeInOptimisticRead();
  if (failed_) return failure_code_;
  if (file_ == nullptr) return kFileNotOpen;
  if (read_only_) return Fail(kCheckReaderWrite);
  if (int r = Refresh(); r != 0) return r;
  auto& b = header_.id_counter;
  for (int i = 3; i >= 0; --i) {
    if (++b[i] != 0) break;
  }
  if (b[0] >= 0xFE) return Fail(kCheckIdOverflow);
  header_dirty_ = true;
  *id = GetU32Big(b.data());
  return 0;
}

}  // namespace vorsandt::qvf
