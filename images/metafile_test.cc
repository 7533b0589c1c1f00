#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "images/metafile_listing.h"
#include "images/metafile_player.h"
#include "images/metafile_recorder.h"

namespace vorsandt::images {
namespace {

uint16_t WordAt(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

std::vector<uint8_t> LetterPage() {
  MetafileRecorder r({0, 0, 2550, 3300}, 300);
  r.SetWindowOrg(0, 0);
  r.SetWindowExt(2550, 3300);
  return r.Finish();
}

// --- Headers ------------------------------------------------------------------

TEST(MetafileHeader, PlaceableHeaderIsByteExactWithItsChecksum) {
  std::vector<uint8_t> bytes = LetterPage();
  // Magic, handle 0, box 0,0,2550,3300, 300 per inch, reserved 0, and the
  // XOR of those ten words: CDD7^9AC6^09F6^0CE4^012C = 532F.
  const std::vector<uint8_t> expected = {0xD7, 0xCD, 0xC6, 0x9A, 0x00, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0xF6, 0x09, 0xE4, 0x0C, 0x2C, 0x01,
                                         0x00, 0x00, 0x00, 0x00, 0x2F, 0x53};
  ASSERT_GE(bytes.size(), expected.size());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 22), expected);
  EXPECT_EQ(PlaceableChecksum(bytes.data()), 0x532F);
}

TEST(MetafileHeader, StandardHeaderCountsTheFileAndItsLargestRecord) {
  MetafileRecorder r({0, 0, 100, 100}, 96);
  int pen = r.CreatePen(kPenSolid, 1, 0);
  int font = r.CreateFont(-12, 400, false, "Arial");
  r.Select(pen);
  r.Select(font);
  r.TextOut(1, 2, "hello");
  std::vector<uint8_t> b = r.Finish();
  ASSERT_EQ(b.size() % 2, 0u);
  EXPECT_EQ(WordAt(b, 22), 1);       // in memory
  EXPECT_EQ(WordAt(b, 24), 9);       // header words
  EXPECT_EQ(WordAt(b, 26), 0x0300);  // version
  EXPECT_EQ(WordAt(b, 28) | (WordAt(b, 30) << 16), (b.size() - 22) / 2);
  EXPECT_EQ(WordAt(b, 32), 2);  // two object slots
  // The font record is the largest: 3 + 9 + 16 words of face name.
  EXPECT_EQ(WordAt(b, 34) | (WordAt(b, 36) << 16), 28);
  EXPECT_EQ(WordAt(b, 38), 0);
  // The last record is end-of-file.
  EXPECT_EQ(std::vector<uint8_t>(b.end() - 6, b.end()), (std::vector<uint8_t>{3, 0, 0, 0, 0, 0}));
}

TEST(MetafileHeader, CoordinatesBeyondSixteenBitsAreClamped) {
  MetafileRecorder r({0, 0, 70000, -70000}, 300);
  std::vector<uint8_t> b = r.Finish();
  EXPECT_EQ(WordAt(b, 10), 32767);
  EXPECT_EQ(WordAt(b, 12), 0x8000);
  EXPECT_EQ(WordAt(b, 20), PlaceableChecksum(b.data()));
}

// --- Recording and playing back ----------------------------------------------------

TEST(MetafilePlay, WhatIsRecordedIsPlayedBackWithItsObjects) {
  MetafileRecorder r({0, 0, 2550, 3300}, 300);
  r.SetWindowOrg(0, 0);
  r.SetWindowExt(2550, 3300);
  r.SetBkMode(kBkTransparent);
  r.SetTextColor(0x0000FF);
  int font = r.CreateFont(-42, 700, false, "Arial");
  r.Select(font);
  r.TextOut(318, 309, "MASTER \"INVENTORY\"");
  int pen = r.CreatePen(kPenSolid, 3, 0x00FF00);
  int brush = r.CreateBrush(kBrushNull, 0);
  r.Select(pen);
  r.Select(brush);
  r.MoveTo(300, 600);
  r.LineTo(2250, 600);
  r.Rectangle(300, 700, 330, 730);
  r.Delete(pen);
  r.Delete(brush);
  std::vector<uint8_t> bytes = r.Finish();
  EXPECT_EQ(ListMetafile(bytes),
            "window 0,0 2550x3300\n"
            "window 0,0 2550x3300\n"
            "window 0,0 2550x3300\n"
            "text 318,309 \"MASTER \\\"INVENTORY\\\"\" font \"Arial\" -42 700 colour 0x0000FF\n"
            "line 300,600 2250,600 pen 0 3 0x00FF00\n"
            "rectangle 300,700 330,730 pen 0 3 0x00FF00 brush 1 0x000000\n");
  MetafileListing listing;
  PlayResult result = PlayMetafile(bytes, listing);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.info.placeable);
  EXPECT_EQ(result.info.header.right, 2550);
  EXPECT_EQ(result.info.header.inch, 300);
  EXPECT_EQ(result.skipped, 0);
}

TEST(MetafilePlay, DeletedSlotsAreReusedLowestFirstOnBothSides) {
  MetafileRecorder r({0, 0, 100, 100}, 96);
  int a = r.CreatePen(kPenSolid, 1, 0x000001);
  int b = r.CreatePen(kPenSolid, 2, 0x000002);
  int c = r.CreatePen(kPenSolid, 3, 0x000003);
  EXPECT_EQ((std::vector<int>{a, b, c}), (std::vector<int>{0, 1, 2}));
  r.Delete(b);
  int d = r.CreatePen(kPenSolid, 4, 0x000004);
  EXPECT_EQ(d, 1) << "the freed slot is taken again";
  r.Select(d);
  r.MoveTo(0, 0);
  r.LineTo(10, 10);
  r.Select(c);
  r.LineTo(20, 20);
  std::string listing = ListMetafile(r.Finish());
  EXPECT_NE(listing.find("line 0,0 10,10 pen 0 4 0x000004"), std::string::npos) << listing;
  EXPECT_NE(listing.find("line 10,10 20,20 pen 0 3 0x000003"), std::string::npos) << listing;
}

TEST(MetafilePlay, AFileWithoutThePlaceableHeaderIsAPicture) {
  std::vector<uint8_t> bytes = LetterPage();
  bytes.erase(bytes.begin(), bytes.begin() + 22);
  MetafileListing listing;
  PlayResult result = PlayMetafile(bytes, listing);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_FALSE(result.info.placeable);
  EXPECT_EQ(listing.text(), "window 0,0 1000x1000\nwindow 0,0 1000x1000\nwindow 0,0 2550x3300\n");
}

// --- Hostile files ---------------------------------------------------------------------

std::vector<uint8_t> WithRecord(std::vector<uint16_t> record) {
  std::vector<uint8_t> bytes = LetterPage();
  bytes.resize(bytes.size() - 6);  // before end-of-file
  for (uint16_t w : record) {
    bytes.push_back(static_cast<uint8_t>(w & 0xFF));
    bytes.push_back(static_cast<uint8_t>(w >> 8));
  }
  return bytes;
}

TEST(MetafileHostile, BrokenHeadersStopBeforeAnythingIsDrawn) {
  std::vector<uint8_t> bytes = LetterPage();
  bytes[10] ^= 1;  // the box changed, the checksum not
  MetafileListing listing;
  PlayResult result = PlayMetafile(bytes, listing);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "the placeable header's checksum does not match");
  EXPECT_EQ(listing.text(), "");

  const std::vector<uint8_t> whole = LetterPage();
  for (size_t cut : {0, 3, 10, 21, 22, 30}) {
    SCOPED_TRACE(cut);
    std::vector<uint8_t> shorter(whole.begin(), whole.begin() + cut);
    EXPECT_FALSE(PlayMetafile(shorter, listing).ok);
  }
  std::vector<uint8_t> not_a_metafile(64, 'A');
  EXPECT_EQ(PlayMetafile(not_a_metafile, listing).error, "not a metafile header at byte 0");
}

TEST(MetafileHostile, RecordsOutsideTheFileStopThePlayNamingTheOffset) {
  const size_t last = LetterPage().size() - 6;
  MetafileListing listing;
  PlayResult small = PlayMetafile(WithRecord({2, 0, 0x0213}), listing);
  EXPECT_FALSE(small.ok);
  EXPECT_EQ(small.error, "a record's size runs outside the file at byte " + std::to_string(last));
  PlayResult huge = PlayMetafile(WithRecord({0xFFFF, 0x7FFF, 0x0213, 1, 2}), listing);
  EXPECT_FALSE(huge.ok);
  PlayResult cut = PlayMetafile(WithRecord({5, 0}), listing);
  EXPECT_EQ(cut.error, "a record is cut short at byte " + std::to_string(last));
}

TEST(MetafileHostile, ShortOrUnknownRecordsAreSkippedAndHandlesChecked) {
  MetafileListing listing;
  // A text record claiming 200 bytes in a record of 5 words; an unknown
  // function; a selection of a slot that does not exist; no end-of-file.
  PlayResult result = PlayMetafile(
      WithRecord({5, 0, 0x0521, 200, 0x4141, 3, 0, 0x0999, 4, 0, 0x012D, 40}), listing);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.skipped, 1);
  EXPECT_EQ(result.records, 5);
  EXPECT_TRUE(listing.texts().empty());
}

// --- Pictures ----------------------------------------------------------------

// Keeps the last bitmap drawn.
class BitmapCanvas : public MetafileListing {
 public:
  void Bitmap(MetaPoint a, MetaPoint b, const MetaBitmap& bitmap) override {
    MetafileListing::Bitmap(a, b, bitmap);
    last = bitmap;
  }
  MetaBitmap last;
};

TEST(MetafilePicture, ABitmapIsPlayedBackPixelForPixelOrSkippedWhenItsRowsAreMissing) {
  // 3 x 2 pixels: every one different, so that a row or channel swapped shows.
  std::vector<uint8_t> rgba;
  for (uint8_t i = 0; i < 6; ++i)
    rgba.insert(rgba.end(), {uint8_t(10 * i), uint8_t(100 + i), uint8_t(200 - i), 255});
  MetafileRecorder r({0, 0, 2550, 3300}, 300);
  r.StretchDib(300, 600, 900, 600, 3, 2, rgba);
  std::vector<uint8_t> bytes = r.Finish();
  BitmapCanvas canvas;
  PlayResult result = PlayMetafile(bytes, canvas);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.skipped, 0);
  EXPECT_NE(canvas.text().find("bitmap 300,600 1200,1200 3x2"), std::string::npos) << canvas.text();
  EXPECT_EQ(canvas.last.rgba, rgba);

  // The bitmap's header claims more rows than its record holds.
  const size_t height_at = kPlaceableHeaderBytes + kStandardHeaderBytes + 6 + 2 * 11 + 8;
  ASSERT_EQ(WordAt(bytes, height_at), 2);
  bytes[height_at] = 200;
  BitmapCanvas hostile;
  result = PlayMetafile(bytes, hostile);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.skipped, 1);
  EXPECT_TRUE(hostile.last.rgba.empty());
}

}  // namespace
}  // namespace vorsandt::images
