// Writes the seed pictures of the decoder fuzz targets, one folder per
// target, from the same in-memory encoders the decoder tests use:
//   make_image_seeds tests/fuzz/corpus
// Each seed is small (a few hundred bytes) so that mutations reach deep.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "images/metafile_recorder.h"
#include "images/testing/test_pictures.h"

namespace {

using namespace vorsandt::images;
using namespace vorsandt::images::testing;

void Write(const std::string& root, const std::string& target, const std::string& name,
           const ByteVector& bytes) {
  const std::string dir = root + "/image_" + target;
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Indexes(int width, int height, int colours) {
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out.push_back(static_cast<uint8_t>((x / 3 + y * 5) % colours));
  return out;
}

std::vector<uint32_t> Palette(int colours) {
  std::vector<uint32_t> out;
  for (int i = 0; i < colours; ++i) out.push_back(static_cast<uint32_t>(i * 0x3F1D07) & 0xFFFFFF);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_image_seeds <corpus folder>\n");
    return 2;
  }
  const std::string root = argv[1];
  const Image pattern = Pattern(8, 6, true);

  Write(root, "jpeg", "rgb.jpg", EncodeJpeg(pattern, {.quality = 75}));
  Write(root, "jpeg", "grey_progressive.jpg",
        EncodeJpeg(pattern, {.colour = JpegOptions::kGrey, .progressive = true, .quality = 75}));
  Write(root, "jpeg", "cmyk_adobe.jpg",
        EncodeJpeg(pattern, {.colour = JpegOptions::kCmyk, .quality = 75}));
  Write(root, "jpeg", "exif_turned.jpg", EncodeJpeg(pattern, {.orientation = 6, .quality = 75}));

  Write(root, "png", "rgba.png", EncodePng(pattern));
  Write(root, "png", "grey.png", EncodePng(pattern, PngColour::kGrey));

  GifFrame gif{.width = 6,
               .height = 5,
               .indexes = Indexes(6, 5, 4),
               .colours = {0xFF0000, 0x00FF00, 0x0000FF, 0}};
  Write(root, "gif", "plain.gif", EncodeGif(gif));
  gif.transparent = 3;
  gif.interlaced = true;
  gif.screen_width = 8;
  gif.left = 1;
  gif.frames = 2;
  Write(root, "gif", "interlaced_transparent.gif", EncodeGif(gif));

  for (int bits : {1, 4, 8}) {
    BmpSpec s{.bits = bits, .width = 7, .height = 4};
    s.indexes = Indexes(7, 4, 1 << bits);
    s.palette = Palette(1 << bits);
    Write(root, "bmp", "indexed" + std::to_string(bits) + ".bmp", EncodeBmp(s));
    if (bits == 8) {
      s.top_down = true;
      Write(root, "bmp", "top_down8.bmp", EncodeBmp(s));
      s.top_down = false;
      s.core_header = true;
      Write(root, "bmp", "core8.bmp", EncodeBmp(s));
      s.core_header = false;
    }
    if (bits != 1) {
      s.rle = bits;
      Write(root, "bmp", "rle" + std::to_string(bits) + ".bmp", EncodeBmp(s));
    }
  }
  for (int bits : {16, 24, 32})
    for (bool fields : {false, true}) {
      if (bits == 24 && fields) continue;
      const BmpSpec s{.bits = bits,
                      .width = 5,
                      .height = 3,
                      .bit_fields = fields,
                      .image = Pattern(5, 3, true)};
      Write(root, "bmp", "rgb" + std::to_string(bits) + (fields ? "_fields" : "") + ".bmp",
            EncodeBmp(s));
    }

  BmpSpec icon{.bits = 8, .width = 8, .height = 8};
  icon.indexes = Indexes(8, 8, 16);
  icon.palette = Palette(16);
  std::vector<uint8_t> mask(64, 0);
  mask[0] = mask[9] = 1;
  const BmpSpec alpha{.bits = 32, .width = 4, .height = 4, .image = Pattern(4, 4, true)};
  Write(root, "ico", "two_sizes.ico",
        EncodeIco({{8, 8, 8, EncodeIconDib(icon, mask)}, {4, 4, 32, EncodeIconDib(alpha, {})}}));
  Write(root, "ico", "png_entry.ico",
        EncodeIco({{4, 4, 32, EncodeIconDib(alpha, {})}, {8, 6, 32, EncodePng(pattern)}}));

  struct Pcx {
    int bits, planes;
  };
  for (Pcx p : {Pcx{1, 1}, Pcx{1, 4}, Pcx{4, 1}, Pcx{8, 1}}) {
    const int colours = p.bits == 8 ? 256 : 1 << (p.bits * p.planes);
    PcxSpec s{.bits = p.bits, .planes = p.planes, .width = 9, .height = 4};
    s.indexes = Indexes(9, 4, colours);
    s.palette = Palette(colours);
    Write(root, "pcx",
          "bits" + std::to_string(p.bits) + "_planes" + std::to_string(p.planes) + ".pcx",
          EncodePcx(s));
  }
  Write(root, "pcx", "rgb.pcx",
        EncodePcx({.bits = 8, .planes = 3, .width = 9, .height = 4, .image = Pattern(9, 4)}));

  MetafileRecorder wmf({0, 0, 480, 360}, 1440);
  wmf.Select(wmf.CreatePen(kPenSolid, 15, 0x0000FF));
  wmf.Select(wmf.CreateBrush(kBrushSolid, 0x00FF00));
  wmf.Rectangle(30, 30, 200, 150);
  wmf.MoveTo(0, 300);
  wmf.LineTo(480, 320);
  wmf.Select(wmf.CreateFont(-90, 700, false, "Arial"));
  wmf.SetTextColor(0xFF0000);
  wmf.TextOut(40, 200, "Total");
  Write(root, "wmf", "shapes_and_text.wmf", wmf.Finish());
  return 0;
}
