// The page model of the report engine: what one finished report page shows.
//
// The engine lays a report's bands out into pages of positioned items; the
// platform turns a page into a page image (a text file without a display, a
// picture file with one) and prints page images. All positions and sizes are
// absolute on the page, in thousandths of an inch from its top left corner,
// and always given (the layout has already resolved the definition's
// "not given" values). Texts are in the engine's character set
// (Windows-1252), like every text the engine hands a platform.
#ifndef VORSANDT_UI_ENGINE_REPORT_PAGE_H_
#define VORSANDT_UI_ENGINE_REPORT_PAGE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "ui/engine/definition.h"  // kDefaultColour

namespace vorsandt::ui {

// Thousandths of an inch per point (1/72 inch).
inline constexpr double kMilsPerPoint = 1000.0 / 72.0;

struct PageFont {
  std::string name;
  int32_t size = 10;  // points
  bool bold = false;
  uint32_t colour = kDefaultColour;  // 0x00BBGGRR; kDefaultColour: black
  bool operator==(const PageFont&) const = default;
};

struct PageItem {
  enum class Type {
    kText,   // `text` in `font`, its top left corner at (x, y); w x h is its box
    kLine,   // from (x, y) to (x + w, y + h)
    kBox,    // rectangle; `colour` the frame (default black), `fill` the inside (default none)
    kImage,  // the picture file `text` scaled into the rectangle
  };
  Type type = Type::kText;
  int32_t x = 0;
  int32_t y = 0;
  int32_t w = 0;
  int32_t h = 0;
  std::string text;
  PageFont font;
  uint32_t colour = kDefaultColour;
  uint32_t fill = kDefaultColour;
  bool operator==(const PageItem&) const = default;
};

struct Page {
  std::string report;    // the report's label, for titles and messages
  int number = 0;        // 1-based
  int32_t width = 8500;  // the paper, thousandths of an inch
  int32_t height = 11000;
  std::vector<PageItem> items;  // in drawing order
};

// The readable text form of a page, one line per item:
//   page 2 MASTER$REPORT 8500x11000
//   text 1271,1031 800x139 "MASTER INVENTORY" font "Arial" 10
//   line 1000,2000 6000x0
//   box 1000,2000 300x300 colour 0x000000FF fill default
//   image 1000,2000 500x500 "logo.png"
// Quotes and backslashes inside texts are escaped with a backslash, control
// characters as \n, \t or \xHH, so that every item stays on its line.
std::string PageToText(const Page& page);

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_REPORT_PAGE_H_
