// Metafiles drawn into pixels: shapes where the window maps them, pens,
// brushes, text bars, sizes, and the work limit.
#include "images/metafile_raster.h"

#include <gtest/gtest.h>

#include "images/decoders.h"
#include "images/metafile_recorder.h"

namespace vorsandt::images {
namespace {

constexpr uint32_t kBlue = 0xFF0000, kGreen = 0x00FF00, kBlack = 0;  // 0x00BBGGRR

bool Is(const Image& image, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  const uint8_t* p = image.Pixel(x, y);
  return p[0] == r && p[1] == g && p[2] == b && p[3] == 255;
}

// A 100 x 50 pixel picture: 1500 x 750 units at 1440 an inch (x 96 / 1440).
MetafileRecorder Page() {
  MetafileRecorder r({0, 0, 1500, 750}, 1440);
  return r;
}

TEST(MetafileRaster, ShapesLandWhereTheWindowPutsThem) {
  MetafileRecorder r = Page();
  r.Select(r.CreatePen(kPenSolid, 15, kBlack));  // one pixel wide
  r.Select(r.CreateBrush(kBrushSolid, kBlue));
  r.Rectangle(150, 150, 600, 450);  // pixels 10..40 x 10..30
  r.MoveTo(0, 742);
  r.LineTo(1500, 742);  // the bottom row
  const DecodeResult d = DecodeWmf(r.Finish(), {});
  ASSERT_TRUE(d.ok()) << d.Message();
  ASSERT_EQ(d.image.width, 100);
  ASSERT_EQ(d.image.height, 50);
  const Image& img = d.image;
  EXPECT_TRUE(Is(img, 25, 20, 0, 0, 255));    // inside the rectangle
  EXPECT_TRUE(Is(img, 10, 20, 0, 0, 0));      // its left edge
  EXPECT_TRUE(Is(img, 5, 5, 255, 255, 255));  // paper
  EXPECT_TRUE(Is(img, 30, 49, 0, 0, 0));      // the line
  EXPECT_TRUE(Is(img, 30, 47, 255, 255, 255));
}

TEST(MetafileRaster, EllipsesFillTheirInsideOnly) {
  Image img;
  img.width = 100;
  img.height = 50;
  img.rgba.assign(100 * 50 * 4, 255);
  RasterCanvas canvas(&img);
  canvas.SetWindow({0, 0}, {100, 50});
  canvas.Ellipse({50, 0}, {100, 50}, MetaPen{kPenNull, 0, 0}, MetaBrush{kBrushSolid, kGreen});
  EXPECT_TRUE(Is(img, 75, 25, 0, 255, 0));     // the middle
  EXPECT_TRUE(Is(img, 52, 25, 0, 255, 0));     // near the left end of its width
  EXPECT_TRUE(Is(img, 52, 2, 255, 255, 255));  // the bounding box's corner stays paper
  EXPECT_TRUE(Is(img, 97, 47, 255, 255, 255));
  EXPECT_TRUE(Is(img, 40, 25, 255, 255, 255));
  EXPECT_FALSE(canvas.over_budget());
}

TEST(MetafileRaster, NullPensAndBrushesDrawNothing) {
  MetafileRecorder r = Page();
  r.Select(r.CreatePen(kPenNull, 15, kBlack));
  r.Select(r.CreateBrush(kBrushNull, kBlue));
  r.Rectangle(0, 0, 1500, 750);
  r.MoveTo(0, 0);
  r.LineTo(1500, 750);
  const DecodeResult d = DecodeWmf(r.Finish(), {});
  ASSERT_TRUE(d.ok());
  for (size_t i = 0; i < d.image.rgba.size(); ++i) ASSERT_EQ(d.image.rgba[i], 255) << i;
}

TEST(MetafileRaster, TextShowsAsABarOfItsColourWhereItStands) {
  MetafileRecorder r = Page();
  r.Select(r.CreateFont(-150, 400, false, "Arial"));  // 10 pixels high
  r.SetTextColor(kBlue);
  r.TextOut(150, 150, "ABCD");  // 4 characters: 20 pixels from x 10, rows 12..17
  const DecodeResult d = DecodeWmf(r.Finish(), {});
  ASSERT_TRUE(d.ok()) << d.Message();
  EXPECT_TRUE(Is(d.image, 15, 15, 0, 0, 255));
  EXPECT_TRUE(Is(d.image, 28, 15, 0, 0, 255));
  EXPECT_TRUE(Is(d.image, 35, 15, 255, 255, 255));
  EXPECT_TRUE(Is(d.image, 15, 10, 255, 255, 255));
}

TEST(MetafileRaster, DrawnAtTheBoxSizeOrLimitedWithoutOne) {
  MetafileRecorder small = Page();
  const DecodeResult boxed = DecodeWmf(small.Finish(), {40, 40});
  ASSERT_TRUE(boxed.ok());
  EXPECT_EQ(boxed.image.width, 40);
  EXPECT_EQ(boxed.image.height, 20);
  EXPECT_EQ(boxed.full_width, 100);

  MetafileRecorder huge({0, 0, 30000, 15000}, 100);  // 300 x 150 inches
  const DecodeResult big = DecodeWmf(huge.Finish(), {});
  ASSERT_TRUE(big.ok()) << big.Message();
  EXPECT_EQ(big.image.width, 2048);
  EXPECT_EQ(big.image.height, 1024);
}

TEST(MetafileRaster, EndlessFillingIsStoppedByTheWorkLimit) {
  MetafileRecorder r({0, 0, 2048, 2048}, 96);  // 2048 pixels square
  r.Select(r.CreateBrush(kBrushSolid, kBlue));
  for (int i = 0; i < 60; ++i) r.Rectangle(0, 0, 2048, 2048);
  const DecodeResult d = DecodeWmf(r.Finish(), {});
  EXPECT_EQ(d.error, ImageError::kTooLarge);
  EXPECT_TRUE(d.image.rgba.empty());
}

}  // namespace
}  // namespace vorsandt::images
