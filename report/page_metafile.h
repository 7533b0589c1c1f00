// A finished report page recorded as a placeable metafile: the page image
// the preview shows and the printer prints.
//
// The metafile's logical units are the printer's pixels: its bounding box is
// (0, 0, page width, page height) in pixels at `dpi`, and its window is the
// same. Texts keep their font (face, size as a character height, weight)
// and colour and are placed by their top left corner; lines and box frames
// are drawn with a pen one hundredth of an inch wide; boxes are filled only
// when their item says so. A picture item's file is decoded and recorded as
// a bitmap in its box, proportions kept and centred, at no more pixels than
// the box has at `dpi`; a file that cannot be decoded leaves the box empty.
#ifndef VORSANDT_REPORT_PAGE_METAFILE_H_
#define VORSANDT_REPORT_PAGE_METAFILE_H_

#include <cstdint>
#include <vector>

#include "ui/engine/report_page.h"

namespace vorsandt::ui {

// The printer resolution pages are recorded at. A letter page is 2550 x 3300
// pixels, well inside the metafile's 16-bit coordinates.
inline constexpr int kPageImageDpi = 300;

std::vector<uint8_t> PageToMetafile(const Page& page, int dpi = kPageImageDpi);

}  // namespace vorsandt::ui

#endif  // VORSANDT_REPORT_PAGE_METAFILE_H_
