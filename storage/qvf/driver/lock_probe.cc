#include "storage/qvf/driver/lock_probe.h"

#include <cerrno>
#include <memory>

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "storage/qvf/driver/lock_area.h"

namespace vorsandt::qvf {

int ProbeLocks(env::Env* env, const std::string& path, env::File* file) {
  // The slot is drawn as FileLocks draws its first one, so that probes of
  // several processes spread over the reader range as their reads do.
  const uint64_t offset = ReaderLockOffset(static_cast<uint32_t>(env->NowHundredths()));
  int e = file->TryLock(offset, 1, /*exclusive=*/false);
  // Refused by someone else's claim: locks are kept and seen.
  if (e == EAGAIN || e == EACCES) return 0;
  if (e != 0) return e;
  int finding = 0;
  std::unique_ptr<env::File> other;
  if (int o = env->Open(path, env::kOpenReadOnly, &other); o == 0) {
    // Another handle is its own open file description: the kernel's locks
    // between two of them are exactly those between two processes.
    const int seen = other->TestLockOfOthers(offset, 1, /*exclusive=*/true);
    if (seen == 0) {
      finding = kLocksNotSeen;
    } else if (seen != EAGAIN && seen != EACCES) {
      finding = seen;
    }
  }
  // A second handle that cannot be had proves nothing either way: the
  // claim itself was granted, and the file's first call will say more.
  const int released = file->Unlock(offset, 1);
  if (finding == 0 && released != 0) finding = released;
  return finding;
}

bool IsLockRefusal(int finding) {
  return finding == ENOLCK || finding == EOPNOTSUPP || finding == ENOSYS || finding == EINVAL ||
         finding == kLocksNotSeen;
}

std::string LockRefusalReason(int finding) {
  switch (finding) {
    case ENOLCK:
      return "the file system's lock service does not answer";
    case kLocksNotSeen:
      return "a lock taken there is not seen by other programs";
    default:
      return "the file system does not support them";
  }
}

std::string LockRefusalName(int finding) {
  switch (finding) {
    case ENOLCK:
      return "ENOLCK";
    case EOPNOTSUPP:
      return "EOPNOTSUPP";
    case ENOSYS:
      return "ENOSYS";
    case EINVAL:
      return "EINVAL";
    default:
      return "locks not shared";
  }
}

int ReportLockProbe(env::Env* env, const std::string& path, int finding) {
  if (finding == 0) return 0;
  // Anything else (a disk that fails, a handle gone stale) is an ordinary
  // system error, as the first call would have reported it.
  if (!IsLockRefusal(finding)) return files::kSystemErrorBase + files::MapLockErrno(finding);
  files::Errors().SetDriverTexts(
      "File locks do not work in " + env->FolderOf(path) + ": " + LockRefusalReason(finding),
      LockRefusalName(finding));
  return files::kDriverReportedError;
}

}  // namespace vorsandt::qvf
