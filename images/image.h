// A decoded picture and the outcome of decoding one.
//
// Every decoder of images/ produces the same thing: 8-bit RGBA pixels, not
// premultiplied, rows from the top, four bytes a pixel with no padding, so a
// caller (the image control, a thumbnail, a test) never needs to know which
// format the file was. A picture that cannot be decoded gives an ImageError
// and a detail text, never a partial image.
#ifndef VORSANDT_IMAGES_IMAGE_H_
#define VORSANDT_IMAGES_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorsandt::images {

// The formats told apart by a file's first bytes.
enum class ImageFormat : uint8_t {
  kUnknown,
  kJpeg,
  kPng,
  kGif,
  kBmp,
  kIco,
  kPcx,
  kWmf,
};

// "JPEG", "PNG", ... ("unknown" for kUnknown).
std::string_view FormatName(ImageFormat format);

// Why a picture could not be decoded. The texts are in image.cc.
enum class ImageError : uint8_t {
  kNone,
  kFileNotFound,   // the named file does not exist
  kReadFailed,     // the file exists but could not be read
  kEmpty,          // no bytes at all
  kUnknownFormat,  // the content is none of the formats we read
  kUnsupported,    // a known format, but a variant this program does not read
  kTooLarge,       // the dimensions or the decoded size pass the limits
  kTruncated,      // the file ends before the picture does
  kCorrupt,        // the content contradicts itself
};

// The user-facing sentence for an error ("The picture file is damaged.").
std::string_view ErrorText(ImageError error);

struct Image {
  int width = 0;
  int height = 0;
  // width * height * 4 bytes: R, G, B, A.
  std::vector<uint8_t> rgba;

  const uint8_t* Pixel(int x, int y) const {
    return rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
  }
  uint8_t* Pixel(int x, int y) { return rgba.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

// What the caller will do with the picture. A target size lets decoders that
// can (JPEG) decode at a reduced scale: the result is then at least as large
// as the picture scaled to fit the target box keeping its aspect ratio, but
// possibly smaller than the file's own size. 0 means "full size".
struct DecodeOptions {
  int target_width = 0;
  int target_height = 0;
};

struct DecodeResult {
  ImageError error = ImageError::kNone;
  ImageFormat format = ImageFormat::kUnknown;
  // The picture's own size as the file declares it (after orientation), even
  // when `image` was decoded at a reduced scale; 0 when unknown.
  int full_width = 0;
  int full_height = 0;
  // For an error: what exactly went wrong ("row 12 of 40 missing").
  std::string detail;
  Image image;

  bool ok() const { return error == ImageError::kNone; }
  // ErrorText plus the detail, for a tooltip or a log ("" when ok).
  std::string Message() const;
};

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_IMAGE_H_
