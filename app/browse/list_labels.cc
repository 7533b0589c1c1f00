#include "app/browse/list_labels.h"

#include <utility>

#include "app/frame/main_frame.h"
#include "app/messages/warning_message.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"

namespace vorsandt::app {

bool ListLabels(Browse& browse, std::vector<LabelSubject>* labels, std::string* error) {
  const Table table = browse.primary();
  labels->clear();
  browse.OpenOrder();
  if (browse.failed()) {
    *error = std::string(Def(table).label);
    return false;
  }
  files::Errors().Clear();
  for (;;) {
    files::Next(browse.view());
    const int32_t code = files::Errors().Code();
    if (code == files::kRecordNotAvailable) break;
    if (code != files::kNoError) {
      *error = std::string(Def(table).label);
      browse.CloseView();
      return false;
    }
    LabelSubject subject;
    if (SubjectOfRecord(table, &subject)) labels->push_back(std::move(subject));
  }
  files::Errors().Clear();
  browse.CloseView();
  return true;
}

void PrintListLabels(Browse& browse) {
  HandedLabels handed{browse.primary(), {}};
  std::string error;
  if (!ListLabels(browse, &handed.subjects, &error)) {
    WarningMessage(MessageId::kRecordRetrievalError, error);
    return;
  }
  HandOverLabels(std::move(handed));
  CallProcedure(kPrintLabelsProcedure);
  // Whatever the procedure did not take is not left for a later call.
  TakeHandedLabels();
}

}  // namespace vorsandt::app
