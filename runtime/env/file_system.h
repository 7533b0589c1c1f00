// What kind of file system holds a file, and which read path a shared file
// gets because of it.
//
// A shared file's header is seen through a shared mapping of its first page
// (env.h, FileView), and a read call served from the page cache trusts that
// mapping to show another process's save at once. Local file systems keep a
// mapping coherent with every write on the machine. A network file system
// does not: its client revalidates cached pages when a lock is taken or the
// file is opened, never on a read from a mapping, so a station could see
// another station's old header for ever. Files there are read the careful
// way: every read call under the reader lock, the header read through the
// file.
//
// The statfs type decides, through File::FileSystemType, so that a test
// environment can report any kind; the settings file can force either path
// (ZORNETFS, see SetNetworkFilesSetting).
#ifndef VORSANDT_RUNTIME_ENV_FILE_SYSTEM_H_
#define VORSANDT_RUNTIME_ENV_FILE_SYSTEM_H_

#include <cstdint>
#include <string>

namespace vorsandt::env {

class File;

// statfs magic numbers the program knows by name.
inline constexpr uint64_t kExtMagic = 0xEF53;  // ext2, ext3 and ext4
inline constexpr uint64_t kXfsMagic = 0x58465342;
inline constexpr uint64_t kBtrfsMagic = 0x9123683E;
inline constexpr uint64_t kTmpfsMagic = 0x01021994;
inline constexpr uint64_t kF2fsMagic = 0xF2F52010;
inline constexpr uint64_t kZfsMagic = 0x2FC12FC1;
inline constexpr uint64_t kOverlayMagic = 0x794C7630;
inline constexpr uint64_t kNfsMagic = 0x6969;
inline constexpr uint64_t kSmbMagic = 0x517B;
inline constexpr uint64_t kCifsMagic = 0xFF534D42;
inline constexpr uint64_t kSmb2Magic = 0xFE534D42;
inline constexpr uint64_t kFuseMagic = 0x65735546;
inline constexpr uint64_t kV9fsMagic = 0x01021997;
inline constexpr uint64_t kCephMagic = 0x00C36400;

// A file system type by its statfs magic: its name ("ext4", "nfs", or
// "type 0x…" for one not known by name) and whether a shared mapping of a
// file there follows every write on the machine (local). Only the local
// types listed above are local; everything else counts as remote.
struct FileSystemKind {
  std::string name;
  bool local = false;
};
FileSystemKind ClassifyFileSystem(uint64_t magic);

// The settings file's ZORNETFS key: AUTO (or absent) lets the file system
// decide; LOCAL trusts the mapping everywhere; NETWORK reads every shared
// file under the lock. Process-wide.
enum class NetworkFilesSetting { kAuto, kLocal, kNetwork };
void SetNetworkFilesSetting(NetworkFilesSetting setting);
NetworkFilesSetting GetNetworkFilesSetting();
// The key's value parsed ("AUTO", "LOCAL", "NETWORK", any case); false for
// anything else (the setting then stays as it was).
bool ParseNetworkFilesSetting(const std::string& value, NetworkFilesSetting* setting);
inline constexpr const char* kNetworkFilesKey = "ZORNETFS";

// The read path of a shared file and why, in words ("local file system
// ext4", "network file system nfs", "ZORNETFS=NETWORK in the settings
// file", "file system type not known: …").
struct ReadPath {
  bool lock_free = false;  // the shared mapping may answer read calls
  std::string reason;
};
ReadPath ChooseReadPath(File* file);

// The mount option among `options` (File::MountOptions) that keeps
// byte-range locks on this computer, where other computers sharing the
// folder never see them: NFS "nolock", "local_lock=all" or
// "local_lock=posix", SMB "nobrl". Empty when there is none. A probe from
// one computer cannot tell such locks from shared ones (every process here
// sees them), so only the options tell.
std::string LocalOnlyLockOption(const std::string& options);

}  // namespace vorsandt::env

#endif  // VORSANDT_RUNTIME_ENV_FILE_SYSTEM_H_
