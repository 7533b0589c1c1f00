// Report pages on the toolkit: a page model drawn into a picture, page
// pictures written as PNG files (the Qt platform's page images) and printed.
//
// A page image shows the whole sheet of paper at a fixed resolution, white
// where nothing is drawn. Printing scales each page image onto a whole sheet
// of the printer's paper, keeping its proportions.
#ifndef VORSANDT_UI_QT_REPORT_RENDER_H_
#define VORSANDT_UI_QT_REPORT_RENDER_H_

#include <QImage>
#include <QPrinter>
#include <optional>
#include <string>
#include <vector>

#include "ui/engine/report_page.h"

namespace vorsandt::ui::qt {

// Dots per inch of the page images: a letter page is 850 x 1100 pixels,
// enough for the preview and for readable print.
inline constexpr int kPageImageDpi = 100;

// Draws `page` on a white image of its paper's size at `dpi`. Safe on any
// thread once the application object exists.
QImage DrawPage(const Page& page, int dpi = kPageImageDpi);

// Writes `page` as a PNG file at `stem` + ".png" and returns that name;
// nullopt when the file exists already or cannot be written.
std::optional<std::string> WritePagePng(const Page& page, const std::string& stem,
                                        int dpi = kPageImageDpi);

// Prints the page images `paths` on `printer` as one job, one per sheet.
// False, with nothing printed, when one of them cannot be read; false when
// the printer cannot be started.
bool PrintPageImages(QPrinter& printer, const std::vector<std::string>& paths);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_REPORT_RENDER_H_
