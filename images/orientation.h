// The orientation a camera records (EXIF tag 0x0112, values 1-8) and turning
// decoded pixels so the picture stands as the photographer held the camera.
#ifndef VORSANDT_IMAGES_ORIENTATION_H_
#define VORSANDT_IMAGES_ORIENTATION_H_

#include <cstdint>
#include <span>

#include "images/image.h"

namespace vorsandt::images {

// The orientation in a JPEG APP1 segment's payload ("Exif\0\0" and a TIFF
// structure); 1 (as stored) when the segment holds none or is malformed.
int ExifOrientation(std::span<const uint8_t> app1);

// True for the orientations that swap width and height (5-8).
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Turns and mirrors `image` as `orientation` asks; 1 and unknown values
// leave it alone.
void ApplyOrientation(int orientation, Image* image);

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_ORIENTATION_H_
