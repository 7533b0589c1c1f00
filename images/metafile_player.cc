#include "images/metafile_player.h"

#include <algorithm>
#include <variant>

namespace vorsandt::images {
namespace {

// The most object slots a file can have (a 16-bit count).
constexpr size_t kMaxSlots = 65535;
// The largest side of a bitmap drawn, as for every decoded picture.
constexpr int32_t kMaxBitmapSide = 16384;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (uint32_t{U16(p + 2)} << 16); }

// An object some record created but this player does not draw with (palettes,
// pattern brushes, regions): it holds its slot so later handles stay right.
struct OtherObject {};
using Object = std::variant<std::monostate, MetaPen, MetaBrush, MetaFont, OtherObject>;

// One record's parameters, read with bounds checks.
class Params {
 public:
  Params(const uint8_t* data, size_t words) : data_(data), words_(words) {}
  size_t size() const { return words_; }
  bool Has(size_t n) const { return n <= words_; }
  uint16_t Word(size_t i) const { return i < words_ ? U16(data_ + 2 * i) : 0; }
  int16_t Int(size_t i) const { return static_cast<int16_t>(Word(i)); }
  uint32_t Colour(size_t i) const { return (Word(i) | (uint32_t{Word(i + 1)} << 16)) & 0xFFFFFF; }
  // `count` bytes from word `i` on; the caller has checked they are there.
  std::string_view Bytes(size_t i, size_t count) const {
    return {reinterpret_cast<const char*>(data_ + 2 * i), count};
  }

 private:
  const uint8_t* data_;
  size_t words_;
};

class Player {
 public:
  Player(MetafileCanvas& canvas, PlayResult& result) : canvas_(canvas), result_(result) {}

  void Begin(const MetafileInfo& info) {
    if (info.placeable) {
      origin_ = {info.header.left, info.header.top};
      extent_ = {info.header.right - info.header.left, info.header.bottom - info.header.top};
    }
    canvas_.SetWindow(origin_, extent_);
  }

  // False when the record is of a kind this player does not draw.
  bool Play(uint16_t function, const Params& p);

 private:
  void Create(Object object) {
    while (first_free_ < objects_.size() &&
           !std::holds_alternative<std::monostate>(objects_[first_free_])) {
      ++first_free_;
    }
    if (first_free_ == objects_.size()) {
      if (objects_.size() >= kMaxSlots) return;  // no slot: the object is lost
      objects_.emplace_back();
    }
    objects_[first_free_] = std::move(object);
  }
  void Select(uint16_t handle) {
    if (handle >= objects_.size()) return;
    const Object& o = objects_[handle];
    if (const auto* pen = std::get_if<MetaPen>(&o)) pen_ = *pen;
    if (const auto* brush = std::get_if<MetaBrush>(&o)) brush_ = *brush;
    if (const auto* font = std::get_if<MetaFont>(&o)) font_ = *font;
  }
  void Delete(uint16_t handle) {
    if (handle >= objects_.size()) return;
    objects_[handle] = std::monostate{};
    first_free_ = std::min<size_t>(first_free_, handle);
  }
  void Points(const Params& p, bool closed);
  void TextAt(MetaPoint at, std::string_view text) {
    canvas_.Text(at, text, font_, text_colour_, align_);
  }
  void ExtText(const Params& p);
  bool StretchBitmap(const Params& p, size_t bitmap_at);

  MetafileCanvas& canvas_;
  PlayResult& result_;
  std::vector<Object> objects_;
  size_t first_free_ = 0;
  MetaPen pen_;
  MetaBrush brush_{kBrushSolid, 0xFFFFFF};
  MetaFont font_;
  uint32_t text_colour_ = 0;
  uint16_t align_ = 0;
  MetaPoint position_;
  MetaPoint origin_{0, 0};
  MetaPoint extent_{1000, 1000};
};

void Player::Points(const Params& p, bool closed) {
  size_t count = p.Word(0);
  if (!p.Has(1 + 2 * count)) return;
  std::vector<MetaPoint> points;
  points.reserve(count);
  for (size_t i = 0; i < count; ++i) points.push_back({p.Int(1 + 2 * i), p.Int(2 + 2 * i)});
  canvas_.Polygon(points, pen_, brush_, closed);
}

void Player::ExtText(const Params& p) {
  // y, x, count, options, [clip rectangle], text, [spacing].
  constexpr uint16_t kWithRectangle = 0x0002 | 0x0004;
  if (!p.Has(4)) return;
  size_t count = p.Word(2);
  size_t text_at = (p.Word(3) & kWithRectangle) != 0 ? 8 : 4;
  if (!p.Has(text_at + (count + 1) / 2)) return;
  TextAt({p.Int(1), p.Int(0)}, p.Bytes(text_at, count));
}

// The bitmap of a StretchDIB or DIBStretchBlt record, starting at word
// `bitmap_at`; the destination's height, width, y and x are the four words
// before it. False when it is not one this player draws.
bool Player::StretchBitmap(const Params& p, size_t bitmap_at) {
  if (!p.Has(bitmap_at) || p.size() - bitmap_at < kBitmapHeaderBytes / 2) return false;
  const std::string_view dib = p.Bytes(bitmap_at, 2 * (p.size() - bitmap_at));
  auto u32 = [&dib](size_t at) { return U32(reinterpret_cast<const uint8_t*>(dib.data()) + at); };
  const uint32_t header = u32(0);
  const auto width = static_cast<int32_t>(u32(4));
  const auto height = static_cast<int32_t>(u32(8));
  const unsigned bits = U16(reinterpret_cast<const uint8_t*>(dib.data()) + 14);
  if (header < kBitmapHeaderBytes || header > dib.size() || u32(16) != kBitmapUncompressed ||
      (bits != 24 && bits != 32) || width <= 0 || width > kMaxBitmapSide || height == 0 ||
      height < -kMaxBitmapSide || height > kMaxBitmapSide) {
    return false;
  }
  const int32_t rows = height < 0 ? -height : height;
  const size_t pixel = bits / 8;
  const size_t stride = (pixel * width + 3) / 4 * 4;
  if ((dib.size() - header) / stride < static_cast<size_t>(rows)) return false;
  MetaBitmap bitmap{width, rows, std::vector<uint8_t>(size_t{4} * width * rows)};
  for (int32_t row = 0; row < rows; ++row) {
    // A positive height stores the rows from the bottom.
    const size_t stored = static_cast<size_t>(height > 0 ? rows - 1 - row : row);
    const auto* from = reinterpret_cast<const uint8_t*>(dib.data()) + header + stride * stored;
    uint8_t* to = bitmap.rgba.data() + size_t{4} * width * row;
    for (int32_t col = 0; col < width; ++col, from += pixel, to += 4) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      to[3] = 0xFF;
    }
  }
  const size_t d = bitmap_at - 4;  // destination height, width, y, x
  const MetaPoint at{p.Int(d + 3), p.Int(d + 2)};
  canvas_.Bitmap(at, {at.x + p.Int(d + 1), at.y + p.Int(d)}, bitmap);
  return true;
}

bool Player::Play(uint16_t function, const Params& p) {
  switch (static_cast<MetaFunction>(function)) {
    case MetaFunction::kSetWindowOrg:
      origin_ = {p.Int(1), p.Int(0)};
      canvas_.SetWindow(origin_, extent_);
      return true;
    case MetaFunction::kSetWindowExt:
      extent_ = {p.Int(1), p.Int(0)};
      canvas_.SetWindow(origin_, extent_);
      return true;
    case MetaFunction::kSetTextColor:
      text_colour_ = p.Colour(0);
      return true;
    case MetaFunction::kSetTextAlign:
      align_ = p.Word(0);
      return true;
    case MetaFunction::kSetBkMode:
    case MetaFunction::kSetBkColor:
    case MetaFunction::kSetMapMode:
      return true;  // text is always drawn without a background here
    case MetaFunction::kCreatePenIndirect:
      Create(MetaPen{p.Word(0), p.Int(1), p.Colour(3)});
      return true;
    case MetaFunction::kCreateBrushIndirect:
      Create(MetaBrush{p.Word(0), p.Colour(1)});
      return true;
    case MetaFunction::kCreateFontIndirect: {
      MetaFont font{p.Int(0), p.Int(4), (p.Word(5) & 0xFF) != 0, {}};
      if (p.size() > 9) {
        std::string_view face = p.Bytes(9, std::min<size_t>(kFaceNameBytes, 2 * (p.size() - 9)));
        font.face = std::string(face.substr(0, face.find('\0')));
      }
      Create(std::move(font));
      return true;
    }
    case MetaFunction::kSelectObject:
      Select(p.Word(0));
      return true;
    case MetaFunction::kDeleteObject:
      Delete(p.Word(0));
      return true;
    case MetaFunction::kMoveTo:
      position_ = {p.Int(1), p.Int(0)};
      return true;
    case MetaFunction::kLineTo: {
      MetaPoint to{p.Int(1), p.Int(0)};
      canvas_.Line(position_, to, pen_);
      position_ = to;
      return true;
    }
    case MetaFunction::kRectangle:
      canvas_.Rectangle({p.Int(3), p.Int(2)}, {p.Int(1), p.Int(0)}, pen_, brush_);
      return true;
    case MetaFunction::kEllipse:
      canvas_.Ellipse({p.Int(3), p.Int(2)}, {p.Int(1), p.Int(0)}, pen_, brush_);
      return true;
    case MetaFunction::kPolygon:
      Points(p, true);
      return true;
    case MetaFunction::kPolyline:
      Points(p, false);
      return true;
    case MetaFunction::kTextOut: {
      size_t count = p.Word(0);
      size_t words = (count + 1) / 2;
      if (!p.Has(1 + words + 2)) return true;  // too short for its text: nothing drawn
      TextAt({p.Int(2 + words), p.Int(1 + words)}, p.Bytes(1, count));
      return true;
    }
    case MetaFunction::kExtTextOut:
      ExtText(p);
      return true;
    case MetaFunction::kStretchDib:  // operation, colour use, source, destination
      return StretchBitmap(p, 11);
    case MetaFunction::kDibStretchBlt:  // operation, source, destination
      return StretchBitmap(p, 10);
    case MetaFunction::kEof:
      return true;
  }
  // Palettes, pattern brushes and regions take an object slot even though
  // nothing here draws with them.
  constexpr uint16_t kSlotTakers[] = {0x00F7, 0x01F9, 0x0142, 0x06FF};
  if (std::find(std::begin(kSlotTakers), std::end(kSlotTakers), function) !=
      std::end(kSlotTakers)) {
    Create(OtherObject{});
  }
  return false;
}

std::string At(const char* what, size_t offset) {
  return std::string(what) + " at byte " + std::to_string(offset);
}

// The offset of the standard header, or nullopt with `error`.
std::optional<size_t> ReadHeaders(const uint8_t* data, size_t size, MetafileInfo& info,
                                  std::string* error) {
  size_t at = 0;
  if (size >= 4 && U32(data) == kPlaceableMagic) {
    if (size < kPlaceableHeaderBytes) {
      *error = "the placeable header is cut short";
      return std::nullopt;
    }
    PlaceableHeader& h = info.header;
    h.handle = U16(data + 4);
    h.left = static_cast<int16_t>(U16(data + 6));
    h.top = static_cast<int16_t>(U16(data + 8));
    h.right = static_cast<int16_t>(U16(data + 10));
    h.bottom = static_cast<int16_t>(U16(data + 12));
    h.inch = U16(data + 14);
    h.reserved = U32(data + 16);
    h.checksum = U16(data + 20);
    if (h.checksum != PlaceableChecksum(data)) {
      *error = "the placeable header's checksum does not match";
      return std::nullopt;
    }
    info.placeable = true;
    at = kPlaceableHeaderBytes;
  }
  if (size - at < kStandardHeaderBytes) {
    *error = At("no metafile header", at);
    return std::nullopt;
  }
  const uint8_t* s = data + at;
  uint16_t type = U16(s);
  if ((type != 1 && type != 2) || U16(s + 2) != kStandardHeaderWords) {
    *error = At("not a metafile header", at);
    return std::nullopt;
  }
  info.object_slots = U16(s + 10);
  return at + kStandardHeaderBytes;
}

}  // namespace

std::optional<MetafileInfo> ReadMetafileInfo(const uint8_t* data, size_t size, std::string* error) {
  MetafileInfo info;
  std::string ignored;
  if (!ReadHeaders(data, size, info, error != nullptr ? error : &ignored)) return std::nullopt;
  return info;
}

PlayResult PlayMetafile(const uint8_t* data, size_t size, MetafileCanvas& canvas) {
  PlayResult result;
  std::optional<size_t> start = ReadHeaders(data, size, result.info, &result.error);
  if (!start) return result;
  Player player(canvas, result);
  player.Begin(result.info);
  size_t at = *start;
  while (at < size) {
    if (size - at < 2 * kRecordHeaderWords) {
      result.error = At("a record is cut short", at);
      return result;
    }
    uint32_t words = U32(data + at);
    uint16_t function = U16(data + at + 4);
    if (words < kRecordHeaderWords || words > (size - at) / 2) {
      result.error = At("a record's size runs outside the file", at);
      return result;
    }
    Params params(data + at + 2 * kRecordHeaderWords, words - kRecordHeaderWords);
    if (!player.Play(function, params)) ++result.skipped;
    ++result.records;
    at += size_t{words} * 2;
    if (function == static_cast<uint16_t>(MetaFunction::kEof)) break;
  }
  // A file that ends without its end-of-file record has still been drawn
  // as far as it goes; many writers leave the last record out.
  result.ok = true;
  return result;
}

}  // namespace vorsandt::images
