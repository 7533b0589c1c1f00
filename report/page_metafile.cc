#include "report/page_metafile.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "images/decode.h"
#include "images/metafile_recorder.h"

namespace vorsandt::ui {
namespace {

using images::MetafileRecorder;

// Page colours are 0x00BBGGRR like metafile colours; the default is black.
uint32_t Ink(uint32_t colour) { return colour == kDefaultColour ? 0 : colour & 0xFFFFFF; }

// The objects selected now, so that each is created only when it changes
// and the one it replaces is deleted at once (the slots stay few).
class Selection {
 public:
  explicit Selection(MetafileRecorder& r) : r_(r) {}
  ~Selection() = default;

  void Font(const PageFont& font, int dpi) {
    if (font_ && *font_ == font) return;
    int32_t height = -static_cast<int32_t>(std::lround(font.size * dpi / 72.0));
    Replace(font_handle_, r_.CreateFont(height, font.bold ? 700 : 400, false, font.name));
    font_ = font;
    if (text_colour_ != Ink(font.colour)) {
      text_colour_ = Ink(font.colour);
      r_.SetTextColor(text_colour_);
    }
  }
  void Pen(uint32_t colour, int32_t width) {
    if (pen_ == colour) return;
    Replace(pen_handle_, r_.CreatePen(images::kPenSolid, width, colour));
    pen_ = colour;
  }
  void Brush(uint32_t fill) {
    std::optional<uint32_t> wanted;
    if (fill != kDefaultColour) wanted = fill & 0xFFFFFF;
    if (brush_set_ && brush_ == wanted) return;
    Replace(brush_handle_, wanted ? r_.CreateBrush(images::kBrushSolid, *wanted)
                                  : r_.CreateBrush(images::kBrushNull, 0));
    brush_ = wanted;
    brush_set_ = true;
  }
  void DeleteAll() {
    for (int* h : {&font_handle_, &pen_handle_, &brush_handle_}) {
      if (*h >= 0) r_.Delete(*h);
      *h = -1;
    }
  }

 private:
  void Replace(int& handle, int created) {
    r_.Select(created);
    if (handle >= 0) r_.Delete(handle);
    handle = created;
  }

  MetafileRecorder& r_;
  std::optional<PageFont> font_;
  std::optional<uint32_t> pen_;
  std::optional<uint32_t> brush_;
  bool brush_set_ = false;
  uint32_t text_colour_ = 0;
  int font_handle_ = -1;
  int pen_handle_ = -1;
  int brush_handle_ = -1;
};

// `image` made small enough to fit a box of `w` x `h` pixels, each pixel of
// the result the average of those it covers; a picture that fits stays as
// it is, since its pixels are what the page shows.
images::Image FitInto(images::Image image, int32_t w, int32_t h) {
  if (w <= 0 || h <= 0 || (image.width <= w && image.height <= h)) return image;
  const double scale =
      std::min(static_cast<double>(w) / image.width, static_cast<double>(h) / image.height);
  images::Image out;
  out.width = std::max(1, static_cast<int>(image.width * scale));
  out.height = std::max(1, static_cast<int>(image.height * scale));
  out.rgba.resize(size_t{4} * out.width * out.height);
  for (int y = 0; y < out.height; ++y) {
    const int y0 = static_cast<int>(int64_t{y} * image.height / out.height);
    const int y1 = std::max(y0 + 1, static_cast<int>(int64_t{y + 1} * image.height / out.height));
    for (int x = 0; x < out.width; ++x) {
      const int x0 = static_cast<int>(int64_t{x} * image.width / out.width);
      const int x1 = std::max(x0 + 1, static_cast<int>(int64_t{x + 1} * image.width / out.width));
      uint64_t sum[4] = {0, 0, 0, 0};
      for (int sy = y0; sy < y1; ++sy) {
        for (int sx = x0; sx < x1; ++sx) {
          for (int c = 0; c < 4; ++c) sum[c] += image.Pixel(sx, sy)[c];
        }
      }
      const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
      for (int c = 0; c < 4; ++c) out.Pixel(x, y)[c] = static_cast<uint8_t>(sum[c] / n);
    }
  }
  return out;
}

// The picture file an image item names, decoded and placed in its box with
// its proportions kept and centred, on white where it is transparent. A file
// that cannot be read or decoded leaves the box empty: the procedure that
// prints a picture says so on the page where it matters.
void RecordPicture(MetafileRecorder& r, const std::string& file, int32_t x, int32_t y, int32_t w,
                   int32_t h) {
  if (file.empty() || w <= 0 || h <= 0) return;
  images::DecodeResult decoded =
      images::DecodeImageFile(*env::Env::Default(), file, {.target_width = w, .target_height = h});
  if (!decoded.ok() || decoded.image.width <= 0 || decoded.image.height <= 0) return;
  images::Image image = FitInto(std::move(decoded.image), w, h);
  for (size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
    const unsigned alpha = image.rgba[i + 3];
    for (size_t c = 0; c < 3; ++c) {
      image.rgba[i + c] =
          static_cast<uint8_t>((image.rgba[i + c] * alpha + 255 * (255 - alpha)) / 255);
    }
  }
  const double scale =
      std::min(static_cast<double>(w) / image.width, static_cast<double>(h) / image.height);
  const auto shown_w = static_cast<int32_t>(std::lround(image.width * scale));
  const auto shown_h = static_cast<int32_t>(std::lround(image.height * scale));
  r.StretchDib(x + (w - shown_w) / 2, y + (h - shown_h) / 2, shown_w, shown_h, image.width,
               image.height, image.rgba);
}

}  // namespace

std::vector<uint8_t> PageToMetafile(const Page& page, int dpi) {
  auto px = [dpi](int64_t mils) { return static_cast<int32_t>(std::llround(mils * dpi / 1000.0)); };
  const int32_t width = px(page.width);
  const int32_t height = px(page.height);
  MetafileRecorder r({0, 0, width, height}, dpi);
  r.SetWindowOrg(0, 0);
  r.SetWindowExt(width, height);
  r.SetBkMode(images::kBkTransparent);
  r.SetTextAlign(0);  // a text's point is its top left corner
  r.SetTextColor(0);
  const int32_t pen_width = std::max<int32_t>(1, px(10));
  Selection selected(r);
  for (const PageItem& item : page.items) {
    const int32_t x = px(item.x), y = px(item.y);
    switch (item.type) {
      case PageItem::Type::kText:
        selected.Font(item.font, dpi);
        r.TextOut(x, y, item.text);
        break;
      case PageItem::Type::kLine:
        selected.Pen(Ink(item.colour), pen_width);
        r.MoveTo(x, y);
        r.LineTo(px(int64_t{item.x} + item.w), px(int64_t{item.y} + item.h));
        break;
      case PageItem::Type::kBox:
        selected.Pen(Ink(item.colour), pen_width);
        selected.Brush(item.fill);
        r.Rectangle(x, y, px(int64_t{item.x} + item.w), px(int64_t{item.y} + item.h));
        break;
      case PageItem::Type::kImage:
        RecordPicture(r, item.text, x, y, px(item.w), px(item.h));
        break;
    }
  }
  selected.DeleteAll();
  return r.Finish();
}

}  // namespace vorsandt::ui
