// The decoding interface (format from content, files through the
// environment, errors) and the PNG and GIF decoders.
#include "images/decode.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "images/decoders.h"
#include "images/metafile_recorder.h"
#include "images/testing/test_pictures.h"

namespace vorsandt::images {
namespace {

using testing::ByteVector;

TEST(DecodeImage, TheFormatComesFromTheContent) {
  const Image pattern = testing::Pattern(6, 5);
  testing::BmpSpec bmp{.bits = 24, .width = 6, .height = 5, .image = pattern};
  testing::BmpSpec dib{.bits = 24, .width = 6, .height = 5, .image = pattern};
  testing::GifFrame gif{.width = 2, .height = 1, .indexes = {0, 1}, .colours = {0, 0xFFFFFF}};
  const struct {
    ByteVector bytes;
    ImageFormat format;
  } kCases[] = {
      {testing::EncodeJpeg(pattern), ImageFormat::kJpeg},
      {testing::EncodePng(pattern), ImageFormat::kPng},
      {testing::EncodeGif(gif), ImageFormat::kGif},
      {testing::EncodeBmp(bmp), ImageFormat::kBmp},
      {testing::EncodeIco({{6, 5, 24, testing::EncodeIconDib(dib, {})}}), ImageFormat::kIco},
      {testing::EncodePcx({.bits = 8, .planes = 3, .width = 6, .height = 5, .image = pattern}),
       ImageFormat::kPcx},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(DetectFormat(c.bytes), c.format) << FormatName(c.format);
    const DecodeResult r = DecodeImage(c.bytes);
    ASSERT_TRUE(r.ok()) << FormatName(c.format) << ": " << r.Message();
    EXPECT_EQ(r.format, c.format);
    EXPECT_EQ(r.image.rgba.size(), static_cast<size_t>(r.image.width) * r.image.height * 4);
  }
  const ByteVector text = {'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(DecodeImage(text).error, ImageError::kUnknownFormat);
  EXPECT_EQ(DecodeImage(ByteVector{}).error, ImageError::kEmpty);
  EXPECT_EQ(DecodeImage(text).Message(),
            "The file is not a picture in a format this program reads.");
}

TEST(DecodeImage, FilesAreReadThroughTheEnvironmentWhateverTheirName) {
  const std::string dir = ::testing::TempDir() + "/images_decode_test";
  std::filesystem::create_directories(dir);
  const ByteVector png = testing::EncodePng(testing::Pattern(3, 2));
  const std::string misnamed = dir + "/PHOTO.BMP";
  std::ofstream(misnamed, std::ios::binary)
      .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  const DecodeResult r = DecodeImageFile(*env::Env::Default(), misnamed);
  ASSERT_TRUE(r.ok()) << r.Message();
  EXPECT_EQ(r.format, ImageFormat::kPng);
  EXPECT_EQ(testing::MaxDifference(r.image, testing::Pattern(3, 2)), 0);

  // Report page images (.TMP) are metafiles, found by their content too.
  MetafileRecorder page({0, 0, 1440, 1440}, 1440);
  const ByteVector wmf = page.Finish();
  std::ofstream(dir + "/ZOR1.TMP", std::ios::binary)
      .write(reinterpret_cast<const char*>(wmf.data()), static_cast<std::streamsize>(wmf.size()));
  const DecodeResult tmp = DecodeImageFile(*env::Env::Default(), dir + "/ZOR1.TMP");
  ASSERT_TRUE(tmp.ok()) << tmp.Message();
  EXPECT_EQ(tmp.format, ImageFormat::kWmf);
  EXPECT_EQ(tmp.image.width, 96);

  const DecodeResult missing = DecodeImageFile(*env::Env::Default(), dir + "/NONE.JPG");
  EXPECT_EQ(missing.error, ImageError::kFileNotFound);
  EXPECT_NE(missing.Message().find("NONE.JPG"), std::string::npos);
  EXPECT_EQ(DecodeImageFile(*env::Env::Default(), dir).error, ImageError::kReadFailed);
  std::filesystem::remove_all(dir);
}

TEST(DecodeImage, MetafilesAreRecognisedAndDrawn) {
  MetafileRecorder recorder({0, 0, 1440, 720}, 1440);  // one inch by half an inch
  recorder.Select(recorder.CreatePen(kPenNull, 0, 0));
  recorder.Select(recorder.CreateBrush(kBrushSolid, 0x0000FF));  // red (0x00BBGGRR)
  recorder.Rectangle(150, 150, 720, 600);
  const ByteVector wmf = recorder.Finish();
  EXPECT_EQ(DetectFormat(wmf), ImageFormat::kWmf);
  const DecodeResult r = DecodeImage(wmf);
  ASSERT_TRUE(r.ok()) << r.Message();
  EXPECT_EQ(r.format, ImageFormat::kWmf);
  EXPECT_EQ(r.image.width, 96);  // 96 pixels an inch
  EXPECT_EQ(r.image.height, 48);
  EXPECT_EQ(r.image.Pixel(20, 20)[0], 255);
  EXPECT_EQ(r.image.Pixel(20, 20)[1], 0);
  EXPECT_EQ(r.image.Pixel(60, 20)[1], 255);  // white paper right of it
  const ByteVector damaged(wmf.begin(), wmf.begin() + 30);
  EXPECT_EQ(DecodeImage(damaged).error, ImageError::kCorrupt);
}

TEST(PngDecoder, ColourTypesComeOutAsRgba) {
  const Image pattern = testing::Pattern(9, 7, true);
  EXPECT_EQ(testing::MaxDifference(DecodePng(testing::EncodePng(pattern), {}).image, pattern), 0);
  Image opaque = pattern;
  for (size_t i = 3; i < opaque.rgba.size(); i += 4) opaque.rgba[i] = 255;
  EXPECT_EQ(testing::MaxDifference(
                DecodePng(testing::EncodePng(pattern, testing::PngColour::kRgb), {}).image, opaque),
            0);
  const DecodeResult grey = DecodePng(testing::EncodePng(pattern, testing::PngColour::kGrey), {});
  ASSERT_TRUE(grey.ok()) << grey.Message();
  const uint8_t* p = grey.image.Pixel(4, 2);
  EXPECT_EQ(p[0], pattern.Pixel(4, 2)[0]);
  EXPECT_EQ(p[1], p[0]);
  EXPECT_EQ(p[2], p[0]);
  EXPECT_EQ(p[3], 255);
}

TEST(PngDecoder, TruncatedDamagedAndOversizedFilesAreRefused) {
  const ByteVector good = testing::EncodePng(testing::Pattern(40, 40, true));
  for (size_t keep : {size_t{8}, size_t{30}, good.size() / 2, good.size() - 13}) {
    const DecodeResult r = DecodePng(ByteVector(good.begin(), good.begin() + keep), {});
    EXPECT_FALSE(r.ok()) << keep;
    EXPECT_TRUE(r.error == ImageError::kTruncated) << keep << ": " << r.Message();
  }
  ByteVector bad = good;
  bad[good.size() / 2] ^= 0xFF;  // inside the compressed data: its checksum fails
  EXPECT_EQ(DecodePng(bad, {}).error, ImageError::kCorrupt);
  // The header chunk (length, "IHDR", width, height, ...) at byte 8, its
  // checksum after its 13 bytes of data.
  ByteVector big = testing::EncodePng(testing::Pattern(1, 1));
  big[16 + 1] = 0x01;  // 65537 x 1
  const uint32_t crc = crc32(0, big.data() + 12, 17);
  for (int i = 0; i < 4; ++i) big[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  const DecodeResult r = DecodePng(big, {});
  EXPECT_EQ(r.error, ImageError::kTooLarge) << r.Message();
  EXPECT_EQ(r.full_width, 65537);
}

TEST(GifDecoder, FirstFrameWithTransparencyOnTheScreen) {
  testing::GifFrame f{.width = 3, .height = 9, .colours = {0xFF0000, 0x00FF00, 0x0000FF, 0}};
  for (int i = 0; i < 27; ++i) f.indexes.push_back(static_cast<uint8_t>(i % 4));
  f.transparent = 3;
  f.screen_width = 5;
  f.screen_height = 10;
  f.left = 2;
  f.top = 1;
  f.frames = 3;
  for (bool interlaced : {false, true}) {
    f.interlaced = interlaced;
    const DecodeResult r = DecodeGif(testing::EncodeGif(f), {});
    ASSERT_TRUE(r.ok()) << r.Message();
    ASSERT_EQ(r.image.width, 5);
    ASSERT_EQ(r.image.height, 10);
    EXPECT_EQ(r.image.Pixel(0, 0)[3], 0);  // outside the frame
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 3; ++x) {
        const int index = (y * 3 + x) % 4;
        const uint8_t* p = r.image.Pixel(2 + x, 1 + y);
        if (index == 3) {
          EXPECT_EQ(p[3], 0) << x << "," << y;
          continue;
        }
        EXPECT_EQ(p[3], 255);
        EXPECT_EQ(p[index], 255) << x << "," << y << " interlaced " << interlaced;
      }
  }
}

TEST(GifDecoder, TruncatedDamagedAndOversizedFilesAreRefused) {
  testing::GifFrame f{.width = 30, .height = 30, .colours = {0, 0xFFFFFF}};
  for (int i = 0; i < 900; ++i) f.indexes.push_back(static_cast<uint8_t>(i * 7 % 3 == 0));
  const ByteVector good = testing::EncodeGif(f);
  ASSERT_TRUE(DecodeGif(good, {}).ok());
  for (size_t keep : {size_t{4}, size_t{12}, size_t{40}, good.size() - 10}) {
    const DecodeResult r = DecodeGif(ByteVector(good.begin(), good.begin() + keep), {});
    EXPECT_FALSE(r.ok()) << keep;
    EXPECT_TRUE(r.error == ImageError::kTruncated || r.error == ImageError::kCorrupt)
        << keep << r.Message();
  }
  ByteVector big = good;
  big[6] = 0xFF;  // screen 65535 wide
  big[7] = 0xFF;
  EXPECT_EQ(DecodeGif(big, {}).error, ImageError::kTooLarge);
}

}  // namespace
}  // namespace vorsandt::images
