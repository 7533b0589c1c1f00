// File -> "Import CSV...": rows of a CSV file added to a table chosen from
// a short menu of the program's tables, through the same import as
// `qvf import` (app/exchange/table_import.h): the table's columns in any
// order and any subset, an unknown column refused by its name, every row in
// one transaction or none.
#include <cctype>
#include <climits>
#include <optional>

#include "app/dictionary/dictionary.h"
#include "app/exchange/table_import.h"
#include "app/exchange/whole_file.h"
#include "app/frame/main_frame.h"
#include "app/messages/warning_message.h"
#include "runtime/env/env.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "ui/engine/engine.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::app {
namespace {

// The table chosen from a popup menu of every table, or nullopt.
std::optional<Table> ChooseTable() {
  std::string menu;
  for (const TableDef& def : Tables()) menu += std::string("|") + def.label;
  const int chosen = ui::Engine::Current()->Popup(0, menu, INT32_MIN, INT32_MIN);
  if (chosen < 1 || chosen > static_cast<int>(Tables().size())) return std::nullopt;
  return Tables()[static_cast<size_t>(chosen - 1)].table;
}

std::string Capitalised(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

void ImportCsv() {
  ui::RequestCode() = 0;
  ui::ResponseCode() = ui::response::kCancelled;
  const std::optional<Table> table = ChooseTable();
  if (!table) return;
  const char* label = Def(*table).label;
  ui::FileRequest request;
  request.title = std::string("Import CSV into ") + label;
  request.mask = "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*";
  request.file_name = std::string(label) + ".csv";
  const std::optional<std::string> chosen = ui::Engine::Current()->ChooseFile(request);
  if (!chosen || chosen->empty()) return;

  std::string csv, error;
  if (!exchange::ReadWholeFile(env::Env::Default(), *chosen, &csv, &error)) {
    WarningMessage(MessageId::kImportError, label, Capitalised(error) + ".");
    return;
  }
  int rows = 0;
  const int status = exchange::ImportTable(
      *table, csv,
      [](const std::string& path, std::vector<std::string>* faults) {
        return qvf::FullCheckCommand(env::Env::Default(), path, faults);
      },
      &error, &rows);
  if (status != exchange::kImported) {
    WarningMessage(MessageId::kImportError, label, Capitalised(error) + ".");
    return;
  }
  WarningMessage(MessageId::kImported, std::to_string(rows) + (rows == 1 ? " row" : " rows"), label,
                 *chosen);
  ui::ResponseCode() = ui::response::kCompleted;
}

VORSANDT_PROCEDURE(ImportCsv);

}  // namespace vorsandt::app
