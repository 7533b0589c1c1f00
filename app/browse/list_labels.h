// "Print Labels...": a label for every record of a list's current order,
// within its range and filter, handed to the labels procedure (which asks
// for the sheet and shows the preview).
#ifndef VORSANDT_APP_BROWSE_LIST_LABELS_H_
#define VORSANDT_APP_BROWSE_LIST_LABELS_H_

#include <string>
#include <vector>

#include "app/browse/browse.h"
#include "app/labels/label_subjects.h"

namespace vorsandt::app {

// Reads the browse's current order from its start to its end as labels.
// Leaves the view closed (the caller opens it again). False with `error`
// when a read failed.
bool ListLabels(Browse& browse, std::vector<LabelSubject>* labels, std::string* error);

// The labels of the list, through the labels procedure on this thread.
void PrintListLabels(Browse& browse);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_BROWSE_LIST_LABELS_H_
