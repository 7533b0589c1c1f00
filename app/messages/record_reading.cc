#include "app/messages/record_reading.h"

#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"

namespace vorsandt::app {

bool ReadEachRecord(Table table, std::string_view key, const std::function<void()>& take,
                    std::string* error) {
  files::FileRecord* file = File(table);
  files::SetKey(file, KeyNamed(key));
  for (;;) {
    files::Next(file);
    const int code = files::Errors().Code();
    if (code == files::kRecordNotAvailable) break;
    if (code != files::kNoError) {
      *error = std::string(Def(table).label) + " cannot be read: " + files::Errors().Text();
      files::Errors().Clear();
      return false;
    }
    take();
  }
  files::Errors().Clear();
  return true;
}

files::FieldBytes BufferField(std::string_view name) {
  const FieldDef* def = FieldNamed(name);
  Table t = Table::kItems;
  TableOfName(name, &t);
  return {def->type, files::RecordBuffer(File(t)) + def->offset, def->size, def->places};
}

}  // namespace vorsandt::app
