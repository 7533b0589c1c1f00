#include "app/exchange/table_import.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

#include "app/exchange/columns.h"
#include "app/exchange/csv.h"
#include "app/exchange/record_text.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/field_codec.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"

namespace vorsandt::exchange {
namespace {

// An import into a new table found the table made by another process.
constexpr int kLostRace = -1;
// How long an import waits for the table's lock before giving up.
constexpr int32_t kLockSeconds = 10;
// The highest numbers a numbered key gives, by the field's type.
constexpr double kHighestShort = 32767;
constexpr double kHighestLong = 2147483647;

int32_t Code() { return files::Errors().Code(); }

std::string DriverError(int32_t code) { return files::ErrorTextWithCode(code); }

std::string Line(int line, const std::string& text) {
  return "line " + std::to_string(line) + ": " + text;
}

// A file name beside `path` that nobody else uses, made empty with an
// exclusive create (false, with the error posted, when none could be made).
bool PrivateName(env::Env* env, const std::string& path, std::string* out) {
  static std::mt19937 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 8; ++attempt) {
    char token[16];
    std::snprintf(token, sizeof token, "%08x", static_cast<unsigned>(rng()));
    std::string name = path + ".~" + token;
    std::unique_ptr<env::File> file;
    const int e = env->Open(name, env::kOpenCreate | env::kOpenExclusive, &file);
    if (e == 0) {
      *out = std::move(name);
      return true;
    }
    if (e != EEXIST) {
      files::Errors().Post(files::kSystemErrorBase + files::MapErrno(e, true));
      return false;
    }
  }
  files::Errors().Post(files::kSystemErrorBase + files::MapErrno(EEXIST, true));
  return false;
}

// A row of a table whose primary key the insert form numbers, without that
// number (the column left out, blank or 0), is numbered as the form does it:
// one above the highest number in the key, which holds the rows added so
// far. "" when the row has its number now, else what stops it.
std::string NumberIfMissing(files::FileRecord* f, const app::TableDef& def) {
  const app::FieldDef& field = def.fields[static_cast<size_t>(def.auto_number_field - 1)];
  files::FileRecord* instance = files::InstanceOf(f);
  const files::FieldBytes number{field.type, instance->buffer + field.offset, field.size, 0};
  if (files::ReadNumber(number).value_or(0) != 0) return "";
  // Reading the highest record fills the buffers: the row waits aside.
  const std::vector<uint8_t> row(instance->buffer, instance->buffer + instance->record_length);
  const std::vector<std::vector<char>> memos = instance->memo_buffers;
  files::SetKey(f, app::Key(def.table, 1));
  files::Previous(f);
  const int32_t code = Code();
  const double highest = code == 0 ? files::ReadNumber(number).value_or(0) : 0;
  std::copy(row.begin(), row.end(), instance->buffer);
  instance->memo_buffers = memos;
  if (code != 0 && code != files::kRecordNotAvailable) {
    return std::string(def.label) + ": " + DriverError(code);
  }
  files::Errors().Clear();
  // The form's rule: no wrap-around to numbers in use.
  const double most = field.type == files::kTypeShort ? kHighestShort : kHighestLong;
  if (highest + 1 > most || !files::WriteNumber(number, highest + 1, files::Overflow::kRefuse)) {
    return std::string(field.name) + " cannot be numbered: the highest number, " +
           std::to_string(static_cast<int64_t>(highest)) + ", is in use";
  }
  return "";
}

// Adds the rows after the header to the open table `f` in one transaction
// and closes it. `checked` names a file whose check must be clean first
// (empty for a file this import has just made): a damaged table is never
// written to.
int AddRows(files::FileRecord* f, const app::TableDef& def, const std::vector<CsvRow>& rows,
            const std::string& checked, const TableCheck& check, std::string* error) {
  auto give_up = [&](const std::string& message) {
    *error = message;
    if (files::InTransaction()) files::Rollback();
    files::Close(f);
    return kImportFailed;
  };
  if (files::Logout(kLockSeconds, {f}) != 0) {
    return give_up(std::string(def.label) + ": " + DriverError(Code()));
  }
  if (!checked.empty()) {
    // The transaction holds the file's writer range from here on, so no
    // other process changes the file while the checker reads it.
    std::vector<std::string> faults;
    const int verdict = check(checked, &faults);
    if (verdict != 0) {
      std::string why = faults.empty() ? "cannot be read" : faults.front();
      if (faults.size() > 1) why += " (and " + std::to_string(faults.size() - 1) + " more)";
      return give_up(std::string(def.label) + ": the table is damaged, nothing was imported: " +
                     checked + ": " + why + "; see qvf check " + checked);
    }
  }
  files::FileRecord* instance = files::InstanceOf(f);
  for (size_t r = 1; r < rows.size(); ++r) {
    std::string e = ValuesToRecord(def, rows[r].fields, instance->buffer, &instance->memo_buffers);
    if (e.empty() && def.auto_number_field != 0) e = NumberIfMissing(f, def);
    if (!e.empty()) return give_up(Line(rows[r].line, e));
    files::Add(f);
    if (Code() != 0) return give_up(Line(rows[r].line, DriverError(Code())));
  }
  files::Commit();
  if (Code() != 0) return give_up(std::string(def.label) + ": " + DriverError(Code()));
  files::Close(f);
  return kImported;
}

// A table made by an import appears whole or not at all: the rows go into a
// file of its own under a private name first, which is renamed into place
// once they are committed, unless another process made the table meanwhile
// (kLostRace: nothing of this import is kept, the caller imports into that
// one). A failed import leaves no file behind.
int ImportIntoNewFile(files::FileRecord* f, const app::TableDef& def,
                      const std::vector<CsvRow>& rows, const TableCheck& check,
                      std::string* error) {
  env::Env* env = env::Env::Default();
  const std::string path = std::string(def.label) + ".QVF";
  std::string copy;
  if (!PrivateName(env, path, &copy)) {
    *error = std::string(def.label) + ": " + DriverError(Code());
    return kImportUnusable;
  }
  std::vector<uint8_t> buffer(f->record_length);
  files::FileRecord own(f->entry(), copy.c_str(), -1,
                        static_cast<uint8_t>(f->attributes & ~files::kAttrPerThread),
                        f->record_length, f->layout, f->layout_size, f->keys, f->key_count,
                        f->memos, f->memo_count, buffer.data());
  files::Create(&own);
  if (Code() == 0) files::Open(&own, files::kModeReadWrite);
  int status = kImported;
  if (Code() != 0) {
    *error = std::string(def.label) + ": " + DriverError(Code());
    status = kImportUnusable;
  } else {
    status = AddRows(&own, def, rows, std::string(), check, error);
  }
  if (status == kImported) {
    const int e = env->RenameNoReplace(copy, path);
    if (e == EEXIST) status = kLostRace;
    if (e != 0 && e != EEXIST) {
      *error = std::string(def.label) + ": " +
               DriverError(files::kSystemErrorBase + files::MapErrno(e, true));
      status = kImportFailed;
    }
  }
  if (status != kImported) env->Delete(copy);
  return status;
}

}  // namespace

int ImportTable(app::Table t, std::string_view csv, const TableCheck& check, std::string* error,
                int* added) {
  if (added != nullptr) *added = 0;
  const app::TableDef& def = app::Def(t);
  std::vector<CsvRow> rows;
  int error_line = 0;
  std::string parse_error;
  if (!ParseCsv(csv, &rows, &parse_error, &error_line)) {
    *error = Line(error_line, parse_error);
    return kImportFailed;
  }
  // The header may name any of the table's columns in any order.
  if (!exchange::ArrangeColumns(ColumnNames(def), &rows, error)) return kImportFailed;

  files::FileRecord* f = app::File(t);
  const std::string path = std::string(def.label) + ".QVF";
  files::Open(f, files::kModeReadWrite);
  if (Code() == files::kFileNotFound) {
    if (!env::Env::Default()->Exists(path)) {
      const int status = ImportIntoNewFile(f, def, rows, check, error);
      if (status == kImported && added != nullptr) *added = static_cast<int>(rows.size()) - 1;
      if (status != kLostRace) return status;
    }
    // Another process made the table meanwhile: the rows go into it.
    files::Open(f, files::kModeReadWrite);
    if (Code() == files::kFileNotFound) {
      // The file is there without this table: made in it, under its lock.
      files::CreateIfMissing(f);
      if (Code() == 0) files::Open(f, files::kModeReadWrite);
    }
  }
  if (Code() != 0) {
    *error = std::string(def.label) + ": " + DriverError(Code());
    return kImportUnusable;
  }
  const int status = AddRows(f, def, rows, path, check, error);
  if (status == kImported && added != nullptr) *added = static_cast<int>(rows.size()) - 1;
  return status;
}

}  // namespace vorsandt::exchange
