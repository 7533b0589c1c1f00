// Limits every decoder enforces before it allocates pixels, so a hostile or
// broken file cannot make the program allocate without bound: a picture file
// names its own size in a few header bytes.
#ifndef VORSANDT_IMAGES_LIMITS_H_
#define VORSANDT_IMAGES_LIMITS_H_

#include <cstddef>
#include <cstdint>

namespace vorsandt::images {

// Largest width or height accepted, in pixels.
inline constexpr int kMaxSide = 16384;
// Largest decoded picture, in bytes of RGBA pixels (8192 x 8192 fits).
inline constexpr uint64_t kMaxDecodedBytes = 256ull << 20;
// Largest picture file read into memory.
inline constexpr uint64_t kMaxFileBytes = 256ull << 20;
// Largest number of scans of a progressive JPEG: each scan re-reads the whole
// coefficient buffer, and a file of thousands of tiny scans would otherwise
// keep the decoder busy for minutes.
inline constexpr int kMaxJpegScans = 500;

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_LIMITS_H_
