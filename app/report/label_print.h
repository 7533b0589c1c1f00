// Printing labels: the labels dialog (the sheet, the labels already used
// on it, and what to print for when no list chose that), then the sheets
// through the report preview, its Print and its Save as PDF.
//
// From the Reports menu the labels are for every item, by code, or for
// every location; from a list, for its records in its order and range.
#ifndef VORSANDT_APP_REPORT_LABEL_PRINT_H_
#define VORSANDT_APP_REPORT_LABEL_PRINT_H_

#include <string>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/labels/label_subjects.h"

namespace vorsandt::app {

inline constexpr char kLabelsWindowId[] = "ZELTAR3$ZELTA_LB";
inline constexpr char kLabelsWindowLabel[] = "LABELS$WINDOW";
// Reports > Labels, and a list's Print Labels... (labels handed over,
// app/labels/label_subjects.h): the dialog, then the preview; nothing when
// the dialog is cancelled.
void PrintLabels();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_REPORT_LABEL_PRINT_H_
