// Sheets of labels: the templates, and labels laid out on pages of the
// report engine's page model, so that they go through the same preview,
// printing and PDF files as the reports.
//
// Each label holds a QR code on its left (the label's scan text, such as
// "VORSANDT ITEM 000123"), the item's code or the location's name in bold
// beside it, and below that the description, wrapped and cut to what the
// label holds. Everything a label draws lies inside its own rectangle, a
// margin clear of its edges: a label never crosses its edge, whatever the
// text. Widths are judged by a character-width table a little wider than
// the faces the desktop draws with, since the page model carries no font
// metrics.
#ifndef VORSANDT_APP_LABELS_LABEL_SHEET_H_
#define VORSANDT_APP_LABELS_LABEL_SHEET_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ui/engine/report_page.h"

namespace vorsandt::app {

// A sheet template; lengths in thousandths of an inch.
struct LabelTemplate {
  const char* name;  // as the dialog offers it
  int32_t page_width, page_height;
  int columns, rows;
  int32_t label_width, label_height;
  int32_t left, top;         // the first label's top left corner
  int32_t pitch_x, pitch_y;  // from one label's corner to the next one's
  int per_page() const { return columns * rows; }
};

// A4 3 x 8 (70 x 37 mm) and US Letter 3 x 10 (2.625 x 1 in), in that order.
std::span<const LabelTemplate> LabelTemplates();

// What one label shows. Texts in the engine's character set.
struct LabelSubject {
  std::string scan_text;    // what the QR code holds
  std::string code_text;    // "000123", or the location's name
  std::string description;  // the item's description; may be empty
};

// The scan texts: "VORSANDT ITEM 000123" and "VORSANDT LOC Kitchen".
std::string ItemScanText(int32_t code);
std::string LocationScanText(const std::string& location);

// Where label `slot` (from 0, counted along the rows) of a page lies.
ui::PageItem LabelBox(const LabelTemplate& t, int slot);

// The pages for `subjects`, the first `offset` labels of the first sheet
// left empty (a part-used sheet). An offset outside 0 .. per_page - 1 is
// taken as 0. No subjects, no pages.
std::vector<ui::Page> LabelPages(const LabelTemplate& t, const std::vector<LabelSubject>& subjects,
                                 int offset);

// How many sheets the labels take.
int SheetsNeeded(const LabelTemplate& t, size_t labels, int offset);

// The estimated width of `text` in `font` (thousandths of an inch), never
// less than the desktop's faces draw it; and the longest start of `text`
// that fits in `width` (with "..." after it when it had to be cut).
int32_t LabelTextWidth(const std::string& text, const ui::PageFont& font);
std::string CutToWidth(const std::string& text, const ui::PageFont& font, int32_t width);

// `text` broken at blanks into at most `lines` lines of at most `width`;
// what does not fit is cut from the last line.
std::vector<std::string> WrapToWidth(const std::string& text, const ui::PageFont& font,
                                     int32_t width, int lines);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_LABELS_LABEL_SHEET_H_
