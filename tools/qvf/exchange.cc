#include "tools/qvf/exchange.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <sstream>

#include "app/exchange/columns.h"
#include "app/exchange/csv.h"
#include "app/exchange/record_text.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "runtime/files/transaction.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "tools/common/tool_files.h"
#include "runtime/files/names.h"

namespace vorsandt::tools {

// The record text and CSV rules are shared with the program's list export.
using exchange::ColumnNames;
using exchange::CsvField;
using exchange::CsvLine;
using exchange::CsvRow;
using exchange::FieldToText;
using exchange::IsDateField;
using exchange::MemoToText;
using exchange::ParseCsv;
using exchange::RecordToValues;
using exchange::TextToField;
using exchange::TextToMemo;
using exchange::Utf8ToAnsi;
using exchange::ValuesToRecord;
namespace {

// An import into a new table found the table made by another process.
constexpr int kLostRace = -1;
// How long an import waits for the table's lock before giving up.
constexpr int32_t kLockSeconds = 10;

int32_t Code() { return files::Errors().Code(); }

// "Creates Duplicate Key (40)".
std::string DriverError(int32_t code) {
  const char* text = files::ErrorTableText(code);
  std::string t = text != nullptr ? text : "Error";
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t + " (" + std::to_string(code) + ")";
}

files::FileRecord* Declared(app::Table t) {
  app::InitDictionary(&qvf::QvfEntry);
  return app::File(t);
}

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

// Adds the rows after the header to the open table `f` in one transaction
// and closes it. `checked` names a file whose check must be clean first
// (empty for a file this import has just made): a damaged table is never
// written to.
int AddRows(files::FileRecord* f, const app::TableDef& def, const std::vector<CsvRow>& rows,
            const std::string& checked, std::string* error) {
  auto give_up = [&](const std::string& message) {
    *error = message;
    if (files::InTransaction()) files::Rollback();
    files::Close(f);
    return kExitFailed;
  };
  if (files::Logout(kLockSeconds, {f}) != 0) {
    return give_up(std::string(def.label) + ": " + DriverError(Code()));
  }
  if (!checked.empty()) {
    // The transaction holds the file's writer range from here on, so no
    // other process changes the file while the checker reads it.
    std::vector<std::string> faults;
    const int verdict = qvf::FullCheckCommand(env::Env::Default(), checked, &faults);
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
    if (!e.empty()) return give_up(Line(rows[r].line, e));
    files::Add(f);
    if (Code() != 0) return give_up(Line(rows[r].line, DriverError(Code())));
  }
  files::Commit();
  if (Code() != 0) return give_up(std::string(def.label) + ": " + DriverError(Code()));
  files::Close(f);
  return kExitOk;
}

// A table made by an import appears whole or not at all: the rows go into a
// file of its own under a private name first, which is renamed into place
// once they are committed, unless another process made the table meanwhile
// (kLostRace: nothing of this import is kept, the caller imports into that
// one). A failed import leaves no file behind.
int ImportIntoNewFile(files::FileRecord* f, const app::TableDef& def,
                      const std::vector<CsvRow>& rows, std::string* error) {
  env::Env* env = env::Env::Default();
  const std::string path = std::string(def.label) + ".QVF";
  std::string copy;
  if (!PrivateName(env, path, &copy)) {
    *error = std::string(def.label) + ": " + DriverError(Code());
    return kExitUsage;
  }
  std::vector<uint8_t> buffer(f->record_length);
  files::FileRecord own(f->entry(), copy.c_str(), -1,
                        static_cast<uint8_t>(f->attributes & ~files::kAttrPerThread),
                        f->record_length, f->layout, f->layout_size, f->keys, f->key_count,
                        f->memos, f->memo_count, buffer.data());
  files::Create(&own);
  if (Code() == 0) files::Open(&own, files::kModeReadWrite);
  int status = kExitOk;
  if (Code() != 0) {
    *error = std::string(def.label) + ": " + DriverError(Code());
    status = kExitUsage;
  } else {
    status = AddRows(&own, def, rows, std::string(), error);
  }
  if (status == kExitOk) {
    const int e = env->RenameNoReplace(copy, path);
    if (e == EEXIST) status = kLostRace;
    if (e != 0 && e != EEXIST) {
      *error = std::string(def.label) + ": " +
               DriverError(files::kSystemErrorBase + files::MapErrno(e, true));
      status = kExitFailed;
    }
  }
  if (status != kExitOk) env->Delete(copy);
  return status;
}

}  // namespace

bool FindTable(std::string_view name, app::Table* out) {
  for (const app::TableDef& def : app::Tables()) {
    if (files::SameName(def.label, name)) {
      *out = def.table;
      return true;
    }
  }
  return false;
}

const files::KeyDecl* FindKey(app::Table t, std::string_view name) {
  Declared(t);
  const app::TableDef& def = app::Def(t);
  for (size_t k = 1; k <= def.keys.size(); ++k) {
    const files::KeyDecl* key = app::Key(t, static_cast<int>(k));
    std::string_view full(key->name, key->name_length);
    std::string_view bare = full.substr(full.find(':') + 1);
    if (files::SameName(full, name) || files::SameName(bare, name)) return key;
  }
  return nullptr;
}

int ExportTable(app::Table t, const files::KeyDecl* key, std::string* csv, std::string* error) {
  const app::TableDef& def = app::Def(t);
  files::FileRecord* f = Declared(t);
  files::Open(f, files::kModeReadOnly);
  if (Code() != 0) {
    *error = std::string(def.label) + ": " + DriverError(Code());
    return kExitUsage;
  }
  key != nullptr ? files::SetKey(f, key) : files::SetFile(f);
  int status = Code() == 0 ? kExitOk : kExitFailed;
  if (status != kExitOk) *error = std::string(def.label) + ": " + DriverError(Code());
  csv->clear();
  *csv += CsvLine(ColumnNames(def));
  // Reads the sequence set up, leaving out the records in `skip`; notes the
  // records written in `seen`.
  std::set<int64_t> seen;
  auto write_rows = [&](const std::set<int64_t>& skip) {
    for (;;) {
      files::Next(f);
      if (Code() == files::kRecordNotAvailable) return true;
      if (Code() != 0) {
        *error = std::string(def.label) + ": after " + std::to_string(seen.size()) +
                 " records: " + DriverError(Code());
        return false;
      }
      const int64_t pointer = files::Pointer(f);
      if (skip.count(pointer) != 0) continue;
      seen.insert(pointer);
      files::FileRecord* instance = files::InstanceOf(f);
      *csv += CsvLine(RecordToValues(def, instance->buffer, instance->memo_buffers));
    }
  };
  if (status == kExitOk && !write_rows({})) status = kExitFailed;
  // An optional key has no entry for a record whose key value is blank:
  // those records follow the key's, in record order, so that every record
  // has its row.
  if (status == kExitOk && key != nullptr &&
      static_cast<int64_t>(seen.size()) < files::Records(f)) {
    files::SetFile(f);
    const std::set<int64_t> in_key = seen;
    if (Code() != 0 || !write_rows(in_key)) status = kExitFailed;
  }
  files::Close(f);
  return status;
}

int ImportTable(app::Table t, std::string_view csv, std::string* error) {
  const app::TableDef& def = app::Def(t);
  std::vector<CsvRow> rows;
  int error_line = 0;
  std::string parse_error;
  if (!ParseCsv(csv, &rows, &parse_error, &error_line)) {
    *error = Line(error_line, parse_error);
    return kExitFailed;
  }
  // The header may name any of the table's columns in any order.
  if (!exchange::ArrangeColumns(ColumnNames(def), &rows, error)) return kExitFailed;

  files::FileRecord* f = Declared(t);
  const std::string path = std::string(def.label) + ".QVF";
  files::Open(f, files::kModeReadWrite);
  if (Code() == files::kFileNotFound) {
    if (!env::Env::Default()->Exists(path)) {
      const int status = ImportIntoNewFile(f, def, rows, error);
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
    return kExitUsage;
  }
  return AddRows(f, def, rows, path, error);
}

int RebuildTable(app::Table t, std::string* report, std::string* error) {
  const app::TableDef& def = app::Def(t);
  files::FileRecord* f = Declared(t);
  files::Open(f, files::kModeReadWriteExclusive);
  if (Code() != 0) {
    *error = std::string(def.label) + ": " + DriverError(Code());
    return kExitUsage;
  }
  files::BuildKeys(f);
  int status = kExitOk;
  if (Code() != 0) {
    *error = std::string(def.label) + ": " + DriverError(Code());
    status = kExitFailed;
  } else {
    const int32_t records = files::Records(f);
    auto counted = [](size_t n, const char* one, const char* many) {
      return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    *report = std::string(def.label) + ": " + counted(def.keys.size(), "key", "keys") +
              " rebuilt over " + counted(static_cast<size_t>(records), "record", "records") +
              "\n";
  }
  files::Close(f);
  return status;
}

int RunExchangeCommand(std::string_view command, const std::vector<std::string>& args,
                       std::string* out, std::string* err) {
  if (command != "export" && command != "import" && command != "rebuild") return -1;
  auto usage = [&](const std::string& why) {
    *err = "qvf " + std::string(command) + ": " + why + "\n";
    return kExitUsage;
  };
  // The CSV that cannot be read or the output that cannot be written.
  auto failed = [&](const std::string& why) {
    *err = "qvf " + std::string(command) + ": " + why + "\n";
    return kExitFailed;
  };
  if (args.empty()) return usage("no table named");
  app::Table t;
  if (!FindTable(args[0], &t)) return usage("no table " + args[0] + " in the dictionary");
  std::string error;
  int status = kExitOk;
  if (command == "rebuild") {
    if (args.size() != 1) return usage("one table only");
    status = RebuildTable(t, out, &error);
  } else if (command == "import") {
    if (args.size() != 2) return usage("a table and a CSV file");
    std::string text;
    if (!ReadWholeFile(env::Env::Default(), args[1], &text, &error)) return failed(error);
    status = ImportTable(t, text, &error);
  } else {
    const files::KeyDecl* key = nullptr;
    std::string out_file;
    for (size_t i = 1; i < args.size(); i += 2) {
      if (i + 1 >= args.size()) return usage(args[i] + " needs a value");
      if (args[i] == "--key") {
        key = FindKey(t, args[i + 1]);
        if (key == nullptr) return usage("no key " + args[i + 1] + " in " + args[0]);
      } else if (args[i] == "--out") {
        out_file = args[i + 1];
      } else {
        return usage("unknown option " + args[i]);
      }
    }
    std::string csv;
    status = ExportTable(t, key, &csv, &error);
    if (status == kExitOk) {
      if (out_file.empty()) {
        *out = std::move(csv);
      } else if (!WriteWholeFile(env::Env::Default(), out_file, csv, &error)) {
        return failed(error);
      }
    }
  }
  if (!error.empty()) *err = error + "\n";
  return status;
}

}  // namespace vorsandt::tools
