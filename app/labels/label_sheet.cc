#include "app/labels/label_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/labels/qr_code.h"
#include "runtime/format/charset.h"

namespace vorsandt::app {
namespace {

constexpr double kMilsPerMm = 1000.0 / 25.4;
constexpr int32_t Mm(double mm) { return static_cast<int32_t>(mm * kMilsPerMm + 0.5); }

const LabelTemplate kTemplates[] = {
    // 210 x 297 mm; the labels fill the width and leave half a millimetre
    // above and below.
    {"A4 3 x 8 (70 x 37 mm)", Mm(210), Mm(297), 3, 8, Mm(70), Mm(37), 0, Mm(0.5), Mm(70), Mm(37)},
    // 8.5 x 11 in: three columns 1/8 in apart inside 3/16 in side margins,
    // ten rows below a half-inch top margin.
    {"US Letter 3 x 10 (2.625 x 1 in)", 8500, 11000, 3, 10, 2625, 1000, 188, 500, 2750, 1000},
};

// The space kept clear inside a label's edge: printers place a sheet a
// little differently every time.
constexpr int32_t kLabelMargin = 80;
// The largest QR code a label gets, with the text beside it.
constexpr int32_t kLargestCode = 900;
// Quiet zone around a code, in modules (inside its square).
constexpr int kQuietModules = 2;
// The pen a box's frame is drawn with (a hundredth of an inch): the boxes
// of a code are drawn this much smaller, so that the frame ends where the
// module does.
constexpr int32_t kPenWidth = 10;

const ui::PageFont kCodeFont{"Arial", 11, true};
const ui::PageFont kDescriptionFont{"Arial", 9, false};
// Two lines stay readable at arm's length; a longer description is cut.
constexpr int kDescriptionLines = 2;

// Advance widths in thousandths of an em of the printable ASCII characters
// (from the blank), as wide as the widest of the sans-serif faces the
// desktop draws "Arial" with.
constexpr int16_t kWidths[95] = {
    318,  401, 460, 838, 636, 950, 780, 275, 390, 390, 500, 838, 318, 361, 318, 337,  // ' '../
    636,  636, 636, 636, 636, 636, 636, 636, 636, 636, 337, 337, 838, 838, 838, 531,  // 0..?
    1000, 684, 686, 698, 770, 632, 575, 775, 752, 295, 295, 656, 557, 863, 748, 787,  // @..O
    603,  787, 695, 635, 611, 732, 684, 989, 685, 611, 685, 390, 337, 390, 838, 500,  // P.._
    500,  613, 635, 550, 635, 615, 352, 635, 634, 278, 278, 579, 278, 974, 634, 612,  // `..o
    635,  635, 411, 521, 392, 634, 592, 818, 592, 592, 525, 636, 337, 636, 838};      // p..~
// Bold faces are wider; other characters count as a wide letter.
constexpr double kBoldFactor = 1.15;
constexpr int kOtherWidth = 900;
// Room left for the faces' own rounding.
constexpr double kSafety = 1.05;

std::string Utf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    const char32_t u = c < 0x80 ? c : format::AnsiToUnicode(c);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

ui::PageItem Box(int32_t x, int32_t y, int32_t w, int32_t h) {
  ui::PageItem box;
  box.type = ui::PageItem::Type::kBox;
  box.x = x;
  box.y = y;
  box.w = w;
  box.h = h;
  box.colour = 0;
  box.fill = 0;
  return box;
}

// The code's dark modules as boxes, each run along a row one box, in the
// square at (x, y) `side` wide.
void DrawCode(const QrCode& code, int32_t x, int32_t y, int32_t side,
              std::vector<ui::PageItem>& out) {
  const double module = static_cast<double>(side) / (code.size + 2 * kQuietModules);
  auto at = [&](int modules) { return static_cast<int32_t>(std::lround(modules * module)); };
  const int32_t inset = 0;  // the frame of a filled box adds nothing visible
  for (int row = 0; row < code.size; ++row) {
    for (int col = 0; col < code.size;) {
      if (!code.Dark(col, row)) {
        ++col;
        continue;
      }
      int end = col;
      while (end < code.size && code.Dark(end, row)) ++end;
      const int32_t left = x + at(col + kQuietModules), right = x + at(end + kQuietModules);
      const int32_t top = y + at(row + kQuietModules), bottom = y + at(row + 1 + kQuietModules);
      out.push_back(
          Box(left + inset, top + inset, right - left - 2 * inset, bottom - top - 2 * inset));
      col = end;
    }
  }
}

ui::PageItem Text(const std::string& text, const ui::PageFont& font, int32_t x, int32_t y,
                  int32_t w) {
  ui::PageItem item;
  item.type = ui::PageItem::Type::kText;
  item.x = x;
  item.y = y;
  item.w = w;
  item.h = static_cast<int32_t>(std::lround(font.size * ui::kMilsPerPoint * 1.2));
  item.text = text;
  item.font = font;
  return item;
}

void DrawLabel(const LabelTemplate& t, int slot, const LabelSubject& subject,
               std::vector<ui::PageItem>& out) {
  const ui::PageItem label = LabelBox(t, slot);
  const int32_t inner_h = label.h - 2 * kLabelMargin;
  const int32_t side = std::min(inner_h, kLargestCode);
  const int32_t left = label.x + kLabelMargin, top = label.y + kLabelMargin;
  if (std::optional<QrCode> code = EncodeQr(Utf8(subject.scan_text))) {
    DrawCode(*code, left, top + (inner_h - side) / 2, side, out);
  }
  const int32_t text_x = left + side + kLabelMargin;
  const int32_t text_w = label.x + label.w - kLabelMargin - text_x;
  const int32_t bottom = label.y + label.h - kLabelMargin;
  ui::PageItem code_line = Text(CutToWidth(Trimmed(subject.code_text), kCodeFont, text_w),
                                kCodeFont, text_x, top, text_w);
  int32_t y = top + code_line.h;
  const size_t first_text = out.size();
  out.push_back(std::move(code_line));
  const int32_t line_h = Text("", kDescriptionFont, 0, 0, 0).h;
  const int lines = std::min<int>(kDescriptionLines, std::max<int32_t>(0, (bottom - y) / line_h));
  for (const std::string& line :
       WrapToWidth(Trimmed(subject.description), kDescriptionFont, text_w, lines)) {
    out.push_back(Text(line, kDescriptionFont, text_x, y, text_w));
    y += line_h;
  }
  // The texts stand level with the code's middle, as the code does with the
  // label's.
  const int32_t shift = std::max<int32_t>(0, (inner_h - (y - top)) / 2);
  for (size_t i = first_text; i < out.size(); ++i) out[i].y += shift;
}

}  // namespace

std::span<const LabelTemplate> LabelTemplates() { return kTemplates; }

std::string ItemScanText(int32_t code) {
  char text[32];
  // Codes above 32767 are held as negative 16-bit numbers; the label gives
  // the code as handed out, which is what Find reads back.
  const int shown = code < 0 ? static_cast<int>(code) + 65536 : static_cast<int>(code);
  std::snprintf(text, sizeof text, "VORSANDT ITEM %06d", shown);
  return text;
}

std::string LocationScanText(const std::string& location) {
  return "VORSANDT LOC " + Trimmed(location);
}

ui::PageItem LabelBox(const LabelTemplate& t, int slot) {
  ui::PageItem box;
  box.type = ui::PageItem::Type::kBox;
  box.x = t.left + (slot % t.columns) * t.pitch_x;
  box.y = t.top + (slot / t.columns) * t.pitch_y;
  box.w = t.label_width;
  box.h = t.label_height;
  return box;
}

int SheetsNeeded(const LabelTemplate& t, size_t labels, int offset) {
  if (labels == 0) return 0;
  if (offset < 0 || offset >= t.per_page()) offset = 0;
  return static_cast<int>((labels + static_cast<size_t>(offset) + t.per_page() - 1) /
                          static_cast<size_t>(t.per_page()));
}

std::vector<ui::Page> LabelPages(const LabelTemplate& t, const std::vector<LabelSubject>& subjects,
                                 int offset) {
  if (offset < 0 || offset >= t.per_page()) offset = 0;
  std::vector<ui::Page> pages;
  for (size_t i = 0; i < subjects.size(); ++i) {
    const size_t slot = i + static_cast<size_t>(offset);
    if (slot % static_cast<size_t>(t.per_page()) == 0 || pages.empty()) {
      ui::Page page;
      page.report = "LABELS";
      page.number = static_cast<int>(pages.size()) + 1;
      page.width = t.page_width;
      page.height = t.page_height;
      pages.push_back(std::move(page));
    }
    DrawLabel(t, static_cast<int>(slot % static_cast<size_t>(t.per_page())), subjects[i],
              pages.back().items);
  }
  return pages;
}

int32_t LabelTextWidth(const std::string& text, const ui::PageFont& font) {
  double ems = 0;
  for (unsigned char c : text) {
    ems += (c >= 0x20 && c < 0x7F ? kWidths[c - 0x20] : kOtherWidth) / 1000.0;
  }
  if (font.bold) ems *= kBoldFactor;
  return static_cast<int32_t>(std::ceil(ems * font.size * ui::kMilsPerPoint * kSafety));
}

std::string CutToWidth(const std::string& text, const ui::PageFont& font, int32_t width) {
  if (LabelTextWidth(text, font) <= width) return text;
  for (size_t n = text.size(); n > 0; --n) {
    std::string cut = Trimmed(text.substr(0, n - 1)) + "...";
    if (LabelTextWidth(cut, font) <= width) return cut;
  }
  return {};
}

std::vector<std::string> WrapToWidth(const std::string& text, const ui::PageFont& font,
                                     int32_t width, int lines) {
  std::vector<std::string> out;
  std::string rest = Trimmed(text);
  while (!rest.empty() && static_cast<int>(out.size()) < lines) {
    if (static_cast<int>(out.size()) == lines - 1 || LabelTextWidth(rest, font) <= width) {
      out.push_back(CutToWidth(rest, font, width));
      break;
    }
    // The longest start that ends at a blank and fits; a word longer than
    // the line is broken where the line ends.
    size_t take = 0;
    for (size_t blank = rest.find(' '); blank != std::string::npos;
         blank = rest.find(' ', blank + 1)) {
      if (LabelTextWidth(rest.substr(0, blank), font) > width) break;
      take = blank;
    }
    if (take == 0) {
      take = 1;
      while (take < rest.size() && LabelTextWidth(rest.substr(0, take + 1), font) <= width) ++take;
    }
    out.push_back(Trimmed(rest.substr(0, take)));
    rest = Trimmed(rest.substr(take));
  }
  return out;
}

}  // namespace vorsandt::app
