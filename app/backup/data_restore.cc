#include "app/backup/data_restore.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "app/backup/data_backup.h"
#include "app/backup/open_files.h"
#include "app/dictionary/dictionary.h"
#include "app/exchange/whole_file.h"
#include "runtime/env/env.h"
#include "storage/qvf/format.h"
#include "storage/qvf/table/qvf_table_commands.h"

namespace vorsandt::backup {
namespace {

namespace fs = std::filesystem;

// How long Write tries for a table's writer range before it gives up.
constexpr int kClaimTries = 500;  // 10 ms apart

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  std::string part;
  while (std::getline(in, part, '\t')) parts.push_back(part);
  return parts;
}

// A member name below `folder` that stays below it: no "..", ".", empty or
// absolute parts.
bool SafeBelow(const std::string& name, const std::string& folder) {
  if (name.compare(0, folder.size(), folder) != 0 || name.size() == folder.size()) return false;
  const fs::path rest(name.substr(folder.size()));
  if (rest.is_absolute()) return false;
  for (const auto& part : rest) {
    if (part == ".." || part == "." || part.empty()) return false;
  }
  return true;
}

bool IsTableMember(const std::string& name) {
  for (const app::TableDef& def : app::Tables()) {
    if (name == std::string(kTablesFolder) + def.label + ".QVF") return true;
  }
  return false;
}

std::string LabelOf(const std::string& member) {
  std::string label = member.substr(std::string(kTablesFolder).size());
  return label.substr(0, label.size() - 4);
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

// Writes `data` as a new file `path` (which must not exist), flushed.
int WriteNewFile(const std::string& path, const std::string& data) {
  env::Env* env = env::Env::Default();
  std::unique_ptr<env::File> file;
  int e = env->Open(path, env::kOpenCreate | env::kOpenExclusive, &file);
  if (e == 0) e = file->WriteAt(0, data.data(), data.size());
  if (e == 0) e = file->Sync();
  return e;
}

}  // namespace

RestoreRun::~RestoreRun() {
  if (staging_.empty()) return;
  std::error_code ec;
  fs::remove_all(staging_, ec);
}

bool RestoreRun::Read(const std::string& archive, std::string* error) {
  if (!ReadArchive(archive, kArchiveLimit, &members_, error)) return false;
  if (!CheckList(archive, error)) {
    members_.clear();
    tables_.clear();
    pictures_.clear();
    return false;
  }
  return true;
}

bool RestoreRun::CheckList(const std::string& archive, std::string* error) {
  std::map<std::string, const ArchiveMember*> by_name;
  const ArchiveMember* list = nullptr;
  for (const ArchiveMember& m : members_) {
    if (m.name == kListName) {
      list = &m;
    } else if (!by_name.emplace(m.name, &m).second) {
      *error = "the archive " + archive + " holds " + m.name + " twice";
      return false;
    }
  }
  const std::string damaged = "the archive " + archive + " is damaged: ";
  if (list == nullptr || list->data.compare(0, std::string(kListFirstLine).size() + 1,
                                            std::string(kListFirstLine) + "\n") != 0) {
    *error = archive + " is no VORSANDT backup: it has no " + kListName;
    return false;
  }
  std::stringstream in(list->data);
  std::string line;
  std::getline(in, line);
  std::map<std::string, bool> listed;
  while (std::getline(in, line)) {
    const std::vector<std::string> p = Split(line);
    if (p.size() == 2 && p[0] == "missing") continue;
    const bool table = p.size() == 4 && p[0] == "table" && IsTableMember(p[1]);
    const bool picture = p.size() == 5 && p[0] == "picture" &&
                         (SafeBelow(p[1], kPicturesFolder) || SafeBelow(p[1], kOutsideFolder));
    if ((!table && !picture) || (picture && LandsOnTable(p[1]))) {
      *error = damaged + kListName + " has a line that is no member: " + line;
      return false;
    }
    auto found = by_name.find(p[1]);
    if (found == by_name.end()) {
      *error = damaged + p[1] + " is missing";
      return false;
    }
    const std::string& data = found->second->data;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", Crc32(data));
    if (std::to_string(data.size()) != p[2] || p[3] != crc) {
      *error = damaged + p[1] + " is not what was backed up (its size or checksum differs)";
      return false;
    }
    if (!listed.emplace(p[1], true).second) {
      *error = damaged + kListName + " names " + p[1] + " twice";
      return false;
    }
    if (table) tables_.push_back(found->second);
    if (picture) pictures_.push_back(Picture{p[1], p[4]});
  }
  for (const auto& [name, member] : by_name) {
    if (listed.count(name) == 0) {
      *error = damaged + "it holds " + name + ", which " + kListName + " does not name";
      return false;
    }
  }
  if (tables_.empty()) {
    *error = archive + " holds no tables";
    return false;
  }
  return true;
}

bool RestoreRun::CheckNext(std::string* error) {
  if (staging_.empty()) {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "vorsandt-restore-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      *error = "cannot make a folder for checking the tables: " + exchange::ErrnoText(errno);
      return false;
    }
    staging_ = pattern;
  }
  const ArchiveMember& table = *tables_[static_cast<size_t>(checked_)];
  const std::string label = LabelOf(table.name);
  const std::string path = staging_ + "/" + label + ".QVF";
  if (int e = WriteNewFile(path, table.data); e != 0) {
    *error = "cannot check " + label + ": " + path + ": " + exchange::ErrnoText(e);
    return false;
  }
  std::vector<std::string> faults;
  const int verdict = qvf::FullCheckCommand(env::Env::Default(), path, &faults);
  env::Env::Default()->Delete(path);
  if (verdict != 0) {
    std::string why = faults.empty() ? "it cannot be read" : faults.front();
    if (faults.size() > 1) why += " (and " + std::to_string(faults.size() - 1) + " more)";
    *error = "the table " + label + " in the backup fails the check: " + why;
    return false;
  }
  ++checked_;
  return true;
}

std::vector<std::string> RestoreRun::Existing(const std::string& folder) {
  std::vector<std::string> labels;
  for (const app::TableDef& def : app::Tables()) {
    std::error_code ec;
    if (fs::exists(fs::path(folder) / (std::string(def.label) + ".QVF"), ec)) {
      labels.push_back(def.label);
    }
  }
  return labels;
}

bool RestoreRun::Write(const std::string& folder, bool replace, std::string* error) {
  if (tables_.empty() || !all_checked()) {
    *error = "the backup has not been checked";
    return false;
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec && !fs::is_directory(folder)) {
    *error = "cannot make the folder " + folder + ": " + ec.message();
    return false;
  }
  const std::vector<std::string> existing = Existing(folder);
  if (!existing.empty() && !replace) {
    *error = "the folder " + folder + " already holds tables (" + Joined(existing) +
             "); a backup is restored into a folder without tables unless they are to be "
             "replaced";
    return false;
  }
  return WriteTables(folder, error) && WritePictures(folder, error);
}

bool RestoreRun::WriteTables(const std::string& folder, std::string* error) {
  const std::vector<std::string> existing = Existing(folder);
  std::vector<std::string> paths;
  for (const std::string& label : existing) paths.push_back(folder + "/" + label + ".QVF");
  auto in_use = [&](bool own_too) {
    for (const OpenBy& o : ProcessesUsing(paths)) {
      const std::string label = fs::path(o.path).stem().string();
      if (o.process != getpid()) {
        *error = label + " is open in another program (process " + std::to_string(o.process) +
                 "); close it before restoring";
        return true;
      }
      if (own_too) {
        *error = label + " is open in another window of this program; close it before restoring";
        return true;
      }
    }
    return false;
  };
  if (in_use(true)) return false;
  // Claimed with the writer range, no program starts a save while the
  // tables are overwritten; the claims end with the handles.
  env::Env* env = env::Env::Default();
  std::map<std::string, std::unique_ptr<env::File>> claimed;
  for (size_t i = 0; i < existing.size(); ++i) {
    std::unique_ptr<env::File> file;
    int e = env->Open(paths[i], env::kOpenReadWrite, &file);
    for (int attempt = 0; e == 0 && attempt < kClaimTries; ++attempt) {
      e = file->TryLock(qvf::kLockBase, qvf::kWriterLockLength, true);
      if (e != EAGAIN) break;
      env->SleepMs(10);
    }
    if (e != 0) {
      *error = existing[i] + " is in use by another program (" + exchange::ErrnoText(e) + ")";
      return false;
    }
    claimed[existing[i]] = std::move(file);
  }
  if (in_use(false)) return false;
  for (const ArchiveMember* table : tables_) {
    const std::string label = LabelOf(table->name);
    const std::string path = folder + "/" + label + ".QVF";
    int e = 0;
    if (auto it = claimed.find(label); it != claimed.end()) {
      env::File& file = *it->second;
      e = file.WriteAt(0, table->data.data(), table->data.size());
      if (e == 0) e = file.Truncate(table->data.size());
      if (e == 0) e = file.Sync();
    } else {
      // A new table appears whole: written under another name first.
      const std::string part = path + ".~restore";
      env->Delete(part);
      e = WriteNewFile(part, table->data);
      if (e == 0) e = env->RenameNoReplace(part, path);
      if (e != 0) env->Delete(part);
    }
    if (e != 0) {
      *error = "cannot write " + path + ": " + exchange::ErrnoText(e);
      return false;
    }
  }
  return true;
}

bool RestoreRun::WritePictures(const std::string& folder, std::string* error) {
  for (const Picture& picture : pictures_) {
    const ArchiveMember* member = nullptr;
    for (const ArchiveMember& m : members_) {
      if (m.name == picture.member) member = &m;
    }
    std::string target;
    if (SafeBelow(picture.member, kOutsideFolder)) {
      target = folder + "/" + kRestoredOutsideFolder + "/" +
               picture.member.substr(std::string(kOutsideFolder).size());
      ++outside_;
    } else {
      target = folder + "/" + picture.member.substr(std::string(kPicturesFolder).size());
    }
    std::error_code ec;
    fs::create_directories(fs::path(target).parent_path(), ec);
    if (!exchange::WriteWholeFile(env::Env::Default(), target, member->data, error)) return false;
  }
  return true;
}

std::string RestoreRun::Summary() const {
  auto counted = [](size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string text = counted(tables_.size(), "table", "tables") + " and " +
                     counted(pictures_.size(), "picture", "pictures");
  if (outside_ > 0) {
    text += " (" + counted(static_cast<size_t>(outside_), "picture", "pictures") +
            " named by a full path went into the folder " + kRestoredOutsideFolder + ")";
  }
  return text;
}

}  // namespace vorsandt::backup
