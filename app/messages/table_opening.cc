#include "app/messages/table_opening.h"

#include <array>
#include <filesystem>
#include <string>

#include "app/messages/warning_message.h"
#include "runtime/env/env.h"
#include "runtime/eval/record_binding.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/operations.h"
#include "ui/engine/engine.h"

namespace vorsandt::app {
namespace {

// Per thread, like the tables' record buffers: a procedure started on a new
// thread begins with every count at 0.
thread_local std::array<int, kTableCount> open_counts{};

int32_t ErrorCode() { return files::Errors().Code(); }

void OpenWithMode(files::FileRecord* table, int32_t access_mode, bool use_shared_mode) {
  files::Open(table, use_shared_mode ? files::kModeReadWrite : access_mode);
}

// Rebuilding keys needs the table open for writing and denied to others;
// the failed open left it closed, so it is opened that way just for the
// rebuild and closed again. The rebuild's own error survives the close.
void RebuildKeys(files::FileRecord* table) {
  files::Open(table, files::kModeReadWriteExclusive);
  if (ErrorCode() != files::kNoError) return;
  files::BuildKeys(table);
  if (ErrorCode() != files::kNoError) {
    files::Errors().Push();
    files::Close(table);
    files::Errors().Pop();
    return;
  }
  files::Close(table);
}

// The file a table lives in: its name, with the driver's extension when it
// names none.
std::string TableFile(files::FileRecord* table) {
  std::string name = files::Name(table);
  if (std::filesystem::path(name).extension().empty()) name += ".QVF";
  return name;
}

// The last step of every path that did not end in a halt: a table that is
// still not usable stops the program.
void EndIfStillFailing(files::FileRecord* table) {
  if (ErrorCode() == files::kNoError) return;
  WarningMessageWhy(WhyTableUnusable(table), MessageId::kFileAccessError, files::Name(table));
  ui::Engine::Current()->Halt(0, "Disk Error");
}

// The program declares its tables with their driver where it wires itself
// up (InitDictionary); a procedure that opens one before that has been
// started by wiring that forgot it, which no user can repair.
files::FileRecord* DeclaredFile(Table table) {
  files::FileRecord* file = File(table);
  if (file == nullptr) {
    files::Errors().RuntimeError(0, std::string(Def(table).label) +
                                        " opened before the tables were declared");
  }
  return file;
}

}  // namespace

void OpenOrCreateTable(files::FileRecord* table, bool create_allowed, bool creation_refused,
                       int32_t access_mode, bool use_shared_mode) {
  OpenWithMode(table, access_mode, use_shared_mode);
  switch (ErrorCode()) {
    case files::kNoError:
    case files::kFileAlreadyOpen:
      files::Errors().Clear();
      return;
    case files::kFileNotFound:
      if (creation_refused) break;
      // Something that is not a table file stands at its name (a folder):
      // nothing can be created there, and nothing is tried.
      if (!WhyTableUnusable(table).empty()) break;
      if (!create_allowed) {
        WarningMessage(MessageId::kFileCreationError, files::Name(table));  // halts
        return;
      }
      // Another program may have made the table since the open above looked:
      // it is opened as it is, never replaced.
      files::CreateIfMissing(table);
      if (ErrorCode() != files::kNoError) {
        WarningMessage(MessageId::kFileCreationError, files::Name(table));  // halts
        return;
      }
      OpenWithMode(table, access_mode, use_shared_mode);
      if (ErrorCode() != files::kNoError) {
        WarningMessage(MessageId::kCreatedFileOpenError, files::Name(table));  // halts
      }
      return;
    case files::kInvalidRecordDeclaration:
      WarningMessage(MessageId::kInvalidFile, files::Name(table));  // halts
      return;
    case files::kKeyFileMustBeRebuilt:
      WarningMessage(MessageId::kInvalidKey, files::Name(table));  // No halts
      RebuildKeys(table);
      if (ErrorCode() != files::kNoError) {
        WarningMessage(MessageId::kKeyRebuildError, files::Name(table));  // halts
        return;
      }
      OpenWithMode(table, access_mode, use_shared_mode);
      break;
    default:
      break;
  }
  EndIfStillFailing(table);
}

void OpenTable(Table table) {
  int& count = open_counts[static_cast<size_t>(table)];
  if (count == 0) {
    files::FileRecord* file = DeclaredFile(table);
    OpenOrCreateTable(file, /*create_allowed=*/true, /*creation_refused=*/false,
                      files::kModeReadWrite, /*use_shared_mode=*/true);
    eval::BindRecord(file);
  }
  ++count;
}

void CloseTable(Table table) {
  int& count = open_counts[static_cast<size_t>(table)];
  if (count == 0) return;
  if (--count == 0) files::Close(File(table));
}

int OpenCount(Table table) { return open_counts[static_cast<size_t>(table)]; }

std::string WhyTableUnusable(files::FileRecord* table) {
  const std::string file = TableFile(table);
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(file, ec);
  if (std::filesystem::is_directory(status)) return file + " is a folder, not a table file.";
  if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(file, ec) == 0 &&
      !ec) {
    return file +
           " is empty (0 bytes): the table in it is damaged or lost, and the file "
           "was left as it is.";
  }
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return file + " is not a regular file.";
  }
  return "";
}

ReadOpening OpenTableForReading(Table table, std::string* error) {
  int& count = open_counts[static_cast<size_t>(table)];
  if (count > 0) {
    ++count;
    return ReadOpening::kOpened;
  }
  files::FileRecord* file = DeclaredFile(table);
  files::Open(file, files::kModeReadOnly);
  const int32_t code = ErrorCode();
  const std::string why = WhyTableUnusable(file);
  if (code == files::kNoError || code == files::kFileAlreadyOpen) {
    files::Errors().Clear();
    eval::BindRecord(file);
    ++count;
    return ReadOpening::kOpened;
  }
  if (code == files::kFileNotFound && why.empty()) {
    files::Errors().Clear();
    return ReadOpening::kMissing;
  }
  *error =
      std::string(Def(table).label) + ": " + CurrentErrorText() + (why.empty() ? "" : ". ") + why;
  files::Errors().Clear();
  return ReadOpening::kFailed;
}

bool TableFileExists(Table table) {
  files::FileRecord* file = File(table);
  if (file == nullptr || file->name == nullptr) return false;
  return env::Env::Default()->Exists(TableFile(file));
}

}  // namespace vorsandt::app
