// Records drawing into a placeable 16-bit metafile (metafile_format.h).
//
// The recorder keeps the object table the way a player will rebuild it: a
// created object takes the lowest free slot, and deleting it frees the slot;
// the returned handle is that slot. Coordinates are logical units; values
// outside the 16-bit range are clamped (a metafile cannot hold them).
//
//   MetafileRecorder r({0, 0, 2550, 3300}, 300);
//   r.SetWindowOrg(0, 0);
//   r.SetWindowExt(2550, 3300);
//   int pen = r.CreatePen(kPenSolid, 3, 0x000000);
//   r.Select(pen);
//   r.MoveTo(10, 10);
//   r.LineTo(100, 10);
//   std::vector<uint8_t> bytes = r.Finish();
#ifndef VORSANDT_IMAGES_METAFILE_RECORDER_H_
#define VORSANDT_IMAGES_METAFILE_RECORDER_H_

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "images/metafile_format.h"

namespace vorsandt::images {

struct MetaBounds {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

class MetafileRecorder {
 public:
  // `bounds` and `inch` go into the placeable header.
  MetafileRecorder(MetaBounds bounds, int inch);

  void SetWindowOrg(int32_t x, int32_t y);
  void SetWindowExt(int32_t x, int32_t y);
  void SetBkMode(uint16_t mode);
  void SetTextAlign(uint16_t align);
  // Colours are 0x00BBGGRR.
  void SetTextColor(uint32_t colour);

  // Object handles: the slot the object takes.
  int CreatePen(uint16_t style, int32_t width, uint32_t colour);
  int CreateBrush(uint16_t style, uint32_t colour);
  // `height` in logical units: negative for the character height, as fonts
  // sized in points are given. `face` is cut to 31 bytes.
  int CreateFont(int32_t height, int weight, bool italic, std::string_view face);
  void Select(int handle);
  void Delete(int handle);

  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
  // Text in the file's character set (Windows-1252), at most 32767 bytes.
  void TextOut(int32_t x, int32_t y, std::string_view text);
  // A picture stretched into the rectangle (x, y, w, h): `rgba` holds
  // `width` x `height` pixels, 8-bit RGBA rows from the top. It is stored as
  // a 24-bit bitmap (alpha is not kept), so a side is at most 32767 pixels;
  // a larger or empty picture, or too few bytes, records nothing.
  void StretchDib(int32_t x, int32_t y, int32_t w, int32_t h, int32_t width, int32_t height,
                  std::span<const uint8_t> rgba);

  // Appends end-of-file, fills in both headers and gives the whole file.
  // The recorder is spent afterwards.
  std::vector<uint8_t> Finish();

 private:
  void Record(MetaFunction function, const std::vector<uint16_t>& params);
  int TakeSlot();

  MetaBounds bounds_;
  int inch_;
  std::vector<uint16_t> records_;  // the records, in 16-bit words
  std::vector<bool> slots_;        // true: in use
  uint32_t largest_record_ = kRecordHeaderWords;
};

}  // namespace vorsandt::images

#endif  // VORSANDT_IMAGES_METAFILE_RECORDER_H_
