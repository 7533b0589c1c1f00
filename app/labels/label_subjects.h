// What goes on a label for a record, and how a list hands its records to
// the labels procedure.
//
// A list's File > Print Labels... reads its records in the list's order and
// range, hands them over here and calls the procedure "PrintLabels" on its
// own thread (as it calls a form), which takes them; the procedure started
// from the Reports menu finds nothing handed over and offers every item or
// every location.
#ifndef VORSANDT_APP_LABELS_LABEL_SUBJECTS_H_
#define VORSANDT_APP_LABELS_LABEL_SUBJECTS_H_

#include <optional>
#include <vector>

#include "app/dictionary/dictionary.h"
#include "app/labels/label_sheet.h"

namespace vorsandt::app {

// A list's File menu item, and its popup item.
inline constexpr int kPrintLabelsItem = -2;
inline constexpr char kPrintLabelsPopupItem[] = "|Print &Labels...";
inline constexpr char kPrintLabelsProcedure[] = "PrintLabels";

// Tables whose records have labels: ITEMS and LOCATIONS.
bool TableHasLabels(Table table);
// The label of the record in `table`'s buffer on the calling thread; false
// for a table without labels.
bool SubjectOfRecord(Table table, LabelSubject* subject);

struct HandedLabels {
  Table table;
  std::vector<LabelSubject> subjects;
};
// Kept for the calling thread until taken (once).
void HandOverLabels(HandedLabels labels);
std::optional<HandedLabels> TakeHandedLabels();

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_LABELS_LABEL_SUBJECTS_H_
