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
#include "app/exchange/table_import.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/names.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/files/transaction.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "storage/qvf/table/qvf_table_commands.h"
#include "storage/qvf/table/record_check.h"
#include "tools/common/tool_files.h"

namespace vorsandt::tools {

namespace {

int32_t Code() { return files::Errors().Code(); }

std::string DriverError(int32_t code) { return files::ErrorTextWithCode(code); }

files::FileRecord* Declared(app::Table t) {
  app::InitDictionary(&qvf::QvfEntry);
  return app::File(t);
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

namespace {

// An export is the user's copy of the table: a record whose key fields were
// changed from outside is refused (exit 1) instead of being written out as
// sound, at the price of one search per key and record while it runs.
class ThoroughReads {
 public:
  ThoroughReads() : before_(qvf::ThoroughRecordChecks()) { qvf::SetThoroughRecordChecks(true); }
  ~ThoroughReads() { qvf::SetThoroughRecordChecks(before_); }

 private:
  bool before_;
};

}  // namespace

int ExportTable(app::Table t, const files::KeyDecl* key, std::string* csv, std::string* error) {
  ThoroughReads thorough;
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
  // records written in `seen` when a key orders them (the records its
  // entries leave out follow), and counts them in `written`.
  std::set<int64_t> seen;
  int64_t written = 0;
  auto write_rows = [&](const std::set<int64_t>& skip) {
    files::ReadRun run;
    for (;;) {
      files::Next(f);
      if (Code() == files::kRecordNotAvailable) return true;
      if (Code() != 0) {
        *error = std::string(def.label) + ": after " + std::to_string(written) +
                 " records: " + DriverError(Code());
        if (Code() == files::kInvalidDataFile) *error += ": the next record is damaged";
        return false;
      }
      if (key != nullptr) {
        const int64_t pointer = files::Pointer(f);
        if (skip.count(pointer) != 0) continue;
        seen.insert(pointer);
      }
      ++written;
      files::FileRecord* instance = files::InstanceOf(f);
      AppendCsvLine(RecordToValues(def, instance->buffer, instance->memo_buffers), csv);
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
  Declared(t);
  return exchange::ImportTable(
      t, csv,
      [](const std::string& path, std::vector<std::string>* faults) {
        return qvf::FullCheckCommand(env::Env::Default(), path, faults);
      },
      error);
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
              " rebuilt over " + counted(static_cast<size_t>(records), "record", "records") + "\n";
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
    // Rows may come through a pipe (/dev/stdin); devices and other
    // non-files are refused by name, and every input is bounded.
    exchange::WholeFileLimits limits;
    limits.pipes = true;
    if (!ReadWholeFile(env::Env::Default(), args[1], &text, &error, limits)) return failed(error);
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
