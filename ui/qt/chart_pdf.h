// A page of charts written as a PDF file: the summary's page. The charts are
// the drawings a window's chart controls show (chart_view.h), laid out on
// one landscape A4 sheet under a title and a few lines of figures: the first
// chart on the left half, the others one under the other on the right. The text on the
// page (title, lines, the charts' labels and figures) is text in the PDF.
// The file is written whole or not at all (pdf_file.h). Needs the widget
// toolkit (a QApplication) on the calling thread.
#ifndef VORSANDT_UI_QT_CHART_PDF_H_
#define VORSANDT_UI_QT_CHART_PDF_H_

#include <string>
#include <vector>

#include "ui/engine/chart.h"

namespace vorsandt::ui::qt {

struct ChartPage {
  std::string title;
  std::vector<std::string> lines;
  std::vector<Chart> charts;
};

// False, with `error` (when given) saying why and naming the file, when the
// page could not be drawn or written; `file` is then as it was.
bool WriteChartPagePdf(const ChartPage& page, const std::string& file, std::string* error);

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_CHART_PDF_H_
