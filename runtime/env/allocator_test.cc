// Memory given back by the program stays with the process for the next wave
// of allocations instead of going back to the system and faulting in again.
#include "runtime/env/allocator.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <vector>

namespace vorsandt::env {
namespace {

TEST(Allocator, FreedHeapTopAndLargeBlocksStayWithTheProcess) {
  ASSERT_TRUE(KeepFreedMemoryForReuse());
  // A megabyte block is above the allocator's own starting threshold, so by
  // default it would be mapped on its own and unmapped when freed.
  const size_t mapped_before = mallinfo2().hblks;
  // volatile: an unused block would be optimised away with its malloc.
  void* volatile large = std::malloc(1u << 20);
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(mallinfo2().hblks, mapped_before);
  std::free(large);
  // Eight megabytes in page-sized pieces, freed from the top down: by default
  // the heap would shrink back as soon as 128 KiB were free at its top.
  std::vector<void*> blocks;
  for (int i = 0; i < 2048; ++i) blocks.push_back(std::malloc(4000));
  const size_t grown = mallinfo2().arena;
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) std::free(*it);
  EXPECT_GE(mallinfo2().arena, grown);
}

}  // namespace
}  // namespace vorsandt::env
