// ReportPreview: the pages of a finished report on screen before they are
// printed, one page, two facing pages or one page zoomed at a time.
//
// Entry n of the queue names the page image of page n. The preview answers
// through the shared response: 1 when the user chose Print, else 2. It runs
// on the calling report's thread. Facing pages pair (0 | 1), (2 | 3), ...:
// the right-hand page is always odd, so the first pair shows page 1 alone on
// the right and an even page count ends on a pair whose right page does not
// exist.
#ifndef VORSANDT_APP_REPORT_REPORT_PREVIEW_H_
#define VORSANDT_APP_REPORT_REPORT_PREVIEW_H_

#include <string>
#include <vector>

namespace vorsandt::app {

inline constexpr char kPreviewWindowId[] = "ZELTAR3$ZELTA061";

// "Save as PDF..." writes the pages as a PDF file, offering `pdf_name` as its
// name; the preview stays open and its status bar says where the file went.
void ReportPreview(const std::vector<std::string>& page_list, std::string pdf_name = "report.pdf");

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_REPORT_REPORT_PREVIEW_H_
