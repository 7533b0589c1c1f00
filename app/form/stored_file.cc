#include "app/form/stored_file.h"

#include "app/documents/document_store.h"
#include "app/form/exclamation.h"
#include "app/messages/warning_message.h"
#include "runtime/env/env.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "ui/engine/engine.h"

namespace vorsandt::app {

StoredFile::StoredFile(Table table, ui::Window& window, const char* button)
    : table_(table),
      window_(window),
      field_(FieldNamed(Def(table).stored_file_field)),
      button_(window.FieldOf(button)) {}

std::string StoredFile::FieldText() const {
  const files::FieldBytes f{field_->type, files::RecordBuffer(File(table_)) + field_->offset,
                            field_->size, 0};
  std::string text = files::ReadText(f).value_or(std::string());
  return std::string(TrimRight(text));
}

void StoredFile::SetField(const std::string& text) {
  files::WriteText(
      {field_->type, files::RecordBuffer(File(table_)) + field_->offset, field_->size, 0}, text);
}

void StoredFile::Tell(const std::string& text) { Exclaim(window_, text, "Document Not Saved"); }

void StoredFile::Start() { started_ = FieldText(); }

void StoredFile::Choose() {
  ui::FileRequest request;
  request.title = "Choose the Document's File";
  request.mask = "All Files|*.*";
  request.file_name = source_;
  request.owner = window_.id();
  std::optional<std::string> chosen = ui::Engine::Current()->ChooseFile(request);
  if (!chosen || chosen->empty()) return;
  source_ = *chosen;
  SetField(StoredNameFor(source_, field_->size));
}

bool StoredFile::StoreChosen() {
  stored_.clear();
  if (source_.empty()) {
    if (!FieldText().empty()) return true;  // the record keeps the file it has
    Tell("Choose the document's file with the button beside FILE: the document was not saved.");
    window_.Select(button_);
    return false;
  }
  std::string error;
  if (!StoreDocument(env::Env::Default(), source_, field_->size, &stored_, &error)) {
    Tell(error + ". The document was not saved.");
    window_.Select(button_);
    return false;
  }
  shown_ = FieldText();
  SetField(stored_);
  return true;
}

void StoredFile::Finish(bool saved) {
  if (stored_.empty()) return;
  if (!saved) {
    RemoveUnsaved(env::Env::Default(), stored_);
    SetField(shown_);
    stored_.clear();
    return;
  }
  // The file the record named before is no longer anyone's.
  std::string error;
  if (!started_.empty() && started_ != stored_) PutAside(env::Env::Default(), started_, &error);
  started_ = stored_;
  source_.clear();
  stored_.clear();
}

}  // namespace vorsandt::app
