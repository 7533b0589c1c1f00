#include "images/testing/test_pictures.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace vorsandt::images::testing {
namespace {

void Put16(ByteVector& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(ByteVector& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Set16(ByteVector& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

ByteVector ExifSegment(int orientation) {
  ByteVector s = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
  Put32(s, 8);       // first directory right after the TIFF header
  Put16(s, 1);       // one entry
  Put16(s, 0x0112);  // orientation
  Put16(s, 3);       // SHORT
  Put32(s, 1);       // one value
  Put16(s, orientation);
  Put16(s, 0);
  Put32(s, 0);  // no next directory
  return s;
}

// Rows of packed palette indexes, `bits` each, most significant first,
// padded to `align` bytes.
ByteVector PackRow(const std::vector<uint8_t>& indexes, size_t from, int width, int bits,
                   size_t align) {
  size_t bytes = (static_cast<size_t>(width) * bits + 7) / 8;
  bytes = (bytes + align - 1) / align * align;
  ByteVector row(bytes, 0);
  for (int x = 0; x < width; ++x) {
    const size_t bit = static_cast<size_t>(x) * bits;
    row[bit / 8] |= static_cast<uint8_t>(indexes[from + x] << (8 - bits - bit % 8));
  }
  return row;
}

// RLE8/RLE4 of one row: repeated indexes as counted runs, other stretches of
// three or more as literal runs.
void RleRow(const uint8_t* row, int width, bool four, ByteVector& out) {
  int x = 0;
  while (x < width) {
    int run = 1;
    while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(four ? static_cast<uint8_t>(row[x] << 4 | row[x]) : row[x]);
      x += run;
      continue;
    }
    int lit = 1;
    while (x + lit < width && lit < 255 &&
           !(x + lit + 1 < width && row[x + lit] == row[x + lit + 1]))
      ++lit;
    if (lit < 3) {
      out.push_back(1);
      out.push_back(four ? static_cast<uint8_t>(row[x] << 4) : row[x]);
      ++x;
      continue;
    }
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(lit));
    ByteVector bytes;
    for (int i = 0; i < lit; ++i) {
      if (!four) {
        bytes.push_back(row[x + i]);
      } else if (i % 2 == 0) {
        bytes.push_back(static_cast<uint8_t>(row[x + i] << 4));
      } else {
        bytes.back() |= row[x + i];
      }
    }
    if (bytes.size() % 2 != 0) bytes.push_back(0);
    out.insert(out.end(), bytes.begin(), bytes.end());
    x += lit;
  }
  out.push_back(0);
  out.push_back(0);  // end of line
}

// Header, palette and pixels of a DIB (no file header); `rows` is the height
// written into the header.
ByteVector Dib(const BmpSpec& s, int header_rows, ByteVector* palette_out = nullptr) {
  ByteVector out;
  const bool fields32 = s.bit_fields && s.bits == 32;
  const uint32_t compression = s.rle == 8 ? 1 : s.rle == 4 ? 2 : s.bit_fields ? 3 : 0;
  if (s.core_header) {
    Put32(out, 12);
    Put16(out, s.width);
    Put16(out, header_rows);
    Put16(out, 1);
    Put16(out, s.bits);
  } else {
    Put32(out, fields32 ? 108 : 40);
    Put32(out, s.width);
    Put32(out, s.top_down ? -header_rows : header_rows);
    Put16(out, 1);
    Put16(out, s.bits);
    Put32(out, compression);
    Put32(out, 0);  // image size: may be 0 for uncompressed
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, s.bits <= 8 ? s.palette.size() : 0);
    Put32(out, 0);
    if (s.bit_fields && s.bits == 16) {
      Put32(out, 0xF800);
      Put32(out, 0x07E0);
      Put32(out, 0x001F);
    }
    if (fields32) {
      Put32(out, 0x00FF0000);
      Put32(out, 0x0000FF00);
      Put32(out, 0x000000FF);
      Put32(out, 0xFF000000);
      Put32(out, 0x73524742);          // 'sRGB'
      out.resize(out.size() + 48, 0);  // end points and gamma
    }
  }
  if (s.bits <= 8) {
    for (uint32_t c : s.palette) {
      out.push_back(static_cast<uint8_t>(c));
      out.push_back(static_cast<uint8_t>(c >> 8));
      out.push_back(static_cast<uint8_t>(c >> 16));
      if (!s.core_header) out.push_back(0);
    }
  }
  if (palette_out) *palette_out = out;
  return out;
}

void DibPixels(const BmpSpec& s, ByteVector& out) {
  for (int r = 0; r < s.height; ++r) {
    const int y = s.top_down ? r : s.height - 1 - r;
    if (s.rle != 0) {
      RleRow(s.indexes.data() + static_cast<size_t>(y) * s.width, s.width, s.rle == 4, out);
      continue;
    }
    if (s.bits <= 8) {
      const ByteVector row =
          PackRow(s.indexes, static_cast<size_t>(y) * s.width, s.width, s.bits, 4);
      out.insert(out.end(), row.begin(), row.end());
      continue;
    }
    const size_t start = out.size();
    for (int x = 0; x < s.width; ++x) {
      const uint8_t* p = s.image.Pixel(x, y);
      if (s.bits == 16) {
        Put16(out, s.bit_fields ? (p[0] >> 3) << 11 | (p[1] >> 2) << 5 | p[2] >> 3
                                : (p[0] >> 3) << 10 | (p[1] >> 3) << 5 | p[2] >> 3);
      } else {
        out.push_back(p[2]);
        out.push_back(p[1]);
        out.push_back(p[0]);
        if (s.bits == 32) out.push_back(s.bit_fields ? p[3] : 0);
      }
    }
    while ((out.size() - start) % 4 != 0) out.push_back(0);
  }
  if (s.rle != 0) {
    out.push_back(0);
    out.push_back(1);  // end of bitmap
  }
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<ByteVector*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

}  // namespace

Image Pattern(int width, int height, bool with_alpha) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = image.Pixel(x, y);
      p[0] = static_cast<uint8_t>(x * 16 + 8);
      p[1] = static_cast<uint8_t>(y * 16 + 8);
      p[2] = static_cast<uint8_t>((x + y) * 8 + 40);
      p[3] = with_alpha ? static_cast<uint8_t>((x * 7 + y * 13) * 3) : 255;
    }
  }
  return image;
}

int MaxDifference(const Image& a, const Image& b) {
  if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size()) return -1;
  int worst = 0;
  for (size_t i = 0; i < a.rgba.size(); ++i)
    worst = std::max(worst, std::abs(int{a.rgba[i]} - int{b.rgba[i]}));
  return worst;
}

ByteVector EncodeJpeg(const Image& image, const JpegOptions& options) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = image.width;
  c.image_height = image.height;
  const int components = options.colour == JpegOptions::kGrey  ? 1
                         : options.colour == JpegOptions::kRgb ? 3
                                                               : 4;
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, options.quality, TRUE);
  for (int i = 0; i < c.num_components; ++i) {
    c.comp_info[i].h_samp_factor = 1;  // no chroma subsampling: exact colours
    c.comp_info[i].v_samp_factor = 1;
  }
  std::vector<jpeg_scan_info> scans;
  if (options.progressive && options.scan_bits >= 0 && components == 1) {
    scans.push_back({1, {0}, 0, 0, 0, 0});  // DC
    for (int k = 1; k < 64; ++k) {
      scans.push_back({1, {0}, k, k, 0, options.scan_bits});
      for (int bit = options.scan_bits; bit > 0; --bit)
        scans.push_back({1, {0}, k, k, bit, bit - 1});
    }
    c.scan_info = scans.data();
    c.num_scans = static_cast<int>(scans.size());
  } else if (options.progressive) {
    jpeg_simple_progression(&c);
  }
  if (components == 4) c.write_Adobe_marker = options.adobe_inverted ? TRUE : FALSE;
  jpeg_start_compress(&c, TRUE);
  if (options.orientation != 0) {
    const ByteVector exif = ExifSegment(options.orientation);
    jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
  }
  std::vector<uint8_t> row(static_cast<size_t>(image.width) * components);
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.Pixel(x, y);
      uint8_t* o = row.data() + static_cast<size_t>(x) * components;
      if (components == 1) {
        o[0] = p[0];
      } else if (components == 3) {
        std::memcpy(o, p, 3);
      } else {
        // Inks that print the pixel's colour with no black: cyan is what red
        // lacks. Adobe's inverted form stores 255 - ink.
        for (int k = 0; k < 3; ++k) o[k] = options.adobe_inverted ? p[k] : 255 - p[k];
        o[3] = options.adobe_inverted ? 255 : 0;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  ByteVector out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&c);
  return out;
}

ByteVector EncodePng(const Image& image, PngColour colour) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  ByteVector pixels;
  if (colour == PngColour::kRgba) {
    png.format = PNG_FORMAT_RGBA;
    pixels = image.rgba;
  } else {
    png.format = colour == PngColour::kRgb ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    for (size_t i = 0; i < image.rgba.size(); i += 4)
      pixels.insert(pixels.end(), image.rgba.begin() + i,
                    image.rgba.begin() + i + (colour == PngColour::kRgb ? 3 : 1));
  }
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&png, nullptr, &size, 0, pixels.data(), 0, nullptr);
  ByteVector out(size);
  png_image_write_to_memory(&png, out.data(), &size, 0, pixels.data(), 0, nullptr);
  out.resize(size);
  return out;
}

ByteVector EncodeGif(const GifFrame& f) {
  ByteVector out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &err);
  EGifSetGifVersion(gif, true);
  int count = 2;
  while (count < static_cast<int>(f.colours.size())) count *= 2;
  ColorMapObject* map = GifMakeMapObject(count, nullptr);
  for (size_t i = 0; i < f.colours.size(); ++i)
    map->Colors[i] = {static_cast<GifByteType>(f.colours[i] >> 16),
                      static_cast<GifByteType>(f.colours[i] >> 8),
                      static_cast<GifByteType>(f.colours[i])};
  EGifPutScreenDesc(gif, f.screen_width ? f.screen_width : f.width,
                    f.screen_height ? f.screen_height : f.height, 8, 0, map);
  for (int frame = 0; frame < f.frames; ++frame) {
    if (f.transparent >= 0) {
      GraphicsControlBlock gcb{};
      gcb.TransparentColor = f.transparent;
      GifByteType ext[4];
      EGifGCBToExtension(&gcb, ext);
      EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    }
    EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, nullptr);
    std::vector<int> order;
    if (f.interlaced) {
      for (int pass = 0; pass < 4; ++pass)
        for (int y = "\0\4\2\1"[pass]; y < f.height; y += "\10\10\4\2"[pass]) order.push_back(y);
    } else {
      for (int y = 0; y < f.height; ++y) order.push_back(y);
    }
    std::vector<GifPixelType> line(f.width);
    for (int y : order) {
      for (int x = 0; x < f.width; ++x)
        line[x] = frame == 0 ? f.indexes[static_cast<size_t>(y) * f.width + x] : 0;
      EGifPutLine(gif, line.data(), f.width);
    }
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return out;
}

ByteVector EncodeBmp(const BmpSpec& spec) {
  ByteVector dib = Dib(spec, spec.height);
  const size_t header = dib.size();
  DibPixels(spec, dib);
  ByteVector out = {'B', 'M'};
  Put32(out, static_cast<uint32_t>(14 + dib.size()));
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(14 + header));
  out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

ByteVector EncodeIconDib(const BmpSpec& spec, const std::vector<uint8_t>& mask) {
  ByteVector out = Dib(spec, spec.height * 2);
  DibPixels(spec, out);
  if (mask.empty()) return out;
  for (int r = 0; r < spec.height; ++r) {
    const ByteVector row =
        PackRow(mask, static_cast<size_t>(spec.height - 1 - r) * spec.width, spec.width, 1, 4);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

ByteVector EncodeIco(const std::vector<IconEntry>& entries) {
  ByteVector out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(entries.size()));
  size_t offset = 6 + 16 * entries.size();
  for (const IconEntry& e : entries) {
    out.push_back(static_cast<uint8_t>(e.width >= 256 ? 0 : e.width));
    out.push_back(static_cast<uint8_t>(e.height >= 256 ? 0 : e.height));
    out.push_back(0);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, e.bits);
    Put32(out, static_cast<uint32_t>(e.data.size()));
    Put32(out, static_cast<uint32_t>(offset));
    offset += e.data.size();
  }
  for (const IconEntry& e : entries) out.insert(out.end(), e.data.begin(), e.data.end());
  return out;
}

ByteVector EncodePcx(const PcxSpec& s) {
  ByteVector out(128, 0);
  out[0] = 0x0A;
  out[1] = 5;
  out[2] = s.rle ? 1 : 0;
  out[3] = static_cast<uint8_t>(s.bits);
  Set16(out, 8, s.width - 1);
  Set16(out, 10, s.height - 1);
  Set16(out, 12, 72);
  Set16(out, 14, 72);
  for (size_t i = 0; i < s.palette.size() && i < 16; ++i) {
    out[16 + i * 3] = static_cast<uint8_t>(s.palette[i] >> 16);
    out[17 + i * 3] = static_cast<uint8_t>(s.palette[i] >> 8);
    out[18 + i * 3] = static_cast<uint8_t>(s.palette[i]);
  }
  out[65] = static_cast<uint8_t>(s.planes);
  const int per_line = ((s.width * s.bits + 7) / 8 + 1) / 2 * 2;
  Set16(out, 66, per_line);
  Set16(out, 68, 1);
  for (int y = 0; y < s.height; ++y) {
    ByteVector line;
    for (int k = 0; k < s.planes; ++k) {
      ByteVector plane(per_line, 0);
      for (int x = 0; x < s.width; ++x) {
        if (s.bits == 8 && s.planes >= 3) {
          plane[x] = s.image.Pixel(x, y)[k];
          continue;
        }
        const uint8_t index = s.indexes[static_cast<size_t>(y) * s.width + x];
        const uint8_t value = s.planes > 1 ? (index >> k) & 1 : index;
        const int bit = x * s.bits;
        plane[bit / 8] |= static_cast<uint8_t>(value << (8 - s.bits - bit % 8));
      }
      line.insert(line.end(), plane.begin(), plane.end());
    }
    for (size_t i = 0; i < line.size();) {
      if (!s.rle) {
        out.push_back(line[i++]);
        continue;
      }
      size_t run = 1;
      while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
      if (run > 1 || (line[i] & 0xC0) == 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
      out.push_back(line[i]);
      i += run;
    }
  }
  if (s.bits == 8 && s.planes == 1) {
    out.push_back(0x0C);
    for (int i = 0; i < 256; ++i) {
      const uint32_t c = i < static_cast<int>(s.palette.size()) ? s.palette[i] : 0;
      out.push_back(static_cast<uint8_t>(c >> 16));
      out.push_back(static_cast<uint8_t>(c >> 8));
      out.push_back(static_cast<uint8_t>(c));
    }
  }
  return out;
}

}  // namespace vorsandt::images::testing
