#include "runtime/env/file_system.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "runtime/env/env.h"

namespace vorsandt::env {
namespace {

constexpr struct {
  uint64_t magic;
  const char* name;
  bool local;
} kKinds[] = {
    {kExtMagic, "ext4", true},      {kXfsMagic, "xfs", true},
    {kBtrfsMagic, "btrfs", true},   {kTmpfsMagic, "tmpfs", true},
    {kF2fsMagic, "f2fs", true},     {kZfsMagic, "zfs", true},
    {kOverlayMagic, "overlay", true}, {kNfsMagic, "nfs", false},
    {kSmbMagic, "smb", false},      {kCifsMagic, "cifs", false},
    {kSmb2Magic, "smb3", false},    {kFuseMagic, "fuse", false},
    {kV9fsMagic, "9p", false},      {kCephMagic, "ceph", false},
    {0x5346414F, "afs", false},     {0x73757245, "coda", false},
    {0x01161970, "gfs2", false},    {0x7461636F, "ocfs2", false},
    {0x0BD00BD0, "lustre", false},  {0x47504653, "gpfs", false},
};

std::atomic<NetworkFilesSetting> g_setting{NetworkFilesSetting::kAuto};

std::string Upper(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c != ' ' && c != '\t') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

FileSystemKind ClassifyFileSystem(uint64_t magic) {
  for (const auto& k : kKinds) {
    if (k.magic == magic) return {k.name, k.local};
  }
  char name[32];
  std::snprintf(name, sizeof name, "type 0x%llX", static_cast<unsigned long long>(magic));
  return {name, false};
}

void SetNetworkFilesSetting(NetworkFilesSetting setting) { g_setting.store(setting); }
NetworkFilesSetting GetNetworkFilesSetting() { return g_setting.load(); }

bool ParseNetworkFilesSetting(const std::string& value, NetworkFilesSetting* setting) {
  const std::string v = Upper(value);
  if (v == "AUTO" || v.empty()) {
    *setting = NetworkFilesSetting::kAuto;
  } else if (v == "LOCAL") {
    *setting = NetworkFilesSetting::kLocal;
  } else if (v == "NETWORK") {
    *setting = NetworkFilesSetting::kNetwork;
  } else {
    return false;
  }
  return true;
}

ReadPath ChooseReadPath(File* file) {
  switch (GetNetworkFilesSetting()) {
    case NetworkFilesSetting::kLocal:
      return {true, std::string(kNetworkFilesKey) + "=LOCAL in the settings file"};
    case NetworkFilesSetting::kNetwork:
      return {false, std::string(kNetworkFilesKey) + "=NETWORK in the settings file"};
    case NetworkFilesSetting::kAuto:
      break;
  }
  uint64_t magic = 0;
  if (int e = file->FileSystemType(&magic); e != 0) {
    // Unknown is treated as remote: the locked path is right everywhere,
    // the lock-free one only where mappings are coherent.
    return {false, std::string("file system type not known: ") + std::strerror(e)};
  }
  const FileSystemKind kind = ClassifyFileSystem(magic);
  return {kind.local, (kind.local ? "local file system " : "network file system ") + kind.name};
}

std::string LocalOnlyLockOption(const std::string& options) {
  size_t start = 0;
  while (start <= options.size()) {
    size_t end = options.find(',', start);
    if (end == std::string::npos) end = options.size();
    const std::string option = options.substr(start, end - start);
    if (option == "nolock" || option == "local_lock=all" || option == "local_lock=posix" ||
        option == "nobrl") {
      return option;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace vorsandt::env
