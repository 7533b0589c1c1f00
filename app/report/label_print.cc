#include "app/report/label_print.h"

#include <memory>
#include <optional>
#include <string>

#include "app/frame/main_frame.h"
#include "app/messages/table_opening.h"
#include "app/messages/warning_message.h"
#include "app/report/report_preview.h"
#include "app/report/report_procedure.h"
#include "report/page_metafile.h"
#include "report/report.h"
#include "report/report_images.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "ui/engine/engine.h"
#include "ui/engine/events.h"
#include "ui/engine/thread_codes.h"
#include "ui/engine/use_variable.h"
#include "ui/engine/window.h"

namespace vorsandt::app {
namespace {

constexpr char kItemsChoice[] = "Items";
constexpr char kLocationsChoice[] = "Locations";

// Every record of `table` in the order of `key`, as labels. False after a
// read failure (told the user).
bool AllSubjects(Table table, const char* key, std::vector<LabelSubject>* out) {
  OpenTable(table);
  files::SetKey(File(table), KeyNamed(key));
  bool ok = true;
  for (;;) {
    if (files::Errors().Code() == files::kNoError) files::Next(File(table));
    if (files::Errors().Code() == files::kRecordNotAvailable) break;
    if (files::Errors().Code() != files::kNoError) {
      WarningMessage(MessageId::kRecordRetrievalError, Def(table).label);
      ok = false;
      break;
    }
    LabelSubject subject;
    if (SubjectOfRecord(table, &subject)) out->push_back(std::move(subject));
  }
  files::Errors().Clear();
  CloseTable(table);
  return ok;
}

// The labels dialog. Lists offered for the choice of subject: with one, the
// choice is made and the list disabled.
class LabelDialog {
 public:
  struct Choice {
    const LabelTemplate* sheet = nullptr;
    int offset = 0;
    const std::vector<LabelSubject>* subjects = nullptr;
  };
  LabelDialog(const std::vector<LabelSubject>* items, const std::vector<LabelSubject>* locations)
      : items_(items), locations_(locations) {}
  std::optional<Choice> Run();

 private:
  const std::vector<LabelSubject>* Subjects() const {
    if (items_ == nullptr) return locations_;
    if (locations_ == nullptr) return items_;
    return TrimRight(subject_) == kLocationsChoice ? locations_ : items_;
  }
  const LabelTemplate& Sheet() const {
    for (const LabelTemplate& t : LabelTemplates()) {
      // The window's variable keeps the text padded to its size.
      if (TrimRight(sheet_name_) == t.name) return t;
    }
    return LabelTemplates().front();
  }
  void ShowCount();
  bool OffsetAllowed();

  const std::vector<LabelSubject>* items_;
  const std::vector<LabelSubject>* locations_;
  std::unique_ptr<ui::Window> window_;
  std::string subject_ = kItemsChoice, sheet_name_ = LabelTemplates().front().name, count_;
  int32_t used_ = 0;
};

void LabelDialog::ShowCount() {
  const size_t labels = Subjects()->size();
  const int sheets = SheetsNeeded(Sheet(), labels, OffsetAllowed() ? used_ : 0);
  count_ = std::to_string(labels) + (labels == 1 ? " label on " : " labels on ") +
           std::to_string(sheets) + (sheets == 1 ? " sheet" : " sheets");
  window_->Display();
}

bool LabelDialog::OffsetAllowed() { return used_ >= 0 && used_ < Sheet().per_page(); }

std::optional<LabelDialog::Choice> LabelDialog::Run() {
  window_ = ui::Engine::Current()->CreateWindow(kLabelsWindowId, kLabelsWindowLabel);
  window_->Bind("labelSubject", ui::BindText(&subject_, 30));
  window_->Bind("sheetName", ui::BindText(&sheet_name_, 40));
  window_->Bind("usedLabels", ui::BindLong(&used_));
  window_->Bind("sheetCount", ui::BindText(&count_, 60));
  window_->Open();
  const int subject_list = window_->FieldOf("labelSubject");
  const int ok = window_->FieldOf("?OK"), cancel = window_->FieldOf("?Cancel");
  const int help = window_->FieldOf("?Help");
  window_->SetRows(subject_list, {{{kItemsChoice}, 0}, {{kLocationsChoice}, 0}});
  if (items_ == nullptr) subject_ = kLocationsChoice;
  if (items_ == nullptr || locations_ == nullptr) {
    window_->SetProperty(subject_list, ui::prop::kDisable, 1);
  }
  std::vector<ui::ListRow> sheets;
  for (const LabelTemplate& t : LabelTemplates()) sheets.push_back({{t.name}, 0});
  window_->SetRows(window_->FieldOf("sheetName"), std::move(sheets));
  window_->SetEscapeButton(cancel);
  ShowCount();
  std::optional<Choice> chosen;
  while (window_->Accept()) {
    if (window_->Event() != ui::event::kAccepted) continue;
    const int field = window_->Field();
    if (field == ok) {
      if (!OffsetAllowed()) {
        ui::Engine::Current()->Message(
            "Labels used must be a number from 0 to " + std::to_string(Sheet().per_page() - 1) +
                ": the sheet holds " + std::to_string(Sheet().per_page()) + " labels.",
            "Labels", ui::Icon::kExclamation);
        continue;
      }
      chosen = Choice{&Sheet(), used_, Subjects()};
      window_->Post(ui::event::kCloseWindow);
    } else if (field == cancel) {
      window_->Post(ui::event::kCloseWindow);
    } else if (field == help) {
      window_->ShowHelp();
    } else if (field != 0) {
      ShowCount();
    }
  }
  window_->Close();
  return chosen;
}

// Print! in the preview, as a report's: the printer setup first when there
// is nowhere to print yet; a failed job is the printer error in a box.
void PrintSheets(const std::vector<std::string>& images) {
  ui::Engine& engine = *ui::Engine::Current();
  if (!engine.platform().PrinterReady() && !engine.PrinterSetup(0)) return;
  const ui::PrintResult printed = engine.platform().PrintPages(images);
  if (!printed.printed) {
    files::Errors().Post(ui::kPrinterDeviceError);
    engine.Message(files::Errors().Text(), "Print", ui::Icon::kExclamation);
    files::Errors().Clear();
    return;
  }
  if (!printed.file.empty())
    engine.platform().ShowNotice(WrittenNotice(printed.file, images.size()));
}

void PreviewSheets(const LabelTemplate& sheet, const std::vector<LabelSubject>& subjects,
                   int offset) {
  ui::Engine& engine = *ui::Engine::Current();
  std::vector<std::string> images;
  bool written = true;
  for (const ui::Page& page : LabelPages(sheet, subjects, offset)) {
    std::optional<std::string> name = ui::WritePageImage(ui::PageToMetafile(page));
    if (!name) {
      written = false;
      break;
    }
    engine.platform().PageFinished(page, *name);
    images.push_back(*name);
  }
  if (!written) {
    engine.Message("The label sheets cannot be written in " + ui::PageImageDirectory() + ".",
                   "Labels", ui::Icon::kExclamation);
  } else {
    ReportPreview(images, "labels.pdf");
    if (ui::ResponseCode() == ui::response::kCompleted) PrintSheets(images);
  }
  for (const std::string& image : images) ui::RemovePageImage(image);
}

void Print(const std::vector<LabelSubject>* items, const std::vector<LabelSubject>* locations) {
  std::optional<LabelDialog::Choice> choice = LabelDialog(items, locations).Run();
  if (!choice) return;
  if (choice->subjects->empty()) {
    ui::Engine::Current()->Message("There is nothing to print labels for.", "Labels",
                                   ui::Icon::kExclamation);
    return;
  }
  PreviewSheets(*choice->sheet, *choice->subjects, choice->offset);
}

}  // namespace

void PrintLabels() {
  ui::RequestCode() = 0;
  ui::ResponseCode() = 0;
  if (std::optional<HandedLabels> handed = TakeHandedLabels()) {
    const bool items = handed->table == Table::kItems;
    Print(items ? &handed->subjects : nullptr, items ? nullptr : &handed->subjects);
  } else {
    std::vector<LabelSubject> items, locations;
    if (AllSubjects(Table::kItems, "ITE:CODE", &items) &&
        AllSubjects(Table::kLocations, "LOC:LOC", &locations)) {
      Print(&items, &locations);
    }
  }
  ui::ResponseCode() = ui::response::kCompleted;
}

VORSANDT_PROCEDURE(PrintLabels);

}  // namespace vorsandt::app
