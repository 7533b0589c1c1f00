// How the process's memory allocator treats memory given back.
//
// The table storage allocates and frees in waves: a save turns thousands of
// changed pages clean, the next fetch retires them, a transaction decodes and
// parks leaves, a bulk load grows page blocks by half again and again. With
// the C library's defaults, freed memory at the top of the heap goes back to
// the system as soon as 128 KiB of it are free, and blocks above a threshold
// that moves with the program's own frees are mapped and unmapped one by
// one, so each wave faults the same pages in again (a tenth of a bulk load's
// time was page faults). Programs that open tables call this once at start.
#ifndef VORSANDT_RUNTIME_ENV_ALLOCATOR_H_
#define VORSANDT_RUNTIME_ENV_ALLOCATOR_H_

#include <cstddef>

namespace vorsandt::env {

// Free memory kept at the top of the heap before it goes back to the system,
// and the block size from which blocks are mapped on their own (fixed, so it
// no longer follows the program's frees).
inline constexpr size_t kKeptFreeBytes = 64u << 20;
inline constexpr size_t kMappedBlockBytes = 32u << 20;

// Sets both for the whole process. Returns false when the allocator refused
// either (the defaults then stay; nothing else depends on it).
bool KeepFreedMemoryForReuse();

}  // namespace vorsandt::env

#endif  // VORSANDT_RUNTIME_ENV_ALLOCATOR_H_
