// Showing a large JPEG photograph in a small picture control: the decode at
// a reduced scale that the decoder chooses for the control's box, against
// decoding every pixel and then scaling down, both measured in this run.
//
//   image_decode [--width 6000] [--height 4000] [--box 400x300] [--reps 5]
//
// Each way is the decode plus the nearest-pixel scaling into the box (what a
// control then draws); the median of the repetitions is printed, and last
// the ratio "full / scaled".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "images/decode.h"
#include "images/testing/test_pictures.h"

namespace {

using namespace vorsandt::images;
using Clock = std::chrono::steady_clock;

// A photograph-like picture: smooth light, edges and a little grain, so the
// encoder has the work a camera's file gives it.
Image Photo(int width, int height) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  uint32_t grain = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      grain = grain * 1103515245 + 12345;
      const int noise = static_cast<int>((grain >> 16) & 15) - 8;
      uint8_t* p = image.Pixel(x, y);
      const bool edge = ((x / 97) + (y / 61)) % 2 == 0;
      p[0] = static_cast<uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(y * 255 / height + noise, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp((edge ? 200 : 60) + noise, 0, 255));
      p[3] = 255;
    }
  return image;
}

// Nearest-pixel scaling into the box, keeping the aspect ratio.
Image Fit(const Image& in, int box_width, int box_height) {
  const double scale = std::min(double(box_width) / in.width, double(box_height) / in.height);
  Image out;
  out.width = std::max(1, static_cast<int>(in.width * scale));
  out.height = std::max(1, static_cast<int>(in.height * scale));
  out.rgba.resize(static_cast<size_t>(out.width) * out.height * 4);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      std::memcpy(out.Pixel(x, y), in.Pixel(x * in.width / out.width, y * in.height / out.height),
                  4);
  return out;
}

double Show(const std::vector<uint8_t>& file, DecodeOptions options, int box_width, int box_height,
            int* decoded_width) {
  const auto start = Clock::now();
  const DecodeResult r = DecodeImage(file, options);
  if (!r.ok()) {
    std::fprintf(stderr, "decode failed: %s\n", r.Message().c_str());
    std::exit(1);
  }
  const Image shown = Fit(r.image, box_width, box_height);
  *decoded_width = r.image.width;
  if (shown.width > box_width) std::exit(1);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int width = 6000, height = 4000, box_width = 400, box_height = 300, reps = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i], value = argv[i + 1];
    if (flag == "--width") width = std::atoi(value.c_str());
    if (flag == "--height") height = std::atoi(value.c_str());
    if (flag == "--reps") reps = std::max(1, std::atoi(value.c_str()));
    if (flag == "--box") std::sscanf(value.c_str(), "%dx%d", &box_width, &box_height);
  }
  const std::vector<uint8_t> file = testing::EncodeJpeg(Photo(width, height), {.quality = 90});
  std::printf("JPEG %d x %d, %zu bytes, shown in %d x %d\n", width, height, file.size(), box_width,
              box_height);
  std::vector<double> full, scaled;
  int full_width = 0, scaled_width = 0;
  for (int i = 0; i < reps; ++i) {
    full.push_back(Show(file, {}, box_width, box_height, &full_width));
    scaled.push_back(Show(file, {box_width, box_height}, box_width, box_height, &scaled_width));
  }
  std::printf("full decode   %8.1f ms (decoded %d wide)\n", Median(full), full_width);
  std::printf("scaled decode %8.1f ms (decoded %d wide)\n", Median(scaled), scaled_width);
  std::printf("ratio full/scaled %.2f\n", Median(full) / Median(scaled));
  return 0;
}
