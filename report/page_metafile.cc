#include "report/page_metafile.h"

#include <cmath>
#include <optional>

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
        break;  // not held by a page image
    }
  }
  selected.DeleteAll();
  return r.Finish();
}

}  // namespace vorsandt::ui
