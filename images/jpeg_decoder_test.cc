#include <gtest/gtest.h>

#include "images/decoders.h"
#include "images/limits.h"
#include "images/testing/test_pictures.h"

namespace vorsandt::images {
namespace {

using testing::EncodeJpeg;
using testing::JpegOptions;

constexpr uint32_t kRed = 0xE02020, kGreen = 0x20C020, kBlue = 0x2020E0, kWhite = 0xF0F0F0;

// Four flat quadrants: red, green on top; blue, white below.
Image Quadrants(int width, int height) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c =
          y < height / 2 ? (x < width / 2 ? kRed : kGreen) : (x < width / 2 ? kBlue : kWhite);
      uint8_t* p = image.Pixel(x, y);
      p[0] = c >> 16;
      p[1] = (c >> 8) & 0xFF;
      p[2] = c & 0xFF;
      p[3] = 255;
    }
  return image;
}

// The colour at the middle of a quadrant (qx, qy in 0..1), within the
// tolerance a quality-100 JPEG keeps.
::testing::AssertionResult Near(const Image& image, int qx, int qy, uint32_t want) {
  const uint8_t* p = image.Pixel(image.width * (2 * qx + 1) / 4, image.height * (2 * qy + 1) / 4);
  const int rgb[3] = {int(want >> 16), int((want >> 8) & 0xFF), int(want & 0xFF)};
  for (int c = 0; c < 3; ++c)
    if (std::abs(p[c] - rgb[c]) > 6 || p[3] != 255)
      return ::testing::AssertionFailure()
             << "quadrant " << qx << "," << qy << " is " << int(p[0]) << "," << int(p[1]) << ","
             << int(p[2]) << "," << int(p[3]) << " not " << std::hex << want;
  return ::testing::AssertionSuccess();
}

DecodeResult Decode(const testing::ByteVector& bytes, DecodeOptions options = {}) {
  return DecodeJpeg(bytes, options);
}

TEST(JpegDecoder, RgbBaselineAndProgressiveGiveTheColours) {
  for (bool progressive : {false, true}) {
    const DecodeResult r = Decode(EncodeJpeg(Quadrants(32, 16), {.progressive = progressive}));
    ASSERT_TRUE(r.ok()) << r.Message();
    EXPECT_EQ(r.format, ImageFormat::kJpeg);
    EXPECT_EQ(r.image.width, 32);
    EXPECT_EQ(r.image.height, 16);
    EXPECT_TRUE(Near(r.image, 0, 0, kRed));
    EXPECT_TRUE(Near(r.image, 1, 0, kGreen));
    EXPECT_TRUE(Near(r.image, 0, 1, kBlue));
    EXPECT_TRUE(Near(r.image, 1, 1, kWhite));
  }
}

TEST(JpegDecoder, GreyBecomesEqualChannels) {
  const DecodeResult r = Decode(EncodeJpeg(Quadrants(16, 16), {.colour = JpegOptions::kGrey}));
  ASSERT_TRUE(r.ok()) << r.Message();
  const uint8_t* p = r.image.Pixel(4, 4);  // red quadrant: grey 0xE0
  EXPECT_NEAR(p[0], 0xE0, 3);
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);
  EXPECT_EQ(p[3], 255);
}

TEST(JpegDecoder, CmykPlainAndAdobeInvertedBothPrintTheColours) {
  for (bool inverted : {false, true}) {
    const DecodeResult r = Decode(
        EncodeJpeg(Quadrants(16, 16), {.colour = JpegOptions::kCmyk, .adobe_inverted = inverted}));
    ASSERT_TRUE(r.ok()) << r.Message();
    EXPECT_TRUE(Near(r.image, 0, 0, kRed)) << "inverted " << inverted;
    EXPECT_TRUE(Near(r.image, 1, 1, kWhite)) << "inverted " << inverted;
  }
}

TEST(JpegDecoder, ExifOrientationTurnsThePictureUpright) {
  struct Case {
    int orientation;
    int width, height;
    uint32_t top_left, top_right, bottom_left;
  };
  // Stored 48 x 32 with red top left, green top right, blue bottom left.
  constexpr Case kCases[] = {
      {1, 48, 32, kRed, kGreen, kBlue},   {2, 48, 32, kGreen, kRed, kWhite},
      {3, 48, 32, kWhite, kBlue, kGreen}, {4, 48, 32, kBlue, kWhite, kRed},
      {5, 32, 48, kRed, kBlue, kGreen},   {6, 32, 48, kBlue, kRed, kWhite},
      {7, 32, 48, kWhite, kGreen, kBlue}, {8, 32, 48, kGreen, kWhite, kRed},
  };
  for (const Case& c : kCases) {
    const DecodeResult r = Decode(EncodeJpeg(Quadrants(48, 32), {.orientation = c.orientation}));
    ASSERT_TRUE(r.ok()) << r.Message();
    EXPECT_EQ(r.image.width, c.width) << c.orientation;
    EXPECT_EQ(r.image.height, c.height) << c.orientation;
    EXPECT_EQ(r.full_width, c.width) << c.orientation;
    EXPECT_TRUE(Near(r.image, 0, 0, c.top_left)) << c.orientation;
    EXPECT_TRUE(Near(r.image, 1, 0, c.top_right)) << c.orientation;
    EXPECT_TRUE(Near(r.image, 0, 1, c.bottom_left)) << c.orientation;
  }
}

TEST(JpegDecoder, SmallTargetDecodesAtReducedScaleButNeverBelowTheBox) {
  const testing::ByteVector photo = EncodeJpeg(Quadrants(640, 480), {.quality = 90});
  struct Case {
    int target_width, target_height, want_width;
  };
  constexpr Case kCases[] = {
      {0, 0, 640},                       // no target: full size
      {640, 480, 640}, {400, 300, 640},  // 1/2 would be 320 < 400
      {320, 240, 320}, {100, 300, 160},  // the narrower side decides: 100/640 -> 1/4
      {80, 60, 80},    {10, 10, 80},     // 1/8 is the smallest scale
  };
  for (const Case& c : kCases) {
    const DecodeResult r = Decode(photo, {c.target_width, c.target_height});
    ASSERT_TRUE(r.ok()) << r.Message();
    EXPECT_EQ(r.image.width, c.want_width) << c.target_width << "x" << c.target_height;
    EXPECT_EQ(r.image.height, c.want_width * 3 / 4);
    EXPECT_EQ(r.full_width, 640);
    EXPECT_EQ(r.full_height, 480);
    EXPECT_TRUE(Near(r.image, 1, 1, kWhite));
  }
  // A quarter-turned photo compares the box with its upright size.
  const DecodeResult turned =
      Decode(EncodeJpeg(Quadrants(640, 480), {.orientation = 6, .quality = 90}), {240, 320});
  ASSERT_TRUE(turned.ok());
  EXPECT_EQ(turned.image.width, 240);
  EXPECT_EQ(turned.image.height, 320);
}

TEST(JpegDecoder, TruncatedAndDamagedFilesAreRefused) {
  const testing::ByteVector good = EncodeJpeg(Quadrants(64, 64), {.quality = 90});
  for (size_t keep : {size_t{3}, size_t{20}, good.size() / 2, good.size() - 2}) {
    const testing::ByteVector cut(good.begin(), good.begin() + keep);
    const DecodeResult r = Decode(cut);
    EXPECT_EQ(r.error, ImageError::kTruncated) << keep << ": " << r.Message();
    EXPECT_TRUE(r.image.rgba.empty());
  }
  testing::ByteVector bad = good;
  size_t precision_at = 0;  // in the frame header (SOF0, FF C0)
  for (size_t i = 0; i + 4 < bad.size() && precision_at == 0; ++i)
    if (bad[i] == 0xFF && bad[i + 1] == 0xC0) precision_at = i + 4;
  ASSERT_NE(precision_at, 0u);
  bad[precision_at] = 7;  // a sample precision no JPEG has
  const DecodeResult r = Decode(bad);
  EXPECT_EQ(r.error, ImageError::kCorrupt);
  EXPECT_NE(r.detail.find("precision"), std::string::npos) << r.detail;
  bad[precision_at] = 12;  // 12-bit samples: a real kind of JPEG, not damage
  EXPECT_EQ(Decode(bad).error, ImageError::kUnsupported);
}

TEST(JpegDecoder, ProgressiveFilesOfTooManyScansAreRefused) {
  const Image grey = Quadrants(16, 16);
  JpegOptions options{.colour = JpegOptions::kGrey, .progressive = true, .scan_bits = 5};
  const DecodeResult within = Decode(EncodeJpeg(grey, options));  // 379 scans
  ASSERT_TRUE(within.ok()) << within.Message();
  EXPECT_NEAR(within.image.Pixel(4, 4)[0], 0xE0, 3);
  options.scan_bits = 9;  // 631 scans
  const DecodeResult beyond = Decode(EncodeJpeg(grey, options));
  EXPECT_EQ(beyond.error, ImageError::kCorrupt);
  EXPECT_EQ(beyond.detail, "more than 500 scans");
}

TEST(JpegDecoder, DeclaredSizePastTheLimitIsRefusedBeforeDecoding) {
  testing::ByteVector big = EncodeJpeg(Quadrants(16, 16));
  // The frame header (SOF0, FF C0) holds height and width after its length
  // and precision.
  for (size_t i = 0; i + 9 < big.size(); ++i) {
    if (big[i] == 0xFF && big[i + 1] == 0xC0) {
      big[i + 5] = 0x50;  // height 20480
      big[i + 6] = 0x00;
      break;
    }
  }
  const DecodeResult r = Decode(big);
  EXPECT_EQ(r.error, ImageError::kTooLarge) << r.Message();
  EXPECT_EQ(r.full_height, 20480);
}

}  // namespace
}  // namespace vorsandt::images
