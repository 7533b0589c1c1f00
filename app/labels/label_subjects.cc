#include "app/labels/label_subjects.h"

#include <string>
#include <utility>

#include "runtime/files/field_codec.h"

namespace vorsandt::app {
namespace {

thread_local std::optional<HandedLabels> t_handed;

files::FieldBytes Field(Table t, const char* name) {
  const FieldDef& f = *FieldNamed(name);
  return {f.type, files::RecordBuffer(File(t)) + f.offset, f.size, f.places};
}

std::string FieldText(Table t, const char* name) {
  std::string text = files::ReadText(Field(t, name)).value_or(std::string());
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

}  // namespace

bool TableHasLabels(Table table) { return table == Table::kItems || table == Table::kLocations; }

bool SubjectOfRecord(Table table, LabelSubject* subject) {
  if (table == Table::kItems) {
    const auto code =
        static_cast<int32_t>(files::ReadNumber(Field(table, "ITE:ITEM_CODE")).value_or(0));
    subject->scan_text = ItemScanText(code);
    subject->code_text = subject->scan_text.substr(subject->scan_text.rfind(' ') + 1);
    subject->description = FieldText(table, "ITE:ITEM");
    return true;
  }
  if (table == Table::kLocations) {
    subject->code_text = FieldText(table, "LOC:LOCATION");
    subject->scan_text = LocationScanText(subject->code_text);
    subject->description = "Location";
    return true;
  }
  return false;
}

void HandOverLabels(HandedLabels labels) { t_handed = std::move(labels); }

std::optional<HandedLabels> TakeHandedLabels() {
  std::optional<HandedLabels> taken = std::move(t_handed);
  t_handed.reset();
  return taken;
}

}  // namespace vorsandt::app
