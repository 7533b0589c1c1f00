// Whether byte-range locks work where a table file lies, asked before
// anything is written there.
//
// Every call coordinates with other processes (and other stations sharing
// the folder) through byte-range locks (lock_area.h). A file system that
// refuses them — a network mount whose lock service is missing or stopped
// (ENOLCK), one without byte-range locks (EOPNOTSUPP, ENOSYS, EINVAL) — or
// one that grants them without keeping them would let two stations save
// over each other's work. Such a folder is refused at the first open of a
// table in it, with a message naming the folder and the reason, before any
// file is made or any byte changed. There is no going on without locks.
//
// The probe takes the claim a call takes first (a reader byte, shared)
// through the table's own handle, asks through a second handle of the file
// whether that claim is seen, and gives it back. A claim that someone else's
// lock refuses (EAGAIN) proves the locks work as well.
//
// What it cannot see: locks kept on this computer only (an NFS mount with
// local_lock=all, an SMB mount with nobrl, NFSv3 with nolock). Processes on
// this computer see them; other stations do not. docs/reliability.md lists
// the mount options.
#ifndef VORSANDT_STORAGE_QVF_DRIVER_LOCK_PROBE_H_
#define VORSANDT_STORAGE_QVF_DRIVER_LOCK_PROBE_H_

#include <string>

#include "runtime/env/env.h"

namespace vorsandt::qvf {

// What the probe found: 0 when the locks work, else the errno that refused
// them (kLocksNotSeen for a claim a second handle does not see).
inline constexpr int kLocksNotSeen = -1;
[[nodiscard]] int ProbeLocks(env::Env* env, const std::string& path, env::File* file);

// The probe's finding as the driver reports it: 0; for a refusal (ENOLCK,
// EOPNOTSUPP, ENOSYS, EINVAL, kLocksNotSeen) 90, the driver's own error, with
// the error state's driver texts set to "File locks do not work in FOLDER:
// REASON" and the refusal's name ("ENOLCK", ...); for any other errno the
// system error (300 + its number).
[[nodiscard]] int ReportLockProbe(env::Env* env, const std::string& path, int finding);

bool IsLockRefusal(int finding);
// The reason in words for a refusal ("the file system's lock service does
// not answer", ...), and the name the driver gives it as its code text.
std::string LockRefusalReason(int finding);
std::string LockRefusalName(int finding);

}  // namespace vorsandt::qvf

#endif  // VORSANDT_STORAGE_QVF_DRIVER_LOCK_PROBE_H_
