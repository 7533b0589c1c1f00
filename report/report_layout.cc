#include "report/report_layout.h"

#include <algorithm>
#include <cmath>

#include "ui/engine/use_variable.h"

namespace vorsandt::ui {
namespace {

// Average glyph width and line height as fractions of the point size; close
// enough for the usual sans-serif faces, and the same on every platform.
constexpr double kCharWidth = 0.6;
constexpr double kLineHeight = 1.2;
// What a text can take at most per character in those faces (capitals of a
// bold face), for placing something after a text that must never overlap it.
constexpr double kWideCharWidth = 0.8;
constexpr int32_t kImageSize = 1000;  // one inch
constexpr int32_t kGap = 40;          // between a check box's square and its text

// Definitions may hold any 32-bit values; sums are made in 64 bits and
// brought back into range so that a wild value cannot wrap around.
int32_t Clamp(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN + 1LL, INT32_MAX));
}

bool Given(int32_t v) { return v != kNotGiven; }

// A check box's variable is set when it holds anything but blanks and zeros.
bool Checked(const std::string& value) {
  return value.find_first_not_of("0. ") != std::string::npos;
}

// The picture file an image shows: the one its variable names (trailing
// blanks left out) when it uses one, else its own.
std::string PictureFile(const Node& c, const BandValues& values) {
  if (!c.use || !values) return c.image;
  std::optional<BandValue> v = values(c);
  if (!v) return c.image;
  std::string name = v->text;
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

// One control of a band with its place resolved (relative to the band).
struct Placed {
  const Node* node;
  PageItem::Type type;
  int32_t x, y, w, h;
  std::string text;
  PageFont font;
  bool checked = false;
};

// The text a control shows, and whether it is a check box that is set.
std::string ShownText(const Node& c, const BandValues& values, bool* checked) {
  if (c.kind == Kind::kVarString || c.kind == Kind::kEntry) {
    if (!c.use) return std::string();
    std::optional<BandValue> v = values ? values(c) : std::nullopt;
    if (!v) return std::string();
    return Formatter().Format(v->text, c.picture, v->numeric);
  }
  if (c.kind == Kind::kCheck && c.use && values) {
    std::optional<BandValue> v = values(c);
    *checked = v && Checked(v->text);
  }
  return c.text;
}

std::vector<Placed> Place(const Node& band, int32_t band_width, const PageFont& fallback,
                          const BandValues& values) {
  std::vector<Placed> placed;
  int64_t next_x = 0;
  int64_t next_y = 0;
  for (const Node& c : band.children) {
    if (c.hidden) continue;
    Placed p{&c, PageItem::Type::kText, 0, 0, 0, 0, {}, FontOf(c, fallback)};
    switch (c.kind) {
      case Kind::kString:
      case Kind::kPrompt:
      case Kind::kVarString:
      case Kind::kEntry:
      case Kind::kCheck:
        p.type = PageItem::Type::kText;
        break;
      case Kind::kLine:
        p.type = PageItem::Type::kLine;
        break;
      case Kind::kBox:
        p.type = PageItem::Type::kBox;
        break;
      case Kind::kImage:
        p.type = PageItem::Type::kImage;
        break;
      default:
        continue;  // not drawn on paper
    }
    p.text = ShownText(c, values, &p.checked);
    if (p.type == PageItem::Type::kImage) p.text = PictureFile(c, values);
    p.x = Given(c.at.x) ? c.at.x : Clamp(next_x);
    p.y = Given(c.at.y) ? c.at.y : Clamp(next_y);
    int32_t line = TextHeight(p.font);
    int32_t natural_w = 0;
    int32_t natural_h = 0;
    switch (p.type) {
      case PageItem::Type::kText:
        natural_w = TextWidth(p.text, p.font);
        if (c.kind == Kind::kCheck) natural_w = Clamp(int64_t{natural_w} + line + kGap);
        natural_h = line;
        break;
      case PageItem::Type::kLine:
        natural_w = std::max<int32_t>(0, Clamp(int64_t{band_width} - p.x));
        natural_h = 0;
        break;
      case PageItem::Type::kBox:
        natural_w = natural_h = line;
        break;
      case PageItem::Type::kImage:
        natural_w = natural_h = kImageSize;
        break;
    }
    p.w = Given(c.at.w) ? c.at.w : natural_w;
    p.h = Given(c.at.h) ? c.at.h : natural_h;
    next_x = int64_t{p.x} + std::max<int32_t>(p.w, 0);
    next_y = p.y;
    placed.push_back(std::move(p));
  }
  return placed;
}

}  // namespace

PageFont FontOf(const Node& control, const PageFont& fallback) {
  if (!control.font) return fallback;
  PageFont font;
  font.name = control.font->name.empty() ? fallback.name : control.font->name;
  font.size = control.font->size > 0 ? control.font->size : fallback.size;
  font.bold = control.font->weight != 0xFFFFFFFF && control.font->weight >= 600;
  font.colour = control.font->colour;
  return font;
}

PageFont ReportFont(const Node& report) {
  PageFont plain;
  plain.name = "Sans Serif";
  plain.size = 10;
  return FontOf(report, plain);
}

int32_t TextHeight(const PageFont& font) {
  return static_cast<int32_t>(std::lround(font.size * kMilsPerPoint * kLineHeight));
}

int32_t TextWidth(std::string_view text, const PageFont& font) {
  // The engine's texts are in a one-byte character set: a byte is a character.
  auto chars = static_cast<int64_t>(text.size());
  return Clamp(std::llround(static_cast<double>(chars) * font.size * kMilsPerPoint * kCharWidth));
}

int32_t BandHeight(const Node& band, const PageFont& font, const BandValues& values) {
  if (Given(band.at.h)) return std::max<int32_t>(band.at.h, 0);
  int32_t width = Given(band.at.w) ? band.at.w : 0;
  int64_t bottom = 0;
  for (const Placed& p : Place(band, width, font, values)) {
    bottom = std::max<int64_t>(bottom, int64_t{p.y} + std::max<int32_t>(p.h, 0));
  }
  return Clamp(bottom);
}

int32_t BandReach(const Node& band, const PageFont& font, const BandValues& values) {
  int32_t width = Given(band.at.w) ? band.at.w : 0;
  int64_t bottom = BandHeight(band, font, values);
  for (const Placed& p : Place(band, width, font, values)) {
    if (p.type == PageItem::Type::kText && p.text.empty()) continue;  // draws nothing
    bottom = std::max<int64_t>(bottom, int64_t{p.y} + std::max<int32_t>(p.h, 0));
  }
  return Clamp(bottom);
}

std::optional<TextEnd> TextEndOf(const Node& band, std::string_view variable, const PageFont& font,
                                 const BandValues& values) {
  int32_t width = Given(band.at.w) ? band.at.w : 0;
  std::optional<TextEnd> first_text;
  for (const Placed& p : Place(band, width, font, values)) {
    if (p.type != PageItem::Type::kText) continue;
    std::string shown = p.text;
    shown.erase(shown.find_last_not_of(' ') + 1);
    if (shown.empty()) continue;
    // As wide as the text can be, then one blank.
    const double wide = static_cast<double>(shown.size()) * p.font.size * kMilsPerPoint;
    TextEnd end{Clamp(int64_t{p.x} + std::llround(wide * kWideCharWidth) + TextWidth(" ", p.font)),
                p.y, p.font};
    if (p.node->use && p.node->use->variable == variable) return end;
    if (!first_text) first_text = end;
  }
  return first_text;
}

void LayoutBand(const Node& band, int32_t x, int32_t y, int32_t width, const PageFont& font,
                const BandValues& values, std::vector<PageItem>& out) {
  for (const Placed& p : Place(band, width, font, values)) {
    PageItem item;
    item.type = p.type;
    item.x = Clamp(int64_t{x} + p.x);
    item.y = Clamp(int64_t{y} + p.y);
    item.w = p.w;
    item.h = p.h;
    item.font = p.font;
    if (p.type == PageItem::Type::kBox || p.type == PageItem::Type::kLine) {
      item.colour = p.node->colours[0];
      if (p.type == PageItem::Type::kBox) item.fill = p.node->colours[1];
    }
    if (p.node->kind == Kind::kCheck) {
      // The square, crossed when the variable is set, then the text.
      int32_t side = std::min(TextHeight(p.font) * 3 / 4, std::max<int32_t>(p.h, 0));
      PageItem box;
      box.type = PageItem::Type::kBox;
      box.x = item.x;
      box.y = item.y;
      box.w = box.h = side;
      out.push_back(box);
      if (p.checked) {
        PageItem cross;
        cross.type = PageItem::Type::kLine;
        cross.x = box.x;
        cross.y = box.y;
        cross.w = side;
        cross.h = side;
        out.push_back(cross);
        cross.y = Clamp(int64_t{box.y} + side);
        cross.h = -side;
        out.push_back(cross);
      }
      int32_t shift = side + kGap;
      item.x = Clamp(int64_t{item.x} + shift);
      item.w = std::max<int32_t>(0, Clamp(int64_t{item.w} - shift));
    }
    item.text = p.text;
    if (p.type == PageItem::Type::kText && item.text.empty()) continue;
    out.push_back(std::move(item));
  }
}

}  // namespace vorsandt::ui
