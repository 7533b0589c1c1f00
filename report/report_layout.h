// Laying one report band's controls out as page items.
//
// A band's controls are placed relative to the band's top left corner. What
// a definition leaves "not given" is resolved like this:
//   - x: directly after the previous control of the band (0 for the first);
//   - y: the previous control's y, so such controls run along one line (0 for
//     the first);
//   - width and height of texts (strings, prompts, variable strings, entries,
//     check boxes): the text's natural size in the control's font, estimated
//     from its length (no font metrics are needed, so every platform lays a
//     page out the same way);
//   - lines: to the band's right edge, and horizontal (height 0);
//   - boxes: one text line square; images: one inch square.
// Strings, prompts, variable strings (and entries), check boxes, lines, boxes
// and images are drawn (an image that uses a variable shows the picture file
// the variable names); hidden controls and other kinds (buttons, lists...)
// are left out of a printed band.
#ifndef VORSANDT_REPORT_REPORT_LAYOUT_H_
#define VORSANDT_REPORT_REPORT_LAYOUT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/engine/definition.h"
#include "ui/engine/report_page.h"

namespace vorsandt::ui {

// The value a control shows, as its use variable gives it.
struct BandValue {
  std::string text;
  bool numeric = false;
};
// The value of `control` (a control with a use block); nullopt when the
// procedure bound no variable to it (the control then shows nothing).
using BandValues = std::function<std::optional<BandValue>(const Node& control)>;

// The font of a control: its own font block, else `fallback`.
PageFont FontOf(const Node& control, const PageFont& fallback);
// The font a report's controls use when they name none: the report's font
// block, else a plain 10-point sans-serif font.
PageFont ReportFont(const Node& report);

// Natural text sizes in thousandths of an inch.
int32_t TextHeight(const PageFont& font);
int32_t TextWidth(std::string_view text, const PageFont& font);

// The height `band` takes on the page: its own when given (negative heights
// count as 0), else the lowest bottom edge of its placed controls.
int32_t BandHeight(const Node& band, const PageFont& font, const BandValues& values);

// How far down `band` draws: the lowest bottom edge of its placed controls,
// or its height when that is lower. A band whose controls reach below its
// height still draws them, so this is what must fit on the page.
int32_t BandReach(const Node& band, const PageFont& font, const BandValues& values);

// Where a remark that follows the text a band shows for `variable` goes: one
// blank after the first visible text control that uses it (trailing blanks
// of its text left out; as wide as its text could be in a bold face, since
// the layout knows no font metrics), at its top, relative to the band, and
// that control's font; without such a control, after the band's first
// visible text; nullopt when the band shows no text at all.
struct TextEnd {
  int32_t x = 0;
  int32_t y = 0;
  PageFont font;
};
std::optional<TextEnd> TextEndOf(const Node& band, std::string_view variable, const PageFont& font,
                                 const BandValues& values);

// Appends the page items of `band`'s controls, the band's top left corner at
// (x, y) on the page and the band `width` wide. Variable strings show their
// variable through the control's display picture.
void LayoutBand(const Node& band, int32_t x, int32_t y, int32_t width, const PageFont& font,
                const BandValues& values, std::vector<PageItem>& out);

}  // namespace vorsandt::ui

#endif  // VORSANDT_REPORT_REPORT_LAYOUT_H_
