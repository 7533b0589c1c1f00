#include "runtime/env/allocator.h"

#include <malloc.h>

namespace vorsandt::env {

bool KeepFreedMemoryForReuse() {
  // Setting the mapping threshold also stops the allocator from raising it
  // on its own, which is what made large frees unpredictable.
  const bool trim = mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeBytes)) == 1;
  const bool mmap = mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMappedBlockBytes)) == 1;
  return trim && mmap;
}

}  // namespace vorsandt::env
