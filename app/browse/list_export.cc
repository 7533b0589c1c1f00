#include "app/browse/list_export.h"

#include <cctype>
#include <optional>

#include "app/exchange/csv.h"
#include "app/exchange/record_text.h"
#include "app/exchange/whole_file.h"
#include "app/messages/warning_message.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "ui/engine/engine.h"

namespace vorsandt::app {
namespace {

int32_t Code() { return files::Errors().Code(); }

// The primary record's memos are read with the record itself only by a read
// of the file; a view reads the record alone.
bool ReadMemos(files::FileRecord* table, Table t) {
  if (Def(t).memos.empty()) return true;
  const files::KeyDecl* primary = Key(t, 1);
  files::RegetKey(table, primary, files::PositionKey(table, primary));
  return Code() == files::kNoError;
}

}  // namespace

bool ListToCsv(Browse& browse, std::string* csv, int* records, std::string* error) {
  const TableDef& def = Def(browse.primary());
  files::FileRecord* table = browse.table();
  *records = 0;
  *csv = exchange::CsvLine(exchange::ColumnNames(def));
  // From the start of the order: the view applies the order's range and filter.
  browse.OpenOrder();
  if (browse.failed()) {
    *error = "The records of " + std::string(def.label) + " could not be read.";
    return false;
  }
  files::Errors().Clear();
  for (;;) {
    files::Next(browse.view());
    if (Code() == files::kRecordNotAvailable) break;
    if (Code() != files::kNoError || !ReadMemos(table, browse.primary())) {
      *error = "Reading " + std::string(def.label) + " failed: " + files::Errors().Text() + ".";
      browse.CloseView();
      return false;
    }
    files::FileRecord* instance = files::InstanceOf(table);
    *csv +=
        exchange::CsvLine(exchange::RecordToValues(def, instance->buffer, instance->memo_buffers));
    ++*records;
  }
  files::Errors().Clear();
  browse.CloseView();
  return true;
}

void ExportList(Browse& browse, ui::WindowId owner) {
  ui::FileRequest request;
  request.title = "Export List";
  request.mask = "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*";
  request.file_name = std::string(Def(browse.primary()).label) + ".csv";
  request.save = true;
  request.owner = owner;
  std::optional<std::string> chosen = ui::Engine::Current()->ChooseFile(request);
  if (!chosen || chosen->empty()) return;

  std::string csv, error;
  int records = 0;
  if (!ListToCsv(browse, &csv, &records, &error)) {
    WarningMessage(MessageId::kListExportError, error);
    return;
  }
  SaveExportedList(*chosen, csv, records);
}

void SaveExportedList(const std::string& path, const std::string& csv, int records) {
  std::string error;
  if (!exchange::WriteWholeFile(env::Env::Default(), path, csv, &error)) {
    // The reason names the file ("cannot write x.csv: Permission denied").
    error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
    WarningMessage(MessageId::kListExportError, error + ".");
    return;
  }
  WarningMessage(MessageId::kListExported, std::to_string(records), path);
}

}  // namespace vorsandt::app
