// The committed picture seeds are pictures the decoders show: a seed that a
// decoder refuses would start every fuzz run at its first error check.
// Inputs kept from failures (regression-*) are exempt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "images/decode.h"

namespace vorsandt::images {
namespace {

TEST(ImageSeeds, EverySeedDecodesInItsTargetsFormat) {
  const struct {
    const char* folder;
    ImageFormat format;
  } kTargets[] = {{"image_jpeg", ImageFormat::kJpeg}, {"image_png", ImageFormat::kPng},
                  {"image_gif", ImageFormat::kGif},   {"image_bmp", ImageFormat::kBmp},
                  {"image_ico", ImageFormat::kIco},   {"image_pcx", ImageFormat::kPcx},
                  {"image_wmf", ImageFormat::kWmf}};
  for (const auto& target : kTargets) {
    int seeds = 0;
    const std::filesystem::path dir = std::filesystem::path(VORSANDT_FUZZ_CORPUS) / target.folder;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.path().filename().string().starts_with("regression-")) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
      const DecodeResult r = DecodeImage(bytes);
      EXPECT_TRUE(r.ok()) << entry.path() << ": " << r.Message();
      EXPECT_EQ(r.format, target.format) << entry.path();
      ++seeds;
    }
    EXPECT_GE(seeds, 1) << target.folder;
  }
}

}  // namespace
}  // namespace vorsandt::images
