#include "app/backup/data_backup.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/dictionary/dictionary.h"
#include "app/documents/document_store.h"
#include "app/exchange/whole_file.h"
#include "runtime/env/env.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/names.h"
#include "runtime/files/operations.h"
#include "runtime/files/read_run.h"
#include "runtime/files/transaction.h"

namespace vorsandt::backup {
namespace {

// A table file lives below the lock area that starts at 2 GB.
constexpr uint64_t kMaxTableFileBytes = 2ull << 30;

int32_t Code() { return files::Errors().Code(); }

// The system error of a write to a read-only mount ("Write Protect").
constexpr int32_t kWriteProtect = 19;

std::string DriverError(int32_t code) { return files::ErrorTextWithCode(code); }

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

bool HasControl(const std::string& name) {
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// The permission bits of `path` (0600 when they cannot be read).
uint32_t ModeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<uint32_t>(st.st_mode & 0777) : 0600;
}

// Reads the picture `name` whole: a regular file (a link is followed to
// one) of at most kPictureLimit bytes. False with `*why` when it is not one
// (empty when it is simply not there).
bool ReadPicture(const std::string& name, std::string* data, uint32_t* mode, std::string* why) {
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) {
    if (errno != ENOENT) *why = exchange::ErrnoText(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *why = "not a regular file";
    return false;
  }
  *mode = static_cast<uint32_t>(st.st_mode & 0777);
  std::unique_ptr<env::File> file;
  int e = env::Env::Default()->Open(name, env::kOpenReadOnly, &file);
  uint64_t size = 0;
  if (e == 0) e = file->Size(&size);
  if (e == 0 && (size > kPictureLimit || static_cast<uint64_t>(st.st_size) > kPictureLimit)) {
    *why = "larger than " + std::to_string(kPictureLimit >> 20) + " MB";
    return false;
  }
  // Read to the size seen at the start and no further, whatever the file
  // turns into meanwhile.
  data->assign(static_cast<size_t>(size), '\0');
  size_t got = 0;
  if (e == 0) e = file->ReadAt(0, data->data(), data->size(), &got);
  if (e == 0 && got != size) e = EIO;
  if (e != 0) {
    *why = exchange::ErrnoText(e);
    data->clear();
    return false;
  }
  return true;
}

// The distinct picture names of ITEMS, read through its open instance.
bool PictureNames(files::FileRecord* items, std::vector<std::string>* names, std::string* error) {
  const app::FieldDef* field = app::FieldNamed("ITE:PICTURE");
  files::SetFile(items);
  files::ReadRun run;
  for (;;) {
    files::Next(items);
    if (Code() == files::kRecordNotAvailable) return true;
    if (Code() != 0) {
      *error = "ITEMS: " + DriverError(Code());
      return false;
    }
    const uint8_t* bytes = files::InstanceOf(items)->buffer + field->offset;
    std::string name(reinterpret_cast<const char*>(bytes), field->size);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    if (name.empty()) continue;
    bool seen = false;
    for (const std::string& n : *names) seen = seen || n == name;
    if (!seen) names->push_back(std::move(name));
  }
}

// The files of the documents folder and of the files put aside in it, by
// name: the records' copies, which a restore must bring back with the
// records. Hidden names (a copy being written) are no document yet.
void DocumentFiles(std::vector<std::string>* names) {
  for (const char* folder : {app::kDocumentsFolder, app::kPutAsideFolder}) {
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.empty() || name[0] == '.' || !it->is_regular_file(ec)) continue;
      found.push_back(std::string(folder) + "/" + name);
    }
    std::sort(found.begin(), found.end());
    names->insert(names->end(), found.begin(), found.end());
  }
}

// Reads every table file and the picture names while the transaction holds
// the files still.
bool ReadInsideTransaction(const std::vector<const app::TableDef*>& defs, Snapshot* snapshot,
                           std::string* error) {
  for (const app::TableDef* def : defs) {
    ArchiveMember member;
    member.name = std::string(kTablesFolder) + def->label + ".QVF";
    // A table file may be as large as the format allows.
    exchange::WholeFileLimits limits;
    limits.max_bytes = kMaxTableFileBytes;
    if (!exchange::ReadWholeFile(env::Env::Default(), std::string(def->label) + ".QVF",
                                 &member.data, error, limits)) {
      return false;
    }
    snapshot->tables.push_back(std::move(member));
    snapshot->table_modes.push_back(ModeOf(std::string(def->label) + ".QVF"));
    if (def->table == app::Table::kItems &&
        !PictureNames(app::File(app::Table::kItems), &snapshot->pictures, error)) {
      return false;
    }
  }
  // A document is stored before its record is saved, so while the tables
  // are held every record's file is there.
  DocumentFiles(&snapshot->pictures);
  return true;
}

}  // namespace

bool TakeSnapshot(Snapshot* snapshot, std::string* error) {
  *snapshot = Snapshot();
  std::vector<const app::TableDef*> defs;
  std::vector<files::FileRecord*> open;
  auto close_all = [&] {
    for (files::FileRecord* f : open) files::Close(f);
    files::Errors().Clear();
  };
  // Tables the user may only read (a read-only mount, say) are backed up
  // all the same: opened for reading, and read without the transaction,
  // which needs every file open for writing. (On a read-only mount no other
  // program can save meanwhile either.)
  bool read_only = false;
  for (size_t i = 0; i < app::Tables().size(); ++i) {
    const app::TableDef& def = app::Tables()[i];
    if (!env::Env::Default()->Exists(std::string(def.label) + ".QVF")) continue;
    files::FileRecord* f = app::File(def.table);
    files::Open(f, read_only ? files::kModeReadOnly : files::kModeReadWrite);
    if (!read_only && (Code() == files::kSystemErrorBase + files::kAccessDenied ||
                       Code() == files::kSystemErrorBase + kWriteProtect)) {
      close_all();
      open.clear();
      defs.clear();
      read_only = true;
      i = static_cast<size_t>(-1);  // from the first table again
      continue;
    }
    if (Code() != 0) {
      *error = std::string(def.label) + ": " + DriverError(Code());
      close_all();
      return false;
    }
    open.push_back(f);
    defs.push_back(&def);
  }
  // A transaction that cannot begin (another program's transaction took
  // the files in another order, or saves back to back) gives way entirely
  // and is tried again after a pause.
  bool begun = open.empty() || read_only;
  for (int attempt = 0; attempt < kSnapshotAttempts && !begun; ++attempt) {
    if (attempt > 0) env::Env::Default()->SleepMs(100 * attempt);
    begun = files::Logout(kSnapshotWaitSeconds, open) == 0;
  }
  if (!begun) {
    *error =
        "the tables could not be held still for the backup: other programs kept them busy "
        "for too long";
    close_all();
    return false;
  }
  const bool ok = ReadInsideTransaction(defs, snapshot, error);
  // Nothing was changed: ending the transaction either way lets go of the
  // files.
  if (files::InTransaction()) files::Rollback();
  close_all();
  if (!ok) *snapshot = Snapshot();
  return ok;
}

std::string PictureMember(const std::string& name, bool* relative) {
  const std::filesystem::path path(name);
  *relative = !path.is_absolute() && !name.empty();
  for (const auto& part : path) {
    if (part == ".." || part == "." || part.empty()) *relative = false;
  }
  if (*relative) return kPicturesFolder + name;
  std::error_code ec;
  std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
  return kOutsideFolder + full.substr(full.find_first_not_of('/'));
}

bool IsDocumentFile(const std::string& name) {
  const std::string prefix = std::string(app::kDocumentsFolder) + "/";
  return name.compare(0, prefix.size(), prefix) == 0;
}

bool LandsOnTable(const std::string& member) {
  for (const app::TableDef& def : app::Tables()) {
    if (files::SameName(member, std::string(kPicturesFolder) + def.label + ".QVF")) return true;
  }
  return false;
}

bool BackupRun::Begin(const std::string& archive, std::string* error) {
  if (!TakeSnapshot(&snapshot_, error)) return false;
  if (snapshot_.tables.empty()) {
    *error = "the data folder holds no tables";
    return false;
  }
  list_ = std::string(kListFirstLine) + "\n";
  return writer_.Begin(archive, error);
}

bool BackupRun::AddMember(const std::string& name, const std::string& data,
                          const std::string& shown, uint32_t mode, std::string* error) {
  if (!writer_.Add(name, data, error, mode)) return false;
  list_ += (shown.empty() ? "table\t" : "picture\t") + name + "\t" + std::to_string(data.size()) +
           "\t" + Hex(Crc32(data)) + (shown.empty() ? "" : "\t" + shown) + "\n";
  return true;
}

bool BackupRun::Step(std::string* error) {
  const size_t tables = snapshot_.tables.size();
  const size_t at = static_cast<size_t>(done_++);
  if (at < tables) {
    const ArchiveMember& table = snapshot_.tables[at];
    return AddMember(table.name, table.data, std::string(), snapshot_.table_modes[at], error);
  }
  const std::string& name = snapshot_.pictures[at - tables];
  std::string data, why;
  uint32_t mode = 0600;
  bool relative = false;
  const std::string member = PictureMember(name, &relative);
  if (HasControl(name)) {
    why = "its name has control characters";
  } else if (LandsOnTable(member)) {
    why = "it is named like a table";
  }
  if (!why.empty() || !ReadPicture(name, &data, &mode, &why)) {
    // A picture that is gone, or is no picture file, is no reason to have
    // no backup: it is named in the list and in the summary.
    missing_.push_back(name);
    left_out_.push_back(why.empty() ? name : name + " (" + why + ")");
    if (!HasControl(name)) list_ += "missing\t" + name + "\n";
    return true;
  }
  if (!AddMember(member, data, name, mode, error)) return false;
  if (!relative) outside_.push_back(name);
  ++(IsDocumentFile(name) ? documents_written_ : pictures_written_);
  return true;
}

bool BackupRun::Finish(std::string* error) {
  return writer_.Add(kListName, list_, error) && writer_.Finish(error);
}

std::string BackupRun::Summary() const {
  auto counted = [](int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string text = counted(tables(), "table", "tables") +
                     (documents_written_ > 0 ? ", " : " and ") +
                     counted(pictures_written_, "picture", "pictures");
  if (documents_written_ > 0) text += " and " + counted(documents_written_, "document", "documents");
  auto some = [](const std::vector<std::string>& names) {
    constexpr size_t kShown = 5;
    std::string list;
    for (size_t i = 0; i < names.size() && i < kShown; ++i) list += (i ? ", " : "") + names[i];
    return list + (names.size() > kShown ? ", ..." : "");
  };
  if (!left_out_.empty()) {
    text += " (" + counted(static_cast<int>(left_out_.size()), "picture", "pictures") +
            " the items name could not be read: " + some(left_out_) + ")";
  }
  if (!outside_.empty()) {
    text += " (" + counted(static_cast<int>(outside_.size()), "picture", "pictures") +
            " from outside the data folder: " + some(outside_) + ")";
  }
  return text;
}

}  // namespace vorsandt::backup
