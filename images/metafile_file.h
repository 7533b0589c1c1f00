// Reading a metafile (a page image or a .WMF picture) whole, through the
// environment. Files larger than any real metafile are refused rather than
// read into memory.
#ifndef VORSANDT_IMAGES_METAFILE_FILE_H_
#define VORSANDT_IMAGES_METAFILE_FILE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorsandt::env {
class Env;
}

namespace vorsandt::images {

inline constexpr uint64_t kLargestMetafile = 64u << 20;

// The file's bytes; nullopt when it cannot be read or is over the limit.
// `env` null: the process's environment.
std::optional<std::vector<uint8_t>> ReadMetafileFile(const std::string& path,
                                                     env::Env* env = nullptr);

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_METAFILE_FILE_H_
