// The one way into picture decoding: bytes or a file in, RGBA pixels (or a
// clear error) out. The format is told by the content, never by the file's
// name, so a JPEG saved as ".BMP" still shows.
//
// Every decoder checks the limits of limits.h before it allocates, and
// refuses truncated and damaged files with an error rather than showing part
// of a picture. All of it is safe to call from any thread at once: no
// decoder keeps state between calls.
#ifndef VORSANDT_IMAGES_DECODE_H_
#define VORSANDT_IMAGES_DECODE_H_

#include <cstdint>
#include <span>
#include <string>

#include "images/image.h"
#include "runtime/env/env.h"

namespace vorsandt::images {

// The format the first bytes announce (kUnknown when none).
ImageFormat DetectFormat(std::span<const uint8_t> bytes);

DecodeResult DecodeImage(std::span<const uint8_t> bytes, const DecodeOptions& options = {});

// Reads `path` through `env` (at most kMaxFileBytes) and decodes it. A path
// naming a FIFO or a device is refused (kReadFailed) without opening it
// the way that would wait.
DecodeResult DecodeImageFile(env::Env& env, const std::string& path,
                             const DecodeOptions& options = {});

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_DECODE_H_
