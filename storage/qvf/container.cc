// The container's file, raw I/O and pages: opening and closing, reads and
// writes in 64-byte grains (every write checked against the save's order,
// save_log.h), pages fetched into the pager (pager.h), and the identifier
// counter. The save is in container_save.cc.
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

Container::Container(env::Env* env) : env_(env) {}

Container::~Container() {
  // A destructor has nobody to tell: callers that care close first.
  if (file_ != nullptr) (void)Close();
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
  if (!seen_.remembered() && header_.change_counter == 0) return 0;
  uint64_t needed = header_.EndOfData();
  if (header_.LogPending()) needed = std::max<uint64_t>(needed, header_.log_end);
  return *length < needed ? FailDamaged() : 0;
}

int Container::Open(const std::string& path, uint32_t flags) {
  // Whatever the file open before held was its own to report.
  if (file_ != nullptr) (void)Close();
  read_only_ = (flags & kReadOnly) != 0;
  shared_ = (flags & kShared) != 0;
  writer_ = !read_only_;
  failed_ = false;
  failure_code_ = kInvalidDataFile;
  header_loaded_ = false;
  header_dirty_ = false;
  root_ = kNoRootUnit;
  log_.Drop();
  write_error_ = 0;
  pager_.Reset();
  relocated_.clear();
  seen_.Reset(/*refuse=*/true);
  gate_.Reset();
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
  seen_.Reset(/*refuse=*/!shared_ || !read_path_.lock_free);
  int r = Refresh();
  if (r != 0) {
    file_.reset();
    pager_.cache().Clear();
  }
  return r;
}

int Container::Close() {
  if (file_ == nullptr) return 0;
  int r = 0;
  if (!failed_ && !read_only_) r = Save();
  pager_.Drop();
  relocated_.clear();
  seen_.Unmap();
  file_.reset();
  header_loaded_ = false;
  return r;
}

// --- Raw I/O ---

bool Container::ReadRaw(uint64_t offset, void* buffer, size_t length, bool page) {
  size_t got = 0;
  return ReadRawAtLeast(offset, buffer, length, length, page, &got);
}

bool Container::ReadRawAtLeast(uint64_t offset, void* buffer, size_t length, size_t need,
                               bool page, size_t* got) {
  if (length % kTransferGrain != 0) {
    Fail(kCheckTransferLength);
    return false;
  }
  CheckNoReadOutsideLock();
  if (failed_) return false;
  *got = 0;
  // A page missing from the cache is seldom the last one read near it.
  const int e = page ? file_->ReadAtAround(offset, buffer, length, got, kReadAroundBlock)
                     : file_->ReadAt(offset, buffer, length, got);
  if (e != 0) {
    FailRead(e);
    return false;
  }
  if (*got < need) {
    // Every page read lies inside the end of data or the log the header
    // names: the file was cut from outside (invariant 11).
    FailDamaged();
    return false;
  }
  return true;
}

void Container::WriteRaw(uint64_t offset, std::string_view data) {
  CheckNoChangeInOptimisticRead();
  pager_.DropAhead();  // invariant 4 of the pager: what was kept may be overwritten
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
  if (!log_.WriteAllowed(offset)) {
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

Page* Container::Checked(Page* page, int check) {
  if (check == 0) return page;
  Fail(check);
  return nullptr;
}

Page* Container::GetPage(int64_t unit) {
  if (failed_ || file_ == nullptr) return nullptr;
  int check = 0;
  if (Page* p = pager_.Cached(unit, &check); p != nullptr || check != 0) {
    return Checked(p, check);
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
  if (Page* p = pager_.Revived(unit, &check); p != nullptr || check != 0) {
    return Checked(p, check);
  }
  const uint64_t home = HomeAddress(static_cast<uint32_t>(unit));
  const size_t length = static_cast<size_t>(c) * kUnitSize;
  const auto logged = relocated_.find(static_cast<uint32_t>(home));
  const bool at_home = logged == relocated_.end();
  // Bytes kept ahead belong to the cache's state: an optimistic read may use
  // them as it uses cached pages.
  if (const uint8_t* kept = at_home ? pager_.Ahead(home, length) : nullptr) {
    return Decoded(unit, kept, length);
  }
  // The page must be read: an optimistic read takes the lock first.
  if (gate_.active() && !gate_.locked() && !LeaveOptimisticForMiss()) return nullptr;
  if (!at_home) {
    std::string buffer(length, '\0');
    if (!ReadRaw(logged->second, buffer.data(), length, true)) return nullptr;
    return Decoded(unit, reinterpret_cast<const uint8_t*>(buffer.data()), length);
  }
  std::string bytes = ReadAheadOf(home, length);
  if (bytes.empty()) return nullptr;
  Page* p = Decoded(unit, reinterpret_cast<const uint8_t*>(bytes.data()), length);
  if (p != nullptr && bytes.size() > length) pager_.KeepAhead(home, std::move(bytes));
  return p;
}

std::string Container::ReadAheadOf(uint64_t home, size_t length) {
  // A scan's next pages usually lie right after this one (pages are placed
  // in the order they are made, each size in a region of its own): one call
  // reads them too, as far as the end of data, so that the misses that
  // follow cost no trip to the disk, or to a server on a network folder.
  const uint64_t end = header_.EndOfData();
  uint64_t wanted = read_ahead_ ? std::max<uint64_t>(length, kReadAheadBytes) : length;
  if (end > home && end - home < wanted) wanted = std::max<uint64_t>(length, end - home);
  std::string bytes(static_cast<size_t>(wanted), '\0');
  size_t got = 0;
  if (!ReadRawAtLeast(home, bytes.data(), bytes.size(), length, /*page=*/true, &got)) return {};
  bytes.resize(got / kUnitSize * kUnitSize);
  return bytes;
}

Page* Container::Decoded(int64_t unit, const uint8_t* bytes, size_t length) {
  PageData data;
  if (int r = DecodePage(bytes, length, static_cast<uint32_t>(unit), &data); r != 0) {
    Fail(r);
    return nullptr;
  }
  return pager_.AddRead(unit, std::move(data));
}

void Container::ParkColdPages() {
  if (!failed_) pager_.ParkCold();
}

Page* Container::NewPage(int level) {
  CheckNoChangeInOptimisticRead();
  int check = 0;
  Page* p = pager_.New(level, &check);
  return Checked(p, check);
}

void Container::MarkDirty(Page* page) {
  CheckNoChangeInOptimisticRead();
  pager_.MarkDirty(page);
}

void Container::FreePage(Page* page) {
  CheckNoChangeInOptimisticRead();
  if (int check = pager_.Free(page); check != 0) Fail(check);
}

int Container::Discard() {
  CheckNoChangeInOptimisticRead();
  pager_.Drop();
  relocated_.clear();
  log_.Drop();
  header_loaded_ = false;
  header_dirty_ = false;
  root_ = kNoRootUnit;
  write_error_ = 0;
  if (file_ == nullptr) return 0;
  return Refresh();
}

int Container::Truncate() {
  if (failed_) return failure_code_;
  if (file_ == nullptr) return kFileNotOpen;
  if (read_only_) return Fail(kCheckReaderWrite);
  if (log_.stage() != Stage::kIdle || header_.LogPending() || !relocated_.empty()) return 0;
  uint64_t length = 0;
  if (int e = file_->Size(&length); e != 0) return FailRead(e);
  // A file cut below its end of data would be lengthened with zero bytes
  // where its pages were (invariant 11).
  if (length < header_.EndOfData() && (seen_.remembered() || header_.change_counter != 0)) {
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
