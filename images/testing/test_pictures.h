// Small pictures made in memory for the decoder tests and the fuzz seeds:
// JPEG, PNG and GIF written by the same libraries the decoders use, BMP,
// ICO and PCX laid out byte by byte, so each test knows the exact pixels it
// expects back.
#ifndef VORSANDT_IMAGES_TESTING_TEST_PICTURES_H_
#define VORSANDT_IMAGES_TESTING_TEST_PICTURES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "images/image.h"

namespace vorsandt::images::testing {

using ByteVector = std::vector<uint8_t>;

// A picture with a distinct, easily predicted colour at every pixel.
Image Pattern(int width, int height, bool with_alpha = false);

// Largest difference of any channel between two pictures of one size (-1
// when the sizes differ).
int MaxDifference(const Image& a, const Image& b);

struct JpegOptions {
  enum Colour { kGrey, kRgb, kCmyk } colour = kRgb;
  bool progressive = false;
  // CMYK only: store the inks inverted with an Adobe marker, as Adobe's
  // writers do, or plain without one.
  bool adobe_inverted = true;
  int orientation = 0;  // 1-8 writes an EXIF segment; 0 writes none
  // Grey only, with `progressive`: a scan script of one scan per AC
  // coefficient and bit, its first scan at this bit position (0-10), so
  // 63 * (bits + 1) + 1 scans; -1 uses the library's script.
  int scan_bits = -1;
  int quality = 100;
};
// `image` gives the colours (grey: its red channel; CMYK: derived inks whose
// printed colour is the RGB of `image`, so a decoder should get it back).
ByteVector EncodeJpeg(const Image& image, const JpegOptions& options = {});

// PNG of RGBA, RGB or grey (the image's red channel) pixels.
enum class PngColour { kRgba, kRgb, kGrey };
ByteVector EncodePng(const Image& image, PngColour colour = PngColour::kRgba);

// GIF of a picture of palette indexes, with a palette of `colours` entries
// (RGB) and the given transparent index (-1: none), on a screen of the given
// size with the frame at (left, top).
struct GifFrame {
  int width = 0, height = 0;
  std::vector<uint8_t> indexes{};   // width * height
  std::vector<uint32_t> colours{};  // 0xRRGGBB, up to 256
  int transparent = -1;
  bool interlaced = false;
  int screen_width = 0, screen_height = 0;  // 0: the frame's size
  int left = 0, top = 0;
  int frames = 1;  // frames after the first repeat it in colour 0
};
ByteVector EncodeGif(const GifFrame& frame);

// BMP: bits 1/4/8 take `indexes` and `palette` (0xRRGGBB); 16/24/32 take
// the colours of `image`. rle: 8 or 4 for RLE8/RLE4 of the index picture.
struct BmpSpec {
  int bits = 24;
  int width = 0, height = 0;
  bool top_down = false;
  int rle = 0;
  bool core_header = false;  // the 12-byte header with 3-byte palette entries
  bool bit_fields = false;   // 16 bits: 5-6-5 through masks; 32 bits: with alpha
  std::vector<uint8_t> indexes{};
  std::vector<uint32_t> palette{};
  Image image{};
};
ByteVector EncodeBmp(const BmpSpec& spec);
// The bitmap without its 14-byte file header, as an icon stores it: height
// doubled, `mask` (1 = transparent, width * height, may be empty) after it.
ByteVector EncodeIconDib(const BmpSpec& spec, const std::vector<uint8_t>& mask);

// An icon file of the given entries (DIBs or whole PNG files), with the sizes
// its directory declares.
struct IconEntry {
  int width = 0, height = 0, bits = 32;
  ByteVector data;
};
ByteVector EncodeIco(const std::vector<IconEntry>& entries);

// PCX: bits/planes 1/1, 1/4, 4/1 and 8/1 take `indexes` and `palette`; 8/3
// takes the colours of `image`. rle false writes raw lines.
struct PcxSpec {
  int bits = 8, planes = 1;
  int width = 0, height = 0;
  bool rle = true;
  std::vector<uint8_t> indexes{};
  std::vector<uint32_t> palette{};
  Image image{};
};
ByteVector EncodePcx(const PcxSpec& spec);

}  // namespace vorsandt::images::testing

#endif  // VORSANDT_IMAGES_TESTING_TEST_PICTURES_H_
