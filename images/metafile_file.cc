#include "images/metafile_file.h"

#include <memory>

#include "runtime/env/env.h"

namespace vorsandt::images {

std::optional<std::vector<uint8_t>> ReadMetafileFile(const std::string& path, env::Env* env) {
  if (env == nullptr) env = env::Env::Default();
  std::unique_ptr<env::File> file;
  if (env->Open(path, env::kOpenReadOnly, &file) != 0) return std::nullopt;
  uint64_t size = 0;
  if (file->Size(&size) != 0 || size > kLargestMetafile) return std::nullopt;
  std::vector<uint8_t> bytes(size);
  size_t got = 0;
  if (size > 0 && (file->ReadAt(0, bytes.data(), bytes.size(), &got) != 0 || got != size)) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace vorsandt::images
