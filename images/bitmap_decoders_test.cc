// BMP, ICO and PCX pictures laid out byte by byte in the test, decoded and
// compared pixel by pixel.
#include <gtest/gtest.h>

#include "images/decoders.h"
#include "images/testing/test_pictures.h"

namespace vorsandt::images {
namespace {

using testing::ByteVector;

constexpr uint32_t kPalette16[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                     0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                     0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

std::vector<uint32_t> PaletteOf(int colours) {
  std::vector<uint32_t> palette;
  for (int i = 0; i < colours; ++i)
    palette.push_back(i < 16 ? kPalette16[i] : static_cast<uint32_t>(i * 0x010203 % 0x1000000));
  return palette;
}

// Indexes with runs and single pixels, so RLE writes both kinds.
std::vector<uint8_t> IndexPicture(int width, int height, int colours) {
  std::vector<uint8_t> indexes;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      indexes.push_back(static_cast<uint8_t>((x < width / 3 ? y : x * 7 + y) % colours));
  return indexes;
}

::testing::AssertionResult ShowsIndexes(const DecodeResult& r, int width, int height,
                                        const std::vector<uint8_t>& indexes,
                                        const std::vector<uint32_t>& palette) {
  if (!r.ok()) return ::testing::AssertionFailure() << r.Message();
  if (r.image.width != width || r.image.height != height)
    return ::testing::AssertionFailure() << r.image.width << "x" << r.image.height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t want = palette[indexes[static_cast<size_t>(y) * width + x]];
      const uint8_t* p = r.image.Pixel(x, y);
      const uint32_t got = (uint32_t{p[0]} << 16) | (p[1] << 8) | p[2];
      if (got != want || p[3] != 255)
        return ::testing::AssertionFailure()
               << "pixel " << x << "," << y << " is " << std::hex << got << " not " << want;
    }
  return ::testing::AssertionSuccess();
}

TEST(BmpDecoder, PaletteDepthsRleAndRowOrderGiveTheIndexedColours) {
  struct Case {
    int bits, rle;
    bool top_down, core;
  };
  constexpr Case kCases[] = {
      {1, 0, false, false}, {4, 0, false, false}, {8, 0, false, false}, {1, 0, true, false},
      {8, 0, true, false},  {8, 8, false, false}, {4, 4, false, false}, {8, 0, false, true},
  };
  for (const Case& c : kCases) {
    const int colours = 1 << c.bits;
    testing::BmpSpec spec{.bits = c.bits,
                          .width = 13,
                          .height = 5,
                          .top_down = c.top_down,
                          .rle = c.rle,
                          .core_header = c.core};
    spec.indexes = IndexPicture(13, 5, colours);
    spec.palette = PaletteOf(colours);
    EXPECT_TRUE(
        ShowsIndexes(DecodeBmp(testing::EncodeBmp(spec), {}), 13, 5, spec.indexes, spec.palette))
        << c.bits << " bits rle " << c.rle << " top-down " << c.top_down << " core " << c.core;
  }
}

TEST(BmpDecoder, TrueColourDepthsGiveThePixels) {
  const Image pattern = testing::Pattern(7, 3, true);
  struct Case {
    int bits;
    bool fields, top_down;
    int tolerance;  // 16 bits keep 5 or 6 bits a channel
    bool alpha;
  };
  constexpr Case kCases[] = {{24, false, false, 0, false}, {24, false, true, 0, false},
                             {32, false, false, 0, false}, {32, true, false, 0, true},
                             {16, false, false, 8, false}, {16, true, true, 4, false}};
  for (const Case& c : kCases) {
    testing::BmpSpec spec{.bits = c.bits,
                          .width = 7,
                          .height = 3,
                          .top_down = c.top_down,
                          .bit_fields = c.fields,
                          .image = pattern};
    const DecodeResult r = DecodeBmp(testing::EncodeBmp(spec), {});
    ASSERT_TRUE(r.ok()) << c.bits << ": " << r.Message();
    Image want = pattern;
    if (!c.alpha)
      for (size_t i = 3; i < want.rgba.size(); i += 4) want.rgba[i] = 255;
    EXPECT_LE(testing::MaxDifference(r.image, want), c.tolerance) << c.bits << " " << c.fields;
    EXPECT_GE(testing::MaxDifference(r.image, want), 0);
  }
}

TEST(BmpDecoder, RleSkipsAndEscapesLeaveUntouchedPixelsTransparent) {
  // 4 x 3, RLE8: row 0 (bottom) two of colour 1, then a move of 1 right and
  // 1 up, one of colour 2, end of bitmap.
  testing::BmpSpec spec{.bits = 8, .width = 4, .height = 3, .rle = 8};
  spec.palette = PaletteOf(4);
  spec.indexes.assign(12, 0);
  ByteVector bytes = testing::EncodeBmp(spec);
  const size_t pixels = bytes[10];
  bytes.resize(pixels);
  for (uint8_t b : {2, 1, 0, 2, 1, 1, 1, 2, 0, 1}) bytes.push_back(b);
  const DecodeResult r = DecodeBmp(bytes, {});
  ASSERT_TRUE(r.ok()) << r.Message();
  EXPECT_EQ(r.image.Pixel(0, 2)[0], 0x80);  // colour 1 (0x800000)
  EXPECT_EQ(r.image.Pixel(0, 2)[1], 0);
  EXPECT_EQ(r.image.Pixel(1, 2)[3], 255);
  EXPECT_EQ(r.image.Pixel(2, 2)[3], 0);     // skipped by the move
  EXPECT_EQ(r.image.Pixel(3, 1)[1], 0x80);  // colour 2 (0x008000), one up, at x 3
  EXPECT_EQ(r.image.Pixel(0, 0)[3], 0);     // never written
}

TEST(BmpDecoder, TruncatedDamagedAndOversizedFilesAreRefused) {
  testing::BmpSpec spec{.bits = 24, .width = 9, .height = 9, .image = testing::Pattern(9, 9)};
  const ByteVector good = testing::EncodeBmp(spec);
  ASSERT_TRUE(DecodeBmp(good, {}).ok());
  for (size_t keep : {size_t{10}, size_t{30}, good.size() - 1}) {
    const DecodeResult r = DecodeBmp(ByteVector(good.begin(), good.begin() + keep), {});
    EXPECT_EQ(r.error, ImageError::kTruncated) << keep << " " << r.Message();
  }
  ByteVector bits = good;
  bits[28] = 7;  // no such depth
  EXPECT_EQ(DecodeBmp(bits, {}).error, ImageError::kUnsupported);
  ByteVector huge = good;
  huge[18 + 2] = 0x01;  // width 65545
  EXPECT_EQ(DecodeBmp(huge, {}).error, ImageError::kTooLarge);
  ByteVector wide = good;  // 16384 x 16384 passes each side but not the byte limit
  wide[18] = 0;
  wide[19] = 0x40;
  wide[22] = 0;
  wide[23] = 0x40;
  EXPECT_EQ(DecodeBmp(wide, {}).error, ImageError::kTooLarge);
  testing::BmpSpec rle{.bits = 8, .width = 5, .height = 4, .rle = 8};
  rle.indexes = IndexPicture(5, 4, 256);
  rle.palette = PaletteOf(256);
  const ByteVector rle_bytes = testing::EncodeBmp(rle);
  EXPECT_EQ(DecodeBmp(ByteVector(rle_bytes.begin(), rle_bytes.end() - 8), {}).error,
            ImageError::kTruncated);
}

TEST(IcoDecoder, TheLargestEntryIsShownWithItsMask) {
  testing::BmpSpec small{.bits = 4, .width = 8, .height = 8};
  small.indexes.assign(64, 9);
  small.palette = PaletteOf(16);
  testing::BmpSpec large{.bits = 8, .width = 16, .height = 16};
  large.indexes = IndexPicture(16, 16, 16);
  large.palette = PaletteOf(16);
  std::vector<uint8_t> mask(256, 0);
  mask[0] = 1;            // top left transparent
  mask[16 * 15 + 3] = 1;  // bottom row, x 3
  const ByteVector ico = testing::EncodeIco({{8, 8, 4, testing::EncodeIconDib(small, {})},
                                             {16, 16, 8, testing::EncodeIconDib(large, mask)}});
  const DecodeResult r = DecodeIco(ico, {});
  ASSERT_TRUE(r.ok()) << r.Message();
  EXPECT_EQ(r.format, ImageFormat::kIco);
  ASSERT_EQ(r.image.width, 16);
  ASSERT_EQ(r.image.height, 16);
  EXPECT_EQ(r.image.Pixel(0, 0)[3], 0);
  EXPECT_EQ(r.image.Pixel(3, 15)[3], 0);
  EXPECT_EQ(r.image.Pixel(4, 15)[3], 255);
  const uint32_t want = kPalette16[large.indexes[16 * 5 + 7]];
  EXPECT_EQ(r.image.Pixel(7, 5)[0], want >> 16);
  EXPECT_EQ(r.image.Pixel(7, 5)[2], want & 0xFF);
}

TEST(IcoDecoder, AlphaIconsAndPngEntries) {
  const Image pattern = testing::Pattern(4, 4, true);
  testing::BmpSpec alpha{.bits = 32, .width = 4, .height = 4, .image = pattern};
  alpha.bit_fields = false;
  // A 32-bit icon stores BGRA; the test writer leaves alpha 0 without bit
  // fields, so the mask decides: every pixel opaque.
  const DecodeResult plain = DecodeIco(
      testing::EncodeIco({{4, 4, 32, testing::EncodeIconDib(alpha, std::vector<uint8_t>(16, 0))}}),
      {});
  ASSERT_TRUE(plain.ok()) << plain.Message();
  EXPECT_EQ(plain.image.Pixel(2, 1)[3], 255);
  EXPECT_EQ(plain.image.Pixel(2, 1)[0], pattern.Pixel(2, 1)[0]);

  const Image big = testing::Pattern(32, 32, true);
  const DecodeResult png =
      DecodeIco(testing::EncodeIco({{4, 4, 32, testing::EncodeIconDib(alpha, {})},
                                    {256, 256, 32, testing::EncodePng(big)}}),
                {});
  ASSERT_TRUE(png.ok()) << png.Message();
  EXPECT_EQ(png.format, ImageFormat::kIco);
  EXPECT_EQ(testing::MaxDifference(png.image, big), 0);
}

TEST(IcoDecoder, EntriesPastTheEndAndEmptyDirectoriesAreRefused) {
  testing::BmpSpec s{.bits = 8, .width = 4, .height = 4};
  s.indexes.assign(16, 1);
  s.palette = PaletteOf(2);
  const ByteVector ico = testing::EncodeIco({{4, 4, 8, testing::EncodeIconDib(s, {})}});
  EXPECT_EQ(DecodeIco(ByteVector(ico.begin(), ico.end() - 5), {}).error, ImageError::kTruncated);
  EXPECT_EQ(DecodeIco(ByteVector(ico.begin(), ico.begin() + 12), {}).error, ImageError::kTruncated);
  ByteVector none = ico;
  none[4] = 0;
  EXPECT_EQ(DecodeIco(none, {}).error, ImageError::kCorrupt);
}

TEST(PcxDecoder, EveryDepthAndPlaneLayoutGivesThePixels) {
  struct Case {
    int bits, planes;
    bool rle;
  };
  constexpr Case kCases[] = {{1, 1, true}, {1, 4, true},  {4, 1, true},
                             {8, 1, true}, {8, 1, false}, {1, 3, true}};
  for (const Case& c : kCases) {
    const int colours = c.bits == 8 ? 256 : 1 << (c.bits * c.planes);
    testing::PcxSpec spec{
        .bits = c.bits, .planes = c.planes, .width = 11, .height = 4, .rle = c.rle};
    spec.indexes = IndexPicture(11, 4, colours);
    spec.palette =
        c.bits == 1 && c.planes == 1 ? std::vector<uint32_t>{0, 0xFFFFFF} : PaletteOf(colours);
    EXPECT_TRUE(
        ShowsIndexes(DecodePcx(testing::EncodePcx(spec), {}), 11, 4, spec.indexes, spec.palette))
        << c.bits << " bits " << c.planes << " planes";
  }
  const Image pattern = testing::Pattern(11, 4);
  const DecodeResult rgb = DecodePcx(
      testing::EncodePcx({.bits = 8, .planes = 3, .width = 11, .height = 4, .image = pattern}), {});
  ASSERT_TRUE(rgb.ok()) << rgb.Message();
  EXPECT_EQ(testing::MaxDifference(rgb.image, pattern), 0);
}

TEST(PcxDecoder, VersionThreeFilesShowTheStandardSixteenColours) {
  testing::PcxSpec spec{.bits = 4, .planes = 1, .width = 16, .height = 1};
  for (uint8_t i = 0; i < 16; ++i) spec.indexes.push_back(i);
  spec.palette = PaletteOf(16);  // written into the header, but version 3 ignores it
  ByteVector bytes = testing::EncodePcx(spec);
  bytes[1] = 3;
  const DecodeResult r = DecodePcx(bytes, {});
  ASSERT_TRUE(r.ok()) << r.Message();
  EXPECT_EQ(r.image.Pixel(1, 0)[2], 0xAA);  // 1: dark blue
  EXPECT_EQ(r.image.Pixel(1, 0)[0], 0);
  EXPECT_EQ(r.image.Pixel(6, 0)[1], 0x55);   // 6: brown
  EXPECT_EQ(r.image.Pixel(14, 0)[2], 0x55);  // 14: yellow
  EXPECT_EQ(r.image.Pixel(14, 0)[0], 0xFF);
}

TEST(PcxDecoder, TruncatedDamagedAndOversizedFilesAreRefused) {
  const ByteVector good = testing::EncodePcx(
      {.bits = 8, .planes = 3, .width = 20, .height = 20, .image = testing::Pattern(20, 20)});
  EXPECT_EQ(DecodePcx(ByteVector(good.begin(), good.begin() + 100), {}).error,
            ImageError::kTruncated);
  EXPECT_EQ(DecodePcx(ByteVector(good.begin(), good.end() - 30), {}).error, ImageError::kTruncated);
  ByteVector narrow = good;
  narrow[66] = 2;  // lines of 2 bytes for 20 pixels
  EXPECT_EQ(DecodePcx(narrow, {}).error, ImageError::kCorrupt);
  ByteVector huge = good;
  huge[9] = 0x80;  // xmax 32768+
  huge[66] = 0xFF;
  huge[67] = 0xFF;
  EXPECT_EQ(DecodePcx(huge, {}).error, ImageError::kTooLarge);
  ByteVector depth = good;
  depth[3] = 4;  // 4 bits in 3 planes
  EXPECT_EQ(DecodePcx(depth, {}).error, ImageError::kUnsupported);
}

}  // namespace
}  // namespace vorsandt::images
