// The words of the question a delete asks when it takes more than the one
// record: what goes with it, table by table, and what stays naming it.
#ifndef VORSANDT_APP_INTEGRITY_DELETE_QUESTION_H_
#define VORSANDT_APP_INTEGRITY_DELETE_QUESTION_H_

#include <string>

#include "app/dictionary/dictionary.h"
#include "app/integrity/integrity.h"

namespace vorsandt::app {

// The question for deleting a record of `table` that takes `reach` along,
// for example "This also deletes 15 ITEMS records, 2 WARRANTY records and 0
// SERVICE records. Delete them all?". The tables are listed with the most
// records first (in the cascade's order among equals), every table the
// cascade reaches included; records that keep naming a deleted record are
// told in a sentence of their own when there are any. Empty when `reach`
// takes nothing and leaves nothing behind (no question is asked then).
std::string DeleteQuestion(Table table, const DeleteReach& reach);

}  // namespace vorsandt::app

#endif  // VORSANDT_APP_INTEGRITY_DELETE_QUESTION_H_
