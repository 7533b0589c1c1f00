#include "images/metafile_recorder.h"

#include <algorithm>
#include <string>

namespace vorsandt::images {
namespace {

uint16_t Word(int32_t v) {
  return static_cast<uint16_t>(static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767)));
}

uint16_t Low(uint32_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
uint16_t High(uint32_t v) { return static_cast<uint16_t>(v >> 16); }

void PutWord(std::vector<uint8_t>& out, uint16_t w) {
  out.push_back(static_cast<uint8_t>(w & 0xFF));
  out.push_back(static_cast<uint8_t>(w >> 8));
}

// Bytes packed two to a word, low byte first, padded with a zero byte.
void PutBytes(std::vector<uint16_t>& params, std::string_view bytes, size_t field_size) {
  std::string padded(bytes.substr(0, field_size));
  padded.resize(field_size + (field_size % 2), '\0');
  for (size_t i = 0; i < padded.size(); i += 2) {
    params.push_back(static_cast<uint16_t>(static_cast<uint8_t>(padded[i]) |
                                           (static_cast<uint8_t>(padded[i + 1]) << 8)));
  }
}

}  // namespace

uint16_t PlaceableChecksum(const uint8_t* header) {
  uint16_t sum = 0;
  for (int i = 0; i < 10; ++i) {
    sum ^= static_cast<uint16_t>(header[2 * i] | (header[2 * i + 1] << 8));
  }
  return sum;
}

MetafileRecorder::MetafileRecorder(MetaBounds bounds, int inch) : bounds_(bounds), inch_(inch) {}

void MetafileRecorder::Record(MetaFunction function, const std::vector<uint16_t>& params) {
  uint32_t size = kRecordHeaderWords + static_cast<uint32_t>(params.size());
  records_.push_back(Low(size));
  records_.push_back(High(size));
  records_.push_back(static_cast<uint16_t>(function));
  records_.insert(records_.end(), params.begin(), params.end());
  largest_record_ = std::max(largest_record_, size);
}

// Parameters of the position records are stored y first, then x.
void MetafileRecorder::SetWindowOrg(int32_t x, int32_t y) {
  Record(MetaFunction::kSetWindowOrg, {Word(y), Word(x)});
}
void MetafileRecorder::SetWindowExt(int32_t x, int32_t y) {
  Record(MetaFunction::kSetWindowExt, {Word(y), Word(x)});
}
void MetafileRecorder::SetBkMode(uint16_t mode) { Record(MetaFunction::kSetBkMode, {mode}); }
void MetafileRecorder::SetTextAlign(uint16_t align) {
  Record(MetaFunction::kSetTextAlign, {align});
}
void MetafileRecorder::SetTextColor(uint32_t colour) {
  Record(MetaFunction::kSetTextColor, {Low(colour), High(colour)});
}

int MetafileRecorder::TakeSlot() {
  auto free = std::find(slots_.begin(), slots_.end(), false);
  if (free != slots_.end()) {
    *free = true;
    return static_cast<int>(free - slots_.begin());
  }
  slots_.push_back(true);
  return static_cast<int>(slots_.size() - 1);
}

int MetafileRecorder::CreatePen(uint16_t style, int32_t width, uint32_t colour) {
  // Pen: style, width as a point (x used, y ignored), colour.
  Record(MetaFunction::kCreatePenIndirect, {style, Word(width), 0, Low(colour), High(colour)});
  return TakeSlot();
}

int MetafileRecorder::CreateBrush(uint16_t style, uint32_t colour) {
  Record(MetaFunction::kCreateBrushIndirect, {style, Low(colour), High(colour), 0});
  return TakeSlot();
}

int MetafileRecorder::CreateFont(int32_t height, int weight, bool italic, std::string_view face) {
  // Height, width, escapement, orientation, weight; then italic, underline,
  // strike-out, character set, output precision, clip precision, quality,
  // pitch and family as bytes; then the face name.
  std::vector<uint16_t> params{Word(height), 0, 0, 0, Word(weight)};
  params.push_back(italic ? 1 : 0);  // italic | underline << 8
  params.push_back(0);               // strike-out | character set (ANSI) << 8
  params.push_back(0);               // output and clip precision
  params.push_back(0);               // quality | pitch and family << 8
  PutBytes(params, face.substr(0, kFaceNameBytes - 1), kFaceNameBytes);
  Record(MetaFunction::kCreateFontIndirect, params);
  return TakeSlot();
}

void MetafileRecorder::Select(int handle) {
  Record(MetaFunction::kSelectObject, {static_cast<uint16_t>(handle)});
}

void MetafileRecorder::Delete(int handle) {
  Record(MetaFunction::kDeleteObject, {static_cast<uint16_t>(handle)});
  if (handle >= 0 && static_cast<size_t>(handle) < slots_.size()) slots_[handle] = false;
}

void MetafileRecorder::MoveTo(int32_t x, int32_t y) {
  Record(MetaFunction::kMoveTo, {Word(y), Word(x)});
}
void MetafileRecorder::LineTo(int32_t x, int32_t y) {
  Record(MetaFunction::kLineTo, {Word(y), Word(x)});
}
void MetafileRecorder::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  Record(MetaFunction::kRectangle, {Word(bottom), Word(right), Word(top), Word(left)});
}

void MetafileRecorder::TextOut(int32_t x, int32_t y, std::string_view text) {
  text = text.substr(0, 32767);
  std::vector<uint16_t> params{static_cast<uint16_t>(text.size())};
  PutBytes(params, text, text.size());
  params.push_back(Word(y));
  params.push_back(Word(x));
  Record(MetaFunction::kTextOut, params);
}

void MetafileRecorder::StretchDib(int32_t x, int32_t y, int32_t w, int32_t h, int32_t width,
                                  int32_t height, std::span<const uint8_t> rgba) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767 ||
      rgba.size() < size_t{4} * width * height) {
    return;
  }
  const size_t stride = (size_t{3} * width + 3) / 4 * 4;
  std::vector<uint8_t> dib(kBitmapHeaderBytes + stride * height, 0);
  auto put32 = [&dib](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, kBitmapHeaderBytes);
  put32(4, static_cast<uint32_t>(width));
  put32(8, static_cast<uint32_t>(height));  // positive: rows from the bottom
  dib[12] = 1;                              // planes
  dib[14] = 24;                             // bits per pixel
  put32(16, kBitmapUncompressed);
  put32(20, static_cast<uint32_t>(stride * height));
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* from = rgba.data() + size_t{4} * width * row;
    uint8_t* to = dib.data() + kBitmapHeaderBytes + stride * (height - 1 - row);
    for (int32_t col = 0; col < width; ++col, from += 4, to += 3) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
    }
  }
  std::vector<uint16_t> params{
      Low(kRopSourceCopy), High(kRopSourceCopy), 0,  // colours in the bitmap
      Word(height),        Word(width),          0, 0, Word(h), Word(w), Word(y), Word(x)};
  PutBytes(params, std::string_view(reinterpret_cast<const char*>(dib.data()), dib.size()),
           dib.size());
  Record(MetaFunction::kStretchDib, params);
}

std::vector<uint8_t> MetafileRecorder::Finish() {
  Record(MetaFunction::kEof, {});
  std::vector<uint8_t> out;
  const uint32_t words = kStandardHeaderWords + static_cast<uint32_t>(records_.size());
  out.reserve(kPlaceableHeaderBytes + 2 * words);
  PutWord(out, Low(kPlaceableMagic));
  PutWord(out, High(kPlaceableMagic));
  PutWord(out, 0);  // handle
  PutWord(out, Word(bounds_.left));
  PutWord(out, Word(bounds_.top));
  PutWord(out, Word(bounds_.right));
  PutWord(out, Word(bounds_.bottom));
  PutWord(out, static_cast<uint16_t>(std::clamp(inch_, 0, 65535)));
  PutWord(out, 0);  // reserved
  PutWord(out, 0);
  PutWord(out, PlaceableChecksum(out.data()));

  PutWord(out, 1);  // in memory (the kind every writer uses)
  PutWord(out, kStandardHeaderWords);
  PutWord(out, kMetafileVersion);
  PutWord(out, Low(words));
  PutWord(out, High(words));
  PutWord(out, static_cast<uint16_t>(slots_.size()));
  PutWord(out, Low(largest_record_));
  PutWord(out, High(largest_record_));
  PutWord(out, 0);
  for (uint16_t w : records_) PutWord(out, w);
  records_.clear();
  return out;
}

}  // namespace vorsandt::images
