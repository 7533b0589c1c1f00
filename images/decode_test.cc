// The decoding interface (format from content, files through the
// environment, errors) and the PNG and GIF decoders.
#include "images/decode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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

  // A picture name pointing at a FIFO nobody writes to, or at a device:
  // refused at once by name, not waited on.
  const std::string fifo = dir + "/PIPE.PNG";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const auto started = std::chrono::steady_clock::now();
  const DecodeResult piped = DecodeImageFile(*env::Env::Default(), fifo);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(piped.error, ImageError::kReadFailed);
  EXPECT_EQ(piped.detail, fifo + ": not a regular file");
  EXPECT_EQ(DecodeImageFile(*env::Env::Default(), "/dev/zero").error, ImageError::kReadFailed);
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

// A PNG by hand: the header's fields and `rows` (the filtered rows) as its
// image data, deflated, in chunks of at most `chunk` bytes.
ByteVector HandMadePng(uint32_t width, uint32_t height, uint8_t colour, bool interlaced,
                       const std::string& deflated, size_t chunk = 1 << 20) {
  ByteVector png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) png.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
  };
  auto add_chunk = [&](const char* type, const uint8_t* data, size_t size) {
    put32(static_cast<uint32_t>(size));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data, data + size);
    put32(static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(size + 4))));
  };
  uint8_t ihdr[13] = {};
  for (int i = 0; i < 4; ++i) {
    ihdr[i] = static_cast<uint8_t>(width >> (24 - 8 * i));
    ihdr[4 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
  }
  ihdr[8] = 8;
  ihdr[9] = colour;
  ihdr[12] = interlaced ? 1 : 0;
  add_chunk("IHDR", ihdr, sizeof ihdr);
  const auto* data = reinterpret_cast<const uint8_t*>(deflated.data());
  for (size_t at = 0; at < deflated.size(); at += chunk)
    add_chunk("IDAT", data + at, std::min(chunk, deflated.size() - at));
  add_chunk("IEND", nullptr, 0);
  return png;
}

std::string Deflated(const std::string& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  out.resize(size);
  return out;
}

// A stream of zeros that inflates to `gigabytes` GiB from a few megabytes:
// blocks after a full flush do not depend on what came before, so one is
// made and repeated.
std::string ZeroBomb(int gigabytes) {
  z_stream z{};
  deflateInit(&z, 9);
  const std::string zeros(16 << 20, '\0');
  std::string out(1 << 20, '\0');
  auto segment = [&](int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = flush == Z_FINISH ? 0 : static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, flush);
    return out.substr(0, out.size() - z.avail_out);
  };
  std::string stream = segment(Z_FULL_FLUSH);
  const std::string repeated = segment(Z_FULL_FLUSH);
  for (int i = 2; i < gigabytes * 64; ++i) stream += repeated;
  stream += segment(Z_FINISH);
  deflateEnd(&z);
  return stream;
}

TEST(PngDecoder, ImageDataBeyondWhatTheHeaderNeedsIsRefusedWithoutInflatingIt) {
  // 1 x 1 pixels and 8 GiB of image data in about 8 MB.
  const std::string bomb = ZeroBomb(8);
  ASSERT_LT(bomb.size(), 10u << 20);
  const ByteVector png = HandMadePng(1, 1, 6, false, bomb);
  const auto started = std::chrono::steady_clock::now();
  const DecodeResult r = DecodePng(png, {});
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(r.error, ImageError::kCorrupt) << r.Message();
  EXPECT_EQ(r.detail, "more image data than 1 x 1 pixels hold");
  EXPECT_LT(took, std::chrono::seconds(1));

  // Pictures whose data is what their size needs decode, interlaced or not:
  // 5 x 3 RGB in the seven passes is 52 bytes of rows (filter byte each).
  const std::string rows(52, '\0');
  const DecodeResult interlaced = DecodePng(HandMadePng(5, 3, 2, true, Deflated(rows), 7), {});
  EXPECT_TRUE(interlaced.ok()) << interlaced.Message();
  const std::string plain(2 * (1 + 12), '\0');
  EXPECT_TRUE(DecodePng(HandMadePng(3, 2, 6, false, Deflated(plain)), {}).ok());
  // A little more than the rows is libpng's to put up with, far more is not.
  EXPECT_TRUE(
      DecodePng(HandMadePng(3, 2, 6, false, Deflated(plain + std::string(100, '\0'))), {}).ok());
  EXPECT_EQ(DecodePng(HandMadePng(3, 2, 6, false, Deflated(plain + std::string(1 << 20, '\0'))), {})
                .error,
            ImageError::kCorrupt);
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
